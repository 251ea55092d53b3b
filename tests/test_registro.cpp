// The value log and the trend's memory: the CSV row, the file it goes into,
// kv73ctl log against kv73-sim (a relay that goes away and comes back, a full
// disk, a stop by signal), the desktop page's recording and trend window, and
// the simulator's drift that makes them worth looking at.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Registro_Pagina.h"
#include "formularios/Ventana_Tendencia.h"
#include "registro/Archivo_Csv.h"
#include "registro/Memoria_Tendencia.h"
#include "simulador/Rele_Simulado.h"
#include "tests/soporte/Disco.h"
#include "tests/soporte/Escritorio.h"
#include "tests/soporte/Simulador.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QRegularExpression
    Hora_Valida(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
constexpr int Columnas = 1 + 4 + 4 + 11 + 1;

QByteArray Contenido(const QString &ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Lineas(const QString &ruta) {
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString texto = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(texto.isEmpty() || texto.endsWith(QStringLiteral("\r\n")))
        << "a row cut short: " << texto.right(80).toStdString();
    texto.chop(2);
    return texto.isEmpty() ? QStringList{} : texto.split(QStringLiteral("\r\n"));
}

Fila_Registro Fila_Ejemplo() {
    Fila_Registro f;
    f.hora = QDateTime(QDate(2024, 3, 9), QTime(23, 59, 58, 7), QTimeZone(-(3 * 3600 + 1800)));
    f.estado = Estado_Sondeo::Ok;
    f.temperaturas = {QStringLiteral("85"), QStringLiteral("-5"), QStringLiteral("Fco"),
                      QStringLiteral("Fcc")};
    f.maximos = {85, 0, 231, 65525};
    f.luces.fill(Luz::Apagada);
    f.luces[0] = Luz::Encendida;
    f.luces[5] = Luz::Parpadeo;
    return f;
}

} // namespace

// --- the row and the file ------------------------------------------------------

TEST(Fila_Csv, HeaderRowAndFailedPolls) {
    EXPECT_EQ(Cabecera_Csv(false).toStdString(),
              "time,Pt1,Pt2,Pt3,Pt4,Pt1_max,Pt2_max,Pt3_max,Pt4_max,Pt1_lamp,Pt2_lamp,Pt3_lamp,"
              "Pt4_lamp,Fault_lamp,L2_lamp,L1_lamp,FAN_lamp,Prog_lamp,Tmax_lamp,Aut_lamp,"
              "status\r\n");
    EXPECT_TRUE(Cabecera_Csv(true).startsWith(QStringLiteral("time,address,Pt1,")));

    Fila_Registro f = Fila_Ejemplo();
    EXPECT_EQ(Linea_Csv(f).toStdString(),
              "2024-03-09T23:59:58.007-03:30,85,-5,Fco,Fcc,85,0,231,65525,on,off,off,off,off,"
              "blink,off,off,off,off,off,ok\r\n");
    f.direccion = 17;
    EXPECT_TRUE(Linea_Csv(f).startsWith(QStringLiteral("2024-03-09T23:59:58.007-03:30,17,85,")));

    // A failed poll keeps its time and status, and no value of an earlier reply.
    f.direccion.reset();
    for (Estado_Sondeo e : {Estado_Sondeo::Mala, Estado_Sondeo::Sin_Respuesta}) {
        f.estado = e;
        const QStringList campos = Linea_Csv(f).chopped(2).split(u',');
        ASSERT_EQ(campos.size(), Columnas);
        for (int i = 1; i < Columnas - 1; ++i)
            EXPECT_TRUE(campos[i].isEmpty()) << i;
        EXPECT_EQ(campos.last(), Texto_Estado(e));
    }
    EXPECT_EQ(Texto_Estado(Estado_Sondeo::Mala), QStringLiteral("bad reply"));
    EXPECT_EQ(Texto_Estado(Estado_Sondeo::Sin_Respuesta), QStringLiteral("no reply"));
}

TEST(Fila_Csv, TimeAndQuoting) {
    // East of Greenwich, exactly on the hour, and local time: the offset is
    // always written out, never "Z".
    EXPECT_EQ(Hora_Iso(QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone(5 * 3600 + 2700)))
                  .toStdString(),
              "2025-01-01T00:00:00.000+05:45");
    EXPECT_EQ(Hora_Iso(QDateTime(QDate(2025, 6, 1), QTime(12, 0), QTimeZone::utc())).toStdString(),
              "2025-06-01T12:00:00.000+00:00");
    EXPECT_TRUE(Hora_Valida.match(Hora_Iso(QDateTime::currentDateTime())).hasMatch());

    EXPECT_EQ(Campo_Csv(QStringLiteral("bad reply")), QStringLiteral("bad reply"));
    EXPECT_EQ(Campo_Csv(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
    EXPECT_EQ(Campo_Csv(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"\"hi\"\"\""));
    EXPECT_EQ(Campo_Csv(QStringLiteral("two\nlines")), QStringLiteral("\"two\nlines\""));
}

TEST(Archivo_Csv, HeaderOnlyIntoAnEmptyFileThenAppends) {
    QTemporaryDir dir;
    const QString ruta = dir.filePath(QStringLiteral("v.csv"));
    for (int vez = 0; vez < 2; ++vez) {
        Archivo_Csv a;
        QString error;
        ASSERT_TRUE(a.Abre(ruta, false, error)) << error.toStdString();
        ASSERT_TRUE(a.Escribe(Fila_Ejemplo(), error));
    }
    const QStringList l = Lineas(ruta);
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[0] + QStringLiteral("\r\n"), Cabecera_Csv(false));

    // An empty file that is there gets its header too.
    QFile vacio(dir.filePath(QStringLiteral("e.csv")));
    ASSERT_TRUE(vacio.open(QIODevice::WriteOnly));
    vacio.close();
    Archivo_Csv a;
    QString error;
    ASSERT_TRUE(a.Abre(vacio.fileName(), false, error));
    EXPECT_EQ(Lineas(vacio.fileName()).size(), 1);

    EXPECT_FALSE(a.Abre(dir.path(), false, error)) << "a folder";
    EXPECT_FALSE(a.Abre(dir.filePath(QStringLiteral("no/such/folder.csv")), false, error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(Archivo_Csv, AFullDeviceIsAnErrorNotACrash) {
    Archivo_Csv a;
    QString error;
    // The header already fails on /dev/full.
    EXPECT_FALSE(a.Abre(QStringLiteral("/dev/full"), false, error));
    EXPECT_NE(error.toStdString().find("space"), std::string::npos) << error.toStdString();
}

// --- the trend's memory ---------------------------------------------------------

TEST(Memoria_Tendencia, StaysWithinItsCapOldestOut) {
    EXPECT_EQ(Memoria_Tendencia::Tope_24_Horas, 172800u);
    EXPECT_EQ(sizeof(Punto_Tendencia), 24u) << "the size the memory's comment promises";
    Memoria_Tendencia m(1000);
    for (int i = 0; i < 3500; ++i)
        m.Agrega({i * 500LL, {int16_t(i % 100), 0, 0, 0}, Estado_Sondeo::Ok});
    EXPECT_EQ(m.Cuantos(), 1000u);
    EXPECT_LE(m.Capacidad(), 1000u) << "never reserves past its cap";
    EXPECT_EQ(m[0].ms, 2500 * 500LL);
    EXPECT_EQ(m[999].ms, 3499 * 500LL);
    for (std::size_t i = 1; i < m.Cuantos(); ++i)
        ASSERT_LT(m[i - 1].ms, m[i].ms);
    const QStringList csv = m.Csv().chopped(2).split(QStringLiteral("\r\n"));
    EXPECT_EQ(csv.size(), 1001);
    EXPECT_EQ(csv[0], QStringLiteral("time,Pt1,Pt2,Pt3,Pt4,status"));
}

TEST(Memoria_Tendencia, RunsBreakAtFailedPollsProbeCodesAndSilence) {
    Memoria_Tendencia m;
    qint64 t = 0;
    const auto agrega = [&](int16_t w, Estado_Sondeo e = Estado_Sondeo::Ok) {
        m.Agrega({t, {w, 70, 70, 70}, e});
        t += 500;
    };
    for (int i = 0; i < 10; ++i)
        agrega(60);
    agrega(0, Estado_Sondeo::Mala);
    for (int i = 0; i < 10; ++i)
        agrega(61);
    agrega(231); // Fco: a probe code, no temperature
    agrega(62);
    agrega(62);
    t += 60000; // the link was down a minute: no polls
    agrega(-5);
    agrega(120);
    const auto tramos = Tramos(m, 0, 0, t, 100000);
    ASSERT_EQ(tramos.size(), 4u);
    EXPECT_EQ(tramos[0].size(), 10u);
    EXPECT_EQ(tramos[3].front().y(), -5.0);
    EXPECT_EQ(Tramos(m, 1, 0, t, 100000).size(), 3u) << "probe 2 only misses the bad reply and "
                                                        "the silence";

    // A day of points drawn in 100 slices keeps a one-poll spike.
    Memoria_Tendencia dia;
    for (qint64 i = 0; i < 172800; ++i)
        dia.Agrega({i * 500, {int16_t(i == 90000 ? 150 : 70), 0, 0, 0}, Estado_Sondeo::Ok});
    const auto reducidos = Tramos(dia, 0, 0, 172800LL * 500, 100);
    ASSERT_EQ(reducidos.size(), 1u);
    EXPECT_LE(reducidos[0].size(), 200u);
    double alto = 0;
    for (const QPointF &p : reducidos[0])
        alto = std::max(alto, p.y());
    EXPECT_EQ(alto, 150.0);

    // A gap every other poll is not a series each: the slices widen until the
    // runs fit.
    Memoria_Tendencia rota;
    for (qint64 i = 0; i < 10000; ++i)
        rota.Agrega({i * 500, {70, 0, 0, 0}, i % 2 ? Estado_Sondeo::Ok : Estado_Sondeo::Mala});
    EXPECT_LE(Tramos(rota, 0, 0, 10000LL * 500, 800, 64).size(), 64u);
}

// --- the simulator's drift -------------------------------------------------------

// Over two periods the probes cross every threshold both ways, and at every
// step the lamps say what the temperatures and the relay's setpoints say.
// The trend reads a word as the page does, every one of them, without the page's text.
TEST(Memoria_Tendencia, ReadsEveryWordAsThePageShowsIt) {
    for (int w = 0; w <= 0xFFFF; ++w) {
        bool numero = false;
        const int pagina = Texto_Temperatura(w).toInt(&numero);
        const double tendencia = Grados(static_cast<int16_t>(static_cast<uint16_t>(w)));
        if (numero)
            ASSERT_EQ(tendencia, pagina) << "word " << w;
        else
            ASSERT_TRUE(std::isnan(tendencia)) << "word " << w;
    }
}

// Following the newest polls, the time axis moves in steps: polls a second apart
// for an hour never put the newest at the right edge or the oldest off the left,
// and the axis changes at most once in each tenth of the span.
TEST(Memoria_Tendencia, TheLiveTimeAxisMovesInStepsAndHoldsEveryPoll) {
    const qint64 t0 = 1'796'000'123'456; // an instant off any round second
    Rango_Tendencia antes = Rango_En_Vivo(t0, t0);
    EXPECT_GE(antes.hasta - antes.desde, 60000) << "a first poll still gets a minute";
    int cambios = 0;
    for (qint64 s = 1; s <= 3600; ++s) {
        const qint64 ultimo = t0 + s * 1000;
        const Rango_Tendencia r = Rango_En_Vivo(t0, ultimo);
        ASSERT_LE(r.desde, t0);
        ASSERT_GT(r.hasta, ultimo) << "the newest poll at the edge after " << s << " s";
        ASSERT_GE(r.desde, t0 - (r.hasta - r.desde) / 5) << "a wide margin before the oldest";
        if (r.desde != antes.desde || r.hasta != antes.hasta)
            ++cambios;
        antes = r;
    }
    EXPECT_LT(cambios, 200) << "the axis was laid out again " << cambios << " times in an hour";
}

TEST(Deriva_Simulador, LampsFollowTheSetpointsAsTheProbesSwing) {
    Rele_Simulado r(1);
    r.Activa_Deriva();
    const int L1 = r.Registro(0x0100), L2 = r.Registro(0x0101), bajo = r.Registro(0x0102),
              alto = r.Registro(0x0103);
    int minimo = 1000, maximo = -1000, cambios = 0, parpadeos = 0;
    bool ventilador = (r.Registro(0x020A) >> 5) & 1;
    std::array<int, 3> desde_cambio{99, 99, 99};
    uint16_t previas = r.Registro(0x020A);
    for (int paso = 0; paso < 2 * Rele_Simulado::Periodo_Deriva_ms / Rele_Simulado::Paso_ms;
         ++paso) {
        r.Avanza(Rele_Simulado::Paso_ms);
        int t_max = -1000, t_min = 1000, t_ventilador = -1000;
        for (int k = 1; k <= 4; ++k) {
            // Option word 0x000B: the fan follows probes 1 to 3.
            if (k <= 3)
                t_ventilador = std::max(t_ventilador, r.Temperatura(k));
            t_max = std::max(t_max, r.Temperatura(k));
            t_min = std::min(t_min, r.Temperatura(k));
            ASSERT_GE(int(r.Registro(0x0203 + k)), r.Temperatura(k)) << "maxima follow";
        }
        minimo = std::min(minimo, t_min);
        maximo = std::max(maximo, t_max);
        const uint16_t on = r.Registro(0x020A), blink = r.Registro(0x020B);
        ASSERT_EQ(bool(on & (1u << 3)), t_max >= L1) << paso;
        ASSERT_EQ(bool(on & (1u << 4)), t_max >= L2) << paso;
        if (t_ventilador >= alto)
            ventilador = true;
        else if (t_ventilador < bajo)
            ventilador = false;
        ASSERT_EQ(bool(on & (1u << 5)), ventilador) << paso;
        // L1 and FAN blink only just after they change (L2 blinks while on).
        const int bits[3] = {3, 5, 4};
        for (int i = 0; i < 3; ++i) {
            const int b = bits[i];
            desde_cambio[i] = ((on ^ previas) >> b) & 1 ? 0 : desde_cambio[i] + 1;
            cambios += desde_cambio[i] == 0;
            if (i < 2) {
                ASSERT_EQ(bool(blink & (1u << b)), desde_cambio[i] < Rele_Simulado::Pasos_Cruce)
                    << paso << " lamp bit " << b;
            }
            parpadeos += bool(blink & (1u << b));
        }
        previas = on;
    }
    EXPECT_LT(minimo, bajo);
    EXPECT_GT(maximo, L2);
    EXPECT_GE(cambios, 12) << "each of L1, L2, FAN on and off, twice";
    EXPECT_GT(parpadeos, 0);
}

// --- kv73ctl log ------------------------------------------------------------------

namespace {

const QStringList Tick_Rapido = {QStringLiteral("KV73_TICK_MS=20")};

QStringList Columnas_De(const QString &linea) {
    return linea.split(u',');
}

// kv73ctl log running in the background.
class Log_En_Curso : public QProcess {
  public:
    Log_En_Curso(const QString &enlace, const QString &csv, const QStringList &mas = {}) {
        auto variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("KV73_TICK_MS"), QStringLiteral("20"));
        setProcessEnvironment(variables);
        start(QStringLiteral(KV73CTL),
              QStringList{QStringLiteral("--device"), enlace, QStringLiteral("log"),
                          QStringLiteral("--csv"), csv} +
                  mas);
        waitForStarted(5000);
    }
    ~Log_En_Curso() override {
        if (state() != NotRunning) {
            kill();
            waitForFinished(5000);
        }
    }
};

// Waits until the file has `n` rows with this status after the first `desde`.
bool Espera_Filas(const QString &ruta, const QString &estado, int n, int desde = 0,
                  int ms = 20000) {
    QElapsedTimer reloj;
    reloj.start();
    while (reloj.elapsed() < ms) {
        const QStringList l = Lineas(ruta);
        int cuantas = 0;
        for (int i = std::max(1, desde); i < l.size(); ++i)
            cuantas += l[i].endsWith(u',' + estado);
        if (cuantas >= n)
            return true;
        QTest::qWait(50);
    }
    return false;
}

QProcess *Arranca_Simulador(const QString &enlace, QObject *padre) {
    auto *sim = new QProcess(padre);
    sim->start(QStringLiteral(KV73_SIM),
               {QStringLiteral("--link"), enlace, QStringLiteral("--drift")});
    sim->waitForStarted(5000);
    sim->waitForReadyRead(5000);
    return sim;
}

} // namespace

TEST(Kv73ctl_Log, TwentyRowsASpreadsheetOpens) {
    Simulador sim({QStringLiteral("--drift")});
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("a.csv"));
    for (int vez = 0; vez < 2; ++vez) {
        const Salida_Programa r = Ejecuta(QStringLiteral(KV73CTL),
                                          {QStringLiteral("--device"), sim.Enlace(),
                                           QStringLiteral("log"), QStringLiteral("--csv"), csv,
                                           QStringLiteral("--count"), QString::number(vez ? 2 : 20),
                                           QStringLiteral("--interval"), QStringLiteral("20")},
                                          Tick_Rapido);
        ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
        EXPECT_TRUE(r.salida.isEmpty());
    }
    const QStringList l = Lineas(csv);
    ASSERT_EQ(l.size(), 1 + 20 + 2) << "one header, then appended";
    EXPECT_EQ(l[0] + QStringLiteral("\r\n"), Cabecera_Csv(false));
    for (int i = 1; i < l.size(); ++i) {
        SCOPED_TRACE(l[i].toStdString());
        const QStringList c = Columnas_De(l[i]);
        ASSERT_EQ(c.size(), Columnas);
        EXPECT_TRUE(Hora_Valida.match(c[0]).hasMatch());
        EXPECT_EQ(c.last(), QStringLiteral("ok"));
        for (int k = 1; k <= 4; ++k)
            EXPECT_GE(c[4 + k].toInt(), c[k].toInt()) << "a maximum below its temperature";
        for (int j = 9; j < 20; ++j)
            EXPECT_TRUE(c[j] == QLatin1String("off") || c[j] == QLatin1String("on") ||
                        c[j] == QLatin1String("blink"));
        EXPECT_EQ(c[19], QStringLiteral("on")) << "Aut is always lit on the simulator";
    }
}

// The simulator goes away in the middle: "no reply" rows, no end; a new one at
// the same link brings "ok" rows back; SIGTERM ends the log with whole rows, and
// with 2 for the polls that went unanswered.
TEST(Kv73ctl_Log, ARelayThatGoesAwayAndComesBack) {
    QTemporaryDir dir;
    const QString enlace = dir.filePath(QStringLiteral("relay"));
    const QString csv = dir.filePath(QStringLiteral("v.csv"));
    QObject dueno;
    QProcess *sim = Arranca_Simulador(enlace, &dueno);
    Log_En_Curso log(enlace, csv, {QStringLiteral("--interval"), QStringLiteral("40")});
    ASSERT_TRUE(Espera_Filas(csv, QStringLiteral("ok"), 3));
    sim->terminate();
    ASSERT_TRUE(sim->waitForFinished(5000));
    ASSERT_TRUE(Espera_Filas(csv, QStringLiteral("no reply"), 3))
        << log.readAllStandardError().toStdString();
    EXPECT_EQ(log.state(), QProcess::Running);
    const int antes = static_cast<int>(Lineas(csv).size());
    sim = Arranca_Simulador(enlace, &dueno);
    ASSERT_TRUE(Espera_Filas(csv, QStringLiteral("ok"), 3, antes));
    ::kill(static_cast<pid_t>(log.processId()), SIGTERM);
    ASSERT_TRUE(log.waitForFinished(5000));
    EXPECT_EQ(log.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(log.exitCode(), 2);
    for (const QString &linea : Lineas(csv))
        ASSERT_EQ(Columnas_De(linea).size(), Columnas) << linea.toStdString();
    sim->terminate();
    sim->waitForFinished(5000);
}

TEST(Kv73ctl_Log, AFullDiskEndsWithStatus4AndAMissingRelayDoesNot) {
    QTemporaryDir dir;
    const QString nadie = dir.filePath(QStringLiteral("nobody"));
    Salida_Programa r = Ejecuta(QStringLiteral(KV73CTL),
                                {QStringLiteral("--device"), nadie, QStringLiteral("log"),
                                 QStringLiteral("--csv"), QStringLiteral("/dev/full")},
                                Tick_Rapido);
    EXPECT_EQ(r.estado, 4);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("cannot write /dev/full")))
        << r.errores.toStdString();

    // No device at all: a "no reply" row a poll, and the count still ends it,
    // as a link failure.
    const QString csv = dir.filePath(QStringLiteral("n.csv"));
    r = Ejecuta(QStringLiteral(KV73CTL),
                {QStringLiteral("--device"), nadie, QStringLiteral("log"), QStringLiteral("--csv"),
                 csv, QStringLiteral("--count"), QStringLiteral("3"), QStringLiteral("--interval"),
                 QStringLiteral("10")},
                Tick_Rapido);
    EXPECT_EQ(r.estado, 2) << r.errores.toStdString();
    const QStringList l = Lineas(csv);
    ASSERT_EQ(l.size(), 4);
    EXPECT_TRUE(l[3].endsWith(QStringLiteral(",,no reply")));
    EXPECT_EQ(r.errores.count(QStringLiteral("cannot open")), 1) << "said once, not per poll";

    r = Ejecuta(QStringLiteral(KV73CTL),
                {QStringLiteral("log"), QStringLiteral("--count"), QStringLiteral("3")});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("log needs --csv FILE")));
}

