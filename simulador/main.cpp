// kv73-sim: a KV-73 relay on a pseudo-terminal, so that the program can be run,
// shown and tested without a relay on a serial line.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "comun/Version.h"
#include "simulador/Bus_Simulado.h"
#include "simulador/Modem_Simulado.h"
#include "simulador/Rele_Simulado.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSocketNotifier>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

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

struct Opciones {
    QString Enlace;
    std::vector<uint8_t> Direcciones{1};
    int Puerto_Tcp = -1; // --tcp: none
    speed_t Baudios = 9600;
    uint32_t Semilla = 1;
    Fallos Fallos_Pedidos;
    bool Tiempo_Linea = false;
    bool Con_Modem = false;
    bool Deriva = false;
    Opciones_Modem Modem;
};

[[noreturn]] void Sale_Con_Uso(const QString &motivo) {
    std::fprintf(stderr, "kv73-sim: %s\nkv73-sim --help lists the options.\n", qPrintable(motivo));
    std::exit(1);
}

// The options: these switches, and those that take a value.
const char *const Interruptores[] = {"silent",    "exception", "wrong-address",
                                     "wire-time", "modem",     "drift"};
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

// Reads the command line; a wrong option ends the process with status 1.
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
    const bool de_modem = Lee_Modem(l, o.Modem);
    if (o.Enlace.isEmpty() && o.Puerto_Tcp < 0)
        Sale_Con_Uso("--link PATH is required");
    if (o.Con_Modem && (o.Puerto_Tcp >= 0 || o.Direcciones.size() > 1))
        Sale_Con_Uso("--modem stands in front of one relay on the terminal: not with --tcp or "
                     "several addresses");
    if (de_modem && !o.Con_Modem)
        Sale_Con_Uso("the modem options need --modem");
    if (o.Tiempo_Linea && o.Con_Modem)
        Sale_Con_Uso("--wire-time is for a direct line, not behind --modem");
    return o;
}

[[noreturn]] void Falla(const char *que) {
    std::fprintf(stderr, "kv73-sim: %s: %s\n", que, std::strerror(errno));
    std::exit(1);
}

struct Terminal {
    int Maestro = -1;
    int Esclavo = -1; // held open so the master never sees a hang-up between clients
    QByteArray Nombre;
};

Terminal Abre_Terminal(speed_t baudios) {
    Terminal t;
    t.Maestro = posix_openpt(O_RDWR | O_NOCTTY);
    if (t.Maestro < 0 || grantpt(t.Maestro) != 0 || unlockpt(t.Maestro) != 0)
        Falla("pseudo-terminal");
    const char *nombre = ptsname(t.Maestro);
    if (!nombre)
        Falla("ptsname");
    t.Nombre = nombre;
    t.Esclavo = open(nombre, O_RDWR | O_NOCTTY);
    if (t.Esclavo < 0)
        Falla(nombre);
    // Raw, so that no byte of a frame is taken for a line-editing character.
    termios modo{};
    if (tcgetattr(t.Esclavo, &modo) != 0)
        Falla("tcgetattr");
    cfmakeraw(&modo);
    cfsetspeed(&modo, baudios);
    if (tcsetattr(t.Esclavo, TCSANOW, &modo) != 0)
        Falla("tcsetattr");
    fcntl(t.Maestro, F_SETFL, fcntl(t.Maestro, F_GETFL) | O_NONBLOCK);
    return t;
}

// A link left by a simulator that was killed is replaced; anything else at
// that path is not ours to delete.
void Crea_Enlace(const QByteArray &enlace, const QByteArray &destino) {
    struct stat info {};
    if (lstat(enlace.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            errno = EEXIST;
            Falla(enlace.constData());
        }
        unlink(enlace.constData());
    }
    if (symlink(destino.constData(), enlace.constData()) != 0)
        Falla(enlace.constData());
}

// Nobody reading the other end fills the terminal; what does not fit is lost,
// as on a line with no one listening.
void Escribe(int maestro, const QByteArray &b) {
    if (b.isEmpty())
        return;
    if (write(maestro, b.constData(), static_cast<size_t>(b.size())) < 0 && errno != EAGAIN)
        std::perror("kv73-sim: write");
}

