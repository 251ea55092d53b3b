#include "datos/Manejo_de_Datos.h"

#include "comun/DECLARACION_DE_VARIABLES.h"

#include <cmath>
#include <stdexcept>

namespace {
uint8_t Bit_Comprobado(uint8_t bit) {
    if (bit > 7)
        throw std::out_of_range("bit " + std::to_string(bit) + " outside 0..7");
    return bit;
}
} // namespace

double Posicion_Registro(const QString &direccion, const QString &base) {
    const double b = base.toUInt(nullptr, 16);
    const double v = direccion.trimmed().toUInt(nullptr, 16);
    return 2 * (v - b) + 4;
}

double Posicion_Setpoint(const QString &direccion) {
    return Posicion_Registro(direccion, QStringLiteral("0100"));
}

int32_t Lee_Word_Setpoint(uint8_t p) {
    return Estado.Set_Setpoints[p] * 256 + Estado.Set_Setpoints[p + 1u];
}

uint8_t Lee_Byte_Setpoint(uint8_t p) {
    return Estado.Set_Setpoints[p];
}

int16_t Lee_Bit_Setpoint(uint8_t bit, uint8_t p) {
    return (Estado.Set_Setpoints[p] >> Bit_Comprobado(bit)) & 1;
}

void Escribe_Word_Setpoint(const QString &valor, uint8_t p) {
    // The editors hand the value over as decimal text; only 16 bits go to a register.
    // A negative value keeps its 16-bit pattern (-2 is 0xFFFE), as the register holds it.
    const double leido = valor.trimmed().toDouble();
    const auto n = static_cast<uint32_t>(
        static_cast<int64_t>(std::isfinite(leido) ? std::fmod(std::trunc(leido), 65536.0) : 0) &
        0xFFFF);
    Estado.Nuevos_Setpoints[p + 5u] = static_cast<uint8_t>(n & 0xFF);
    Estado.Nuevos_Setpoints[p + 4u] = static_cast<uint8_t>((n & 0xFF00) / 256);
}

void Escribe_Byte_Setpoint(uint8_t p, uint8_t valor) {
    Estado.Nuevos_Setpoints[p + 4u] = valor;
}

int16_t Cambia_Bit_Setpoint(int16_t estado, uint8_t bit, uint8_t p) {
    const int x = Estado.Nuevos_Setpoints[p + 4u];
    const int mascara = 1 << Bit_Comprobado(bit);
    return static_cast<int16_t>(estado != 0 ? (x | mascara) : (x & (255 - mascara)));
}
