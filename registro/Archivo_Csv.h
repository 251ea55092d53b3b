#pragma once
// The value log's file: opened to append, the header written only into an
// empty file, each row handed to the system as it is written so that a power
// cut costs at most the row being written.

#include "registro/Fila_Registro.h"

#include <QFile>
#include <QString>

class Archivo_Csv {
  public:
    // Opens `ruta` to append (made when missing). A folder is refused; a pipe
    // or a device is taken as it is, for a viewer reading the rows live. The
    // header goes into a file that is empty or not a plain file; a file with
    // rows must start with that header. False with the reason in `error` when
    // it cannot be opened, holds other columns, or the header is not written.
    bool Abre(const QString &ruta, bool con_direccion, QString &error);
    // One row. False with the reason in `error` (a full disk, a write error);
    // a plain file is then cut back to the rows written whole.
    bool Escribe(const Fila_Registro &fila, QString &error);
    void Cierra();
    bool Abierto() const { return archivo_.isOpen(); }
    QString Ruta() const { return archivo_.fileName(); }

  private:
    bool Escribe_Texto(const QByteArray &texto, QString &error);
    // A log already begun: its header must be `cabecera`, and a row cut short
    // at its end is taken away.
    bool Continua_Archivo(const QByteArray &cabecera, QString &error);

    QFile archivo_;
    bool normal_ = false; // a plain file, which can be cut back after a failed write
};
