#include "reporte/Impresion.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/Host.h"
#include "comun/Operador.h"
#include "reporte/Dialogo_Impresora.h"

#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include <algorithm>
#include <optional>

namespace {

// White paper around the page, unless the printer cannot print that close to
// its edges (then its own margins win).
const QMarginsF Margenes_mm(10, 10, 10, 10);

const QColor Tinta = Qt::black;
const QColor Borde = QColor(96, 96, 96);

// The page's controls drawn as lines and text. A widget rendered straight onto a
// printer goes through a bitmap of the printer's resolution (hundreds of
// megabytes at 1200 dpi, and text that a PDF reader can neither search nor
// copy), so the report draws its few kinds of control itself.
void Dibuja_Hijos(QPainter &pintor, const QWidget &padre, QPoint origen) {
    for (const QObject *objeto : padre.children()) {
        const auto *control = qobject_cast<const QWidget *>(objeto);
        if (!control || control->isHidden())
            continue;
        const QRect r = control->geometry().translated(origen);
        if (const auto *marco = qobject_cast<const QGroupBox *>(control)) {
            // A frame's line runs through the middle of its caption, which
            // interrupts it, as on the forms.
            const QFontMetrics medidas(marco->font());
            const int medio = r.top() + medidas.height() / 2;
            pintor.setPen(QPen(Borde, 1));
            pintor.drawRect(QRect(QPoint(r.left(), medio), r.bottomRight()));
            if (!marco->title().isEmpty()) {
                const QRect titulo(r.left() + 6, r.top(),
                                   medidas.horizontalAdvance(marco->title()) + 6, medidas.height());
                pintor.fillRect(titulo, Qt::white);
                pintor.setFont(marco->font());
                pintor.setPen(Tinta);
                pintor.drawText(titulo, Qt::AlignCenter, marco->title());
            }
        } else if (const auto *etiqueta = qobject_cast<const QLabel *>(control)) {
            pintor.setFont(etiqueta->font());
            pintor.setPen(Tinta);
            pintor.drawText(r, static_cast<int>(etiqueta->alignment()), etiqueta->text());
        } else if (const auto *caja = qobject_cast<const QFrame *>(control);
                   caja && caja->frameShape() == QFrame::Box) {
            pintor.setPen(QPen(Borde, 1));
            pintor.drawRect(r.adjusted(0, 0, -1, -1));
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
    Dibuja_Hijos(pintor, pagina, QPoint());
    pintor.restore();
}

namespace {

namespace T = Textos_Reporte;

// Writes the PDF; why it could not be written, or nothing when it was.
std::optional<QString> Escribe_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                   Temperaturas origen) {
    QSaveFile archivo(ruta);
    if (!archivo.open(QIODevice::WriteOnly))
        return archivo.errorString();
    {
        QPdfWriter pdf(&archivo);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(Margenes_mm, QPageLayout::Millimeter);
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

// Without a printer the page can still be kept, as the PDF file kv73ctl writes,
// and printed on another machine.
bool Guarda_Reporte_Pdf(const Textos_Pagina &textos) {
    Operador &operador = *Host().Dialogos;
    if (operador.Mensaje(T::Sin_Impresora, {}, Botones::Yes_No, Icono::Pregunta) != Respuesta::Yes)
        return false;
    const auto elegida = operador.Dialogo_Guardar({T::Titulo_Pdf, T::Filtro_Pdf, T::Nombre_Pdf});
    if (!elegida || elegida->isEmpty())
        return false;
    const QString ruta = Con_Extension(*elegida, T::Extension_Pdf);
    if (const auto motivo = Escribe_Pdf(ruta, textos, Temperaturas::Segun_Enlace)) {
        operador.Mensaje(T::Pdf_No_Escrito.arg(ruta, *motivo), {}, Botones::OK, Icono::Critico);
        return false;
    }
    return true;
}

} // namespace

bool Impresion(const Textos_Pagina &textos, Dialogo_Impresora &dialogo) {
    if (!dialogo.Hay_Impresoras())
        return Guarda_Reporte_Pdf(textos);

    QPrinter impresora(QPrinter::HighResolution);
    impresora.setPageMargins(Margenes_mm, QPageLayout::Millimeter);
    // The job's name in the print queue, and the PDF file's name proposed on X11.
    impresora.setDocName(QStringLiteral("KV73 Report"));
    if (!dialogo.Elige(impresora))
        return false;

    REPORTE pagina;
    pagina.Form_Load(textos);
    QPainter pintor;
    if (!pintor.begin(&impresora))
        return false;
    Dibuja_Reporte(pintor, impresora, pagina);
    return pintor.end();
}

bool Impresion(const Textos_Pagina &textos) {
    return Impresion(textos, Dialogo_Impresora_En_Uso());
}

bool Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos, Temperaturas origen) {
    return !Escribe_Pdf(ruta, textos, origen).has_value();
}
