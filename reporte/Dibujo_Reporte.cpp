#include "reporte/Dibujo_Reporte.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

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

std::optional<QString> Escribe_Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                           Temperaturas origen) {
    QSaveFile archivo(ruta);
    if (!archivo.open(QIODevice::WriteOnly))
        return archivo.errorString();
    {
        QPdfWriter pdf(&archivo);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(Margenes_Reporte_mm, QPageLayout::Millimeter);
        pdf.setTitle(QStringLiteral("KV - 73"));
        pdf.setCreator(QStringLiteral("kv73"));

        REPORTE pagina;
        pagina.Form_Load(textos, origen);
        QPainter pintor;
        bool dibujada = pintor.begin(&pdf);
        if (dibujada) {
            Dibuja_Reporte(pintor, pdf, pagina);
            dibujada = pintor.end();
        }
        if (!dibujada) {
            archivo.cancelWriting();
            return QStringLiteral("the page could not be drawn");
        }
    }
    if (!archivo.commit())
        return archivo.errorString();
    return std::nullopt;
}

bool Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos, Temperaturas origen) {
    return !Escribe_Reporte_Pdf(ruta, textos, origen).has_value();
}
