// The trend window's reading aids: the cursor under the mouse, the check boxes
// that show or hide each line, and a value log opened from a file.

#include "formularios/Ventana_Tendencia.h"

#include "comun/Operador.h"
#include "datos/Manejo_de_ActualValues.h"
#include "formularios/Ventana_Tendencia_Piezas.h"
#include "registro/Lectura_Registro.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>

namespace {

class Vista_Tendencia : public QChartView {
  public:
    Vista_Tendencia(QChart *grafico, Ventana_Tendencia &ventana)
        : QChartView(grafico), ventana_(ventana) {
        setRubberBand(QChartView::RectangleRubberBand);
        setRenderHint(QPainter::Antialiasing, false);
        setMouseTracking(true);
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
    void mouseMoveEvent(QMouseEvent *evento) override {
        QChartView::mouseMoveEvent(evento);
        const QPointF en_grafico = chart()->mapFromScene(mapToScene(evento->position().toPoint()));
        if (chart()->plotArea().contains(en_grafico))
            ventana_.Cursor_En(static_cast<qint64>(chart()->mapToValue(en_grafico).x()));
    }

  private:
    Ventana_Tendencia &ventana_;
};

QCheckBox *Casilla(const QString &texto, const QColor &color) {
    auto *c = new QCheckBox(texto);
    c->setChecked(true);
    c->setStyleSheet(QStringLiteral("QCheckBox { color: %1; }").arg(color.name()));
    return c;
}

} // namespace

QChartView *Crea_Vista_Tendencia(QChart *grafico, Ventana_Tendencia &ventana) {
    return new Vista_Tendencia(grafico, ventana);
}

// The legend, each name in its line's colour: a click shows or hides the line.
QWidget *Ventana_Tendencia::Construye_Casillas() {
    auto *caja = new QWidget;
    auto *lineas = new QHBoxLayout;
    auto *marcas = new QHBoxLayout;
    for (int k = 0; k < 4; ++k)
        casillas_[k] = Casilla(QStringLiteral("Pt%1").arg(k + 1), Colores_Sondas[k]);
    for (int u = 0; u < 4; ++u)
        casillas_[4 + u] =
            Casilla(QLatin1String(Umbrales_Dibujo[u].nombre) + QStringLiteral(" setpoint"),
                    Umbrales_Dibujo[u].color);
    for (int i = 0; i < 4; ++i)
        casillas_[8 + i] = Casilla(QLatin1String(Lamparas_Tendencia[i]), Lamparas_Dibujo[i]);
    marcas->addWidget(new QLabel(QStringLiteral("Lamp changes:")));
    for (std::size_t n = 0; n < casillas_.size(); ++n) {
        (n < 8 ? lineas : marcas)->addWidget(casillas_[n]);
        connect(casillas_[n], &QCheckBox::toggled, this, &Ventana_Tendencia::Aplica_Casillas);
    }
    lineas->addStretch();
    marcas->addStretch();
    auto *columna = new QVBoxLayout(caja);
    columna->setContentsMargins(0, 0, 0, 0);
    columna->addLayout(lineas);
    columna->addLayout(marcas);
    return caja;
}

void Ventana_Tendencia::Aplica_Casillas() {
    for (std::size_t k = 0; k < 4; ++k)
        for (QLineSeries *s : series_[k])
            s->setVisible(casillas_[k]->isChecked());
    for (std::size_t u = 0; u < 4; ++u)
        umbrales_[u]->setVisible(casillas_[4 + u]->isChecked());
    for (std::size_t i = 0; i < 4; ++i)
        lamparas_[i]->setVisible(casillas_[8 + i]->isChecked());
    // The height follows the lines shown.
    version_dibujada_ = ~uint64_t{0};
    const bool pausada = pausada_;
    pausada_ = false;
    Redibuja();
    pausada_ = pausada;
}

void Ventana_Tendencia::Muestra_Vacio(bool vacio) {
    vacio_->setVisible(vacio);
    vista_->setVisible(!vacio);
    if (vacio)
        cursor_texto_->clear();
}

QString Ventana_Tendencia::Describe_Sondeo(const Punto_Tendencia &p) const {
    QStringList partes{
        QDateTime::fromMSecsSinceEpoch(p.ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))};
    if (p.estado != Estado_Sondeo::Ok)
        return partes.first() + QStringLiteral("   ") + Texto_Estado(p.estado);
    for (int k = 0; k < 4; ++k)
        partes << QStringLiteral("Pt%1 %2 °C")
                      .arg(k + 1)
                      .arg(Texto_Temperatura(static_cast<uint16_t>(p.palabras[k])));
    const auto &cambios = memoria_->Umbrales();
    for (auto c = cambios.rbegin(); c != cambios.rend(); ++c)
        if (c->ms <= p.ms || std::next(c) == cambios.rend()) {
            for (int u = 0; u < 4; ++u)
                partes << QStringLiteral("%1 %2")
                              .arg(QLatin1String(Umbrales_Dibujo[u].nombre))
                              .arg(Valor_Umbral(c->umbrales, u));
            break;
        }
    QStringList encendidas;
    for (int i = 0; i < 4; ++i)
        if (Lampara(p, i) != Luz::Apagada)
            encendidas << QLatin1String(Lamparas_Tendencia[i]) + QLatin1Char(' ') +
                              QLatin1String(Nombre_Luz(Lampara(p, i)));
    partes << QStringLiteral("lamps: ") + (encendidas.isEmpty()
                                               ? QStringLiteral("all off")
                                               : encendidas.join(QStringLiteral(", ")));
    return partes.join(QStringLiteral("   "));
}

