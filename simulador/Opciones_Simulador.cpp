#include "simulador/Opciones_Simulador.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "comun/Version.h"

#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

const char *const Uso = R"(usage: kv73-sim --link PATH [options]
       kv73-sim --tcp PORT [--link PATH] [options]
       kv73-sim --help | --version

Simulates a KV-73 temperature relay answering Modbus RTU on a pseudo-terminal.
PATH becomes a symbolic link to the terminal's device; open it as a serial port.
The probe temperatures drift with wall time, one small step every 500 ms.
SIGINT or SIGTERM removes the link and ends the simulator. Numbers are
decimal, or hexadecimal after 0x (0x7F); a leading zero is still decimal
(017 is 17), as kv73 and kv73ctl read them.

  --link PATH            where to put the link to the terminal (required unless
                         --tcp is given)
  --address N            slave address, 1..254 (default 1); a list such as 1,5,17
                         puts a relay at each address on the line, each with its
                         own registers (an address given twice: two relays whose
                         replies collide)
  --tcp PORT             also serve the relays over TCP on 127.0.0.1:PORT, RTU
                         frames as a serial device server passes them, one
                         client at a time (a new one takes the place of the
                         last); PORT 0 takes a free port, printed at start
  --modbus-tcp           the --tcp port is a Modbus TCP gateway instead: each
                         Modbus TCP request goes onto the line as the RTU
                         request of its unit, each good reply comes back with
                         the request's transaction number (a damaged one, or
                         one from an address nobody asked, is dropped)
  --baud B               line speed set on the terminal, 1..4000000 (default 9600)
  --seed S               seed of the temperature drift and junk bytes, 0..4294967295
                         (default 1)
  --drift                the probes swing slowly (a 6-minute sine from 10 below
                         Low Fan to 10 above L2, with a little noise): the maxima
                         follow, L1, L2 and FAN light by the setpoints and a lamp
                         blinks for 3 s when it changes
  --silent               never answer
  --silent-after N       answer N requests (0..1000000), then never again
  --bad-crc-every N      spoil the CRC of every Nth reply, 1..1000000 (1: every reply)
  --split MS             send each reply in two halves MS (0..60000) milliseconds apart
  --junk N               append N (0..256) random bytes to each reply
  --exception            answer every request with exception 04
  --wrong-address        answer with address + 1 (and a good CRC)
  --delay MS             wait MS (0..60000) milliseconds before each reply
  --wire-time            time the line as a real one at --baud, 10 bits a byte:
                         the request's bytes go through one character time each
                         from when they are written (a pseudo-terminal delivers
                         them at once), then each reply waits for the 3.5-
                         character silence that ends the request and for its
                         own bytes; so a reply is out no sooner than it would be
                         complete on a real line
  --probe-fault K:CODE   probe K (1..4) reads fault code CODE (-11 shorted, 231 open);
                         may be given once per probe
  --ident3 V             third identification register, 0..0xFFFF (default 0x0073)
  -h, --help             show this text
  -v, --version          print the program's name and version

A Hayes-style telephone modem in front of the relay:
  --modem                answer as a modem: AT commands with echo off and verbal
                         replies; "ATDT<number>" connects after the dial delay,
                         then bytes pass to the relay until hang-up. A pseudo-
                         terminal has no DTR: "+++" between two guard times of
                         silence returns to commands, then "ATH" hangs up.
                         Closing the terminal also hangs up.
  --dial-delay MS        from the dial command to its result, 0..600000 (default 300)
  --escape-guard MS      silence before and after "+++", 1..60000 (default 200)
  --busy-number N        dialling N answers BUSY
  --silent-number N      dialling N never answers
  --connect-text TEXT    verbal connect result (default "CONNECT 9600")
                         Numbers are compared without blanks or dashes.
)";

[[noreturn]] void Sale_Con_Uso(const QString &motivo) {
    std::fprintf(stderr, "kv73-sim: %s\nkv73-sim --help lists the options.\n", qPrintable(motivo));
    std::exit(1);
}

