#pragma once
// kv73ctl's side of the report module (see Interfaz_Reporte.h): it is looked
// for beside the program, where the build puts it, then where it is installed.

#include "reporte/Datos_Reporte.h"

#include <QCoreApplication>
#include <QString>
#include <memory>
#include <optional>

// The application object of `report`: the module's, which can draw the page.
// When the module cannot be loaded a plain one is made, and Reporte_Pdf says why.
std::unique_ptr<QCoreApplication> Aplicacion_Reporte(int &argc, char **argv);

// The report page, its texts read from the images here, as a PDF at `ruta`.
// Nothing when it was written, else why not.
std::optional<QString> Reporte_Pdf(const QString &ruta, Temperaturas origen);
