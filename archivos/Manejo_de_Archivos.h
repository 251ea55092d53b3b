#pragma once
// Setpoint files (".KV73"): one record of 255 bytes holding the tag "KV73", the
// day of saving, three texts the program only carries along, the setpoint write
// frame and the actual-values image. A loaded file replaces the setpoints and
// actual values the program shows; it is not the relay's live state.

#include <QDate>
#include <QString>

class Enlace_Rele;

// Writes the setpoint write frame and the actual values as the record of
// `ruta`. The record goes to a temporary file that then replaces `ruta` whole,
// so a failed save leaves any old file as it was. A name that is a device, a
// pipe or a folder is refused and left alone; a symbolic link stays a link to
// the saved file. False when the file could not be written; the operator has
// been told why.
bool Escribir_Archivo(Enlace_Rele &enlace, const QString &ruta);

// Reads `ruta` and makes it the program's setpoints and actual values. A file
// that is missing, unreadable, shorter than a record or not tagged "KV73", or
// whose temperatures break the editors' ranges (Revisa_Setpoints), is refused
// with a message and changes nothing but Archivo_Cargado (false).
bool Leer_Archivo(Enlace_Rele &enlace, const QString &ruta);
// Leer_Archivo for the bytes a file named `ruta` holds, already in memory (any
// length): the same checks, message and effects, without the disk.
bool Leer_Archivo_Bytes(Enlace_Rele &enlace, const QByteArray &bytes, const QString &ruta);
// Leer_Archivo without the range check, to look at a file (kv73ctl show, which
// marks what is out of range). Nothing that sends a file or shows it on the
// page loads it this way.
bool Leer_Archivo_Para_Ver(Enlace_Rele &enlace, const QString &ruta);

// The save and open dialogs, then Escribir_Archivo or Leer_Archivo. Cancel
// reads and writes nothing and says nothing. A name saved without an extension
// gets ".KV73", so that the open dialog's filter shows it afterwards.
void Guardar_Archivo(Enlace_Rele &enlace);
void Abrir_Archivo(Enlace_Rele &enlace);

// `ruta` with ".`extension`" added when its file name has none ("a" and "a."
// give "a.ext"); a name with any extension is kept as typed.
QString Con_Extension(const QString &ruta, const QString &extension);

// The save date as the file stores it: whole days since 30 December 1899.
double Fecha_Archivo(const QDate &dia);
// The day a stored date names; an invalid date for a value that names none.
QDate Dia_Archivo(double fecha);

namespace Textos_Archivos {
inline const QString Etiqueta = QStringLiteral("KV73");
inline const QString Extension = QStringLiteral("KV73");
inline const QString Filtro_Abrir =
    QStringLiteral("KV73 Files (*.KV73)|*.KV73|All Files (*.*)|*.*|");
inline const QString Filtro_Guardar =
    QStringLiteral("KV73 Files (*.KV73)|*.KV73| All Files (*.*)|*.*|");
inline const QString Nombre_Inicial = QStringLiteral("*.KV73");
inline const QString No_Es_KV73 = QStringLiteral("It isn't KV-73 File");
inline const QString No_Existe = QStringLiteral("The file %1 does not exist");
inline const QString No_Se_Lee = QStringLiteral("The file %1 could not be read: %2");
inline const QString No_Se_Escribe = QStringLiteral("The file %1 could not be written: %2");
inline const QString Fuera_De_Rango =
    QStringLiteral("The file %1 holds a setpoint out of range: %2");
inline const QString No_Comunicando = QStringLiteral("Not Communicating..");
inline const QString Direccion = QStringLiteral("Address: ");
inline const QString Titulo_Host = QStringLiteral("KV73 - ");
} // namespace Textos_Archivos
