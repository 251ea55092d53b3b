#pragma once
// The serial port of the production program, over QSerialPort.

#include "enlace/Puerto_Serie.h"

#include <QSerialPort>

// Why a device could not be opened, in the operator's words: no such device,
// permission denied (and what to do about it), or in use by another program.
// `accesible`: whether this user may open the device (Acceso_Dispositivo); Qt
// reports a port locked by another program as a permission error too, and only
// the rights on the device tell the two apart.
QString Razon_Apertura(QSerialPort::SerialPortError error, const QString &dispositivo,
                       bool accesible, const QString &texto_qt);

class Puerto_QSerialPort : public Puerto_Serie {
    Q_OBJECT
  public:
    explicit Puerto_QSerialPort(QObject *padre = nullptr);

    void Set_CommPort(int16_t puerto) override { puerto_ = puerto; }
    // The device to open whatever the port number says (kv73ctl --device);
    // empty: the port number's device.
    void Set_Dispositivo(const QString &dispositivo) { dispositivo_ = dispositivo; }
    int16_t CommPort() const override { return puerto_; }
    bool Set_Settings(const QString &texto) override;
    QString Settings() const override { return settings_; }

    bool Set_PortOpen(bool abierto) override;
    bool PortOpen() const override { return puerto_serie_.isOpen(); }
    QString Error_Texto() const override { return error_; }

    void Set_DTREnable(bool activo) override;
    void Set_InputLen(int longitud) override { longitud_lectura_ = longitud; }

    int InBufferCount() override;
    QByteArray Input() override;
    void Output(const QByteArray &bytes) override;

  private:
    void Al_Error(QSerialPort::SerialPortError error);

    QSerialPort puerto_serie_;
    int16_t puerto_ = 1;
    QString dispositivo_;
    QString settings_ = QStringLiteral(" 9600,N,8,1");
    Formato_Linea formato_;
    int longitud_lectura_ = 0;
    QString error_;
};
