#include "reporte/Dibujo_Reporte.h"

#include "archivos/Escritura_Segura.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>

namespace {

const QColor Tinta = Qt::black;
const QColor Borde = QColor(96, 96, 96);

// The page drawn as lines and text rather than as a picture: a bitmap of the
// printer's resolution would weigh hundreds of megabytes at 1200 dpi, and its
// text could be neither searched nor copied in a PDF reader.
void Dibuja_Hijos(QPainter &pintor, const Control_Reporte &padre, QPoint origen) {
    using Tipo = Control_Reporte::Tipo;
    for (const auto &control : padre.hijos) {
        if (control->oculto)
            continue;
        const QRect r = control->area.translated(origen);
        switch (control->tipo) {
        case Tipo::Marco: {
            // A frame's line runs through the middle of its caption, which
            // interrupts it, as on the forms.
            const QFontMetrics medidas(control->letra);
            const int medio = r.top() + medidas.height() / 2;
            pintor.setPen(QPen(Borde, 1));
            pintor.drawRect(QRect(QPoint(r.left(), medio), r.bottomRight()));
            if (!control->texto.isEmpty()) {
                const QRect titulo(r.left() + 6, r.top(),
                                   medidas.horizontalAdvance(control->texto) + 6, medidas.height());
                pintor.fillRect(titulo, Qt::white);
                pintor.setFont(control->letra);
                pintor.setPen(Tinta);
                pintor.drawText(titulo, Qt::AlignCenter, control->texto);
            }
            break;
        }
        case Tipo::Etiqueta:
            pintor.setFont(control->letra);
            pintor.setPen(Tinta);
            pintor.drawText(r, static_cast<int>(control->alineacion), control->texto);
            break;
        case Tipo::Caja:
            pintor.setPen(QPen(Borde, 1));
            pintor.drawRect(r.adjusted(0, 0, -1, -1));
            break;
        case Tipo::Grupo:
            break;
        }
        Dibuja_Hijos(pintor, *control, r.topLeft());
    }
}

} // namespace

void Dibuja_Reporte(QPainter &pintor, const QPaintDevice &destino, const REPORTE &pagina) {
    const double escala = std::min(static_cast<double>(destino.width()) / pagina.width(),
                                   static_cast<double>(destino.height()) / pagina.height());
    pintor.save();
    pintor.translate((destino.width() - pagina.width() * escala) / 2, 0);
    pintor.scale(escala, escala);
    pintor.setRenderHint(QPainter::TextAntialiasing);
    Dibuja_Hijos(pintor, pagina.Pagina(), QPoint());
    pintor.restore();
}

std::optional<QString> Escribe_Pdf(const QString &ruta, const REPORTE &pagina,
                                   const QPageLayout &diseno, const QString &titulo) {
    // The PDF is made in memory first: QPdfWriter does not say whether its
    // writes reached the device, so the file is written from the finished bytes.
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&bytes);
        pdf.setPageLayout(diseno);
        pdf.setTitle(titulo);
        pdf.setCreator(QStringLiteral("kv73"));
        QPainter pintor;
        if (!pintor.begin(&pdf))
            return QStringLiteral("the page could not be drawn");
        Dibuja_Reporte(pintor, pdf, pagina);
        if (!pintor.end())
            return QStringLiteral("the page could not be drawn");
    }
    return Escribe_Archivo_Entero(ruta, bytes.data());
}

std::optional<QString> Escribe_Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                           const Temperaturas_Pagina &temperaturas) {
    REPORTE pagina;
    pagina.Llena(textos, temperaturas);
    const QPageLayout a4(QPageSize(QPageSize::A4), QPageLayout::Portrait, Margenes_Reporte_mm,
                         QPageLayout::Millimeter);
    return Escribe_Pdf(ruta, pagina, a4, QStringLiteral("KV - 73"));
}
