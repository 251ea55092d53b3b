#pragma once
// Between kv73ctl and its report module. The page and its PDF need QtGui, and
// QtGui brings fonts, X11 and OpenGL with it: loading them took longer than the
// rest of a `values` call put together, for a page that only `report` draws.
// So the page lives in a module that kv73ctl loads for `report` alone. The
// texts on the page are read from the relay's images in kv73ctl itself, where
// the relay was talked to; the module holds no state of the link.

#include "reporte/Datos_Reporte.h"

#include <QString>
#include <optional>

class QCoreApplication;

struct Interfaz_Reporte {
    // The version of the build: a module left over from another one is not used,
    // as this table may have changed since.
    const char *version;
    // The application object that can draw a page with fonts.
    QCoreApplication *(*Aplicacion)(int &argc, char **argv);
    // The page with these texts as a one-page A4 PDF at `ruta`: nothing when it
    // was written, else why not.
    std::optional<QString> (*Escribe_Pdf)(const QString &ruta, const Textos_Pagina &textos,
                                          const Temperaturas_Pagina &temperaturas);
};

// The one symbol the module exports: a function returning its table.
inline constexpr char Entrada_Modulo_Reporte[] = "kv73ctl_reporte";
using Funcion_Entrada_Reporte = const Interfaz_Reporte *(*)();
