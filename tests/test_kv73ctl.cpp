// kv73ctl end to end against kv73-sim on a pseudo-terminal, and its judgement of
// a transaction in-process on the in-memory port.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Version.h"
#include "kv73ctl/Comandos.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Pty.h"
#include "tests/soporte/Simulador.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace {

// A fast tick so that the five-tick timeout takes a tenth of a second.
const QStringList Tick_Rapido = {QStringLiteral("KV73_TICK_MS=20")};

Salida_Programa Ctl(const Simulador &sim, QStringList argumentos) {
    return Ejecuta(QStringLiteral(KV73CTL),
                   QStringList{QStringLiteral("--device"), sim.Enlace()} + argumentos, Tick_Rapido);
}

QJsonObject Json(const QString &linea) {
    return QJsonDocument::fromJson(linea.toUtf8()).object();
}

// What the simulator holds from the start: its setpoint block 90, 110, 60, 75,
// 0x000B (four probes, a fan, weekly activation), 0; with the default seed its
// probes start at 64.5, 73.9, 72.4 and 76.8 °C and stay within two degrees of that
// for the first half minute. Probes 2 and 4 are broken here (shorted, open), which
// leaves the fan probes 1 and 3 far from the 75 °C that would start the fan:
// every lamp is known.
const QStringList Sondas_Rotas = {QStringLiteral("--probe-fault"), QStringLiteral("2:-11"),
                                  QStringLiteral("--probe-fault"), QStringLiteral("4:231")};

void Compara_Valores(const QJsonObject &v) {
    const QJsonArray t = v[QStringLiteral("temperatures")].toArray();
    const QJsonArray m = v[QStringLiteral("maxima")].toArray();
    ASSERT_EQ(t.size(), 4);
    ASSERT_EQ(m.size(), 4);
    EXPECT_NEAR(t[0].toString().toInt(), 65, 2);
    EXPECT_EQ(t[1].toString(), QStringLiteral("Fcc"));
    EXPECT_NEAR(t[2].toString().toInt(), 72, 2);
    EXPECT_EQ(t[3].toString(), QStringLiteral("Fco"));
    EXPECT_GE(m[0].toInt(), t[0].toString().toInt());
    EXPECT_LE(m[0].toInt(), 67);
    EXPECT_EQ(m[1].toInt(), 0xFFF5) << "the shorted code as an unsigned word, as the page shows it";
    EXPECT_GE(m[2].toInt(), t[2].toString().toInt());
    EXPECT_LE(m[2].toInt(), 74);
    EXPECT_EQ(m[3].toInt(), 231);
    const QJsonObject luces = {{QStringLiteral("Pt1"), QStringLiteral("on")},
                               {QStringLiteral("Pt2"), QStringLiteral("on")},
                               {QStringLiteral("Pt3"), QStringLiteral("on")},
                               {QStringLiteral("Pt4"), QStringLiteral("on")},
                               {QStringLiteral("Fault"), QStringLiteral("blink")},
                               {QStringLiteral("L2"), QStringLiteral("off")},
                               {QStringLiteral("L1"), QStringLiteral("off")},
                               {QStringLiteral("FAN"), QStringLiteral("off")},
                               {QStringLiteral("Prog"), QStringLiteral("off")},
                               {QStringLiteral("Tmax"), QStringLiteral("off")},
                               {QStringLiteral("Aut"), QStringLiteral("on")}};
    EXPECT_EQ(v[QStringLiteral("lamps")].toObject(), luces);
}

} // namespace

