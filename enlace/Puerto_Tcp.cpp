#include "enlace/Puerto_Tcp.h"

#include <QUrl>

bool Es_Dispositivo_Tcp(const QString &dispositivo) {
    return dispositivo.trimmed().startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

std::optional<Destino_Tcp> Analiza_Url_Red(const QString &dispositivo, QLatin1String esquema,
                                           int puerto_por_defecto, const QString &forma,
                                           QString *error) {
    const QString nombre = dispositivo.trimmed();
    const QUrl url(nombre, QUrl::StrictMode);
    const auto falla = [&] {
        if (error)
            *error = forma.arg(nombre);
        return std::nullopt;
    };
    if (!nombre.startsWith(esquema, Qt::CaseInsensitive) || !url.isValid() ||
        url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        (!url.path().isEmpty() && url.path() != QLatin1String("/")))
        return falla();
    // QUrl takes "host:" as no port at all; a colon promises a number.
    QString sin_barra = nombre;
    if (sin_barra.endsWith(u'/'))
        sin_barra.chop(1);
    if (sin_barra.endsWith(u':'))
        return falla();
    const int puerto = url.port(puerto_por_defecto);
    if (puerto < 1 || puerto > 65535)
        return falla();
    return Destino_Tcp{url.host(), static_cast<quint16>(puerto)};
}

std::optional<Destino_Tcp> Analiza_Dispositivo_Tcp(const QString &dispositivo, QString *error) {
    return Analiza_Url_Red(dispositivo, QLatin1String("tcp://"), -1,
                           QStringLiteral("%1 is not a network device: give tcp://HOST:PORT, "
                                          "PORT from 1 to 65535"),
                           error);
}

namespace {

// The reason in the operator's words; Qt's own text for the rarer ones.
QString Razon_Conexion(QAbstractSocket::SocketError error, const QString &texto_qt) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("host not found");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("no answer within %1 s").arg(Puerto_Tcp::Espera_Conexion_ms / 1000);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("network unreachable");
    default:
        return texto_qt;
    }
}

} // namespace

Puerto_Tcp::Puerto_Tcp(QObject *padre) : Puerto_Serie(padre) {
    connect(&socket_, &QTcpSocket::readyRead, this, &Puerto_Serie::Llegan_Datos);
    connect(&socket_, &QTcpSocket::disconnected, this, &Puerto_Tcp::Al_Perder_Conexion);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (socket_.state() != QAbstractSocket::ConnectedState)
            Al_Perder_Conexion();
    });
}

Puerto_Tcp::~Puerto_Tcp() {
    // The socket says it disconnected as it is destroyed, after this port's
    // members are gone: nobody must be listening by then.
    socket_.disconnect(this);
    abierto_ = false;
}

bool Puerto_Tcp::Set_Settings(const QString &texto) {
    if (!Analiza_Settings(texto))
        return false;
    settings_ = texto;
    return true;
}

bool Puerto_Tcp::Set_PortOpen(bool abierto) {
    if (!abierto) {
        Cierra();
        return true;
    }
    if (abierto_)
        return true;
    error_.clear();
    Marca_Perdido(false);
    const QString dispositivo = dispositivo_.isEmpty() ? Nombre_Dispositivo(puerto_) : dispositivo_;
    const auto destino = Analiza_Dispositivo_Tcp(dispositivo, &error_);
    if (!destino)
        return false;
    // The exchange writes a request a byte at a time: each must go at once,
    // not wait to be gathered with the next.
    socket_.connectToHost(destino->servidor, destino->puerto);
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!socket_.waitForConnected(Espera_Conexion_ms)) {
        error_ = QStringLiteral("cannot connect to %1:%2: %3")
                     .arg(destino->servidor)
                     .arg(destino->puerto)
                     .arg(Razon_Conexion(socket_.error(), socket_.errorString()));
        socket_.abort();
        return false;
    }
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    abierto_ = true;
    longitud_lectura_ = 0;
    socket_.readAll();
    return true;
}

void Puerto_Tcp::Cierra() {
    if (!abierto_)
        return;
    // Closed by the program: not a lost connection.
    abierto_ = false;
    socket_.abort();
}

void Puerto_Tcp::Al_Perder_Conexion() {
    if (!abierto_)
        return;
    // The server went away or dropped the connection: a port whose device
    // vanished, which the waiting exchange meets through its no-reply path.
    error_ = QStringLiteral("connection lost: %1").arg(socket_.errorString());
    abierto_ = false;
    socket_.abort();
    Marca_Perdido(true);
    emit Llegan_Datos();
}

int Puerto_Tcp::InBufferCount() {
    return abierto_ ? static_cast<int>(socket_.bytesAvailable()) : 0;
}

QByteArray Puerto_Tcp::Input() {
    if (!abierto_)
        return {};
    return longitud_lectura_ > 0 ? socket_.read(longitud_lectura_) : socket_.readAll();
}

void Puerto_Tcp::Output(const QByteArray &bytes) {
    if (!abierto_)
        return;
    socket_.write(bytes);
    socket_.flush();
}
