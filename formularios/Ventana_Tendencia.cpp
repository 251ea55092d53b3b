#include "formularios/Ventana_Tendencia.h"

#include "archivos/Escritura_Segura.h"
#include "comun/Operador.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>

namespace {

constexpr int Baldes = 400; // a slice every two pixels of a wide window: its least and greatest
                            // keep every spike, at half the points to lay out
const QColor Colores_Sondas[4] = {QColor(0xC0, 0x30, 0x30), QColor(0x20, 0x70, 0xC0),
                                  QColor(0x20, 0x90, 0x40), QColor(0x90, 0x50, 0xB0)};
struct Umbral {
    const char *nombre;
    QColor color;
};
// Apart from the probes' colours, so a threshold is never read as a probe.
const Umbral Umbrales[4] = {{"L1", QColor(0xE0, 0x90, 0x00)},
                            {"L2", QColor(0x20, 0x20, 0x20)},
                            {"Low Fan", QColor(0x00, 0xB0, 0xB0)},
                            {"High Fan", QColor(0x80, 0x80, 0x80)}};

// The chart view with the wheel for zoom and pan.
class Vista_Tendencia : public QChartView {
  public:
    Vista_Tendencia(QChart *grafico, Ventana_Tendencia &ventana)
        : QChartView(grafico), ventana_(ventana) {
        setRubberBand(QChartView::RectangleRubberBand);
        setRenderHint(QPainter::Antialiasing, false);
    }

  protected:
    void wheelEvent(QWheelEvent *evento) override {
        const double pasos = evento->angleDelta().y() / 120.0;
        if (evento->modifiers() & Qt::ShiftModifier)
            ventana_.Desplaza(-0.1 * pasos);
        else if (pasos != 0)
            ventana_.Zoom(std::pow(1.25, pasos));
        evento->accept();
    }
    void mouseReleaseEvent(QMouseEvent *evento) override {
        QChartView::mouseReleaseEvent(evento);
        // A rectangle dragged (or a right click out) has changed the view.
        ventana_.Zoom(1.0);
    }

  private:
    Ventana_Tendencia &ventana_;
};

} // namespace

Ventana_Tendencia::Ventana_Tendencia(const Memoria_Tendencia &memoria, Operador &operador,
                                     QWidget *padre)
    : QWidget(padre, Qt::Window), memoria_(memoria), operador_(operador) {
    setWindowTitle(QStringLiteral("KV-73 Trend"));
    resize(900, 520);
    Construye();
    reloj_.setInterval(1000);
    connect(&reloj_, &QTimer::timeout, this, &Ventana_Tendencia::Redibuja);
}

void Ventana_Tendencia::Construye() {
    grafico_ = new QChart;
    grafico_->setAnimationOptions(QChart::NoAnimation);
    grafico_->legend()->setAlignment(Qt::AlignBottom);
    eje_x_ = new QDateTimeAxis;
    eje_x_->setFormat(QStringLiteral("HH:mm:ss"));
    eje_x_->setTitleText(QStringLiteral("time"));
    eje_y_ = new QValueAxis;
    eje_y_->setTitleText(QStringLiteral("°C"));
    eje_y_->setLabelFormat(QStringLiteral("%d"));
    grafico_->addAxis(eje_x_, Qt::AlignBottom);
    grafico_->addAxis(eje_y_, Qt::AlignLeft);
    for (int u = 0; u < 4; ++u) {
        auto *s = new QLineSeries;
        s->setName(QLatin1String(Umbrales[u].nombre));
        s->setPen(QPen(Umbrales[u].color, 1, Qt::DashLine));
        grafico_->addSeries(s);
        s->attachAxis(eje_x_);
        s->attachAxis(eje_y_);
        umbrales_[u] = s;
    }
    for (int k = 0; k < 4; ++k)
        Serie(k, 0);

    vista_ = new Vista_Tendencia(grafico_, *this);
    pausa_ = new QPushButton(QStringLiteral("Pause"));
    pausa_->setToolTip(QStringLiteral("Freeze the picture; the polls are still kept"));
    auto *vivo = new QPushButton(QStringLiteral("Live"));
    vivo->setToolTip(QStringLiteral("Show everything held, following the newest polls"));
    auto *png = new QPushButton(QStringLiteral("Save PNG..."));
    auto *csv = new QPushButton(QStringLiteral("Save CSV..."));
    csv->setToolTip(QStringLiteral("The temperatures the trend holds, as CSV"));
    connect(pausa_, &QPushButton::clicked, this, &Ventana_Tendencia::Alterna_Pausa);
    connect(vivo, &QPushButton::clicked, this, &Ventana_Tendencia::Sigue_En_Vivo);
    connect(png, &QPushButton::clicked, this, &Ventana_Tendencia::Guarda_Png);
    connect(csv, &QPushButton::clicked, this, &Ventana_Tendencia::Guarda_Csv);
    auto *botones = new QHBoxLayout;
    for (QPushButton *b : {pausa_, vivo, png, csv})
        botones->addWidget(b);
    botones->addStretch();
    auto *columna = new QVBoxLayout(this);
    columna->addLayout(botones);
    columna->addWidget(vista_, 1);
}

