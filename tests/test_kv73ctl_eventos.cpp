// kv73ctl's event journal end to end against kv73-sim: set, send and reset-max
// with the relay's values before and after, a lamp that lights between two
// polls of a log, a watch's link going up and down, `events` with its filters
// and JSON, and a damaged journal.

#include "kv73ctl/Eventos_Consola.h"
#include "tests/soporte/Simulador.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

// Each test its own journal, and a fast tick.
struct Diario_Prueba {
    QTemporaryDir carpeta;
    QString Ruta() const { return carpeta.filePath(QStringLiteral("events.sqlite")); }
    QStringList Entorno() const {
        return {QStringLiteral("KV73_TICK_MS=20"), QStringLiteral("KV73_EVENTS=") + Ruta()};
    }
    Salida_Programa Ctl(const QString &dispositivo, const QStringList &argumentos) const {
        return Ejecuta(QStringLiteral(KV73CTL),
                       QStringList{QStringLiteral("--device"), dispositivo} + argumentos,
                       Entorno());
    }
    // `events` with `argumentos`, its JSON lines.
    QList<QJsonObject> Eventos(const QStringList &argumentos = {}) const {
        const auto r =
            Ejecuta(QStringLiteral(KV73CTL),
                    QStringList{QStringLiteral("events"), QStringLiteral("--json")} + argumentos,
                    Entorno());
        EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
        QList<QJsonObject> objetos;
        for (const QString &linea : r.salida.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            objetos << QJsonDocument::fromJson(linea.toUtf8()).object();
        return objetos;
    }
};

QString Resumen(const QJsonObject &o) {
    return QStringLiteral("%1 %2 %3")
        .arg(o[QStringLiteral("kind")].toString(), o[QStringLiteral("what")].toString(),
             o[QStringLiteral("value")].toString())
        .trimmed();
}

} // namespace