TEST(Kv73ctl, PrintsWhatTheSimulatedRelayHolds) {
    Simulador sim(Sondas_Rotas);
    ASSERT_TRUE(sim.Listo());

    auto r = Ctl(sim, {QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(r.salida.toStdString(), "register 0x0000: 0x0002\nregister 0x0001: 0x0001\n"
                                      "register 0x0002: 0x0073\naccepted: a KV-73 relay\n");
    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("ident")});
    EXPECT_EQ(Json(r.salida), (QJsonObject{{QStringLiteral("registers"), QJsonArray{2, 1, 0x73}},
                                           {QStringLiteral("accepted"), true}}));

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("setpoints")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_EQ(Json(r.salida), (QJsonObject{{QStringLiteral("L1"), 90},
                                           {QStringLiteral("L2"), 110},
                                           {QStringLiteral("low_fan"), 60},
                                           {QStringLiteral("high_fan"), 75},
                                           {QStringLiteral("options"), 0x0B},
                                           {QStringLiteral("rtd_quantity"), 4},
                                           {QStringLiteral("fan_presence"), true},
                                           {QStringLiteral("fan_command_probes"), 3},
                                           {QStringLiteral("weekly_fan_activation"), true},
                                           {QStringLiteral("register_0105"), 0}}))
        << r.salida.toStdString();
    r = Ctl(sim, {QStringLiteral("setpoints")});
    EXPECT_TRUE(
        r.salida.startsWith(QStringLiteral("L1 alarm temperature (register 0x0100): 90 °C\n")))
        << r.salida.toStdString();

    r = Ctl(sim, {QStringLiteral("--json"), QStringLiteral("watch"), QStringLiteral("--interval"),
                  QStringLiteral("50"), QStringLiteral("--count"), QStringLiteral("3")});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    const QStringList lineas = r.salida.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lineas.size(), 3);
    for (const QString &linea : lineas) {
        SCOPED_TRACE(linea.toStdString());
        Compara_Valores(Json(linea));
        EXPECT_GT(Json(linea)[QStringLiteral("latency_us")].toInteger(), 0);
    }
    r = Ctl(sim, {QStringLiteral("values")});
    EXPECT_TRUE(r.salida.contains(QStringLiteral("Pt2 Fcc (max 65525)  Pt3 ")))
        << r.salida.toStdString();

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
        {L("--address 255 values"), "--address 255: "},
        {L("--address 1,255 values"), "--address 1,255: "},
        {L("scan --last 255"), "--last 255: "},
        {L("--address 0x0 send x.KV73"), "--address 0x0: "},
        {L("--address 0o17 values"), "--address 0o17: "},
        {L("--baud 19200 values"), "--baud 19200: "},
        {L("--baud 9601 values"), "--baud 9601: "},
        {L("--port 0 values"), "--port 0: "},
        {L("watch --interval 0"), "--interval 0: "},
        {L("watch --count -1"), "--count -1: "},
        {L("--address=255 values"), "--address 255: "},
        {L("values --count 3"), "--count is for watch and log only"},
        {L("values --pdf x.pdf"), "--pdf is for report only"},
        {L("report"), "report needs --pdf"},
        {L("--speed 9600 values"), "speed"},
        {L("values --bogus"), "bogus"},
        {L("values --json=yes"), "--json"},
        {L("values --address"), "--address"},
        // Empty, they would leave the default port or a direct link in place.
        {{QStringLiteral("--device"), QString(), QStringLiteral("values")}, "--device"},
        {{QStringLiteral("--modem"), QString(), QStringLiteral("ident")}, "--modem"},
        {{QStringLiteral("--modem"), QStringLiteral("  "), QStringLiteral("ident")}, "--modem"},
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
    // Options before or after the command, `--opt value` or `--opt=value`: once
    // the line is read, the missing device is what fails.
    EXPECT_EQ(con(L("--address 247 --baud=1200 values")).estado, 2);
    EXPECT_EQ(con(L("values --address=5 --json")).estado, 2);
}

