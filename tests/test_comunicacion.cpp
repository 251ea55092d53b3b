// The communication settings dialog: its load, OK, ON and OFF, and its life as
// a hidden form whose status label the core writes.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Temporizador.h"
#include "controles/Byte_UnR.h"
#include "controles/UserControl1.h"
#include "enlace/Comunicacion.h"
#include "enlace/Dispositivos_Puerto.h"
#include "enlace/Puerto_QSerialPort.h"
#include "enlace/Puerto_Sistema.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Conexiones.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Escritorio.h"
#include "tests/soporte/Simulador.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

const QString Pregunta = QStringLiteral("The SetPoints Will be Lost, Do You Want Save ?");

using Dialogo = Escritorio;

} // namespace

TEST_F(Dialogo, LoadShowsTheSettingsAndOkAppliesThem) {
    Estado.Velocidad = 19200; // possible from a command line
    Estado.Puerto_Com = 3;
    Estado.Direccion_Rele = 7;
    Estado.Via_Modem = true;
    Estado.Telefono = QStringLiteral("5551234").leftJustified(20);
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    EXPECT_EQ(d.Combo2->currentIndex(), -1) << "19200 has no entry: the list shows none";
    EXPECT_EQ(d.Combo1->currentIndex(), 2);
    EXPECT_EQ(d.Byte_UnR1->Value(), 7);
    QTest::keyClicks(d.Text1, QStringLiteral("89"));
    EXPECT_EQ(Estado.Telefono, QStringLiteral("555123489").leftJustified(20))
        << "the operator can type on";

    d.Combo1->setCurrentIndex(0);
    d.Byte_UnR1->Set_Value(12);
    d.Okey_Click();
    EXPECT_EQ(Estado.Velocidad, 19200) << "no speed selected keeps the speed";
    EXPECT_EQ(Estado.Puerto_Com, 1);
    EXPECT_EQ(Estado.Direccion_Rele, 12);
    EXPECT_TRUE(Estado.Via_Modem) << "the link type as loaded";
    EXPECT_EQ(Comunicacion::Si_Cargada(), nullptr) << "OK unloads the dialog";
    EXPECT_TRUE(puerto->escrituras.empty()) << "OK sends nothing";
}

TEST_F(Dialogo, OnReadsTheRelayAndStartsThePageOffStopsItOnEitherLink) {
    Conecta_Rele();
    AVPAGE2 &p = Pagina();
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    d.Command1_Click();
    EXPECT_EQ(Resumen(puerto->Peticiones()),
              (std::vector<QString>{"04/0000", "03/0100", "04/0200"}));
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(host->Panel(6).toStdString(), "Communicating....");
    EXPECT_TRUE(p.Timer1.isActive());
    EXPECT_TRUE(d.Cancelar->isEnabled());

    // OFF: a goodbye byte, command 2, the link and the lamps down, the port open.
    p.UserControl11->Set_Pt1(true);
    p.UserControl11->Refrescar();
    puerto->escrituras.clear();
    d.Command2_Click();
    EXPECT_EQ(puerto->Todo_Lo_Escrito().left(9),
              QByteArray(1, '\0') +
                  Vector(QStringLiteral("command 2 request (and its echo reply), address 1")));
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_TRUE(puerto->PortOpen());
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    EXPECT_FALSE(p.UserControl11->Led_Encendido(1));
    EXPECT_TRUE(puerto->dtr.empty()) << "a direct line has no modem to hang up";

    // ON again in the same dialog reads the relay as the first ON did: OFF's
    // word does not reach the new setpoint read. The relay takes half a tick with
    // each reply, so that the read does wait.
    puerto->al_recibir = [this](const QByteArray &peticion) {
        puerto->Inyecta_Despues(Tick_ms / 2, rele.Responde(peticion));
    };
    puerto->escrituras.clear();
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    d.Command1_Click();
    EXPECT_EQ(Resumen(puerto->Peticiones()),
              (std::vector<QString>{"04/0000", "03/0100", "04/0200"}));
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Ocupado);
    EXPECT_EQ(host->Panel(6).toStdString(), "Communicating....");
    d.Command2_Click();

    // On a modem link OFF also drops DTR for a tick to hang up.
    Estado.Via_Modem = true;
    d.Command2_Click();
    EXPECT_EQ(puerto->dtr, (std::vector<bool>{false, true}));
    EXPECT_GE(Estado.Segundos, 1);
}

