#include "simulador/Pasarela_Simulada.h"

#include "protocolo/Crc.h"
#include "protocolo/Tramas.h"

#include <algorithm>

namespace {

constexpr qsizetype Cabecera = 7;
// A client waits on a few requests at most; an unanswered one is forgotten
// once this many are newer.
constexpr std::size_t Maximo_Pendientes = 16;

quint16 Palabra(const QByteArray &b, qsizetype i) {
    return static_cast<quint16>(static_cast<uint8_t>(b[i]) << 8 | static_cast<uint8_t>(b[i + 1]));
}

} // namespace

bool Pasarela_Simulada::Peticiones(const QByteArray &bytes, QByteArray &rtu) {
    entrada_ += bytes;
    while (entrada_.size() >= Cabecera) {
        const quint16 largo = Palabra(entrada_, 4);
        if (Palabra(entrada_, 2) != 0 || largo < 2 || largo > 254) {
            Reinicia();
            return false;
        }
        if (entrada_.size() < 6 + largo)
            break;
        QByteArray peticion = entrada_.mid(6, largo);
        Agrega_CRC(peticion);
        pendientes_.push_back({Palabra(entrada_, 0), peticion});
        if (pendientes_.size() > Maximo_Pendientes)
            pendientes_.pop_front();
        entrada_.remove(0, 6 + largo);
        // What the line held that answered nothing is gone before a new request.
        linea_.clear();
        rtu += peticion;
    }
    return true;
}

QByteArray Pasarela_Simulada::Respuestas(const QByteArray &bytes) {
    linea_ += bytes;
    QByteArray tcp;
    for (QByteArray trama = Saca_Respuesta(); !trama.isEmpty(); trama = Saca_Respuesta())
        tcp += trama;
    return tcp;
}

// The first whole reply on the line, as a Modbus TCP frame; nothing while none
// is whole. A damaged reply, or one no request waits for, is dropped.
QByteArray Pasarela_Simulada::Saca_Respuesta() {
    while (linea_.size() >= 2) {
        const auto direccion = static_cast<char>(linea_[0]);
        // The newest request to that address is the one a reply answers.
        const auto p = std::find_if(pendientes_.rbegin(), pendientes_.rend(),
                                    [&](const Pendiente &q) { return q.peticion[0] == direccion; });
        if (p == pendientes_.rend()) {
            linea_.remove(0, 1);
            continue;
        }
        const bool excepcion = Es_Funcion_Excepcion(static_cast<uint8_t>(linea_[1]));
        const qsizetype largo = excepcion ? Largo_Excepcion : Largo_Respuesta(p->peticion);
        if (linea_.size() < largo)
            return {};
        const QByteArray respuesta = linea_.left(largo);
        linea_.remove(0, largo);
        if (!CRC_Valido(respuesta))
            continue;
        const quint16 transaccion = p->transaccion;
        pendientes_.erase(pendientes_.begin(), p.base());
        QByteArray trama;
        const QByteArray pdu = respuesta.chopped(2);
        for (const quint16 palabra : {transaccion, quint16{0}, static_cast<quint16>(pdu.size())}) {
            trama.append(static_cast<char>(palabra >> 8));
            trama.append(static_cast<char>(palabra & 0xFF));
        }
        return trama + pdu;
    }
    return {};
}

void Pasarela_Simulada::Reinicia() {
    entrada_.clear();
    linea_.clear();
    pendientes_.clear();
}
