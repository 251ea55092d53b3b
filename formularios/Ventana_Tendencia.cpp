#include "formularios/Ventana_Tendencia.h"

#include "archivos/Escritura_Segura.h"
#include "comun/Operador.h"
#include "formularios/Ventana_Tendencia_Piezas.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>

namespace {

constexpr int Baldes = 400; // a slice every two pixels of a wide window: its least and greatest
                            // keep every spike, at half the points to lay out

} // namespace

Ventana_Tendencia::Ventana_Tendencia(const Memoria_Tendencia &memoria, Operador &operador,
                                     QWidget *padre)
    : QWidget(padre, Qt::Window), en_vivo_memoria_(memoria), memoria_(&memoria),
      operador_(operador) {
    setWindowTitle(Titulo_Tendencia);
    resize(900, 560);
    Construye();
    reloj_.setInterval(2000);
    connect(&reloj_, &QTimer::timeout, this, &Ventana_Tendencia::Redibuja);
}

Ventana_Tendencia::~Ventana_Tendencia() = default;

void Ventana_Tendencia::Construye() {
    grafico_ = new QChart;
    grafico_->setAnimationOptions(QChart::NoAnimation);
    // The check boxes under the chart are its legend: each in its line's colour.
    grafico_->legend()->setVisible(false);
    eje_x_ = new QDateTimeAxis;
    eje_x_->setFormat(QStringLiteral("HH:mm:ss"));
    eje_x_->setTitleText(QStringLiteral("time"));
    eje_y_ = new QValueAxis;
    eje_y_->setTitleText(QStringLiteral("°C"));
    eje_y_->setLabelFormat(QStringLiteral("%d"));
    eje_y_->setTickType(QValueAxis::TicksDynamic);
    eje_y_->setTickAnchor(0);
    grafico_->addAxis(eje_x_, Qt::AlignBottom);
    grafico_->addAxis(eje_y_, Qt::AlignLeft);
    Construye_Series();

    vista_ = Crea_Vista_Tendencia(grafico_, *this);
    pausa_ = new QPushButton(QStringLiteral("Pause"));
    pausa_->setToolTip(QStringLiteral("Freeze the picture; the polls are still kept"));
    auto *vivo = new QPushButton(QStringLiteral("Live"));
    vivo->setToolTip(QStringLiteral("Show everything held, following the newest polls"));
    auto *abrir = new QPushButton(QStringLiteral("Open log..."));
    abrir->setToolTip(QStringLiteral("Show a CSV written by recording or by kv73ctl log; "
                                     "Live comes back to the relay"));
    auto *png = new QPushButton(QStringLiteral("Save PNG..."));
    auto *csv = new QPushButton(QStringLiteral("Save CSV..."));
    csv->setToolTip(QStringLiteral("The temperatures the trend holds, as CSV"));
    connect(pausa_, &QPushButton::clicked, this, &Ventana_Tendencia::Alterna_Pausa);
    connect(vivo, &QPushButton::clicked, this, &Ventana_Tendencia::Sigue_En_Vivo);
    connect(abrir, &QPushButton::clicked, this, &Ventana_Tendencia::Abre_Registro_Elegido);
    connect(png, &QPushButton::clicked, this, &Ventana_Tendencia::Guarda_Png);
    connect(csv, &QPushButton::clicked, this, &Ventana_Tendencia::Guarda_Csv);
    auto *botones = new QHBoxLayout;
    for (QPushButton *b : {pausa_, vivo, abrir, png, csv})
        botones->addWidget(b);
    botones->addStretch();
    cursor_texto_ = new QLabel;
    cursor_texto_->setTextFormat(Qt::PlainText);
    auto *columna = new QVBoxLayout(this);
    columna->addLayout(botones);
    columna->addWidget(cursor_texto_);
    columna->addWidget(vista_, 1);
    // In the view's place until the first poll, rather than an axis of nothing.
    vacio_ = new QLabel(QStringLiteral("No values yet"));
    vacio_->setAlignment(Qt::AlignCenter);
    columna->addWidget(vacio_, 1);
    columna->addWidget(Construye_Casillas());
    Muestra_Vacio(true);
}

