#pragma once
// The trend window: the present temperatures of the probes over the time the
// trend's memory holds, with the L1, L2 and fan thresholds the relay held at
// each time as lines of steps, and the changes of the L1, L2, FAN and Fault
// lamps marked along the time axis. It reads the memory the page's poll fills;
// it redraws from a timer at most every two seconds (a trend of hours gains
// nothing from more, and a recording page pays for each redraw), and only while
// it is shown, so the poll never waits for it.
// The wheel or a dragged rectangle zooms, Shift+wheel and the arrow keys pan,
// "Live" goes back to following the newest polls; "Pause" freezes the picture.
// The mouse over the chart shows the time and every value under it. "Open
// log..." shows a value log written earlier instead, until "Live".

#include "registro/Memoria_Tendencia.h"

#include <QPointF>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

class QChart;
class QChartView;
class QCheckBox;
class QDateTimeAxis;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QValueAxis;

// The probes' runs between gaps, as the chart draws them.
using Tramos_Sonda = std::vector<std::vector<QPointF>>;

// The time axis while the trend follows the newest polls: from the oldest to
// past the newest, both on steps of a tenth of the span, so that the axis and
// its labels stay put from one poll to the next and only the lines are drawn
// again.
struct Rango_Tendencia {
    qint64 desde = 0, hasta = 0;
};
Rango_Tendencia Rango_En_Vivo(qint64 primero, qint64 ultimo);

// The temperature axis for values from `bajo` to `alto`: both ends and every
// tick on a multiple of the step, a round 5, 10, 20, 50 or 100 °C, at most ten
// steps in all.
struct Escala_Temperatura {
    double minimo = 0, maximo = 0, paso = 10;
};
Escala_Temperatura Escala_Redonda(double bajo, double alto);

// How the time axis writes a time for a view from `desde` to `hasta` (ms): with
// the date when the view crosses midnight or spans more than 12 hours.
QString Formato_Hora(qint64 desde, qint64 hasta);

class Operador;

class Ventana_Tendencia : public QWidget {
    Q_OBJECT
  public:
    // `operador` asks where to save and which log to open, and says when it could not.
    Ventana_Tendencia(const Memoria_Tendencia &memoria, Operador &operador,
                      QWidget *padre = nullptr);
    ~Ventana_Tendencia() override;

    // Draws what the memory holds now (the timer calls it every two seconds).
    void Redibuja();
    void Alterna_Pausa();
    // Back to the page's polls, following the newest.
    void Sigue_En_Vivo();
    // The view moved by hand: it stops following the newest polls.
    void Zoom(double factor);
    void Desplaza(double fraccion);
    // The chart as a PNG picture, and the memory's values as CSV, each replacing
    // the file `ruta` whole or leaving it as it was: nothing when written, else why not.
    std::optional<QString> Exporta_Png(const QString &ruta);
    std::optional<QString> Exporta_Csv(const QString &ruta);
    // Shows the value log at `ruta`, asking which relay when it holds several:
    // true when it is shown.
    bool Abre_Registro(const QString &ruta);
    // The cursor at the poll nearest to `ms`: a line, and the time and every
    // value of that poll above the chart.
    void Cursor_En(qint64 ms);

    QChartView *Vista() const { return vista_; }
    int Redibujos() const { return redibujos_; }
    // Series of probe k (0..3) with points in them: one a run between gaps.
    std::vector<QLineSeries *> Series_Con_Puntos(int k) const;
    QLineSeries *Umbral(int i) const { return umbrales_[static_cast<std::size_t>(i)]; }
    QScatterSeries *Marcas_Lampara(int i) const { return lamparas_[static_cast<std::size_t>(i)]; }
    QValueAxis *Eje_Temperatura() const { return eje_y_; }
    QDateTimeAxis *Eje_Tiempo() const { return eje_x_; }
    QLabel *Texto_Cursor() const { return cursor_texto_; }
    QLabel *Aviso_Vacio() const { return vacio_; }
    // The check boxes that show or hide each line: Pt1..Pt4, the four
    // thresholds, the four lamps' marks.
    const std::array<QCheckBox *, 12> &Casillas() const { return casillas_; }

  protected:
    void showEvent(QShowEvent *evento) override;
    void hideEvent(QHideEvent *evento) override;
    void keyPressEvent(QKeyEvent *evento) override;

  private:
    void Construye();
    void Construye_Series();
    QWidget *Construye_Casillas();
    QLineSeries *Serie(int k, std::size_t n);
    void Pon_Tramos(int k, const Tramos_Sonda &tramos);
    void Pon_Umbrales(qint64 desde, qint64 hasta);
    void Pon_Lamparas(qint64 desde, qint64 hasta);
    void Ajusta_Ejes(qint64 desde, qint64 hasta, const std::array<Tramos_Sonda, 4> &tramos);
    void Pon_Formato_Hora();
    void Muestra_Vacio(bool vacio);
    QString Describe_Sondeo(const Punto_Tendencia &punto) const;
    void Aplica_Casillas();
    void Guarda_Png();
    void Guarda_Csv();
    void Abre_Registro_Elegido();

    const Memoria_Tendencia &en_vivo_memoria_;
    const Memoria_Tendencia *memoria_; // the page's, or a log opened
    std::unique_ptr<Memoria_Tendencia> registro_;
    Operador &operador_;
    QChart *grafico_ = nullptr;
    QChartView *vista_ = nullptr;
    QDateTimeAxis *eje_x_ = nullptr;
    QValueAxis *eje_y_ = nullptr;
    std::array<std::vector<QLineSeries *>, 4> series_;
    std::array<QLineSeries *, 4> umbrales_{};    // L1, L2, Low Fan, High Fan
    std::array<QScatterSeries *, 4> lamparas_{}; // L1, L2, FAN, Fault
    std::array<QCheckBox *, 12> casillas_{};
    // What the threshold lines were last drawn from: the memory, its changes and the span.
    std::array<qint64, 5> umbrales_dibujados_{};
    QGraphicsLineItem *cursor_ = nullptr;
    QLabel *cursor_texto_ = nullptr;
    QLabel *vacio_ = nullptr;
    QPushButton *pausa_ = nullptr;
    QTimer reloj_;
    bool pausada_ = false;
    bool en_vivo_ = true;
    bool ajustando_ = false;
    uint64_t version_dibujada_ = ~uint64_t{0};
    int redibujos_ = 0;
};
