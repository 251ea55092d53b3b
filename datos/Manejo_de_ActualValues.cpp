#include "datos/Manejo_de_ActualValues.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_Datos.h"

#include <cmath>
#include <stdexcept>

double Posicion_Actual(const QString &direccion) {
    return Posicion_Registro(direccion, QStringLiteral("0200"));
}

int32_t Lee_Word_Actual(uint8_t i) {
    return Estado.Valores_Actuales[i] * 256 + Estado.Valores_Actuales[i + 1u];
}

int16_t Lee_Bit_Actual(uint8_t bit, uint8_t i) {
    if (bit > 7)
        throw std::out_of_range("bit " + std::to_string(bit) + " outside 0..7");
    return (Estado.Valores_Actuales[i] >> bit) & 1;
}

bool Estado_Parpadeo(uint8_t a, uint8_t i, uint8_t c, uint8_t j, bool previo) {
    if (Lee_Bit_Actual(a, i) == 0)
        return false;
    if (Lee_Bit_Actual(c, j) == 0)
        return true;
    return !previo;
}

Lectura_Actual Lee_Lectura_Actual() {
    Lectura_Actual v;
    for (int k = 0; k < 4; ++k) {
        v.temperaturas[k] = Texto_Temperatura(Lee_Word_Actual(static_cast<uint8_t>(4 + 2 * k)));
        v.maximos[k] = Lee_Word_Actual(static_cast<uint8_t>(12 + 2 * k));
    }
    v.encendidos = Lee_Word_Actual(CByte(Posicion_Actual(QStringLiteral("020A"))));
    v.parpadeos = Lee_Word_Actual(CByte(Posicion_Actual(QStringLiteral("020B"))));
    return v;
}

QString Texto_Temperatura(double valor) {
    double v = valor;
    const double entero = std::floor(valor);
    if (entero >= 0xFF00 && entero <= 0xFFFF)
        v = entero - 65536;
    if (v == Temperatura_Fcc)
        return QStringLiteral("Fcc");
    if (v == Temperatura_Fco)
        return QStringLiteral("Fco");
    return QString::number(v, 'g', 15);
}

Luz Luz_Indicador(const Indicador &indicador, int32_t encendidos, int32_t parpadeos) {
    if (((encendidos >> indicador.bit) & 1) == 0)
        return Luz::Apagada;
    return ((parpadeos >> indicador.bit) & 1) ? Luz::Parpadeo : Luz::Encendida;
}
