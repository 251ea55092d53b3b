#pragma once
// The traffic window: the trace of the bytes on the line, live, with its
// counters, a pause, a clear, a save to a text file and a log that follows the
// trace into a file for as long as it runs. The main page opens it with Ctrl+L.
// It reads the host's trace on a timer while it is shown, so the poll never
// waits for it and a closed window costs nothing; only the log, when one is
// kept, is written as each line comes, shown or not.

#include "enlace/Archivo_Traza.h"

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class Traza_Trafico;
struct Linea_Traza;

class Operador;
class Principal;

class Ventana_Trafico : public QWidget {
    Q_OBJECT
  public:
    static constexpr int Refresco_ms = 200;
    // The items of `Filtro`, in its order.
    enum Filtros { Todas = 0, Solo_Errores = 1, Una_Direccion = 2 };

    // `operador` asks where to save and says when it could not.
    Ventana_Trafico(Traza_Trafico &traza, Operador &operador, QWidget *padre = nullptr);

    // New lines into the view (unless paused) and the counters brought up to date.
    void Actualiza();
    void Pausa_Click(bool pausada);
    void Limpiar_Click();
    void Guardar_Click();
    // The view made again from the lines held, through the filter now chosen.
    void Filtro_Cambiado();
    void Registrar_Click(bool registrar);
    // The colour a line is shown in: errors stand out from the rest.
    static QColor Color_De(const Linea_Traza &linea);

    QPlainTextEdit *Lineas;
    QLabel *Contadores;
    QComboBox *Filtro;
    QSpinBox *Direccion;
    QLabel *Registro; // the log's file, while one is kept
    QPushButton *Pausa;
    QPushButton *Limpiar;
    QPushButton *Guardar;
    QPushButton *Registrar;

  protected:
    void showEvent(QShowEvent *evento) override;
    void hideEvent(QHideEvent *evento) override;

  private:
    void Crea_Controles();
    bool Pasa_Filtro(const Linea_Traza &linea) const;
    void Anade_A_Vista(const std::vector<Linea_Traza> &lineas);
    void Empieza_Registro();
    void Termina_Registro();
    void Al_Linea_Nueva(const Linea_Traza &linea);

    Traza_Trafico &traza_;
    Operador &operador_;
    QTimer refresco_;
    uint64_t siguiente_ = 0; // the first line not yet in the view
    Archivo_Traza archivo_;
    QMetaObject::Connection conexion_registro_;
};

// Ctrl+L on the page opens (or brings forward) its traffic window, which reads
// the host's trace. Named in the tooltip of `rotulo`.
void Instala_Ventana_Trafico(QWidget &pagina, QWidget &rotulo, Principal &host);
