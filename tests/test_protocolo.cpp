// The relay exchange and transactions, over the in-memory port with a fast tick.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Espera.h"
#include "protocolo/Crc.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"

#include <QTimer>
#include <deque>
#include <functional>

namespace {

const QString Sondeo = QStringLiteral("actual values read request, address 1");
const QString Respuesta_Sondeo = QStringLiteral(
    "actual values reply, address 1: Pt1..Pt4 85, 0xFFFB (-5), 0x00E7 (Fco), 0xFFF5 (Fcc); "
    "maxima 97, 65, 231, 0xFFF5 (65525); 0x0208 0, 0x0209 0, 0x020A 0x0089, 0x020B 0x0008, "
    "0x020C 0x1111, 0x020D 0x2222");
const QString Respuesta_Setpoints = QStringLiteral(
    "setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, High Fan 75, options 0x000B, "
    "0x0105 = 0x1234");

template <std::size_t N>
QByteArray Bytes(const Imagen<N> &imagen, std::size_t desde, std::size_t n) {
    return QByteArray(reinterpret_cast<const char *>(imagen.Datos()) + desde,
                      static_cast<qsizetype>(n));
}

// The reply with one of its CRC bytes spoilt: the last (high) one unless told.
QByteArray Con_Error(QByteArray respuesta, int desde_el_final = 1) {
    const qsizetype i = respuesta.size() - desde_el_final;
    respuesta[i] = static_cast<char>(respuesta[i] ^ 0x55);
    return respuesta;
}

QByteArray Con_Crc(QByteArray trama) {
    Agrega_CRC(trama);
    return trama;
}

using Protocolo = Banco;

} // namespace

TEST(Crc, TextsAndBytesAgreeWithTheWorkedExamples) {
    Reinicia_Estado();
    const std::pair<const char *, const char *> casos[] = {
        {"01040200000E", "7670"},  {"010301000006", "34C4"}, {"", "FFFF"},
        {"010400000003", "0BB0"},  // a high byte below 0x10 keeps its leading zero
        {"01040200000E7", "7670"}, // a trailing odd digit is ignored
    };
    for (const auto &[trama, crc] : casos) {
        Estado.Trama = QLatin1String(trama);
        Calcula_CRC();
        EXPECT_EQ(Estado.CRC_Texto.toStdString(), crc) << trama;
    }
    EXPECT_EQ(CRC16_Modbus(QByteArray("123456789")), 0x4B37);
}

TEST_F(Protocolo, RequestsAreTheVectorFramesForAnyAddress) {
    Enlace_Arriba();
    // Good replies whatever the address: only the requests' bytes are under test.
    puerto->al_recibir = [this](const QByteArray &p) {
        puerto->Inyecta(p[1] == 0x05 ? p
                        : p[1] == 0x03
                            ? Vector(Respuesta_Setpoints)
                            : Vector(QStringLiteral("identification reply, address 1, registers "
                                                    "0x0002 0x0001 0x007F (accepted)")));
    };
    for (const int direccion : {1, 17, 247}) {
        const QString a = QString::number(direccion);
        Estado.Direccion_Rele = static_cast<uint8_t>(direccion);
        puerto->escrituras.clear();
        Lee_Identificacion(Estado.Direccion_Rele);
        Lee_Setpoints(Estado.Direccion_Rele);
        std::vector<QByteArray> esperadas = {Vector("identification read request, address " + a),
                                             Vector("setpoint read request, address " + a)};
        for (int32_t comando : {1, 2, 16}) {
            if (comando == 16)
                operador->Espera_Mensaje(QStringLiteral("Command Executed"),
                                         QStringLiteral("KV-73"));
            Ejecuta_Comando(Estado.Direccion_Rele, comando);
            esperadas.push_back(
                Vector(QStringLiteral("command %1 request (and its echo reply), address %2")
                           .arg(comando)
                           .arg(a)));
        }
        EXPECT_EQ(puerto->Peticiones(), esperadas) << "address " << direccion;
    }
}

