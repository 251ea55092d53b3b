// kv73ctl's save, show, send and set: the setpoint rules and the order of the
// traffic in-process, then the real program against kv73-sim.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "kv73ctl/Comandos.h"
#include "protocolo/Crc.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Pty.h"
#include "tests/soporte/Simulador.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <array>
#include <variant>

namespace {

const QString Guardados = QStringLiteral("Setpoints were Saved to the Relay memory");
const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");

QByteArray V(const char *descripcion) { return Vector(QLatin1String(descripcion)); }

// A relay that answers every request with the independent frames: a KV-73 that
// holds L1 90, L2 110, Low Fan 60, High Fan 75, options 0x000B, 0x0105 = 0x1234.
class Kv73ctl_Rele : public Banco {
  protected:
    void SetUp() override {
        Banco::SetUp();
        Enlace_Arriba();
        puerto->al_recibir = [this](const QByteArray &p) {
            switch (static_cast<uint8_t>(p[1])) {
            case 0x04:
                puerto->Inyecta(p[2] == 0 ? V("identification reply, address 1, registers 0x0002 0x0001 0x007F (accepted)")
                                          : V("actual values reply, address 1: Pt1..Pt4 85, 0xFFFB (-5), 0x00E7 (Fco), 0xFFF5 (Fcc); maxima 97, 65, 231, 0xFFF5 (65525); 0x0208 0, 0x0209 0, 0x020A 0x0089, 0x020B 0x0008, 0x020C 0x1111, 0x020D 0x2222"));
                break;
            case 0x03:
                puerto->Inyecta(lectura);
                break;
            case 0x05:
                puerto->Inyecta(p);
                break;
            case 0x10:
                puerto->Inyecta(V("setpoint write reply, address 1"));
                break;
            }
        };
    }

    QByteArray lectura = V("setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, High Fan 75, options 0x000B, 0x0105 = 0x1234");

    int Set(const QStringList &argumentos) {
        Cambios_Setpoints c;
        if (const auto error = Analiza_Cambios(argumentos, c)) {
            ADD_FAILURE() << error->toStdString();
            return -1;
        }
        return Cambia_Setpoints(c);
    }
};

const QByteArray Identificacion = V("identification read request, address 1");
const QByteArray Lectura = V("setpoint read request, address 1");
const QByteArray Comando_1 = V("command 1 request (and its echo reply), address 1");
const QByteArray Comando_2 = V("command 2 request (and its echo reply), address 1");

// What `set` makes of the relay's block {L1, L2, Low Fan, High Fan, options, 0x0105}.
std::variant<std::array<int, 6>, QString> Resultado(const QStringList &argumentos,
                                                    std::array<int, 6> rele) {
    Cambios_Setpoints c;
    if (const auto error = Analiza_Cambios(argumentos, c))
        return QStringLiteral("refused before the relay: ") + *error;
    Imagen_Setpoints s;
    s.registros = rele;
    if (const auto error = Aplica_Cambios(c, s))
        return *error;
    return s.registros;
}

QJsonObject Json(const QString &texto) { return QJsonDocument::fromJson(texto.toUtf8()).object(); }

} // namespace

TEST_F(Kv73ctl_Rele, SetSendsCommandOneTheWriteAndCommandTwo) {
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    EXPECT_EQ(Set({QStringLiteral("L1=95"), QStringLiteral("L2=120")}), 0);
    // Register 0x0105 goes back as the relay reported it.
    EXPECT_EQ(puerto->Peticiones(),
              (std::vector<QByteArray>{Identificacion, Lectura, Comando_1,
                                       V("setpoint write request, address 1: L1 95, L2 120, Low Fan 60, High Fan 75, options 0x000B, 0x0105 = 0x1234"),
                                       Comando_2}));

    // A rule broken only against the relay's values: read, then nothing more.
    puerto->escrituras.clear();
    EXPECT_EQ(Set({QStringLiteral("L2=50")}), 1);
    EXPECT_EQ(puerto->Peticiones(), (std::vector<QByteArray>{Identificacion, Lectura}));

    // The bring-up reads of `save` take one poll as well.
    puerto->escrituras.clear();
    EXPECT_EQ(Lecturas_De_Arranque(true), 0);
    EXPECT_EQ(puerto->Peticiones(), (std::vector<QByteArray>{Identificacion, Lectura,
                                                             V("actual values read request, address 1")}));
    EXPECT_EQ(Estado.Trama_Escritura[9], 90);
}

