// The main page: lamps and live values, the setpoint area, the queue of STORE
// and Clear, the menu and the status file for a launching program.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "controles/Calculadora.h"
#include "controles/UserControl1.h"
#include "controles/Word_UnR.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Aviso_Enlace.h"
#include "protocolo/Crc.h"
#include "reporte/Dialogo_Impresora.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Escritorio.h"
#include "tests/soporte/Manos.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <tuple>

namespace {

const QString Guardado_Rele = QStringLiteral("Setpoints were Saved to the Relay memory");
const QString Local = QStringLiteral("Warning: Someone it's Relay Programming in Local Mode");

// Words of the poll reply from register `registro` (0x0200 on) into Valores_Actuales.
void Pon_Palabras(std::size_t registro, std::initializer_list<uint16_t> palabras) {
    std::size_t i = 4 + 2 * (registro - 0x0200);
    for (const uint16_t w : palabras) {
        Estado.Valores_Actuales[i++] = static_cast<uint8_t>(w >> 8);
        Estado.Valores_Actuales[i++] = static_cast<uint8_t>(w & 0xFF);
    }
}

QStringList Textos(const std::array<QLabel *, 4> &etiquetas) {
    QStringList t;
    for (QLabel *e : etiquetas)
        t << e->text();
    return t;
}

using Pagina_Principal = Escritorio;

} // namespace

TEST_F(Pagina_Principal, LampsTemperaturesAndMaximaFollowTheLastReply) {
    AVPAGE2 &p = Pagina();
    UserControl1 &panel = *p.UserControl11;
    // Pt1..Pt4, their maxima, 0x0208, 0x0209, then the on word (Prog, L1, Pt1,
    // Pt2, Pt4) and the blink word (L1, Pt4).
    Pon_Palabras(0x0200, {85, 0xFFFB, 0x00E7, 0xFFF5, 97, 65, 231, 0xFFF5, 0, 0, 0x0589, 0x0408});
    Estado.Comunicacion_OK = true;
    p.Actualiza_Valores_de_Pantalla();
    EXPECT_EQ(Textos(p.Actual), (QStringList{"85", "-5", "Fco", "Fcc"}));
    EXPECT_EQ(Textos(p.Tmaximun), (QStringList{"97", "65", "Fco", "Fcc"}))
        << "a faulty probe's maximum reads as its temperature";
    const bool l1 = panel.L1(), pt4 = panel.Pt4();
    p.Actualiza_Valores_de_Pantalla();
    // On bit without blink bit: steady, in either byte.
    EXPECT_TRUE(panel.Prog());
    EXPECT_TRUE(panel.Pt1());
    EXPECT_TRUE(panel.Pt2());
    EXPECT_FALSE(panel.Pt3());
    EXPECT_NE(panel.L1(), l1) << "both bits: it changes state at every refresh";
    EXPECT_NE(panel.Pt4(), pt4);

    // Each lamp lights from its own bit of 0x020A and no other, a bit of the
    // high byte (Pt2 on bit 8) as much as one of the low byte (Prog on bit 0).
    using Lampara = bool (UserControl1::*)() const;
    const std::pair<int, Lampara> lamparas[] = {
        {7, &UserControl1::Pt1},  {8, &UserControl1::Pt2},   {9, &UserControl1::Pt3},
        {10, &UserControl1::Pt4}, {6, &UserControl1::Fault}, {4, &UserControl1::L2},
        {3, &UserControl1::L1},   {5, &UserControl1::FAN},   {0, &UserControl1::Prog},
        {1, &UserControl1::Tmax}, {2, &UserControl1::Aut}};
    for (const auto &[bit, encendida] : lamparas) {
        Pon_Palabras(0x020A, {static_cast<uint16_t>(1u << bit), 0});
        p.Actualiza_Valores_de_Pantalla();
        for (const auto &[otro, lampara] : lamparas)
            EXPECT_EQ((panel.*lampara)(), otro == bit)
                << "on bit " << bit << ", lamp of bit " << otro;
    }

    // With the link down the temperatures read "Fco"; the maxima stay.
    Estado.Comunicacion_OK = false;
    p.Actualiza_Valores_de_Pantalla();
    EXPECT_EQ(Textos(p.Actual), (QStringList{"Fco", "Fco", "Fco", "Fco"}));
    EXPECT_EQ(Textos(p.Tmaximun), (QStringList{"97", "65", "Fco", "Fcc"}));
}