TEST(KvctlEvents, SetSendAndResetMaxAreJournaledWithTheRelaysValuesBeforeAndAfter) {
    Simulador sim({QStringLiteral("--probe-fault"), QStringLiteral("4:231")});
    ASSERT_TRUE(sim.Listo());
    Diario_Prueba diario;
    ASSERT_EQ(diario.Ctl(sim.Enlace(), {QStringLiteral("set"), QStringLiteral("L1=85")}).estado, 0);
    const QString archivo = diario.carpeta.filePath(QStringLiteral("night.KV73"));
    ASSERT_EQ(diario.Ctl(sim.Enlace(), {QStringLiteral("save"), archivo}).estado, 0);
    ASSERT_EQ(diario
                  .Ctl(sim.Enlace(), {QStringLiteral("set"), QStringLiteral("L1=80"),
                                      QStringLiteral("Weekly=no")})
                  .estado,
              0);
    auto r = diario.Ctl(sim.Enlace(), {QStringLiteral("send"), archivo});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    r = diario.Ctl(sim.Enlace(), {QStringLiteral("reset-max")});
    ASSERT_EQ(r.estado, 0);
    EXPECT_EQ(r.errores.trimmed(), QStringLiteral("Command Executed"));

    const QList<QJsonObject> eventos = diario.Eventos();
    ASSERT_EQ(eventos.size(), 4);
    const auto registros = [](std::initializer_list<int> valores) {
        QJsonArray lista;
        for (int v : valores)
            lista << v;
        return lista;
    };
    const QJsonObject primero = eventos[0];
    EXPECT_EQ(primero.keys().size(), 9);
    EXPECT_EQ(primero[QStringLiteral("device")].toString(), sim.Enlace());
    EXPECT_EQ(primero[QStringLiteral("address")].toInt(), 1);
    EXPECT_EQ(primero[QStringLiteral("kind")].toString(), "setpoints");
    EXPECT_EQ(primero[QStringLiteral("what")].toString(), "set");
    EXPECT_TRUE(primero[QStringLiteral("value")].isNull());
    EXPECT_EQ(primero[QStringLiteral("before")].toArray(), registros({90, 110, 60, 75, 11, 0}));
    EXPECT_EQ(primero[QStringLiteral("after")].toArray(), registros({85, 110, 60, 75, 11, 0}));
    EXPECT_EQ(primero[QStringLiteral("source")].toString(), "kv73ctl");
    EXPECT_EQ(eventos[1][QStringLiteral("after")].toArray(), registros({80, 110, 60, 75, 3, 0}));
    // send read what the relay held before it wrote the file's setpoints.
    EXPECT_EQ(eventos[2][QStringLiteral("what")].toString(), "send");
    EXPECT_EQ(eventos[2][QStringLiteral("before")].toArray(), registros({80, 110, 60, 75, 3, 0}));
    EXPECT_EQ(eventos[2][QStringLiteral("after")].toArray(), registros({85, 110, 60, 75, 11, 0}));
    EXPECT_EQ(eventos[2][QStringLiteral("source")].toString(),
              "kv73ctl send " + QFileInfo(archivo).absoluteFilePath());
    const QJsonObject reinicio = eventos[3];
    EXPECT_EQ(Resumen(reinicio), "reset-max reset-max");
    const QJsonArray maximos = reinicio[QStringLiteral("before")].toArray();
    ASSERT_EQ(maximos.size(), 4);
    EXPECT_NEAR(maximos[0].toInt(), 65, 3);
    EXPECT_EQ(maximos[3].toInt(), 231);
    EXPECT_TRUE(reinicio[QStringLiteral("after")].isNull());
    for (int i = 1; i < 4; ++i)
        EXPECT_LE(eventos[i - 1][QStringLiteral("time")].toString(),
                  eventos[i][QStringLiteral("time")].toString());

    // The filters, and the text the same events make.
    EXPECT_EQ(diario.Eventos({QStringLiteral("--kind"), QStringLiteral("reset-max")}).size(), 1);
    EXPECT_EQ(diario.Eventos({QStringLiteral("--address"), QStringLiteral("2,3")}).size(), 0);
    EXPECT_EQ(diario
                  .Eventos({QStringLiteral("--since"), QStringLiteral("1h"),
                            QStringLiteral("--address"), QStringLiteral("1")})
                  .size(),
              4);
    EXPECT_EQ(diario.Eventos({QStringLiteral("--until"), QStringLiteral("2001-01-01")}).size(), 0);
    const auto texto =
        Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("events")}, diario.Entorno());
    const QStringList lineas = texto.salida.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lineas.size(), 4);
    EXPECT_TRUE(lineas[0].endsWith(sim.Enlace() +
                                   "  address 1  setpoints  set  [90,110,60,75,11,0] -> "
                                   "[85,110,60,75,11,0]  (kv73ctl)"))
        << lineas[0].toStdString();
}