TEST_F(Dialogo, SaveQuestionDecidesWhatHappensAndARefusedRelayStaysDown) {
    Conecta_Rele();
    QTemporaryDir carpeta;
    const QString archivo = carpeta.filePath(QStringLiteral("antes.KV73"));
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::Yes);
    operador->Espera_Guardar(archivo);
    d.Command1_Click();
    EXPECT_TRUE(QFile::exists(archivo)) << "Yes saves the setpoints first";
    EXPECT_TRUE(Estado.Comunicacion_OK);

    d.Command2_Click();
    puerto->escrituras.clear();
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::Cancel);
    d.Command1_Click();
    EXPECT_TRUE(puerto->escrituras.empty());
    EXPECT_FALSE(Estado.Comunicacion_OK);

    // A relay of another kind: the link stays down, without a message.
    puerto->al_recibir = [this](const QByteArray &) {
        puerto->Inyecta(Vector(QStringLiteral(
            "identification reply, address 1, registers 0x0003 0x0001 0x007F (refused)")));
    };
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    d.Command1_Click();
    EXPECT_EQ(Resumen(puerto->Peticiones()), std::vector<QString>{"04/0000"});
}

TEST_F(Dialogo, OffDuringAWaitingSetpointReadEndsIt) {
    // The relay answers all but the setpoint read; half a tick into that read's
    // wait the operator presses OFF.
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    puerto->al_recibir = [this, &d](const QByteArray &peticion) {
        if (peticion[1] != 0x03)
            puerto->Inyecta(rele.Responde(peticion));
        else
            QTimer::singleShot(Tick_ms / 2, &d, [&d] { d.Command2_Click(); });
    };
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    d.Command1_Click();
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Ocupado);
    EXPECT_EQ(Resumen(puerto->Peticiones()),
              (std::vector<QString>{"04/0000", "03/0100", "05/0002"}))
        << "OFF's command, and no resend and no poll after it";
}

TEST_F(Dialogo, EscapeAndTheWindowFrameWaitForOnAndOffToEnd) {
    // The relay takes two ticks with each reply, so ON and OFF wait on the line.
    puerto->al_recibir = [this](const QByteArray &peticion) {
        puerto->Inyecta_Despues(2 * Tick_ms, rele.Responde(peticion));
    };
    AVPAGE2 &p = Pagina();
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    int intentos = 0;
    bool sigue_abierto = true;
    // Escape, then the window's close button, while an operation waits.
    const auto intenta_cerrar = [&] {
        QTest::keyClick(&d, Qt::Key_Escape);
        d.close();
        ++intentos;
        sigue_abierto = sigue_abierto && Comunicacion::Si_Cargada() == &d && d.isVisible();
    };
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    QTimer::singleShot(0, &d, [&] {
        // Inside the dialog's own loop, as the operator sees it.
        QTimer::singleShot(Tick_ms, &d, intenta_cerrar);
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        EXPECT_TRUE(Estado.Comunicacion_OK);
        QTimer::singleShot(Tick_ms, &d, intenta_cerrar);
        QTest::mouseClick(d.Command2, Qt::LeftButton);
        EXPECT_EQ(intentos, 2) << "both tries came while ON and OFF waited";
        EXPECT_TRUE(sigue_abierto) << "the dialog closed under a running operation";
        QTest::keyClick(&d, Qt::Key_Escape); // now it may go
    });
    p.Menu_Click(4);
    EXPECT_EQ(Comunicacion::Si_Cargada(), nullptr);
    EXPECT_FALSE(Estado.Comunicacion_OK);
}

// OFF, and ON a quarter tick later while OFF's command 2 still waits for a reply
// that never comes, with the page polling every half tick all along: OFF's wait
// ends at its own fifth tick whatever runs inside it, and Exit closes the dialog.
TEST_F(Dialogo, OffThenOnThenExitClosesTheDialog) {
    puerto->al_recibir = [this](const QByteArray &peticion) {
        const bool comando_2 = peticion[1] == 0x05 && peticion[3] == 0x02;
        if (!comando_2)
            puerto->Inyecta_Despues(Tick_ms / 4, rele.Responde(peticion));
    };
    AVPAGE2 &p = Pagina();
    p.Timer1.setInterval(Tick_ms / 2);
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    int sondeos_en_off = 0;
    QTimer::singleShot(0, &d, [&] {
        QTest::mouseClick(d.Command1, Qt::LeftButton);
        ASSERT_TRUE(Estado.Comunicacion_OK);
        QTimer::singleShot(Tick_ms / 4, &d, [&] { QTest::mouseClick(d.Command1, Qt::LeftButton); });
        const std::size_t antes = puerto->Peticiones().size();
        const uint32_t inicio = host->Timer_Comunicacion.Cuenta();
        QTest::mouseClick(d.Command2, Qt::LeftButton);
        EXPECT_LE(host->Timer_Comunicacion.Cuenta() - inicio, 6u);
        for (std::size_t i = antes; i < puerto->Peticiones().size(); ++i)
            sondeos_en_off += Resumen({puerto->Peticiones()[i]}).front() == "04/0200";
        QTest::mouseClick(d.Cancelar, Qt::LeftButton);
    });
    p.Menu_Click(4);
    EXPECT_EQ(Comunicacion::Si_Cargada(), nullptr) << "Exit closed the dialog";
    EXPECT_GE(sondeos_en_off, 4) << "the page polled inside OFF's wait";
}

