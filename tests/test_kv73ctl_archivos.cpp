// kv73ctl's save, show, send and set: the setpoint rules and the order of the
// traffic in-process, then the real program against kv73-sim.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "kv73ctl/Comandos.h"
#include "protocolo/Crc.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Pty.h"
#include "tests/soporte/Simulador.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QByteArray V(const char *descripcion) {
    return Vector(QLatin1String(descripcion));
}

const QString Guardados = QStringLiteral("Setpoints were Saved to the Relay memory");
const char *const Lectura_Rele = "setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, "
                                 "High Fan 75, options 0x000B, 0x0105 = 0x1234";

// A KV-73 that answers with the independent frames; its setpoint reply is `lectura`.
class Kv73ctl_Rele : public Banco {
  protected:
    QByteArray lectura = V(Lectura_Rele);

    void SetUp() override {
        Banco::SetUp();
        Enlace_Arriba();
        puerto->al_recibir = [this](const QByteArray &p) {
            const auto funcion = static_cast<uint8_t>(p[1]);
            if (funcion == 0x04)
                puerto->Inyecta(V("identification reply, address 1, registers 0x0002 0x0001 "
                                  "0x007F (accepted)"));
            else if (funcion == 0x03)
                puerto->Inyecta(lectura);
            else if (funcion == 0x05)
                puerto->Inyecta(p);
            else
                puerto->Inyecta(V("setpoint write reply, address 1"));
        };
    }

    int Set(const QStringList &argumentos) {
        Cambios_Setpoints c;
        EXPECT_FALSE(Analiza_Cambios(argumentos, c));
        return Cambia_Setpoints(c);
    }
};

QString Aplicado(const QStringList &argumentos,
                 std::array<int, 6> rele = {90, 110, 60, 75, 0x0B, 0}) {
    Cambios_Setpoints c;
    if (const auto error = Analiza_Cambios(argumentos, c))
        return QStringLiteral("before the relay: ") + *error;
    Imagen_Setpoints s{rele};
    if (const auto error = Aplica_Cambios(c, s))
        return *error;
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(s.registros[0])
        .arg(s.registros[1])
        .arg(s.registros[2])
        .arg(s.registros[3])
        .arg(s.registros[4], 0, 16);
}

QJsonObject Json(const QString &texto) {
    return QJsonDocument::fromJson(texto.toUtf8()).object();
}

} // namespace

TEST_F(Kv73ctl_Rele, SetSendsCommandOneTheWriteAndCommandTwo) {
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    EXPECT_EQ(Set({QStringLiteral("L1=95"), QStringLiteral("L2=120")}), 0);
    const QByteArray ident = V("identification read request, address 1");
    const QByteArray leer = V("setpoint read request, address 1");
    EXPECT_EQ(puerto->Peticiones(),
              (std::vector<QByteArray>{
                  ident, leer, V("command 1 request (and its echo reply), address 1"),
                  V("setpoint write request, address 1: L1 95, L2 120, Low Fan 60, High Fan 75, "
                    "options 0x000B, 0x0105 = 0x1234"),
                  V("command 2 request (and its echo reply), address 1")}));

    // A rule broken only against the relay's values: read, then nothing more.
    puerto->escrituras.clear();
    EXPECT_EQ(Set({QStringLiteral("L2=50")}), 1);
    EXPECT_EQ(puerto->Peticiones(), (std::vector<QByteArray>{ident, leer}));

    // The high byte and bits 4..7 of register 0x0104 are the relay's own.
    lectura = Hex("01 03 0C 00 5A 00 6E 00 3C 00 4B A5 FF 12 34");
    Agrega_CRC(lectura);
    puerto->escrituras.clear();
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    EXPECT_EQ(Set({QStringLiteral("RTD=3"), QStringLiteral("Weekly=no")}), 0);
    ASSERT_EQ(puerto->Peticiones().size(), 5u);
    EXPECT_EQ(puerto->Peticiones()[3].mid(7, 12), Hex("00 5A 00 6E 00 3C 00 4B A5 F2 12 34"))
        << "bits 0 and 3 as asked, bit 2 cleared by three probes";
}

