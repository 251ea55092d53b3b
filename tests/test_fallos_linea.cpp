// The live page on a real line: the desktop program's host with its own serial
// port and its main page (offscreen, never shown) polling a kv73-sim on a
// pseudo-terminal, while the simulated relay spoils, splits, pads, delays or stops
// its replies, or goes away as an unplugged USB adapter does. The window has to
// keep answering all the while.
//
// KV73_LARGO=N runs the bad-CRC case for N minutes at the program's own pace
// (1 s tick, 500 ms poll); bench/soak.sh does that. Without it the case runs a
// short while at a faster pace.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "controles/UserControl1.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Comunicacion.h"
#include "enlace/Puerto_QSerialPort.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Principal.h"
#include "protocolo/Crc.h"
#include "tests/soporte/Operador_Guionizado.h"
#include "tests/soporte/Puerto_Memoria.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

const QString No_Responde = QStringLiteral("Relay Not Response");
const QString Titulo_Fallo = QStringLiteral("KV-72");

const QElapsedTimer &Reloj() {
    static const QElapsedTimer reloj = [] {
        QElapsedTimer r;
        r.start();
        return r;
    }();
    return reloj;
}

// CPU time of the whole test process so far, user and system.
double Cpu_Segundos() {
    rusage uso{};
    getrusage(RUSAGE_SELF, &uso);
    return static_cast<double>(uso.ru_utime.tv_sec + uso.ru_stime.tv_sec) +
           static_cast<double>(uso.ru_utime.tv_usec + uso.ru_stime.tv_usec) / 1e6;
}

template <std::size_t N> QByteArray Bytes(const Imagen<N> &imagen, std::size_t desde, std::size_t n) {
    return QByteArray(reinterpret_cast<const char *>(imagen.Datos() + desde), static_cast<qsizetype>(n));
}

// kv73-sim at a path the test chooses, so that a second simulator can take the
// place of one that went away, as the same adapter plugged in again.
class Rele_En_Pty {
  public:
    Rele_En_Pty(const QString &enlace, const QStringList &opciones) {
        proceso_.setProgram(QStringLiteral(KV73_SIM));
        proceso_.setArguments(QStringList{QStringLiteral("--link"), enlace} + opciones);
        proceso_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proceso_.start();
        listo_ = proceso_.waitForStarted(5000);
        // It prints one line once the relay listens.
        while (listo_ && !proceso_.canReadLine() && proceso_.waitForReadyRead(5000)) {
        }
        listo_ = listo_ && proceso_.canReadLine() && QFileInfo::exists(enlace);
    }
    ~Rele_En_Pty() {
        Desenchufa();
        if (!proceso_.waitForFinished(5000)) {
            proceso_.kill();
            proceso_.waitForFinished(5000);
        }
    }
    Rele_En_Pty(const Rele_En_Pty &) = delete;
    Rele_En_Pty &operator=(const Rele_En_Pty &) = delete;

    bool Listo() const { return listo_; }
    // SIGTERM, returning at once: the simulator closes its terminal as it ends.
    void Desenchufa() {
        if (proceso_.state() != QProcess::NotRunning)
            proceso_.terminate();
    }

  private:
    QProcess proceso_;
    bool listo_ = false;
};

// The program's own serial port, noting each request the program writes to it:
// its bytes, and when (ticks of the running wait, milliseconds).
class Puerto_Vigilado : public Puerto_QSerialPort {
  public:
    struct Peticion {
        QByteArray bytes;
        uint8_t segundos = 0;
        qint64 ms = 0;
        bool sondeo() const { return bytes.startsWith(QByteArray::fromHex("0104020000")); }
    };

