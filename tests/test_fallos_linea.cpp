// The live page on a real line: the desktop program's host with its own serial
// port and its main page (offscreen, never shown) polling a kv73-sim on a
// pseudo-terminal, while the simulated relay spoils, splits, pads, delays or stops
// its replies, or goes away as an unplugged USB adapter does. The window has to
// keep answering all the while. The exchange itself, tick by tick, is
// test_protocolo's; here it is the page, the port and the window around it.
//
// KV73_LARGO=N runs the bad-CRC case for N minutes at the program's own pace
// (1 s tick, 500 ms poll); bench/soak.sh does that. Without it the case runs a
// hundred polls at a faster pace.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "controles/UserControl1.h"
#include "enlace/Comunicacion.h"
#include "enlace/Puerto_QSerialPort.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Conexiones.h"
#include "formularios/Principal.h"
#include "protocolo/Crc.h"
#include "tests/soporte/Operador_Guionizado.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

// When something happened: the ticks of the running wait, the (monotonic) time
// and the CPU time of the whole test process so far.
struct Momento {
    uint8_t segundos = Estado.Segundos;
    qint64 ms = QDeadlineTimer::current().deadline();
    double cpu = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
};

// kv73-sim at a path the test chooses, so that a second simulator can take the
// place of one that went away, as the same adapter plugged in again. terminate()
// unplugs it at once: the simulator closes its terminal as it ends.
struct Rele_En_Pty : QProcess {
    Rele_En_Pty(const QString &enlace, const QStringList &opciones) {
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start(QStringLiteral(KV73_SIM), QStringList{"--link", enlace} + opciones);
        // It prints one line once the relay listens.
        while (waitForStarted(5000) && !canReadLine() && waitForReadyRead(5000)) {
        }
        EXPECT_TRUE(canReadLine() && QFile::exists(enlace)) << "kv73-sim did not start";
    }
    ~Rele_En_Pty() override {
        terminate();
        waitForFinished(5000);
    }
};

// The program's own serial port, counting the bytes written to it. Every
// request here is a read of 8 bytes.
struct Puerto_Vigilado : Puerto_QSerialPort {
    void Output(const QByteArray &bytes) override {
        escritos += bytes.size();
        Puerto_QSerialPort::Output(bytes);
        al_escribir();
    }
    qsizetype escritos = 0; // sent or not
    std::function<void()> al_escribir = [] {};
};

// The scripted operator, noting when each message came.
struct Operador_Cronometrado : Operador_Guionizado {
    Respuesta Mensaje(const QString &texto, const QString &titulo, Botones botones,
                      Icono icono) override {
        avisos.push_back(Momento{});
        return Operador_Guionizado::Mensaje(texto, titulo, botones, icono);
    }
    std::vector<Momento> avisos;
};

class Linea_Real : public ::testing::Test {
  protected:
    void SetUp() override {
        Reinicia_Estado();
        terminaciones = 0;
        // ON brings the link up without the save question, as a launcher's start does.
        Estado.Modo_Linea_Comandos = true;
        host = std::make_unique<Principal>(
            Principal::Plataforma{std::unique_ptr<Puerto_Serie>(puerto = new Puerto_Vigilado),
                                  std::unique_ptr<Operador>(operador = new Operador_Cronometrado),
                                  nullptr, [] { ++terminaciones; }});
        // A 50 ms tick puts the five-tick timeout at a quarter of a second; Timer1
        // keeps its 500 ms unless a case sets its own pace.
        host->Timer_Comunicacion.Set_Interval(50);
        Conecta_Host(*host);
        host->Form_Load();
        pagina = std::make_unique<AVPAGE2>(*host);
        Conecta_Pagina(*pagina, *host);
        pagina->Form_Load();
        // After the page's own handler: what one tick of Timer1 left on the screen.
        QObject::connect(&pagina->Timer1, &QTimer::timeout, [this] { ++sondeos, tras_sondeo(); });
        // A 10 ms heartbeat of the event loop: the longest silence between two
        // beats before the first message tells whether the window would have
        // answered the operator.
        latido.setTimerType(Qt::PreciseTimer);
        QObject::connect(&latido, &QTimer::timeout, [this] {
            const qint64 ahora = QDeadlineTimer::current().deadline();
            if (operador->avisos.empty())
                peor_hueco = qMax(peor_hueco, ahora - std::exchange(ultimo_latido, ahora));
        });
        latido.start(10);
        qputenv("KV73_COM2", QFile::encodeName(Enlace())); // ON opens port 2
    }