// The n-th series of probe k, made on first use: one a run between gaps. Only
// the first of each probe is named in the legend.
QLineSeries *Ventana_Tendencia::Serie(int k, std::size_t n) {
    auto &lista = series_[static_cast<std::size_t>(k)];
    while (lista.size() <= n) {
        auto *s = new QLineSeries;
        s->setName(QStringLiteral("Pt%1").arg(k + 1));
        s->setPen(QPen(Colores_Sondas[k], 1.5));
        grafico_->addSeries(s);
        s->attachAxis(eje_x_);
        s->attachAxis(eje_y_);
        if (!lista.empty())
            for (QLegendMarker *m : grafico_->legend()->markers(s))
                m->setVisible(false);
        lista.push_back(s);
    }
    return lista[n];
}

void Ventana_Tendencia::Pon_Tramos(int k, const Tramos_Sonda &tramos) {
    auto &lista = series_[static_cast<std::size_t>(k)];
    for (std::size_t n = 0; n < tramos.size(); ++n) {
        // A poll that changed no slice's least or greatest value changes nothing
        // drawn: the series is left alone and not painted again.
        const QList<QPointF> puntos(tramos[n].begin(), tramos[n].end());
        QLineSeries *serie = Serie(k, n);
        if (serie->points() != puntos)
            serie->replace(puntos);
    }
    for (std::size_t n = tramos.size(); n < lista.size(); ++n)
        if (lista[n]->count() > 0)
            lista[n]->clear();
}

void Ventana_Tendencia::Pon_Umbrales(qint64 desde, qint64 hasta) {
    const Umbrales_Tendencia u = Umbrales_Del_Rele();
    const std::array<qint64, 6> dibujados{u.L1, u.L2, u.Low_Fan, u.High_Fan, desde, hasta};
    // Unchanged lines are left alone: replacing them repaints the whole plot.
    if (dibujados == umbrales_dibujados_)
        return;
    umbrales_dibujados_ = dibujados;
    const int valores[4] = {u.L1, u.L2, u.Low_Fan, u.High_Fan};
    for (int i = 0; i < 4; ++i)
        umbrales_[i]->replace({QPointF(static_cast<double>(desde), valores[i]),
                               QPointF(static_cast<double>(hasta), valores[i])});
}

