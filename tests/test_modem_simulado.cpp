// The simulated modem in front of the relay: the dialogue the program holds with
// a local modem and with a modem being programmed, dialling and its outcomes,
// the transparent line to the relay, hang-up; and kv73-sim --modem itself.

#include "simulador/Modem_Simulado.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Simulador.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QByteArray OK = "\r\nOK\r\n";
const QByteArray ERROR_ = "\r\nERROR\r\n";
const QByteArray CONNECT = "\r\nCONNECT 9600\r\n";
const QByteArray NO_CARRIER = "\r\nNO CARRIER\r\n";

// "ATDT", the telephone number padded with blanks to 20 characters, CR: the
// way the program dials.
QByteArray Marcado(const QByteArray &numero) {
    return "ATDT" + numero.leftJustified(20) + "\r";
}

QByteArray Id_Peticion() {
    return Vector(QStringLiteral("identification read request, address 1"));
}
QByteArray Id_Respuesta() {
    return Vector(QStringLiteral(
        "identification reply, address 1, registers 0x0002 0x0001 0x007F (accepted)"));
}

// A relay whose identification reply is one of the independent vectors.
Rele_Simulado Rele_7F(Fallos fallos = {}) {
    fallos.Identificacion_3 = 0x007F;
    return Rele_Simulado(1, fallos);
}

// Dials at `t` and lets the dial delay pass; returns when the line is in data mode.
qint64 Conecta(Modem_Simulado &m, qint64 t) {
    EXPECT_EQ(m.Recibe(Marcado("1234"), t), "");
    EXPECT_EQ(m.Avanza(t + 300), CONNECT);
    EXPECT_EQ(m.Estado(), Estado_Modem::Datos);
    return t + 300;
}

} // namespace

TEST(Modem_Simulado, AnswersTheLocalAndTheProgrammingDialogues) {
    Rele_Simulado rele = Rele_7F();
    Modem_Simulado m(rele);

    // Dial-up preparation: a lone CR gets nothing, then the bare framed OK.
    EXPECT_EQ(m.Recibe("\r", 0), "");
    EXPECT_EQ(m.Recibe("ATE0\r", 0), OK);
    // A command split over writes, in lower case, after line noise.
    EXPECT_EQ(m.Recibe(Id_Peticion() + "at", 0), "");
    EXPECT_EQ(m.Recibe("e0\r", 0), OK);
    EXPECT_EQ(m.Recibe("AT\r", 0), OK);

    EXPECT_EQ(m.Recibe("ATV0\r", 0), "0\r");
    EXPECT_EQ(m.Recibe("ATQ1\r", 0), "4\r");
    EXPECT_EQ(m.Recibe("ATV1\r", 0), OK);
    EXPECT_EQ(m.Recibe("ATQ1\r", 0), ERROR_);
    // An error stops the line, but what came before it has been done.
    EXPECT_EQ(m.Recibe("ATE1 S7=300\r", 0), ERROR_);
    EXPECT_TRUE(m.Eco());
    EXPECT_EQ(m.Recibe("AT&X\r", 0), "AT&X\r" + ERROR_);
    // Echo goes out as the characters arrive, backspaces included.
    EXPECT_EQ(m.Recibe("ATE", 0), "ATE");
    EXPECT_EQ(m.Recibe("9\b0\r", 0), "9\b0\r" + OK);

    // A modem being programmed: factory settings (echo on, verbal), then the
    // set-up line, echoed because echo was on while it arrived, and answered
    // in the numeric form it asks for.
    EXPECT_EQ(m.Recibe("AT&F\r", 0), OK);
    EXPECT_TRUE(m.Eco() && m.Verbal());
    EXPECT_EQ(m.Recibe("ATE0 V0 S0=2 &W1 &Y1\r", 0), "ATE0 V0 S0=2 &W1 &Y1\r0\r");
    EXPECT_EQ(m.Registro_S(0), 2);
    EXPECT_EQ(m.Recibe("ATS0?\r", 0), "002\r\n0\r");

    // ATZ brings back a stored profile: the one just written, or the one the
    // modem came with (echo off, verbal).
    EXPECT_EQ(m.Recibe("AT&F\r", 0), OK);
    EXPECT_EQ(m.Recibe("ATZ1\r", 0), "ATZ1\r0\r");
    EXPECT_EQ(m.Recibe("ATZ0\r", 0), OK);
    EXPECT_FALSE(m.Eco());
    EXPECT_EQ(m.Registro_S(0), 0);

    // Idle, it carries nothing to the relay: no reply, whatever the wait.
    EXPECT_EQ(m.Recibe(Id_Peticion(), 1000), "");
    EXPECT_EQ(m.Recibe("\r", 1000), "");
    EXPECT_FALSE(m.Proximo_Evento_ms());
    EXPECT_EQ(m.Avanza(100000), "");
    EXPECT_EQ(m.Recibe("ATO\r", 100000), NO_CARRIER);
    EXPECT_EQ(m.Recibe("ATDT\r", 100000), ERROR_);
}

