#include "enlace/Archivo_Traza.h"

#include "archivos/Escritura_Segura.h"

bool Archivo_Traza::Abre(const QString &ruta, QString &error) {
    Cierra();
    const std::optional<bool> normal = Abre_Para_Anadir(archivo_, ruta, error);
    if (!normal)
        return false;
    normal_ = *normal;
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
