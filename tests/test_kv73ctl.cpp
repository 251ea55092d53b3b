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

QJsonObject Json(const QString &linea) { return QJsonDocument::fromJson(linea.toUtf8()).object(); }

} // namespace

TEST(Kv73ctl, ReadsTheSimulatedRelay) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());

    auto r = Ctl(sim, {QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.contains(QStringLiteral("accepted"))) << r.salida.toStdString();
    EXPECT_TRUE(r.salida.startsWith(QStringLiteral("register 0x0000: 0x0002\n"))) << r.salida.toStdString();

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("ident")});
    const QJsonObject id = Json(r.salida);
    EXPECT_TRUE(id[QStringLiteral("accepted")].toBool());
    EXPECT_EQ(id[QStringLiteral("registers")].toArray().size(), 3);

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("setpoints")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    const QJsonObject s = Json(r.salida);
    for (const char *clave : {"L1", "L2", "low_fan", "high_fan", "options", "rtd_quantity",
                              "fan_presence", "fan_command_probes", "weekly_fan_activation",
                              "register_0105"})
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

TEST(Kv73ctl, ExitStatusTellsWhatWentWrong) {
    {
        Simulador silencioso({QStringLiteral("--silent")});
        const auto r = Ctl(silencioso, {QStringLiteral("values")});
        EXPECT_EQ(r.estado, 2);
        EXPECT_EQ(r.errores.trimmed().toStdString(), "Relay Not Response");
        EXPECT_TRUE(r.salida.isEmpty());
    }
    {
        Simulador ruidoso({QStringLiteral("--bad-crc-every"), QStringLiteral("1")});
        EXPECT_EQ(Ctl(ruidoso, {QStringLiteral("values")}).estado, 3);
        EXPECT_EQ(Ctl(ruidoso, {QStringLiteral("reset-max")}).estado, 3);
        // The setpoint read asks again at once, and gives up after ten bad replies.
        const auto r = Ctl(ruidoso, {QStringLiteral("setpoints")});
        EXPECT_EQ(r.estado, 2);
        EXPECT_EQ(r.errores.trimmed().toStdString(), "Relay Not Response");
    }
    const QString ctl = QStringLiteral(KV73CTL);
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("--device"), QStringLiteral("/nonexistent"),
                            QStringLiteral("values")}).estado, 2);
    EXPECT_EQ(Ejecuta(ctl, {}).estado, 1);
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("launch")}).estado, 1);
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("--address"), QStringLiteral("300"), QStringLiteral("values")}).estado, 1);
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("--baud")}).estado, 1);
    const auto ayuda = Ejecuta(ctl, {QStringLiteral("--help")});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_TRUE(ayuda.salida.contains(QStringLiteral("usage: kv73ctl")));
}

TEST(Kv73ctl, DialsThroughTheModemFirst) {
    Simulador sim({QStringLiteral("--modem"), QStringLiteral("--dial-delay"), QStringLiteral("20"),
                   QStringLiteral("--busy-number"), QStringLiteral("999")});
    ASSERT_TRUE(sim.Listo());
    auto r = Ctl(sim, {QStringLiteral("--modem"), QStringLiteral("5551234"), QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.contains(QStringLiteral("accepted")));
    // Without the dial-up the modem passes nothing to the relay.
    r = Ctl(sim, {QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 2);
    r = Ctl(sim, {QStringLiteral("--modem"), QStringLiteral("999"), QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 2);
}
