#pragma once
// The main page's value log and trend: the page's poll hands each result here,
// where it goes into the trend's memory and, while the operator records, into
// a CSV file a row at a time. Both are reached from a context menu on the
// "Actual Values" frame and from Ctrl+R (record) and Ctrl+T (trend).

#include "registro/Archivo_Csv.h"
#include "registro/Memoria_Tendencia.h"

#include <QObject>
#include <QPointer>

class AVPAGE2;
class QAction;
class QFrame;
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

    Memoria_Tendencia &Memoria() { return memoria_; }
    QAction *Accion_Grabar() const { return grabar_; }
    // The context menu of the "Actual Values" frame, as a right click shows it.
    QMenu *Menu_Contextual();
    QFrame *Marco_Valores() const { return marco_; }

  protected:
    bool eventFilter(QObject *objeto, QEvent *evento) override;

  private:
    void Muestra_Estado_Grabacion();

    AVPAGE2 &pagina_;
    Operador &operador_;
    QFrame *marco_ = nullptr;
    QAction *grabar_ = nullptr;
    QAction *tendencia_ = nullptr;
    QMenu *menu_ = nullptr;
    Archivo_Csv archivo_;
    Memoria_Tendencia memoria_;
    QPointer<Ventana_Tendencia> ventana_;
};