// Each number is checked against the range its --help line gives: both ends
// pass, one beyond either end is refused.
TEST(Kv73ctl, NumbersAreCheckedAsTheHelpSays) {
    const QString ctl = QStringLiteral(KV73CTL);
    const QStringList ayuda =
        Ejecuta(ctl, {QStringLiteral("--help")}).salida.split(u'\n', Qt::SkipEmptyParts);
    // An option's entry in the help: its line and the lines that carry it on.
    const auto entrada = [&ayuda](const char *opcion) {
        qsizetype i =
            ayuda.indexOf(QRegularExpression(QStringLiteral("  %1 .*").arg(QLatin1String(opcion))));
        QString texto = i >= 0 ? ayuda[i] : QString();
        while (i >= 0 && ++i < ayuda.size() && ayuda[i].startsWith(QStringLiteral("     ")))
            texto += ayuda[i];
        return texto;
    };
    const struct {
        const char *opcion, *comando;
        long long minimo, maximo;
    } numeros[] = {{"--port", "values", 1, 255},           {"--address", "values", 1, 254},
                   {"--first", "scan --last=254", 1, 254}, {"--last", "scan", 1, 254},
                   {"--interval", "watch", 1, 3600000},    {"--count", "watch", 1, 1000000000}};
    for (const auto &n : numeros) {
        SCOPED_TRACE(n.opcion);
        const QString rango = QStringLiteral("%1..%2").arg(n.minimo).arg(n.maximo);
        EXPECT_TRUE(entrada(n.opcion).contains(rango)) << entrada(n.opcion).toStdString();
        for (const long long v : {n.minimo - 1, n.minimo, n.maximo, n.maximo + 1}) {
            const auto r = Ejecuta(
                ctl, QStringList{QStringLiteral("--device"), QStringLiteral("/nonexistent")} +
                         QString::fromLatin1(n.comando).split(u' ') +
                         QStringList{QLatin1String(n.opcion) + u'=' + QString::number(v)});
            EXPECT_EQ(r.estado, v < n.minimo || v > n.maximo ? 1 : 2)
                << v << ": " << r.errores.toStdString();
        }
    }
}

// 017 is 17 and 0x11 is 17 for kv73ctl and kv73-sim alike: a leading zero
// never makes another relay's address (octal 15) of it. 248 to 254 are the
// relay's own addresses beyond plain Modbus, and both programs take them.
TEST(Kv73ctl, NumbersMeanTheSameRelayAsInTheSimulator) {
    Simulador sim({QStringLiteral("--address"), QStringLiteral("017,0xFE")});
    ASSERT_TRUE(sim.Listo());
    for (const char *direccion : {"17", "017", "0x11", "254", "0xfe"}) {
        const auto r = Ctl(
            sim, {QStringLiteral("--address"), QLatin1String(direccion), QStringLiteral("ident")});
        EXPECT_EQ(r.estado, 0) << direccion << ": " << r.errores.toStdString();
    }
    for (const auto &[primera, ultima, hallada] :
         {std::tuple{"0x10", "018", "address 17: "}, std::tuple{"252", "0xFE", "address 254: "}}) {
        const auto r =
            Ctl(sim, {QStringLiteral("scan"), QStringLiteral("--first"), QLatin1String(primera),
                      QStringLiteral("--last"), QLatin1String(ultima),
                      QStringLiteral("--timeout-ms"), QStringLiteral("050")});
        EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
        EXPECT_EQ(r.salida.count(QStringLiteral(": a KV-73 relay")), 1) << r.salida.toStdString();
        EXPECT_TRUE(r.salida.startsWith(QLatin1String(hallada))) << r.salida.toStdString();
    }
}