TEST_F(Protocolo, SilentRelaySendsFourTimesThenFailsAtFiveTicks) {
    Enlace_Arriba();
    Estado.Valores_Actuales[4] = 0x42;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Lee_Valores_Actuales(Estado.Direccion_Rele);

    // The tick count at the first byte of each request and of the goodbye byte.
    std::vector<int> ticks;
    QByteArray enviado;
    for (const auto &e : puerto->escrituras) {
        EXPECT_EQ(e.bytes.size(), 1) << "every byte is its own write";
        if (enviado.size() % 8 == 0)
            ticks.push_back(e.segundos);
        enviado += e.bytes;
    }
    EXPECT_EQ(ticks, (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_EQ(enviado, Vector(Sondeo).repeated(4) + QByteArray(1, '\0'));
    EXPECT_FALSE(puerto->PortOpen());
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Ocupado);
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(Estado.Valores_Actuales[4], 0x42) << "a timeout keeps the last good values";
}

TEST_F(Protocolo, ReplyCompletingAfterAResendIsAcceptedAndStrayBytesDropped) {
    Enlace_Arriba();
    const QByteArray respuesta = Vector(Respuesta_Sondeo);
    int peticiones = 0;
    puerto->al_recibir = [&](const QByteArray &) {
        if (++peticiones == 1)
            puerto->Inyecta(respuesta.left(20));
        else if (peticiones == 2)
            puerto->Inyecta(respuesta.mid(20) + QByteArray("\x00\xFF", 2));
    };
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_EQ(peticiones, 2);
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 31), respuesta.left(31));
    EXPECT_EQ(Estado.Valores_Actuales[32], 0) << "the poll never writes past the data";
    EXPECT_EQ(puerto->InBufferCount(), 0) << "the stray bytes were taken and dropped";
    EXPECT_TRUE(Estado.Comunicacion_OK);
}

TEST_F(Protocolo, BadCrcCountIsSharedAndEndsTheLinkAtItsLimit) {
    Enlace_Arriba();
    const QByteArray buena = Vector(Respuesta_Sondeo);
    Responde_Siempre(Con_Error(buena));
    for (int i = 0; i < 29; ++i)
        Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_EQ(Estado.Valores_Actuales[4], 0) << "a bad reply is never kept";
    Responde_Siempre(buena);
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_EQ(Estado.Errores_CRC, 0) << "a good reply starts the count again";

    Responde_Siempre(Con_Error(buena));
    for (int i = 0; i < 29; ++i)
        Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_TRUE(Estado.Comunicacion_OK);
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(Estado.Errores_CRC, 0);
    EXPECT_FALSE(puerto->PortOpen());

    // Nine bad polls and one bad setpoint reply reach the setpoint read's limit
    // of ten; the setpoints go back to the last known values.
    Enlace_Arriba();
    for (int i = 0; i < 9; ++i)
        Lee_Valores_Actuales(Estado.Direccion_Rele);
    for (std::size_t i = 8; i <= 19; ++i)
        Estado.Trama_Escritura[i] = static_cast<uint8_t>(i);
    Responde_Siempre(Con_Error(Vector(Respuesta_Setpoints)));
    puerto->escrituras.clear();
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Lee_Setpoints(Estado.Direccion_Rele);
    EXPECT_EQ(puerto->Peticiones().size(), 1u);
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 4, 12), Bytes(Estado.Trama_Escritura, 8, 12));
}

TEST_F(Protocolo, SetpointReadAsksAgainAtOnceAfterABadReplyAndDropsUnsentEdits) {
    Enlace_Arriba();
    const QByteArray respuesta = Vector(Respuesta_Setpoints);
    int peticiones = 0;
    puerto->al_recibir = [&](const QByteArray &) {
        ++peticiones;
        puerto->Inyecta(peticiones == 1 ? Con_Error(respuesta) : respuesta);
    };
    Estado.Nuevos_Setpoints[8] = 0x77; // an edit not yet sent
    Lee_Setpoints(Estado.Direccion_Rele);
    EXPECT_EQ(peticiones, 2);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17), respuesta);
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 1, 19),
              Hex("01 10 01 00 00 06 0C") + respuesta.mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 1, 19), Bytes(Estado.Trama_Escritura, 1, 19));
    EXPECT_EQ(ventanas.Label6.toStdString(), "Communication Stablished");
    EXPECT_EQ(Estado.Errores_CRC, 0);
}