    void Output(const QByteArray &bytes) override {
        ++escrituras;
        if (pendiente_.isEmpty() && bytes == QByteArray(1, '\0')) {
            ++despedidas; // the byte the program sends before it closes the port
            Puerto_QSerialPort::Output(bytes);
            return;
        }
        if (pendiente_.isEmpty())
            inicio_ = {{}, Estado.Segundos, Reloj().elapsed()};
        pendiente_ += bytes;
        Puerto_QSerialPort::Output(bytes);
        if (pendiente_.size() >= 2 && pendiente_.size() >= Largo_Peticion(pendiente_)) {
            inicio_.bytes = pendiente_;
            pendiente_.clear();
            peticiones.push_back(inicio_);
            if (al_pedir)
                al_pedir(peticiones.size() - 1);
        }
    }

    std::vector<Peticion> peticiones;
    int escrituras = 0; // Output calls, sent or not
    int despedidas = 0;
    std::function<void(std::size_t indice)> al_pedir;

  private:
    QByteArray pendiente_;
    Peticion inicio_;
};

// The scripted operator, noting when each message came: the ticks of the wait
// that ended in it, the time and the process CPU time.
class Operador_Cronometrado : public Operador_Guionizado {
  public:
    struct Momento {
        QString texto;
        uint8_t segundos;
        qint64 ms;
        double cpu;
    };
    Respuesta Mensaje(const QString &texto, const QString &titulo, Botones botones,
                      Icono icono) override {
        momentos.push_back({texto, Estado.Segundos, Reloj().elapsed(), Cpu_Segundos()});
        return Operador_Guionizado::Mensaje(texto, titulo, botones, icono);
    }
    std::vector<Momento> momentos;
};

// A 10 ms heartbeat of the event loop: the longest silence between two beats
// tells whether the window would have answered the operator.
class Latido {
  public:
    Latido() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { latidos_.push_back(Reloj().elapsed()); });
        timer_.start(10);
    }
    // Longest gap between beats over [desde, hasta], the edges included.
    qint64 Peor_Hueco(qint64 desde, qint64 hasta) const {
        qint64 peor = 0, anterior = desde;
        for (qint64 t : latidos_) {
            if (t < desde)
                continue;
            if (t > hasta)
                break;
            peor = std::max(peor, t - anterior);
            anterior = t;
        }
        return std::max(peor, hasta - anterior);
    }

  private:
    QTimer timer_;
    std::vector<qint64> latidos_;
};

class Linea_Real : public ::testing::Test {
  protected:
    void SetUp() override {
        Reinicia_Estado();
        terminaciones = 0;
        Terminador = [] { ++terminaciones; };
        // ON brings the link up without the save question, as a launcher's start does.
        Estado.Modo_Linea_Comandos = true;
        auto p = std::make_unique<Puerto_Vigilado>();
        auto o = std::make_unique<Operador_Cronometrado>();
        puerto = p.get();
        operador = o.get();
        host = std::make_unique<Principal>(std::move(p), std::move(o));
        // A 50 ms tick puts the five-tick timeout at a quarter of a second; Timer1
        // keeps its 500 ms unless a case sets its own pace.
        host->Timer_Comunicacion.Set_Interval(50);
        host->Form_Load();
        pagina = std::make_unique<AVPAGE2>();
        pagina->Form_Load();
        // After the page's own handler: what one tick of Timer1 left on the screen.
        QObject::connect(&pagina->Timer1, &QTimer::timeout, [this] {
            ++sondeos;
            if (tras_sondeo)
                tras_sondeo();
        });
        ASSERT_TRUE(carpeta.isValid());
    }

    void TearDown() override {
        tras_sondeo = nullptr;
        puerto->al_pedir = nullptr;
        pagina.reset();
        Comunicacion::Descarga();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        host.reset();
        qunsetenv("KV73_COM2");
        EXPECT_EQ(terminaciones, 0) << "nothing here ends the program";
    }

    QString Enlace() const { return carpeta.filePath(QStringLiteral("relay")); }

    // The settings dialog's ON, on port 2 pointing at the simulator.
    void Enciende() {
        qputenv("KV73_COM2", QFile::encodeName(Enlace()));
        Comunicacion::Cargada().Command1_Click();
    }

