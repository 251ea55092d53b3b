#pragma once
// The numeric entry dialog: a keypad in which the operator types a new setpoint in
// the units shown on screen (raw value x Paso). The caller fills the Calc_ inputs, shows a
// fresh dialog modally and, once it has closed, reads Calc_Resultado in raw units.
// The dialog never touches the setpoint images; the editor that opened it stores
// the result.

#include "controles/Moneda.h"

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

// Inputs, in raw register units unless said.
extern QString Calc_Titulo;     // title line (the editor's Titulo)
extern int32_t Calc_Minimo;     // lowest accepted value
extern int32_t Calc_Maximo;     // highest accepted value
extern int32_t Calc_Anterior;   // value before editing
extern QString Calc_Medida;     // unit text
extern int16_t Calc_Incremento; // an accepted value is a whole multiple of it
extern float Calc_Factor;       // 1 / Paso: raw value = shown value x factor
// Result: the accepted value, the last value typed, or after Cancel Calc_Anterior.
extern Moneda Calc_Resultado;

class Operador;

class Calculadora : public QDialog {
    Q_OBJECT
  public:
    // `dialogos` says "Out of Range" and "Incorrect Range".
    explicit Calculadora(Operador &dialogos, QWidget *padre = nullptr);

    // Cancel, Escape and the window frame all end here and give the old value back:
    // an operator who closes the window has not accepted what he typed.
    void reject() override;

  protected:
    // The keyboard types as the keypad does; Enter is OK and Escape is Cancel.
    void keyPressEvent(QKeyEvent *evento) override;

  private:
    Operador &dialogos_;
    void Form_Load();
    void Numeros_Click(int index);
    void Command2_Click();
    void Command1_Click();
    void OK_Click();

    QLabel *Titulo;
    QLabel *Viejo;
    QLabel *Rango;
    QLabel *Incremento;
    QLineEdit *Pantalla;
    std::array<QPushButton *, 10> Numeros{};
    QPushButton *Command2; // "."
    QPushButton *Command1; // "CE"
    QPushButton *OK;
    QPushButton *Cancel;
};
