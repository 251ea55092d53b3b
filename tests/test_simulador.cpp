// The relay simulator: its replies against frames made outside the program, the
// setpoint and lamp rules the program relies on, the framing of a byte stream,
// every fault option, and kv73-sim itself on a pseudo-terminal.

#include "comun/Version.h"
#include "protocolo/Crc.h"
#include "simulador/Rele_Simulado.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Simulador.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const char *const Id_Peticion = "identification read request, address 1";
const char *const Id_Respuesta_7F =
    "identification reply, address 1, registers 0x0002 0x0001 0x007F (accepted)";
const char *const Escritura = "setpoint write request, address 1: L1 95, L2 120, Low Fan 60, "
                              "High Fan 75, options 0x000B, 0x0105 = 0x1234";
const char *const Comando_16 = "command 16 request (and its echo reply), address 1";

// Requests may carry our own CRC; expected replies never do.
QByteArray Con_CRC(const char *hex) {
    QByteArray trama = Hex(hex);
    Agrega_CRC(trama);
    return trama;
}

// One register of the relay, read over the line as the program would.
uint16_t Lee(Rele_Simulado &rele, uint16_t registro) {
    QByteArray p;
    p.append(char(rele.Direccion())).append('\4');
    p.append(char(registro >> 8)).append(char(registro & 0xFF)).append('\0').append('\1');
    Agrega_CRC(p);
    const QByteArray r = rele.Responde(p);
    EXPECT_EQ(r.size(), 7) << "register " << registro;
    return r.size() == 7 && CRC_Valido(r)
               ? static_cast<uint16_t>(uint8_t(r[3]) << 8 | uint8_t(r[4]))
               : 0xDEAD;
}

void Espera_Exception(const QByteArray &r, uint8_t funcion, uint8_t codigo) {
    ASSERT_EQ(r.size(), 5);
    EXPECT_EQ(uint8_t(r[1]), funcion | 0x80);
    EXPECT_EQ(uint8_t(r[2]), codigo);
    EXPECT_TRUE(CRC_Valido(r));
}

} // namespace

TEST(Simulador_Vectores, RepliesEqualTheIndependentFrames) {
    Rele_Simulado rele(1, {.Identificacion_3 = 0x007F});
    EXPECT_EQ(rele.Responde(Vector(Id_Peticion)), Vector(Id_Respuesta_7F));

    // Only register 0x0105 changes, so the read must match the vector exactly.
    EXPECT_EQ(rele.Responde(Con_CRC("01 10 01 05 00 01 02 12 34")).size(), 8);
    EXPECT_EQ(rele.Responde(Vector("setpoint read request, address 1")),
              Vector("setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, High Fan 75, "
                     "options 0x000B, 0x0105 = 0x1234"));
    EXPECT_EQ(rele.Responde(Vector(Escritura)), Vector("setpoint write reply, address 1"));

    const std::pair<const char *, const char *> excepciones[] = {
        {"01 04 03 00 00 01", "a read of input registers (function 0x84"},
        {"01 03 02 00 00 01", "a read of holding registers (function 0x83"},
        {"01 10 02 00 00 01 02 00 00", "a write of multiple registers (function 0x90"},
        {"01 05 00 03 FF 00", "a write of a single coil (function 0x85"}};
    for (const auto &[peticion, que] : excepciones)
        EXPECT_EQ(rele.Responde(Con_CRC(peticion)),
                  Vector(QStringLiteral("exception reply to %1, code 02), address 1").arg(que)));

    for (int direccion : {1, 17, 247}) {
        Rele_Simulado otro(static_cast<uint8_t>(direccion));
        const QString a = QStringLiteral(", address %1").arg(direccion);
        for (int comando : {1, 2, 16}) {
            const QByteArray p =
                Vector(QStringLiteral("command %1 request (and its echo reply)").arg(comando) + a);
            EXPECT_EQ(otro.Responde(p), p) << direccion << " command " << comando;
        }
        for (const char *lectura : {"identification", "setpoint", "actual values"}) {
            const QByteArray p = Vector(QLatin1String(lectura) + " read request" + a);
            const QByteArray r = otro.Responde(p);
            EXPECT_TRUE(r.left(2) == p.left(2) && r.size() == 5 + uint8_t(r[2]) && CRC_Valido(r))
                << lectura << a.toStdString();
        }
    }
}