// A log tells a script how its polls went, as values and watch do: 2 when one
// got no reply, else 3 when a reply was bad, else 0; by its count or by a signal.
TEST(Kv73ctl_Log, TheStatusSaysWhetherEveryPollWasAnswered) {
    QTemporaryDir dir;
    int archivos = 0;
    const auto log = [&](const Simulador &sim, const QStringList &mas) {
        // Each case its own file: one relay's columns and several relays' differ.
        const QString csv = dir.filePath(QStringLiteral("s%1.csv").arg(++archivos));
        return Ejecuta(QStringLiteral(KV73CTL),
                       QStringList{QStringLiteral("--device"), sim.Enlace(), QStringLiteral("log"),
                                   QStringLiteral("--csv"), csv, QStringLiteral("--count"),
                                   QStringLiteral("3"), QStringLiteral("--interval"),
                                   QStringLiteral("10")} +
                           mas,
                       Tick_Rapido);
    };
    const struct {
        QStringList simulador, mas;
        int estado;
    } casos[] = {
        {{QStringLiteral("--silent")}, {}, 2},
        {{QStringLiteral("--bad-crc-every"), QStringLiteral("1")}, {}, 3},
        {{}, {QStringLiteral("--address"), QStringLiteral("3,4")}, 2},
        // One silent relay among good ones, and a bad reply after it: no reply wins.
        {{QStringLiteral("--address"), QStringLiteral("1,5"), QStringLiteral("--bad-crc-every"),
          QStringLiteral("2")},
         {QStringLiteral("--address"), QStringLiteral("1,7,5")},
         2},
        {{QStringLiteral("--silent-after"), QStringLiteral("2")}, {}, 2},
        {{QStringLiteral("--bad-crc-every"), QStringLiteral("3")}, {}, 3},
        {{}, {}, 0},
    };
    for (const auto &c : casos) {
        SCOPED_TRACE((c.simulador + c.mas).join(u' ').toStdString());
        Simulador sim(c.simulador);
        ASSERT_TRUE(sim.Listo());
        const Salida_Programa r = log(sim, c.mas);
        EXPECT_EQ(r.estado, c.estado) << r.errores.toStdString();
    }

    // Interrupted: 0 only when every poll it made was answered. A slow relay
    // keeps the log inside a poll's wait when the signal comes: that poll was
    // cut short, not left unanswered, and makes no row.
    for (const bool callado : {false, true}) {
        SCOPED_TRACE(callado ? "silent relay" : "good relay");
        Simulador sim(callado ? QStringList{QStringLiteral("--silent")}
                              : QStringList{QStringLiteral("--delay"), QStringLiteral("60")});
        ASSERT_TRUE(sim.Listo());
        const QString ruta =
            dir.filePath(callado ? QStringLiteral("c.csv") : QStringLiteral("b.csv"));
        Log_En_Curso en_curso(sim.Enlace(), ruta,
                              {QStringLiteral("--interval"), QStringLiteral("1")});
        ASSERT_TRUE(
            Espera_Filas(ruta, callado ? QStringLiteral("no reply") : QStringLiteral("ok"), 2));
        ::kill(static_cast<pid_t>(en_curso.processId()), SIGINT);
        ASSERT_TRUE(en_curso.waitForFinished(5000));
        EXPECT_EQ(en_curso.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(en_curso.exitCode(), callado ? 2 : 0);
        for (const QString &linea : Lineas(ruta).mid(1))
            EXPECT_TRUE(callado || linea.endsWith(QStringLiteral(",ok"))) << linea.toStdString();
    }
}

// Three relays asked, one absent: each round is a row per relay, the absent one
// "no reply", under a header with the address column. The same log then refuses
// to go on in a file of one relay's columns, and a row cut short at the end of
// a file (a power cut) is taken away before the next is appended.
TEST(Kv73ctl_Log, SeveralRelaysInTurnAndOnlyUnderTheirOwnHeader) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,5")});
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("bus.csv"));
    const auto log = [&](const QString &ruta, const QString &direcciones) {
        return Ejecuta(QStringLiteral(KV73CTL),
                       {QStringLiteral("--device"), sim.Enlace(), QStringLiteral("--address"),
                        direcciones, QStringLiteral("log"), QStringLiteral("--csv"), ruta,
                        QStringLiteral("--count"), QStringLiteral("2"),
                        QStringLiteral("--interval"), QStringLiteral("10")},
                       Tick_Rapido);
    };
    Salida_Programa r = log(csv, QStringLiteral("1,7,5"));
    ASSERT_EQ(r.estado, 2) << "7 never answered: " << r.errores.toStdString();
    QStringList l = Lineas(csv);
    ASSERT_EQ(l.size(), 1 + 2 * 3);
    EXPECT_EQ(l[0] + QStringLiteral("\r\n"), Cabecera_Csv(true));
    for (int ronda = 0; ronda < 2; ++ronda) {
        const QStringList a = Columnas_De(l[1 + 3 * ronda]);
        const QStringList b = Columnas_De(l[2 + 3 * ronda]);
        const QStringList c = Columnas_De(l[3 + 3 * ronda]);
        ASSERT_EQ(a.size(), Columnas + 1);
        EXPECT_EQ(a[1], QStringLiteral("1"));
        EXPECT_EQ(a.last(), QStringLiteral("ok"));
        EXPECT_EQ(b[1], QStringLiteral("7"));
        EXPECT_EQ(b.last(), QStringLiteral("no reply"));
        EXPECT_EQ(c[1], QStringLiteral("5"));
        EXPECT_EQ(c.last(), QStringLiteral("ok")) << "the relay after a silent one is polled";
    }

    // One relay's log is not continued with three relays' rows.
    const QString uno = dir.filePath(QStringLiteral("uno.csv"));
    ASSERT_EQ(log(uno, QStringLiteral("1")).estado, 0);
    const QByteArray antes = Contenido(uno);
    r = log(uno, QStringLiteral("1,5"));
    EXPECT_EQ(r.estado, 4);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("other columns"))) << r.errores.toStdString();
    EXPECT_EQ(Contenido(uno), antes) << "the file is left as it was";

    // Half a row at the end goes; the rows before and after are whole.
    {
        QFile f(uno);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("2026-12-07T01:00:00.000+00:00,8");
    }
    ASSERT_EQ(log(uno, QStringLiteral("1")).estado, 0);
    l = Lineas(uno);
    ASSERT_EQ(l.size(), 1 + 2 + 2);
    for (const QString &linea : l.mid(1))
        EXPECT_EQ(Columnas_De(linea).size(), Columnas) << linea.toStdString();
}

