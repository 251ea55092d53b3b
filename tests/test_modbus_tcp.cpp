// Relays behind a Modbus TCP gateway: the translation between RTU and Modbus TCP
// frames, then libmodbus's TCP server, a Modbus implementation that shares no
// code with ours, playing the gateway with the relay's registers behind it.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Temporizador.h"
#include "enlace/Puerto_Modbus_Tcp.h"
#include "enlace/Puerto_Sistema.h"
#include "enlace/Puerto_Trazado.h"
#include "enlace/Traza_Trafico.h"
#include "protocolo/Crc.h"
#include "protocolo/Enlace_Rele.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Simulador.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray Con_Crc(QByteArray trama) {
    Agrega_CRC(trama);
    return trama;
}

// Writes a request a byte at a time, as the exchange does; what went out.
QByteArray Escribe_Por_Bytes(Traductor_Modbus_Tcp &t, const QByteArray &rtu) {
    QByteArray enviado;
    for (const char b : rtu)
        enviado += t.Escribe(QByteArray(1, b));
    return enviado;
}

template <typename F> bool Hasta(F condicion, int ms = 5000) {
    QElapsedTimer reloj;
    reloj.start();
    while (!condicion() && reloj.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condicion();
}

// libmodbus's TCP server on a free loopback port, one connection at a time,
// holding the relay's identification, setpoints and actual values (fewer input
// registers make the actual values an address it does not hold).
class Pasarela_Libmodbus {
  public:
    explicit Pasarela_Libmodbus(int registros_entrada = 0x020E) {
        contexto_ = modbus_new_tcp("127.0.0.1", 0);
        modbus_set_indication_timeout(contexto_, 0, 50000);
        mapa_ = modbus_mapping_new_start_address(0, 17, 0, 0, 0x0100, 6, 0, registros_entrada);
        const uint16_t id[] = {0x0002, 0x0001, 0x0082};
        std::copy(std::begin(id), std::end(id), mapa_->tab_input_registers);
        const uint16_t setpoints[] = {90, 110, 60, 75, 0x000B, 0x1234};
        std::copy(std::begin(setpoints), std::end(setpoints), mapa_->tab_registers);
        for (int k = 0; k < 14 && 0x0200 + k < registros_entrada; ++k)
            mapa_->tab_input_registers[0x0200 + k] = static_cast<uint16_t>(0x0100 * k + 60 + k);
        escucha_ = modbus_tcp_listen(contexto_, 1);
        sockaddr_in direccion{};
        socklen_t largo = sizeof direccion;
        getsockname(escucha_, reinterpret_cast<sockaddr *>(&direccion), &largo);
        puerto_ = ntohs(direccion.sin_port);
        hilo_ = std::thread([this] { Sirve(); });
    }
    ~Pasarela_Libmodbus() {
        fin_ = true;
        hilo_.join();
        close(escucha_);
        modbus_mapping_free(mapa_);
        modbus_free(contexto_);
    }
    QString Dispositivo() const { return QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(puerto_); }
    int Puerto() const { return puerto_; }
    // Read once the reply is in: the server wrote before it answered.
    uint16_t Registro(int n) const { return mapa_->tab_registers[n]; }
    bool Bobina(int n) const { return mapa_->tab_bits[n] != 0; }
    int Ultima_Unidad() const { return unidad_; }
    int Peticiones() const { return peticiones_; }

  private:
    void Sirve() {
        while (!fin_) {
            pollfd p{escucha_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || modbus_tcp_accept(contexto_, &escucha_) < 0)
                continue;
            uint8_t peticion[MODBUS_TCP_MAX_ADU_LENGTH];
            while (!fin_) {
                const int n = modbus_receive(contexto_, peticion);
                if (n < 0 && errno != ETIMEDOUT)
                    break;
                if (n <= 0)
                    continue;
                unidad_ = peticion[6];
                modbus_reply(contexto_, peticion, n, mapa_);
                ++peticiones_;
            }
            modbus_close(contexto_);
        }
    }
    modbus_t *contexto_;
    modbus_mapping_t *mapa_;
    int escucha_ = -1;
    int puerto_ = 0;
    std::atomic<int> unidad_{-1};
    std::atomic<int> peticiones_{0};
    std::atomic<bool> fin_{false};
    std::thread hilo_;
};

// The production port on the gateway, traced, under a link object.
struct Banco_Pasarela {
    explicit Banco_Pasarela(const QString &dispositivo) {
        Reinicia_Estado();
        timer.Set_Interval(200);
        puerto.Set_Dispositivo(dispositivo);
        Estado.Comunicacion_OK = true;
    }
    Puerto_Sistema puerto;
    Traza_Trafico traza;
    Puerto_Trazado trazado{puerto, traza};
    Temporizador_Comunicacion timer;
    Operador_Guionizado operador;
    Ventanas_En_Memoria ventanas;
    Enlace_Rele enlace{trazado, timer, operador, ventanas};
};

} // namespace

