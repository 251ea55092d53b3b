#include "kv73ctl/Comandos.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "enlace/Puerto_Serie.h"

#include <QJsonArray>
#include <cstdio>

namespace {

const QStringList Comandos_Validos = {QStringLiteral("ident"), QStringLiteral("setpoints"),
                                      QStringLiteral("values"), QStringLiteral("watch"),
                                      QStringLiteral("reset-max")};

int Error_Uso(const QString &texto) {
    std::fprintf(stderr, "kv73ctl: %s\n%s", qPrintable(texto), qPrintable(Uso()));
    return 1;
}

// A whole number in [minimo, maximo], or nothing.
std::optional<long long> Entero(const QString &texto, long long minimo, long long maximo) {
    bool ok = false;
    const long long v = texto.toLongLong(&ok);
    if (!ok || v < minimo || v > maximo)
        return std::nullopt;
    return v;
}

const char *Nombre_Luz(Luz luz) {
    switch (luz) {
    case Luz::Apagada:
        return "off";
    case Luz::Encendida:
        return "on";
    case Luz::Parpadeo:
        return "blink";
    }
    return "off";
}

struct Setpoint {
    const char *clave;
    const char *texto;
};
const Setpoint Setpoints_Temperatura[] = {
    {"L1", "L1 alarm temperature"},
    {"L2", "L2 trip temperature"},
    {"low_fan", "Low Fan, stop-fan temperature"},
    {"high_fan", "High Fan, start-fan temperature"},
};

} // namespace

QString Uso() {
    return QStringLiteral(
        "usage: kv73ctl [--port N | --device PATH] [--baud B] [--address A] [--json] COMMAND\n"
        "commands:\n"
        "  ident                           identification registers; is it a KV-73?\n"
        "  setpoints                       the six setpoint registers\n"
        "  values                          one poll: temperatures, maxima, lamps\n"
        "  watch [--interval MS] [--count N]  a poll every MS (500) milliseconds\n"
        "  reset-max                       reset the maximum temperatures (command 16)\n"
        "options:\n"
        "  --port N      serial port number (device from KV73_COMn, else /dev/ttyS<N-1>)\n"
        "  --device PATH serial device to use instead of a port number\n"
        "  --baud B      1200, 2400, 4800 or 9600 (default 9600)\n"
        "  --address A   relay slave address 1..247 (default 1)\n"
        "  --json        one JSON object per result\n"
        "exit status: 0 done, 1 usage, 2 link failure, 3 bad reply or relay refused\n");
}

