#pragma once
// The word setpoint editor: shows and edits one 16-bit setpoint register. The main
// page carries four, one per temperature register. Every change lands at once in
// Nuevos_Setpoints at the register of Direccion and is announced with Change
// (arrows) or Click (dialog).

#include "controles/Editor_UnR.h"

class Word_UnR : public Editor_UnR {
    Q_OBJECT
  public:
    explicit Word_UnR(QWidget *padre = nullptr, Operador *dialogos = nullptr);

    // Shows Value and stores it; raises nothing. Always false.
    bool Refrescar();

  signals:
    // From the control's own surface: Button 1 left, 2 right, 4 middle; Shift 1
    // Shift, 2 Ctrl, 4 Alt; X and Y in twips.
    void MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void MouseUp(int16_t Button, int16_t Shift, float X, float Y);

  protected:
    void Guarda_Valor() override;
    int32_t Lee_Registro(uint8_t posicion) const override;

    void mousePressEvent(QMouseEvent *evento) override;
    void mouseMoveEvent(QMouseEvent *evento) override;
    void mouseReleaseEvent(QMouseEvent *evento) override;
};