// A name that is not UTF-8 (café in Latin-1) cannot be opened as given: Qt
// would name another file, one that a second such name would share. It is
// refused in its own bytes before anything is done; a UTF-8 name is opened and
// printed back as it was given.
TEST(Kv73ctl, NamesThatAreNotUtf8AreRefusedAsGiven) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::copy(QStringLiteral(KV73_VECTORS "/sample.KV73"),
                            dir.filePath(QStringLiteral("muestra.KV73"))));
    // The shell makes the bytes: a QProcess argument is text, and would be UTF-8.
    // $0 the tool, $1 the folder, $2 the relay; "$n" the Latin-1 name there.
    const auto con_nombre = [&](const char *palabras) {
        return Ejecuta(QStringLiteral("/bin/sh"),
                       {QStringLiteral("-c"),
                        QStringLiteral("cd \"$1\" && n=$(printf 'caf\\351') && cp muestra.KV73 "
                                       "\"$n.KV73\" && exec \"$0\" --device \"$2\" ") +
                            QLatin1String(palabras),
                        QStringLiteral(KV73CTL), dir.path(), sim.Enlace()},
                       Tick_Rapido);
    };
    // What the folder holds, in the system's bytes: Qt leaves out a name it
    // cannot read as UTF-8.
    const auto nombres = [&dir] {
        std::vector<std::string> n;
        DIR *carpeta = ::opendir(QFile::encodeName(dir.path()).constData());
        while (const dirent *e = carpeta ? ::readdir(carpeta) : nullptr)
            if (e->d_name[0] != '.')
                n.emplace_back(e->d_name);
        if (carpeta)
            ::closedir(carpeta);
        std::ranges::sort(n);
        return n;
    };
    for (const char *palabras :
         {"save \"$n.KV73\"", "show \"$n.KV73\"", "send \"$n.KV73\"",
          "log --count 1 --csv \"$n.csv\"", "report muestra.KV73 --pdf \"$n.pdf\""}) {
        SCOPED_TRACE(palabras);
        const auto r = con_nombre(palabras);
        EXPECT_EQ(r.estado, 1) << r.errores.toStdString();
        EXPECT_TRUE(r.errores.startsWith(QStringLiteral("kv73ctl: caf\uFFFD.")) &&
                    r.errores.contains(QStringLiteral(": not UTF-8;")))
            << r.errores.toStdString();
        EXPECT_TRUE(r.salida.isEmpty()) << r.salida.toStdString();
        // The sample and its Latin-1 copy, nothing under a name of U+FFFD.
        EXPECT_EQ(nombres(), (std::vector<std::string>{"caf\xE9.KV73", "muestra.KV73"}));
    }
    // Qt cannot name it to take it away.
    ::unlink((QFile::encodeName(dir.path()) + "/caf\xE9.KV73").constData());

    const QString cafe = QStringLiteral("caf\u00E9.KV73");
    auto r = Ctl(sim, {QStringLiteral("save"), dir.filePath(cafe)});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    r = Ejecuta(QStringLiteral(KV73CTL), {QStringLiteral("show"), dir.filePath(cafe)});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.startsWith(QStringLiteral("file: ") + dir.filePath(cafe) + u'\n'))
        << r.salida.toStdString();
}

// -h and -v answer as --help and --version do; the help lists every command,
// and only the commands, from the table the tool runs them from.
TEST(Kv73ctl, HelpAndVersion) {
    const QString ctl = QStringLiteral(KV73CTL);
    for (const char *version : {"-v", "--version"}) {
        const auto r = Ejecuta(ctl, {QLatin1String(version)});
        EXPECT_EQ(r.estado, 0);
        EXPECT_EQ(r.salida.toStdString(), "kv73ctl " KV73_VERSION "\n");
    }
    const auto ayuda = Ejecuta(ctl, {QStringLiteral("--help")});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_TRUE(ayuda.salida.startsWith(QStringLiteral("usage: kv73ctl")));
    EXPECT_EQ(Ejecuta(ctl, {QStringLiteral("values"), QStringLiteral("-h")}).salida, ayuda.salida);
    QStringList listados;
    const QString comandos = ayuda.salida.section(QStringLiteral("commands:\n"), 1)
                                 .section(QStringLiteral("\noptions:\n"), 0, 0);
    for (const QString &linea : comandos.split(u'\n', Qt::SkipEmptyParts))
        if (!linea.startsWith(QStringLiteral("   ")))
            listados << linea.trimmed().section(u' ', 0, 0);
    EXPECT_EQ(
        listados.join(u' ').toStdString(),
        "ident setpoints values watch log reset-max save show send set report events ports scan "
        "serve");
    // No line runs past the 79th column.
    for (const QString &linea : ayuda.salida.split(u'\n'))
        EXPECT_LE(linea.size(), 79) << linea.toStdString();
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
    // A busy number ends the dial-up at the modem's word: no identification
    // read waits its five seconds on a line that never connected.
    QElapsedTimer reloj;
    reloj.start();
    r = Ctl(sim, {QStringLiteral("--modem"), QStringLiteral("999"), QStringLiteral("ident")});
    EXPECT_EQ(r.estado, 2);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("Modem Not Response")))
        << r.errores.toStdString();
    EXPECT_LT(reloj.elapsed(), 4000) << "the failed dial was taken for a connection";
}

