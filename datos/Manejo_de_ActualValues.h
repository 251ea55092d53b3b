#pragma once
// Functions over the actual-values image Valores_Actuales: register 0x0200 + k
// has its high byte at 4 + 2k.

#include <QString>
#include <array>
#include <cstdint>

double Posicion_Actual(const QString &direccion);

int32_t Lee_Word_Actual(uint8_t indice);
int16_t Lee_Bit_Actual(uint8_t bit, uint8_t indice);

// A front-panel lamp from its on bit (a of byte i) and blink bit (c of byte j):
// off, steady on, or the opposite of its previous state so that it blinks.
bool Estado_Parpadeo(uint8_t bit_a, uint8_t indice_i, uint8_t bit_c, uint8_t indice_j, bool previo);

// One actual-values reply as the operator reads it (from Valores_Actuales):
// what kv73ctl prints and the value log records.
struct Lectura_Actual {
    std::array<QString, 4> temperaturas; // as the page shows them: "85", "-5", "Fco"
    std::array<int, 4> maximos{};
    int encendidos = 0; // register 0x020A
    int parpadeos = 0;  // register 0x020B
};
Lectura_Actual Lee_Lectura_Actual();

// What the operator reads for a temperature register: words 0xFF00..0xFFFF are
// negative, -11 is the shorted-probe code "Fcc" and 231 the open-probe code "Fco".
QString Texto_Temperatura(double valor);
inline constexpr int Temperatura_Fcc = -11;
inline constexpr int Temperatura_Fco = 231;

// The front-panel lamps the relay drives, with the bit of register 0x020A that
// lights each one and the bit of register 0x020B that makes it blink (bits 0..7
// are the low byte, 8..15 the high byte), in the order the page refreshes them.
struct Indicador {
    const char *nombre;
    uint8_t bit;
};
inline constexpr Indicador Mapa_Indicadores[] = {
    {"Pt1", 7}, {"Pt2", 8}, {"Pt3", 9},  {"Pt4", 10}, {"Fault", 6}, {"L2", 4},
    {"L1", 3},  {"FAN", 5}, {"Prog", 0}, {"Tmax", 1}, {"Aut", 2},
};

enum class Luz { Apagada, Encendida, Parpadeo };

// What a lamp shows for the status words of one reply (no blink phase).
Luz Luz_Indicador(const Indicador &indicador, int32_t encendidos, int32_t parpadeos);