TEST(ModbusTcp, DeviceNamesOfTheGatewayForm) {
    EXPECT_TRUE(Es_Dispositivo_Modbus_Tcp(QStringLiteral(" MODBUS-TCP://gw:1502")));
    EXPECT_FALSE(Es_Dispositivo_Modbus_Tcp(QStringLiteral("tcp://gw:1502")));
    const auto defecto = Analiza_Dispositivo_Modbus_Tcp(QStringLiteral("modbus-tcp://gw"), nullptr);
    ASSERT_TRUE(defecto);
    EXPECT_EQ(defecto->servidor, QStringLiteral("gw"));
    EXPECT_EQ(defecto->puerto, 502);
    const auto v6 =
        Analiza_Dispositivo_Modbus_Tcp(QStringLiteral("modbus-tcp://[::1]:1502/"), nullptr);
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->servidor, QStringLiteral("::1"));
    EXPECT_EQ(v6->puerto, 1502);
    for (const char *malo :
         {"modbus-tcp://", "modbus-tcp://gw:", "modbus-tcp://gw:0", "modbus-tcp://gw:70000",
          "modbus-tcp://gw:502/x", "modbus-tcp://u@gw", "modbus-tcp://gw?unit=1", "tcp://gw:502"}) {
        QString error;
        EXPECT_FALSE(Analiza_Dispositivo_Modbus_Tcp(QLatin1String(malo), &error)) << malo;
        EXPECT_TRUE(error.contains(QStringLiteral("give modbus-tcp://HOST[:PORT]"))) << malo;
    }
}

TEST(ModbusTcp, EachWholeRequestGoesOutAsOneFrameWithTheAddressAsUnit) {
    Traductor_Modbus_Tcp t;
    EXPECT_EQ(Escribe_Por_Bytes(t, Con_Crc(Hex("11 04 00 00 00 03"))),
              Hex("00 01 00 00 00 06 11 04 00 00 00 03"));
    // A register write's length comes from its byte count.
    EXPECT_EQ(Escribe_Por_Bytes(t, Con_Crc(Hex("05 10 01 00 00 02 04 00 5A 00 6E"))),
              Hex("00 02 00 00 00 0B 05 10 01 00 00 02 04 00 5A 00 6E"));
    // A request that fails its CRC is not sent and does not shift the next.
    QByteArray mala = Con_Crc(Hex("01 03 01 00 00 06"));
    mala[7] = static_cast<char>(mala[7] ^ 0x01);
    EXPECT_TRUE(Escribe_Por_Bytes(t, mala).isEmpty());
    EXPECT_EQ(Escribe_Por_Bytes(t, Con_Crc(Hex("01 05 00 10 FF 00"))),
              Hex("00 03 00 00 00 06 01 05 00 10 FF 00"));
    // A stray byte is dropped when the input is read before the next request.
    t.Escribe(QByteArray(1, '\0'));
    t.Descarta_Peticion();
    EXPECT_EQ(Escribe_Por_Bytes(t, Con_Crc(Hex("01 04 02 00 00 0E"))),
              Hex("00 04 00 00 00 06 01 04 02 00 00 0E"));
}