// The options: these switches, and those that take a value.
const char *const Interruptores[] = {"silent", "exception", "wrong-address", "wire-time",
                                     "modem",  "drift",     "modbus-tcp"};
const char *const Con_Valor[] = {
    "link",         "address",     "baud",          "seed",         "silent-after", "bad-crc-every",
    "split",        "junk",        "delay",         "probe-fault",  "ident3",       "dial-delay",
    "escape-guard", "busy-number", "silent-number", "connect-text", "tcp"};

// Reads a command line that --help and --version did not end.
class Lector {
  public:
    explicit Lector(const QCommandLineParser &p) : p_(p) {}
    bool Dada(const char *nombre) const { return p_.isSet(QLatin1String(nombre)); }
    QString Valor(const char *nombre) const { return p_.value(QLatin1String(nombre)); }
    // A number in [minimo, maximo], as every program of the family reads one.
    long Numero(const char *nombre, long minimo, long maximo) const {
        const QString texto = Valor(nombre);
        const std::optional<qint64> numero = Lee_Entero(texto);
        const qint64 n = numero.value_or(0);
        if (!numero || n < minimo || n > maximo)
            Sale_Con_Uso(
                QStringLiteral("bad value for --%1: %2").arg(QLatin1String(nombre), texto));
        return static_cast<long>(n);
    }
    // A number the modem would dial; an empty one could never be matched.
    QByteArray Numero_Modem(const char *nombre) const {
        const QByteArray numero = Valor(nombre).toLatin1();
        if (Numero_Normalizado(numero).isEmpty())
            Sale_Con_Uso(
                QStringLiteral("--%1 needs a telephone number").arg(QLatin1String(nombre)));
        return numero;
    }

  private:
    const QCommandLineParser &p_;
};

// "1,5,17": each an address a relay can be set to.
std::vector<uint8_t> Lee_Direcciones(const QString &texto) {
    std::vector<uint8_t> direcciones;
    for (const QString &parte : texto.split(QLatin1Char(','))) {
        const std::optional<qint64> numero = Lee_Entero(parte);
        const qint64 n = numero.value_or(0);
        if (!numero || !Direccion_Valida(n))
            Sale_Con_Uso(QStringLiteral("bad value for --address: %1").arg(texto));
        direcciones.push_back(static_cast<uint8_t>(n));
    }
    return direcciones;
}

void Lee_Sondas(const QStringList &valores, Fallos &f) {
    for (const QString &valor : valores) {
        const QStringList partes = valor.split(':');
        const auto k = partes.size() == 2 ? Lee_Entero(partes[0]) : std::nullopt;
        const auto codigo = partes.size() == 2 ? Lee_Entero(partes[1]) : std::nullopt;
        if (!k || !codigo || *k < 1 || *k > 4 || (*codigo != Codigo_Fcc && *codigo != Codigo_Fco))
            Sale_Con_Uso("--probe-fault takes K:CODE with K 1..4 and CODE -11 or 231");
        f.Fallo_Sonda[static_cast<std::size_t>(*k - 1)] = static_cast<int16_t>(*codigo);
    }
}

void Lee_Fallos(const Lector &l, Fallos &f) {
    f.Silencioso = l.Dada("silent");
    f.Excepcion = l.Dada("exception");
    f.Otra_Direccion = l.Dada("wrong-address");
    if (l.Dada("silent-after"))
        f.Silencio_Tras = static_cast<int>(l.Numero("silent-after", 0, 1000000));
    if (l.Dada("bad-crc-every"))
        f.CRC_Malo_Cada = static_cast<int>(l.Numero("bad-crc-every", 1, 1000000));
    if (l.Dada("split"))
        f.Partir_ms = static_cast<int>(l.Numero("split", 0, 60000));
    if (l.Dada("junk"))
        f.Basura = static_cast<int>(l.Numero("junk", 0, 256));
    if (l.Dada("delay"))
        f.Retardo_ms = static_cast<int>(l.Numero("delay", 0, 60000));
    if (l.Dada("ident3"))
        f.Identificacion_3 = static_cast<uint16_t>(l.Numero("ident3", 0, 0xFFFF));
}