TEST_F(Pagina_Principal, OptionListsEditTheirBitsAndShowWhatTheyImply) {
    Estado.Set_Setpoints[12] = 0x5A; // high byte: never touched
    Estado.Set_Setpoints[13] = 0x0B; // 4 probes, fan, 3 fan probes, weekly
    Estado.Nuevos_Setpoints[16] = 0x5A;
    AVPAGE2 &p = Pagina();
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(p.Combo[i]->currentIndex(), i == 2 ? 0 : 1) << i;
    // List, choice, option bits after it, 4 probes shown, fan shown. Three probes
    // hide the Pt4 row and force the fan-command probes to 3; no fan hides its frame.
    const std::tuple<int, int, int, bool, bool> pasos[] = {{2, 1, 0x0F, true, true},
                                                           {0, 0, 0x0A, false, true},
                                                           {0, 1, 0x0B, true, true},
                                                           {1, 0, 0x09, true, false}};
    for (const auto &[lista, indice, bits, cuatro, ventilador] : pasos) {
        p.Combo[static_cast<std::size_t>(lista)]->setCurrentIndex(indice);
        p.Combo_Click(lista);
        SCOPED_TRACE(testing::Message() << "list " << lista << " at " << indice);
        EXPECT_EQ(Estado.Nuevos_Setpoints[17], bits);
        EXPECT_EQ(p.Sonda_4->isHidden(), !cuatro);
        EXPECT_EQ(p.RTD->text().toStdString(), cuatro ? "4" : "3");
        EXPECT_EQ(p.Combo[2]->isEnabled(), cuatro);
        EXPECT_EQ(p.Ventilador->isHidden(), !ventilador);
    }
    EXPECT_EQ(p.Combo[2]->currentIndex(), 0) << "forced to 3 probes, enabled again unchanged";
    EXPECT_EQ(Estado.Nuevos_Setpoints[16], 0x5A);
}

TEST_F(Pagina_Principal, TripAndFanStartArePushedAboveTheirPartners) {
    AVPAGE2 &p = Pagina();
    // L1 or fan stop set to a value: its partner's floor follows, and the partner
    // (the stored value too) is pushed above it when it gets there.
    const std::array<int, 4> pasos[] = {
        {0, 120, 121, 120}, {1, 150, 150, 120}, {0, 100, 150, 100}, {2, 80, 81, 80}};
    for (const auto &[control, valor, pareja, minimo] : pasos) {
        Word_UnR &w = *p.Word_UnR_[static_cast<std::size_t>(control)];
        w.Set_Value(valor);
        w.Refrescar();
        emit w.Change();
        SCOPED_TRACE(testing::Message() << "control " << control << " to " << valor);
        const std::size_t k = static_cast<std::size_t>(control | 1);
        EXPECT_EQ(p.Word_UnR_[k]->Value(), pareja);
        EXPECT_EQ(p.Word_UnR_[k]->Min(), minimo);
        EXPECT_EQ(Estado.Nuevos_Setpoints[9 + 2 * k], pareja);
    }
}

TEST_F(Pagina_Principal, LeadersReachTheTopAndPushTheirFollowersNoFurther) {
    AVPAGE2 &p = Pagina();
    Word_UnR &l1 = *p.Word_UnR_[0], &l2 = *p.Word_UnR_[1];
    const auto registro = [](std::size_t k) {
        return Estado.Nuevos_Setpoints[8 + 2 * k] * 256 + Estado.Nuevos_Setpoints[9 + 2 * k];
    };
    // Arrows: L1 climbs to 220 and no further; L2 follows to 220, equal to it.
    l1.Set_Value(218);
    l1.Refrescar();
    for (int i = 0; i < 3; ++i)
        Clic(l1, "Arriba");
    EXPECT_EQ(std::pair(l1.Value(), registro(0)), std::pair(220, 220));
    EXPECT_EQ(std::pair(l2.Value(), registro(1)), std::pair(220, 220));

    // Keypad: the fan stop at 220 pushes the fan start to 220.
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("220")); });
    Clic(*p.Word_UnR_[2], "Text1");
    EXPECT_EQ(std::pair(p.Word_UnR_[2]->Value(), registro(2)), std::pair(220, 220));
    EXPECT_EQ(std::pair(p.Word_UnR_[3]->Value(), registro(3)), std::pair(220, 220));
}

