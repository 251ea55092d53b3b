#pragma once
// A traffic log on the disk: the trace's lines appended to a text file as they
// come, for a trace longer than the lines the trace holds. Each line goes to
// the system in the call that writes it, so a viewer following the file sees
// it at once; it is not synced to the disk line by line, since the trace is
// written from inside the port's own calls, where a sync would hold the
// exchange up.

#include <QFile>
#include <QString>

class Archivo_Traza {
  public:
    // Opens `ruta` to append (made when missing). A folder is refused; a pipe
    // or a device is taken as it is. False with the reason in `error`.
    bool Abre(const QString &ruta, QString &error);
    // One line, its line end added. False with the reason in `error` (a full
    // disk, a write error); a plain file is then cut back to the lines written
    // whole.
    bool Escribe(const QString &linea, QString &error);
    void Cierra();
    bool Abierto() const { return archivo_.isOpen(); }
    QString Ruta() const { return archivo_.fileName(); }

  private:
    QFile archivo_;
    bool normal_ = false; // a plain file, which can be cut back after a failed write
};