TEST_F(Kv73ctl_Rele, SetChangesOnlyTheOptionBitsItOwns) {
    // Register 0x0104 with its high byte and bits 4..7 in use by the relay.
    lectura = Hex("01 03 0C 00 5A 00 6E 00 3C 00 4B A5 FF 12 34");
    Agrega_CRC(lectura);
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    EXPECT_EQ(Set({QStringLiteral("RTD=3"), QStringLiteral("Weekly=no")}), 0);
    // Bits 0 and 3 as asked, bit 2 cleared by three probes, bit 1 and the rest kept.
    ASSERT_EQ(puerto->Peticiones().size(), 5u);
    EXPECT_EQ(puerto->Peticiones()[3].mid(7, 12), Hex("00 5A 00 6E 00 3C 00 4B A5 F2 12 34"));
}

TEST(Kv73ctl_Set, FollowsTheMainPageRules) {
    using R = std::array<int, 6>;
    const R rele{90, 110, 60, 75, 0x000B, 0x1234};
    const auto s = [](std::initializer_list<const char *> a) {
        QStringList l;
        for (const char *x : a)
            l << QLatin1String(x);
        return l;
    };
    // L1 pushes L2 one degree above it only when L2 falls behind; the same for the fan.
    EXPECT_EQ(std::get<R>(Resultado(s({"L1=120"}), rele)), (R{120, 121, 60, 75, 0x0B, 0x1234}));
    EXPECT_EQ(std::get<R>(Resultado(s({"L1=100"}), {90, 150, 60, 75, 0x0B, 0})), (R{100, 150, 60, 75, 0x0B, 0}));
    EXPECT_EQ(std::get<R>(Resultado(s({"lowfan=80"}), {90, 110, 60, 70, 0x0B, 0})), (R{90, 110, 80, 81, 0x0B, 0}));
    EXPECT_EQ(std::get<R>(Resultado(s({"L1=120", "L2=120"}), rele)), (R{120, 120, 60, 75, 0x0B, 0x1234}));
    // Options: three probes leave three to command the fan.
    EXPECT_EQ(std::get<R>(Resultado(s({"RTD=3"}), {90, 110, 60, 75, 0x0F, 0}))[4], 0x0A);
    EXPECT_EQ(std::get<R>(Resultado(s({"FanProbes=4", "Fan=no", "Weekly=yes"}), {90, 110, 60, 75, 0x01, 0}))[4], 0x0D);

    struct Rechazo {
        std::initializer_list<const char *> argumentos;
        R rele;
        const char *mensaje;
    };
    const Rechazo rechazos[] = {
        {{"L1=221"}, rele, "refused before the relay: L1=221 is out of range: give whole degrees from 0 to 220"},
        {{"HighFan=-1"}, rele, "refused before the relay: HighFan=-1 is out of range: give whole degrees from 0 to 220"},
        {{"L1=9x"}, rele, "refused before the relay: L1=9x is out of range: give whole degrees from 0 to 220"},
        {{"L1=220"}, rele, "refused before the relay: L1=220 would push L2 to 221, above 220: give L2 as well"},
        {{"L1=100", "L2=99"}, rele, "refused before the relay: L2=99 is below L1 (100)"},
        {{"RTD=3", "FanProbes=4"}, rele, "refused before the relay: FanProbes=4 needs RTD=4"},
        {{"RTD=5"}, rele, "refused before the relay: RTD=5: give 3 or 4"},
        {{"Fan=1"}, rele, "refused before the relay: Fan=1: give yes or no"},
        {{"L1=90", "l1=91"}, rele, "refused before the relay: L1 given twice"},
        {{"Offset=3"}, rele, "refused before the relay: unknown setpoint Offset: give L1, L2, LowFan, HighFan, RTD, Fan, FanProbes or Weekly"},
        {{"L1"}, rele, "refused before the relay: not NAME=VALUE: L1"},
        // Only the relay's values break these.
        {{"L2=80"}, rele, "L2=80 is below L1 (90)"},
        {{"FanProbes=4"}, {90, 110, 60, 75, 0x0A, 0}, "FanProbes=4 needs RTD=4"},
    };
    for (const auto &[argumentos, base, mensaje] : rechazos) {
        const auto r = Resultado(s(argumentos), base);
        ASSERT_TRUE(std::holds_alternative<QString>(r)) << mensaje;
        EXPECT_EQ(std::get<QString>(r).toStdString(), mensaje);
    }
}

