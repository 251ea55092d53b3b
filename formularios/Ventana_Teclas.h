#pragma once
// F1 "Keys and tools": every key of the main page and what it does, the tools
// the page's Tools menu opens, and the program's version and licence.

#include <QDialog>
#include <QKeyCombination>
#include <vector>

class QTableWidget;

// A tool of the page that a key opens, as the Tools menu names it.
struct Herramienta {
    QKeyCombination tecla;
    const char *nombre;
};
const std::vector<Herramienta> &Herramientas();

class Ventana_Teclas : public QDialog {
    Q_OBJECT
  public:
    explicit Ventana_Teclas(QWidget *padre);

    // Key, what it does: a row a key, a heading row a group.
    QTableWidget *Tabla;
    // The program's name, version and licence.
    QString Acerca() const;
};