TEST(Kv73ctl_Set, FollowsTheMainPageRules) {
    const auto a = [](const char *texto) { return QString::fromLatin1(texto).split(u' '); };
    EXPECT_EQ(Aplicado(a("L1=120")), "120 121 60 75 b");
    EXPECT_EQ(Aplicado(a("L1=100"), {90, 150, 60, 75, 0x0B, 0}), "100 150 60 75 b");
    EXPECT_EQ(Aplicado(a("LowFan=80 L1=120 L2=120")), "120 120 80 81 b");
    EXPECT_EQ(Aplicado(a("RTD=3"), {90, 110, 60, 75, 0x0F, 0}), "90 110 60 75 a");
    EXPECT_EQ(Aplicado(a("L2=80")), "L2=80 is below L1 (90)");
    EXPECT_EQ(Aplicado(a("FanProbes=4"), {90, 110, 60, 75, 0x0A, 0}), "FanProbes=4 needs RTD=4");
    EXPECT_EQ(Aplicado(a("L1=221")),
              "before the relay: L1=221 is out of range: give whole degrees from 0 to 220");
    EXPECT_EQ(Aplicado(a("L1=220")),
              "before the relay: L1=220 would push L2 to 221, above 220: give L2 as well");
    EXPECT_EQ(Aplicado(a("HighFan=70 LowFan=71")),
              "before the relay: HighFan=70 is below LowFan (71)");
    EXPECT_EQ(Aplicado(a("RTD=3 FanProbes=4")), "before the relay: FanProbes=4 needs RTD=4");
}

TEST(Kv73ctl_Archivos, SaveSetSendAndShowAgainstTheSimulator) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.KV73"));
    const auto ctl = [&](const QStringList &argumentos) {
        return Ejecuta(QStringLiteral(KV73CTL),
                       QStringList{QStringLiteral("--device"), sim.Enlace()} + argumentos,
                       {QStringLiteral("KV73_TICK_MS=50")});
    };
    const auto l1_l2 = [&] {
        const QJsonObject s =
            Json(ctl({QStringLiteral("--json"), QStringLiteral("setpoints")}).salida);
        return std::pair{s[QStringLiteral("L1")].toInt(), s[QStringLiteral("L2")].toInt()};
    };

    auto r = ctl({QStringLiteral("--json"), QStringLiteral("save"), a});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(Json(r.salida)[QStringLiteral("setpoints")].toObject()[QStringLiteral("L1")], 90);
    r = ctl({QStringLiteral("set"), QStringLiteral("L1=95"), QStringLiteral("L2=120")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(r.errores.trimmed(), Guardados);
    EXPECT_EQ(l1_l2(), std::pair(95, 120));
    r = ctl({QStringLiteral("send"), a});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(r.errores.trimmed(), Guardados);
    EXPECT_EQ(l1_l2(), std::pair(90, 110));

    // show needs no relay.
    r = Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("--json"), QStringLiteral("show"),
                                          QStringLiteral(KV73_VECTORS "/sample.KV73")});
    const QJsonObject o = Json(r.salida);
    EXPECT_EQ(o[QStringLiteral("date")].toString(), QStringLiteral("2025-03-14"));
    EXPECT_EQ(o[QStringLiteral("setpoints")].toObject()[QStringLiteral("register_0105")], 0x5A5A);
    EXPECT_EQ(o[QStringLiteral("values")]
                  .toObject()[QStringLiteral("temperatures")]
                  .toVariant()
                  .toStringList(),
              (QStringList{"62", "64", "Fco", "58"}));
}

TEST(Kv73ctl_Archivos, FileProblemsExitWithFourAndBadValuesTouchNoLine) {
    QTemporaryDir dir;
    const QString ctl = QStringLiteral(KV73CTL);
    const QString corto = dir.filePath(QStringLiteral("corto.KV73"));
    {
        QFile f(corto);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("KV73").leftJustified(200, ' '));
    }
    auto r = Ejecuta(ctl, {QStringLiteral("show"), corto});
    EXPECT_EQ(r.estado, 4);
    EXPECT_EQ(r.errores.trimmed().toStdString(), "It isn't KV-73 File");
    // Refused before the port opens: this device would have given 2.
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("--device"), QStringLiteral("/nonexistent"),
                            QStringLiteral("send"), corto})
                  .estado,
              4);
    {
        Simulador sim;
        ASSERT_TRUE(sim.Listo());
        EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("--device"), sim.Enlace(), QStringLiteral("save"),
                                dir.filePath(QStringLiteral("falta/a.KV73"))})
                      .estado,
                  4);
    }

    Pty linea;
    r = Ejecuta(ctl, {QStringLiteral("--device"), linea.Esclavo(), QStringLiteral("set"),
                      QStringLiteral("L1=221")});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("out of range"))) << r.errores.toStdString();
    EXPECT_TRUE(linea.Lee(1, 200).isEmpty()) << "nothing went on the line";
}
