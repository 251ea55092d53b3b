#include "archivos/Escritura_Segura.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Every byte or false. The file is unbuffered, so that a disk that takes only
// part of the bytes is seen here: a buffered write reports everything written,
// and the short flush when the file is committed goes unnoticed, putting a
// cut-off file in the old one's place.
bool Escribe_Todo(QSaveFile &archivo, const QByteArray &bytes) {
    qsizetype hecho = 0;
    while (hecho < bytes.size()) {
        const qint64 n = archivo.write(bytes.constData() + hecho, bytes.size() - hecho);
        if (n <= 0)
            return false;
        hecho += n;
    }
    return true;
}

#ifdef Q_OS_UNIX
// On the disk before it takes the old file's name, or why not.
std::optional<QString> Al_Disco(QSaveFile &archivo) {
    if (::fsync(archivo.handle()) == 0)
        return std::nullopt;
    return qt_error_string(errno);
}
#else
std::optional<QString> Al_Disco(QSaveFile &) {
    return std::nullopt;
}
#endif

} // namespace

std::optional<QString> Escribe_Archivo_Entero(const QString &ruta, const QByteArray &bytes,
                                              Forma_Archivo forma) {
    const QFileInfo info(ruta);
    if (info.exists() && !info.isFile())
        return No_Es_Archivo_Simple;

    QSaveFile archivo(ruta);
    QIODevice::OpenMode modo = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (forma == Forma_Archivo::Texto)
        modo |= QIODevice::Text;
    std::optional<QString> motivo;
    if (!archivo.open(modo) || !Escribe_Todo(archivo, bytes))
        motivo = archivo.errorString();
    else
        motivo = Al_Disco(archivo);
    if (!motivo && !archivo.commit())
        motivo = archivo.errorString();
    if (motivo)
        archivo.cancelWriting();
    return motivo;
}

std::optional<bool> Abre_Para_Anadir(QFile &archivo, const QString &ruta, QString &error) {
    const QFileInfo info(ruta);
    if (info.isDir()) {
        error = QStringLiteral("%1 is a folder").arg(ruta);
        return std::nullopt;
    }
    archivo.setFileName(ruta);
    const bool otro = info.exists() && !info.isFile();
    const QIODevice::OpenMode modo = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                     (otro ? QIODevice::NotOpen : QIODevice::Append);
    if (!archivo.open(modo)) {
        error = archivo.errorString();
        return std::nullopt;
    }
    return QFileInfo(ruta).isFile();
}
