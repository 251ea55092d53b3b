#include "enlace/Cadena_Modem.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"

#include <QFile>

namespace {
const QString Archivo_AT = QStringLiteral("AT");
}

void Leer_Cadena_Modem(int16_t registro) {
    QFile archivo(Archivo_AT);
    QByteArray bytes;
    if (archivo.open(QIODevice::ReadWrite) && registro >= 1 &&
        archivo.seek(static_cast<qint64>(registro - 1) * Largo_Registro_AT))
        bytes = archivo.read(Largo_Registro_AT);
    Estado.Cadena_Modem = Ajusta(QString::fromLatin1(bytes), Largo_Registro_AT);
}

void Guardar_Cadena_Modem(int16_t registro) {
    if (registro < 1)
        return;
    QFile archivo(Archivo_AT);
    if (!archivo.open(QIODevice::ReadWrite))
        return;
    const qint64 inicio = static_cast<qint64>(registro - 1) * Largo_Registro_AT;
    // Records before this one that were never written are filled with blanks, so
    // that they read as blanks too.
    if (archivo.size() < inicio) {
        archivo.seek(archivo.size());
        archivo.write(QByteArray(inicio - archivo.size(), ' '));
    }
    archivo.seek(inicio);
    archivo.write(Ajusta(Estado.Cadena_Modem, Largo_Registro_AT).toLatin1());
}
