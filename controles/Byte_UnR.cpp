#include "controles/Byte_UnR.h"

#include "controles/Bolsa_Propiedades.h"
#include "datos/Manejo_de_Datos.h"

#include <QLineEdit>

Byte_UnR::Byte_UnR(QWidget *padre, Operador *dialogos) : Editor_UnR(padre, dialogos) {}

int16_t Byte_UnR::BorderStyle() const {
    return Text1->hasFrame() ? 1 : 0;
}

int16_t Byte_UnR::Alignment() const {
    const Qt::Alignment a = Text1->alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignRight)
        return 1;
    if (a & Qt::AlignHCenter)
        return 2;
    return 0;
}

void Byte_UnR::Set_BackColor(int32_t color) {
    back_color_ = color;
}

// Unlike the word editor, the position is the current Posicion_Set. A value that
// is no byte (a step larger than 1 can pass 0 or 255, since the arrows test
// before they step) is not stored: cut to a byte it would be another address.
void Byte_UnR::Guarda_Valor() {
    if (Value() >= 0 && Value() <= 255)
        Escribe_Byte_Setpoint(Posicion_Set(), static_cast<uint8_t>(Value()));
}

int32_t Byte_UnR::Lee_Registro(uint8_t posicion) const {
    return Lee_Byte_Setpoint(posicion);
}

void Byte_UnR::Tras_Flecha() {
    Set_Dato(Value());
}

void Byte_UnR::Antes_De_Resultado() {
    Set_Dato(QString());
}

void Byte_UnR::Lee_Propiedades(const Bolsa_Propiedades &bolsa) {
    Editor_UnR::Lee_Propiedades(bolsa);
    back_color_ = static_cast<int32_t>(
        static_cast<uint32_t>(bolsa.Lee(QStringLiteral("BackColor"), 0).toLongLong()));
}

void Byte_UnR::Escribe_Propiedades(Bolsa_Propiedades &bolsa) const {
    Editor_UnR::Escribe_Propiedades(bolsa);
    bolsa.Escribe(QStringLiteral("BackColor"), back_color_, 0);
}