TEST_F(Protocolo, BusyFlagKeepsASecondReadOffTheLine) {
    Enlace_Arriba();
    const QByteArray respuesta = Vector(Respuesta_Sondeo);
    puerto->al_recibir = [&](const QByteArray &) {
        puerto->Inyecta_Despues(3 * Tick_ms / 2, respuesta);
    };
    bool anidada = false;
    Despues(Tick_ms / 2, [&] {
        anidada = true;
        Lee_Setpoints(Estado.Direccion_Rele);
        Lee_Identificacion(Estado.Direccion_Rele);
    });
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_TRUE(anidada);
    EXPECT_EQ(puerto->Peticiones(), std::vector<QByteArray>{Vector(Sondeo)});
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 31), respuesta.left(31));
}

TEST_F(Protocolo, OffEndsAWaitingSetpointReadOnly) {
    Enlace_Arriba();
    Estado.Set_Setpoints[4] = 0x11;
    Despues(Tick_ms / 2, [] { Estado.Cancelar_Enlace = true; });
    Lee_Setpoints(Estado.Direccion_Rele);
    EXPECT_EQ(puerto->Peticiones().size(), 1u);
    EXPECT_LT(Estado.Segundos, 2) << "the read stopped before its first resend";
    EXPECT_TRUE(Estado.Ocupado) << "OFF clears the busy flag itself";
    EXPECT_TRUE(puerto->PortOpen());
    EXPECT_EQ(Estado.Set_Setpoints[4], 0x11);
}

TEST_F(Protocolo, ExchangesDropLeftoversYieldOnlyToOffWhereAllowedAndKeepTheirTick) {
    Enlace_Arriba();
    // Bytes of an earlier, late reply are waiting when each exchange starts: they
    // are dropped, so the reply that follows is read from its first byte.
    const QByteArray basura = Hex("AA 55 01 03");
    const auto con_restos = [&](const QByteArray &respuesta) {
        puerto->Inyecta(basura);
        puerto->al_recibir = [this, respuesta](const QByteArray &) {
            puerto->Inyecta_Despues(Tick_ms / 4, respuesta);
        };
    };
    con_restos(Vector(Respuesta_Sondeo));
    Lee_Valores_Actuales(1);
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 31), Vector(Respuesta_Sondeo).left(31));
    con_restos(Vector(Respuesta_Setpoints));
    Lee_Setpoints(1);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17), Vector(Respuesta_Setpoints));
    con_restos(Vector(QStringLiteral("setpoint write reply, address 1")));
    operador->Espera_Mensaje(QStringLiteral("Setpoints were Saved to the Relay memory"),
                             QStringLiteral("KV-73"));
    EXPECT_EQ(Escribe_Setpoints(1), Resultado::Buena);
    EXPECT_EQ(enlace->Cuentas().Respuestas_Malas, 0u);

    // OFF during the wait of any read but the setpoint read changes nothing:
    // the reply that comes a tick and a half later is taken.
    for (const bool identificacion : {false, true}) {
        puerto->al_recibir = [&](const QByteArray &) {
            Estado.Cancelar_Enlace = true;
            puerto->Inyecta_Despues(
                3 * Tick_ms / 2,
                identificacion ? Vector(QStringLiteral("identification reply, address 1, registers "
                                                       "0x0003 0x0001 0x007F (refused)"))
                               : Vector(Respuesta_Sondeo));
        };
        const uint32_t tomadas = enlace->Cuentas().Intercambios;
        identificacion ? Lee_Identificacion(1) : Lee_Valores_Actuales(1);
        EXPECT_EQ(enlace->Cuentas().Intercambios, tomadas + 1)
            << (identificacion ? "identification" : "poll");
        Estado.Cancelar_Enlace = false;
    }
    EXPECT_FALSE(Verifica_Identificacion());

    // Something run inside the wait stops the tick (as an exchange does when it
    // ends): the silent relay still fails the link at the fifth tick.
    puerto->al_recibir = nullptr;
    QObject alcance;
    Despues(
        Tick_ms / 2, [this] { timer->Set_Enabled(false); }, &alcance);
    Despues(
        3000,
        [this] {
            ADD_FAILURE() << "the exchange stopped counting";
            Estado.Segundos = 5;
            timer->Set_Enabled(true);
        },
        &alcance);
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Lee_Valores_Actuales(1);
    EXPECT_EQ(Estado.Segundos, 5);
}

