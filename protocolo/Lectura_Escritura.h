#pragma once
// The relay protocol: Modbus RTU frames, their CRC, the request/reply exchange
// every transaction runs, the link-failure procedure and the relay transactions.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Imagen.h"

#include <QString>
#include <cstdint>

// CRC-16/MODBUS of the hex text in Estado.Trama into Estado.CRC_Texto: four
// upper-case hex digits, high byte first ("" gives "FFFF").
void Calcula_CRC();

// The CRC of a frame's bytes 1..n-2, computed on the bytes; CRC_Texto, CRC_Bajo
// and CRC_Alto are left as the text computation leaves them.
uint16_t CRC_De(const uint8_t *trama, std::size_t n);

// Bytes 1..n-2 of a frame are set: puts their CRC into bytes n-1 (low) and n (high).
template <std::size_t N> void Pon_CRC(Imagen<N> &trama, std::size_t n) {
    const uint16_t crc = CRC_De(trama.Datos(), n);
    trama[n - 1] = static_cast<uint8_t>(crc & 0xFF);
    trama[n] = static_cast<uint8_t>(crc >> 8);
}
// A reply of n bytes is good when bytes n-1 and n are the CRC of bytes 1..n-2.
template <std::size_t N> bool CRC_Correcto(const Imagen<N> &respuesta, std::size_t n) {
    const uint16_t crc = CRC_De(respuesta.Datos(), n);
    return respuesta[n] == (crc >> 8) && respuesta[n - 1] == (crc & 0xFF);
}

// A register read request of 8 bytes into bytes 1..8 of `trama`: address,
// function, first register and count (high byte first), CRC.
template <std::size_t N>
void Arma_Peticion_Lectura(Imagen<N> &trama, uint8_t direccion, uint8_t funcion, uint16_t primero,
                           uint16_t cantidad) {
    trama[1] = direccion;
    trama[2] = funcion;
    trama[3] = static_cast<uint8_t>(primero >> 8);
    trama[4] = static_cast<uint8_t>(primero & 0xFF);
    trama[5] = static_cast<uint8_t>(cantidad >> 8);
    trama[6] = static_cast<uint8_t>(cantidad & 0xFF);
    Pon_CRC(trama, 8);
}

// How a transaction ended. The main page acts on the state a transaction leaves
// (the link flag, the images); kv73ctl, the log and the scan act on this.
enum class Resultado {
    Omitida,       // nothing sent: another register read waits, or the port is closed
    Cancelada,     // OFF ended a waiting setpoint read, or the program is being interrupted
    Sin_Respuesta, // the link failed: no whole reply in five ticks, or the port went away
    Mala,          // the reply failed its CRC (a write or command the relay refused)
    Excepcion,     // an exception reply, only where Excepcion_Termina asks for it;
                   // its code is in Estado.Codigo_Excepcion
    Buena,
};

// The transactions themselves are the link object's (protocolo/Enlace_Rele.h).

bool Verifica_Identificacion();
double Posicion_Id(const QString &direccion);

void Arma_Trama_Escritura(uint8_t direccion);
void Restaura_Set_Setpoints(uint8_t direccion);

// Texts of the protocol, as the operator sees them.
namespace Textos_Protocolo {
inline const QString Rele_No_Responde = QStringLiteral("Relay Not Response");
inline const QString Titulo_Fallo = QStringLiteral("KV-72");
inline const QString Titulo = QStringLiteral("KV-73");
inline const QString Enlace_Caido = QStringLiteral("Communication Not Stablished");
inline const QString Enlace_Activo = QStringLiteral("Communication Stablished");
inline const QString No_Comunicando = QStringLiteral("Not Communicating....");
inline const QString Comunicando = QStringLiteral("Communicating....");
inline const QString Comando_Ejecutado = QStringLiteral("Command Executed");
inline const QString Error_Comando = QStringLiteral("Error executing command");
inline const QString Error_Escritura = QStringLiteral("Write Error SetPoints");
inline const QString Setpoints_Grabados =
    QStringLiteral("Setpoints were Saved to the Relay memory");
} // namespace Textos_Protocolo
