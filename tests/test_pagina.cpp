// The main page: lamps and live values, the setpoint area, the queue of STORE
// and Clear, the menu and the status file for a launching program.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "controles/UserControl1.h"
#include "controles/Word_UnR.h"
#include "formularios/AVPAGE2.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Escritorio.h"

#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QFileInfo>
#include <QPrinter>
#include "reporte/Dialogo_Impresora.h"

namespace {

const QString Respuesta_Sondeo = QStringLiteral(
    "actual values reply, address 1: Pt1..Pt4 85, 0xFFFB (-5), 0x00E7 (Fco), 0xFFF5 (Fcc); "
    "maxima 97, 65, 231, 0xFFF5 (65525); 0x0208 0, 0x0209 0, 0x020A 0x0089, 0x020B 0x0008, "
    "0x020C 0x1111, 0x020D 0x2222");
const QString Guardado_Rele = QStringLiteral("Setpoints were Saved to the Relay memory");

void Pon_Valores(const QByteArray &respuesta) {
    for (qsizetype i = 0; i < 31; ++i)
        Estado.Valores_Actuales[static_cast<std::size_t>(i + 1)] = static_cast<uint8_t>(respuesta[i]);
}

// Status words 0x020A (on) and 0x020B (blink) in Valores_Actuales.
void Pon_Estado(uint16_t encendidas, uint16_t parpadeo) {
    Estado.Valores_Actuales[24] = static_cast<uint8_t>(encendidas >> 8);
    Estado.Valores_Actuales[25] = static_cast<uint8_t>(encendidas & 0xFF);
    Estado.Valores_Actuales[26] = static_cast<uint8_t>(parpadeo >> 8);
    Estado.Valores_Actuales[27] = static_cast<uint8_t>(parpadeo & 0xFF);
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
    Pon_Valores(Vector(Respuesta_Sondeo));
    Estado.Comunicacion_OK = true;
    p.Actualiza_Valores_de_Pantalla();
    EXPECT_EQ(Textos(p.Actual), (QStringList{"85", "-5", "Fco", "Fcc"}));
    EXPECT_EQ(Textos(p.Tmaximun), (QStringList{"97", "65", "231", "65525"}));
    UserControl1 &panel = *p.UserControl11;
    EXPECT_TRUE(panel.Pt1());
    EXPECT_TRUE(panel.Prog()) << "on bit, no blink bit: steady";
    EXPECT_FALSE(panel.Pt2());
    EXPECT_FALSE(panel.FAN());
    // L1 has both bits: it changes state at every refresh.
    std::vector<bool> l1;
    for (int i = 0; i < 3; ++i) {
        l1.push_back(panel.L1());
        p.Actualiza_Valores_de_Pantalla();
    }
    EXPECT_EQ(l1, (std::vector<bool>{true, false, true}));

    // High-byte lamps: Pt2 (bit 8) steady, Pt4 (bit 10) blinking.
    Pon_Estado(0x0500, 0x0400);
    p.Actualiza_Valores_de_Pantalla();
    EXPECT_TRUE(panel.Pt2());
    EXPECT_FALSE(panel.Pt1());
    const bool pt4 = panel.Pt4();
    p.Actualiza_Valores_de_Pantalla();
    EXPECT_NE(panel.Pt4(), pt4);
    EXPECT_TRUE(panel.Pt2());

    // With the link down the temperatures read "Fco"; the maxima stay.
    Estado.Comunicacion_OK = false;
    p.Actualiza_Valores_de_Pantalla();
    EXPECT_EQ(Textos(p.Actual), (QStringList{"Fco", "Fco", "Fco", "Fco"}));
    EXPECT_EQ(Textos(p.Tmaximun), (QStringList{"97", "65", "231", "65525"}));
}

TEST_F(Pagina_Principal, OptionListsEditTheirBitsAndShowWhatTheyImply) {
    Estado.Set_Setpoints[12] = 0x5A; // high byte: never touched
    Estado.Set_Setpoints[13] = 0x0B; // 4 probes, fan, 3 fan probes, weekly
    Estado.Nuevos_Setpoints[16] = 0x5A;
    AVPAGE2 &p = Pagina();
    EXPECT_EQ(p.Combo[0]->currentIndex(), 1);
    EXPECT_EQ(p.Combo[1]->currentIndex(), 1);
    EXPECT_EQ(p.Combo[2]->currentIndex(), 0);
    EXPECT_EQ(p.Combo[3]->currentIndex(), 1);
    EXPECT_FALSE(p.Sonda_4->isHidden());
    EXPECT_EQ(p.RTD->text().toStdString(), "4");
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x0B);

