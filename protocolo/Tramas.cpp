#include "protocolo/Tramas.h"

namespace {

uint8_t Byte(const QByteArray &b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

} // namespace

qsizetype Largo_Peticion(const QByteArray &b, qsizetype inicio) {
    if (b.size() - inicio < 2)
        return 0;
    const uint8_t funcion = Byte(b, inicio + 1);
    if (funcion != Funcion_Escribe_Registros)
        return Largo_Peticion(funcion);
    if (b.size() - inicio < Cabecera_Escritura)
        return 0;
    return Largo_Peticion(funcion, Byte(b, inicio + Cabecera_Escritura - 1));
}

qsizetype Largo_Respuesta(const QByteArray &peticion) {
    if (peticion.size() < 6)
        return 0;
    const uint8_t funcion = Byte(peticion, 1);
    const auto cantidad = static_cast<uint16_t>(Byte(peticion, 4) << 8 | Byte(peticion, 5));
    return Largo_Respuesta(funcion, cantidad);
}

qsizetype Largo_Respuesta_Propia(const QByteArray &b) {
    if (b.size() < 2)
        return 0;
    const uint8_t funcion = Byte(b, 1);
    if (Es_Funcion_Excepcion(funcion))
        return Largo_Excepcion;
    if (!Es_Funcion_Lectura(funcion))
        return 8;
    return b.size() >= 3 ? 5 + Byte(b, 2) : 0;
}