TEST_F(Pagina_Principal, ARefreshSetsTheFloorsAndShowsTheValuesAsTheyAre) {
    // The page starts with L1 at 120; the relay then reports L1 = L2 = 90, and a
    // fan start below the fan stop.
    Estado.Set_Setpoints[5] = 120;
    Estado.Set_Setpoints[7] = 150;
    AVPAGE2 &p = Pagina();
    Word_UnR &l2 = *p.Word_UnR_[1], &arranque = *p.Word_UnR_[3];
    EXPECT_EQ(l2.Min(), 120);
    for (const std::size_t i : {5, 7}) {
        Estado.Set_Setpoints[i] = 90;
        Estado.Nuevos_Setpoints[i + 4] = 90;
    }
    Estado.Set_Setpoints[9] = 40;
    Estado.Set_Setpoints[11] = 30;
    Estado.Nuevos_Setpoints[15] = 30;
    p.Actualiza_Valores_de_Pantalla_SP();
    EXPECT_EQ(std::pair(l2.Min(), l2.Value()), std::pair(90, 90));
    EXPECT_EQ(l2.Text().toStdString(), "90 °C");
    EXPECT_EQ(std::pair(arranque.Min(), arranque.Value()), std::pair(40, 30));
    EXPECT_EQ(Estado.Nuevos_Setpoints[11], 90)
        << "nothing the operator did not set waits for STORE";
    EXPECT_EQ(Estado.Nuevos_Setpoints[15], 30);
    // A trip level between the new L1 and the old one is taken from the keypad...
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("95")); });
    Clic(l2, "Text1");
    EXPECT_EQ(l2.Value(), 95);
    // ...and the arrows stop at L1.
    for (int i = 0; i < 8; ++i)
        Clic(l2, "Abajo");
    EXPECT_EQ(l2.Value(), 90);

    // New: the floors come down with the values, and every value reads 0.
    p.Menu_Click(6);
    EXPECT_EQ(std::pair(l2.Min(), l2.Value()), std::pair(0, 0));
    EXPECT_EQ(std::pair(arranque.Min(), arranque.Value()), std::pair(0, 0));
}

TEST_F(Pagina_Principal, StoreWithoutEditsSendsBackWhatTheRelayHolds) {
    // The relay holds L1 = L2 = 90 and Low Fan = High Fan = 60.
    QByteArray escritura = Hex("01 10 01 00 00 06 0C 00 5A 00 5A 00 3C 00 3C 00 0B 00 00");
    Agrega_CRC(escritura);
    ASSERT_FALSE(rele.Responde(escritura).isEmpty());
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    EXPECT_EQ(p.Word_UnR_[1]->Text().toStdString(), "90 °C");
    EXPECT_EQ(p.Word_UnR_[3]->Text().toStdString(), "60 °C");
    QTest::mouseClick(p.Command1, Qt::LeftButton);
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    p.Timer1_Timer();
    ASSERT_EQ(Resumen(puerto->Peticiones()).back(), QStringLiteral("05/0002"));
    for (const uint16_t r : {0x0100, 0x0101})
        EXPECT_EQ(rele.Registro(r), 90) << r;
    for (const uint16_t r : {0x0102, 0x0103})
        EXPECT_EQ(rele.Registro(r), 60) << r;
}

