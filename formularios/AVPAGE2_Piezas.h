#pragma once
// What the main page's source files share: its height without the status bar,
// its fonts, its framed areas and its rules.

#include <QFont>
#include <QFrame>
#include <QRect>
#include <QString>

inline constexpr int Alto_Pagina = 594;

QFont Letra(const QString &familia, double puntos, bool negrita = false, bool cursiva = false);
// A sunken box; with a caption, the caption sits on its top edge.
QFrame *Marco(const QString &titulo, QWidget *padre, QRect lugar);
// A sunken rule, across or down as `lugar` is wide or tall.
QFrame *Linea(QWidget *padre, QRect lugar);
