#pragma once
// The serial seam: the port operations the program uses, as the relay exchange,
// the modem dial-up and the host form see them. Production: Puerto_QSerialPort;
// tests put an in-memory port in its place.

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <cstdint>
#include <optional>

// The line format of a settings text such as " 9600,N,8,1".
struct Formato_Linea {
    int32_t velocidad = 9600;
    QSerialPort::Parity paridad = QSerialPort::NoParity;
    QSerialPort::DataBits datos = QSerialPort::Data8;
    QSerialPort::StopBits parada = QSerialPort::OneStop;
};

// Reads a settings text: speed, parity letter (N, E, O, M, S), data bits (5..8),
// stop bits (1, 1.5, 2), blanks around each field allowed. Nothing for a text
// that does not fit that form.
std::optional<Formato_Linea> Analiza_Settings(const QString &texto);

// Where the device of a port number came from.
enum class Origen_Dispositivo {
    Entorno,  // KV73_COMn
    Asignado, // chosen by the operator in "Port devices"
    Defecto   // the platform's own name for the port
};

struct Dispositivo_Puerto {
    QString dispositivo;
    Origen_Dispositivo origen = Origen_Dispositivo::Defecto;
};

// The device a port number opens: KV73_COMn when set, else the device the
// operator assigned to COMn, else the platform's name (/dev/ttyS<n-1>, COMn).
Dispositivo_Puerto Dispositivo_De(int16_t puerto);
QString Nombre_Dispositivo(int16_t puerto);
QString Dispositivo_Por_Defecto(int16_t puerto);

// The assignments live in the program's settings (organization "KV-73",
// application "kv73": ~/.config/KV-73/kv73.conf on Linux), shared by kv73 and
// kv73ctl. An empty path takes the assignment away.
QString Dispositivo_Asignado(int16_t puerto);
void Asigna_Dispositivo(int16_t puerto, const QString &dispositivo);

// Whether this user may open the device for reading and writing; always for a
// network device (tcp://HOST:PORT, modbus-tcp://HOST[:PORT]), which no file
// rights guard.
bool Acceso_Dispositivo(const QString &dispositivo);

class Puerto_Serie : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    virtual void Set_CommPort(int16_t puerto) = 0;
    virtual int16_t CommPort() const = 0;
    // False when the text is not a line format; the settings keep their value.
    virtual bool Set_Settings(const QString &texto) = 0;
    virtual QString Settings() const = 0;

    // Opening may fail (missing or busy port): false, with Error_Texto telling why.
    // Opening sets the read length back to "everything" and drops any input
    // left over from before.
    virtual bool Set_PortOpen(bool abierto) = 0;
    virtual bool PortOpen() const = 0;
    virtual QString Error_Texto() const = 0;

    virtual void Set_DTREnable(bool activo) = 0;
    // Receive and send thresholds: 0 while a modem or a relay is talked to, 1
    // once a remote modem has been programmed. The program polls all its input
    // and wakes on Llegan_Datos whatever they hold, so no port acts on them;
    // the port they are set on keeps them, for whoever asks.
    void Set_RThreshold(int umbral) { r_threshold_ = umbral; }
    int RThreshold() const { return r_threshold_; }
    void Set_SThreshold(int umbral) { s_threshold_ = umbral; }
    int SThreshold() const { return s_threshold_; }
    // 0: a read takes everything waiting; n: at most n bytes.
    virtual void Set_InputLen(int longitud) = 0;

    virtual int InBufferCount() = 0;
    // Takes the waiting input, raw bytes, 0x00 and 0xFF included.
    virtual QByteArray Input() = 0;
    // Sends each byte as it is, a lone 0x00 included.
    virtual void Output(const QByteArray &bytes) = 0;

    // The port closed itself because its device failed or went away (an
    // unplugged adapter, the far end of a pseudo-terminal closed), rather than
    // being closed by the program. Cleared when the program opens the port again.
    virtual bool Perdido() const { return perdido_; }

  protected:
    void Marca_Perdido(bool perdido) { perdido_ = perdido; }

  signals:
    // Input arrived, or the port closed itself after the device went away:
    // wakes whoever waits.
    void Llegan_Datos();

  private:
    bool perdido_ = false;
    int r_threshold_ = 0;
    int s_threshold_ = 0;
};