TEST_F(Protocolo, AReplyThatCameWhileADialogHeldTheWaitIsTaken) {
    Enlace_Arriba();
    Responde_Siempre(Vector(Respuesta_Sondeo));
    // A dialog opens inside the poll's wait and stays open for seven ticks; the
    // relay's reply arrived long before it closed.
    QObject alcance;
    Despues(
        0, [] { Espera_Hasta([] { return Estado.Segundos >= 7; }); }, &alcance);
    Lee_Valores_Actuales(1);
    EXPECT_TRUE(Estado.Comunicacion_OK) << "the relay answered: no link failure";
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 31), Vector(Respuesta_Sondeo).left(31));
}

// The first whole reply's worth of bytes is judged as the reply, whatever it
// starts with: two relays answering at once, a damaged first byte or a stray byte
// ahead of the reply are one bad reply at once, not a wait for a reply that never
// comes; and a write or command gets its "Write Error SetPoints" at once too.
TEST_F(Protocolo, AWholeReplysWorthOfBytesIsJudgedAtOnceWhateverItStartsWith) {
    Enlace_Arriba();
    const QByteArray sondeo = Vector(Respuesta_Sondeo);
    QByteArray primero_roto = sondeo;
    primero_roto[0] = 0x7F;
    QByteArray choque = sondeo;
    for (qsizetype i = 0; i < choque.size(); i += 2)
        choque[i] = static_cast<char>(choque[i] | 0x21); // two frames ORed on the wire
    const std::pair<const char *, QByteArray> casos[] = {
        {"collided", choque},
        {"first byte damaged", primero_roto},
        {"stray byte ahead", QByteArray(1, '\xA5') + sondeo},
    };
    for (const auto &[nombre, llega] : casos) {
        SCOPED_TRACE(nombre);
        Estado.Errores_CRC = 0;
        Responde_Siempre(llega);
        puerto->escrituras.clear();
        const uint32_t inicio = timer->Cuenta();
        EXPECT_EQ(Lee_Valores_Actuales(1), Resultado::Mala);
        EXPECT_EQ(Estado.Errores_CRC, 1);
        EXPECT_EQ(puerto->Peticiones().size(), 1u) << "judged without a resend";
        EXPECT_LE(timer->Cuenta() - inicio, 1u);
        EXPECT_TRUE(Estado.Comunicacion_OK);
        EXPECT_FALSE(Estado.Ocupado);
    }
    Responde_Siempre(Con_Error(Vector(QStringLiteral("setpoint write reply, address 1"))).mid(1) +
                     QByteArray(1, '\x01'));
    operador->Espera_Mensaje(QStringLiteral("Write Error SetPoints"), QStringLiteral("KV-73"));
    EXPECT_EQ(Escribe_Setpoints(1), Resultado::Mala);
}