    // The link up and the page polling, without ON's own reads.
    void Enciende_Solo_Sondeo() {
        qputenv("KV73_COM2", QFile::encodeName(Enlace()));
        Abrir_Puerto();
        pagina->Arranca_Timers();
    }

    void Apaga() {
        pagina->Timer1.stop();
        pagina->Timer2.stop();
        host->MSComm1().Set_PortOpen(false);
        Estado.Comunicacion_OK = false;
    }

    // Runs the event loop until the condition holds, at most `ms` milliseconds.
    static bool Corre_Hasta(const std::function<bool()> &condicion, int ms) {
        QTimer despertador;
        despertador.start(10);
        QElapsedTimer reloj;
        reloj.start();
        while (!condicion()) {
            if (reloj.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }
    static void Corre(int ms) {
        Corre_Hasta([] { return false; }, ms);
    }

    // Words of the live image, as the page must show them.
    static int Palabra(std::size_t alto) {
        return Estado.Valores_Actuales[alto] * 256 + Estado.Valores_Actuales[alto + 1];
    }
    // The temperatures and maxima on the page against the live image (the
    // simulated probes are healthy and warm: plain decimal numbers).
    QString Pantalla_Discrepa() const {
        for (std::size_t k = 0; k < 4; ++k) {
            const QString actual = QString::number(Palabra(4 + 2 * k));
            const QString maximo = QString::number(Palabra(12 + 2 * k));
            if (pagina->Actual[k]->text() != actual || pagina->Tmaximun[k]->text() != maximo)
                return QStringLiteral("Pt%1 shows %2/%3, image %4/%5")
                    .arg(k + 1)
                    .arg(pagina->Actual[k]->text(), pagina->Tmaximun[k]->text(), actual, maximo);
        }
        return {};
    }

    std::size_t Sondeos_Pedidos(std::size_t desde) const {
        return static_cast<std::size_t>(
            std::count_if(puerto->peticiones.begin() + static_cast<std::ptrdiff_t>(desde),
                          puerto->peticiones.end(), [](const auto &p) { return p.sondeo(); }));
    }

    QTemporaryDir carpeta;
    Puerto_Vigilado *puerto = nullptr;
    Operador_Cronometrado *operador = nullptr;
    std::unique_ptr<Principal> host;
    std::unique_ptr<AVPAGE2> pagina;
    int sondeos = 0; // ticks of Timer1
    std::function<void()> tras_sondeo;
    static int terminaciones;
};

int Linea_Real::terminaciones = 0;

} // namespace

TEST_F(Linea_Real, OneReplyInFiveWithABadCrcNeitherEndsTheLinkNorReachesTheScreen) {
    const int minutos = qEnvironmentVariableIntValue("KV73_LARGO");
    const int duracion_ms = minutos > 0 ? minutos * 60000 : 12000;
    host->Timer_Comunicacion.Set_Interval(minutos > 0 ? 1000 : 50);
    pagina->Timer1.setInterval(minutos > 0 ? 500 : 60);
    Rele_En_Pty rele(Enlace(), {QStringLiteral("--bad-crc-every"), QStringLiteral("5")});
    ASSERT_TRUE(rele.Listo());
    Enciende();
    ASSERT_TRUE(Estado.Comunicacion_OK);
    ASSERT_TRUE(pagina->Timer1.isActive());

    // After every tick the image holds the reply just taken when its CRC was
    // good, else what it held before; the screen shows the image.
    QByteArray antes = Bytes(Estado.Valores_Actuales, 1, 31);
    int malas = 0, discrepancias = 0, enlace_caido = 0;
    QString primera;
    tras_sondeo = [&] {
        const QByteArray respuesta = Bytes(Estado.Respuesta_Actuales, 1, 33);
        const QByteArray imagen = Bytes(Estado.Valores_Actuales, 1, 31);
        const bool buena = CRC_Valido(respuesta);
        malas += buena ? 0 : 1;
        QString fallo;
        if (buena && imagen != respuesta.left(31))
            fallo = QStringLiteral("a good reply was not stored");
        else if (!buena && imagen != antes)
            fallo = QStringLiteral("a bad reply changed the image");
        else
            fallo = Pantalla_Discrepa();
        if (!fallo.isEmpty() && discrepancias++ == 0)
            primera = QStringLiteral("tick %1: %2").arg(sondeos).arg(fallo);
        if (!Estado.Comunicacion_OK || !pagina->Timer1.isActive() || Estado.Errores_CRC > 1)
            ++enlace_caido;
        antes = imagen;
    };
    Corre(duracion_ms);
    tras_sondeo = nullptr;

    EXPECT_EQ(discrepancias, 0) << primera.toStdString();
    EXPECT_EQ(enlace_caido, 0) << "the link wavered or bad replies came two in a row";
    EXPECT_EQ(Estado.Fallos_Enlace, 0u);
    EXPECT_TRUE(operador->momentos.empty()) << "no message";
    EXPECT_TRUE(Estado.Comunicacion_OK);
    // Every fifth reply of the relay is spoiled; each reply the program sees is one
    // it asked for, so a fifth of those it took are bad.
    EXPECT_GE(sondeos, minutos > 0 ? minutos * 100 : 100);
    EXPECT_NEAR(static_cast<double>(Estado.Respuestas_Malas), Estado.Intercambios / 5.0, 2.0);
    EXPECT_GE(malas, sondeos / 5 - 2);
    if (minutos > 0)
        std::printf("bad CRC one in five, %d min: %d polls, %u replies taken, %u bad, "
                    "%u link failures\n",
                    minutos, sondeos, Estado.Intercambios, Estado.Respuestas_Malas,
                    Estado.Fallos_Enlace);
}

TEST_F(Linea_Real, SplitPaddedAndLateRepliesAreTakenAsTheExchangeAllows) {
    // A 100 ms tick: the request goes out at 0 and again at 200 ms. The poll
    // every 600 ms lets the late answer to a resend land between two polls,
    // where the next poll's flush drops it.
    host->Timer_Comunicacion.Set_Interval(100);
    pagina->Timer1.setInterval(600);
    struct Caso {
        QStringList opciones;
        std::size_t envios; // requests each poll needs
    };
    const Caso casos[] = {
        {{QStringLiteral("--split"), QStringLiteral("40")}, 1},
        // Halves either side of the resend: the first reply is completed by the
        // second half, which comes with the head of the answer to the resend.
        {{QStringLiteral("--split"), QStringLiteral("250")}, 2},
        {{QStringLiteral("--junk"), QStringLiteral("3")}, 1},
        {{QStringLiteral("--delay"), QStringLiteral("150")}, 1},
        {{QStringLiteral("--delay"), QStringLiteral("250")}, 2},
    };
    for (const Caso &caso : casos) {
        SCOPED_TRACE(caso.opciones.join(' ').toStdString());
        Rele_En_Pty rele(Enlace(), caso.opciones);
        ASSERT_TRUE(rele.Listo());
        Enciende_Solo_Sondeo();
        ASSERT_TRUE(Estado.Comunicacion_OK);
        const std::size_t desde = puerto->peticiones.size();
        const int s0 = sondeos;
        const uint32_t i0 = Estado.Intercambios;
        QString pantalla;
        tras_sondeo = [&] {
            if (pantalla.isEmpty())
                pantalla = Pantalla_Discrepa();
        };
        EXPECT_TRUE(Corre_Hasta([&] { return sondeos >= s0 + 3; }, 5000));
        tras_sondeo = nullptr;
        const auto polls = static_cast<uint32_t>(sondeos - s0);
        EXPECT_EQ(Estado.Intercambios - i0, polls) << "every poll took a reply";
        EXPECT_EQ(Estado.Respuestas_Malas, 0u);
        EXPECT_EQ(Estado.Fallos_Enlace, 0u);
        EXPECT_TRUE(Estado.Comunicacion_OK);
        EXPECT_TRUE(pagina->Timer1.isActive());
        EXPECT_EQ(Sondeos_Pedidos(desde), caso.envios * polls);
        EXPECT_TRUE(CRC_Valido(Bytes(Estado.Respuesta_Actuales, 1, 33)));
        EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 31), Bytes(Estado.Respuesta_Actuales, 1, 31));
        EXPECT_TRUE(pantalla.isEmpty()) << pantalla.toStdString();
        Apaga();
    }
    EXPECT_TRUE(operador->momentos.empty()) << "no message";
}

