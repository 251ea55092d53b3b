#pragma once
// The byte setpoint editor: the word editor's sister for a one-byte value. The
// program's one instance edits the relay's slave address (1..254) on the
// communication settings form, which reads and sets its Value. A change lands in
// Nuevos_Setpoints[Posicion_Set + 4], for the address a header byte no frame sends.

#include "controles/Editor_UnR.h"

class Byte_UnR : public Editor_UnR {
    Q_OBJECT
  public:
    explicit Byte_UnR(QWidget *padre = nullptr, Operador *dialogos = nullptr);

    // Of the text box: 0 no border, 1 fixed single.
    int16_t BorderStyle() const;
    // Of the text box: 0 left, 1 right, 2 centre.
    int16_t Alignment() const;

    // Kept and saved only; it does not recolour the text box. It is saved under the
    // same name as the text box's colour, so a saved colour comes back for both.
    int32_t BackColor() const { return back_color_; }
    void Set_BackColor(int32_t color);

    void Lee_Propiedades(const Bolsa_Propiedades &bolsa) override;
    void Escribe_Propiedades(Bolsa_Propiedades &bolsa) const override;

  protected:
    void Guarda_Valor() override;
    int32_t Lee_Registro(uint8_t posicion) const override;
    void Tras_Flecha() override;
    void Antes_De_Resultado() override;

  private:
    int32_t back_color_ = 0;
};