// An exception reply (5 bytes) is shorter than every reply: the main page waits
// it out and the link fails, four sends and five ticks; kv73ctl, which asks for
// it, has its code at once, after one send and without the link failure.
TEST_F(Protocolo, AnExceptionReplyIsWaitedOutUnlessTheCallerAsksForIt) {
    Enlace_Arriba();
    QByteArray excepcion = Hex("01 84 04");
    Agrega_CRC(excepcion);
    Responde_Siempre(excepcion);
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    EXPECT_EQ(Lee_Valores_Actuales(1), Resultado::Sin_Respuesta);
    EXPECT_EQ(puerto->Peticiones().size(), 4u);

    Enlace_Arriba();
    puerto->escrituras.clear();
    Estado.Excepcion_Termina = true;
    EXPECT_EQ(Lee_Valores_Actuales(1), Resultado::Excepcion);
    EXPECT_EQ(Estado.Codigo_Excepcion, 0x04);
    EXPECT_EQ(puerto->Peticiones().size(), 1u);
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Ocupado);
    // Only an exception to this very request counts: another function's goes
    // the usual way.
    QByteArray ajena = Hex("01 83 02");
    Agrega_CRC(ajena);
    Responde_Siempre(ajena);
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    EXPECT_EQ(Lee_Valores_Actuales(1), Resultado::Sin_Respuesta);
}

// A slow relay answers a resend too, after the reply that was taken. Nothing
// waits for that answer beyond the frame gap: the next exchange goes out in the
// same tick, and a tail still arriving when it starts is dropped with the rest.
TEST_F(Protocolo, AfterAResendTheNextRequestGoesOutAtOnceAndALateTailIsDropped) {
    Enlace_Arriba();
    const QByteArray identificacion = Vector(QStringLiteral(
        "identification reply, address 1, registers 0x0002 0x0001 0x007F (accepted)"));
    int peticiones = 0;
    puerto->al_recibir = [&](const QByteArray &p) {
        ++peticiones;
        if (p[1] == 0x04 && peticiones == 2)
            puerto->Inyecta(identificacion); // the answer to the first send, late
        else if (p[1] == 0x03)
            puerto->Inyecta_Despues(Tick_ms / 4, Vector(Respuesta_Setpoints));
    };
    EXPECT_EQ(Lee_Identificacion(1), Resultado::Buena);
    const uint32_t fin_identificacion = timer->Cuenta();
    // The relay's answer to the resend: its first half is in when the setpoint
    // read starts, the rest comes a millisecond later.
    puerto->Inyecta(identificacion.left(5));
    puerto->Inyecta_Despues(1, identificacion.mid(5));
    puerto->escrituras.clear();
    EXPECT_EQ(Lee_Setpoints(1), Resultado::Buena);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17), Vector(Respuesta_Setpoints));
    EXPECT_LE(timer->Cuenta() - fin_identificacion, 1u) << "no quiet ticks waited for";
    ASSERT_FALSE(puerto->escrituras.empty());
    EXPECT_EQ(puerto->escrituras.front().segundos, 0);
}

// Polls of the main page run inside a command's wait every half tick, each an
// exchange of its own: the command still ends at its own fifth tick.
TEST_F(Protocolo, ExchangesRunInsideAWaitTakeNoTicksFromIt) {
    Enlace_Arriba();
    puerto->al_recibir = [this](const QByteArray &p) {
        if (p[1] == 0x04)
            puerto->Inyecta(Vector(Respuesta_Sondeo)); // polls answered, the command not
    };
    // The page's poll timer, every half tick while the command waits.
    int sondeos = 0;
    bool sondeando = true;
    std::function<void()> sondea = [&] {
        if (!sondeando)
            return;
        ++sondeos;
        Lee_Valores_Actuales(1);
        Despues(Tick_ms / 2, sondea);
    };
    Despues(Tick_ms / 2, sondea);
    const uint32_t inicio = timer->Cuenta();
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    int32_t comando = 2;
    EXPECT_EQ(Ejecuta_Comando(1, comando), Resultado::Sin_Respuesta);
    sondeando = false;
    EXPECT_EQ(timer->Cuenta() - inicio, 5u);
    EXPECT_GE(sondeos, 6);
    QByteArray comandos;
    for (const QByteArray &p : puerto->Peticiones())
        if (p[1] == 0x05)
            comandos += p;
    EXPECT_EQ(comandos.size(), 4 * 8) << "sent at ticks 0, 2, 3 and 4 of its own";
}