TEST_F(Linea_Real, ASilentRelayEndsTheLinkWithinFiveTicksAndNothingMoreIsSent) {
    // Three answers go to ON (identification, setpoints, one poll), two to the
    // page; the page's third poll is the first request left unanswered.
    Rele_En_Pty rele(Enlace(), {QStringLiteral("--silent-after"), QStringLiteral("5")});
    ASSERT_TRUE(rele.Listo());
    Latido latido;
    Enciende();
    ASSERT_TRUE(Estado.Comunicacion_OK);
    operador->Espera_Mensaje(No_Responde, Titulo_Fallo);
    const std::size_t primera = 5;
    ASSERT_TRUE(Corre_Hasta([&] { return sondeos >= 1; }, 2000));
    EXPECT_TRUE(pagina->UserControl11->Led_Encendido(1)) << "Pt1 lit while the relay answers";

    ASSERT_TRUE(Corre_Hasta([&] { return !operador->momentos.empty(); }, 5000));
    ASSERT_GT(puerto->peticiones.size(), primera);
    const qint64 desde = puerto->peticiones[primera].ms;
    std::vector<int> ticks;
    for (std::size_t i = primera; i < puerto->peticiones.size(); ++i) {
        EXPECT_TRUE(puerto->peticiones[i].sondeo());
        ticks.push_back(puerto->peticiones[i].segundos);
    }
    EXPECT_EQ(ticks, (std::vector<int>{0, 2, 3, 4})) << "sent at 0, 2, 3 and 4 ticks";
    const auto &aviso = operador->momentos.front();
    EXPECT_EQ(aviso.segundos, 5) << "the failure comes at the fifth tick";
    EXPECT_LT(aviso.ms - desde, 5 * 50 + 150);
    EXPECT_LT(latido.Peor_Hueco(desde, aviso.ms), 50) << "the window stopped answering";
    EXPECT_EQ(puerto->despedidas, 1) << "a 0x00 before the port closes";
    EXPECT_FALSE(host->MSComm1().PortOpen());

    // The tick that failed stops the polling and shows the link down.
    ASSERT_TRUE(Corre_Hasta([&] { return !pagina->Timer1.isActive(); }, 1000));
    const int escrituras = puerto->escrituras;
    const uint32_t intercambios = Estado.Intercambios;
    Corre(1200); // more than two poll intervals, 24 ticks
    EXPECT_EQ(puerto->escrituras, escrituras) << "nothing more is written";
    EXPECT_EQ(Estado.Intercambios, intercambios);
    EXPECT_FALSE(pagina->Timer1.isActive());
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(operador->momentos.size(), 1u);
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    EXPECT_EQ(Comunicacion::Cargada().Label6->text().toStdString(), "Communication Not Stablished");
    for (QLabel *actual : pagina->Actual)
        EXPECT_EQ(actual->text().toStdString(), "Fco");
    for (int k = 0; k < 12; ++k)
        EXPECT_FALSE(pagina->UserControl11->Led_Encendido(k)) << "lamp " << k;
}

