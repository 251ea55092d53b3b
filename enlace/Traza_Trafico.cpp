#include "enlace/Traza_Trafico.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "protocolo/Crc.h"
#include "protocolo/Tramas.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace {

uint8_t Byte(const QByteArray &b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

// The functions the program sends, and their exception replies.
bool Funcion_Conocida(uint8_t f) {
    switch (f & 0x7F) {
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
    case 0x10:
        return true;
    default:
        return false;
    }
}

bool Es_Fin_Texto(uint8_t c) {
    return c == '\r' || c == '\n';
}

bool Es_Texto(uint8_t c) {
    return (c >= 0x20 && c < 0x7F) || Es_Fin_Texto(c);
}

bool Todo_Texto(const QByteArray &b) {
    return std::all_of(b.cbegin(), b.cend(),
                       [](char c) { return Es_Texto(static_cast<uint8_t>(c)); });
}

// A modem's line without its CR and LF.
QByteArray Sin_Fines(const QByteArray &b) {
    QByteArray texto;
    for (char c : b)
        if (!Es_Fin_Texto(static_cast<uint8_t>(c)))
            texto += c;
    return texto;
}

bool Es_Modbus(const QByteArray &b) {
    return b.size() >= 2 && Funcion_Conocida(Byte(b, 1));
}

} // namespace

Traza_Trafico::Traza_Trafico(QObject *padre) : QObject(padre) {
    reloj_.start();
    silencio_.setSingleShot(true);
    connect(&silencio_, &QTimer::timeout, this, &Traza_Trafico::Al_Silencio);
}

void Traza_Trafico::Fallo_Enlace() {
    fallo_pendiente_ = true;
    ++contadores_.fallos_enlace;
}

void Traza_Trafico::Escrito(const QByteArray &bytes) {
    Agrega(Sentido::Escrito, bytes);
}

void Traza_Trafico::Leido(const QByteArray &bytes) {
    if (!bytes.isEmpty())
        Agrega(Sentido::Leido, bytes);
}

void Traza_Trafico::Abierto(const QString &settings) {
    Vacia();
    esperando_respuesta_ = false;
    Anota(Sentido::Ninguno, Clase_Linea::Puerto_Abierto, settings.toUtf8(), reloj_.elapsed());
}

void Traza_Trafico::No_Abre(const QString &motivo) {
    Anota(Sentido::Ninguno, Clase_Linea::Puerto_No_Abre, motivo.toUtf8(), reloj_.elapsed());
}

void Traza_Trafico::Cerrado(bool perdido) {
    Vacia();
    if (esperando_respuesta_)
        Sin_Respuesta();
    funcion_pedida_ = 0;
    largo_respuesta_ = 0;
    Anota(Sentido::Ninguno, perdido ? Clase_Linea::Puerto_Perdido : Clase_Linea::Puerto_Cerrado, {},
          reloj_.elapsed());
}

void Traza_Trafico::Vacia() {
    // Whichever began first goes first.
    if (!leido_.bytes.isEmpty() && (escrito_.bytes.isEmpty() || leido_.ms < escrito_.ms)) {
        Vacia_Sentido(Sentido::Leido);
        Vacia_Sentido(Sentido::Escrito);
    } else {
        Vacia_Sentido(Sentido::Escrito);
        Vacia_Sentido(Sentido::Leido);
    }
}