TEST_F(Pagina_Principal, UnsentEditsSurviveTheMinuteReReadAndStoreSendsThem) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina(); // reads the relay: L1 90, L2 110
    Word_UnR &l1 = *p.Word_UnR_[0];
    ASSERT_EQ(l1.Value(), 90);
    const auto pendiente = [&p] { return !p.Command1->styleSheet().isEmpty(); };
    EXPECT_FALSE(pendiente());
    Clic(l1, "Arriba");
    p.Combo[3]->setCurrentIndex(1);
    emit p.Combo[3]->activated(1);
    EXPECT_TRUE(pendiente()) << "STORE shows that edits wait";
    for (int i = 0; i < 2; ++i) {
        p.Timer2_Timer();
        EXPECT_EQ(l1.Text().toStdString(), "91 °C");
        EXPECT_EQ(Estado.Nuevos_Setpoints[9], 91);
        EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x0B | 0x08);
        EXPECT_EQ(Estado.Set_Setpoints[5], 90) << "what the relay holds is refreshed";
        EXPECT_TRUE(pendiente());
    }
    EXPECT_EQ(Resumen(puerto->Peticiones()).back(), QStringLiteral("03/0100"));

    QTest::mouseClick(p.Command1, Qt::LeftButton);
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    p.Timer1_Timer();
    EXPECT_EQ(rele.Registro(0x0100), 91);
    EXPECT_EQ(rele.Registro(0x0104), 0x0B | 0x08);
    EXPECT_FALSE(pendiente());
    EXPECT_EQ(l1.Text().toStdString(), "91 °C");

    // With nothing pending the re-read shows what the relay holds: someone set
    // L1 to 95 at the relay's keys.
    QByteArray escritura = Hex("01 10 01 00 00 06 0C 00 5F 00 6E 00 3C 00 4B 00 0B 00 00");
    Agrega_CRC(escritura);
    ASSERT_FALSE(rele.Responde(escritura).isEmpty());
    p.Timer2_Timer();
    EXPECT_EQ(l1.Text().toStdString(), "95 °C");

    // New replaces the edits and clears the sign.
    Clic(l1, "Arriba");
    EXPECT_TRUE(pendiente());
    Estado.Comunicacion_OK = false;
    p.Menu_Click(6);
    EXPECT_FALSE(pendiente());
}

TEST_F(Pagina_Principal, StoreAndClearOfflineAndOnline) {
    AVPAGE2 &p = Pagina();
    for (std::size_t i = 8; i <= 19; ++i)
        Estado.Nuevos_Setpoints[i] = static_cast<uint8_t>(i);
    operador->Espera_Mensaje(
        QStringLiteral("Setpoints were Saved to the Computer's Scratch memory"));
    p.Command1_Click();
    for (std::size_t i = 8; i <= 19; ++i)
        EXPECT_EQ(Estado.Trama_Escritura[i], i);
    operador->Espera_Mensaje(QStringLiteral("Only Communication Mode"));
    p.Reset_Click(0);

    Enlace_Arriba();
    p.Command1_Click();
    p.Reset_Click(0);
    EXPECT_TRUE(Estado.Grabar_Pendiente && Estado.Reset_Tmax_Pendiente);
    EXPECT_TRUE(puerto->escrituras.empty()) << "the buttons only queue";

    // The relay being programmed at its keys (Prog lit): Clear is refused, and
    // STORE too while Prog blinks.
    for (const uint16_t parpadeo : {0x0001, 0x0000}) {
        Estado.Grabar_Pendiente = Estado.Reset_Tmax_Pendiente = false;
        Pon_Palabras(0x020A, {0x0001, parpadeo});
        if (parpadeo)
            operador->Espera_Mensaje(
                QStringLiteral("Warning: Someone it's Relay Programing in Local Mode"),
                QStringLiteral("KV - 73"));
        p.Command1_Click();
        EXPECT_EQ(Estado.Grabar_Pendiente, !parpadeo);
        operador->Espera_Mensaje(Local, QStringLiteral("KV - 72"));
        p.Reset_Click(0);
        EXPECT_FALSE(Estado.Reset_Tmax_Pendiente);
    }
}