TEST(Modem_Simulado, DialConnectsAndTheRelayAnswersThroughTheLine) {
    // A split, delayed reply shows that the relay's own timing survives the modem.
    Rele_Simulado rele = Rele_7F({.Partir_ms = 30, .Retardo_ms = 100});
    Modem_Simulado m(rele);
    EXPECT_EQ(m.Recibe(Marcado("555 0100"), 1000), "");
    EXPECT_EQ(m.Estado(), Estado_Modem::Marcando);
    EXPECT_EQ(m.Proximo_Evento_ms(), 1300);
    EXPECT_EQ(m.Avanza(1299), "");
    EXPECT_EQ(m.Avanza(1300), CONNECT);

    // One request in two writes close together; the reply comes back unchanged.
    EXPECT_EQ(m.Recibe(Id_Peticion().left(3), 1400), "");
    EXPECT_EQ(m.Recibe(Id_Peticion().mid(3), 1410), "");
    EXPECT_EQ(m.Proximo_Evento_ms(), 1510);
    QByteArray r = m.Avanza(1510);
    EXPECT_EQ(m.Proximo_Evento_ms(), 1540);
    r += m.Avanza(1540);
    EXPECT_EQ(r, Id_Respuesta());

    // A frame left half-sent does not spoil the next one.
    EXPECT_EQ(m.Recibe(Id_Peticion().left(4), 2000), "");
    EXPECT_EQ(m.Recibe(Id_Peticion(), 2100), "");
    EXPECT_EQ(m.Avanza(3000), Id_Respuesta());

    // In numeric mode the connection is "1", and the connect text is an option.
    Rele_Simulado otro;
    Modem_Simulado numerico(otro);
    EXPECT_EQ(numerico.Recibe("ATV0\r" + Marcado("1"), 0), "0\r");
    EXPECT_EQ(numerico.Avanza(300), "1\r");
    Modem_Simulado rapido(otro, {.Texto_Conexion = "CONNECT 19200"});
    rapido.Recibe(Marcado("1"), 0);
    EXPECT_EQ(rapido.Avanza(300), "\r\nCONNECT 19200\r\n");
}

TEST(Modem_Simulado, BusyAndSilentNumbersNeverConnect) {
    Rele_Simulado rele = Rele_7F();
    Modem_Simulado m(
        rele, {.Retardo_Marcado_ms = 50, .Numero_Ocupado = "555-0100", .Numero_Mudo = "(91) 777"});
    EXPECT_EQ(m.Recibe(Marcado("5550100"), 0), "");
    EXPECT_EQ(m.Avanza(50), "\r\nBUSY\r\n");
    EXPECT_EQ(m.Estado(), Estado_Modem::Comandos);
    EXPECT_EQ(m.Recibe("ATV0\r" + Marcado("555 01 00"), 100), "0\r");
    EXPECT_EQ(m.Avanza(150), "7\r");
    EXPECT_EQ(m.Recibe("ATV1\r", 200), OK);

    // The silent number leaves the program waiting for its own timeout...
    EXPECT_EQ(m.Recibe(Marcado("91777"), 200), "");
    EXPECT_FALSE(m.Proximo_Evento_ms());
    EXPECT_EQ(m.Avanza(200 + 3600000), "");
    EXPECT_EQ(m.Estado(), Estado_Modem::Marcando);
    EXPECT_EQ(m.Recibe(Id_Peticion(), 200 + 3600000), NO_CARRIER);
    // ...and the program's next attempt finds the modem listening again.
    EXPECT_EQ(m.Recibe("ATE0\r", 200 + 3600000), OK);
}