// The ports of the computer and the device of each COM number, read from the
// settings the program's "Port devices" dialog writes; --port goes the same way.
TEST(Kv73ctl, PortsListsTheDevicesTheComNumbersOpen) {
    Pty pty;
    QTemporaryDir configuracion;
    const QString falta = configuracion.filePath(QStringLiteral("ttyUSB9"));
    QSettings(configuracion.filePath(QStringLiteral("KV-73/kv73.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("Puertos/COM2"), falta);
    for (const char *variable : {"KV73_COM1", "KV73_COM2", "KV73_COM3", "KV73_COM4"})
        qunsetenv(variable);
    const QStringList entorno = {QStringLiteral("XDG_CONFIG_HOME=") + configuracion.path(),
                                 QStringLiteral("KV73_COM3=") + pty.Esclavo()};
    const QString ctl = QStringLiteral(KV73CTL);

    auto r = Ejecuta(ctl, {QStringLiteral("--json"), QStringLiteral("ports")}, entorno);
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    const QJsonObject todo = Json(r.salida);
    const auto m = [](int com, const QString &dispositivo, const char *origen) {
        return QJsonObject{{QStringLiteral("com"), com},
                           {QStringLiteral("device"), dispositivo},
                           {QStringLiteral("source"), QLatin1String(origen)}};
    };
    EXPECT_EQ(todo[QStringLiteral("mapping")].toArray(),
              (QJsonArray{m(1, QStringLiteral("/dev/ttyS0"), "default"), m(2, falta, "assigned"),
                          m(3, pty.Esclavo(), "KV73_COM3"),
                          m(4, QStringLiteral("/dev/ttyS3"), "default")}))
        << r.salida.toStdString();
    const QJsonObject terminal{{QStringLiteral("device"), pty.Esclavo()},
                               {QStringLiteral("description"), QString()},
                               {QStringLiteral("manufacturer"), QString()},
                               {QStringLiteral("serial_number"), QString()},
                               {QStringLiteral("access"), true},
                               {QStringLiteral("network"), false},
                               {QStringLiteral("com"), QJsonArray{3}}};
    const QJsonArray puertos = todo[QStringLiteral("ports")].toArray();
    EXPECT_TRUE(puertos.contains(terminal)) << r.salida.toStdString();
    for (const auto &p : puertos)
        EXPECT_NE(p.toObject()[QStringLiteral("device")].toString(), falta)
            << "a missing device is no port";

    r = Ejecuta(ctl, {QStringLiteral("ports")}, entorno);
    EXPECT_EQ(r.estado, 0);
    const QStringList lineas = r.salida.split(u'\n');
    EXPECT_TRUE(std::any_of(lineas.begin(), lineas.end(), [&](const QString &l) {
        return l.startsWith(pty.Esclavo()) && l.simplified().endsWith(QStringLiteral("yes COM3"));
    })) << r.salida.toStdString();
    EXPECT_TRUE(lineas.contains(QStringLiteral("COM2: ") + falta + QStringLiteral(" (assigned)")));

    r = Ejecuta(ctl, {QStringLiteral("--port"), QStringLiteral("2"), QStringLiteral("ident")},
                entorno);
    EXPECT_EQ(r.estado, 2);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("no such device: ") + falta))
        << r.errores.toStdString();
}

namespace {

// kv73ctl running in the background with the fast tick, its output read as it comes.
struct Ctl_En_Curso : QProcess {
    explicit Ctl_En_Curso(const QStringList &argumentos) {
        auto variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("KV73_TICK_MS"), QStringLiteral("20"));
        setProcessEnvironment(variables);
        start(QStringLiteral(KV73CTL), argumentos);
    }
    ~Ctl_En_Curso() override {
        if (state() != QProcess::NotRunning) {
            kill();
            waitForFinished();
        }
    }
    QStringList lineas;
    // Takes what has been printed; false when `n` lines are not there within `ms`.
    bool Espera_Lineas(qsizetype n, int ms) {
        QElapsedTimer reloj;
        reloj.start();
        for (;;) {
            while (canReadLine())
                lineas << QString::fromUtf8(readLine()).trimmed();
            if (lineas.size() >= n || reloj.elapsed() >= ms || state() == QProcess::NotRunning)
                return lineas.size() >= n;
            waitForReadyRead(static_cast<int>(ms - reloj.elapsed()));
        }
    }
};

} // namespace