TEST(Simulador_Setpoints, WritesReadBackAndBadValuesAreRefused) {
    Rele_Simulado rele;
    const QByteArray lectura = Vector("setpoint read request, address 1");
    rele.Responde(Vector(Escritura));
    const QByteArray escrito = Hex("00 5F 00 78 00 3C 00 4B 00 0B 12 34");
    EXPECT_EQ(rele.Responde(lectura).mid(3, 12), escrito);

    // L1 over 220, High Fan under Low Fan: refused, nothing changes.
    Espera_Exception(rele.Responde(Con_CRC("01 10 01 00 00 01 02 00 DD")), 0x10, 3);
    Espera_Exception(rele.Responde(Con_CRC("01 10 01 02 00 02 04 00 50 00 4F")), 0x10, 3);
    EXPECT_EQ(rele.Responde(lectura).mid(3, 12), escrito);

    // L1 may pass the old L2 when L2 moves in the same frame; a sub-range
    // read sees just its registers.
    EXPECT_EQ(rele.Responde(Con_CRC("01 10 01 00 00 02 04 00 96 00 A0")).size(), 8);
    EXPECT_EQ(rele.Responde(Con_CRC("01 03 01 00 00 02")).mid(3, 4), Hex("00 96 00 A0"));

    Espera_Exception(rele.Responde(Con_CRC("01 06 01 00 00 01")), 0x06, 1);
    Espera_Exception(rele.Responde(Con_CRC("01 04 02 04 00 0B")), 0x04, 2);
}

TEST(Entramador, CutsRequestsOutOfAStreamDespiteNoise) {
    const QByteArray id = Vector(Id_Peticion);
    const QByteArray escritura = Vector(Escritura);
    Entramador e;
    e.Agrega(QByteArray(1, '\0')); // what the program leaves before closing its port
    EXPECT_FALSE(e.Siguiente());
    e.Agrega(id + escritura.left(5));
    EXPECT_EQ(e.Siguiente(), id);
    EXPECT_FALSE(e.Siguiente());
    for (char byte : escritura.mid(5)) {
        EXPECT_FALSE(e.Siguiente());
        e.Agrega(QByteArray(1, byte));
    }
    EXPECT_EQ(e.Siguiente(), escritura);
    EXPECT_EQ(e.Pendientes(), 0);

    // A stray byte makes an address-16 request look like a long register write.
    const QByteArray a16 = Con_CRC("10 04 00 00 00 03");
    e.Agrega(QByteArray(1, '\0') + a16 + Hex("01 04"));
    EXPECT_EQ(e.Siguiente(), a16);
    e.Descarta();
    e.Agrega(id);
    EXPECT_EQ(e.Siguiente(), id);
}

TEST(Simulador_Fallos, EachOptionDoesWhatItSays) {
    const QByteArray id = Vector(Id_Peticion);
    const QByteArray sana = Rele_Simulado().Responde(id);
    Rele_Simulado rele;
    EXPECT_TRUE(rele.Responde(Vector("identification read request, address 17")).isEmpty());
    EXPECT_TRUE(rele.Responde(id.left(7) + char(id[7] ^ 1)).isEmpty());

    EXPECT_TRUE(Rele_Simulado(1, {.Silencioso = true}).Responde(id).isEmpty());
    Rele_Simulado callado(1, {.Silencio_Tras = 2});
    EXPECT_EQ(callado.Responde(id), sana);
    EXPECT_EQ(callado.Responde(id), sana);
    EXPECT_TRUE(callado.Responde(id).isEmpty());

    Rele_Simulado crc(1, {.CRC_Malo_Cada = 2});
    for (int i = 1; i <= 4; ++i) {
        const QByteArray r = crc.Responde(id);
        EXPECT_EQ(r.left(9), sana.left(9));
        EXPECT_EQ(CRC_Valido(r), i % 2 == 1) << "reply " << i;
    }

    const auto partida =
        Rele_Simulado(1, {.Partir_ms = 30, .Retardo_ms = 200}).Responde_Por_Partes(id);
    ASSERT_EQ(partida.size(), 2u);
    EXPECT_EQ(partida[0].Retardo_ms, 200);
    EXPECT_EQ(partida[1].Retardo_ms, 30);
    EXPECT_EQ(partida[0].Bytes + partida[1].Bytes, sana);

    const QByteArray basura = Rele_Simulado(1, {.Basura = 3}).Responde(id);
    EXPECT_EQ(basura.size(), sana.size() + 3);
    EXPECT_EQ(basura.left(sana.size()), sana);

    Espera_Exception(Rele_Simulado(1, {.Excepcion = true}).Responde(id), 0x04, 4);

    const QByteArray otra = Rele_Simulado(1, {.Otra_Direccion = true}).Responde(id);
    EXPECT_EQ(uint8_t(otra[0]), 2);
    EXPECT_EQ(otra.mid(1, 8), sana.mid(1, 8));
    EXPECT_TRUE(CRC_Valido(otra));

    Rele_Simulado id3(1, {.Identificacion_3 = 0x00C8});
    EXPECT_EQ(Lee(id3, 0x0002), 0x00C8);
}

