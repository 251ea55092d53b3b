#include "registro/Archivo_Csv.h"

#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

bool Archivo_Csv::Abre(const QString &ruta, bool con_direccion, QString &error) {
    Cierra();
    const QFileInfo info(ruta);
    if (info.isDir()) {
        error = QStringLiteral("%1 is a folder").arg(ruta);
        return false;
    }
    archivo_.setFileName(ruta);
    // A pipe or a device cannot be appended to: it is written from where it is.
    const bool otro = info.exists() && !info.isFile();
    // Unbuffered: every row goes to the system in the call that writes it.
    const QIODevice::OpenMode modo = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                     (otro ? QIODevice::NotOpen : QIODevice::Append);
    if (!archivo_.open(modo)) {
        error = archivo_.errorString();
        return false;
    }
    normal_ = QFileInfo(ruta).isFile();
    filas_ = 0;
    if (normal_ && archivo_.size() > 0)
        return true;
    if (Escribe_Texto(Cabecera_Csv(con_direccion).toUtf8(), error))
        return true;
    Cierra();
    return false;
}

bool Archivo_Csv::Escribe(const Fila_Registro &fila, QString &error) {
    if (!Escribe_Texto(Linea_Csv(fila).toUtf8(), error))
        return false;
    ++filas_;
    return true;
}

void Archivo_Csv::Cierra() {
    if (archivo_.isOpen())
        archivo_.close();
}

bool Archivo_Csv::Escribe_Texto(const QByteArray &texto, QString &error) {
    if (!archivo_.isOpen()) {
        error = QStringLiteral("the file is not open");
        return false;
    }
    const qint64 antes = normal_ ? archivo_.size() : 0;
    const qint64 escritos = archivo_.write(texto);
    bool bien = escritos == texto.size();
#ifdef Q_OS_UNIX
    // A plain file's row reaches the disk before the next poll.
    if (bien && normal_ && ::fdatasync(archivo_.handle()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        archivo_.resize(antes);
        return false;
    }
#endif
    if (bien)
        return true;
    error = archivo_.error() == QFileDevice::NoError
                ? QStringLiteral("the row could not be written whole")
                : archivo_.errorString();
    // Half a row would spoil the file for a spreadsheet: the rows before stay.
    if (normal_)
        archivo_.resize(antes);
    return false;
}