// --- the desktop page -------------------------------------------------------------

class Registro_Escritorio : public Escritorio {
  protected:
    Registro_Pagina &Registro() { return *Registro_Pagina::De(Pagina()); }
};

TEST_F(Registro_Escritorio, ContextMenuAndShortcutsOnTheActualValuesFrame) {
    Registro_Pagina &r = Registro();
    ASSERT_NE(r.Marco_Valores(), nullptr);
    EXPECT_TRUE(r.Marco_Valores()->toolTip().contains(QStringLiteral("Ctrl+R")));
    EXPECT_TRUE(r.Marco_Valores()->toolTip().contains(QStringLiteral("Ctrl+T")));
    QStringList textos;
    QTimer::singleShot(0, [&textos] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (QAction *a : menu->actions())
                textos << a->text() + QLatin1Char('|') + a->shortcut().toString();
            menu->close();
        }
    });
    emit r.Marco_Valores()->customContextMenuRequested(QPoint(10, 10));
    QTest::qWait(50);
    EXPECT_EQ(textos, (QStringList{QStringLiteral("Record values to CSV...|Ctrl+R"),
                                   QStringLiteral("Trend...|Ctrl+T")}));
    EXPECT_FALSE(r.Accion_Grabar()->isEnabled()) << "nothing to record with the link down";
}