int64_t Ahora_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Wakes the event loop at a moment of CLOCK_MONOTONIC to the microsecond: a
// reply held for the time of the line must not be late by the millisecond
// rounding of a QTimer.
class Despertador {
  public:
    Despertador() : fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
        if (fd_ < 0)
            Falla("timerfd");
        aviso_.emplace(fd_, QSocketNotifier::Read);
    }
    ~Despertador() {
        aviso_.reset();
        close(fd_);
    }
    Despertador(const Despertador &) = delete;
    Despertador &operator=(const Despertador &) = delete;

    template <typename F> void Al_Sonar(F funcion) {
        QObject::connect(&*aviso_, &QSocketNotifier::activated, [this, funcion] {
            uint64_t veces = 0;
            while (read(fd_, &veces, sizeof veces) > 0) {
            }
            funcion();
        });
    }
    // At `ns`; a moment already past rings at once.
    void Arma(int64_t ns) {
        itimerspec cuando{};
        const int64_t en = std::max<int64_t>(ns, 1);
        cuando.it_value.tv_sec = en / 1'000'000'000;
        cuando.it_value.tv_nsec = en % 1'000'000'000;
        timerfd_settime(fd_, TFD_TIMER_ABSTIME, &cuando, nullptr);
    }
    void Desarma() {
        const itimerspec nunca{};
        timerfd_settime(fd_, 0, &nunca, nullptr);
    }

  private:
    int fd_;
    std::optional<QSocketNotifier> aviso_;
};

void Borra_Enlace(const QByteArray &enlace, const QByteArray &destino) {
    char apunta[4096];
    const ssize_t n = readlink(enlace.constData(), apunta, sizeof apunta);
    if (n > 0 && QByteArray(apunta, n) == destino)
        unlink(enlace.constData());
}

// "address 1", or "addresses 1,5,17".
QByteArray Texto_Direcciones(const std::vector<uint8_t> &direcciones) {
    QStringList numeros;
    for (uint8_t d : direcciones)
        numeros << QString::number(d);
    return ((direcciones.size() == 1 ? QStringLiteral("relay at address ")
                                     : QStringLiteral("relays at addresses ")) +
            numeros.join(QLatin1Char(',')))
        .toLatin1();
}

// Where requests come from and replies go: the terminal, or a TCP client.
// Each cuts its own bytes into frames and has its own line.
struct Fuente {
    explicit Fuente(speed_t baudios) : linea(baudios) {
        silencio.setSingleShot(true);
        QObject::connect(&silencio, &QTimer::timeout, [this] { entramador.Descarta(); });
    }
    Entramador entramador;
    Linea_Serie linea;
    // Bytes of one request arrive together; a partial frame followed by a
    // silence is a frame that will never be completed.
    QTimer silencio;
    std::function<void(const QByteArray &)> escribe;
};

} // namespace

