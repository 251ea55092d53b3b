#pragma once
// The bus window (Ctrl+B): every relay of the line the page is linked on, a row
// each, from an address list the operator types or a scan of the line, the list
// kept per port. While it is open the page's poll timer gives it a turn after
// each poll of the page's own relay, and it polls one relay of the list in turn:
// a round of the bus takes as many page polls as it has relays. A relay that
// does not answer is marked in its row and asked again the next round. A
// double click on a row switches the page to that relay, as ON with that
// address does. Each relay's lamp changes and link losses go into the journal;
// a recording started while the window is open takes every relay's polls.

#include "formularios/Ventana_Bus_Sondeo.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <optional>

class AVPAGE2;
class Principal;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

class Ventana_Bus : public QWidget {
    Q_OBJECT
  public:
    Ventana_Bus(AVPAGE2 &pagina, Principal &host);
    ~Ventana_Bus() override;

    // The columns of the table, in order.
    enum Columna {
        Direccion = 0,
        Pt1 = 1,
        Max1 = 5,
        L1 = 9,
        L2,
        FAN,
        Fault,
        Enlace,
        Ultima,
        Columnas
    };

    // The typed list into the rows, kept for this port. False, with the reason
    // on the window, when it does not read.
    bool Aplica_Lista();
    // The page's timer gives the window a turn: one bus relay polled.
    void Al_Turno();
    // The page's relay's own poll, shown in its row when it is in the list.
    void Al_Sondeo_Pagina(Estado_Sondeo estado, const QDateTime &hora);
    static constexpr int Refresco_Pagina_ms = 5000;
    // The page moves to the relay of row `fila`, as ON with its address.
    void Cambia_Rele(int fila);

    void Explora_Click();
    void Cancela_Exploracion();
    bool Explorando() const { return siguiente_ > 0; }

    // The settings key of the list for port `puerto`.
    static QString Clave_Lista(int puerto);

    Sondeo_Bus &Sondeo() { return sondeo_; }

    QLineEdit *Lista;
    QPushButton *Aplicar;
    QSpinBox *Desde;
    QSpinBox *Hasta;
    QPushButton *Explorar;
    QPushButton *Cancelar;
    QProgressBar *Progreso;
    QTableWidget *Tabla;
    QLabel *Vuelta; // how long a round of the bus takes
    QLabel *Aviso;  // what the window has to say: a list that does not read, a scan's end

  protected:
    void showEvent(QShowEvent *evento) override;
    void hideEvent(QHideEvent *evento) override;

  private:
    void Construye();
    void Construye_Exploracion(QWidget *fila);
    void Carga_Lista();
    void Pon_Lista(const QList<uint8_t> &direcciones);
    void Muestra_Fila(int k);
    void Muestra_Vuelta();
    void Anota_Diario(Rele_Bus &rele, const Fila_Registro &fila);
    void Paso_Exploracion();
    void Termina_Exploracion(const QString &aviso, bool aplica);

    AVPAGE2 &pagina_;
    Principal &host_;
    Sondeo_Bus sondeo_;
    // The scan: the next address to ask (0: none runs), what answered so far.
    int siguiente_ = 0;
    bool cancelada_ = false;
    QList<uint8_t> halladas_;
    QTimer paso_;
    // The page relay's row: the outcome it shows, and since when.
    std::optional<Estado_Sondeo> pagina_mostrada_;
    QElapsedTimer refresco_pagina_;
};

// Ctrl+B on the page opens the window, made once and raised after.
void Instala_Ventana_Bus(AVPAGE2 &pagina, Principal &host);
// The page's bus window, when it has one.
Ventana_Bus *Ventana_Bus_De(const AVPAGE2 &pagina);
