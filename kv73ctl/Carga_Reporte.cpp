#include "kv73ctl/Carga_Reporte.h"

#include "comun/Version.h"
#include "kv73ctl/Interfaz_Reporte.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <cstring>

namespace {

const Interfaz_Reporte *interfaz = nullptr;
QString por_que_no;

// The folder of the program itself: there is no application object yet to ask.
QString Carpeta_Programa(const char *argv0) {
#ifdef Q_OS_LINUX
    const QFileInfo propio(QStringLiteral("/proc/self/exe"));
    if (const QString real = propio.canonicalFilePath(); !real.isEmpty())
        return QFileInfo(real).absolutePath();
#endif
    return QFileInfo(QFile::decodeName(argv0)).absolutePath();
}

// Tried once; the module is never unloaded, since the application object it
// made lives until the end of the run.
void Carga(const char *argv0) {
    const QString carpeta = Carpeta_Programa(argv0);
    const QString nombre = QStringLiteral(KV73CTL_MODULO_REPORTE);
    QStringList errores;
    for (const QString &ruta :
         {QDir(carpeta).filePath(nombre),
          QDir::cleanPath(carpeta + QStringLiteral("/" KV73CTL_MODULOS_INSTALADOS "/") + nombre)}) {
        if (!QFileInfo::exists(ruta))
            continue;
        QLibrary biblioteca(ruta);
        const auto entrada =
            reinterpret_cast<Funcion_Entrada_Reporte>(biblioteca.resolve(Entrada_Modulo_Reporte));
        if (!entrada) {
            errores << biblioteca.errorString();
            continue;
        }
        const Interfaz_Reporte *encontrada = entrada();
        if (std::strcmp(encontrada->version, KV73_VERSION) != 0) {
            errores << QStringLiteral("%1 is of kv73 %2, not %3")
                           .arg(ruta, QString::fromUtf8(encontrada->version),
                                QStringLiteral(KV73_VERSION));
            continue;
        }
        interfaz = encontrada;
        return;
    }
    por_que_no = errores.isEmpty()
                     ? QStringLiteral("the report module %1 is not installed").arg(nombre)
                     : errores.join(QStringLiteral("; "));
}

} // namespace

std::unique_ptr<QCoreApplication> Aplicacion_Reporte(int &argc, char **argv) {
    if (!interfaz && por_que_no.isEmpty())
        Carga(argv[0]);
    if (!interfaz)
        return std::make_unique<QCoreApplication>(argc, argv);
    return std::unique_ptr<QCoreApplication>(interfaz->Aplicacion(argc, argv));
}

std::optional<QString> Reporte_Pdf(const QString &ruta, Temperaturas origen) {
    if (!interfaz)
        return por_que_no.isEmpty() ? QStringLiteral("the report module was not loaded")
                                    : por_que_no;
    return interfaz->Escribe_Pdf(ruta, Textos_Desde_Imagenes(),
                                 Temperaturas_Desde_Imagenes(origen));
}