    p.Combo[2]->setCurrentIndex(1);
    p.Combo_Click(2);
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x0F);
    // Three probes: the Pt4 row goes, the fan-command probes are forced to 3.
    p.Combo[0]->setCurrentIndex(0);
    p.Combo_Click(0);
    EXPECT_TRUE(p.Sonda_4->isHidden());
    EXPECT_EQ(p.RTD->text().toStdString(), "3");
    EXPECT_EQ(p.Combo[2]->currentIndex(), 0);
    EXPECT_FALSE(p.Combo[2]->isEnabled());
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x0A);
    p.Combo[0]->setCurrentIndex(1);
    p.Combo_Click(0);
    EXPECT_TRUE(p.Combo[2]->isEnabled());
    EXPECT_EQ(p.Combo[2]->currentIndex(), 0) << "enabled again, not changed";
    // No fan: the whole fan frame goes.
    p.Combo[1]->setCurrentIndex(0);
    p.Combo_Click(1);
    EXPECT_TRUE(p.Ventilador->isHidden());
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x09);
    EXPECT_EQ(Estado.Nuevos_Setpoints[16], 0x5A);
    EXPECT_EQ(Estado.Set_Setpoints[13], 0x0B) << "the read image shows the relay";
}

TEST_F(Pagina_Principal, TripAndFanStartArePushedAboveTheirPartners) {
    const uint8_t setpoints[] = {0, 100, 0, 110, 0, 60, 0, 70};
    for (std::size_t i = 0; i < 8; ++i)
        Estado.Set_Setpoints[4 + i] = setpoints[i];
    AVPAGE2 &p = Pagina();
    const auto cambia = [&](int i, int valor) {
        p.Word_UnR_[i]->Set_Value(valor);
        p.Word_UnR_[i]->Refrescar();
        emit p.Word_UnR_[i]->Change();
    };
    cambia(0, 120);
    EXPECT_EQ(p.Word_UnR_[1]->Value(), 121);
    EXPECT_EQ(p.Word_UnR_[1]->Min(), 120);
    EXPECT_EQ(Estado.Nuevos_Setpoints[11], 121) << "the pushed value is stored too";
    cambia(1, 150);
    cambia(0, 100);
    EXPECT_EQ(p.Word_UnR_[1]->Value(), 150);
    EXPECT_EQ(p.Word_UnR_[1]->Min(), 100);
    cambia(2, 80);
    EXPECT_EQ(p.Word_UnR_[3]->Value(), 81);
    EXPECT_EQ(p.Word_UnR_[3]->Text().toStdString(), "81 °C");
    EXPECT_EQ(Estado.Nuevos_Setpoints[15], 81);
}

