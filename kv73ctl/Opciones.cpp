#include "kv73ctl/Opciones.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "comun/Version.h"
#include "kv73ctl/Eventos_Consola.h"

#include <QCommandLineParser>
#include <algorithm>
#include <cstdio>

namespace {

struct Opcion {
    const char *corta; // null when there is only the long name
    const char *nombre;
    const char *valor; // as the help names the value; null for a switch
    const char *ayuda;
};
const Opcion Lista_Opciones[] = {
    {"h", "help", nullptr, "show this text"},
    {"v", "version", nullptr, "print the program's name and version"},
    {nullptr, "port", "N",
     "serial port number 1..255 (device from KV73_COMn, else /dev/ttyS<N-1>; default 1)"},
    {nullptr, "device", "PATH",
     "serial device to use instead of a port number, tcp://HOST:PORT for a serial device "
     "server, or modbus-tcp://HOST[:PORT] for a Modbus TCP gateway"},
    {nullptr, "baud", "B", "1200, 2400, 4800 or 9600 (default 9600)"},
    {nullptr, "address", "A",
     "relay slave address 1..254 (default 1; 248 to 254 are beyond plain Modbus, there because "
     "the relay's own address setting allows them); values, watch and log take a list, 1,5,17, "
     "and poll the relays in turn; events shows the events of those relays only"},
    {nullptr, "modem", "PHONE", "dial PHONE through the modem on the port before the transactions"},
    {nullptr, "json", nullptr, "one JSON object per result"},
    {nullptr, "trace", nullptr,
     "print every frame written to and read from the port on stderr, one line each"},
    {nullptr, "interval", "MS",
     "watch, log, serve: milliseconds from one poll to the next, 1..3600000 "
     "(default 500; 1000 for serve)"},
    {nullptr, "count", "N",
     "watch, log: the number of polls, 1..1000000000 (default: until "
     "interrupted)"},
    {nullptr, "pdf", "OUT.pdf", "report: the PDF to write"},
    {nullptr, "first", "A", "scan: the first address asked, 1..254 (default 1)"},
    {nullptr, "last", "B",
     "scan: the last address asked, 1..254 (default 247, the last of plain Modbus)"},
    {nullptr, "timeout-ms", "T",
     "scan: milliseconds to wait for each reply, 1..60000 (default: the reply's time on the "
     "line at the speed, and a margin; at least 50)"},
    {nullptr, "csv", "FILE",
     "log: the CSV file the rows are appended to; - writes them to the standard output"},
    {nullptr, "since", "WHEN",
     "events: from WHEN on, an ISO 8601 time or date, or a time back from now (90m, 24h, 7d)"},
    {nullptr, "until", "WHEN", "events: up to WHEN (a date: to the end of that day)"},
    {nullptr, "kind", "K",
     "events: only lamp, link, setpoints or reset-max (several joined by commas)"},
    {nullptr, "mqtt", "URL",
     "serve: publish to the MQTT broker at mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://... "
     "(the password may come from KV73_MQTT_PASSWORD)"},
    {nullptr, "mqtt-cafile", "FILE", "serve: the CA certificates that check an mqtts:// broker"},
    {nullptr, "topic", "PREFIX", "serve: the prefix of the MQTT topics (default kv73)"},
    {nullptr, "ha-discovery", nullptr, "serve: publish Home Assistant MQTT discovery configs"},
    {nullptr, "metrics", "HOST:PORT",
     "serve: answer GET /metrics (Prometheus) and /healthz on HOST:PORT (HOST 127.0.0.1 when "
     "left out)"},
};

// The options that take a number, with what the help above allows for each. A
// value outside it is refused here, before any port is opened: address 0 is the
// broadcast, which every relay on the line would obey without answering, and
// no relay takes 255.
// The texts here name the relays' address range in words.
static_assert(Direccion_Minima == 1 && Direccion_Maxima == 254);
constexpr char Una_Direccion[] = "a relay address from 1 to 254";
constexpr int Velocidades[] = {1200, 2400, 4800, 9600};
struct Numero {
    const char *nombre;
    int minimo, maximo;
    std::span<const int> solo; // when given, only these
    const char *permitido;
    int Opciones::*campo;
};
const Numero Numeros[] = {
    {"port", 1, 255, {}, "a port number from 1 to 255", &Opciones::puerto},
    {"baud", 1200, 9600, Velocidades, "1200, 2400, 4800 or 9600", &Opciones::velocidad},
    {"interval", 1, 3600000, {}, "milliseconds from 1 to 3600000", &Opciones::intervalo_ms},
    {"count", 1, 1000000000, {}, "a number of polls from 1 to 1000000000", &Opciones::cuenta},
    {"first", Direccion_Minima, Direccion_Maxima, {}, Una_Direccion, &Opciones::primera},
    {"last", Direccion_Minima, Direccion_Maxima, {}, Una_Direccion, &Opciones::ultima},
    {"timeout-ms", 1, 60000, {}, "milliseconds from 1 to 60000", &Opciones::espera_ms},
};

// The commands that poll several relays in turn; the others speak to one.
const char *const Ordenes_Con_Lista[] = {"values", "watch", "log", "serve", "events"};

// Options that belong to some commands (`ordenes`, separated by spaces);
// `falta` is said when the first of them runs without it.
struct Opcion_De_Orden {
    const char *nombre;
    const char *ordenes;
    const char *falta;
};
const Opcion_De_Orden Opciones_De_Orden[] = {
    {"interval", "watch log serve", nullptr},
    {"count", "watch log", nullptr},
    {"pdf", "report", "report needs --pdf OUT.pdf"},
    {"first", "scan", nullptr},
    {"last", "scan", nullptr},
    {"timeout-ms", "scan", nullptr},
    {"csv", "log", "log needs --csv FILE"},
    {"since", "events", nullptr},
    {"until", "events", nullptr},
    {"kind", "events", nullptr},
    {"mqtt", "serve", nullptr},
    {"mqtt-cafile", "serve", nullptr},
    {"topic", "serve", nullptr},
    {"ha-discovery", "serve", nullptr},
    {"metrics", "serve", nullptr},
};

const char *const Linea_Uso =
    "usage: kv73ctl [--port N | --device PATH] [--baud B] [--address A[,B...]]\n"
    "               [--modem PHONE] [--json] [--trace] COMMAND [ARGS]\n"
    "       kv73ctl --help | --version\n";

int Error_Uso(const QString &texto) {
    std::fprintf(stderr, "kv73ctl: %s\n%s", qPrintable(texto), Linea_Uso);
    return 1;
}

// "  left  text", the text wrapped under its first column; a left part too wide
// for its column puts the text on the next line.
QString Renglon(const QString &izquierda, const QString &texto) {
    constexpr qsizetype Columna = 32, Ancho = 79;
    QString renglon = QStringLiteral("  ") + izquierda;
    renglon = renglon.size() + 2 > Columna ? renglon + QLatin1Char('\n') + QString(Columna, u' ')
                                           : renglon.leftJustified(Columna);
    qsizetype usado = Columna;
    for (const QString &palabra : texto.split(u' ', Qt::SkipEmptyParts)) {
        if (usado > Columna && usado + 1 + palabra.size() > Ancho) {
            renglon += QLatin1Char('\n') + QString(Columna, u' ');
            usado = Columna;
        }
        if (usado > Columna) {
            renglon += QLatin1Char(' ');
            ++usado;
        }
        renglon += palabra;
        usado += palabra.size();
    }
    return renglon + QLatin1Char('\n');
}

void Prepara(QCommandLineParser &analizador) {
    for (const Opcion &o : Lista_Opciones) {
        QStringList nombres;
        if (o.corta)
            nombres << QLatin1String(o.corta);
        nombres << QLatin1String(o.nombre);
        analizador.addOption(QCommandLineOption(nombres, QLatin1String(o.ayuda),
                                                o.valor ? QLatin1String(o.valor) : QString()));
    }
}

std::optional<QString> Toma_Numeros(const QCommandLineParser &analizador, Opciones &op) {
    for (const Numero &n : Numeros) {
        const QString nombre = QLatin1String(n.nombre);
        if (!analizador.isSet(nombre))
            continue;
        const QString texto = analizador.value(nombre);
        const std::optional<qint64> numero = Lee_Entero(texto);
        const qint64 v = numero.value_or(0);
        if (!numero || v < n.minimo || v > n.maximo ||
            (!n.solo.empty() && std::ranges::find(n.solo, v) == n.solo.end()))
            return QStringLiteral("--%1 %2: give %3")
                .arg(nombre, texto, QLatin1String(n.permitido));
        op.*n.campo = static_cast<int>(v);
    }
    return std::nullopt;
}

// --address: one address, or several joined by commas, none twice.
std::optional<QString> Toma_Direcciones(const QCommandLineParser &analizador, Opciones &op) {
    if (!analizador.isSet(QStringLiteral("address")))
        return std::nullopt;
    const QString texto = analizador.value(QStringLiteral("address"));
    QList<int> direcciones;
    for (const QString &parte : texto.split(QLatin1Char(','))) {
        const std::optional<qint64> numero = Lee_Entero(parte);
        const qint64 v = numero.value_or(0);
        if (!numero || !Direccion_Valida(v))
            return QStringLiteral("--address %1: give a relay address from 1 to 254, or several "
                                  "joined by commas")
                .arg(texto);
        if (direcciones.contains(static_cast<int>(v)))
            return QStringLiteral("--address %1: address %2 given twice").arg(texto).arg(v);
        direcciones << static_cast<int>(v);
    }
    op.direcciones = direcciones;
    op.direccion = direcciones.first();
    op.direccion_dada = true;
    return std::nullopt;
}

std::optional<QString> Toma_Opciones(const QCommandLineParser &analizador, Opciones &op) {
    if (auto error = Toma_Numeros(analizador, op))
        return error;
    if (auto error = Toma_Direcciones(analizador, op))
        return error;
    op.json = analizador.isSet(QStringLiteral("json"));
    op.traza = analizador.isSet(QStringLiteral("trace"));
    op.dispositivo = analizador.value(QStringLiteral("device"));
    op.telefono = analizador.value(QStringLiteral("modem"));
    op.pdf = analizador.value(QStringLiteral("pdf"));
    op.csv = analizador.value(QStringLiteral("csv"));
    if (analizador.isSet(QStringLiteral("since")))
        op.desde = analizador.value(QStringLiteral("since"));
    if (analizador.isSet(QStringLiteral("until")))
        op.hasta = analizador.value(QStringLiteral("until"));
    if (analizador.isSet(QStringLiteral("kind")))
        op.tipos = analizador.value(QStringLiteral("kind")).split(QLatin1Char(','));
    op.mqtt = analizador.value(QStringLiteral("mqtt"));
    op.mqtt_cafile = analizador.value(QStringLiteral("mqtt-cafile"));
    if (analizador.isSet(QStringLiteral("topic")))
        op.tema = analizador.value(QStringLiteral("topic"));
    op.ha_discovery = analizador.isSet(QStringLiteral("ha-discovery"));
    op.metricas = analizador.value(QStringLiteral("metrics"));
    // Left empty, either would quietly give the default: the port numbered by
    // --port, a direct link instead of a call.
    if (analizador.isSet(QStringLiteral("device")) && op.dispositivo.isEmpty())
        return QStringLiteral("--device needs a device path");
    if (analizador.isSet(QStringLiteral("modem")) && op.telefono.trimmed().isEmpty())
        return QStringLiteral("--modem needs a telephone number");
    return std::nullopt;
}

// The command and what follows it, as its row in the table allows.
std::optional<QString> Toma_Orden(const QStringList &palabras, std::span<const Orden> ordenes,
                                  Opciones &op) {
    if (palabras.isEmpty())
        return QStringLiteral("no command");
    op.comando = palabras.first();
    op.argumentos = palabras.mid(1);
    const Orden *orden = Busca_Orden(ordenes, op.comando);
    if (!orden)
        return QStringLiteral("unknown command: ") + op.comando;
    const qsizetype n = op.argumentos.size();
    switch (orden->forma) {
    case Argumentos::Ninguno:
        if (n > 0)
            return QStringLiteral("unexpected argument: ") + op.argumentos.first();
        break;
    case Argumentos::Un_Archivo:
        if (n != 1)
            return op.comando + QStringLiteral(" takes one FILE");
        break;
    case Argumentos::Archivo_Opcional:
        if (n > 1)
            return op.comando + QStringLiteral(" takes at most one FILE");
        break;
    case Argumentos::Cambios:
        if (n == 0)
            return op.comando + QStringLiteral(" needs NAME=VALUE");
        break;
    }
    return std::nullopt;
}

// Several addresses only where relays are polled in turn; a scan asks its own range.
std::optional<QString> Revisa_Direcciones(const QCommandLineParser &analizador,
                                          const Opciones &op) {
    if (op.comando == QLatin1String("scan")) {
        if (analizador.isSet(QStringLiteral("address")))
            return QStringLiteral("--address is not for scan: give --first and --last");
        if (op.primera > op.ultima)
            return QStringLiteral("--first %1 is above --last %2").arg(op.primera).arg(op.ultima);
        return std::nullopt;
    }
    if (op.direcciones.size() > 1 && std::ranges::none_of(Ordenes_Con_Lista, [&op](const char *o) {
            return op.comando == QLatin1String(o);
        }))
        return QStringLiteral("%1 speaks to one relay: give one --address").arg(op.comando);
    return std::nullopt;
}

std::optional<QString> Revisa_Opciones_De_Orden(const QCommandLineParser &analizador,
                                                const Opciones &op) {
    if (auto error = Revisa_Direcciones(analizador, op))
        return error;
    for (const Opcion_De_Orden &o : Opciones_De_Orden) {
        const QString nombre = QLatin1String(o.nombre);
        const QStringList ordenes = QString::fromLatin1(o.ordenes).split(QLatin1Char(' '));
        if (!ordenes.contains(op.comando)) {
            if (analizador.isSet(nombre))
                return QStringLiteral("--%1 is for %2 only")
                    .arg(nombre, ordenes.join(QStringLiteral(" and ")));
        } else if (o.falta && analizador.value(nombre).isEmpty()) {
            return QLatin1String(o.falta);
        }
    }
    return std::nullopt;
}

// The text of --help, with the commands of `ordenes`.
QString Ayuda(std::span<const Orden> ordenes) {
    QString texto = QLatin1String(Linea_Uso) +
                    QStringLiteral("The KV-73 relay's transactions from a terminal or a script. "
                                   "Options may come\nbefore or after the command.\n\ncommands:\n");
    for (const Orden &o : ordenes)
        texto += Renglon(
            QStringLiteral("%1 %2").arg(QLatin1String(o.nombre), QLatin1String(o.uso)).trimmed(),
            QString::fromUtf8(o.ayuda));
    texto += QStringLiteral("\noptions:\n");
    for (const Opcion &o : Lista_Opciones) {
        QString nombres = QStringLiteral("--") + QLatin1String(o.nombre);
        if (o.corta)
            nombres = QStringLiteral("-%1, ").arg(QLatin1String(o.corta)) + nombres;
        if (o.valor)
            nombres += QLatin1Char(' ') + QLatin1String(o.valor);
        texto += Renglon(nombres, QLatin1String(o.ayuda));
    }
    return texto + QStringLiteral(
                       "\nnumbers are decimal, or hexadecimal after 0x; a leading zero is still "
                       "decimal\n(017 is 17)\n"
                       "\nexit status: 0 done, 1 usage or a value refused, 2 link failure, 3 bad "
                       "reply or\nrelay refused, 4 a file that cannot be read, is not a KV-73 "
                       "file, or cannot be\nwritten\n");
}

} // namespace