// A device that goes away during a wait ends it at once with the link failure;
// nothing more is written to the closed port. A signal to kv73ctl ends it at
// once too, but without the link failure, and leaves no read busy.
TEST_F(Protocolo, ALostPortOrAnInterruptionEndsTheWaitAtOnce) {
    for (const bool interrupcion : {false, true}) {
        SCOPED_TRACE(interrupcion ? "interrupted" : "port lost");
        Reinicia_Estado();
        Enlace_Arriba();
        puerto->escrituras.clear();
        QObject alcance;
        Despues(
            Tick_ms / 2,
            [&] {
                if (interrupcion)
                    Estado.Interrupcion = true;
                else
                    puerto->Desaparece();
            },
            &alcance);
        if (!interrupcion)
            operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
        const uint32_t inicio = timer->Cuenta();
        const uint32_t fallos = enlace->Cuentas().Fallos_Enlace;
        EXPECT_EQ(Lee_Setpoints(1), interrupcion ? Resultado::Cancelada : Resultado::Sin_Respuesta);
        EXPECT_EQ(timer->Cuenta() - inicio, 0u);
        EXPECT_EQ(puerto->Todo_Lo_Escrito(),
                  Vector(QStringLiteral("setpoint read request, address 1")));
        EXPECT_FALSE(Estado.Ocupado);
        EXPECT_EQ(enlace->Cuentas().Fallos_Enlace - fallos, interrupcion ? 0u : 1u);
        puerto->Set_PortOpen(false);
    }
}

TEST_F(Protocolo, AWriteThatTimesOutKeepsTheFrameItSent) {
    Enlace_Arriba();
    for (std::size_t i = 8; i <= 19; ++i) {
        Estado.Set_Setpoints[i - 4] = 0x11;
        Estado.Nuevos_Setpoints[i] = static_cast<uint8_t>(i);
    }
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    EXPECT_EQ(Escribe_Setpoints(1), Resultado::Sin_Respuesta);
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 8, 12), Bytes(Estado.Nuevos_Setpoints, 8, 12))
        << "the values that went out, not what the relay last reported";
    EXPECT_EQ(Estado.Set_Setpoints[4], 0x11);
}

TEST_F(Protocolo, ClosedPortOrLinkDownSendsNothing) {
    Estado.Comunicacion_OK = true;
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    EXPECT_FALSE(Estado.Comunicacion_OK) << "a read on a closed port marks the link down";
    EXPECT_FALSE(Estado.Ocupado);
    ASSERT_TRUE(puerto->Set_PortOpen(true));
    int32_t comando = 16;
    Ejecuta_Comando(Estado.Direccion_Rele, comando);
    EXPECT_TRUE(puerto->escrituras.empty());
}

TEST_F(Protocolo, CommandsTellTheOperatorExceptOneAndTwo) {
    Enlace_Arriba();
    int32_t comando = 16;
    Responde_Siempre(Vector(QStringLiteral("command 16 request (and its echo reply), address 1")));
    operador->Espera_Mensaje(QStringLiteral("Command Executed"), QStringLiteral("KV-73"));
    Ejecuta_Comando(1, comando);

    // An exception reply is five bytes: the second send brings the input to ten,
    // and the first eight fail the CRC test.
    Responde_Siempre(Vector(QStringLiteral(
        "exception reply to a write of a single coil (function 0x85, code 02), address 1")));
    puerto->escrituras.clear();
    operador->Espera_Mensaje(QStringLiteral("Error executing command"), QStringLiteral("KV-73"));
    Ejecuta_Comando(1, comando);
    EXPECT_EQ(puerto->Peticiones().size(), 2u);
    for (int32_t silencioso : {1, 2})
        Ejecuta_Comando(1, silencioso); // bad replies again, and no message

    // Silent relay: the link failure, not the command error.
    puerto->al_recibir = nullptr;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Ejecuta_Comando(1, comando);
    EXPECT_FALSE(Estado.Comunicacion_OK);
}