    void TearDown() override {
        puerto->al_escribir = [] {};
        pagina.reset();
        Comunicacion::Descarga();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        host.reset();
        EXPECT_EQ(terminaciones, 0) << "nothing here ends the program";
    }

    QString Enlace() const { return carpeta.filePath(QStringLiteral("relay")); }
    // The settings dialog's ON.
    void Enciende() { Comunicacion::Cargada(host->Enlace()).Command1_Click(); }

    // Runs the event loop until the condition holds, at most `ms` milliseconds.
    static bool Corre_Hasta(const std::function<bool()> &condicion, int ms) {
        QTimer despertador;
        despertador.start(10);
        const QDeadlineTimer plazo(ms);
        while (!condicion() && !plazo.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return condicion();
    }

    QTemporaryDir carpeta;
    Puerto_Vigilado *puerto = nullptr;
    Operador_Cronometrado *operador = nullptr;
    std::unique_ptr<Principal> host;
    std::unique_ptr<AVPAGE2> pagina;
    QTimer latido;
    qint64 ultimo_latido = 0, peor_hueco = 0; // since the last reset, in ms
    int sondeos = 0;                          // ticks of Timer1
    std::function<void()> tras_sondeo = [] {};
    static inline int terminaciones = 0;
};

} // namespace

TEST_F(Linea_Real, OneReplyInFiveWithABadCrcNeitherEndsTheLinkNorReachesTheScreen) {
    const int minutos = qEnvironmentVariableIntValue("KV73_LARGO");
    host->Timer_Comunicacion.Set_Interval(minutos > 0 ? 1000 : 50);
    pagina->Timer1.setInterval(minutos > 0 ? 500 : 20);
    Rele_En_Pty rele(Enlace(), {"--bad-crc-every", "5"});
    Enciende();
    const auto bytes = [](const auto &imagen, qsizetype n) {
        return QByteArray(reinterpret_cast<const char *>(imagen.Datos() + 1), n);
    };
    // After every tick the image holds the reply just taken when its CRC was
    // good, else what it held before; the screen shows the image (the simulated
    // probes are healthy and warm: plain decimal numbers).
    QByteArray antes = bytes(Estado.Valores_Actuales, 31);
    int malas = 0, enlace_caido = 0;
    QString primera; // the first tick that left the image or the screen wrong
    tras_sondeo = [&] {
        const QByteArray leida = bytes(Estado.Respuesta_Actuales, 33);
        const QByteArray imagen = bytes(Estado.Valores_Actuales, 31);
        const bool buena = CRC_Valido(leida);
        malas += buena ? 0 : 1;
        QStringList pantalla, valores; // temperatures, then maxima
        for (std::size_t k = 0; k < 8; ++k) {
            pantalla << (k < 4 ? pagina->Actual[k] : pagina->Tmaximun[k - 4])->text();
            valores << QString::number(uint8_t(imagen[3 + 2 * k]) * 256 +
                                       uint8_t(imagen[4 + 2 * k]));
        }
        const bool mal = imagen != (buena ? leida.left(31) : antes) || pantalla != valores;
        if (mal && primera.isEmpty())
            primera = QStringLiteral("tick %1: %2").arg(sondeos).arg(pantalla.join(' '));
        if (!Estado.Comunicacion_OK || !pagina->Timer1.isActive() || Estado.Errores_CRC > 1)
            ++enlace_caido;
        antes = imagen;
    };
    // A hundred polls (KV73_LARGO: that many minutes of them), then the checks.
    if (minutos > 0)
        Corre_Hasta([] { return false; }, minutos * 60000);
    else
        Corre_Hasta([this] { return sondeos >= 100; }, 12000);
    tras_sondeo = [] {};
    EXPECT_TRUE(primera.isEmpty()) << primera.toStdString();
    EXPECT_EQ(enlace_caido, 0) << "the link wavered or bad replies came two in a row";
    // Every fifth reply of the relay is spoiled; each reply the program sees is one
    // it asked for, so a fifth of those it took are bad.
    EXPECT_GE(sondeos, minutos > 0 ? minutos * 100 : 100);
    EXPECT_NEAR(static_cast<double>(host->Enlace().Cuentas().Respuestas_Malas),
                host->Enlace().Cuentas().Intercambios / 5.0, 2.0);
    EXPECT_GE(malas, sondeos / 5 - 2);
    if (minutos > 0)
        std::printf(
            "bad CRC one in five, %d min: %d polls, %u replies taken, %u bad, %u link failures\n",
            minutos, sondeos, host->Enlace().Cuentas().Intercambios,
            host->Enlace().Cuentas().Respuestas_Malas, host->Enlace().Cuentas().Fallos_Enlace);
}

