#pragma once
// Printing the report: on a printer the operator chooses, or into a PDF file.
// The page itself and its PDF (Escribe_Pdf) are drawn by Dibujo_Reporte.h,
// without widgets; this is the printer dialog's side.

#include "reporte/Dibujo_Reporte.h"

#include <QString>

class Dialogo_Impresora;
class Operador;

// The "Print" item: the printer dialog, then the report page on the chosen
// printer or PDF file. Cancel prints nothing; a printer that cannot start ends
// the print without a message. With no printer installed the operator is asked
// instead whether to save the page as a PDF file, as Escribe_Reporte_Pdf writes
// it. A PDF file, either way, replaces an old one whole or not at all, and one
// that cannot be written is reported. True when the page went out.
// `operador` asks and tells about the PDF.
bool Impresion(const Textos_Pagina &textos, Dialogo_Impresora &dialogo, Operador &operador);

namespace Textos_Reporte {
inline const QString Sin_Impresora =
    QStringLiteral("No printer is installed. Save the report as a PDF file?");
inline const QString Titulo_Pdf = QStringLiteral("Save Report as PDF");
inline const QString Filtro_Pdf = QStringLiteral("PDF Files (*.pdf)|*.pdf|");
inline const QString Nombre_Pdf = QStringLiteral("KV73 Report.pdf");
inline const QString Extension_Pdf = QStringLiteral("pdf");
inline const QString Pdf_No_Escrito = QStringLiteral("The report could not be written to %1: %2");
} // namespace Textos_Reporte