TEST_F(Pagina_Principal, QueuedRequestsRunAfterThePollInOrderUnlessItFails) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    puerto->escrituras.clear();
    Estado.Grabar_Pendiente = Estado.Reset_Tmax_Pendiente = true;
    operador->Espera_Mensaje(QStringLiteral("Command Executed"), QStringLiteral("KV-73"));
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    p.Timer1_Timer();
    EXPECT_EQ(Resumen(puerto->Peticiones()),
              (std::vector<QString>{"04/0200", "05/0010", "05/0001", "10/0100", "05/0002"}));
    EXPECT_FALSE(Estado.Grabar_Pendiente || Estado.Reset_Tmax_Pendiente);
    EXPECT_TRUE(p.Timer1.isActive());

    // A poll that times out drops the queue and stops polling.
    puerto->al_recibir = nullptr;
    puerto->escrituras.clear();
    Estado.Grabar_Pendiente = true;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    p.Timer1_Timer();
    EXPECT_FALSE(p.Timer1.isActive());
    EXPECT_FALSE(Estado.Grabar_Pendiente);
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    EXPECT_EQ(Resumen(puerto->Peticiones()), std::vector<QString>(4, QStringLiteral("04/0200")))
        << "nothing but the poll reached the line";
    EXPECT_FALSE(p.UserControl11->Led_Encendido(1));
}

TEST_F(Pagina_Principal, ATickInsideAWaitLeavesTheQueueForLater) {
    AVPAGE2 &p = Pagina();
    Enlace_Arriba();
    // The relay takes a while with each reply, so ticks fire during the waits.
    puerto->al_recibir = [this](const QByteArray &peticion) {
        puerto->Inyecta_Despues(3 * Tick_ms / 2, rele.Responde(peticion));
    };
    QTimer::singleShot(Tick_ms / 2, &p, [&p] {
        Estado.Grabar_Pendiente = true;
        p.Timer1_Timer(); // a nested tick while the poll waits
    });
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    p.Timer1_Timer();
    EXPECT_EQ(Resumen(puerto->Peticiones()),
              (std::vector<QString>{"04/0200", "05/0001", "10/0100", "05/0002"}))
        << "no command went out while the poll waited";
}

TEST_F(Pagina_Principal, NewClearsOnlyWhileOffline) {
    Estado.Set_Setpoints[5] = 90;
    Estado.Trama_Escritura[9] = 90;
    AVPAGE2 &p = Pagina();
    Estado.Comunicacion_OK = true;
    p.Menu_Click(6);
    EXPECT_EQ(Estado.Set_Setpoints[5], 90);
    EXPECT_EQ(p.Barra_Estado->currentMessage(),
              QStringLiteral("New works with the link down: press OFF in Communication first"));
    p.Menu_Click(0); // Load File: no file dialog while live
    EXPECT_EQ(
        p.Barra_Estado->currentMessage(),
        QStringLiteral("Load File works with the link down: press OFF in Communication first"));
    Estado.Comunicacion_OK = false;
    p.Menu_Click(6);
    EXPECT_EQ(Estado.Set_Setpoints[5], 0);
    EXPECT_EQ(Estado.Trama_Escritura[9], 0);
    EXPECT_EQ(p.Word_UnR_[0]->Text().toStdString(), "0 °C");
}

// With the link down the temperatures keep reading Fco; a line under them says
// since when, and the title names the relay while the page is live, not the
// last file loaded.
TEST_F(Pagina_Principal, ALineSaysSinceWhenTheLinkIsDownAndTheTitleWhatIsLive) {
    Conecta_Rele();
    const QString muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
    AVPAGE2 &p = Pagina();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    const Aviso_Enlace &aviso = *Aviso_Enlace::De(p);
    QLabel *linea = aviso.Rotulo();
    EXPECT_TRUE(linea->isVisible());
    EXPECT_EQ(linea->text(), QStringLiteral("Link down: no live values"));
    operador->Espera_Abrir(muestra);
    p.Menu_Click(0);
    EXPECT_EQ(p.windowTitle(), QStringLiteral("KV73 - ") + muestra);

    // ON brings the link up.
    Enlace_Arriba();
    emit Avisos_Del_Dialogo().Enlace_Establecido();
    p.Timer1.stop();
    p.Timer2.stop();
    p.Timer1_Timer();
    EXPECT_FALSE(linea->isVisible());
    EXPECT_EQ(p.windowTitle(), QStringLiteral("KV73 - relay 1 on COM2, live"));

    puerto->al_recibir = nullptr;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    const QDateTime antes = QDateTime::currentDateTime();
    p.Timer1_Timer();
    const QDateTime despues = QDateTime::currentDateTime();
    EXPECT_TRUE(linea->isVisible());
    const QDateTime desde = aviso.Caido_Desde();
    EXPECT_TRUE(desde >= antes && desde <= despues);
    EXPECT_EQ(linea->text(),
              QStringLiteral("Link down since ") + desde.time().toString(QStringLiteral("HH:mm")));
    EXPECT_EQ(Textos(p.Actual), (QStringList{"Fco", "Fco", "Fco", "Fco"}));
    EXPECT_EQ(p.windowTitle(), QStringLiteral("KV73 - relay 1 on COM2, link down"));
}