TEST_F(Linea_Real, AnUnpluggedDeviceFailsTheLinkWithoutSpinningAndOnBringsItBack) {
    host->Timer_Comunicacion.Set_Interval(200);
    pagina->Timer1.setInterval(100);
    // Three answers go to ON (identification, setpoints, one poll), one to the
    // page; its second poll, the fifth request, waits for a reply that will not
    // come, and one tick into that wait the device goes away.
    auto rele = std::make_unique<Rele_En_Pty>(Enlace(), QStringList{"--silent-after", "4"});
    Enciende();
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Momento pedido, fuera{.ms = -1};
    puerto->al_escribir = [&] {
        if (puerto->escritos != 5 * 8)
            return;
        pedido = Momento{}, ultimo_latido = pedido.ms, peor_hueco = 0;
        QTimer::singleShot(200, pagina.get(), [&] { fuera = Momento{}, rele->terminate(); });
    };
    ASSERT_TRUE(Corre_Hasta([&] { return sondeos >= 1; }, 2000));
    EXPECT_TRUE(pagina->UserControl11->Led_Encendido(1)) << "Pt1 lit while the relay answers";
    ASSERT_TRUE(Corre_Hasta([&] { return !operador->avisos.empty(); }, 5000)) << "hung";
    ASSERT_GE(fuera.ms, 0);
    const Momento &aviso = operador->avisos.front();
    // The wait ends as the device goes, not at its fifth tick, and no resend
    // goes to the closed port.
    EXPECT_LT(aviso.segundos, 5) << "the link failed at once, not at the fifth tick";
    EXPECT_LT(aviso.ms - fuera.ms, 500);
    EXPECT_LT(aviso.ms - pedido.ms, 5 * 200 + 150);
    EXPECT_LT(qMax(peor_hueco, aviso.ms - ultimo_latido), 50) << "the window stopped answering";
    // A sanity bound on the CPU time, not a speed figure: a loop spinning on the
    // dead port would take all of a core.
    EXPECT_LT(aviso.cpu - pedido.cpu, 0.5 * static_cast<double>(aviso.ms - pedido.ms) / 1000);

    // The tick that failed stops the polling and shows the link down, and nothing
    // more is written.
    ASSERT_TRUE(Corre_Hasta([&] { return !pagina->Timer1.isActive(); }, 1000));
    const qsizetype escritos = puerto->escritos;
    Corre_Hasta([] { return false; }, 250); // more than two poll intervals
    EXPECT_EQ(puerto->escritos, escritos);
    EXPECT_FALSE(pagina->Timer1.isActive() || Estado.Comunicacion_OK || host->MSComm1().PortOpen());
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    for (QLabel *actual : pagina->Actual)
        EXPECT_EQ(actual->text().toStdString(), "Fco");
    for (int k = 0; k < 12; ++k)
        EXPECT_FALSE(pagina->UserControl11->Led_Encendido(k)) << "lamp " << k;

    // The adapter is back at the same place: ON brings the link up and the page
    // polls again.
    const auto enchufa = [&] {
        rele.reset();
        rele = std::make_unique<Rele_En_Pty>(Enlace(), QStringList{});
        Enciende();
        EXPECT_TRUE(Estado.Comunicacion_OK && pagina->Timer1.isActive());
    };
    enchufa();
    EXPECT_EQ(host->Panel(6).toStdString(), "Communicating....");
    const uint32_t intercambios = host->Enlace().Cuentas().Intercambios;
    const int s0 = sondeos;
    EXPECT_TRUE(Corre_Hasta([&] { return sondeos >= s0 + 2; }, 3000));
    EXPECT_EQ(host->Enlace().Cuentas().Intercambios - intercambios, 2u);
    // Pulled out between two polls, the usual moment: the port closes itself and
    // the next poll finds it gone, which fails the link as a silent relay does,
    // with its message once and every window told.
    EXPECT_EQ(Comunicacion::Cargada(host->Enlace()).Label6->text().toStdString(),
              "Communication Stablished");
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    const Momento antes;
    rele->terminate();
    ASSERT_TRUE(Corre_Hasta([&] { return !pagina->Timer1.isActive(); }, 3000)) << "still polling";
    Corre_Hasta([] { return false; }, 500);
    const Momento despues;
    EXPECT_LT(despues.cpu - antes.cpu, 0.5 * static_cast<double>(despues.ms - antes.ms) / 1000);
    EXPECT_FALSE(Estado.Comunicacion_OK || host->MSComm1().PortOpen());
    EXPECT_EQ(pagina->Actual[0]->text().toStdString(), "Fco");
    EXPECT_EQ(host->Enlace().Cuentas().Fallos_Enlace, 2u) << "one failure for each pull";
    EXPECT_EQ(Comunicacion::Cargada(host->Enlace()).Label6->text().toStdString(),
              "Communication Not Stablished");
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    enchufa();
}

