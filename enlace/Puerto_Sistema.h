#pragma once
// The production port: a serial device, a serial device server on the network
// when the port's device is named tcp://HOST:PORT, or a Modbus TCP gateway when
// it is named modbus-tcp://HOST[:PORT]. The choice is made at each opening, so
// that a device assigned meanwhile is taken as it now is.

#include "enlace/Puerto_Reenvio.h"

class Puerto_QSerialPort;
class Puerto_Tcp;
class Puerto_Modbus_Tcp;

class Puerto_Sistema : public Puerto_Reenvio {
    Q_OBJECT
  public:
    explicit Puerto_Sistema(QObject *padre = nullptr);

    // All the ports keep the number and the settings, whichever opens next.
    void Set_CommPort(int16_t puerto) override;
    bool Set_Settings(const QString &texto) override;
    bool Set_PortOpen(bool abierto) override;

    // The device to open whatever the port number says (kv73ctl --device);
    // empty: the port number's device, as the settings and KV73_COMn name it.
    void Set_Dispositivo(const QString &dispositivo);
    QString Dispositivo() const;

    // Whether the port in use is a network one.
    bool En_Red() const;

  private:
    Puerto_QSerialPort *serie_;
    Puerto_Tcp *tcp_;
    Puerto_Modbus_Tcp *modbus_;
    QString dispositivo_;
};