const Orden *Busca_Orden(std::span<const Orden> ordenes, const QString &nombre) {
    const auto orden = std::ranges::find_if(
        ordenes, [&nombre](const Orden &o) { return nombre == QLatin1String(o.nombre); });
    return orden == ordenes.end() ? nullptr : &*orden;
}

std::optional<int> Analiza_Linea_Comandos(const QStringList &argumentos,
                                          std::span<const Orden> ordenes, Opciones &op) {
    QCommandLineParser analizador;
    Prepara(analizador);
    if (!analizador.parse(argumentos))
        return Error_Uso(analizador.errorText());
    if (analizador.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(Ayuda(ordenes)), stdout);
        return 0;
    }
    if (analizador.isSet(QStringLiteral("version"))) {
        std::printf("kv73ctl %s\n", KV73_VERSION);
        return 0;
    }
    if (auto error = Toma_Opciones(analizador, op))
        return Error_Uso(*error);
    if (auto error = Toma_Orden(analizador.positionalArguments(), ordenes, op))
        return Error_Uso(*error);
    if (auto error = Revisa_Opciones_De_Orden(analizador, op))
        return Error_Uso(*error);
    if (op.comando == QLatin1String("events"))
        if (auto error = Revisa_Eventos(op))
            return Error_Uso(*error);
    if (op.comando == QLatin1String("serve")) {
        if (op.mqtt.isEmpty() && op.metricas.isEmpty())
            return Error_Uso(QStringLiteral("serve needs --mqtt URL or --metrics HOST:PORT"));
        // An agent polls once a second unless told otherwise.
        if (!analizador.isSet(QStringLiteral("interval")))
            op.intervalo_ms = 1000;
    }
    return std::nullopt;
}