TEST_F(Linea_Real, AModalMessageOpenedDuringAPollEndsItExactlyOnce) {
    // A message box of some other part of the program opens 10 ms into the next
    // poll's wait and is closed after `abierta_ms`; the wait resumes only then.
    // Gives the replies taken, the link failures and the bytes sent meanwhile.
    const auto modal_en_sondeo = [&](int abierta_ms) {
        auto cerrada = std::make_shared<bool>(false);
        bool armado = true;
        const qsizetype desde = puerto->escritos;
        const uint32_t i0 = host->Enlace().Cuentas().Intercambios,
                       f0 = host->Enlace().Cuentas().Fallos_Enlace;
        puerto->al_escribir = [&armado, cerrada, abierta_ms] {
            if (std::exchange(armado, false))
                QTimer::singleShot(10, [cerrada, abierta_ms] {
                    QMessageBox caja;
                    QTimer::singleShot(abierta_ms, &caja, [&caja] { caja.done(QMessageBox::Ok); });
                    caja.exec();
                    *cerrada = true;
                });
        };
        // The tick of that poll is over: its outcome is known.
        Corre_Hasta([&] { return *cerrada && !Estado.Intercambios_En_Curso && !Estado.Ocupado; },
                    5000);
        puerto->al_escribir = [] {};
        return std::tuple{host->Enlace().Cuentas().Intercambios - i0,
                          host->Enlace().Cuentas().Fallos_Enlace - f0, puerto->escritos - desde};
    };
    // Each reply comes one tick after its request; ON takes three, then the relay
    // answers one poll and falls silent.
    Rele_En_Pty rele(Enlace(), {"--delay", "50", "--silent-after", "4"});
    pagina->Timer1.setInterval(100);
    Enciende();
    EXPECT_EQ(modal_en_sondeo(150), std::tuple(1u, 0u, qsizetype{8}))
        << "the reply came while the box was open: one completion, no failure, no resend";
    EXPECT_TRUE(Estado.Comunicacion_OK);

    // Polling goes on; the next poll goes unanswered and the box is held past the
    // five ticks: one failure, one message, and nothing after it.
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    const auto r = modal_en_sondeo(8 * 50);
    EXPECT_EQ(std::pair(std::get<0>(r), std::get<1>(r)), std::pair(0u, 1u))
        << "no reply, one failure";
    Corre_Hasta([] { return false; }, 250); // more than two poll intervals
    EXPECT_FALSE(Estado.Comunicacion_OK || pagina->Timer1.isActive());
}