TEST(ModbusTcp, RepliesArePutTogetherAndTakenOnlyForTheRequestInHand) {
    Traductor_Modbus_Tcp t;
    const QByteArray lectura = Con_Crc(Hex("01 04 00 00 00 03"));
    Escribe_Por_Bytes(t, lectura);
    // A reply in three segments, the header itself cut.
    QByteArray rtu;
    EXPECT_TRUE(t.Recibe(Hex("00 01 00"), rtu));
    EXPECT_TRUE(t.Recibe(Hex("00 00 09 01 04 06 00"), rtu));
    EXPECT_TRUE(rtu.isEmpty());
    EXPECT_TRUE(t.Recibe(Hex("02 00 01 00 82"), rtu));
    EXPECT_EQ(rtu, Con_Crc(Hex("01 04 06 00 02 00 01 00 82")));

    // The relay is slow: the exchange resends and the answer to the first send
    // counts; one to an earlier request does not. An exception reply passes as
    // the relay's own.
    const QByteArray escritura = Con_Crc(Hex("01 05 00 10 FF 00"));
    Escribe_Por_Bytes(t, escritura);
    Escribe_Por_Bytes(t, escritura);
    rtu.clear();
    EXPECT_TRUE(t.Recibe(Hex("00 01 00 00 00 09 01 04 06 00 02 00 01 00 82"), rtu));
    EXPECT_TRUE(rtu.isEmpty()) << "a late second answer to the read";
    EXPECT_TRUE(t.Recibe(Hex("00 02 00 00 00 03 01 85 02"), rtu));
    EXPECT_EQ(rtu, Con_Crc(Hex("01 85 02")));
    // Answered: the same request again is a new one, and the resend's answer is stale.
    Escribe_Por_Bytes(t, escritura);
    rtu.clear();
    EXPECT_TRUE(t.Recibe(Hex("00 03 00 00 00 06 01 05 00 10 FF 00"), rtu));
    EXPECT_TRUE(rtu.isEmpty());
    EXPECT_TRUE(t.Recibe(Hex("00 04 00 00 00 06 01 05 00 10 FF 00"), rtu));
    EXPECT_EQ(rtu, escritura);

    // Headers no Modbus TCP frame has.
    for (const char *malo :
         {"00 04 00 01 00 06 01 05 00 10 FF 00", "00 04 00 00 00 01 01", "00 04 00 00 01 00 01"}) {
        Traductor_Modbus_Tcp otro;
        EXPECT_FALSE(otro.Recibe(Hex(malo), rtu)) << malo;
    }
}

// A gateway scripted byte by byte: what the port does with what TCP delivers.
TEST(ModbusTcp, ThePortDropsStaleRepliesJoinsSplitOnesAndLosesABrokenStream) {
    Reinicia_Estado();
    QTcpServer servidor;
    ASSERT_TRUE(servidor.listen(QHostAddress::LocalHost, 0));
    Puerto_Modbus_Tcp puerto;
    puerto.Set_Dispositivo(QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(servidor.serverPort()));
    ASSERT_TRUE(puerto.Set_PortOpen(true)) << puerto.Error_Texto().toStdString();
    ASSERT_TRUE(Hasta([&] { return servidor.hasPendingConnections(); }));
    QTcpSocket *pasarela = servidor.nextPendingConnection();

    for (const char b : Con_Crc(Hex("07 04 00 00 00 03")))
        puerto.Output(QByteArray(1, b));
    QByteArray adu;
    ASSERT_TRUE(Hasta([&] {
        adu += pasarela->readAll();
        return adu.size() >= 12;
    }));
    EXPECT_EQ(adu, Hex("00 01 00 00 00 06 07 04 00 00 00 03"));

    QSignalSpy llegadas(&puerto, &Puerto_Serie::Llegan_Datos);
    pasarela->write(Hex("FF FF 00 00 00 09 07 04 06 00 09 00 09 00 09 00 01 00 00 00 09 07"));
    ASSERT_TRUE(Hasta([&] { return llegadas.count() > 0; }));
    EXPECT_EQ(puerto.InBufferCount(), 0) << "a stale reply, and half of the right one";
    pasarela->write(Hex("04 06 00 02 00 01 00 82"));
    ASSERT_TRUE(Hasta([&] { return puerto.InBufferCount() >= 11; }));
    EXPECT_EQ(puerto.Input(), Con_Crc(Hex("07 04 06 00 02 00 01 00 82")));

    pasarela->write(Hex("00 01 00 07 00 06 07 04 00 00 00 03"));
    ASSERT_TRUE(Hasta([&] { return !puerto.PortOpen(); }));
    EXPECT_TRUE(puerto.Perdido());
    EXPECT_EQ(puerto.Error_Texto(),
              QStringLiteral("connection dropped: the gateway's reply is not Modbus TCP"));
}

