// The trend window's axes and what is drawn along them: round temperature
// ticks, the date on the time axis when it is needed, the thresholds as steps
// and the lamps' changes.

#include "formularios/Ventana_Tendencia.h"

#include <QChart>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <cmath>

Escala_Temperatura Escala_Redonda(double bajo, double alto) {
    if (!(bajo <= alto)) // nothing to show
        return {0, 100, 10};
    for (const double paso : {5.0, 10.0, 20.0, 50.0, 100.0}) {
        // Half a step at least between a line and the frame, where the lamps'
        // marks go.
        const double minimo = std::floor((bajo - paso / 2) / paso) * paso;
        const double maximo = std::ceil((alto + paso / 2) / paso) * paso;
        if ((maximo - minimo) / paso <= 10 || paso == 100.0)
            return {minimo, maximo, paso};
    }
    return {0, 100, 10};
}

QString Formato_Hora(qint64 desde, qint64 hasta) {
    constexpr qint64 Minuto = 60 * 1000, Horas_12 = 12 * 60 * Minuto;
    const QDate primero = QDateTime::fromMSecsSinceEpoch(desde).date();
    const QDate ultimo = QDateTime::fromMSecsSinceEpoch(hasta).date();
    if (primero != ultimo || hasta - desde > Horas_12)
        return QStringLiteral("dd MMM HH:mm");
    return hasta - desde > 10 * Minuto ? QStringLiteral("HH:mm") : QStringLiteral("HH:mm:ss");
}

Rango_Tendencia Rango_En_Vivo(qint64 primero, qint64 ultimo) {
    // A step of a tenth of the span, in whole ten seconds: the axis keeps its
    // labels for that long, and the newest poll is never at the edge.
    constexpr qint64 Diez_s = 10000;
    const qint64 lapso = std::max<qint64>(ultimo - primero, 60000);
    const qint64 paso = std::max<qint64>(Diez_s, (lapso / 10 + Diez_s - 1) / Diez_s * Diez_s);
    const qint64 desde = primero - ((primero % paso) + paso) % paso;
    const qint64 hasta = desde + ((ultimo - desde) / paso + 1) * paso;
    return {desde, std::max(hasta, desde + 60000)};
}

void Ventana_Tendencia::Pon_Umbrales(qint64 desde, qint64 hasta) {
    const auto &cambios = memoria_->Umbrales();
    const std::array<qint64, 5> dibujados{reinterpret_cast<qint64>(memoria_),
                                          static_cast<qint64>(cambios.size()),
                                          cambios.empty() ? 0 : cambios.back().ms, desde, hasta};
    // Unchanged lines are left alone: replacing them repaints the whole plot.
    if (dibujados == umbrales_dibujados_)
        return;
    umbrales_dibujados_ = dibujados;
    for (int i = 0; i < 4; ++i) {
        const std::vector<QPointF> escalones = Escalones_Umbral(*memoria_, i, desde, hasta);
        umbrales_[static_cast<std::size_t>(i)]->replace(
            QList<QPointF>(escalones.begin(), escalones.end()));
    }
}

// Following the newest polls: the span across, every temperature and threshold
// shown in height, on round ticks. An axis is only set when its range changes:
// new labels lay the chart out again.
void Ventana_Tendencia::Ajusta_Ejes(qint64 desde, qint64 hasta,
                                    const std::array<Tramos_Sonda, 4> &tramos) {
    double bajo = 1e9, alto = -1e9;
    const auto cuenta = [&](const QPointF &p) {
        bajo = std::min(bajo, p.y());
        alto = std::max(alto, p.y());
    };
    for (std::size_t k = 0; k < 4; ++k)
        if (casillas_[k]->isChecked())
            for (const auto &tramo : tramos[k])
                for (const QPointF &p : tramo)
                    cuenta(p);
    for (std::size_t u = 0; u < 4; ++u)
        if (umbrales_[u]->isVisible())
            for (const QPointF &p : umbrales_[u]->points())
                cuenta(p);
    ajustando_ = true;
    const QDateTime inicio = QDateTime::fromMSecsSinceEpoch(desde);
    const QDateTime fin = QDateTime::fromMSecsSinceEpoch(hasta);
    if (eje_x_->min() != inicio || eje_x_->max() != fin)
        eje_x_->setRange(inicio, fin);
    const Escala_Temperatura e = Escala_Redonda(bajo, alto);
    if (eje_y_->tickInterval() != e.paso)
        eje_y_->setTickInterval(e.paso);
    if (eje_y_->min() != e.minimo || eje_y_->max() != e.maximo)
        eje_y_->setRange(e.minimo, e.maximo);
    ajustando_ = false;
}

void Ventana_Tendencia::Pon_Formato_Hora() {
    const QString formato =
        Formato_Hora(eje_x_->min().toMSecsSinceEpoch(), eje_x_->max().toMSecsSinceEpoch());
    if (eje_x_->format() != formato)
        eje_x_->setFormat(formato);
}

// Each lamp's changes as marks in a band of its own along the foot of the plot.
void Ventana_Tendencia::Pon_Lamparas(qint64 desde, qint64 hasta) {
    const double banda = (eje_y_->max() - eje_y_->min()) / 40;
    for (int i = 0; i < 4; ++i) {
        const double y = eje_y_->min() + (i + 0.5) * banda;
        QList<QPointF> marcas;
        for (qint64 ms : Cambios_Lampara(*memoria_, i, desde, hasta, 400))
            marcas.append(QPointF(static_cast<double>(ms), y));
        QScatterSeries *serie = lamparas_[static_cast<std::size_t>(i)];
        if (serie->points() != marcas)
            serie->replace(marcas);
    }
}
