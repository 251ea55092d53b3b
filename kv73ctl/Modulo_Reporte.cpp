// kv73ctl's report module: the page, QtGui and what QtGui loads, apart from the
// commands that never draw anything.

#include "comun/Version.h"
#include "kv73ctl/Interfaz_Reporte.h"
#include "reporte/Dibujo_Reporte.h"

#include <QGuiApplication>

#include <vector>

namespace {

// The page is drawn with fonts, which needs a GUI application; it is never
// shown, so no display is needed either.
// Offscreen unless the user's QT_QPA_PLATFORM says otherwise: the platform is
// asked for on the application's own command line, which must outlive it.
QCoreApplication *Aplicacion(int &argc, char **argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return new QGuiApplication(argc, argv);
    static char plataforma[] = "-platform";
    static char fuera[] = "offscreen";
    static std::vector<char *> argumentos;
    argumentos.assign(argv, argv + argc);
    argumentos.push_back(plataforma);
    argumentos.push_back(fuera);
    argumentos.push_back(nullptr);
    static int cuantos = 0;
    cuantos = argc + 2;
    return new QGuiApplication(cuantos, argumentos.data());
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
