// kv73ctl's report module: the page, QtGui and what QtGui loads, apart from the
// commands that never draw anything.

#include "comun/Version.h"
#include "kv73ctl/Interfaz_Reporte.h"
#include "reporte/Dibujo_Reporte.h"

#include <QGuiApplication>

namespace {

// The page is drawn with fonts, which needs a GUI application; it is never
// shown, so no display is needed either.
QCoreApplication *Aplicacion(int &argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QGuiApplication(argc, argv);
}

std::optional<QString> Escribe_Pdf(const QString &ruta, const Textos_Pagina &textos,
                                   const Temperaturas_Pagina &temperaturas) {
    return Escribe_Reporte_Pdf(ruta, textos, temperaturas);
}

const Interfaz_Reporte Interfaz{KV73_VERSION, Aplicacion, Escribe_Pdf};

} // namespace

extern "C" Q_DECL_EXPORT const Interfaz_Reporte *kv73ctl_reporte() {
    return &Interfaz;
}
