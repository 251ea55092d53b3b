#pragma once
// Drawing the report page, and the page as a PDF file: QtGui only, so that
// kv73ctl writes the same page as the desktop program prints without widgets.

#include "reporte/REPORTE.h"

#include <QMarginsF>
#include <QString>

#include <optional>

class QPainter;
class QPaintDevice;

// White paper around the page, unless the printer cannot print that close to
// its edges (then its own margins win).
inline const QMarginsF Margenes_Reporte_mm(10, 10, 10, 10);

// Draws the filled page on an open painter of `destino`, scaled to its
// printable area without changing its shape, centred across and from the top.
void Dibuja_Reporte(QPainter &pintor, const QPaintDevice &destino, const REPORTE &pagina);

// The report page as a one-page A4 PDF at `ruta` (what kv73ctl report writes).
// The file is replaced only when the whole PDF was written; false when it
// could not be.
bool Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                 Temperaturas origen = Temperaturas::Segun_Enlace);
// The same, saying why the PDF could not be written, or nothing when it was.
std::optional<QString> Escribe_Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                           Temperaturas origen);
