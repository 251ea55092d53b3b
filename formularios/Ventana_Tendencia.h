#pragma once
// The trend window: the present temperatures of the probes over the time the
// trend's memory holds, with the L1, L2 and fan thresholds as lines. It reads
// the memory the page's poll fills; it redraws from a timer at most once a
// second, and only while it is shown, so the poll never waits for it.
// The wheel or a dragged rectangle zooms, Shift+wheel and the arrow keys pan,
// "Live" goes back to following the newest polls; "Pause" freezes the picture.

#include "registro/Memoria_Tendencia.h"

#include <QPointF>
#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>
#include <vector>

class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
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

class Operador;

class Ventana_Tendencia : public QWidget {
    Q_OBJECT
  public:
    // `operador` asks where to save and says when it could not.
    Ventana_Tendencia(const Memoria_Tendencia &memoria, Operador &operador,
                      QWidget *padre = nullptr);

    // Draws what the memory holds now (the timer calls it once a second).
    void Redibuja();
    void Alterna_Pausa();
    void Sigue_En_Vivo();
    // The view moved by hand: it stops following the newest polls.
    void Zoom(double factor);
    void Desplaza(double fraccion);
    // The chart as a PNG picture, and the memory's values as CSV, each replacing
    // the file `ruta` whole or leaving it as it was: nothing when written, else why not.
    std::optional<QString> Exporta_Png(const QString &ruta);
    std::optional<QString> Exporta_Csv(const QString &ruta);

    QChartView *Vista() const { return vista_; }
    int Redibujos() const { return redibujos_; }
    // Series of probe k (0..3) with points in them: one a run between gaps.
    std::vector<QLineSeries *> Series_Con_Puntos(int k) const;

  protected:
    void showEvent(QShowEvent *evento) override;
    void hideEvent(QHideEvent *evento) override;
    void keyPressEvent(QKeyEvent *evento) override;

  private:
    void Construye();
    QLineSeries *Serie(int k, std::size_t n);
    void Pon_Tramos(int k, const Tramos_Sonda &tramos);
    void Pon_Umbrales(qint64 desde, qint64 hasta);
    void Ajusta_Ejes(qint64 desde, qint64 hasta, const std::array<Tramos_Sonda, 4> &tramos);
    void Guarda_Png();
    void Guarda_Csv();

    const Memoria_Tendencia &memoria_;
    Operador &operador_;
    QChart *grafico_ = nullptr;
    QChartView *vista_ = nullptr;
    QDateTimeAxis *eje_x_ = nullptr;
    QValueAxis *eje_y_ = nullptr;
    std::array<std::vector<QLineSeries *>, 4> series_;
    std::array<QLineSeries *, 4> umbrales_{}; // L1, L2, Low Fan, High Fan
    // The four values and the span the threshold lines were last drawn with.
    std::array<qint64, 6> umbrales_dibujados_{};
    QPushButton *pausa_ = nullptr;
    QTimer reloj_;
    bool pausada_ = false;
    bool en_vivo_ = true;
    bool ajustando_ = false;
    uint64_t version_dibujada_ = ~uint64_t{0};
    int redibujos_ = 0;
};
