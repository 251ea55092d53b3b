// kv73ctl end to end against kv73-sim on a pseudo-terminal.

#include "tests/soporte/Simulador.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

// A fast tick so that the five-tick timeout takes a quarter of a second.
const QStringList Tick_Rapido = {QStringLiteral("KV73_TICK_MS=50")};

Salida_Programa Ctl(const Simulador &sim, QStringList argumentos) {
    return Ejecuta(QStringLiteral(KV73CTL),
                   QStringList{QStringLiteral("--device"), sim.Enlace()} + argumentos, Tick_Rapido);
}

QJsonObject Json(const QString &linea) {
    return QJsonDocument::fromJson(linea.toUtf8()).object();
}

} // namespace

TEST(Kv73ctl, ReadsTheSimulatedRelay) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());

    auto r = Ctl(sim, {QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.contains(QStringLiteral("accepted"))) << r.salida.toStdString();
    EXPECT_TRUE(r.salida.startsWith(QStringLiteral("register 0x0000: 0x0002\n")))
        << r.salida.toStdString();

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("ident")});
    const QJsonObject id = Json(r.salida);
    EXPECT_TRUE(id[QStringLiteral("accepted")].toBool());
    EXPECT_EQ(id[QStringLiteral("registers")].toArray().size(), 3);

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("setpoints")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    const QJsonObject s = Json(r.salida);
    for (const char *clave :
         {"L1", "L2", "low_fan", "high_fan", "options", "rtd_quantity", "fan_presence",
          "fan_command_probes", "weekly_fan_activation", "register_0105"})
        EXPECT_TRUE(s.contains(QLatin1String(clave))) << clave;
    EXPECT_LE(s[QStringLiteral("L1")].toInt(), s[QStringLiteral("L2")].toInt());

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("watch"), QStringLiteral("--interval"),
                  QStringLiteral("50"), QStringLiteral("--count"), QStringLiteral("3")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    const QStringList lineas = r.salida.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lineas.size(), 3);
    for (const QString &linea : lineas) {
        const QJsonObject v = Json(linea);
        EXPECT_EQ(v[QStringLiteral("temperatures")].toArray().size(), 4);
        EXPECT_EQ(v[QStringLiteral("maxima")].toArray().size(), 4);
        EXPECT_EQ(v[QStringLiteral("lamps")].toObject().size(), 11);
        EXPECT_TRUE(v.contains(QStringLiteral("latency_us")));
    }

    r = Ctl(sim, {QStringLiteral("reset-max")});
    EXPECT_EQ(r.estado, 0);
    EXPECT_EQ(r.errores.trimmed().toStdString(), "Command Executed");
}

// A reply refused for its CRC or its shape is said on stderr with status 3, and
// nothing that reply did not carry is printed.
TEST(Kv73ctl, BadRepliesPrintNoValues) {
    const auto mala = [](const Salida_Programa &r) {
        EXPECT_EQ(r.estado, 3) << r.errores.toStdString();
        EXPECT_TRUE(r.errores.contains(QStringLiteral("bad reply"))) << r.errores.toStdString();
        EXPECT_TRUE(r.salida.isEmpty()) << r.salida.toStdString();
    };
    {
        Simulador ruidoso({QStringLiteral("--bad-crc-every"), QStringLiteral("1")});
        mala(Ctl(ruidoso, {QStringLiteral("ident")}));
        mala(Ctl(ruidoso, {QStringLiteral("--json"), QStringLiteral("ident")}));
        mala(Ctl(ruidoso, {QStringLiteral("values")}));
        mala(Ctl(ruidoso, {QStringLiteral("save"), QStringLiteral("/nonexistent/x.KV73")}));
        auto r = Ctl(ruidoso, {QStringLiteral("reset-max")});
        EXPECT_EQ(r.estado, 3);
        EXPECT_EQ(r.errores.trimmed().toStdString(), "Error executing command");
        // The setpoint read asks again at once, and gives up after ten bad replies.
        r = Ctl(ruidoso, {QStringLiteral("setpoints")});
        EXPECT_EQ(r.estado, 2);
        EXPECT_EQ(r.errores.trimmed().toStdString(), "Relay Not Response");
        EXPECT_TRUE(r.salida.isEmpty());
    }
    {
        // Exception replies are five bytes: the identification read takes the
        // first eleven of several, which fail the CRC; the poll never gets 33.
        Simulador excepciones({QStringLiteral("--exception")});
        mala(Ctl(excepciones, {QStringLiteral("ident")}));
        const auto r = Ctl(excepciones, {QStringLiteral("values")});
        EXPECT_EQ(r.estado, 2);
        EXPECT_EQ(r.errores.trimmed().toStdString(), "Relay Not Response");
        EXPECT_TRUE(r.salida.isEmpty());
    }
    {
        // Every second reply spoiled: a watch says so for each and goes on.
        Simulador ruidoso({QStringLiteral("--bad-crc-every"), QStringLiteral("2")});
        const auto r =
            Ctl(ruidoso, {QStringLiteral("watch"), QStringLiteral("--interval"),
                          QStringLiteral("50"), QStringLiteral("--count"), QStringLiteral("4")});
        EXPECT_EQ(r.estado, 3);
        EXPECT_EQ(r.salida.count(u'\n'), 2) << r.salida.toStdString();
        EXPECT_EQ(r.errores.count(QStringLiteral("bad reply")), 2) << r.errores.toStdString();
    }
    {
        Simulador silencioso({QStringLiteral("--silent")});
        const auto r = Ctl(silencioso, {QStringLiteral("ident")});
        EXPECT_EQ(r.estado, 2);
        EXPECT_EQ(r.errores.trimmed().toStdString(), "Relay Not Response");
        EXPECT_TRUE(r.salida.isEmpty());
    }
}