TEST_F(Dialogo, CommandLineModeAsksNothingAndLocksTheLists) {
    Estado.Modo_Linea_Comandos = true;
    Conecta_Rele();
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    EXPECT_FALSE(d.Combo2->isEnabled());
    EXPECT_FALSE(d.Byte_UnR1->Enabled());
    d.Command1_Click(); // no question, no save dialog
    EXPECT_TRUE(Estado.Comunicacion_OK);

    // A command line may give a speed the list does not hold: ON opens at it.
    Comunicacion::Descarga();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Estado.Velocidad = 19200;
    Comunicacion::Cargada(Enlace()).Command1_Click();
    EXPECT_EQ(Estado.Velocidad, 19200);
    EXPECT_EQ(puerto->settings_abiertos.toStdString(), " 19200,N,8,1");
}

TEST_F(Dialogo, CoreWritesTheStatusLabelOfAHiddenDialogAndTheStatusBar) {
    ASSERT_EQ(Comunicacion::Si_Cargada(), nullptr);
    Enlace_Arriba();
    Enlace().Textos().Escribe_Panel(6, QStringLiteral("Communicating...."));
    // A silent relay, and no page whose poll would write the status bar itself:
    // the link failure says it on its own.
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Enlace().Lee_Valores_Actuales(1);
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    Comunicacion *d = Comunicacion::Si_Cargada();
    ASSERT_NE(d, nullptr) << "writing its label loads it";
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->Label6->text().toStdString(), "Communication Not Stablished");
    // Shown later as it was: its load does not run again.
    d->Byte_UnR1->Set_Value(33);
    EXPECT_EQ(&Comunicacion::Cargada(Enlace()), d);
    EXPECT_EQ(d->Byte_UnR1->Value(), 33);
}

TEST_F(Dialogo, SystemCloseAsksFirst) {
    Enlace_Arriba();
    for (const Respuesta r : {Respuesta::No, Respuesta::Yes}) {
        operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV-72"),
                                 r);
        EXPECT_EQ(host->Form_QueryUnload(), r == Respuesta::Yes);
        EXPECT_EQ(terminaciones, r == Respuesta::Yes ? 1 : 0);
    }
    EXPECT_EQ(puerto->Todo_Lo_Escrito(), QByteArray(1, '\0'))
        << "one goodbye byte on the open port, for the Yes";
}

namespace {

// The program's own port (a serial device, or the network for tcp://) against
// kv73-sim, the settings in a folder of the test's own (never the user's), and
// no KV73_COMn from outside.
class Dispositivos : public ::testing::Test {
  protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, ajustes.path());
        for (const char *variable : {"KV73_COM1", "KV73_COM2", "KV73_COM3", "KV73_COM4"})
            qunsetenv(variable);
        Reinicia_Estado();
        host = std::make_unique<Principal>(Principal::Plataforma{
            std::make_unique<Puerto_Sistema>(),
            std::unique_ptr<Operador>(operador = new Operador_Guionizado), nullptr, nullptr});
        Conecta_Host(*host);
        host->Timer_Comunicacion.Set_Interval(50);
        host->Form_Load();
    }
    void TearDown() override {
        Comunicacion::Descarga();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        host.reset();
    }

    // The operator opens "Port devices" from the settings dialog, looks at it
    // (`mira`), types `ruta` as the device of COM`n` and presses OK or Cancel.
    void Asigna(Comunicacion &d, int n, const QString &ruta, QDialogButtonBox::StandardButton boton,
                const std::function<void(Dispositivos_Puerto &)> &mira = {}) {
        bool visto = false;
        QTimer::singleShot(0, &d, [&] {
            auto *dialogo = d.findChild<Dispositivos_Puerto *>();
            if (!dialogo)
                return;
            visto = true;
            if (mira)
                mira(*dialogo);
            QLineEdit *entrada = dialogo->Dispositivo[n - 1]->lineEdit();
            entrada->selectAll();
            QTest::keyClicks(entrada, ruta);
            QTest::mouseClick(dialogo->Botones->button(boton), Qt::LeftButton);
        });
        QTest::mouseClick(d.Dispositivos, Qt::LeftButton);
        EXPECT_TRUE(visto) << "Port devices opened no dialog";
    }

    Enlace_Rele &Enlace() { return host->Enlace(); }

    QTemporaryDir ajustes;
    Operador_Guionizado *operador = nullptr;
    std::unique_ptr<Principal> host;
};

} // namespace

