#include "reporte/Dialogo_Impresora.h"

#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

bool Dialogo_Impresora_Qt::Hay_Impresoras() const {
    return !QPrinterInfo::availablePrinters().isEmpty();
}

bool Dialogo_Impresora_Qt::Elige(QPrinter &impresora) {
    QPrintDialog dialogo(&impresora, padre_);
    // "Print to File (PDF)": the same page, kept as a PDF file.
    dialogo.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialogo.setOption(QAbstractPrintDialog::PrintSelection, false);
    return dialogo.exec() == QDialog::Accepted;
}