TEST(ModbusTcp, LibmodbusGatewayAnswersEveryTransactionOfTheRelay) {
    Pasarela_Libmodbus pasarela;
    Banco_Pasarela b(pasarela.Dispositivo());
    ASSERT_TRUE(b.trazado.Set_PortOpen(true)) << b.puerto.Error_Texto().toStdString();
    EXPECT_TRUE(b.puerto.En_Red());

    EXPECT_EQ(b.enlace.Lee_Identificacion(17), Resultado::Buena);
    EXPECT_TRUE(Verifica_Identificacion());
    EXPECT_EQ(pasarela.Ultima_Unidad(), 17) << "the relay's address is the unit identifier";

    EXPECT_EQ(b.enlace.Lee_Setpoints(17), Resultado::Buena);
    const uint8_t setpoints[] = {0x00, 90, 0x00, 110, 0x00, 60, 0x00, 75, 0x00, 0x0B, 0x12, 0x34};
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(Estado.Set_Setpoints[4 + i], setpoints[i]) << "byte " << 4 + i;

    Estado.Nuevos_Setpoints[8] = 0x00;
    Estado.Nuevos_Setpoints[9] = 95;
    Estado.Nuevos_Setpoints[18] = 0x43;
    Estado.Nuevos_Setpoints[19] = 0x21;
    b.operador.Espera_Mensaje(QStringLiteral("Setpoints were Saved to the Relay memory"),
                              QStringLiteral("KV-73"));
    EXPECT_EQ(b.enlace.Escribe_Setpoints(17), Resultado::Buena);
    EXPECT_EQ(pasarela.Registro(0), 95);
    EXPECT_EQ(pasarela.Registro(1), 110);
    EXPECT_EQ(pasarela.Registro(5), 0x4321);

    EXPECT_EQ(b.enlace.Lee_Valores_Actuales(17), Resultado::Buena);
    for (std::size_t k = 0; k < 14; ++k) {
        EXPECT_EQ(Estado.Valores_Actuales[4 + 2 * k], k);
        EXPECT_EQ(Estado.Valores_Actuales[5 + 2 * k], 60 + k);
    }
    b.operador.Espera_Mensaje(QStringLiteral("Command Executed"), QStringLiteral("KV-73"));
    int32_t comando = 16;
    b.enlace.Ejecuta_Comando(17, comando);
    EXPECT_TRUE(pasarela.Bobina(16));
    EXPECT_EQ(b.enlace.Cuentas().Fallos_Enlace, 0u);
    EXPECT_EQ(pasarela.Peticiones(), 5) << "one frame a transaction, no resends";
    EXPECT_EQ(b.puerto.Dispositivo(), pasarela.Dispositivo());

    // The trace shows the relay's RTU frames, CRC and all, as on a serial line.
    b.traza.Vacia();
    const std::vector<Linea_Traza> lineas = b.traza.Lineas_Desde(0);
    ASSERT_GE(lineas.size(), 3u);
    EXPECT_TRUE(Texto_Linea(lineas[1]).contains("> 11 04 00 00 00 03 B2 9B  read input"));
    EXPECT_TRUE(Texto_Linea(lineas[2]).contains("< 11 04 06 00 02 00 01 00 82 05 32  reply"));
    const Contadores_Traza c = b.traza.Contadores();
    EXPECT_EQ(c.peticiones, 5u);
    EXPECT_EQ(c.respuestas_buenas, 5u);
    b.trazado.Set_PortOpen(false);
}

