#pragma once
// Drawing the report page, and the page as a PDF file: QtGui only, so that
// kv73ctl writes the same page as the desktop program prints without widgets.

#include "reporte/REPORTE.h"

#include <QMarginsF>
#include <QString>

#include <optional>

class QPageLayout;
class QPainter;
class QPaintDevice;

// White paper around the page, unless the printer cannot print that close to
// its edges (then its own margins win).
inline const QMarginsF Margenes_Reporte_mm(10, 10, 10, 10);

// Draws the filled page on an open painter of `destino`, scaled to its
// printable area without changing its shape, centred across and from the top.
void Dibuja_Reporte(QPainter &pintor, const QPaintDevice &destino, const REPORTE &pagina);

// The filled page as a one-page PDF laid out as `diseno`, replacing the file
// `ruta` whole or leaving it as it was (Escribe_Archivo_Entero). Nothing when it
// was written, else why not.
std::optional<QString> Escribe_Pdf(const QString &ruta, const REPORTE &pagina,
                                   const QPageLayout &diseno, const QString &titulo);
// The report page as a one-page A4 PDF at `ruta` (what kv73ctl report writes),
// the same way.
std::optional<QString> Escribe_Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                           const Temperaturas_Pagina &temperaturas);
inline std::optional<QString> Escribe_Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                                  Temperaturas origen) {
    return Escribe_Reporte_Pdf(ruta, textos, Temperaturas_Desde_Imagenes(origen));
}
