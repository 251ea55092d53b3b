#pragma once
// The modem initialisation strings kept in the file "AT" of the working
// directory: records of 100 characters, record 1 for the remote modem, record 2
// for the local one.

#include <cstdint>

inline constexpr int Largo_Registro_AT = 100;

// Record `registro` of "AT" into Cadena_Modem, all 100 characters. The file is
// created when missing; a record never written reads as blanks.
void Leer_Cadena_Modem(int16_t registro);

// Cadena_Modem, cut or blank-padded to 100 characters, as record `registro`.
void Guardar_Cadena_Modem(int16_t registro);
