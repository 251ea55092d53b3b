// The simulated modem in front of the relay: the dialogue the program holds with
// a local modem and with a modem being programmed, dialling and its outcomes,
// the transparent line to the relay and hang-up. kv73-sim --modem itself is
// driven by kv73ctl in test_kv73ctl.

#include "simulador/Modem_Simulado.h"
#include "tests/soporte/Banco.h"

namespace {

const QByteArray OK = "\r\nOK\r\n", ERROR_ = "\r\nERROR\r\n", CONNECT = "\r\nCONNECT 9600\r\n";
const auto Id_Peticion = [] {
    return Vector(QStringLiteral("identification read request, address 1"));
};
// What a relay whose third identification register is 0x007F answers.
const auto Id_Respuesta = [] {
    return Vector(QStringLiteral(
        "identification reply, address 1, registers 0x0002 0x0001 0x007F (accepted)"));
};

// "ATDT", the number padded with blanks to 20 characters, CR: the program's dial.
QByteArray Marcado(const QByteArray &numero) {
    return "ATDT" + numero.leftJustified(20) + "\r";
}

} // namespace

TEST(Modem_Simulado, AnswersTheLocalAndTheProgrammingDialogues) {
    Rele_Simulado rele;
    Modem_Simulado m(rele);
    // A lone CR gets nothing; a command split over writes, in lower case, after
    // line noise, gets the framed OK.
    EXPECT_EQ(m.Recibe("\r", 0), "");
    EXPECT_EQ(m.Recibe(Id_Peticion() + "at", 0), "");
    EXPECT_EQ(m.Recibe("e0\r", 0), OK);
    EXPECT_EQ(m.Recibe("ATV0\r", 0), "0\r");
    // An error stops the line, but what came before it has been done.
    EXPECT_EQ(m.Recibe("ATV1 E1 S7=300\r", 0), ERROR_);
    EXPECT_EQ(m.Recibe("ATE0\r", 0), "ATE0\r" + OK);
    // A modem being programmed: factory settings, then the set-up line, echoed
    // because echo was on while it arrived and answered in the numeric form it
    // asks for; ATZ brings back the stored profile or the one it came with.
    EXPECT_EQ(m.Recibe("AT&F\r", 0), OK);
    EXPECT_EQ(m.Recibe("ATE0 V0 S0=2 &W1 &Y1\r", 0), "ATE0 V0 S0=2 &W1 &Y1\r0\r");
    EXPECT_EQ(m.Recibe("AT&F\r", 0), OK);
    EXPECT_EQ(m.Recibe("ATZ1\r", 0), "ATZ1\r0\r");
    EXPECT_EQ(m.Recibe("ATZ0\r", 0), OK);
    // On hook it carries nothing to the relay, whatever the wait.
    EXPECT_EQ(m.Recibe(Id_Peticion(), 1000), "");
    EXPECT_EQ(m.Avanza(100000), "");
    EXPECT_EQ(m.Recibe("\rATO\r", 100000), "\r\nNO CARRIER\r\n");
}

TEST(Modem_Simulado, DialConnectsAndTheRelayAnswersThroughTheLine) {
    // A split, delayed reply: the relay's own timing survives the modem.
    Rele_Simulado rele(1, {.Partir_ms = 30, .Retardo_ms = 100, .Identificacion_3 = 0x007F});
    Modem_Simulado m(rele);
    EXPECT_EQ(m.Recibe(Marcado("555 0100"), 1000), "");
    EXPECT_EQ(m.Avanza(1299), "");
    EXPECT_EQ(m.Avanza(1300), CONNECT);
    EXPECT_EQ(m.Recibe(Id_Peticion().left(3), 1400), "");
    EXPECT_EQ(m.Recibe(Id_Peticion().mid(3), 1410), "");
    EXPECT_EQ(m.Proximo_Evento_ms(), 1510);
    const QByteArray r = m.Avanza(1510);
    EXPECT_EQ(m.Proximo_Evento_ms(), 1540);
    EXPECT_EQ(r + m.Avanza(1540), Id_Respuesta());
    // A frame left half-sent does not spoil the next one.
    EXPECT_EQ(m.Recibe(Id_Peticion().left(4), 2000), "");
    EXPECT_EQ(m.Recibe(Id_Peticion(), 2100), "");
    EXPECT_EQ(m.Avanza(3000), Id_Respuesta());
}

TEST(Modem_Simulado, BusyAndSilentNumbersNeverConnect) {
    Rele_Simulado rele;
    Modem_Simulado m(
        rele, {.Retardo_Marcado_ms = 50, .Numero_Ocupado = "555-0100", .Numero_Mudo = "(91) 777"});
    EXPECT_EQ(m.Recibe(Marcado("5550100"), 0), "");
    EXPECT_EQ(m.Avanza(50), "\r\nBUSY\r\n");
    EXPECT_EQ(m.Recibe("ATV0\r" + Marcado("555 01 00"), 100), "0\r");
    EXPECT_EQ(m.Avanza(150), "7\r");
    // The silent number leaves the program to its own timeout; its next attempt
    // finds the modem listening again.
    EXPECT_EQ(m.Recibe(Marcado("91777"), 200), "");
    EXPECT_EQ(m.Avanza(3600000), "");
    EXPECT_EQ(m.Recibe(Id_Peticion(), 3600000), "3\r");
    EXPECT_EQ(m.Recibe("ATE0\r", 3600000), "0\r");
}

TEST(Modem_Simulado, EscapeOnlyWithItsGuardTimesAndDtrHangsUp) {
    // The relay answers later than the guard time, so a reply can be in flight
    // while the escape is being recognised.
    Rele_Simulado rele(1, {.Retardo_ms = 300, .Identificacion_3 = 0x007F});
    Modem_Simulado m(rele, {.Guarda_Escape_ms = 200});
    m.Recibe(Marcado("1"), 0);
    ASSERT_EQ(m.Avanza(300), CONNECT);
    // Too soon after the last data, or followed by more data: plain data.
    EXPECT_EQ(m.Recibe("+++", 400), "");
    EXPECT_EQ(m.Recibe("+++", 700), "");
    EXPECT_EQ(m.Recibe("+", 750), "");
    EXPECT_EQ(m.Avanza(1300), "");
    // A reply already on its way comes out before the escape's OK.
    m.Recibe(Id_Peticion(), 1300);
    EXPECT_EQ(m.Recibe("+++", 1500), "");
    EXPECT_EQ(m.Avanza(1800), Id_Respuesta() + OK);
    // Closing the port drops DTR: the call ends silently, its pending reply too.
    EXPECT_EQ(m.Recibe("ATO\r", 1800), CONNECT);
    m.Recibe(Id_Peticion(), 1810);
    m.Cae_DTR();
    EXPECT_EQ(m.Avanza(3000), "");
    EXPECT_EQ(m.Estado(), Estado_Modem::Comandos);
}
