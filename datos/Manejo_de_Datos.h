#pragma once
// The setpoint images and the functions that read and change them.
// Set_Setpoints is the relay's last setpoint reply byte for byte (register
// 0x0100 + k at 4 + 2k); Nuevos_Setpoints is laid out like the write frame, so
// the same register sits four bytes further on.

#include <QString>
#include <cstdint>

// Index of the high byte of a register in an image whose block starts at `base`
// (four hex digits, as the editors name registers): 2 x (register - base) + 4.
double Posicion_Registro(const QString &direccion, const QString &base);

double Posicion_Setpoint(const QString &direccion);

int32_t Lee_Word_Setpoint(uint8_t posicion);
uint8_t Lee_Byte_Setpoint(uint8_t posicion);
int16_t Lee_Bit_Setpoint(uint8_t bit, uint8_t posicion);

// Stores the value given as decimal text at the register whose Set_Setpoints
// position is `posicion` (so at posicion + 4 and + 5 of Nuevos_Setpoints).
void Escribe_Word_Setpoint(const QString &valor, uint8_t posicion);
void Escribe_Byte_Setpoint(uint8_t posicion, uint8_t valor);

// The byte of Nuevos_Setpoints at posicion + 4 with one bit set (estado not 0)
// or cleared; the image itself is left alone.
int16_t Cambia_Bit_Setpoint(int16_t estado, uint8_t bit, uint8_t posicion);