TEST_F(Dispositivos, TheOperatorMapsCom3ToADeviceAndOnOpensIt) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    d.show();
    d.Combo1->setCurrentIndex(2);

    // A device that is not there: the number, then why.
    const QString falta = ajustes.filePath(QStringLiteral("ttyUSB9"));
    Asigna(d, 3, falta, QDialogButtonBox::Ok);
    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    operador->Espera_Mensaje(QStringLiteral("Invalid Number Port: 3\nno such device: ") + falta);
    QTest::mouseClick(d.Command1, Qt::LeftButton);
    EXPECT_FALSE(Estado.Comunicacion_OK);

    Asigna(d, 3, sim.Enlace(), QDialogButtonBox::Ok);
    EXPECT_EQ(Dispositivo_Asignado(3), sim.Enlace());
    // Cancel keeps the assignment; the pseudo-terminal, which the system does
    // not list, is shown because COM3 names it.
    Asigna(
        d, 3, QStringLiteral("/dev/ttyS9"), QDialogButtonBox::Cancel, [&](Dispositivos_Puerto &p) {
            EXPECT_EQ(p.Dispositivo[2]->currentText(), sim.Enlace());
            EXPECT_EQ(p.Dispositivo[0]->lineEdit()->placeholderText().toStdString(), "/dev/ttyS0");
            const auto filas = p.Tabla->findItems(sim.Enlace(), Qt::MatchExactly);
            ASSERT_EQ(filas.size(), 1);
            EXPECT_EQ(p.Tabla->item(filas[0]->row(), 4)->text().toStdString(), "yes");
        });
    EXPECT_EQ(Dispositivo_Asignado(3), sim.Enlace());

    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    QTest::mouseClick(d.Command1, Qt::LeftButton);
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(host->Panel(6).toStdString(), "Communicating....");
    EXPECT_EQ(d.Label6->text().toStdString(), "Communication Stablished");

    // KV73_COM3 still wins over the assignment, and the dialog says so.
    qputenv("KV73_COM3", "/dev/pts/77");
    Asigna(d, 3, QString(), QDialogButtonBox::Cancel, [](Dispositivos_Puerto &p) {
        EXPECT_EQ(p.Entorno[2]->text().toStdString(), "KV73_COM3 in force: /dev/pts/77");
        EXPECT_TRUE(p.Entorno[0]->text().isEmpty());
    });
    qunsetenv("KV73_COM3");
}

TEST_F(Dispositivos, ARelayBehindADeviceServerIsAssignedAndLinked) {
    Simulador sim({QStringLiteral("--tcp"), QStringLiteral("0")});
    ASSERT_TRUE(sim.Listo());
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    d.show();
    d.Combo1->setCurrentIndex(2);
    Asigna(d, 3, sim.Dispositivo_Tcp(), QDialogButtonBox::Ok);
    EXPECT_EQ(Dispositivo_Asignado(3), sim.Dispositivo_Tcp());
    // Listed as what it is: no file, so no file permission to show.
    Asigna(d, 3, sim.Dispositivo_Tcp(), QDialogButtonBox::Cancel, [&](Dispositivos_Puerto &p) {
        const auto filas = p.Tabla->findItems(sim.Dispositivo_Tcp(), Qt::MatchExactly);
        ASSERT_EQ(filas.size(), 1);
        EXPECT_EQ(p.Tabla->item(filas[0]->row(), 4)->text().toStdString(), "network");
        EXPECT_EQ(p.Tabla->item(filas[0]->row(), 5)->text().toStdString(), "COM3");
    });

    operador->Espera_Mensaje(Pregunta, QStringLiteral("KV-73"), Respuesta::No);
    QTest::mouseClick(d.Command1, Qt::LeftButton);
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(host->Panel(6).toStdString(), "Communicating....");
    EXPECT_EQ(d.Label6->text().toStdString(), "Communication Stablished");
}
