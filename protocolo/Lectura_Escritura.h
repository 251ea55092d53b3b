#pragma once
// The relay protocol: Modbus RTU frames, their CRC, the request/reply exchange
// every transaction runs, the link-failure procedure and the relay transactions.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Imagen.h"

#include <QString>
#include <cstdint>

// Upper-case hex text of bytes 1..n of a frame, two digits a byte ("0E", "FF").
// Built digit by digit: every poll makes two of these, and formatting each
// byte as a number cost a poll tens of microseconds.
template <std::size_t N> QString Texto_Hex(const Imagen<N> &trama, std::size_t n) {
    static constexpr char16_t Digitos[] = u"0123456789ABCDEF";
    QString texto(static_cast<qsizetype>(2 * n), Qt::Uninitialized);
    QChar *c = texto.data();
    for (std::size_t i = 1; i <= n; ++i) {
        *c++ = QChar(Digitos[trama[i] >> 4]);
        *c++ = QChar(Digitos[trama[i] & 0x0F]);
    }
    return texto;
}

// CRC-16/MODBUS of the hex text in Estado.Trama into Estado.CRC_Texto: four
// upper-case hex digits, high byte first ("" gives "FFFF").
void Calcula_CRC();

// Bytes 1..n-2 of a frame are set: puts their CRC into bytes n-1 (low) and n (high).
template <std::size_t N> void Pon_CRC(Imagen<N> &trama, std::size_t n);
// A reply of n bytes is good when bytes n-1 and n are the CRC of bytes 1..n-2.
template <std::size_t N> bool CRC_Correcto(const Imagen<N> &respuesta, std::size_t n);

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

// The link failure: link flag down, status texts, a 0x00 byte and the port closed,
// then "Relay Not Response".
void Rele_No_Responde();

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

Resultado Lee_Identificacion(uint8_t direccion);
bool Verifica_Identificacion();
double Posicion_Id(const QString &direccion);

Resultado Lee_Setpoints(uint8_t direccion);
void Arma_Trama_Escritura(uint8_t direccion);
void Restaura_Set_Setpoints(uint8_t direccion);

Resultado Lee_Valores_Actuales(uint8_t direccion);

// Sends the edited setpoints (Nuevos_Setpoints[8..19]) to the relay's six
// setpoint registers in one write and tells the operator whether the relay took
// them. The frame is addressed to Direccion_Rele. Buena when the relay took them.
Resultado Escribe_Setpoints(uint8_t direccion);

// Switches coil `comando` of the relay on; commands other than 1 and 2 tell the
// operator how it went.
Resultado Ejecuta_Comando(uint8_t direccion, int32_t &comando);

template <std::size_t N> void Pon_CRC(Imagen<N> &trama, std::size_t n) {
    Estado.Trama = Texto_Hex(trama, n - 2);
    Calcula_CRC();
    Estado.CRC_Bajo = Estado.CRC_Texto.mid(2, 2);
    Estado.CRC_Alto = Estado.CRC_Texto.left(2);
    trama[n - 1] = static_cast<uint8_t>(Estado.CRC_Bajo.toUInt(nullptr, 16));
    trama[n] = static_cast<uint8_t>(Estado.CRC_Alto.toUInt(nullptr, 16));
}

template <std::size_t N> bool CRC_Correcto(const Imagen<N> &respuesta, std::size_t n) {
    Estado.Trama = Texto_Hex(respuesta, n - 2);
    Calcula_CRC();
    Estado.CRC_Bajo = Estado.CRC_Texto.mid(2, 2);
    Estado.CRC_Alto = Estado.CRC_Texto.left(2);
    return Estado.CRC_Alto.toUInt(nullptr, 16) == respuesta[n] &&
           Estado.CRC_Bajo.toUInt(nullptr, 16) == respuesta[n - 1];
}

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