TEST_F(Pagina_Principal, StoreAndClearOfflineAndOnline) {
    AVPAGE2 &p = Pagina();
    for (std::size_t i = 8; i <= 19; ++i)
        Estado.Nuevos_Setpoints[i] = static_cast<uint8_t>(i);
    operador->Espera_Mensaje(QStringLiteral("Setpoints were Saved to the Computer's Scratch memory"));
    p.Command1_Click();
    for (std::size_t i = 8; i <= 19; ++i)
        EXPECT_EQ(Estado.Trama_Escritura[i], i);
    operador->Espera_Mensaje(QStringLiteral("Only Communication Mode"));
    p.Reset_Click(0);

    Enlace_Arriba();
    p.Command1_Click();
    p.Reset_Click(0);
    EXPECT_TRUE(Estado.Grabar_Pendiente);
    EXPECT_TRUE(Estado.Reset_Tmax_Pendiente);
    EXPECT_TRUE(puerto->escrituras.empty()) << "the buttons only queue";

    // The relay being programmed at its keys: Prog lit and blinking.
    Estado.Grabar_Pendiente = Estado.Reset_Tmax_Pendiente = false;
    Pon_Estado(0x0001, 0x0001);
    operador->Espera_Mensaje(QStringLiteral("Warning: Someone it's Relay Programing in Local Mode"),
                             QStringLiteral("KV - 73"));
    p.Command1_Click();
    operador->Espera_Mensaje(QStringLiteral("Warning: Someone it's Relay Programming in Local Mode"),
                             QStringLiteral("KV - 72"));
    p.Reset_Click(0);
    EXPECT_FALSE(Estado.Grabar_Pendiente);
    EXPECT_FALSE(Estado.Reset_Tmax_Pendiente);
    // Prog steady: STORE goes through, Clear does not.
    Pon_Estado(0x0001, 0x0000);
    p.Command1_Click();
    EXPECT_TRUE(Estado.Grabar_Pendiente);
    operador->Espera_Mensaje(QStringLiteral("Warning: Someone it's Relay Programming in Local Mode"),
                             QStringLiteral("KV - 72"));
    p.Reset_Click(0);
}

TEST_F(Pagina_Principal, QueuedRequestsRunAfterThePollInOrder) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    puerto->escrituras.clear();
    Estado.Grabar_Pendiente = true;
    Estado.Reset_Tmax_Pendiente = true;
    operador->Espera_Mensaje(QStringLiteral("Command Executed"), QStringLiteral("KV-73"));
    operador->Espera_Mensaje(Guardado_Rele, QStringLiteral("KV-73"));
    p.Timer1_Timer();
    EXPECT_EQ(Resumen(puerto->Peticiones()),
              (std::vector<QString>{"04/0200", "05/0010", "05/0001", "10/0100", "05/0002"}));
    EXPECT_FALSE(Estado.Grabar_Pendiente);
    EXPECT_FALSE(Estado.Reset_Tmax_Pendiente);
    EXPECT_TRUE(p.Timer1.isActive());
}