void Traza_Trafico::Agrega(Sentido sentido, const QByteArray &bytes) {
    const qint64 ahora = reloj_.elapsed();
    ultimo_ms_ = ahora;
    Vacia_Sentido(sentido == Sentido::Escrito ? Sentido::Leido : Sentido::Escrito);
    Acumulado &a = De(sentido);
    // Address 0 is the broadcast, which the program never uses: a 0x00 it sent
    // starts no frame. And the program writes a modem's command whole, in one write.
    if (sentido == Sentido::Escrito &&
        (a.bytes == QByteArray(1, '\0') ||
         (a.bytes.size() > 1 && Largo_Trama(sentido, a.bytes) == 0 && !Es_Modbus(a.bytes))))
        Vacia_Sentido(sentido);
    if (a.bytes.isEmpty()) {
        a.ms = ahora;
        // A new frame goes out while the last request still waits: it had no reply.
        if (sentido == Sentido::Escrito && esperando_respuesta_)
            Sin_Respuesta();
    }
    a.bytes += bytes;
    for (;;) {
        const qsizetype largo = Largo_Trama(sentido, a.bytes);
        if (largo <= 0 && sentido == Sentido::Leido && esperando_respuesta_ && Separa_Basura(a))
            continue;
        if (largo <= 0 || a.bytes.size() < largo)
            break;
        Cierra_Trama(sentido, largo);
        a.ms = ahora;
    }
    if ((!escrito_.bytes.isEmpty() || !leido_.bytes.isEmpty()) && !silencio_.isActive())
        silencio_.start(Silencio_ms);
}

// The length of the frame that starts the bytes: 0 while it cannot be told yet,
// -1 when they are no frame the program knows (they wait for the flush).
qsizetype Traza_Trafico::Largo_Trama(Sentido sentido, const QByteArray &b) const {
    if (b.size() < 2)
        return 0;
    if (!Es_Modbus(b)) {
        if (!Es_Texto(Byte(b, 0)) || !Es_Texto(Byte(b, 1)))
            return -1;
        const auto fin = std::find_if(b.cbegin(), b.cend(),
                                      [](char c) { return Es_Fin_Texto(static_cast<uint8_t>(c)); });
        if (fin == b.cend())
            return 0;
        // A modem ends its lines in CR LF: the LF goes with its line.
        const qsizetype largo = fin - b.cbegin() + 1;
        return *fin == '\r' && largo < b.size() && b[largo] == '\n' ? largo + 1 : largo;
    }
    if (sentido == Sentido::Escrito)
        return Largo_Peticion(b);
    // A reply to the last request is as long as that request asks for, whatever
    // its own byte count says; anything else is cut by its own bytes.
    const uint8_t f = Byte(b, 1);
    if (!Es_Funcion_Excepcion(f) && f == funcion_pedida_ && largo_respuesta_ > 0)
        return largo_respuesta_;
    return Largo_Respuesta_Propia(b);
}

// Bytes ahead of the reply (the tail of a late answer, noise) make a line of
// their own once the reply's start shows up behind them.
bool Traza_Trafico::Separa_Basura(Acumulado &a) {
    for (qsizetype k = 1; k + 1 < a.bytes.size(); ++k) {
        const uint8_t f = Byte(a.bytes, k + 1);
        if (Byte(a.bytes, k) == direccion_pedida_ && funcion_pedida_ != 0 &&
            (f & 0x7F) == funcion_pedida_) {
            Anota(Sentido::Leido, Clase_Linea::Incompleta, a.bytes.left(k), a.ms);
            a.bytes.remove(0, k);
            return true;
        }
    }
    return false;
}

void Traza_Trafico::Cierra_Trama(Sentido sentido, qsizetype largo) {
    Acumulado &a = De(sentido);
    const QByteArray trama = a.bytes.left(largo);
    a.bytes.remove(0, largo);
    if (!Es_Modbus(trama)) {
        const QByteArray texto = Sin_Fines(trama);
        // The CR LF around a modem's answer make no line of their own.
        if (sentido == Sentido::Escrito || !texto.isEmpty())
            Anota(sentido, Clase_Linea::Texto, texto, a.ms);
        return;
    }
    if (sentido == Sentido::Escrito) {
        direccion_pedida_ = Byte(trama, 0);
        funcion_pedida_ = Byte(trama, 1);
        largo_respuesta_ = Largo_Respuesta(trama);
        esperando_respuesta_ = true;
        Anota(sentido, Clase_Linea::Peticion, trama, a.ms);
        return;
    }
    esperando_respuesta_ = false;
    const bool bueno = CRC_Valido(trama);
    const Clase_Linea clase = !bueno                    ? Clase_Linea::Respuesta_Mala
                              : (Byte(trama, 1) & 0x80) ? Clase_Linea::Excepcion
                                                        : Clase_Linea::Respuesta;
    Anota(sentido, clase, trama, a.ms);
}