TEST_F(Pagina_Principal, SendSetpointsToRelayLoadsAFileAndWritesIt) {
    Conecta_Rele();
    rele = Rele_Simulado(5);
    const QString muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
    AVPAGE2 &p = Pagina();
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 1"), QStringLiteral("5"));
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    p.Menu_Click(2);
    EXPECT_EQ(puerto->Todo_Lo_Escrito(),
              Hex("05 10 01 00 00 06 0C 00 55 00 69 00 32 00 41 00 07 5A 5A 5C 7E"));
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(host->Panel(5), QStringLiteral("Address:  5")) << "the address now in force";

    // An address that is not a byte is refused, not wrapped to another relay.
    puerto->escrituras.clear();
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 5"), QStringLiteral("300"));
    operador->Espera_Mensaje(QStringLiteral("The relay address must be 1 to 254: 300"));
    p.Menu_Click(2);
    // An empty answer sends nothing.
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 5"), QString());
    p.Menu_Click(2);
    EXPECT_TRUE(puerto->escrituras.empty());
}

// The broadcast address would have every relay on the line take the file's
// setpoints, and none answer; 255 no relay takes. Both are refused with the
// reason, with nothing on the line, and the address in force stays for the
// next poll. A relay's own highest address, in hex as well, is sent to.
TEST_F(Pagina_Principal, SendSetpointsRefusesAnAddressNoRelayCanHold) {
    Conecta_Rele();
    const QString muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
    AVPAGE2 &p = Pagina();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    Estado.Direccion_Rele = 7;
    for (const char *mala : {"0", "255", "0x0", "0xFF", "-1"}) {
        SCOPED_TRACE(mala);
        operador->Espera_Abrir(muestra);
        operador->Espera_Entrada(QStringLiteral("Relay Direction: 7"), QLatin1String(mala));
        operador->Espera_Mensaje(QStringLiteral("The relay address must be 1 to 254: ") +
                                 QLatin1String(mala));
        QTest::mouseClick(p.Menu[2], Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(Estado.Direccion_Rele, 7);
    }
    EXPECT_TRUE(puerto->escrituras.empty());
    EXPECT_FALSE(Estado.Comunicacion_OK);

    rele = Rele_Simulado(254);
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 7"), QStringLiteral("0xFE"));
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    QTest::mouseClick(p.Menu[2], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(Estado.Direccion_Rele, 254);
    EXPECT_EQ(puerto->Todo_Lo_Escrito().left(2), Hex("FE 10"));
}

TEST_F(Pagina_Principal, AFileWithASetpointOutOfRangeIsNeitherShownNorSent) {
    Conecta_Rele();
    const QString muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
    QFile archivo(muestra);
    ASSERT_TRUE(archivo.open(QIODevice::ReadOnly));
    const QByteArray bytes = archivo.readAll();
    QTemporaryDir carpeta;
    // L1 0xFFFF, then L2 100 below an L1 of 120 (the frame starts at byte 198).
    const QString fuera = carpeta.filePath(QStringLiteral("fuera.KV73")),
                  bajo = carpeta.filePath(QStringLiteral("bajo.KV73"));
    for (const auto &[ruta, l1_l2] : {std::pair{fuera, QByteArray("\xFF\xFF\x00\x69", 4)},
                                      std::pair{bajo, QByteArray("\x00\x78\x00\x64", 4)}}) {
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(bytes).replace(206, 4, l1_l2));
    }
    AVPAGE2 &p = Pagina();
    operador->Espera_Abrir(muestra);
    p.Menu_Click(0);
    ASSERT_EQ(p.Word_UnR_[0]->Text().toStdString(), "85 °C");

    // Load File: the sample stays on the page.
    operador->Espera_Abrir(fuera);
    operador->Espera_Mensaje(
        QStringLiteral("The file %1 holds a setpoint out of range: L1 65535 is outside 0 to 220")
            .arg(fuera));
    p.Menu_Click(0);
    EXPECT_FALSE(Estado.Archivo_Cargado);
    EXPECT_EQ(host->Caption(), QStringLiteral("KV73 - ") + muestra);
    EXPECT_EQ(p.Word_UnR_[0]->Text().toStdString(), "85 °C");
    EXPECT_EQ(Estado.Trama_Escritura[9], 0x55);

    // Send: no input box, nothing written, even after a good load.
    operador->Espera_Abrir(bajo);
    operador->Espera_Mensaje(
        QStringLiteral("The file %1 holds a setpoint out of range: L2 100 is below L1 120")
            .arg(bajo));
    p.Menu_Click(2);
    EXPECT_TRUE(puerto->escrituras.empty());
    EXPECT_EQ(Estado.Trama_Escritura[9], 0x55);
}

TEST_F(Pagina_Principal, StatusFileTellsALauncherThePageIsUpThenGone) {
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath(QStringLiteral("estado.bin"));
    qputenv("KV73_STATUS_FILE", ruta.toLocal8Bit());
    QFile previo(ruta);
    ASSERT_TRUE(previo.open(QIODevice::WriteOnly) && previo.write("ABCD") == 4);
    previo.close();
    const auto contenido = [&] {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // Interactive: the file is the launcher's business only.
    AVPAGE2 &p = Pagina();
    p.Form_Activate();
    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV - 73"),
                             Respuesta::Yes);
    p.Menu_Click(5);
    EXPECT_GE(terminaciones, 1);
    EXPECT_EQ(contenido(), QByteArray("ABCD"));

    Estado.Modo_Linea_Comandos = true;
    Enlace_Arriba();
    p.Form_Activate();
    EXPECT_EQ(contenido(), QByteArray("\x01\x00"
                                      "CD",
                                      4));
    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV - 73"),
                             Respuesta::Yes);
    p.Menu_Click(5);
    EXPECT_EQ(contenido(), QByteArray("\x02\x00"
                                      "CD",
                                      4));
    EXPECT_FALSE(puerto->PortOpen());
    EXPECT_EQ(puerto->Todo_Lo_Escrito(), QByteArray("\x00\x00", 2))
        << "a goodbye byte from Exit and one from the unload";
    qunsetenv("KV73_STATUS_FILE");
}

