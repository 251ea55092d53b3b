#include "enlace/Puerto_QSerialPort.h"

#include <QFileInfo>

QString Razon_Apertura(QSerialPort::SerialPortError error, const QString &dispositivo,
                       bool accesible, const QString &texto_qt) {
    const QString no_existe = QStringLiteral("no such device: %1").arg(dispositivo);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return no_existe;
    case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
        // A lock file that could not be made for a device that is not there.
        if (!QFileInfo::exists(dispositivo))
            return no_existe;
#endif
        if (!accesible)
            return QStringLiteral("permission denied on %1: add your user to the dialout group")
                .arg(dispositivo);
        return QStringLiteral("%1 is in use by another program").arg(dispositivo);
    case QSerialPort::OpenError:
        return QStringLiteral("%1 is in use by another program").arg(dispositivo);
    default:
        return QStringLiteral("%1: %2").arg(dispositivo, texto_qt);
    }
}

Puerto_QSerialPort::Puerto_QSerialPort(QObject *padre) : Puerto_Serie(padre) {
    connect(&puerto_serie_, &QSerialPort::readyRead, this, &Puerto_Serie::Llegan_Datos);
    connect(&puerto_serie_, &QSerialPort::errorOccurred, this, &Puerto_QSerialPort::Al_Error);
}

bool Puerto_QSerialPort::Set_Settings(const QString &texto) {
    const auto formato = Analiza_Settings(texto);
    if (!formato)
        return false;
    settings_ = texto;
    formato_ = *formato;
    return true;
}

bool Puerto_QSerialPort::Set_PortOpen(bool abierto) {
    if (!abierto) {
        if (puerto_serie_.isOpen())
            puerto_serie_.close();
        return true;
    }
    if (puerto_serie_.isOpen())
        return true;
    error_.clear();
    Marca_Perdido(false);
    const QString dispositivo = dispositivo_.isEmpty() ? Nombre_Dispositivo(puerto_) : dispositivo_;
    puerto_serie_.setPortName(dispositivo);
    if (!puerto_serie_.open(QIODevice::ReadWrite)) {
        error_ = Razon_Apertura(puerto_serie_.error(), dispositivo, Acceso_Dispositivo(dispositivo),
                                puerto_serie_.errorString());
        return false;
    }
    // A pseudo-terminal refuses the modem-line and some line-control calls;
    // the line itself works, so those refusals are not a failure to open.
    puerto_serie_.setBaudRate(formato_.velocidad);
    puerto_serie_.setParity(formato_.paridad);
    puerto_serie_.setDataBits(formato_.datos);
    puerto_serie_.setStopBits(formato_.parada);
    puerto_serie_.setFlowControl(QSerialPort::NoFlowControl);
    puerto_serie_.clearError();
    longitud_lectura_ = 0;
    puerto_serie_.clear(QSerialPort::Input);
    puerto_serie_.readAll();
    return true;
}

void Puerto_QSerialPort::Set_DTREnable(bool activo) {
    if (!puerto_serie_.isOpen())
        return;
    puerto_serie_.setDataTerminalReady(activo);
    puerto_serie_.clearError();
}

int Puerto_QSerialPort::InBufferCount() {
    return puerto_serie_.isOpen() ? static_cast<int>(puerto_serie_.bytesAvailable()) : 0;
}

QByteArray Puerto_QSerialPort::Input() {
    if (!puerto_serie_.isOpen())
        return {};
    return longitud_lectura_ > 0 ? puerto_serie_.read(longitud_lectura_) : puerto_serie_.readAll();
}

void Puerto_QSerialPort::Output(const QByteArray &bytes) {
    if (!puerto_serie_.isOpen())
        return;
    puerto_serie_.write(bytes);
    puerto_serie_.flush();
}

void Puerto_QSerialPort::Al_Error(QSerialPort::SerialPortError error) {
    // A device that went away (an unplugged adapter, the far end of a
    // pseudo-terminal closed) shows up as read or resource errors that Qt would
    // repeat at full speed. Closing the port stops them; the waiting exchange then
    // ends through its own no-reply path.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        error_ = puerto_serie_.errorString();
        if (puerto_serie_.isOpen()) {
            puerto_serie_.close();
            Marca_Perdido(true);
        }
        emit Llegan_Datos();
    }
}