namespace {

// Reads the pseudo-terminal until `n` bytes arrive or `ms` pass.
QByteArray Lee_Hasta(int fd, qsizetype n, int ms) {
    QDeadlineTimer limite(ms);
    QByteArray leido;
    pollfd p{fd, POLLIN, 0};
    while (leido.size() < n && poll(&p, 1, static_cast<int>(limite.remainingTime())) > 0) {
        char buffer[64];
        const ssize_t r = read(fd, buffer, sizeof buffer);
        if (r <= 0)
            break;
        leido.append(buffer, r);
    }
    return leido;
}

} // namespace

TEST(Kv73_Sim, AnswersOnAPseudoTerminalAndRemovesItsLinkOnSigterm) {
    QTemporaryDir carpeta;
    ASSERT_TRUE(carpeta.isValid());
    const QString enlace = carpeta.filePath("kv73");
    QProcess sim;
    sim.start(KV73_SIM_PATH, {"--link", enlace, "--ident3", "0x7F", "--split", "20"});
    const QDeadlineTimer limite(10000);
    while (!sim.canReadLine() && sim.waitForReadyRead(static_cast<int>(limite.remainingTime()))) {
    }
    EXPECT_TRUE(sim.readLine().startsWith("kv73-sim: relay at address 1 on " + enlace.toUtf8() +
                                          " -> /dev/pts/"));

    const int fd = open(QFile::encodeName(enlace).constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << "no pseudo-terminal behind " << enlace.toStdString();
    termios modo{};
    ASSERT_EQ(tcgetattr(fd, &modo), 0);
    cfmakeraw(&modo);
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &modo), 0);

    // A lone 0x00 first, then two requests in one write: both split replies
    // come back whole and in order.
    const QByteArray id = Vector(Id_Peticion);
    const QByteArray envio = QByteArray(1, '\0') + id + id;
    ASSERT_EQ(write(fd, envio.constData(), envio.size()), envio.size());
    EXPECT_EQ(Lee_Hasta(fd, 22, 10000), Vector(Id_Respuesta_7F) + Vector(Id_Respuesta_7F));
    close(fd);

    sim.terminate(); // SIGTERM
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(enlace).isSymLink());
}