void Ventana_Tendencia::Cursor_En(qint64 ms) {
    const Memoria_Tendencia &m = *memoria_;
    if (m.Cuantos() == 0)
        return;
    std::size_t i = std::min(Primero_Desde(m, ms), m.Cuantos() - 1);
    if (i > 0 && ms - m[i - 1].ms < m[i].ms - ms)
        --i;
    const Punto_Tendencia &p = m[i];
    const bool sin_sondeo = std::abs(p.ms - ms) > m.Hueco();
    if (sin_sondeo)
        cursor_texto_->setText(
            QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
            QStringLiteral("   no poll"));
    else
        cursor_texto_->setText(Describe_Sondeo(p));
    if (!cursor_) {
        cursor_ = new QGraphicsLineItem(grafico_);
        cursor_->setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DotLine));
        cursor_->setZValue(100);
    }
    const QRectF area = grafico_->plotArea();
    const double x =
        grafico_
            ->mapToPosition(QPointF(static_cast<double>(sin_sondeo ? ms : p.ms), eje_y_->min()),
                            umbrales_[0])
            .x();
    cursor_->setLine(x, area.top(), x, area.bottom());
}

void Ventana_Tendencia::Abre_Registro_Elegido() {
    const auto ruta = operador_.Dialogo_Abrir(
        {QStringLiteral("Open log"), QStringLiteral("CSV files (*.csv)|*.csv"), QString()});
    if (ruta)
        Abre_Registro(*ruta);
}

bool Ventana_Tendencia::Abre_Registro(const QString &ruta) {
    Operador &op = operador_;
    QFile archivo(ruta);
    Registro_Leido leido;
    std::optional<QString> motivo;
    if (!archivo.open(QIODevice::ReadOnly))
        motivo = archivo.errorString();
    else
        motivo = Lee_Registro(archivo.readAll(), leido);
    if (motivo) {
        op.Mensaje(QStringLiteral("The log %1 cannot be shown: %2").arg(ruta, *motivo), {},
                   Botones::OK, Icono::Exclamacion);
        return false;
    }
    int direccion = leido.direcciones.front();
    if (leido.direcciones.size() > 1) {
        QStringList todas;
        for (int d : leido.direcciones)
            todas << QString::number(d);
        const QString respuesta =
            op.Caja_Entrada(QStringLiteral("The log holds relays %1. Which address?")
                                .arg(todas.join(QStringLiteral(", "))),
                            QStringLiteral("Open log"), todas.first());
        if (respuesta.isEmpty())
            return false;
        if (!todas.contains(respuesta.trimmed())) {
            op.Mensaje(QStringLiteral("The log holds no rows of relay %1.").arg(respuesta), {},
                       Botones::OK, Icono::Exclamacion);
            return false;
        }
        direccion = respuesta.trimmed().toInt();
    }
    registro_ = std::make_unique<Memoria_Tendencia>(Memoria_Del_Registro(leido, direccion));
    memoria_ = registro_.get();
    setWindowTitle(Titulo_Tendencia + QStringLiteral(" - ") + QFileInfo(ruta).fileName() +
                   (direccion ? QStringLiteral(" (relay %1)").arg(direccion) : QString()));
    en_vivo_ = true;
    version_dibujada_ = ~uint64_t{0};
    Redibuja();
    return true;
}
