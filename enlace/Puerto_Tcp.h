#pragma once
// The serial seam over a TCP stream: a relay behind a serial device server that
// passes RTU frames as they are. The device of the port is a name of the form
// tcp://HOST:PORT; there are no modem lines and no line settings to set.

#include "enlace/Puerto_Serie.h"

#include <QTcpSocket>
#include <optional>

// Whether a device name means a network connection rather than a serial device.
bool Es_Dispositivo_Tcp(const QString &dispositivo);

struct Destino_Tcp {
    QString servidor;
    quint16 puerto = 0;
};
// The host and port of tcp://HOST:PORT (an IPv6 address in brackets); nothing,
// with the reason in `error`, for a name that does not fit that form.
std::optional<Destino_Tcp> Analiza_Dispositivo_Tcp(const QString &dispositivo, QString *error);
// The same for any SCHEME://HOST[:PORT]: the port given, else
// `puerto_por_defecto` (-1: it must be given); `forma` is the reason's text,
// %1 the name.
std::optional<Destino_Tcp> Analiza_Url_Red(const QString &dispositivo, QLatin1String esquema,
                                           int puerto_por_defecto, const QString &forma,
                                           QString *error);

class Puerto_Tcp : public Puerto_Serie {
    Q_OBJECT
  public:
    explicit Puerto_Tcp(QObject *padre = nullptr);
    ~Puerto_Tcp() override;

    // How long an opening waits for the server before it gives up.
    static constexpr int Espera_Conexion_ms = 3000;

    void Set_CommPort(int16_t puerto) override { puerto_ = puerto; }
    // The device to open whatever the port number says (kv73ctl --device);
    // empty: the port number's device.
    void Set_Dispositivo(const QString &dispositivo) { dispositivo_ = dispositivo; }
    int16_t CommPort() const override { return puerto_; }
    // Kept and given back as a serial port would; the server sets the line.
    bool Set_Settings(const QString &texto) override;
    QString Settings() const override { return settings_; }

    bool Set_PortOpen(bool abierto) override;
    bool PortOpen() const override { return abierto_; }
    QString Error_Texto() const override { return error_; }

    void Set_DTREnable(bool) override {}
    void Set_InputLen(int longitud) override { longitud_lectura_ = longitud; }

    int InBufferCount() override;
    QByteArray Input() override;
    void Output(const QByteArray &bytes) override;

  private:
    void Al_Perder_Conexion();
    void Cierra();

    QTcpSocket socket_;
    int16_t puerto_ = 1;
    QString dispositivo_;
    QString settings_ = QStringLiteral(" 9600,N,8,1");
    int longitud_lectura_ = 0;
    bool abierto_ = false;
    QString error_;
};