// A command line it cannot follow ends it with status 1 and the option named,
// before any terminal or link is made.
TEST(Kv73_Sim, CommandLine) {
    const QString sim = QStringLiteral(KV73_SIM_PATH);
    for (const char *version : {"-v", "--version"}) {
        const auto r = Ejecuta(sim, {QLatin1String(version)});
        EXPECT_EQ(r.estado, 0);
        EXPECT_EQ(r.salida.toStdString(), "kv73-sim " KV73_VERSION "\n");
    }
    const auto ayuda = Ejecuta(sim, {QStringLiteral("-h")});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_TRUE(ayuda.salida.startsWith(QStringLiteral("usage: kv73-sim --link PATH")));
    EXPECT_TRUE(
        ayuda.salida.contains(QStringLiteral("--address N            slave address, 1..254")));

    QTemporaryDir carpeta;
    const QString enlace = carpeta.filePath(QStringLiteral("kv73"));
    const std::vector<std::pair<QStringList, const char *>> malas = {
        {{QStringLiteral("--bogus")}, "bogus"},
        {{QStringLiteral("--address=300")}, "--address: 300"},
        {{QStringLiteral("--address"), QStringLiteral("0")}, "--address: 0"},
        {{QStringLiteral("--address"), QStringLiteral("1,255")}, "--address: 1,255"},
        {{QStringLiteral("--address"), QStringLiteral("0x0")}, "--address: 0x0"},
        {{QStringLiteral("--delay"), QStringLiteral("0x")}, "--delay: 0x"},
        {{QStringLiteral("--address")}, "--address"},
        {{QStringLiteral("--silent=1")}, "--silent"},
        {{QStringLiteral("--probe-fault"), QStringLiteral("5:231")}, "--probe-fault"},
        {{QStringLiteral("--busy-number"), QStringLiteral("123")}, "--modem"},
        {{QStringLiteral("--modem"), QStringLiteral("--busy-number= -")}, "--busy-number"},
        {{QStringLiteral("extra")}, "extra"},
    };
    for (const auto &[opciones, nombre] : malas) {
        const auto r = Ejecuta(sim, QStringList{QStringLiteral("--link"), enlace} + opciones);
        EXPECT_EQ(r.estado, 1) << opciones.join(u' ').toStdString();
        EXPECT_TRUE(r.errores.startsWith(QStringLiteral("kv73-sim: ")) &&
                    r.errores.section(u'\n', 0, 0).contains(QLatin1String(nombre)))
            << r.errores.toStdString();
        EXPECT_FALSE(QFileInfo::exists(enlace));
    }
    EXPECT_TRUE(
        Ejecuta(sim, {QStringLiteral("--address=5")}).errores.contains(QStringLiteral("--link")));
    // A link name that is not UTF-8 would be made under another name.
    const auto r = Ejecuta(QStringLiteral("/bin/sh"),
                           {QStringLiteral("-c"),
                            QStringLiteral("exec \"$0\" --link \"$(printf '%s/r\\351' \"$1\")\""),
                            sim, carpeta.path()},
                           {}, 5000);
    EXPECT_EQ(r.estado, 1) << r.errores.toStdString();
    EXPECT_TRUE(r.errores.contains(QStringLiteral(": not UTF-8"))) << r.errores.toStdString();
    EXPECT_TRUE(QDir(carpeta.path()).isEmpty());
}

// --wire-time. A poll of 8 bytes takes 8 character times on the line from its
// first byte, however it was written; one written with pauses takes longer.
// Its reply of 33 bytes follows 3.5 characters of silence: 44.5 characters
// of 10 bits in all. A split reply's pieces share that time.
TEST(Simulador_Linea, WireTimeCountsRequestSilenceAndReply) {
    Linea_Serie entera(9600);
    entera.Llegan(8, 5'000'000);
    EXPECT_EQ(entera.Libre_ns(), 5'000'000 + 8'333'333); // 80 bits at 9600 baud

    Linea_Serie a_bytes(9600);
    for (int i = 0; i < 8; ++i)
        a_bytes.Llegan(1, 5'000'000 + 10'000 * i); // one write a byte, 10 us apart
    EXPECT_NEAR(a_bytes.Libre_ns(), 5'000'000 + 8'333'333, 10);

    Linea_Serie con_pausa(9600);
    con_pausa.Llegan(4, 0);
    con_pausa.Llegan(4, 20'000'000); // the line was idle for most of 20 ms
    EXPECT_NEAR(con_pausa.Libre_ns(), 20'000'000 + 4'166'667, 10);

    std::vector<Trozo> respuesta{{0, QByteArray(33, 'x')}};
    Anade_Tiempo_De_Linea(respuesta, 9600);
    EXPECT_EQ(respuesta[0].Linea_ns, 38'020'833); // (3.5 + 33) x 10 / 9600 s
    EXPECT_NEAR(entera.Libre_ns() - 5'000'000 + respuesta[0].Linea_ns, 46'354'167, 10);
    Anade_Tiempo_De_Linea(respuesta, 1200);
    EXPECT_EQ(respuesta[0].Linea_ns, 304'166'667);

    std::vector<Trozo> partida{{0, QByteArray(16, 'x')}, {20, QByteArray(17, 'x')}};
    Anade_Tiempo_De_Linea(partida, 9600);
    EXPECT_EQ(partida[0].Linea_ns, 20'312'500); // silence, first 16 bytes
    EXPECT_EQ(partida[1].Linea_ns, 17'708'333); // the other 17, after the split delay
    EXPECT_EQ(partida[1].Retardo_ms, 20);

    QProcess sim;
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start(KV73_SIM_PATH, {"--link", "/nonexistent/kv73", "--wire-time", "--modem"});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 1);
}