int main(int argc, char *argv[]) {
    // Blocked before anything else starts, so that SIGINT and SIGTERM reach
    // only the signalfd and the event loop can end cleanly.
    sigset_t senales;
    sigemptyset(&senales);
    sigaddset(&senales, SIGINT);
    sigaddset(&senales, SIGTERM);
    sigprocmask(SIG_BLOCK, &senales, nullptr);
    const int fd_senales = signalfd(-1, &senales, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_senales < 0)
        Falla("signalfd");

    // A --link that is not UTF-8 would come back from Qt's text as another
    // name: the link would be made where nobody asked for it.
    if (const char *palabra = Palabra_Sin_Nombre(argc, argv)) {
        std::fprintf(stderr, "kv73-sim: %s: not UTF-8; names are read as UTF-8\n", palabra);
        return 1;
    }
    QCoreApplication app(argc, argv);
    const Opciones opciones = Lee_Opciones(app.arguments());
    const bool con_terminal = !opciones.Enlace.isEmpty();
    Terminal terminal;
    const QByteArray enlace = QFile::encodeName(opciones.Enlace);
    if (con_terminal) {
        terminal = Abre_Terminal(opciones.Baudios);
        Crea_Enlace(enlace, terminal.Nombre);
    }

    // The listening socket is made before anything is announced, so that a
    // client may connect as soon as it reads where.
    QTcpServer servidor;
    if (opciones.Puerto_Tcp >= 0 &&
        !servidor.listen(QHostAddress::LocalHost, static_cast<quint16>(opciones.Puerto_Tcp))) {
        std::fprintf(stderr, "kv73-sim: cannot listen on 127.0.0.1:%d: %s\n", opciones.Puerto_Tcp,
                     qPrintable(servidor.errorString()));
        if (con_terminal)
            Borra_Enlace(enlace, terminal.Nombre);
        return 1;
    }
    const QByteArray quienes = Texto_Direcciones(opciones.Direcciones);
    if (servidor.isListening())
        std::printf("kv73-sim: %s on tcp://127.0.0.1:%d\n", quienes.constData(),
                    servidor.serverPort());
    if (con_terminal)
        std::printf("kv73-sim: %s on %s -> %s%s\n", quienes.constData(), enlace.constData(),
                    terminal.Nombre.constData(), opciones.Con_Modem ? " behind a modem" : "");
    std::fflush(stdout);

    Bus_Simulado bus(opciones.Direcciones, opciones.Fallos_Pedidos, opciones.Semilla);
    if (opciones.Deriva)
        for (std::size_t k = 0; k < bus.Cuantos(); ++k)
            bus.Rele(k).Activa_Deriva();

    QTimer deriva;
    QObject::connect(&deriva, &QTimer::timeout, [&] { bus.Avanza(Rele_Simulado::Paso_ms); });
    deriva.start(Rele_Simulado::Paso_ms);

    // Replies wait in one queue with their due times, so that a delayed or
    // split reply never overtakes, or is overtaken by, the next one.
    struct Envio {
        int64_t Vence_ns;
        QByteArray Bytes;
        Fuente *Destino;
    };
    std::deque<Envio> cola;
    QElapsedTimer reloj;
    reloj.start();
    // The kernel may otherwise wake the simulator up to 50 us late.
    if (opciones.Tiempo_Linea)
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    Despertador envios;
    auto arma_envios = [&] {
        if (cola.empty())
            envios.Desarma();
        else
            envios.Arma(cola.front().Vence_ns);
    };
    envios.Al_Sonar([&] {
        while (!cola.empty() && cola.front().Vence_ns <= Ahora_ns()) {
            cola.front().Destino->escribe(cola.front().Bytes);
            cola.pop_front();
        }
        arma_envios();
    });

    // Requests from either side go to the relays on the line; each reply goes
    // back where its request came from.
    auto atiende = [&](Fuente &fuente, const QByteArray &bytes) {
        fuente.entramador.Agrega(bytes);
        fuente.linea.Llegan(bytes.size(), Ahora_ns());
        // A reply is timed from the end of its request: now on a pseudo-
        // terminal, when the line has carried it with --wire-time.
        const int64_t fin_peticion = opciones.Tiempo_Linea ? fuente.linea.Libre_ns() : Ahora_ns();
        while (const auto peticion = fuente.entramador.Siguiente()) {
            std::vector<Trozo> trozos = bus.Responde_Por_Partes(*peticion);
            if (opciones.Tiempo_Linea)
                Anade_Tiempo_De_Linea(trozos, opciones.Baudios);
            for (const Trozo &t : trozos) {
                const int64_t desde =
                    cola.empty() ? fin_peticion : std::max(fin_peticion, cola.back().Vence_ns);
                cola.push_back(
                    {desde + int64_t{t.Retardo_ms} * 1'000'000 + t.Linea_ns, t.Bytes, &fuente});
            }
        }
        arma_envios();
        if (fuente.entramador.Pendientes() > 0)
            fuente.silencio.start(50);
    };

    Fuente del_terminal(opciones.Baudios);
    del_terminal.escribe = [&](const QByteArray &b) { Escribe(terminal.Maestro, b); };

    // Behind a modem every byte goes through the modem model, which keeps its
    // own time: one timer wakes it for the next thing it has pending.
    std::optional<Modem_Simulado> modem;
    if (opciones.Con_Modem)
        modem.emplace(bus.Rele(0), opciones.Modem);
    QTimer turno_modem;
    turno_modem.setSingleShot(true);
    turno_modem.setTimerType(Qt::PreciseTimer);
    auto arma_modem = [&] {
        if (const auto t = modem->Proximo_Evento_ms())
            turno_modem.start(static_cast<int>(std::max<qint64>(0, *t - reloj.elapsed())));
        else
            turno_modem.stop();
    };
    QObject::connect(&turno_modem, &QTimer::timeout, [&] {
        Escribe(terminal.Maestro, modem->Avanza(reloj.elapsed()));
        arma_modem();
    });

    // Closing a serial port drops DTR, and a modem hangs up on that. A pseudo-
    // terminal shows no DTR, but inotify sees the program close the device.
    const int fd_cierres = modem ? inotify_init1(IN_NONBLOCK | IN_CLOEXEC) : -1;
    if (modem && (fd_cierres < 0 || inotify_add_watch(fd_cierres, terminal.Nombre.constData(),
                                                      IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0))
        Falla("inotify");
    auto atiende_cierres = [&] {
        alignas(inotify_event) char eventos[4096];
        bool cerrado = false;
        while (read(fd_cierres, eventos, sizeof eventos) > 0)
            cerrado = true;
        if (cerrado)
            modem->Cae_DTR();
    };
    std::optional<QSocketNotifier> cierres;
    if (modem) {
        cierres.emplace(fd_cierres, QSocketNotifier::Read);
        QObject::connect(&*cierres, &QSocketNotifier::activated, [&] {
            atiende_cierres();
            arma_modem();
        });
    }

    std::optional<QSocketNotifier> lectura;
    if (con_terminal)
        lectura.emplace(terminal.Maestro, QSocketNotifier::Read);
    if (lectura)
        QObject::connect(&*lectura, &QSocketNotifier::activated, [&] {
            char buffer[512];
            ssize_t n;
            if (modem) {
                // A close seen before these bytes came first: the program reopened
                // its port and is talking to a modem that has hung up.
                atiende_cierres();
                while ((n = read(terminal.Maestro, buffer, sizeof buffer)) > 0)
                    Escribe(terminal.Maestro,
                            modem->Recibe(QByteArray(buffer, n), reloj.elapsed()));
                arma_modem();
                return;
            }
            QByteArray llegado;
            while ((n = read(terminal.Maestro, buffer, sizeof buffer)) > 0)
                llegado.append(buffer, n);
            if (!llegado.isEmpty())
                atiende(del_terminal, llegado);
        });

    // One client at a time, as a serial device server with one line: a new
    // connection takes the place of the last, whose replies still due are
    // dropped with it.
    Fuente de_red(opciones.Baudios);
    QPointer<QTcpSocket> cliente;
    de_red.escribe = [&](const QByteArray &b) {
        if (cliente && cliente->state() == QAbstractSocket::ConnectedState)
            cliente->write(b);
    };
    QObject::connect(&servidor, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *nuevo = servidor.nextPendingConnection()) {
            if (cliente)
                cliente->abort();
            cliente = nuevo;
            de_red.entramador.Descarta();
            std::printf("kv73-sim: client %s:%d connected\n",
                        qPrintable(nuevo->peerAddress().toString()), nuevo->peerPort());
            std::fflush(stdout);
            nuevo->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(nuevo, &QTcpSocket::disconnected, nuevo, &QObject::deleteLater);
            QObject::connect(nuevo, &QTcpSocket::readyRead, [&, nuevo] {
                const QByteArray llegado = nuevo->readAll();
                if (nuevo == cliente && !llegado.isEmpty())
                    atiende(de_red, llegado);
            });
        }
    });

    QSocketNotifier fin(fd_senales, QSocketNotifier::Read);
    QObject::connect(&fin, &QSocketNotifier::activated, [&] {
        signalfd_siginfo info;
        while (read(fd_senales, &info, sizeof info) > 0) {
        }
        app.quit();
    });

    app.exec();
    if (con_terminal) {
        Borra_Enlace(enlace, terminal.Nombre);
        close(terminal.Maestro);
        close(terminal.Esclavo);
    }
    close(fd_senales);
    if (fd_cierres >= 0)
        close(fd_cierres);
    return 0;
}
