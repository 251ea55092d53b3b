#include "enlace/Archivo_Traza.h"

#include <QFileInfo>

bool Archivo_Traza::Abre(const QString &ruta, QString &error) {
    Cierra();
    const QFileInfo info(ruta);
    if (info.isDir()) {
        error = QStringLiteral("%1 is a folder").arg(ruta);
        return false;
    }
    archivo_.setFileName(ruta);
    // A pipe or a device cannot be appended to: it is written from where it is.
    const bool otro = info.exists() && !info.isFile();
    const QIODevice::OpenMode modo = QIODevice::WriteOnly | QIODevice::Unbuffered |
                                     (otro ? QIODevice::NotOpen : QIODevice::Append);
    if (!archivo_.open(modo)) {
        error = archivo_.errorString();
        return false;
    }
    normal_ = QFileInfo(ruta).isFile();
    // A line cut short by a full disk or a crash would have the next glued to it.
    if (normal_ && archivo_.size() > 0) {
        QFile leido(ruta);
        if (leido.open(QIODevice::ReadOnly) && leido.seek(leido.size() - 1) &&
            leido.read(1) != "\n" && archivo_.write("\n", 1) != 1) {
            error = archivo_.errorString();
            Cierra();
            return false;
        }
    }
    return true;
}

bool Archivo_Traza::Escribe(const QString &linea, QString &error) {
    if (!archivo_.isOpen()) {
        error = QStringLiteral("the file is not open");
        return false;
    }
    const QByteArray texto = linea.toUtf8() + '\n';
    const qint64 antes = normal_ ? archivo_.size() : 0;
    // A write cut short by a full disk says nothing of why; the next one for the
    // rest does.
    qint64 hechos = 0;
    while (hechos < texto.size()) {
        const qint64 n = archivo_.write(texto.constData() + hechos, texto.size() - hechos);
        if (n <= 0)
            break;
        hechos += n;
    }
    if (hechos == texto.size())
        return true;
    error = archivo_.error() == QFileDevice::NoError
                ? QStringLiteral("the line could not be written whole")
                : archivo_.errorString();
    if (normal_)
        archivo_.resize(antes);
    return false;
}

void Archivo_Traza::Cierra() {
    if (archivo_.isOpen())
        archivo_.close();
}
