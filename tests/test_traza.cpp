// The traffic trace: the bytes at the port grouped into frames and decoded, fed
// by hand and through the real exchange over the in-memory port.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Puerto_Trazado.h"
#include "enlace/Traza_Trafico.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"

#include <QTest>

namespace {

const QString Sondeo = QStringLiteral("actual values read request, address 1");
const QString Respuesta_Sondeo = QStringLiteral(
    "actual values reply, address 1: Pt1..Pt4 85, 0xFFFB (-5), 0x00E7 (Fco), 0xFFF5 (Fcc); "
    "maxima 97, 65, 231, 0xFFF5 (65525); 0x0208 0, 0x0209 0, 0x020A 0x0089, 0x020B 0x0008, "
    "0x020C 0x1111, 0x020D 0x2222");
const char *const Hex_Sondeo = "01 04 02 00 00 0E 70 76";
const char *const Hex_Respuesta = "01 04 1C 00 55 FF FB 00 E7 FF F5 00 61 00 41 00 E7 FF F5 00 00 "
                                  "00 00 00 89 00 08 11 11 22 22 DD 8C";

// The lines held, without their time.
std::vector<QString> Lineas(const Traza_Trafico &traza) {
    std::vector<QString> r;
    for (const Linea_Traza &l : traza.Lineas_Desde(0))
        r.push_back(Texto_Linea(l).mid(8));
    return r;
}

// A request goes out as the exchange sends it: one write a byte.
void Escribe_Por_Bytes(Traza_Trafico &traza, const QByteArray &trama) {
    for (char c : trama)
        traza.Escrito(QByteArray(1, c));
}

QString L(const char *texto) {
    return QString::fromLatin1(texto);
}

class Traza : public ::testing::Test {
  protected:
    void SetUp() override { Reinicia_Estado(); }
    Traza_Trafico traza;
};

} // namespace

TEST_F(Traza, EachTransactionIsDecodedFromTheReferenceFrames) {
    const QString Respuesta_Setpoints = QStringLiteral(
        "setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, High Fan 75, options 0x000B, "
        "0x0105 = 0x1234");
    const std::pair<QString, QString> intercambios[] = {
        {Sondeo, Respuesta_Sondeo},
        {QStringLiteral("setpoint read request, address 1"), Respuesta_Setpoints},
        {QStringLiteral("setpoint write request, address 1: L1 95, L2 120, Low Fan 60, High Fan "
                        "75, options 0x000B, 0x0105 = 0x1234"),
         QStringLiteral("setpoint write reply, address 1")},
        {QStringLiteral("command 16 request (and its echo reply), address 1"),
         QStringLiteral("command 16 request (and its echo reply), address 1")},
        {QStringLiteral("identification read request, address 1"),
         QStringLiteral("exception reply to a read of input registers (function 0x84, code 02), "
                        "address 1")},
    };
    for (const auto &[peticion, respuesta] : intercambios) {
        Escribe_Por_Bytes(traza, Vector(peticion));
        traza.Leido(Vector(respuesta));
    }
    QByteArray mala = Vector(Respuesta_Sondeo);
    mala[10] = static_cast<char>(mala[10] ^ 0x01);
    Escribe_Por_Bytes(traza, Vector(Sondeo));
    traza.Leido(mala);

    EXPECT_EQ(Lineas(traza),
              (std::vector<QString>{
                  L("> 01 04 02 00 00 0E 70 76  read input 0x0200 x14"),
                  L("< ") + L(Hex_Respuesta) + L("  reply 28 bytes CRC ok"),
                  L("> 01 03 01 00 00 06 C4 34  read holding 0x0100 x6"),
                  L("< 01 03 0C 00 5A 00 6E 00 3C 00 4B 00 0B 12 34 73 73  reply 12 bytes CRC ok"),
                  L("> 01 10 01 00 00 06 0C 00 5F 00 78 00 3C 00 4B 00 0B 12 34 4C E8  write "
                    "0x0100 x6"),
                  L("< 01 10 01 00 00 06 41 F7  reply write 0x0100 x6 CRC ok"),
                  L("> 01 05 00 10 FF 00 8D FF  command 16"),
                  L("< 01 05 00 10 FF 00 8D FF  reply command 16 CRC ok"),
                  L("> 01 04 00 00 00 03 B0 0B  read input 0x0000 x3"),
                  L("< 01 84 02 C2 C1  exception 02"),
                  L("> 01 04 02 00 00 0E 70 76  read input 0x0200 x14"),
                  L("< ") + QString::fromLatin1(mala.toHex(' ').toUpper()) +
                      L("  reply 28 bytes CRC bad"),
              }));
    const Contadores_Traza c = traza.Contadores();
    EXPECT_EQ(c.peticiones, 6u);
    EXPECT_EQ(c.respuestas_buenas, 4u);
    EXPECT_EQ(c.excepciones, 1u);
    EXPECT_EQ(c.crc_malos, 1u);
    EXPECT_EQ(c.sin_respuesta, 0u);
}

