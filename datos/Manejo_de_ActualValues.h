#pragma once
// Functions over the actual-values image Valores_Actuales: register 0x0200 + k
// has its high byte at 4 + 2k.

#include <QString>
#include <cstdint>

double Posicion_Actual(const QString &direccion);

int32_t Lee_Word_Actual(uint8_t indice);
int16_t Lee_Bit_Actual(uint8_t bit, uint8_t indice);

// A front-panel lamp from its on bit (a of byte i) and blink bit (c of byte j):
// off, steady on, or the opposite of its previous state so that it blinks.
bool Estado_Parpadeo(uint8_t bit_a, uint8_t indice_i, uint8_t bit_c, uint8_t indice_j,
                     bool previo);

// What the operator reads for a temperature register: words 0xFF00..0xFFFF are
// negative, -11 is the shorted-probe code "Fcc" and 231 the open-probe code "Fco".
QString Texto_Temperatura(double valor);
