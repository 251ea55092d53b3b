// What scripts read from kv73ctl against kv73-sim: the JSON of values and watch
// (time, status, numeric temperatures, probe faults, a silent relay among
// several), and log's CSV on standard output.

#include "tests/soporte/Simulador.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QStringList Tick_Rapido = {QStringLiteral("KV73_TICK_MS=20")};

Salida_Programa Ctl(const Simulador &sim, const QStringList &argumentos) {
    return Ejecuta(QStringLiteral(KV73CTL),
                   QStringList{QStringLiteral("--device"), sim.Enlace()} + argumentos, Tick_Rapido);
}

QList<QJsonObject> Objetos(const QString &salida) {
    QList<QJsonObject> objetos;
    for (const QString &linea : salida.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument d = QJsonDocument::fromJson(linea.toUtf8(), &error);
        EXPECT_TRUE(d.isObject()) << linea.toStdString();
        objetos << d.object();
    }
    return objetos;
}

// "2026-12-07T17:50:30.974+01:00": milliseconds and the offset written out, and
// the moment it names is now.
void Compara_Hora(const QJsonValue &hora) {
    static const QRegularExpression forma(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
    const QString texto = hora.toString();
    EXPECT_TRUE(forma.match(texto).hasMatch()) << texto.toStdString();
    const QDateTime leida = QDateTime::fromString(texto, Qt::ISODateWithMs);
    ASSERT_TRUE(leida.isValid()) << texto.toStdString();
    EXPECT_LT(std::abs(leida.secsTo(QDateTime::currentDateTime())), 60) << texto.toStdString();
}

// Probe 2 shorted, probe 4 open.
const QStringList Sondas_Rotas = {QStringLiteral("--probe-fault"), QStringLiteral("2:-11"),
                                  QStringLiteral("--probe-fault"), QStringLiteral("4:231")};

} // namespace

TEST(Kv73ctlJson, AGoodPollCarriesTimeStatusAndTheProbesAsNumbers) {
    Simulador sim(Sondas_Rotas);
    ASSERT_TRUE(sim.Listo());
    for (const QStringList &orden :
         {QStringList{QStringLiteral("values")},
          QStringList{QStringLiteral("watch"), QStringLiteral("--count"), QStringLiteral("2"),
                      QStringLiteral("--interval"), QStringLiteral("50")}}) {
        SCOPED_TRACE(orden.join(u' ').toStdString());
        const auto r = Ctl(sim, QStringList{QStringLiteral("--json")} + orden);
        EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
        const QList<QJsonObject> objetos = Objetos(r.salida);
        ASSERT_EQ(objetos.size(), orden.size() == 1 ? 1 : 2);
        for (const QJsonObject &o : objetos) {
            EXPECT_EQ(o[QStringLiteral("address")].toInt(), 1);
            EXPECT_EQ(o[QStringLiteral("status")].toString(), QStringLiteral("ok"));
            Compara_Hora(o[QStringLiteral("time")]);
            // The page's texts stay as they were; the numbers come beside them.
            const QJsonArray textos = o[QStringLiteral("temperatures")].toArray();
            const QJsonArray celsius = o[QStringLiteral("celsius")].toArray();
            ASSERT_EQ(celsius.size(), 4);
            EXPECT_TRUE(celsius[0].isDouble());
            EXPECT_EQ(celsius[0].toDouble(), textos[0].toString().toDouble());
            EXPECT_NEAR(celsius[2].toDouble(), 72.4, 3);
            EXPECT_TRUE(celsius[1].isNull());
            EXPECT_TRUE(celsius[3].isNull());
            EXPECT_EQ(o[QStringLiteral("probe_faults")].toArray(),
                      (QJsonArray{QJsonValue(), QStringLiteral("short"), QJsonValue(),
                                  QStringLiteral("open")}));
            EXPECT_EQ(textos[1].toString(), QStringLiteral("Fcc"));
            EXPECT_EQ(o[QStringLiteral("maxima")].toArray().size(), 4);
            EXPECT_EQ(o[QStringLiteral("lamps")].toObject().size(), 11);
        }
    }
}

