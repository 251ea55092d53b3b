#pragma once
// The main page's value log and trend: the page's poll hands each result here,
// where it goes into the trend's memory and, while the operator records, into
// a CSV file a row at a time. Both are reached from a context menu on the
// "Actual Values" frame and from Ctrl+R (record) and Ctrl+T (trend).
//
// A recording outlives a lost line, as kv73ctl log does: the failed poll is a
// "no reply" row, then one more a minute while the link stays down, and the
// page's polls write again once ON brings the link back. It ends only when the
// operator stops it, the page closes, or a row cannot be written. While it
// records, a red REC mark on the page names the file in its tooltip.

#include "registro/Archivo_Csv.h"
#include "registro/Memoria_Tendencia.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class AVPAGE2;
class QAction;
class QFrame;
class QLabel;
class QMenu;
class Ventana_Tendencia;
class Operador;

class Registro_Pagina : public QObject {
    Q_OBJECT
  public:
    // `operador` asks where to record and says when it cannot.
    Registro_Pagina(AVPAGE2 &pagina, Operador &operador);
    ~Registro_Pagina() override;

    // The one a page was given.
    static Registro_Pagina *De(const AVPAGE2 &pagina);

    // Ctrl+R: asks where and starts recording while the link is up, or stops.
    void Alterna_Grabacion();
    void Detiene_Grabacion();
    bool Grabando() const { return archivo_.Abierto(); }
    // Ctrl+T: the trend window, made once and raised after.
    void Abre_Tendencia();
    Ventana_Tendencia *Tendencia() const;

    void Al_Sondear(Estado_Sondeo estado, const QDateTime &hora);
    // The bus window opened or closed. A recording started while it is open
    // has the address column and takes its relays' polls (Al_Sondear_Bus) as
    // well as the page's; one started before it opened stays the page relay's
    // alone, in the columns its file began with, until it is stopped.
    void Bus_Abierto(bool abierto) { bus_abierto_ = abierto; }
    void Al_Sondear_Bus(const Fila_Registro &fila);
    bool Graba_Direcciones() const { return Grabando() && con_direccion_; }
    // A minute of the link down while recording: its "no reply" row.
    void Anota_Sin_Enlace();
    // The link went down or came back: the minute's rows start or stop.
    void Vigila_Enlace();
    static constexpr int Intervalo_Sin_Enlace_ms = 60000;
    const QTimer &Reloj_Sin_Enlace() const { return sin_enlace_; }
    // The red mark shown while recording.
    QLabel *Marca_Grabacion() const { return marca_; }

    Memoria_Tendencia &Memoria() { return memoria_; }
    QAction *Accion_Grabar() const { return grabar_; }
    // The context menu of the "Actual Values" frame, as a right click shows it.
    QMenu *Menu_Contextual();
    QFrame *Marco_Valores() const { return marco_; }

  protected:
    bool eventFilter(QObject *objeto, QEvent *evento) override;

  private:
    void Muestra_Estado_Grabacion();
    // A row into the file; a row that cannot be written ends the recording
    // with a message naming the file. False then.
    bool Escribe_Fila(const Fila_Registro &fila);

    AVPAGE2 &pagina_;
    Operador &operador_;
    QFrame *marco_ = nullptr;
    QAction *grabar_ = nullptr;
    QAction *tendencia_ = nullptr;
    QMenu *menu_ = nullptr;
    QLabel *marca_ = nullptr;
    QTimer sin_enlace_;
    Archivo_Csv archivo_;
    bool bus_abierto_ = false;
    bool con_direccion_ = false; // the file being written has the address column
    Memoria_Tendencia memoria_;
    QPointer<Ventana_Tendencia> ventana_;
};