TEST_F(Protocolo, IdentificationJudgesTheLowBytesOfTheFirstTwoRegisters) {
    const QByteArray aceptada = Vector(QStringLiteral(
        "identification reply, address 1, registers 0x0002 0x0001 0x007F (accepted)"));
    const QByteArray rechazada = Vector(QStringLiteral(
        "identification reply, address 1, registers 0x0003 0x0001 0x007F (refused)"));
    const std::pair<QByteArray, bool> casos[] = {
        {aceptada, true},
        {rechazada, false},
        {Vector(QStringLiteral("identification reply, address 1, registers 0x0102 0x0001 0x0096 "
                               "(accepted: low bytes only)")),
         true},
        // Register 0x0001 counts as much as register 0x0000.
        {Con_Crc(Hex("01 04 06 00 02 00 02 00 7F")), false},
        {Con_Crc(Hex("01 04 06 00 02 01 00 00 7F")), false},
    };
    Enlace_Arriba();
    for (const auto &[respuesta, aceptado] : casos) {
        Responde_Siempre(respuesta);
        Lee_Identificacion(1);
        EXPECT_EQ(Verifica_Identificacion(), aceptado) << respuesta.toHex(' ').toStdString();
    }
    // A reply damaged in either byte of its CRC leaves the last good
    // identification in place, and the next read still goes out.
    for (const int byte_crc : {1, 2}) {
        SCOPED_TRACE(byte_crc == 1 ? "high CRC byte" : "low CRC byte");
        Responde_Siempre(aceptada);
        Lee_Identificacion(1);
        Estado.Errores_CRC = 0;
        Responde_Siempre(Con_Error(rechazada, byte_crc));
        Lee_Identificacion(1);
        EXPECT_TRUE(Verifica_Identificacion());
        EXPECT_EQ(Estado.Errores_CRC, 1);
        Responde_Siempre(rechazada);
        puerto->escrituras.clear();
        Lee_Identificacion(1);
        EXPECT_EQ(puerto->Peticiones().size(), 1u) << "the read after a bad reply was skipped";
        EXPECT_FALSE(Verifica_Identificacion());
    }
}

TEST_F(Protocolo, AReplyWithOnlyItsLowCrcByteWrongIsNeverTakenAsGood) {
    Enlace_Arriba();
    const auto bajo_malo = [](const QString &descripcion) {
        return Con_Error(Vector(descripcion), 2);
    };

    Estado.Valores_Actuales[4] = 0x42;
    Responde_Siempre(bajo_malo(Respuesta_Sondeo));
    Lee_Valores_Actuales(1);
    EXPECT_EQ(Estado.Valores_Actuales[4], 0x42) << "the poll kept a damaged reply";
    EXPECT_EQ(Estado.Errores_CRC, 1);

    // The setpoint read asks again at once, and takes the good reply.
    int peticiones = 0;
    puerto->al_recibir = [&](const QByteArray &) {
        ++peticiones;
        puerto->Inyecta(peticiones == 1 ? bajo_malo(Respuesta_Setpoints)
                                        : Vector(Respuesta_Setpoints));
    };
    Lee_Setpoints(1);
    EXPECT_EQ(peticiones, 2);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17), Vector(Respuesta_Setpoints));

    Responde_Siempre(bajo_malo(QStringLiteral("setpoint write reply, address 1")));
    operador->Espera_Mensaje(QStringLiteral("Write Error SetPoints"), QStringLiteral("KV-73"));
    Escribe_Setpoints(1);

    Responde_Siempre(
        bajo_malo(QStringLiteral("command 16 request (and its echo reply), address 1")));
    operador->Espera_Mensaje(QStringLiteral("Error executing command"), QStringLiteral("KV-73"));
    int32_t comando = 16;
    Ejecuta_Comando(1, comando);
}

TEST_F(Protocolo, TickParksItselfPastOneHundred) {
    Estado.Segundos = 100;
    timer->Set_Enabled(true);
    Espera_Hasta([] { return Estado.Segundos != 100; });
    EXPECT_EQ(Estado.Segundos, 101);
    EXPECT_TRUE(timer->Enabled());
    Espera_Hasta([] { return Estado.Segundos != 101; });
    EXPECT_EQ(Estado.Segundos, 1);
    EXPECT_FALSE(timer->Enabled()) << "a tick nothing stops switches itself off";
}