TEST(KvctlEvents, ALogJournalsALampThatLitBetweenTwoPollsAndAWatchItsLinkGoingDown) {
    // Probes 2 and 4 broken keep the fan's probes far from its setpoints.
    Simulador sim({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--probe-fault"),
                   QStringLiteral("2:-11"), QStringLiteral("--probe-fault"),
                   QStringLiteral("4:231")});
    ASSERT_TRUE(sim.Listo());
    Diario_Prueba diario;
    const QString csv = diario.carpeta.filePath(QStringLiteral("log.csv"));
    // The log polls every 1.5 s; between its first two polls another kv73ctl
    // lowers L1 under probe 1, through the same device server.
    QProcess log;
    auto entorno = QProcessEnvironment::systemEnvironment();
    for (const QString &v : diario.Entorno())
        entorno.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    log.setProcessEnvironment(entorno);
    log.start(QStringLiteral(KV73CTL),
              {QStringLiteral("--device"), sim.Dispositivo_Tcp(), QStringLiteral("log"),
               QStringLiteral("--csv"), csv, QStringLiteral("--interval"), QStringLiteral("1500"),
               QStringLiteral("--count"), QStringLiteral("3")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            QFile f(csv);
            return f.open(QIODevice::ReadOnly) && f.readAll().count('\n') >= 2;
        },
        10000));
    EXPECT_EQ(
        diario.Ctl(sim.Dispositivo_Tcp(), {QStringLiteral("set"), QStringLiteral("L1=50")}).estado,
        0);
    ASSERT_TRUE(log.waitForFinished(20000));
    EXPECT_EQ(log.exitCode(), 0) << log.readAllStandardError().toStdString();

    QStringList vistos;
    for (const QJsonObject &o :
         diario.Eventos({QStringLiteral("--kind"), QStringLiteral("lamp,link")}))
        vistos << Resumen(o) + ' ' + o[QStringLiteral("before")].toString();
    // Tmax lights too: the maximum of probe 1 is over the new L1.
    EXPECT_EQ(vistos, QStringList({"link up ", "lamp L1 on off", "lamp Tmax on off"}));

    // A watch of a relay that falls silent: its link goes down, once, with why.
    Simulador mudo({QStringLiteral("--silent-after"), QStringLiteral("2")});
    ASSERT_TRUE(mudo.Listo());
    const auto r = diario.Ctl(mudo.Enlace(), {QStringLiteral("watch"), QStringLiteral("--interval"),
                                              QStringLiteral("50"), QStringLiteral("--count"),
                                              QStringLiteral("5")});
    EXPECT_EQ(r.estado, 2);
    vistos.clear();
    for (const QJsonObject &o : diario.Eventos({QStringLiteral("--kind"), QStringLiteral("link")}))
        if (o[QStringLiteral("device")].toString() == mudo.Enlace())
            vistos << Resumen(o);
    EXPECT_EQ(vistos, QStringList({"link up", "link down no reply"}));
}

TEST(KvctlEvents, ADamagedJournalEndsEventsWith4AndIsSaidOnceWhileSetDoesItsJob) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    Diario_Prueba diario;
    QFile basura(diario.Ruta());
    ASSERT_TRUE(basura.open(QIODevice::WriteOnly));
    basura.write(QByteArray(4096, '\x17'));
    basura.close();

    auto r = Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("events")}, diario.Entorno());
    EXPECT_EQ(r.estado, 4);
    EXPECT_TRUE(r.salida.isEmpty());
    EXPECT_TRUE(
        r.errores.startsWith("kv73ctl: the event journal " + diario.Ruta() + " cannot be read: "))
        << r.errores.toStdString();

    r = diario.Ctl(sim.Enlace(), {QStringLiteral("set"), QStringLiteral("L2=120")});
    EXPECT_EQ(r.estado, 0);
    EXPECT_TRUE(r.salida.contains(QStringLiteral("L2 trip temperature (register 0x0101): 120")));
    EXPECT_EQ(r.errores.count("kv73ctl: the event journal " + diario.Ruta() +
                              " cannot be written: file is not a database\n"),
              1)
        << r.errores.toStdString();
    // A watch whose every poll would journal says it once too.
    r = diario.Ctl(sim.Enlace(),
                   {QStringLiteral("watch"), QStringLiteral("--interval"), QStringLiteral("20"),
                    QStringLiteral("--count"), QStringLiteral("3")});
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(r.errores.count(QStringLiteral("event journal")), 1) << r.errores.toStdString();
    EXPECT_EQ(QFileInfo(diario.Ruta()).size(), 4096);
}