TEST(Kv73ctl_Archivos, SaveSetSendAndShowAgainstTheSimulator) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.KV73"));
    const auto ctl = [&](QStringList argumentos) {
        return Ejecuta(QStringLiteral(KV73CTL), QStringList{QStringLiteral("--device"), sim.Enlace()} + argumentos,
                       {QStringLiteral("KV73_TICK_MS=50")});
    };
    const auto setpoints = [&] { return Json(ctl({QStringLiteral("--json"), QStringLiteral("setpoints")}).salida); };

    auto r = ctl({QStringLiteral("save"), a});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.contains(QStringLiteral("L1 alarm temperature (register 0x0100): 90 °C")));
    QFile archivo(a);
    ASSERT_TRUE(archivo.open(QIODevice::ReadOnly));
    const QByteArray guardado = archivo.readAll();
    ASSERT_EQ(guardado.size(), 255);
    EXPECT_EQ(guardado.mid(198, 20), Hex("00 01 10 01 00 00 06 0C 00 5A 00 6E 00 3C 00 4B 00 0B 00 00"));

    r = ctl({QStringLiteral("set"), QStringLiteral("L1=95"), QStringLiteral("L2=120")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(r.errores.trimmed(), Guardados);
    EXPECT_EQ(setpoints()[QStringLiteral("L1")].toInt(), 95);
    EXPECT_EQ(setpoints()[QStringLiteral("L2")].toInt(), 120);

    r = ctl({QStringLiteral("send"), a});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(r.errores.trimmed(), Guardados);
    EXPECT_EQ(setpoints()[QStringLiteral("L1")].toInt(), 90);
    EXPECT_EQ(setpoints()[QStringLiteral("L2")].toInt(), 110);

    // show needs no relay.
    r = Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("--json"), QStringLiteral("show"), Muestra});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    const QJsonObject o = Json(r.salida);
    EXPECT_EQ(o[QStringLiteral("tag")].toString(), QStringLiteral("KV73"));
    EXPECT_EQ(o[QStringLiteral("date")].toString(), QStringLiteral("2025-03-14"));
    EXPECT_EQ(o[QStringLiteral("address")].toInt(), 5);
    const QJsonObject sp = o[QStringLiteral("setpoints")].toObject();
    EXPECT_EQ(sp[QStringLiteral("high_fan")].toInt(), 65);
    EXPECT_EQ(sp[QStringLiteral("register_0105")].toInt(), 0x5A5A);
    EXPECT_TRUE(sp[QStringLiteral("fan_presence")].toBool());
    const QJsonObject v = o[QStringLiteral("values")].toObject();
    EXPECT_EQ(v[QStringLiteral("temperatures")].toVariant().toStringList(),
              (QStringList{"62", "64", "Fco", "58"}));
    EXPECT_EQ(v[QStringLiteral("lamps")].toObject()[QStringLiteral("Tmax")].toString(), QStringLiteral("on"));
    r = Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("show"), Muestra});
    EXPECT_TRUE(r.salida.contains(QStringLiteral("saved: 2025-03-14"))) << r.salida.toStdString();
    EXPECT_TRUE(r.salida.contains(QStringLiteral("Pt3 Fco (max 231)"))) << r.salida.toStdString();
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
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("show"), dir.filePath(QStringLiteral("falta.KV73"))}).estado, 4);
    // A file refused before the port is even opened (this device would fail with 2).
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("--device"), QStringLiteral("/nonexistent"), QStringLiteral("send"), corto}).estado, 4);
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("show")}).estado, 1);
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("ident"), corto}).estado, 1);
    {
        Simulador sim;
        ASSERT_TRUE(sim.Listo());
        r = Ejecuta(ctl, {QStringLiteral("--device"), sim.Enlace(), QStringLiteral("save"),
                          dir.filePath(QStringLiteral("falta/a.KV73"))});
        EXPECT_EQ(r.estado, 4);
        EXPECT_TRUE(r.errores.contains(QStringLiteral("could not be written"))) << r.errores.toStdString();
    }

    // Values out of range: refused with nothing on the line.
    Pty linea;
    for (const char *valor : {"L1=221", "L2=-3", "RTD=3 FanProbes=4"}) {
        r = Ejecuta(ctl, QStringList{QStringLiteral("--device"), linea.Esclavo(), QStringLiteral("set")} +
                             QString::fromLatin1(valor).split(QLatin1Char(' ')));
        EXPECT_EQ(r.estado, 1) << valor;
        EXPECT_TRUE(r.errores.contains(QStringLiteral("nothing was sent"))) << r.errores.toStdString();
    }
    EXPECT_TRUE(linea.Lee(1, 200).isEmpty());
}
