#pragma once
// The operator's hands on the editor controls and the numeric entry dialog:
// clicks on the arrows, the text box and the keypad's buttons.

#include <QString>
#include <functional>

class Calculadora;
class QWidget;

// Runs `manos` on the numeric entry dialog inside its modal loop. A dialog still
// open afterwards fails the test and is closed, so a wrong script cannot hang.
void Con_Calculadora(std::function<void(Calculadora &)> manos);

// A click on the keypad's button of that object name ("OK", "Numeros_7").
void Boton(Calculadora &c, const QString &nombre);

// Clears the display, types `teclas` on the keypad with the mouse and clicks OK.
void Entra(Calculadora &c, const QString &teclas);

// A click on an editor's arrow ("Arriba", "Abajo") or on its text box ("Text1").
void Clic(QWidget &editor, const char *nombre);