// A lost line is part of the record: the failed poll is a "no reply" row, a
// row a minute follows while the link is down, and the polls write again once
// ON brings it back. Only the operator ends it; a red mark says it goes on.
TEST_F(Registro_Escritorio, CtrlRRecordsThroughALostLinkUntilTheOperatorStops) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p));
    p.Timer1.stop();
    Registro_Pagina &r = Registro();
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    EXPECT_FALSE(r.Marca_Grabacion()->isVisible());
    operador->Espera_Guardar(csv);
    QTest::keyClick(&p, Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(r.Grabando());
    EXPECT_EQ(operador->peticiones.back().filtro, QStringLiteral("CSV files (*.csv)|*.csv"));
    EXPECT_TRUE(operador->peticiones.back().anade) << "a log is added to: no \"replace it?\"";
    EXPECT_TRUE(r.Marca_Grabacion()->isVisible());
    EXPECT_TRUE(r.Marca_Grabacion()->toolTip().contains(csv));
    for (int i = 0; i < 2; ++i)
        p.Timer1_Timer();
    ASSERT_EQ(Lineas(csv).size(), 3) << "written as the page polls, not at the end";

    puerto->al_recibir = nullptr;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    p.Timer1_Timer();
    ASSERT_TRUE(r.Grabando());
    EXPECT_TRUE(r.Reloj_Sin_Enlace().isActive());
    EXPECT_EQ(r.Reloj_Sin_Enlace().interval(), 60000);
    EXPECT_TRUE(r.Marca_Grabacion()->toolTip().contains(QStringLiteral("link is down")));
    r.Anota_Sin_Enlace();
    r.Anota_Sin_Enlace();

    // ON brings the relay back.
    Conecta_Rele();
    Enlace_Arriba();
    emit Avisos_Del_Dialogo().Enlace_Establecido();
    p.Timer1.stop();
    p.Timer2.stop();
    EXPECT_FALSE(r.Reloj_Sin_Enlace().isActive());
    p.Timer1_Timer();
    r.Anota_Sin_Enlace(); // a minute's tick that was already due writes nothing
    QStringList l = Lineas(csv);
    ASSERT_EQ(l.size(), 1 + 2 + 3 + 1);
    for (int i = 1; i < l.size(); ++i) {
        SCOPED_TRACE(l[i].toStdString());
        const QStringList c = Columnas_De(l[i]);
        ASSERT_EQ(c.size(), Columnas);
        EXPECT_TRUE(Hora_Valida.match(c[0]).hasMatch());
        EXPECT_EQ(c.last(), i >= 3 && i <= 5 ? QStringLiteral("no reply") : QStringLiteral("ok"));
    }

    // OFF takes the link down without a poll: the minute's rows start as well.
    Estado.Comunicacion_OK = false;
    emit Avisos_Del_Dialogo().Enlace_Cortado();
    EXPECT_TRUE(r.Grabando());
    EXPECT_TRUE(r.Reloj_Sin_Enlace().isActive());

    QTest::keyClick(&p, Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(r.Grabando());
    EXPECT_FALSE(r.Reloj_Sin_Enlace().isActive());
    EXPECT_FALSE(r.Marca_Grabacion()->isVisible());

    // With the link down Ctrl+R only says why it cannot start.
    operador->Espera_Mensaje(
        QStringLiteral("The link is down: there are no live values to record."));
    QTest::keyClick(&p, Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(r.Grabando());
}

TEST_F(Registro_Escritorio, ARowThatCannotBeWrittenEndsTheRecordingNamingTheFile) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&p));
    p.Timer1.stop();
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    operador->Espera_Guardar(csv);
    Registro().Alterna_Grabacion();
    p.Timer1_Timer();
    const QByteArray escrito = Contenido(csv);
    {
        const Disco_Lleno disco(static_cast<rlim_t>(escrito.size()));
        operador->Espera_Mensaje(QStringLiteral("Recording stopped: %1 cannot be written: %2")
                                     .arg(csv, qt_error_string(EFBIG)));
        p.Timer1_Timer();
    }
    EXPECT_FALSE(Registro().Grabando());
    EXPECT_FALSE(Registro().Marca_Grabacion()->isVisible());
    EXPECT_EQ(Contenido(csv), escrito) << "the row cut short is taken back";
}