// A launcher's KV73_STATUS_FILE that is not UTF-8 would be written under
// another name, where the launcher never looks: no status file instead.
TEST(Archivo_Estado, ANameThatIsNotUtf8IsNotTakenForAnother) {
    qputenv("KV73_STATUS_FILE", QByteArray("/tmp/estado\xE9.bin"));
    EXPECT_EQ(Ruta_Archivo_Estado(), QString());
    qputenv("KV73_STATUS_FILE", QByteArray("/tmp/estado\xC3\xA9.bin"));
    EXPECT_EQ(Ruta_Archivo_Estado(), QStringLiteral("/tmp/estado\u00E9.bin"));
    qunsetenv("KV73_STATUS_FILE");
}

TEST_F(Pagina_Principal, MenuItemUnderThePointerTurnsWhiteAndPrintSendsThePage) {
    AVPAGE2 &p = Pagina();
    p.show();
    QTest::mouseMove(p.Menu[4], QPoint(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(p.Menu[4]->palette().color(QPalette::WindowText), QColor(Qt::white));
    QTest::mouseMove(p.Menu[2], QPoint(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(p.Menu[4]->palette().color(QPalette::WindowText), QColor(0, 0, 128));

    // The page the "Print" item would send to the printer, kept as a PDF.
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath(QStringLiteral("reporte.pdf"));
    impresora->elige = [&ruta](QPrinter &destino) {
        destino.setOutputFormat(QPrinter::PdfFormat);
        destino.setOutputFileName(ruta);
        return true;
    };
    p.Menu_Click(3);
    EXPECT_GT(QFileInfo(ruta).size(), 1000) << "the page as shown, as a PDF";
}