// A value the help does not list is refused before the port is opened: the
// device does not exist, so a parse that let it through would end in status 2.
TEST(Kv73ctl, UsageErrorsComeBeforeThePort) {
    const QString ctl = QStringLiteral(KV73CTL);
    const auto con = [&](QStringList argumentos) {
        return Ejecuta(ctl,
                       QStringList{QStringLiteral("--device"), QStringLiteral("/nonexistent")} +
                           argumentos);
    };
    const auto L = [](const char *texto) { return QString::fromUtf8(texto).split(u' '); };
    // The command line, and what its message must name.
    const std::vector<std::pair<QStringList, QString>> malas = {
        {L("--address 0 send x.KV73"), "--address 0: "},
        {L("--address 248 values"), "--address 248: "},
        {L("--baud 19200 values"), "--baud 19200: "},
        {L("--baud 9601 values"), "--baud 9601: "},
        {L("--port 0 values"), "--port 0: "},
        {L("watch --interval 0"), "--interval 0: "},
        {L("watch --count -1"), "--count -1: "},
        {L("values --count 3"), "--count are for watch only"},
        {L("--speed 9600 values"), "unknown option: --speed"},
        {L("values --baud"), "--baud needs a value"},
        {{}, "no command"},
        {L("launch"), "unknown command: launch"},
    };
    for (const auto &[argumentos, mensaje] : malas) {
        const auto r = con(argumentos);
        EXPECT_EQ(r.estado, 1) << argumentos.join(u' ').toStdString();
        EXPECT_TRUE(r.errores.startsWith(QStringLiteral("kv73ctl: ")) &&
                    r.errores.section(u'\n', 0, 0).contains(mensaje))
            << r.errores.toStdString();
    }
    // The bounds themselves pass, and then the missing device is what fails.
    EXPECT_EQ(con({QStringLiteral("--address"), QStringLiteral("247"), QStringLiteral("--baud"),
                   QStringLiteral("1200"), QStringLiteral("values")})
                  .estado,
              2);
    const auto ayuda = Ejecuta(ctl, {QStringLiteral("--help")});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_TRUE(ayuda.salida.contains(QStringLiteral("usage: kv73ctl")));
}

TEST(Kv73ctl, DialsThroughTheModemFirst) {
    Simulador sim({QStringLiteral("--modem"), QStringLiteral("--dial-delay"), QStringLiteral("20"),
                   QStringLiteral("--busy-number"), QStringLiteral("999")});
    ASSERT_TRUE(sim.Listo());
    auto r =
        Ctl(sim, {QStringLiteral("--modem"), QStringLiteral("5551234"), QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.contains(QStringLiteral("accepted")));
    // Without the dial-up the modem passes nothing to the relay.
    r = Ctl(sim, {QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 2);
    r = Ctl(sim, {QStringLiteral("--modem"), QStringLiteral("999"), QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 2);
}