TEST_F(Traza, SplitRepliesResendsJunkAndTheGoodbyeByte) {
    const QByteArray respuesta = Vector(Respuesta_Sondeo);
    // A resend: the first request got nothing.
    Escribe_Por_Bytes(traza, Vector(Sondeo));
    Escribe_Por_Bytes(traza, Vector(Sondeo));
    // The reply in three pieces, then two stray bytes behind it.
    traza.Leido(respuesta.left(1));
    traza.Leido(respuesta.mid(1, 15));
    traza.Leido(respuesta.mid(16) + Hex("00 FF"));
    // Half a reply, then the link fails: its 0x00 goes out and the port closes.
    Escribe_Por_Bytes(traza, Vector(Sondeo));
    traza.Leido(respuesta.left(12));
    traza.Fallo_Enlace();
    traza.Escrito(QByteArray(1, '\0'));
    traza.Cerrado(false);
    // The operator leaves: a lone 0x00 with no failure behind it.
    traza.Abierto(QStringLiteral(" 9600,N,8,1"));
    traza.Escrito(QByteArray(1, '\0'));
    traza.Vacia();

    EXPECT_EQ(Lineas(traza),
              (std::vector<QString>{
                  L("> ") + L(Hex_Sondeo) + L("  read input 0x0200 x14"),
                  L("< no reply"),
                  L("> ") + L(Hex_Sondeo) + L("  read input 0x0200 x14"),
                  L("< ") + L(Hex_Respuesta) + L("  reply 28 bytes CRC ok"),
                  L("< 00 FF  2 bytes, no whole frame"),
                  L("> ") + L(Hex_Sondeo) + L("  read input 0x0200 x14"),
                  L("< 01 04 1C 00 55 FF FB 00 E7 FF F5 00  12 bytes, no whole frame"),
                  L("< no reply"),
                  L("> 00  link failure"),
                  L("- port closed"),
                  L("- port open 9600,N,8,1"),
                  L("> 00  0x00 on exit"),
              }));
    const Contadores_Traza c = traza.Contadores();
    EXPECT_EQ(c.peticiones, 3u);
    EXPECT_EQ(c.respuestas_buenas, 1u);
    EXPECT_EQ(c.sin_respuesta, 2u);
    EXPECT_EQ(c.fallos_enlace, 1u);
}

TEST_F(Traza, ModemTextLateRepliesAndTheQuietGap) {
    traza.Escrito("ATE0\r");
    traza.Leido("\r\nOK\r\n");
    traza.Escrito("ATDT123\r");
    traza.Leido("\r\nCONN");
    traza.Leido("ECT 9600\r\n");
    traza.Escrito("+++");
    // The tail of a late answer ahead of the reply to the next request.
    Escribe_Por_Bytes(traza, Vector(Sondeo));
    traza.Leido(Hex("22 22 DD 8C") + Vector(Respuesta_Sondeo).left(10));
    traza.Leido(Vector(Respuesta_Sondeo).mid(10));
    // Bytes that stop coming are shown once the line has been quiet a while.
    traza.Leido(Hex("01 04 1C"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return traza.Lineas_Desde(0).size() == 9; }, 5000));

    EXPECT_EQ(Lineas(traza), (std::vector<QString>{
                                 L("> ATE0"),
                                 L("< OK"),
                                 L("> ATDT123"),
                                 L("< CONNECT 9600"),
                                 L("> +++"),
                                 L("> ") + L(Hex_Sondeo) + L("  read input 0x0200 x14"),
                                 L("< 22 22 DD 8C  4 bytes, no whole frame"),
                                 L("< ") + L(Hex_Respuesta) + L("  reply 28 bytes CRC ok"),
                                 L("< 01 04 1C  3 bytes, no whole frame"),
                             }));
}