TEST(KvctlEvents, WhenIsAnIsoTimeADateOrATimeBackAndAnythingElseIsAUsageError) {
    const QDateTime ahora(QDate(2024, 5, 10), QTime(12, 0), QTimeZone(3600));
    EXPECT_EQ(Lee_Cuando("90m", false, ahora), ahora.addSecs(-90 * 60));
    EXPECT_EQ(Lee_Cuando("24h", false, ahora), ahora.addDays(-1));
    EXPECT_EQ(Lee_Cuando("7d", true, ahora), ahora.addDays(-7));
    EXPECT_EQ(Lee_Cuando("30s", false, ahora), ahora.addSecs(-30));
    EXPECT_EQ(Lee_Cuando("2024-05-01T14:00:00.250+02:00", false, ahora),
              QDateTime(QDate(2024, 5, 1), QTime(14, 0, 0, 250), QTimeZone(7200)));
    EXPECT_EQ(Lee_Cuando("2024-05-01T14:00", false, ahora),
              QDateTime(QDate(2024, 5, 1), QTime(14, 0)));
    // A day alone: its first moment to start from, its last to end at.
    EXPECT_EQ(Lee_Cuando("2024-05-01", false, ahora), QDate(2024, 5, 1).startOfDay());
    EXPECT_EQ(Lee_Cuando("2024-05-01", true, ahora), QDate(2024, 5, 2).startOfDay().addMSecs(-1));
    for (const char *malo :
         {"", "3x", "-5m", "24 h", "h", "2024-13-01", "yesterday", "1.5h", "99999999999d", "14:00"})
        EXPECT_FALSE(Lee_Cuando(QLatin1String(malo), false, ahora)) << malo;

    Diario_Prueba diario;
    for (const QStringList &mal :
         {QStringList{"--since", "3x"}, QStringList{"--until", "soon"},
          QStringList{"--kind", "lamps"}, QStringList{"--since", "1h", "--until", "2h"}}) {
        const auto r =
            Ejecuta(QStringLiteral(KV73CTL), QStringList{"events"} + mal, diario.Entorno());
        EXPECT_EQ(r.estado, 1) << mal.join(' ').toStdString();
        EXPECT_TRUE(r.errores.startsWith("kv73ctl: --")) << r.errores.toStdString();
    }
    // A journal nobody has written: no events, and reading does not make it.
    const auto r = Ejecuta(QStringLiteral(KV73CTL), {"events", "--since", "7d"}, diario.Entorno());
    EXPECT_EQ(r.estado, 0);
    EXPECT_TRUE(r.salida.isEmpty());
    EXPECT_FALSE(QFile::exists(diario.Ruta()));
}

TEST(KvctlEvents, AJsonLineHoldsWhatTheEventsObjectHoldsWhateverItsTexts) {
    Evento evento;
    evento.hora = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 250), QTimeZone(7200));
    evento.dispositivo = QStringLiteral("C:\\ports\\\"COM1\"\t");
    evento.direccion = 17;
    evento.tipo = QStringLiteral("setpoints");
    evento.que = QStringLiteral("Send Setpoints to Relay");
    const QStringList antes = {"[90,110,60,75,11,0]", "[]",       "\"blink\"",
                               "{\"a\": [1, 2]}",     "not json", "[1,,2]",
                               "\"a\\\"b\"",          ""};
    for (const QString &texto : antes) {
        evento.antes = texto;
        evento.despues = QStringLiteral("año \u00e9");
        evento.fuente = texto.isEmpty() ? QString() : QStringLiteral("kv73ctl send /tmp/a b.KV73");
        const QString linea = Linea_Json_Evento(evento);
        QJsonParseError error{};
        const QJsonObject leido = QJsonDocument::fromJson(linea.toUtf8(), &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << linea.toStdString();
        EXPECT_EQ(leido, Json_Evento(evento)) << linea.toStdString();
        EXPECT_TRUE(linea.startsWith("{\"time\":\"2024-05-01T14:03:07.250+02:00\",\"device\":"));
    }
}

TEST(KvctlEvents, ALampLineSaysItsStatesBareAndSetpointsAsTheRegisters) {
    Evento evento;
    evento.hora = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 250), QTimeZone(7200));
    evento.dispositivo = QStringLiteral("/dev/ttyUSB0");
    evento.direccion = 5;
    evento.tipo = QStringLiteral("lamp");
    evento.que = QStringLiteral("L2");
    evento.valor = QStringLiteral("on");
    evento.antes = QStringLiteral("\"off\"");
    evento.despues = QStringLiteral("\"on\"");
    evento.fuente = QStringLiteral("kv73");
    EXPECT_EQ(Texto_Evento(evento), "2024-05-01T14:03:07.250+02:00  /dev/ttyUSB0  address 5  lamp  "
                                    "L2  on  off -> on  (kv73)");
    evento.antes.clear();
    EXPECT_TRUE(Texto_Evento(evento).endsWith("  - -> on  (kv73)"));
}