// The relay vanishes under a watch: the watch ends at the next poll with the
// link-failure message and status 2, and never prints the last values again as
// if they had just come.
TEST(Kv73ctl, WatchEndsWhenTheDeviceGoesAway) {
    auto sim = std::make_unique<Simulador>();
    ASSERT_TRUE(sim->Listo());
    Ctl_En_Curso ctl({QStringLiteral("--device"), sim->Enlace(), QStringLiteral("--json"),
                      QStringLiteral("watch"), QStringLiteral("--interval"),
                      QStringLiteral("200")});
    ASSERT_TRUE(ctl.Espera_Lineas(3, 10000)) << ctl.readAllStandardError().toStdString();
    const qsizetype antes = ctl.lineas.size();
    QElapsedTimer reloj;
    reloj.start();
    sim.reset(); // the simulator ends and its terminal goes with it
    const qint64 muerte_ms = reloj.elapsed();
    ASSERT_TRUE(ctl.waitForFinished(5000)) << "the watch goes on without its relay";
    EXPECT_LT(reloj.elapsed(), 3000);
    ctl.Espera_Lineas(0, 0);
    EXPECT_EQ(ctl.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ctl.exitCode(), 2);
    EXPECT_EQ(QString::fromUtf8(ctl.readAllStandardError()).trimmed().toStdString(),
              "Relay Not Response");
    // Lines still in the pipe, a poll the relay answered while it was going,
    // and last the poll that failed: its status, without values.
    EXPECT_LE(ctl.lineas.size() - antes, 3 + muerte_ms / 200)
        << ctl.lineas.join(u'\n').toStdString();
    ASSERT_FALSE(ctl.lineas.isEmpty());
    const QJsonObject ultima = Json(ctl.lineas.takeLast());
    EXPECT_EQ(ultima[QStringLiteral("status")].toString(), QStringLiteral("no reply"));
    EXPECT_FALSE(ultima.contains(QStringLiteral("temperatures")));
    for (const QString &linea : ctl.lineas) {
        SCOPED_TRACE(linea.toStdString());
        EXPECT_EQ(Json(linea)[QStringLiteral("status")].toString(), QStringLiteral("ok"));
        EXPECT_EQ(Json(linea)[QStringLiteral("temperatures")].toArray().size(), 4);
        EXPECT_GT(Json(linea)[QStringLiteral("latency_us")].toInteger(), 0);
    }
}

// The device goes away once a request is out, whether a read or a command: the
// exchange gives up at its timeout and the command ends as with a silent relay.
// (kv73ctl sends its first request right after the open, with no event between,
// so a device lost "between the open and the read" is always this case.)
TEST(Kv73ctl, ADeviceLostDuringATransactionEndsTheCommand) {
    for (const char *comando : {"values", "reset-max"}) {
        SCOPED_TRACE(comando);
        Pty linea;
        Ctl_En_Curso ctl({QStringLiteral("--device"), linea.Esclavo(), QLatin1String(comando)});
        EXPECT_EQ(linea.Lee(8, 10000).size(), 8);
        linea.Cierra();
        ASSERT_TRUE(ctl.waitForFinished(5000));
        EXPECT_EQ(ctl.exitCode(), 2);
        EXPECT_EQ(QString::fromUtf8(ctl.readAllStandardError()).trimmed().toStdString(),
                  "Relay Not Response");
        EXPECT_TRUE(ctl.readAllStandardOutput().isEmpty());
    }
}

class Kv73ctl_Transaccion : public Banco {};