// Following the newest polls: the span across, every temperature and threshold
// in height, the height in tens. An axis is only set when its range changes:
// new labels lay the chart out again.
void Ventana_Tendencia::Ajusta_Ejes(qint64 desde, qint64 hasta,
                                    const std::array<Tramos_Sonda, 4> &tramos) {
    double bajo = 1e9, alto = -1e9;
    for (const Tramos_Sonda &sonda : tramos)
        for (const auto &tramo : sonda)
            for (const QPointF &p : tramo) {
                bajo = std::min(bajo, p.y());
                alto = std::max(alto, p.y());
            }
    for (QLineSeries *s : umbrales_) {
        bajo = std::min(bajo, s->at(0).y());
        alto = std::max(alto, s->at(0).y());
    }
    ajustando_ = true;
    const QDateTime inicio = QDateTime::fromMSecsSinceEpoch(desde);
    const QDateTime fin = QDateTime::fromMSecsSinceEpoch(hasta);
    if (eje_x_->min() != inicio || eje_x_->max() != fin)
        eje_x_->setRange(inicio, fin);
    const double y_min = std::floor(bajo / 10) * 10 - 5, y_max = std::ceil(alto / 10) * 10 + 5;
    if (eje_y_->min() != y_min || eje_y_->max() != y_max)
        eje_y_->setRange(y_min, y_max);
    ajustando_ = false;
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

void Ventana_Tendencia::Redibuja() {
    if (pausada_ || !isVisible())
        return;
    qint64 desde = 0, hasta = 0;
    if (en_vivo_) {
        if (memoria_.Cuantos() == 0)
            return;
        if (memoria_.Version() == version_dibujada_)
            return;
        const Rango_Tendencia r =
            Rango_En_Vivo(memoria_[0].ms, memoria_[memoria_.Cuantos() - 1].ms);
        desde = r.desde;
        hasta = r.hasta;
    } else {
        desde = eje_x_->min().toMSecsSinceEpoch();
        hasta = eje_x_->max().toMSecsSinceEpoch();
    }
    version_dibujada_ = memoria_.Version();
    std::array<Tramos_Sonda, 4> tramos;
    for (int k = 0; k < 4; ++k) {
        tramos[static_cast<std::size_t>(k)] = Tramos(memoria_, k, desde, hasta, Baldes);
        Pon_Tramos(k, tramos[static_cast<std::size_t>(k)]);
    }
    Pon_Umbrales(desde, hasta);
    if (en_vivo_)
        Ajusta_Ejes(desde, hasta, tramos);
    ++redibujos_;
}

void Ventana_Tendencia::Alterna_Pausa() {
    pausada_ = !pausada_;
    pausa_->setText(pausada_ ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (!pausada_)
        Redibuja();
}

void Ventana_Tendencia::Sigue_En_Vivo() {
    en_vivo_ = true;
    version_dibujada_ = ~uint64_t{0};
    Redibuja();
}

void Ventana_Tendencia::Zoom(double factor) {
    en_vivo_ = false;
    if (factor != 1.0)
        grafico_->zoom(factor);
    // The runs are cut again for the new span: finer when zoomed in.
    const bool pausada = pausada_;
    pausada_ = false;
    Redibuja();
    pausada_ = pausada;
}

void Ventana_Tendencia::Desplaza(double fraccion) {
    en_vivo_ = false;
    grafico_->scroll(fraccion * grafico_->plotArea().width(), 0);
    Zoom(1.0);
}

void Ventana_Tendencia::keyPressEvent(QKeyEvent *evento) {
    switch (evento->key()) {
    case Qt::Key_Left:
        Desplaza(-0.1);
        break;
    case Qt::Key_Right:
        Desplaza(0.1);
        break;
    case Qt::Key_Plus:
        Zoom(1.25);
        break;
    case Qt::Key_Minus:
        Zoom(0.8);
        break;
    default:
        QWidget::keyPressEvent(evento);
    }
}

void Ventana_Tendencia::showEvent(QShowEvent *evento) {
    QWidget::showEvent(evento);
    version_dibujada_ = ~uint64_t{0};
    Redibuja();
    reloj_.start();
}

void Ventana_Tendencia::hideEvent(QHideEvent *evento) {
    reloj_.stop();
    QWidget::hideEvent(evento);
}

std::vector<QLineSeries *> Ventana_Tendencia::Series_Con_Puntos(int k) const {
    std::vector<QLineSeries *> llenas;
    for (QLineSeries *s : series_[static_cast<std::size_t>(k)])
        if (s->count() > 0)
            llenas.push_back(s);
    return llenas;
}

std::optional<QString> Ventana_Tendencia::Exporta_Png(const QString &ruta) {
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!vista_->grab().save(&png, "PNG"))
        return QStringLiteral("the picture could not be made");
    return Escribe_Archivo_Entero(ruta, png.data());
}

std::optional<QString> Ventana_Tendencia::Exporta_Csv(const QString &ruta) {
    return Escribe_Archivo_Entero(ruta, memoria_.Csv().toUtf8());
}

void Ventana_Tendencia::Guarda_Png() {
    Operador &op = operador_;
    const auto ruta = op.Dialogo_Guardar({QStringLiteral("Save trend picture"),
                                          QStringLiteral("PNG pictures (*.png)|*.png"),
                                          QStringLiteral("kv73-trend.png")});
    if (!ruta)
        return;
    if (const auto motivo = Exporta_Png(*ruta))
        op.Mensaje(QStringLiteral("The picture cannot be written to %1: %2").arg(*ruta, *motivo),
                   {}, Botones::OK, Icono::Exclamacion);
}

void Ventana_Tendencia::Guarda_Csv() {
    Operador &op = operador_;
    const auto ruta = op.Dialogo_Guardar({QStringLiteral("Save trend values"),
                                          QStringLiteral("CSV files (*.csv)|*.csv"),
                                          QStringLiteral("kv73-trend.csv")});
    if (!ruta)
        return;
    if (const auto motivo = Exporta_Csv(*ruta))
        op.Mensaje(QStringLiteral("The values cannot be written to %1: %2").arg(*ruta, *motivo), {},
                   Botones::OK, Icono::Exclamacion);
}
