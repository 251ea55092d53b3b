#pragma once
// kv73-sim --tcp PORT --modbus-tcp: the TCP port is a Modbus TCP gateway in
// front of the line, as an RS485-to-Ethernet gateway that translates. A client's
// Modbus TCP frame goes onto the line as the RTU request of its unit (CRC
// added); the relay's RTU reply goes back as a Modbus TCP frame with that
// request's transaction number.
//
// As a gateway does, it checks the reply's CRC and drops a damaged one, and
// drops a reply from an address no request waits for; a relay that never
// answers leaves its request waiting until another reply from the same address
// answers a later request (the client has resent by then). Line junk that makes
// no reply is dropped when the next request goes out.

#include <QByteArray>
#include <cstdint>
#include <deque>

class Pasarela_Simulada {
  public:
    // Modbus TCP bytes from the client: the RTU requests of the frames they
    // complete. False when the stream is not Modbus TCP (the client is dropped).
    bool Peticiones(const QByteArray &bytes, QByteArray &rtu);
    // RTU bytes from the line: the Modbus TCP replies they complete.
    QByteArray Respuestas(const QByteArray &bytes);
    // A new client: nothing pending.
    void Reinicia();

  private:
    struct Pendiente {
        quint16 transaccion;
        QByteArray peticion; // the RTU request, to know its reply's length
    };
    QByteArray Saca_Respuesta();

    QByteArray entrada_;
    QByteArray linea_;
    std::deque<Pendiente> pendientes_;
};
