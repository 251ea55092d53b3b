#include "reporte/Impresion.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/Operador.h"
#include "reporte/Dialogo_Impresora.h"

#include <QPageLayout>
#include <QPainter>
#include <QPrinter>

namespace T = Textos_Reporte;

namespace {

// Without a printer the page can still be kept, as the PDF file kv73ctl writes,
// and printed on another machine.
bool Guarda_Reporte_Pdf(const Textos_Pagina &textos, Operador &operador) {
    if (operador.Mensaje(T::Sin_Impresora, {}, Botones::Yes_No, Icono::Pregunta) != Respuesta::Yes)
        return false;
    const auto elegida = operador.Dialogo_Guardar({T::Titulo_Pdf, T::Filtro_Pdf, T::Nombre_Pdf});
    if (!elegida || elegida->isEmpty())
        return false;
    const QString ruta = Con_Extension(*elegida, T::Extension_Pdf);
    if (const auto motivo = Escribe_Reporte_Pdf(ruta, textos, Temperaturas::Segun_Enlace)) {
        operador.Mensaje(T::Pdf_No_Escrito.arg(ruta, *motivo), {}, Botones::OK, Icono::Critico);
        return false;
    }
    return true;
}

} // namespace

bool Impresion(const Textos_Pagina &textos, Dialogo_Impresora &dialogo, Operador &operador) {
    if (!dialogo.Hay_Impresoras())
        return Guarda_Reporte_Pdf(textos, operador);

    QPrinter impresora(QPrinter::HighResolution);
    impresora.setPageMargins(Margenes_Reporte_mm, QPageLayout::Millimeter);
    // The job's name in the print queue, and the PDF file's name proposed on X11.
    impresora.setDocName(QStringLiteral("KV73 Report"));
    if (!dialogo.Elige(impresora))
        return false;

    REPORTE pagina;
    pagina.Form_Load(textos);
    // "Print to File": QPrinter would write the PDF straight over the file and
    // never say that the disk took only part of it.
    const QString archivo = impresora.outputFileName();
    if (!archivo.isEmpty()) {
        const auto motivo =
            Escribe_Pdf(archivo, pagina, impresora.pageLayout(), impresora.docName());
        if (motivo)
            operador.Mensaje(T::Pdf_No_Escrito.arg(archivo, *motivo), {}, Botones::OK,
                             Icono::Critico);
        return !motivo;
    }
    QPainter pintor;
    if (!pintor.begin(&impresora))
        return false;
    Dibuja_Reporte(pintor, impresora, pagina);
    return pintor.end();
}