TEST_F(Traza, TheRingKeepsTheLastLinesAndClearStartsAgain) {
    const QByteArray peticion = Vector(Sondeo), respuesta = Vector(Respuesta_Sondeo);
    const std::size_t pares = Traza_Trafico::Capacidad / 2 + 100;
    for (std::size_t i = 0; i < pares; ++i) {
        traza.Escrito(peticion);
        traza.Leido(respuesta);
    }
    EXPECT_EQ(traza.Siguiente(), 2 * pares);
    const auto lineas = traza.Lineas_Desde(0);
    ASSERT_EQ(lineas.size(), Traza_Trafico::Capacidad);
    EXPECT_EQ(lineas.front().clase, Clase_Linea::Peticion);
    EXPECT_EQ(traza.Lineas_Desde(2 * pares - 1).size(), 1u);
    EXPECT_EQ(traza.Contadores().peticiones, pares) << "counters count past the ring";

    traza.Limpia();
    EXPECT_TRUE(traza.Lineas_Desde(0).empty());
    EXPECT_EQ(traza.Contadores().peticiones, 0u);
    traza.Escrito(peticion);
    EXPECT_EQ(traza.Lineas_Desde(0).size(), 1u);
}

namespace {

// The core's exchange on the in-memory port, with the trace between them.
class Traza_Nucleo : public Banco {
  protected:
    void SetUp() override {
        Banco::SetUp();
        trazado = std::make_unique<Puerto_Trazado>(*puerto, traza);
        // The link talks through the traced port and tells the trace of its failures.
        enlace = std::make_unique<Enlace_Rele>(*trazado, *timer, *operador, ventanas);
        enlace->Set_Traza(&traza);
    }
    void TearDown() override {
        enlace.reset();
        trazado.reset();
        Banco::TearDown();
    }
    void Abre() {
        ASSERT_TRUE(trazado->Set_PortOpen(true));
        Estado.Comunicacion_OK = true;
    }
    Traza_Trafico traza;
    std::unique_ptr<Puerto_Trazado> trazado;
};

} // namespace

TEST_F(Traza_Nucleo, ASilentRelayShowsEverySendItsTimeoutAndTheLinkFailure) {
    Abre();
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Lee_Valores_Actuales(Estado.Direccion_Rele);

    const QString envio = L("> ") + L(Hex_Sondeo) + L("  read input 0x0200 x14");
    EXPECT_EQ(Lineas(traza),
              (std::vector<QString>{L("- port open 9600,N,8,1"), envio, L("< no reply"), envio,
                                    L("< no reply"), envio, L("< no reply"), envio, L("< no reply"),
                                    L("> 00  link failure"), L("- port closed")}));
    const Contadores_Traza c = traza.Contadores();
    EXPECT_EQ(c.peticiones, 4u);
    EXPECT_EQ(c.sin_respuesta, 4u);
    EXPECT_EQ(c.fallos_enlace, 1u);
}

TEST_F(Traza_Nucleo, AReplyInPiecesIsOneLineAndAPulledDeviceIsSeen) {
    Abre();
    const QByteArray respuesta = Vector(Respuesta_Sondeo);
    puerto->al_recibir = [&](const QByteArray &) {
        puerto->Inyecta_Despues(5, respuesta.left(3));
        puerto->Inyecta_Despues(15, respuesta.mid(3, 20));
        puerto->Inyecta_Despues(25, respuesta.mid(23));
    };
    Lee_Valores_Actuales(Estado.Direccion_Rele);
    ASSERT_TRUE(Estado.Comunicacion_OK);
    puerto->Desaparece();

    EXPECT_EQ(Lineas(traza), (std::vector<QString>{
                                 L("- port open 9600,N,8,1"),
                                 L("> ") + L(Hex_Sondeo) + L("  read input 0x0200 x14"),
                                 L("< ") + L(Hex_Respuesta) + L("  reply 28 bytes CRC ok"),
                                 L("- port lost: the device went away"),
                             }));
    EXPECT_EQ(traza.Contadores().respuestas_buenas, 1u);
}
