#pragma once
// The page's tools in plain sight: a "Tools" button at the end of the status bar
// and the same menu on a right click anywhere on the page, listing the windows
// and the recording that otherwise only a key opens, and F1 "Keys and tools".
// The page's own controls stay where they are.

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QMenu;
class QStatusBar;
class QToolButton;
class QWidget;
class Ventana_Teclas;

class Herramientas_Pagina : public QObject {
    Q_OBJECT
  public:
    Herramientas_Pagina(QWidget &pagina, QStatusBar &barra);

    // The one a page was given.
    static Herramientas_Pagina *De(const QWidget &pagina);

    // The menu as the button or a right click shows it now.
    QMenu *Menu();
    QToolButton *Boton() const { return boton_; }
    // F1: the keys and the program's version, made once and raised after.
    void Abre_Teclas();
    Ventana_Teclas *Teclas() const;

  private:
    void Rellena();
    // What the key does on the page: its action, or its shortcut's signal.
    QAction *Accion_De(const QKeySequence &tecla, const QString &nombre);

    QWidget &pagina_;
    QToolButton *boton_ = nullptr;
    QMenu *menu_ = nullptr;
    QAction *ayuda_ = nullptr;
    QList<QAction *> propias_; // stand-ins for keys that have no action
    QPointer<Ventana_Teclas> teclas_;
};

// The page's tools, installed on it and on its status bar.
void Instala_Herramientas(QWidget &pagina, QStatusBar &barra);