TEST_F(Linea_Real, AnUnpluggedDeviceFailsTheLinkWithoutSpinningAndOnBringsItBack) {
    host->Timer_Comunicacion.Set_Interval(200);
    // The page's second poll (the fifth request) waits for a reply that will not
    // come; one tick into that wait the device goes away.
    auto rele = std::make_unique<Rele_En_Pty>(
        Enlace(), QStringList{QStringLiteral("--silent-after"), QStringLiteral("4")});
    ASSERT_TRUE(rele->Listo());
    Latido latido;
    Enciende();
    ASSERT_TRUE(Estado.Comunicacion_OK);
    operador->Espera_Mensaje(No_Responde, Titulo_Fallo);
    const std::size_t primera = 4;
    qint64 fuera_ms = -1;
    double fuera_cpu = 0;
    puerto->al_pedir = [&](std::size_t i) {
        if (i != primera)
            return;
        QTimer::singleShot(200, [&] {
            fuera_ms = Reloj().elapsed();
            fuera_cpu = Cpu_Segundos();
            rele->Desenchufa();
        });
    };

    ASSERT_TRUE(Corre_Hasta([&] { return !operador->momentos.empty(); }, 5000)) << "hung";
    puerto->al_pedir = nullptr;
    ASSERT_GE(fuera_ms, 0);
    const auto &aviso = operador->momentos.front();
    EXPECT_EQ(aviso.segundos, 5) << "the link-failure path of a silent relay, at the fifth tick";
    EXPECT_LT(aviso.ms - puerto->peticiones.at(primera).ms, 5 * 200 + 150);
    // A sanity bound, not a speed figure: a loop spinning on the dead port
    // would take all of a core over those four ticks.
    const double pared = static_cast<double>(aviso.ms - fuera_ms) / 1000.0;
    EXPECT_LT(aviso.cpu - fuera_cpu, 0.5 * pared)
        << "CPU " << aviso.cpu - fuera_cpu << " s over " << pared << " s";
    EXPECT_LT(latido.Peor_Hueco(puerto->peticiones.at(primera).ms, aviso.ms), 50)
        << "the window stopped answering";
    EXPECT_FALSE(host->MSComm1().PortOpen());
    ASSERT_TRUE(Corre_Hasta([&] { return !pagina->Timer1.isActive(); }, 1000));
    EXPECT_FALSE(Estado.Comunicacion_OK);

    // The adapter is back at the same place: ON brings the link up and the page
    // polls again.
    rele.reset();
    rele = std::make_unique<Rele_En_Pty>(Enlace(), QStringList{});
    ASSERT_TRUE(rele->Listo());
    Enciende();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_TRUE(pagina->Timer1.isActive());
    EXPECT_EQ(Comunicacion::Cargada().Label6->text().toStdString(), "Communication Stablished");
    EXPECT_EQ(host->Panel(6).toStdString(), "Communicating....");
    const uint32_t intercambios = Estado.Intercambios;
    const int s0 = sondeos;
    EXPECT_TRUE(Corre_Hasta([&] { return sondeos >= s0 + 2; }, 3000));
    EXPECT_EQ(Estado.Intercambios - intercambios, 2u);
    EXPECT_EQ(Estado.Fallos_Enlace, 1u);

    // Pulled out between two polls, the usual moment: the port closes itself and
    // the next poll finds it closed, which takes the link down without a message.
    const double antes_cpu = Cpu_Segundos();
    const qint64 antes_ms = Reloj().elapsed();
    rele->Desenchufa();
    ASSERT_TRUE(Corre_Hasta([&] { return !pagina->Timer1.isActive(); }, 3000)) << "still polling";
    Corre(500);
    const double pared2 = static_cast<double>(Reloj().elapsed() - antes_ms) / 1000.0;
    EXPECT_LT(Cpu_Segundos() - antes_cpu, 0.5 * pared2);
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(host->MSComm1().PortOpen());
    EXPECT_EQ(host->Panel(6).toStdString(), "Not Communicating....");
    EXPECT_EQ(pagina->Actual[0]->text().toStdString(), "Fco");
    EXPECT_FALSE(pagina->UserControl11->Led_Encendido(1));
    rele.reset();
    rele = std::make_unique<Rele_En_Pty>(Enlace(), QStringList{});
    ASSERT_TRUE(rele->Listo());
    Enciende();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_TRUE(pagina->Timer1.isActive());
}

