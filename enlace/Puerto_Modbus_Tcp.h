#pragma once
// The serial seam over a Modbus TCP gateway: a relay behind an RS485-to-Ethernet
// gateway that translates Modbus TCP to RTU instead of passing RTU frames on.
// The device of the port is modbus-tcp://HOST[:PORT], port 502 when none is
// given. The exchange writes and reads RTU frames as on a serial line: each
// whole request goes out as one Modbus TCP frame (the MBAP header with the
// relay's address as the unit identifier, then the function and its data
// without the CRC), and each reply comes back as the RTU frame the relay would
// have sent, its CRC computed here. The trace, the resends and the judging of
// replies stay those of a serial line; a gateway's exception reply is an
// exception reply.
//
// - A request goes out when its last byte is written (its length is the
//   function's, protocolo/Tramas.h). One that fails its CRC is not sent, as a
//   relay on the line would not answer it. Reading the input starts the next
//   request afresh, so a stray byte never shifts the requests that follow.
// - Every frame sent carries a new transaction number. A reply is taken when it
//   answers the request in hand or one of its resends (a slow gateway's answer
//   to the first send counts); any other reply, a late one to an earlier
//   request, is dropped.
// - A reply split over several TCP segments is put together by the length its
//   header gives. A header that is not Modbus TCP's (a protocol other than 0, a
//   length no frame has) leaves the stream unreadable: the connection is
//   dropped and the port is lost, as when the gateway goes away.
// - A gateway carries relay requests only: there is no line to dial a modem
//   on, and the port refuses to open while the link goes through a modem.

#include "enlace/Puerto_Tcp.h"

#include <optional>

// Whether a device name means a Modbus TCP gateway.
bool Es_Dispositivo_Modbus_Tcp(const QString &dispositivo);

// The host and port of modbus-tcp://HOST[:PORT] (an IPv6 address in brackets,
// 502 when no port is given); nothing, with the reason in `error`, for a name
// that does not fit that form.
std::optional<Destino_Tcp> Analiza_Dispositivo_Modbus_Tcp(const QString &dispositivo,
                                                          QString *error);

// The translation between RTU frames and Modbus TCP frames, without a socket.
class Traductor_Modbus_Tcp {
  public:
    // The MBAP header: transaction, protocol, length, unit identifier.
    static constexpr qsizetype Cabecera = 7;
    // The longest PDU of Modbus, and the unit identifier before it.
    static constexpr int Largo_Maximo = 254;

    // Takes bytes the exchange writes; the Modbus TCP frame to send once they
    // complete a request with a good CRC, else nothing.
    QByteArray Escribe(const QByteArray &bytes);
    // Takes bytes from the gateway and appends to `rtu` the RTU replies they
    // complete. False when the stream is not Modbus TCP.
    bool Recibe(const QByteArray &bytes, QByteArray &rtu);
    // Drops a request half written (the input was read: a new one starts).
    void Descarta_Peticion() { peticion_.clear(); }
    // A new connection: nothing pending, numbering goes on.
    void Reinicia();

  private:
    QByteArray Trama_Tcp(const QByteArray &rtu);
    bool Espera_Transaccion(quint16 transaccion) const;

    QByteArray peticion_;
    QByteArray entrada_;
    QByteArray ultima_peticion_;
    quint16 transaccion_ = 0;
    quint16 primera_ = 1;
    bool respondida_ = true;
};

class Puerto_Modbus_Tcp : public Puerto_Serie {
    Q_OBJECT
  public:
    explicit Puerto_Modbus_Tcp(QObject *padre = nullptr);
    ~Puerto_Modbus_Tcp() override;

    static constexpr quint16 Puerto_Por_Defecto = 502;

    void Set_CommPort(int16_t puerto) override;
    int16_t CommPort() const override { return puerto_; }
    // The device to open whatever the port number says (kv73ctl --device);
    // empty: the port number's device.
    void Set_Dispositivo(const QString &dispositivo) { dispositivo_ = dispositivo; }
    // Kept and given back as a serial port would; the gateway sets the line.
    bool Set_Settings(const QString &texto) override { return tcp_.Set_Settings(texto); }
    QString Settings() const override { return tcp_.Settings(); }

    bool Set_PortOpen(bool abierto) override;
    bool PortOpen() const override { return tcp_.PortOpen(); }
    QString Error_Texto() const override;
    bool Perdido() const override { return Puerto_Serie::Perdido() || tcp_.Perdido(); }

    void Set_DTREnable(bool) override {}
    void Set_InputLen(int longitud) override { longitud_lectura_ = longitud; }

    int InBufferCount() override;
    QByteArray Input() override;
    void Output(const QByteArray &bytes) override;

  private:
    void Al_Llegar();

    Puerto_Tcp tcp_;
    Traductor_Modbus_Tcp traductor_;
    QByteArray respuestas_;
    int16_t puerto_ = 1;
    QString dispositivo_;
    int longitud_lectura_ = 0;
    QString error_;
};
