#pragma once
// Printing the report: on a printer the operator chooses, or into a PDF file.

#include "reporte/REPORTE.h"

class Dialogo_Impresora;
class QPainter;
class QPaintDevice;
class QString;

// The "Print" item: the printer dialog, then the report page on the chosen
// printer or PDF file. Cancel prints nothing; a printer that cannot start ends
// the print without a message. True when the page went to the printer.
bool Impresion(const Textos_Pagina &textos, Dialogo_Impresora &dialogo);
// The same with the dialog in use (Dialogo_Impresora_En_Uso).
bool Impresion(const Textos_Pagina &textos);

// The report page as a one-page A4 PDF at `ruta`. The file is replaced only
// when the whole PDF was written; false when it could not be.
bool Reporte_Pdf(const QString &ruta, const Textos_Pagina &textos,
                 Temperaturas origen = Temperaturas::Segun_Enlace);

// Draws the filled page on an open painter of `destino`, scaled to its
// printable area without changing its shape, centred across and from the top.
void Dibuja_Reporte(QPainter &pintor, const QPaintDevice &destino, const REPORTE &pagina);
