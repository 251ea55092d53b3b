#pragma once
// The window the desktop program shows until its main page exists.

#include <QWidget>

QWidget *Crea_Ventana_Provisional();