std::optional<int> Analiza_Linea_Comandos(const QStringList &argumentos, Opciones &op) {
    for (int i = 1; i < argumentos.size(); ++i) {
        const QString &a = argumentos[i];
        const auto valor = [&]() -> std::optional<QString> {
            if (i + 1 >= argumentos.size())
                return std::nullopt;
            return argumentos[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(qPrintable(Uso()), stdout);
            return 0;
        }
        if (a == QLatin1String("--json")) {
            op.json = true;
            continue;
        }
        if (a.startsWith(QLatin1String("--"))) {
            const auto texto = valor();
            if (!texto)
                return Error_Uso(a + QStringLiteral(" needs a value"));
            std::optional<long long> n;
            if (a == QLatin1String("--device")) {
                op.dispositivo = *texto;
                continue;
            } else if (a == QLatin1String("--port") && (n = Entero(*texto, 1, 255)))
                op.puerto = static_cast<int16_t>(*n);
            else if (a == QLatin1String("--baud") && (n = Entero(*texto, 50, 4000000)))
                op.velocidad = static_cast<int32_t>(*n);
            else if (a == QLatin1String("--address") && (n = Entero(*texto, 0, 255)))
                op.direccion = static_cast<uint8_t>(*n);
            else if (a == QLatin1String("--interval") && (n = Entero(*texto, 1, 3600000)))
                op.intervalo_ms = static_cast<int>(*n);
            else if (a == QLatin1String("--count") && (n = Entero(*texto, 0, 1000000000)))
                op.cuenta = static_cast<int>(*n);
            else
                return Error_Uso(QStringLiteral("bad option or value: %1 %2").arg(a, *texto));
            continue;
        }
        if (op.comando.isEmpty())
            op.comando = a;
        else
            op.argumentos << a;
    }
    if (op.comando.isEmpty())
        return Error_Uso(QStringLiteral("no command"));
    if (!Comandos_Validos.contains(op.comando))
        return Error_Uso(QStringLiteral("unknown command: ") + op.comando);
    if (!op.argumentos.isEmpty())
        return Error_Uso(QStringLiteral("unexpected argument: ") + op.argumentos.first());
    return std::nullopt;
}

int Abre_Enlace(const Opciones &op, Puerto_Serie &puerto) {
    if (!op.dispositivo.isEmpty())
        qputenv(QByteArray("KV73_COM" + QByteArray::number(op.puerto)).constData(),
                op.dispositivo.toLocal8Bit());
    Estado.Puerto_Com = op.puerto;
    Estado.Velocidad = static_cast<int16_t>(op.velocidad);
    Estado.Direccion_Rele = op.direccion;
    puerto.Set_CommPort(op.puerto);
    const QString settings = Str(op.velocidad) + QStringLiteral(",N,8,1");
    if (!puerto.Set_Settings(settings) || !puerto.Set_PortOpen(true)) {
        std::fprintf(stderr, "kv73ctl: cannot open %s: %s\n",
                     qPrintable(Nombre_Dispositivo(op.puerto)), qPrintable(puerto.Error_Texto()));
        return 2;
    }
    Estado.Comunicacion_OK = true;
    return 0;
}

int Resultado_Enlace() { return Estado.Fallos_Enlace > 0 ? 2 : 0; }

QString Hex4(int valor) {
    return QStringLiteral("0x") + QStringLiteral("%1").arg(valor, 4, 16, QLatin1Char('0')).toUpper();
}

Imagen_Setpoints Lee_Imagen_Setpoints() {
    Imagen_Setpoints s;
    for (int k = 0; k < 6; ++k)
        s.registros[k] = Lee_Word_Setpoint(static_cast<uint8_t>(4 + 2 * k));
    return s;
}

namespace {
struct Opcion {
    const char *clave;
    const char *texto;
    const char *valores[2];
};
// Bits 0..3 of register 0x0104.
const Opcion Opciones_0104[] = {
    {"rtd_quantity", "RTD quantity", {"3", "4"}},
    {"fan_presence", "Fan presence", {"No", "Yes"}},
    {"fan_command_probes", "Probe quantity for fan command", {"3", "4"}},
    {"weekly_fan_activation", "Weekly automatic fan activation", {"No", "Yes"}},
};
} // namespace

QStringList Texto_Setpoints(const Imagen_Setpoints &s) {
    QStringList lineas;
    for (int k = 0; k < 4; ++k)
        lineas << QStringLiteral("%1 (register 0x%2): %3 °C")
                      .arg(QLatin1String(Setpoints_Temperatura[k].texto))
                      .arg(0x0100 + k, 4, 16, QLatin1Char('0'))
                      .arg(s.registros[k]);
    lineas << QStringLiteral("options (register 0x0104): %1").arg(Hex4(s.registros[4]));
    for (int b = 0; b < 4; ++b)
        lineas << QStringLiteral("  %1: %2")
                      .arg(QLatin1String(Opciones_0104[b].texto),
                           QLatin1String(Opciones_0104[b].valores[(s.registros[4] >> b) & 1]));
    lineas << QStringLiteral("register 0x0105: %1").arg(Hex4(s.registros[5]));
    return lineas;
}

QJsonObject Json_Setpoints(const Imagen_Setpoints &s) {
    QJsonObject o;
    for (int k = 0; k < 4; ++k)
        o.insert(QLatin1String(Setpoints_Temperatura[k].clave), s.registros[k]);
    o.insert(QStringLiteral("options"), s.registros[4]);
    for (int b = 0; b < 4; ++b) {
        const QString valor = QLatin1String(Opciones_0104[b].valores[(s.registros[4] >> b) & 1]);
        if (valor == QLatin1String("Yes") || valor == QLatin1String("No"))
            o.insert(QLatin1String(Opciones_0104[b].clave), valor == QLatin1String("Yes"));
        else
            o.insert(QLatin1String(Opciones_0104[b].clave), valor.toInt());
    }
    o.insert(QStringLiteral("register_0105"), s.registros[5]);
    return o;
}

Lectura_Actual Lee_Lectura_Actual() {
    Lectura_Actual v;
    for (int k = 0; k < 4; ++k) {
        v.temperaturas[k] = Texto_Temperatura(Lee_Word_Actual(static_cast<uint8_t>(4 + 2 * k)));
        v.maximos[k] = Lee_Word_Actual(static_cast<uint8_t>(12 + 2 * k));
    }
    v.encendidos = Lee_Word_Actual(CByte(Posicion_Actual(QStringLiteral("020A"))));
    v.parpadeos = Lee_Word_Actual(CByte(Posicion_Actual(QStringLiteral("020B"))));
    return v;
}

QString Texto_Valores(const Lectura_Actual &v) {
    QStringList partes;
    for (int k = 0; k < 4; ++k)
        partes << QStringLiteral("Pt%1 %2 (max %3)").arg(k + 1).arg(v.temperaturas[k]).arg(v.maximos[k]);
    QStringList luces;
    for (const auto &ind : Mapa_Indicadores)
        luces << QStringLiteral("%1 %2").arg(QLatin1String(ind.nombre),
                                             QLatin1String(Nombre_Luz(Luz_Indicador(
                                                 ind, v.encendidos, v.parpadeos))));
    return partes.join(QStringLiteral("  ")) + QStringLiteral(" | ") + luces.join(QStringLiteral(", "));
}

QJsonObject Json_Valores(const Lectura_Actual &v) {
    QJsonArray temperaturas, maximos;
    for (int k = 0; k < 4; ++k) {
        temperaturas.append(v.temperaturas[k]);
        maximos.append(v.maximos[k]);
    }
    QJsonObject luces;
    for (const auto &ind : Mapa_Indicadores)
        luces.insert(QLatin1String(ind.nombre),
                     QLatin1String(Nombre_Luz(Luz_Indicador(ind, v.encendidos, v.parpadeos))));
    return {{QStringLiteral("temperatures"), temperaturas},
            {QStringLiteral("maxima"), maximos},
            {QStringLiteral("lamps"), luces}};
}