TEST_F(Registro_Escritorio, RecordingStopsWithCtrlRAndWithThePage) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    QTemporaryDir dir;
    operador->Espera_Guardar(dir.filePath(QStringLiteral("a.csv")));
    Registro().Alterna_Grabacion();
    p.Timer1_Timer();
    Registro().Alterna_Grabacion();
    EXPECT_FALSE(Registro().Grabando());
    p.Timer1_Timer();
    EXPECT_EQ(Lineas(dir.filePath(QStringLiteral("a.csv"))).size(), 2);

    operador->Espera_Guardar(std::nullopt); // Cancel
    Registro().Alterna_Grabacion();
    EXPECT_FALSE(Registro().Grabando());

    operador->Espera_Guardar(dir.filePath(QStringLiteral("b.csv")));
    Registro().Alterna_Grabacion();
    p.show();
    Registro().Abre_Tendencia();
    ASSERT_TRUE(Registro().Tendencia()->isVisible());
    p.hide();
    EXPECT_FALSE(Registro().Grabando());
    EXPECT_FALSE(Registro().Tendencia()->isVisible());
}

TEST_F(Registro_Escritorio, TrendHoldsThePollsWithAGapForAFailedOne) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p));
    QTest::keyClick(&p, Qt::Key_T, Qt::ControlModifier);
    Ventana_Tendencia *v = Registro().Tendencia();
    ASSERT_NE(v, nullptr);
    ASSERT_TRUE(v->isVisible());
    // Polls some slices of the trend's width apart, so that the gap is one; the
    // page's own timer stays out of the count.
    p.Timer1.stop();
    const auto sondea = [&p] {
        QTest::qWait(60);
        p.Timer1_Timer();
    };
    for (int i = 0; i < 3; ++i)
        sondea();
    rele.Fallos_Activos().CRC_Malo_Cada = 1;
    sondea();
    rele.Fallos_Activos().CRC_Malo_Cada = 0;
    for (int i = 0; i < 3; ++i)
        sondea();
    const Memoria_Tendencia &m = Registro().Memoria();
    ASSERT_EQ(m.Cuantos(), 7u);
    EXPECT_EQ(m[3].estado, Estado_Sondeo::Mala);
    v->Redibuja();
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const auto series = v->Series_Con_Puntos(k);
        ASSERT_EQ(series.size(), 2u) << "a run before the bad reply, one after";
        EXPECT_EQ(series[0]->at(0).y(), double(rele.Temperatura(k + 1)));
    }

    // Paused, it draws nothing new; the memory keeps filling.
    const int dibujos = v->Redibujos();
    v->Alterna_Pausa();
    p.Timer1_Timer();
    v->Redibuja();
    EXPECT_EQ(v->Redibujos(), dibujos);
    EXPECT_EQ(m.Cuantos(), 8u);
    v->Alterna_Pausa();
    EXPECT_EQ(v->Redibujos(), dibujos + 1);

    QTemporaryDir dir;
    ASSERT_EQ(v->Exporta_Png(dir.filePath(QStringLiteral("t.png"))), std::nullopt);
    ASSERT_EQ(v->Exporta_Csv(dir.filePath(QStringLiteral("t.csv"))), std::nullopt);
    EXPECT_EQ(Lineas(dir.filePath(QStringLiteral("t.csv"))).size(), 9);
    EXPECT_GT(QFileInfo(dir.filePath(QStringLiteral("t.png"))).size(), 1000);
}