void Traza_Trafico::Vacia_Sentido(Sentido sentido) {
    Acumulado &a = De(sentido);
    if (a.bytes.isEmpty())
        return;
    const QByteArray resto = std::exchange(a.bytes, {});
    if (sentido == Sentido::Escrito && resto == QByteArray(1, '\0')) {
        // The link failure says so before it sends its 0x00; any other lone 0x00
        // is the one sent when the program ends or the operator switches off.
        const bool fallo = std::exchange(fallo_pendiente_, false);
        Anota(sentido, fallo ? Clase_Linea::Fallo_Enlace : Clase_Linea::Cero, resto, a.ms);
    } else if (Todo_Texto(resto) && (resto.size() > 1 || Es_Fin_Texto(Byte(resto, 0)))) {
        const QByteArray texto = Sin_Fines(resto);
        if (sentido == Sentido::Escrito || !texto.isEmpty())
            Anota(sentido, Clase_Linea::Texto, texto, a.ms);
    } else {
        Anota(sentido, Clase_Linea::Incompleta, resto, a.ms);
    }
}

void Traza_Trafico::Sin_Respuesta() {
    esperando_respuesta_ = false;
    Anota(Sentido::Leido, Clase_Linea::Sin_Respuesta, {}, reloj_.elapsed());
}

void Traza_Trafico::Al_Silencio() {
    const qint64 callado = reloj_.elapsed() - ultimo_ms_;
    if (callado < Silencio_ms) {
        silencio_.start(static_cast<int>(Silencio_ms - callado));
        return;
    }
    Vacia();
}

uint8_t Traza_Trafico::Direccion_De(Clase_Linea clase, const QByteArray &bytes) const {
    switch (clase) {
    case Clase_Linea::Peticion:
    case Clase_Linea::Respuesta:
    case Clase_Linea::Excepcion:
        return Byte(bytes, 0);
    // A garbled reply may have lost its address with the rest; it came in the
    // conversation with the relay last asked, as a missing one would have.
    case Clase_Linea::Respuesta_Mala:
    case Clase_Linea::Sin_Respuesta:
        return direccion_pedida_;
    default:
        return 0;
    }
}

void Traza_Trafico::Anota(Sentido sentido, Clase_Linea clase, const QByteArray &bytes, qint64 ms) {
    Cuenta(clase);
    // The wall clock as it reads now, less the time since the frame began: a
    // clock the system sets right during the run is followed from then on.
    const qint64 hora = QDateTime::currentMSecsSinceEpoch() - (reloj_.elapsed() - ms);
    anillo_.push_back(Linea_Traza{ms, sentido, clase, bytes, hora, Direccion_De(clase, bytes)});
    ++total_;
    if (anillo_.size() > Capacidad) {
        anillo_.pop_front();
        ++inicio_;
    }
    emit Linea_Nueva(anillo_.back());
}

void Traza_Trafico::Cuenta(Clase_Linea clase) {
    switch (clase) {
    case Clase_Linea::Peticion:
        ++contadores_.peticiones;
        break;
    case Clase_Linea::Respuesta:
        ++contadores_.respuestas_buenas;
        break;
    case Clase_Linea::Respuesta_Mala:
        ++contadores_.crc_malos;
        break;
    case Clase_Linea::Excepcion:
        ++contadores_.excepciones;
        break;
    case Clase_Linea::Sin_Respuesta:
        ++contadores_.sin_respuesta;
        break;
    default:
        break;
    }
}

Contadores_Traza Traza_Trafico::Contadores() const {
    return contadores_;
}

void Traza_Trafico::Limpia() {
    anillo_.clear();
    inicio_ = total_;
    contadores_ = {};
}

std::vector<Linea_Traza> Traza_Trafico::Lineas_Desde(uint64_t desde) const {
    std::vector<Linea_Traza> lineas;
    for (uint64_t n = std::max(desde, inicio_); n < total_; ++n)
        lineas.push_back(anillo_[static_cast<std::size_t>(n - inicio_)]);
    return lineas;
}