TEST(ModbusTcp, AGatewaysExceptionReplyIsTheRelaysExceptionReply) {
    Pasarela_Libmodbus pasarela(3);
    Banco_Pasarela b(pasarela.Dispositivo());
    Estado.Excepcion_Termina = true;
    ASSERT_TRUE(b.trazado.Set_PortOpen(true)) << b.puerto.Error_Texto().toStdString();
    EXPECT_EQ(b.enlace.Lee_Valores_Actuales(1), Resultado::Excepcion);
    EXPECT_EQ(Estado.Codigo_Excepcion, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
    EXPECT_EQ(b.traza.Contadores().excepciones, 1u);
    // The link goes on: the next read is answered.
    EXPECT_EQ(b.enlace.Lee_Identificacion(1), Resultado::Buena);
    b.trazado.Set_PortOpen(false);
}

TEST(ModbusTcp, AGatewayThatGoesAwayOrRefusesIsALostOrUnopenedPort) {
    auto pasarela = std::make_unique<Pasarela_Libmodbus>();
    const int puerto_tcp = pasarela->Puerto();
    Banco_Pasarela b(pasarela->Dispositivo());
    ASSERT_TRUE(b.trazado.Set_PortOpen(true));
    EXPECT_EQ(b.enlace.Lee_Identificacion(1), Resultado::Buena);
    pasarela.reset();
    ASSERT_TRUE(Hasta([&] { return !b.puerto.PortOpen(); }));
    EXPECT_TRUE(b.puerto.Perdido());
    EXPECT_TRUE(b.puerto.Error_Texto().startsWith(QStringLiteral("connection lost")))
        << b.puerto.Error_Texto().toStdString();

    EXPECT_FALSE(b.trazado.Set_PortOpen(true));
    EXPECT_EQ(b.puerto.Error_Texto(),
              QStringLiteral("cannot connect to 127.0.0.1:%1: connection refused").arg(puerto_tcp));
    EXPECT_FALSE(b.puerto.Perdido()) << "a new opening clears it";

    // No modem is dialled through a gateway.
    Estado.Via_Modem = true;
    EXPECT_FALSE(b.trazado.Set_PortOpen(true));
    EXPECT_TRUE(b.puerto.Error_Texto().contains(QStringLiteral("a modem cannot be dialled")))
        << b.puerto.Error_Texto().toStdString();
    Estado.Via_Modem = false;
}

TEST(ModbusTcp, Kv73ctlReadsValuesThroughTheGateway) {
    Pasarela_Libmodbus pasarela;
    const QStringList tick = {QStringLiteral("KV73_TICK_MS=20")};
    const Salida_Programa valores = Ejecuta(QStringLiteral(KV73CTL),
                                            {QStringLiteral("--device"), pasarela.Dispositivo(),
                                             QStringLiteral("--json"), QStringLiteral("values")},
                                            tick);
    EXPECT_EQ(valores.estado, 0) << valores.errores.toStdString();
    EXPECT_TRUE(valores.salida.contains(QStringLiteral("\"temperatures\":[\"60\",\"317\"")))
        << valores.salida.toStdString();

    const Salida_Programa modem =
        Ejecuta(QStringLiteral(KV73CTL),
                {QStringLiteral("--device"), pasarela.Dispositivo(), QStringLiteral("--modem"),
                 QStringLiteral("5551234"), QStringLiteral("values")},
                tick);
    EXPECT_NE(modem.estado, 0);
    EXPECT_TRUE(modem.errores.contains(QStringLiteral("a modem cannot be dialled")))
        << modem.errores.toStdString();
}

// kv73-sim's gateway, for whoever has no gateway at hand: a silent address among
// answering ones, and a reply the line damaged, which a gateway drops.
TEST(ModbusTcp, TheSimulatorServesTheLineAsAGateway) {
    Simulador sim({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--modbus-tcp"),
                   QStringLiteral("--address"), QStringLiteral("1,5")});
    ASSERT_TRUE(sim.Listo());
    const QString gateway = QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(sim.Puerto_Tcp());
    const QStringList tick = {QStringLiteral("KV73_TICK_MS=20")};
    const Salida_Programa v =
        Ejecuta(QStringLiteral(KV73CTL),
                {QStringLiteral("--device"), gateway, QStringLiteral("--json"),
                 QStringLiteral("--address"), QStringLiteral("1,9,5"), QStringLiteral("values")},
                tick);
    const QStringList lineas = v.salida.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lineas.size(), 3) << v.salida.toStdString();
    EXPECT_TRUE(lineas[0].contains(QStringLiteral("\"address\":1,\"celsius\":[")));
    EXPECT_TRUE(lineas[1].contains(QStringLiteral("\"address\":9,\"status\":\"no reply\"")));
    EXPECT_TRUE(lineas[2].contains(QStringLiteral("\"address\":5,\"celsius\":[")));

    Simulador danado({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--modbus-tcp"),
                      QStringLiteral("--bad-crc-every"), QStringLiteral("1")});
    ASSERT_TRUE(danado.Listo());
    const Salida_Programa d =
        Ejecuta(QStringLiteral(KV73CTL),
                {QStringLiteral("--device"),
                 QStringLiteral("modbus-tcp://127.0.0.1:%1").arg(danado.Puerto_Tcp()),
                 QStringLiteral("ident")},
                tick);
    EXPECT_EQ(d.estado, 2);
    EXPECT_TRUE(d.errores.contains(QStringLiteral("Relay Not Response")))
        << d.errores.toStdString();
}
