#include "registro/Archivo_Csv.h"

#include "archivos/Escritura_Segura.h"

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

bool Archivo_Csv::Abre(const QString &ruta, bool con_direccion, QString &error) {
    Cierra();
    const std::optional<bool> normal = Abre_Para_Anadir(archivo_, ruta, error);
    if (!normal)
        return false;
    normal_ = *normal;
    if (normal_ && archivo_.size() > 0) {
        if (Continua_Archivo(Cabecera_Csv(con_direccion).toUtf8(), error))
            return true;
        Cierra();
        return false;
    }
    if (Escribe_Texto(Cabecera_Csv(con_direccion).toUtf8(), error))
        return true;
    Cierra();
    return false;
}

bool Archivo_Csv::Continua_Archivo(const QByteArray &cabecera, QString &error) {
    QFile leido(archivo_.fileName());
    if (!leido.open(QIODevice::ReadOnly)) {
        error = leido.errorString();
        return false;
    }
    // Rows of other columns under this header would be read into the wrong
    // columns: a log of one relay is not continued with several, nor a file
    // that is not a log at all.
    if (leido.readLine(cabecera.size() + 1) != cabecera) {
        error = QStringLiteral("it holds other columns than this log's: give a new file");
        return false;
    }
    // A power cut in the middle of a row leaves it without its line end; the
    // next row would be glued to it. The half row is lost already: it goes.
    const qint64 largo = leido.size();
    leido.seek(std::max<qint64>(0, largo - 1));
    if (leido.read(1) == "\n")
        return true;
    leido.seek(0);
    const QByteArray todo = leido.readAll();
    if (archivo_.resize(todo.lastIndexOf('\n') + 1))
        return true;
    error = archivo_.errorString();
    return false;
}

bool Archivo_Csv::Escribe(const Fila_Registro &fila, QString &error) {
    return Escribe_Texto(Linea_Csv(fila).toUtf8(), error);
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