// The modem's options; false when none was given.
bool Lee_Modem(const Lector &l, Opciones_Modem &m) {
    if (l.Dada("dial-delay"))
        m.Retardo_Marcado_ms = static_cast<int>(l.Numero("dial-delay", 0, 600000));
    if (l.Dada("escape-guard"))
        m.Guarda_Escape_ms = static_cast<int>(l.Numero("escape-guard", 1, 60000));
    if (l.Dada("busy-number"))
        m.Numero_Ocupado = l.Numero_Modem("busy-number");
    if (l.Dada("silent-number"))
        m.Numero_Mudo = l.Numero_Modem("silent-number");
    if (l.Dada("connect-text"))
        m.Texto_Conexion = l.Valor("connect-text").toLatin1();
    return l.Dada("dial-delay") || l.Dada("escape-guard") || l.Dada("busy-number") ||
           l.Dada("silent-number") || l.Dada("connect-text");
}

} // namespace

Opciones Lee_Opciones(const QStringList &argumentos) {
    QCommandLineParser p;
    p.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    p.addOption({{QStringLiteral("v"), QStringLiteral("version")}, QString()});
    for (const char *nombre : Interruptores)
        p.addOption({QLatin1String(nombre), QString()});
    for (const char *nombre : Con_Valor)
        p.addOption({QLatin1String(nombre), QString(), QStringLiteral("value")});
    if (!p.parse(argumentos))
        Sale_Con_Uso(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(Uso, stdout);
        std::exit(0);
    }
    if (p.isSet(QStringLiteral("version"))) {
        std::printf("kv73-sim %s\n", KV73_VERSION);
        std::exit(0);
    }
    if (!p.positionalArguments().isEmpty())
        Sale_Con_Uso("unexpected argument: " + p.positionalArguments().first());
    const Lector l(p);
    Opciones o;
    o.Enlace = l.Valor("link");
    if (l.Dada("address"))
        o.Direcciones = Lee_Direcciones(l.Valor("address"));
    if (l.Dada("tcp"))
        o.Puerto_Tcp = static_cast<int>(l.Numero("tcp", 0, 65535));
    if (l.Dada("baud")) {
        // glibc takes the rate itself as well as the B constants.
        o.Baudios = static_cast<speed_t>(l.Numero("baud", 1, 4000000));
        termios prueba{};
        if (cfsetspeed(&prueba, o.Baudios) != 0)
            Sale_Con_Uso("unsupported baud rate");
    }
    if (l.Dada("seed"))
        o.Semilla = static_cast<uint32_t>(l.Numero("seed", 0, 0xFFFFFFFFL));
    Lee_Fallos(l, o.Fallos_Pedidos);
    Lee_Sondas(p.values(QStringLiteral("probe-fault")), o.Fallos_Pedidos);
    o.Tiempo_Linea = l.Dada("wire-time");
    o.Con_Modem = l.Dada("modem");
    o.Deriva = l.Dada("drift");
    o.Modbus_Tcp = l.Dada("modbus-tcp");
    const bool de_modem = Lee_Modem(l, o.Modem);
    if (o.Enlace.isEmpty() && o.Puerto_Tcp < 0)
        Sale_Con_Uso("--link PATH is required");
    if (o.Con_Modem && (o.Puerto_Tcp >= 0 || o.Direcciones.size() > 1))
        Sale_Con_Uso("--modem stands in front of one relay on the terminal: not with --tcp or "
                     "several addresses");
    if (o.Modbus_Tcp && o.Puerto_Tcp < 0)
        Sale_Con_Uso("--modbus-tcp is what the --tcp port speaks: give --tcp PORT");
    if (de_modem && !o.Con_Modem)
        Sale_Con_Uso("the modem options need --modem");
    if (o.Tiempo_Linea && o.Con_Modem)
        Sale_Con_Uso("--wire-time is for a direct line, not behind --modem");
    return o;
}
