#pragma once
// Placing the controls of the program's forms at fixed places, in pixels.

#include <QComboBox>
#include <QLabel>

inline QLabel *Etiqueta(const QString &texto, QWidget *padre, int x, int y, int ancho,
                        int alto = 22) {
    auto *etiqueta = new QLabel(texto, padre);
    etiqueta->setGeometry(x, y, ancho, alto);
    return etiqueta;
}

// A drop-down list of fixed items.
inline QComboBox *Lista(const QStringList &elementos, QWidget *padre, int x, int y, int ancho,
                        int alto = 22) {
    auto *lista = new QComboBox(padre);
    lista->addItems(elementos);
    lista->setGeometry(x, y, ancho, alto);
    return lista;
}