TEST(Modem_Simulado, EscapeWithGuardTimesThenHangUp) {
    // The relay answers later than the guard time, so a reply can be in flight
    // while the escape is being recognised.
    Rele_Simulado rele = Rele_7F({.Retardo_ms = 300});
    Modem_Simulado m(rele, {.Guarda_Escape_ms = 200});
    qint64 t = Conecta(m, 0);

    // Too soon after the last data, or followed by more data: plain data.
    EXPECT_EQ(m.Recibe("+++", t + 100), "");
    EXPECT_FALSE(m.Proximo_Evento_ms());
    EXPECT_EQ(m.Recibe("+++", t + 400), "");
    EXPECT_EQ(m.Proximo_Evento_ms(), t + 600);
    EXPECT_EQ(m.Recibe("+", t + 450), "");
    EXPECT_EQ(m.Avanza(t + 1000), "");
    EXPECT_EQ(m.Estado(), Estado_Modem::Datos);

    // A reply already on its way comes out before the escape's OK.
    m.Recibe(Id_Peticion(), t + 1000);
    EXPECT_EQ(m.Recibe("+++", t + 1200), "");
    EXPECT_EQ(m.Avanza(t + 1500), Id_Respuesta() + OK);
    EXPECT_EQ(m.Estado(), Estado_Modem::Comandos_En_Linea);
    EXPECT_EQ(m.Recibe(Id_Peticion(), t + 1500), "");
    EXPECT_EQ(m.Recibe(Marcado("1"), t + 1500), ERROR_);
    EXPECT_EQ(m.Recibe("ATO\r", t + 1500), CONNECT);
    m.Recibe(Id_Peticion(), t + 1500);
    EXPECT_EQ(m.Avanza(t + 1800), Id_Respuesta());

    // +++ then ATH: the call ends; the relay is out of reach until a new dial.
    m.Recibe("+++", t + 2000);
    EXPECT_EQ(m.Avanza(t + 2200), OK);
    EXPECT_EQ(m.Recibe("ATH\r", t + 2300), OK);
    EXPECT_EQ(m.Estado(), Estado_Modem::Comandos);
    EXPECT_EQ(m.Recibe(Id_Peticion(), t + 2300), "");
    EXPECT_EQ(m.Avanza(t + 5000), "");
    EXPECT_EQ(m.Recibe("\rATO\r", t + 5000), NO_CARRIER);

    // Closing the port drops DTR: the call ends silently, its pending reply too.
    t = Conecta(m, t + 6000);
    m.Recibe(Id_Peticion(), t + 10);
    m.Cae_DTR();
    EXPECT_EQ(m.Estado(), Estado_Modem::Comandos);
    EXPECT_FALSE(m.Proximo_Evento_ms());
    EXPECT_EQ(m.Avanza(t + 1000), "");
    EXPECT_EQ(m.Recibe("ATE0\r", t + 1000), OK);
}

namespace {

// The test plays the program: it opens the simulator's terminal as a raw port.
int Abre_Puerto(const QString &ruta) {
    const int fd = open(QFile::encodeName(ruta).constData(), O_RDWR | O_NOCTTY);
    termios modo{};
    if (fd >= 0 && tcgetattr(fd, &modo) == 0) {
        cfmakeraw(&modo);
        tcsetattr(fd, TCSANOW, &modo);
    }
    return fd;
}

// Writes, then reads until `n` bytes came or `ms` passed.
QByteArray Dialoga(int fd, const QByteArray &envio, qsizetype n, int ms = 5000) {
    if (write(fd, envio.constData(), static_cast<size_t>(envio.size())) != envio.size())
        return "write failed";
    QByteArray leido;
    pollfd p{fd, POLLIN, 0};
    while (leido.size() < n && poll(&p, 1, ms) > 0) {
        char buffer[64];
        const ssize_t r = read(fd, buffer, sizeof buffer);
        if (r <= 0)
            break;
        leido.append(buffer, r);
    }
    return leido;
}

} // namespace

TEST(Kv73_Sim_Modem, DialsAndCarriesTheIdentificationOnAPseudoTerminal) {
    Simulador sim({"--modem", "--dial-delay", "50", "--ident3", "0x7F"});
    ASSERT_TRUE(sim.Listo());
    int fd = Abre_Puerto(sim.Enlace());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Dialoga(fd, "\r", 1, 200), "");
    EXPECT_EQ(Dialoga(fd, "ATE0\r", OK.size()), OK);
    EXPECT_EQ(Dialoga(fd, Marcado("5551234"), CONNECT.size()), CONNECT);
    EXPECT_EQ(Dialoga(fd, Hex("01 04 00 00 00 03 B0 0B"), 11), Id_Respuesta());
    close(fd);

    // The program closed its port, which hangs the modem up: the next one to
    // open it finds a modem in command mode, not a relay.
    fd = Abre_Puerto(sim.Enlace());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Dialoga(fd, Id_Peticion(), 1, 300), "");
    EXPECT_EQ(Dialoga(fd, "\rAT\r", OK.size()), OK);
    close(fd);
}

TEST(Kv73_Sim_Modem, ModemOptionsNeedTheModem) {
    const auto r =
        Ejecuta(QStringLiteral(KV73_SIM), {"--link", "/nonexistent/kv73", "--busy-number", "555"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(r.errores.contains("need --modem")) << r.errores.toStdString();
}
