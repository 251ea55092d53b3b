#include "controles/Word_UnR.h"

#include "comun/Texto.h"
#include "controles/Twips.h"
#include "datos/Manejo_de_Datos.h"

#include <QLineEdit>
#include <QMouseEvent>

namespace {

int16_t Botones_De(Qt::MouseButtons botones) {
    return static_cast<int16_t>((botones & Qt::LeftButton ? 1 : 0) |
                                (botones & Qt::RightButton ? 2 : 0) |
                                (botones & Qt::MiddleButton ? 4 : 0));
}

int16_t Teclas_De(Qt::KeyboardModifiers teclas) {
    return static_cast<int16_t>((teclas & Qt::ShiftModifier ? 1 : 0) |
                                (teclas & Qt::ControlModifier ? 2 : 0) |
                                (teclas & Qt::AltModifier ? 4 : 0));
}

float En_Twips(qreal pixeles) {
    return static_cast<float>(pixeles * Twips_Por_Pixel);
}

} // namespace

Word_UnR::Word_UnR(QWidget *padre, Operador *dialogos) : Editor_UnR(padre, dialogos) {
    setMouseTracking(true);
}

bool Word_UnR::Refrescar() {
    Muestra_Valor();
    Guarda_Valor();
    Refresh();
    return false;
}

// The position is worked out from Direccion at every store, not taken from
// Posicion_Set, so a host that changes the address stores at the new register.
void Word_UnR::Guarda_Valor() {
    Escribe_Word_Setpoint(QString::number(Value()), CByte(Posicion_Setpoint(Direccion())));
}

int32_t Word_UnR::Lee_Registro(uint8_t posicion) const {
    return Lee_Word_Setpoint(posicion);
}

void Word_UnR::mousePressEvent(QMouseEvent *evento) {
    emit MouseDown(Botones_De(evento->button()), Teclas_De(evento->modifiers()),
                   En_Twips(evento->position().x()), En_Twips(evento->position().y()));
}

void Word_UnR::mouseMoveEvent(QMouseEvent *evento) {
    emit MouseMove(Botones_De(evento->buttons()), Teclas_De(evento->modifiers()),
                   En_Twips(evento->position().x()), En_Twips(evento->position().y()));
}

void Word_UnR::mouseReleaseEvent(QMouseEvent *evento) {
    emit MouseUp(Botones_De(evento->button()), Teclas_De(evento->modifiers()),
                 En_Twips(evento->position().x()), En_Twips(evento->position().y()));
}
