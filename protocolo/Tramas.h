#pragma once
// The lengths of the Modbus RTU frames on the relay's line. A frame says
// nothing of where it ends: the reader knows it from the function code, from
// the byte count a register write or a read's reply carries, or from the request
// a reply answers. Everything that cuts frames out of a byte stream (the
// exchange, the trace, the scan, the simulator, the test port) asks here, so
// that they all cut the same frame at the same byte.

#include <QByteArray>
#include <cstdint>

// The functions the program sends: read holding registers (the setpoints), read
// input registers (identification, actual values), write a single coil (the
// commands), write multiple registers (the setpoints).
inline constexpr uint8_t Funcion_Lee_Retencion = 0x03;
inline constexpr uint8_t Funcion_Lee_Entrada = 0x04;
inline constexpr uint8_t Funcion_Escribe_Bobina = 0x05;
inline constexpr uint8_t Funcion_Escribe_Registros = 0x10;

// A slave that refuses a request answers with the function's high bit set.
inline constexpr uint8_t Bit_Excepcion = 0x80;
// Address, function | 0x80, exception code, CRC.
inline constexpr qsizetype Largo_Excepcion = 5;
// A register write's request up to and including its byte count.
inline constexpr qsizetype Cabecera_Escritura = 7;

constexpr bool Es_Funcion_Excepcion(uint8_t funcion) {
    return (funcion & Bit_Excepcion) != 0;
}

constexpr bool Es_Funcion_Lectura(uint8_t funcion) {
    return funcion == Funcion_Lee_Retencion || funcion == Funcion_Lee_Entrada;
}

// A request of `funcion`: address, function, two words, CRC, eight bytes; a
// register write carries `cuenta_bytes` bytes of values after its header.
constexpr qsizetype Largo_Peticion(uint8_t funcion, uint8_t cuenta_bytes = 0) {
    return funcion == Funcion_Escribe_Registros ? Cabecera_Escritura + cuenta_bytes + 2 : 8;
}

// The reply to a request of `funcion` for `cantidad` registers: a read's reply
// is address, function, byte count, the words and CRC; every other reply (a
// coil's echo, a register write's first register and count) is eight bytes.
constexpr qsizetype Largo_Respuesta(uint8_t funcion, uint16_t cantidad) {
    return Es_Funcion_Lectura(funcion) ? 5 + 2 * qsizetype(cantidad) : 8;
}

// The length of the request that starts at b[inicio]; 0 while the bytes there
// do not tell yet (under two bytes, or a register write short of its count).
qsizetype Largo_Peticion(const QByteArray &b, qsizetype inicio = 0);

// The length of the reply to `peticion`, a whole request (0 for a shorter one).
qsizetype Largo_Respuesta(const QByteArray &peticion);

// The length of the reply that starts `b`, told by its own bytes when the
// request is not known: an exception reply, a read's reply by its byte count,
// eight bytes for anything else; 0 while the bytes do not tell yet.
qsizetype Largo_Respuesta_Propia(const QByteArray &b);