TEST(Kv73ctlJson, AFailedPollIsAnObjectWithItsStatusAndNoValues) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,5")});
    ASSERT_TRUE(sim.Listo());
    const auto r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("--address"),
                             QStringLiteral("1,3,5"), QStringLiteral("values")});
    EXPECT_EQ(r.estado, 2);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("no reply from address 3")))
        << r.errores.toStdString();
    const QList<QJsonObject> objetos = Objetos(r.salida);
    ASSERT_EQ(objetos.size(), 3) << r.salida.toStdString();
    EXPECT_EQ(objetos[0][QStringLiteral("status")].toString(), QStringLiteral("ok"));
    EXPECT_EQ(objetos[2][QStringLiteral("address")].toInt(), 5);
    EXPECT_EQ(objetos[2][QStringLiteral("status")].toString(), QStringLiteral("ok"));
    const QJsonObject callado = objetos[1];
    EXPECT_EQ(callado[QStringLiteral("address")].toInt(), 3);
    EXPECT_EQ(callado[QStringLiteral("status")].toString(), QStringLiteral("no reply"));
    Compara_Hora(callado[QStringLiteral("time")]);
    EXPECT_EQ(callado.keys(), (QStringList{QStringLiteral("address"), QStringLiteral("status"),
                                           QStringLiteral("time")}));

    // One relay's spoiled reply: the exit status says it, and so does the object.
    Simulador ruidoso({QStringLiteral("--bad-crc-every"), QStringLiteral("1")});
    ASSERT_TRUE(ruidoso.Listo());
    const auto mala = Ctl(ruidoso, {QStringLiteral("--json"), QStringLiteral("values")});
    EXPECT_EQ(mala.estado, 3);
    const QList<QJsonObject> una = Objetos(mala.salida);
    ASSERT_EQ(una.size(), 1);
    EXPECT_EQ(una[0][QStringLiteral("status")].toString(), QStringLiteral("bad reply"));
    EXPECT_FALSE(una[0].contains(QStringLiteral("celsius")));
}

TEST(Kv73ctlJson, LogToStandardOutputWritesTheHeaderOnceThenOnlyRows) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("1,5")});
    ASSERT_TRUE(sim.Listo());
    const auto r =
        Ctl(sim, {QStringLiteral("--address"), QStringLiteral("1,3,5"), QStringLiteral("log"),
                  QStringLiteral("--csv"), QStringLiteral("-"), QStringLiteral("--count"),
                  QStringLiteral("2"), QStringLiteral("--interval"), QStringLiteral("50")});
    EXPECT_EQ(r.estado, 2) << "relay 3 never answered";
    // The link failures are said on stderr, never among the rows.
    EXPECT_TRUE(r.errores.contains(QStringLiteral("Relay Not Response")));
    ASSERT_TRUE(r.salida.endsWith(QStringLiteral("\r\n")));
    const QStringList lineas = r.salida.chopped(2).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lineas.size(), 7) << r.salida.toStdString();
    EXPECT_TRUE(lineas[0].startsWith(QStringLiteral("time,address,Pt1,")));
    const QStringList direcciones{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("5")};
    for (int k = 1; k < lineas.size(); ++k) {
        SCOPED_TRACE(lineas[k].toStdString());
        const QStringList campos = lineas[k].split(QLatin1Char(','));
        ASSERT_EQ(campos.size(), lineas[0].split(QLatin1Char(',')).size());
        EXPECT_TRUE(QDateTime::fromString(campos[0], Qt::ISODateWithMs).isValid());
        EXPECT_EQ(campos[1], direcciones[(k - 1) % 3]);
        EXPECT_EQ(campos.last(), campos[1] == QLatin1String("3") ? QStringLiteral("no reply")
                                                                 : QStringLiteral("ok"));
    }

    // Standard output that cannot take a row ends the log as a full disk does.
    const auto lleno =
        Ejecuta(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("exec \"$0\" --device \"$1\" log --csv - --count 2 >/dev/full"),
                 QStringLiteral(KV73CTL), sim.Enlace()},
                Tick_Rapido);
    EXPECT_EQ(lleno.estado, 4);
    EXPECT_TRUE(lleno.errores.contains(QStringLiteral("cannot write the standard output")))
        << lleno.errores.toStdString();

    // A reader at the other end of a pipe gets each row as it is polled, not
    // when the log ends; SIGTERM ends the log cleanly.
    QProcess log;
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.insert(QStringLiteral("KV73_TICK_MS"), QStringLiteral("20"));
    log.setProcessEnvironment(entorno);
    log.start(QStringLiteral(KV73CTL),
              {QStringLiteral("--device"), sim.Enlace(), QStringLiteral("log"),
               QStringLiteral("--csv"), QStringLiteral("-"), QStringLiteral("--interval"),
               QStringLiteral("50")});
    QByteArray leido;
    while (leido.count('\n') < 3 && log.waitForReadyRead(10000))
        leido += log.readAllStandardOutput();
    ASSERT_GE(leido.count('\n'), 3) << "the rows wait in a buffer";
    EXPECT_EQ(log.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(log.processId()), SIGTERM);
    ASSERT_TRUE(log.waitForFinished(10000));
    EXPECT_EQ(log.exitCode(), 0) << log.readAllStandardError().toStdString();
    leido += log.readAllStandardOutput();
    EXPECT_TRUE(leido.startsWith("time,Pt1,")) << leido.toStdString();
    EXPECT_EQ(leido.count("time,"), 1);
    for (const QByteArray &fila : leido.trimmed().split('\n').mid(1))
        EXPECT_TRUE(fila.trimmed().endsWith(",ok")) << fila.toStdString();
}