TEST_F(Linea_Real, AModalMessageOpenedDuringAPollEndsItExactlyOnce) {
    // A message box of some other part of the program opens 10 ms into a poll's
    // wait and is closed after `abierta_ms`; the wait resumes only then.
    struct Resultado {
        uint32_t respuestas = 0, fallos = 0;
        std::size_t envios = 0;
        bool cerrada = false;
    };
    const auto modal_en_sondeo = [&](int abierta_ms) {
        auto r = std::make_shared<Resultado>();
        auto armado = std::make_shared<bool>(true);
        const std::size_t desde = puerto->peticiones.size();
        const uint32_t i0 = Estado.Intercambios, f0 = Estado.Fallos_Enlace;
        puerto->al_pedir = [this, armado, r, abierta_ms](std::size_t i) {
            if (!*armado || !puerto->peticiones[i].sondeo())
                return;
            *armado = false;
            QTimer::singleShot(10, [r, abierta_ms] {
                QMessageBox caja(QMessageBox::Information, QStringLiteral("KV-73"),
                                 QStringLiteral("Another window"));
                QTimer::singleShot(abierta_ms, &caja, [&caja] { caja.done(QMessageBox::Ok); });
                caja.exec();
                r->cerrada = true;
            });
        };
        // The tick of that poll is over: its outcome is known.
        EXPECT_TRUE(Corre_Hasta(
            [&] { return r->cerrada && Estado.Intercambios_En_Curso == 0 && !Estado.Ocupado; },
            5000));
        puerto->al_pedir = nullptr;
        r->respuestas = Estado.Intercambios - i0;
        r->fallos = Estado.Fallos_Enlace - f0;
        r->envios = Sondeos_Pedidos(desde);
        return *r;
    };

    {
        // The reply comes one tick after the request, while the box is open.
        SCOPED_TRACE("reply during the message");
        Rele_En_Pty rele(Enlace(), {QStringLiteral("--delay"), QStringLiteral("50")});
        ASSERT_TRUE(rele.Listo());
        Enciende();
        ASSERT_TRUE(Estado.Comunicacion_OK);
        const Resultado r = modal_en_sondeo(150);
        EXPECT_EQ(r.respuestas, 1u) << "one completion";
        EXPECT_EQ(r.fallos, 0u);
        EXPECT_EQ(r.envios, 1u) << "no resend while the box held the wait";
        EXPECT_TRUE(Estado.Comunicacion_OK);
        // Polling goes on as before.
        const uint32_t i1 = Estado.Intercambios;
        EXPECT_TRUE(Corre_Hasta([&] { return Estado.Intercambios >= i1 + 2; }, 3000));
        EXPECT_EQ(Estado.Fallos_Enlace, 0u);
        Apaga();
    }
    {
        // A silent relay, and the box held past the five ticks.
        SCOPED_TRACE("silent relay, message held past the timeout");
        Rele_En_Pty rele(Enlace(), {QStringLiteral("--silent-after"), QStringLiteral("3")});
        ASSERT_TRUE(rele.Listo());
        Enciende();
        ASSERT_TRUE(Estado.Comunicacion_OK);
        operador->Espera_Mensaje(No_Responde, Titulo_Fallo);
        const std::size_t avisos = operador->momentos.size();
        const Resultado r = modal_en_sondeo(8 * 50);
        EXPECT_EQ(r.respuestas, 0u);
        EXPECT_EQ(r.fallos, 1u) << "one failure";
        EXPECT_EQ(operador->momentos.size(), avisos + 1);
        EXPECT_FALSE(Estado.Comunicacion_OK);
        Corre(500);
        EXPECT_FALSE(pagina->Timer1.isActive());
        EXPECT_EQ(operador->momentos.size(), avisos + 1) << "and nothing after it";
    }
}