// The thresholds' lines and the lamps' marks, made once; the probes' first runs.
void Ventana_Tendencia::Construye_Series() {
    for (int u = 0; u < 4; ++u) {
        auto *s = new QLineSeries;
        s->setName(QLatin1String(Umbrales_Dibujo[u].nombre));
        s->setPen(QPen(Umbrales_Dibujo[u].color, 1.5, Qt::DashLine));
        grafico_->addSeries(s);
        s->attachAxis(eje_x_);
        s->attachAxis(eje_y_);
        umbrales_[u] = s;
    }
    for (int i = 0; i < 4; ++i) {
        auto *s = new QScatterSeries;
        s->setName(QLatin1String(Lamparas_Tendencia[i]) + QStringLiteral(" lamp"));
        s->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
        s->setMarkerSize(7);
        s->setColor(Lamparas_Dibujo[i]);
        s->setBorderColor(Lamparas_Dibujo[i]);
        grafico_->addSeries(s);
        s->attachAxis(eje_x_);
        s->attachAxis(eje_y_);
        lamparas_[i] = s;
    }
    for (int k = 0; k < 4; ++k)
        Serie(k, 0);
}

// The n-th series of probe k, made on first use: one a run between gaps.
QLineSeries *Ventana_Tendencia::Serie(int k, std::size_t n) {
    auto &lista = series_[static_cast<std::size_t>(k)];
    while (lista.size() <= n) {
        auto *s = new QLineSeries;
        s->setName(QStringLiteral("Pt%1").arg(k + 1));
        s->setPen(QPen(Colores_Sondas[k], 1.5));
        grafico_->addSeries(s);
        s->attachAxis(eje_x_);
        s->attachAxis(eje_y_);
        if (casillas_[static_cast<std::size_t>(k)])
            s->setVisible(casillas_[static_cast<std::size_t>(k)]->isChecked());
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

void Ventana_Tendencia::Redibuja() {
    if (pausada_ || !isVisible())
        return;
    const Memoria_Tendencia &memoria = *memoria_;
    Muestra_Vacio(memoria.Cuantos() == 0);
    if (memoria.Cuantos() == 0)
        return;
    qint64 desde = 0, hasta = 0;
    if (en_vivo_) {
        if (memoria.Version() == version_dibujada_)
            return;
        const Rango_Tendencia r = Rango_En_Vivo(memoria[0].ms, memoria[memoria.Cuantos() - 1].ms);
        desde = r.desde;
        hasta = r.hasta;
    } else {
        desde = eje_x_->min().toMSecsSinceEpoch();
        hasta = eje_x_->max().toMSecsSinceEpoch();
    }
    version_dibujada_ = memoria.Version();
    std::array<Tramos_Sonda, 4> tramos;
    for (int k = 0; k < 4; ++k) {
        tramos[static_cast<std::size_t>(k)] = Tramos(memoria, k, desde, hasta, Baldes);
        Pon_Tramos(k, tramos[static_cast<std::size_t>(k)]);
    }
    Pon_Umbrales(desde, hasta);
    if (en_vivo_)
        Ajusta_Ejes(desde, hasta, tramos);
    Pon_Formato_Hora();
    Pon_Lamparas(desde, hasta);
    ++redibujos_;
}

void Ventana_Tendencia::Alterna_Pausa() {
    pausada_ = !pausada_;
    pausa_->setText(pausada_ ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (!pausada_)
        Redibuja();
}

void Ventana_Tendencia::Sigue_En_Vivo() {
    if (memoria_ != &en_vivo_memoria_) {
        memoria_ = &en_vivo_memoria_;
        registro_.reset();
        setWindowTitle(Titulo_Tendencia);
    }
    en_vivo_ = true;
    version_dibujada_ = ~uint64_t{0};
    Redibuja();
}

void Ventana_Tendencia::Zoom(double factor) {
    if (memoria_->Cuantos() == 0)
        return;
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
    if (memoria_->Cuantos() == 0)
        return;
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
    return Escribe_Archivo_Entero(ruta, memoria_->Csv().toUtf8());
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
