#pragma once
// The traffic window: the trace of the bytes on the line, live, with its
// counters, a pause, a clear and a save to a text file. The main page opens it
// with Ctrl+L. It reads the host's trace on a timer while it is shown, so the
// poll never waits for it and a closed window costs nothing.

#include <QTimer>
#include <QWidget>
#include <cstdint>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class Traza_Trafico;

class Operador;
class Principal;

class Ventana_Trafico : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Refresco_ms = 200;

    // `operador` asks where to save and says when it could not.
    Ventana_Trafico(Traza_Trafico &traza, Operador &operador, QWidget *padre = nullptr);

    // New lines into the view (unless paused) and the counters brought up to date.
    void Actualiza();
    void Pausa_Click(bool pausada);
    void Limpiar_Click();
    void Guardar_Click();

    QPlainTextEdit *Lineas;
    QLabel *Contadores;
    QPushButton *Pausa;
    QPushButton *Limpiar;
    QPushButton *Guardar;

  protected:
    void showEvent(QShowEvent *evento) override;
    void hideEvent(QHideEvent *evento) override;

  private:
    Traza_Trafico &traza_;
    Operador &operador_;
    QTimer refresco_;
    uint64_t siguiente_ = 0; // the first line not yet in the view
};

// Ctrl+L on the page opens (or brings forward) its traffic window, which reads
// the host's trace. Named in the tooltip of `rotulo`.
void Instala_Ventana_Trafico(QWidget &pagina, QWidget &rotulo, Principal &host);
