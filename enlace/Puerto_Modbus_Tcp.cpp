#include "enlace/Puerto_Modbus_Tcp.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "protocolo/Crc.h"
#include "protocolo/Tramas.h"

namespace {

const QLatin1String Esquema("modbus-tcp://");

quint16 Palabra(const QByteArray &b, qsizetype i) {
    return static_cast<quint16>(static_cast<uint8_t>(b[i]) << 8 | static_cast<uint8_t>(b[i + 1]));
}

void Agrega_Palabra(QByteArray &b, quint16 palabra) {
    b.append(static_cast<char>(palabra >> 8));
    b.append(static_cast<char>(palabra & 0xFF));
}

} // namespace

bool Es_Dispositivo_Modbus_Tcp(const QString &dispositivo) {
    return dispositivo.trimmed().startsWith(Esquema, Qt::CaseInsensitive);
}

std::optional<Destino_Tcp> Analiza_Dispositivo_Modbus_Tcp(const QString &dispositivo,
                                                          QString *error) {
    return Analiza_Url_Red(
        dispositivo, Esquema, Puerto_Modbus_Tcp::Puerto_Por_Defecto,
        QStringLiteral("%1 is not a Modbus TCP gateway: give modbus-tcp://HOST[:PORT], "
                       "PORT from 1 to 65535 (502 when left out)"),
        error);
}

// --- the translation ---------------------------------------------------------

QByteArray Traductor_Modbus_Tcp::Escribe(const QByteArray &bytes) {
    peticion_ += bytes;
    const qsizetype largo = Largo_Peticion(peticion_);
    if (largo == 0 || peticion_.size() < largo)
        return {};
    const QByteArray rtu = peticion_.left(largo);
    peticion_.remove(0, largo);
    if (!CRC_Valido(rtu))
        return {};
    // Resends of a request nobody has answered yet share its replies; anything
    // else opens a new one.
    const bool reenvio = !respondida_ && rtu == ultima_peticion_;
    ultima_peticion_ = rtu;
    ++transaccion_;
    if (!reenvio) {
        primera_ = transaccion_;
        respondida_ = false;
    }
    return Trama_Tcp(rtu);
}

QByteArray Traductor_Modbus_Tcp::Trama_Tcp(const QByteArray &rtu) {
    // The unit identifier is the relay's address; the PDU is what lies between
    // it and the CRC.
    const QByteArray pdu = rtu.mid(1, rtu.size() - 3);
    QByteArray trama;
    trama.reserve(Cabecera + pdu.size());
    Agrega_Palabra(trama, transaccion_);
    Agrega_Palabra(trama, 0);
    Agrega_Palabra(trama, static_cast<quint16>(1 + pdu.size()));
    trama.append(rtu[0]);
    trama.append(pdu);
    return trama;
}

bool Traductor_Modbus_Tcp::Espera_Transaccion(quint16 transaccion) const {
    // Counted from the first send, so that the numbers wrapping past 65535
    // change nothing.
    return static_cast<quint16>(transaccion - primera_) <=
           static_cast<quint16>(transaccion_ - primera_);
}

bool Traductor_Modbus_Tcp::Recibe(const QByteArray &bytes, QByteArray &rtu) {
    entrada_ += bytes;
    while (entrada_.size() >= Cabecera) {
        const quint16 protocolo = Palabra(entrada_, 2);
        const quint16 largo = Palabra(entrada_, 4);
        // The unit identifier and a function at least, a whole PDU at most.
        if (protocolo != 0 || largo < 2 || largo > Largo_Maximo) {
            entrada_.clear();
            return false;
        }
        if (entrada_.size() < 6 + largo)
            break;
        const QByteArray trama = entrada_.left(6 + largo);
        entrada_.remove(0, 6 + largo);
        if (!Espera_Transaccion(Palabra(trama, 0)))
            continue;
        QByteArray respuesta = trama.mid(6);
        Agrega_CRC(respuesta);
        rtu += respuesta;
        respondida_ = true;
    }
    return true;
}

void Traductor_Modbus_Tcp::Reinicia() {
    peticion_.clear();
    entrada_.clear();
    ultima_peticion_.clear();
    respondida_ = true;
    primera_ = static_cast<quint16>(transaccion_ + 1);
}

// --- the port ----------------------------------------------------------------

Puerto_Modbus_Tcp::Puerto_Modbus_Tcp(QObject *padre) : Puerto_Serie(padre) {
    connect(&tcp_, &Puerto_Serie::Llegan_Datos, this, &Puerto_Modbus_Tcp::Al_Llegar);
}

Puerto_Modbus_Tcp::~Puerto_Modbus_Tcp() {
    tcp_.disconnect(this);
}

void Puerto_Modbus_Tcp::Set_CommPort(int16_t puerto) {
    puerto_ = puerto;
    tcp_.Set_CommPort(puerto);
}

bool Puerto_Modbus_Tcp::Set_PortOpen(bool abierto) {
    if (!abierto) {
        tcp_.Set_PortOpen(false);
        respuestas_.clear();
        traductor_.Reinicia();
        return true;
    }
    if (tcp_.PortOpen())
        return true;
    error_.clear();
    Marca_Perdido(false);
    const QString dispositivo = dispositivo_.isEmpty() ? Nombre_Dispositivo(puerto_) : dispositivo_;
    const auto destino = Analiza_Dispositivo_Modbus_Tcp(dispositivo, &error_);
    if (!destino)
        return false;
    if (Estado.Via_Modem) {
        error_ = QStringLiteral(
            "a Modbus TCP gateway carries relay requests only: a modem cannot be dialled "
            "through it");
        return false;
    }
    const QString servidor =
        destino->servidor.contains(u':') ? u'[' + destino->servidor + u']' : destino->servidor;
    tcp_.Set_Dispositivo(QStringLiteral("tcp://%1:%2").arg(servidor).arg(destino->puerto));
    respuestas_.clear();
    traductor_.Reinicia();
    longitud_lectura_ = 0;
    return tcp_.Set_PortOpen(true);
}

QString Puerto_Modbus_Tcp::Error_Texto() const {
    return error_.isEmpty() ? tcp_.Error_Texto() : error_;
}

void Puerto_Modbus_Tcp::Al_Llegar() {
    if (tcp_.PortOpen() && !traductor_.Recibe(tcp_.Input(), respuestas_)) {
        // Nothing after a broken header can be read as frames again.
        error_ = QStringLiteral("connection dropped: the gateway's reply is not Modbus TCP");
        tcp_.Set_PortOpen(false);
        respuestas_.clear();
        Marca_Perdido(true);
    }
    emit Llegan_Datos();
}

int Puerto_Modbus_Tcp::InBufferCount() {
    return PortOpen() ? static_cast<int>(respuestas_.size()) : 0;
}

QByteArray Puerto_Modbus_Tcp::Input() {
    if (!PortOpen())
        return {};
    traductor_.Descarta_Peticion();
    const qsizetype n = longitud_lectura_ > 0 ? longitud_lectura_ : respuestas_.size();
    const QByteArray leidos = respuestas_.left(n);
    respuestas_.remove(0, leidos.size());
    return leidos;
}

void Puerto_Modbus_Tcp::Output(const QByteArray &bytes) {
    if (!PortOpen())
        return;
    const QByteArray trama = traductor_.Escribe(bytes);
    if (!trama.isEmpty())
        tcp_.Output(trama);
}