TEST_F(Pagina_Principal, ATickInsideAWaitLeavesTheQueueForLater) {
    AVPAGE2 &p = Pagina();
    Enlace_Arriba();
    puerto->escrituras.clear();
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

TEST_F(Pagina_Principal, APollThatTimesOutDropsTheQueueAndStopsPolling) {
    AVPAGE2 &p = Pagina();
    Enlace_Arriba();
    p.Timer1.start();
    Estado.Grabar_Pendiente = true;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    p.Timer1_Timer();
    EXPECT_FALSE(p.Timer1.isActive());
    EXPECT_FALSE(Estado.Grabar_Pendiente);
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    for (const QString &r : Resumen(puerto->Peticiones()))
        EXPECT_EQ(r.toStdString(), "04/0200") << "nothing but the poll reached the line";
    EXPECT_FALSE(p.UserControl11->Led_Encendido(1));
}

TEST_F(Pagina_Principal, NewClearsOnlyWhileOffline) {
    Estado.Set_Setpoints[5] = 90;
    Estado.Trama_Escritura[9] = 90;
    Estado.Valores_Actuales[5] = 70;
    Estado.Valores_Actuales[34] = 0x77; // beyond the reply: New leaves it
    AVPAGE2 &p = Pagina();
    Estado.Comunicacion_OK = true;
    p.Menu_Click(6);
    EXPECT_EQ(Estado.Set_Setpoints[5], 90);
    Estado.Comunicacion_OK = false;
    p.Menu_Click(6);
    EXPECT_EQ(Estado.Set_Setpoints[5], 0);
    EXPECT_EQ(Estado.Trama_Escritura[9], 0);
    EXPECT_EQ(Estado.Valores_Actuales[5], 0);
    EXPECT_EQ(Estado.Valores_Actuales[34], 0x77);
    EXPECT_EQ(p.Word_UnR_[0]->Text().toStdString(), "0 °C");
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
    const auto peticiones = puerto->Peticiones();
    ASSERT_EQ(peticiones.size(), 1u);
    EXPECT_EQ(peticiones[0].left(19), Hex("05 10 01 00 00 06 0C 00 55 00 69 00 32 00 41 00 07 5A 5A"));
    EXPECT_EQ(rele.Registro(0x0100), 85);
    EXPECT_EQ(Estado.Direccion_Rele, 5);
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(p.Word_UnR_[0]->Text().toStdString(), "85 °C");

    // An address that is not a byte is refused, not wrapped to another relay.
    puerto->escrituras.clear();
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 5"), QStringLiteral("300"));
    operador->Espera_Mensaje(QStringLiteral("The relay address must be 0 to 255: 300"));
    p.Menu_Click(2);
    // An empty answer sends nothing.
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 5"), QString());
    p.Menu_Click(2);
    EXPECT_TRUE(puerto->escrituras.empty());
}

TEST_F(Pagina_Principal, StatusFileTellsALauncherThePageIsUpThenGone) {
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath(QStringLiteral("estado.bin"));
    qputenv("KV73_STATUS_FILE", ruta.toLocal8Bit());
    {
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ABCD");
    }
    const auto contenido = [&] {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // Interactive: the file is the launcher's business only.
    AVPAGE2 &p = Pagina();
    p.Form_Activate();
    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV - 73"), Respuesta::No);
    p.Menu_Click(5);
    EXPECT_EQ(terminaciones, 0);
    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV - 73"), Respuesta::Yes);
    p.Menu_Click(5);
    EXPECT_GE(terminaciones, 1);
    EXPECT_EQ(contenido(), QByteArray("ABCD"));

    Estado.Modo_Linea_Comandos = true;
    Enlace_Arriba();
    p.Form_Activate();
    EXPECT_EQ(contenido(), QByteArray("\x01\x00" "CD", 4));
    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV - 73"), Respuesta::Yes);
    p.Menu_Click(5);
    EXPECT_EQ(contenido(), QByteArray("\x02\x00" "CD", 4));
    EXPECT_FALSE(puerto->PortOpen());
    EXPECT_EQ(puerto->Todo_Lo_Escrito(), QByteArray("\x00\x00", 2)) << "a goodbye byte from Exit and one from the unload";
    qunsetenv("KV73_STATUS_FILE");
}

TEST(Archivo_Estado, WithoutItsVariableAndOffWindowsThereIsNoStatusFile) {
    qunsetenv("KV73_STATUS_FILE");
#ifndef Q_OS_WIN
    EXPECT_TRUE(Ruta_Archivo_Estado().isEmpty()) << "never a file named after a Windows path in the working folder";
#endif
    qputenv("KV73_STATUS_FILE", "/tmp/x");
    EXPECT_EQ(Ruta_Archivo_Estado().toStdString(), "/tmp/x");
    qunsetenv("KV73_STATUS_FILE");
}

namespace {
// Keeps the page the "Print" item would send to the printer, as a PDF.
class Impresora_Pdf : public Dialogo_Impresora {
  public:
    explicit Impresora_Pdf(QString ruta) : ruta_(std::move(ruta)) {}
    bool Elige(QPrinter &impresora) override {
        impresora.setOutputFormat(QPrinter::PdfFormat);
        impresora.setOutputFileName(ruta_);
        return true;
    }

  private:
    QString ruta_;
};
} // namespace

TEST_F(Pagina_Principal, PrintSendsThePageAsShown) {
    QTemporaryDir carpeta;
    const QString pdf = carpeta.filePath(QStringLiteral("reporte.pdf"));
    Impresora_Pdf impresora(pdf);
    Usa_Dialogo_Impresora(&impresora);
    Pagina().Menu_Click(3);
    Usa_Dialogo_Impresora(nullptr);
    EXPECT_GT(QFileInfo(pdf).size(), 1000);
}

TEST_F(Pagina_Principal, MenuItemUnderThePointerTurnsWhite) {
    AVPAGE2 &p = Pagina();
    p.show();
    QTest::mouseMove(p.Menu[4], QPoint(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(p.Menu[4]->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(p.Menu[3]->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QTest::mouseMove(p.Menu[2], QPoint(10, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(p.Menu[4]->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(p.Menu[2]->palette().color(QPalette::WindowText), QColor(Qt::white));
}