TEST_F(Registro_Escritorio, TrendSavesReplaceTheOldFileWholeOrLeaveItAsItWas) {
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    p.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p));
    p.Timer1.stop();
    QTest::keyClick(&p, Qt::Key_T, Qt::ControlModifier);
    Ventana_Tendencia *v = Registro().Tendencia();
    ASSERT_NE(v, nullptr);
    for (int i = 0; i < 8; ++i)
        p.Timer1_Timer();
    v->Redibuja();
    const auto boton = [v](const char *texto) {
        for (QPushButton *b : v->findChildren<QPushButton *>())
            if (b->text() == QLatin1String(texto))
                return b;
        ADD_FAILURE() << "no button " << texto;
        return static_cast<QPushButton *>(nullptr);
    };
    QPushButton *png = boton("Save PNG..."), *csv = boton("Save CSV...");
    ASSERT_TRUE(png && csv);

    QTemporaryDir dir;
    const QString foto = dir.filePath(QStringLiteral("t.png"));
    const QString valores = dir.filePath(QStringLiteral("t.csv"));
    const QByteArray antes("last week's trend");
    for (const QString &ruta : {foto, valores}) {
        QFile viejo(ruta);
        ASSERT_TRUE(viejo.open(QIODevice::WriteOnly) && viejo.write(antes) == antes.size());
    }
    // The disk fills up part of the way into the picture and the values.
    {
        const Disco_Lleno disco(200);
        operador->Espera_Guardar(foto).Espera_Mensaje(
            QStringLiteral("The picture cannot be written to %1: %2")
                .arg(foto, qt_error_string(EFBIG)));
        QTest::mouseClick(png, Qt::LeftButton);
        operador->Espera_Guardar(valores).Espera_Mensaje(
            QStringLiteral("The values cannot be written to %1: %2")
                .arg(valores, qt_error_string(EFBIG)));
        QTest::mouseClick(csv, Qt::LeftButton);
    }
    EXPECT_EQ(Contenido(foto), antes);
    EXPECT_EQ(Contenido(valores), antes);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("t.csv"), QStringLiteral("t.png")}));

    // A pipe stays a pipe, with nothing written into it.
    const QString tubo = dir.filePath(QStringLiteral("tubo"));
    Tubo pipa(tubo);
    ASSERT_TRUE(pipa.Listo());
    operador->Espera_Guardar(tubo).Espera_Mensaje(
        QStringLiteral("The picture cannot be written to %1: not a plain file").arg(tubo));
    QTest::mouseClick(png, Qt::LeftButton);
    operador->Espera_Guardar(tubo).Espera_Mensaje(
        QStringLiteral("The values cannot be written to %1: not a plain file").arg(tubo));
    QTest::mouseClick(csv, Qt::LeftButton);
    EXPECT_TRUE(pipa.Intacto());

    // With room, the whole picture and every poll take the old files' place.
    operador->Espera_Guardar(foto).Espera_Guardar(valores);
    QTest::mouseClick(png, Qt::LeftButton);
    QTest::mouseClick(csv, Qt::LeftButton);
    EXPECT_TRUE(Contenido(foto).startsWith("\x89PNG"));
    EXPECT_EQ(Lineas(valores).size(), 9);
}