// A port that is gone when a transaction starts, lost with its device or closed,
// sends nothing; the core lets that pass in silence for the desktop page's sake,
// but for kv73ctl it is the link failing: "Relay Not Response" once, status 2,
// and nothing to print.
TEST_F(Kv73ctl_Transaccion, APortGoneBeforeTheTransactionIsALinkFailure) {
    const std::vector<std::pair<const char *, std::function<Resultado()>>> transacciones = {
        {"identification", [this] { return Lee_Identificacion(Estado.Direccion_Rele); }},
        {"setpoint read", [this] { return Lee_Setpoints(Estado.Direccion_Rele); }},
        {"poll", [this] { return Lee_Valores_Actuales(Estado.Direccion_Rele); }},
        {"write", [this] { return Escribe_Setpoints(Estado.Direccion_Rele); }},
        {"command",
         [this] {
             int32_t comando = 16;
             return Ejecuta_Comando(Estado.Direccion_Rele, comando);
         }},
    };
    for (const bool perdido : {true, false})
        for (const auto &[nombre, transaccion] : transacciones) {
            SCOPED_TRACE(std::string(nombre) + (perdido ? ", port lost" : ", port closed"));
            Reinicia_Estado();
            Enlace_Arriba();
            if (perdido)
                puerto->Desaparece();
            else
                puerto->Set_PortOpen(false);
            puerto->escrituras.clear();
            operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
            const uint32_t fallos = enlace->Cuentas().Fallos_Enlace;
            const Desenlace d = Transaccion(*enlace, transaccion);
            EXPECT_EQ(d, Desenlace::Sin_Respuesta);
            EXPECT_EQ(Salida_Lectura(d, nombre), 2);
            EXPECT_EQ(enlace->Cuentas().Fallos_Enlace - fallos, 1u);
            EXPECT_TRUE(puerto->escrituras.empty());
        }
}

// --trace puts every frame on stderr as it goes, and changes nothing else.
TEST(Kv73ctl, TracePrintsEveryFrameOnStderr) {
    const auto lineas = [](const QString &texto) {
        QStringList r;
        for (const QString &l : texto.split(u'\n', Qt::SkipEmptyParts))
            r << l.section(u' ', 1, -1, QString::SectionSkipEmpty);
        return r;
    };
    const auto tiempos_crecen = [](const QString &texto) {
        qint64 antes = -1;
        for (const QString &l : texto.split(u'\n', Qt::SkipEmptyParts)) {
            bool ok = false;
            const qint64 ms = l.section(u' ', 0, 0, QString::SectionSkipEmpty).toLongLong(&ok);
            if (!ok || ms < antes)
                return false;
            antes = ms;
        }
        return true;
    };
    {
        Simulador sim(Sondas_Rotas);
        ASSERT_TRUE(sim.Listo());
        const auto r = Ctl(sim, {QStringLiteral("values"), QStringLiteral("--trace")});
        EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
        EXPECT_TRUE(r.salida.startsWith(QStringLiteral("Pt1 "))) << r.salida.toStdString();
        const QStringList t = lineas(r.errores);
        ASSERT_EQ(t.size(), 3) << r.errores.toStdString();
        EXPECT_EQ(t[0], QStringLiteral("- port open 9600,N,8,1"));
        EXPECT_EQ(t[1], QStringLiteral("> 01 04 02 00 00 0E 70 76  read input 0x0200 x14"));
        EXPECT_TRUE(t[2].startsWith(QStringLiteral("< 01 04 1C ")));
        EXPECT_TRUE(t[2].endsWith(QStringLiteral("  reply 28 bytes CRC ok")));
        EXPECT_TRUE(tiempos_crecen(r.errores)) << r.errores.toStdString();

        const auto sin = Ctl(sim, {QStringLiteral("values")});
        EXPECT_TRUE(sin.errores.isEmpty()) << sin.errores.toStdString();
    }
    {
        Simulador silencioso({QStringLiteral("--silent")});
        const auto r = Ctl(silencioso, {QStringLiteral("--trace"), QStringLiteral("ident")});
        EXPECT_EQ(r.estado, 2);
        const QStringList t = lineas(r.errores);
        EXPECT_EQ(t.count(QStringLiteral("> 01 04 00 00 00 03 B0 0B  read input 0x0000 x3")), 4);
        EXPECT_EQ(t.count(QStringLiteral("< no reply")), 4);
        EXPECT_TRUE(t.contains(QStringLiteral("> 00  link failure")));
        EXPECT_TRUE(r.errores.contains(QStringLiteral("\nRelay Not Response\n")))
            << "the core's own message, between the lines of the trace";
    }
    {
        Simulador modem(
            {QStringLiteral("--modem"), QStringLiteral("--dial-delay"), QStringLiteral("20")});
        const auto r = Ctl(modem, {QStringLiteral("--trace"), QStringLiteral("--modem"),
                                   QStringLiteral("5551234"), QStringLiteral("ident")});
        EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
        const QStringList t = lineas(r.errores);
        EXPECT_TRUE(t.contains(QStringLiteral("> ATE0"))) << r.errores.toStdString();
        const auto empieza = [&t](const char *inicio) {
            return std::ranges::any_of(
                t, [inicio](const QString &l) { return l.startsWith(QLatin1String(inicio)); });
        };
        // The number goes out blank-padded to its field.
        EXPECT_TRUE(empieza("> ATDT5551234")) << r.errores.toStdString();
        EXPECT_TRUE(empieza("< CONNECT")) << r.errores.toStdString();
        EXPECT_TRUE(t.contains(QStringLiteral("> 01 04 00 00 00 03 B0 0B  read input 0x0000 x3")));
    }
}

// Two relays that answer at once spoil each other's frames: a bad reply at the
// first whole reply's worth of bytes (status 3), not a silence waited out. A
// relay that answers with an exception says so, at once, whichever read it is.
TEST(Kv73ctl, CollidedRepliesAreBadAndAnExceptionIsNamed) {
    {
        Simulador sim({QStringLiteral("--address"), QStringLiteral("1,1")});
        ASSERT_TRUE(sim.Listo());
        const auto r = Ctl(sim, {QStringLiteral("ident")});
        EXPECT_EQ(r.estado, 3) << r.errores.toStdString();
        EXPECT_EQ(r.errores.toStdString(), "kv73ctl: bad reply to the identification read\n");
    }
    Simulador sim({QStringLiteral("--exception")});
    ASSERT_TRUE(sim.Listo());
    const std::pair<const char *, const char *> casos[] = {
        {"values", "actual-values poll"},
        {"setpoints", "setpoint read"},
        {"ident", "identification read"},
    };
    for (const auto &[comando, lectura] : casos) {
        const auto r = Ctl(sim, {QLatin1String(comando)});
        EXPECT_EQ(r.estado, 3) << comando;
        EXPECT_EQ(r.errores.toStdString(),
                  std::string("kv73ctl: the relay answered with exception 04 to the ") + lectura +
                      "\n");
        EXPECT_TRUE(r.salida.isEmpty());
    }
}

// With the real one-second tick, a request waiting on a silent relay: SIGINT
// ends the command at once, without "Relay Not Response" (a one-shot command
// with 130, a watch none of whose polls failed with 0); the device going away
// ends it at once with the link failure. Nothing is sent after either.
TEST(Kv73ctl, ASignalOrALostDeviceEndsAWaitAtOnce) {
    struct Caso {
        const char *comando;
        bool senal;
        int estado;
        const char *errores;
    };
    for (const Caso &c : {Caso{"values", false, 2, "Relay Not Response\n"},
                          Caso{"reset-max", false, 2, "Relay Not Response\n"},
                          Caso{"values", true, 130, ""}, Caso{"watch", true, 0, ""}}) {
        SCOPED_TRACE(std::string(c.comando) + (c.senal ? ", SIGINT" : ", device lost"));
        Pty linea;
        QProcess ctl;
        auto variables = QProcessEnvironment::systemEnvironment();
        variables.remove(QStringLiteral("KV73_TICK_MS"));
        ctl.setProcessEnvironment(variables);
        ctl.start(QStringLiteral(KV73CTL),
                  {QStringLiteral("--device"), linea.Esclavo(), QLatin1String(c.comando)});
        ASSERT_EQ(linea.Lee(8, 10000).size(), 8) << "the first request";
        QElapsedTimer reloj;
        reloj.start();
        if (c.senal)
            ::kill(static_cast<pid_t>(ctl.processId()), SIGINT);
        else
            linea.Cierra();
        ASSERT_TRUE(ctl.waitForFinished(5000));
        EXPECT_LT(reloj.elapsed(), 900) << "the wait's next tick is not awaited";
        EXPECT_EQ(ctl.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(ctl.exitCode(), c.estado);
        EXPECT_EQ(ctl.readAllStandardError().toStdString(), c.errores);
        if (c.senal) {
            EXPECT_TRUE(linea.Lee(64, 100).isEmpty()) << "nothing sent after the signal";
        }
    }
}
