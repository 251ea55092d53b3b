#pragma once
// Every file the program writes (a setpoint file, the report's PDF, the traffic
// window's trace, the trend's values and picture) is written here, whole or not
// at all: an old file of that name is either replaced by the complete new one
// or left exactly as it was.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>

// Why a name that exists but is no plain file is refused.
inline const QString No_Es_Archivo_Simple = QStringLiteral("not a plain file");

// How the bytes reach the disk: as they are, or as text, with the platform's
// line ends for each '\n'.
enum class Forma_Archivo { Binaria, Texto };

// Replaces the file `ruta` with `bytes`. They go to a temporary file beside it,
// every write checked and the lot synced to the disk, which then takes the
// name; a disk that fills up on the last byte leaves the old file whole. A name
// that exists and is not a plain file once links are followed (a device, a
// pipe, a folder) is refused and left alone: the rename would put a plain file
// in its place. A link to a plain file stays a link, to the new file. Nothing
// when the file was written, else why not, for a message that names the file.
std::optional<QString> Escribe_Archivo_Entero(const QString &ruta, const QByteArray &bytes,
                                              Forma_Archivo forma = Forma_Archivo::Binaria);

// Opens `archivo` on `ruta` to add to it, unbuffered, so that every line goes to
// the system in the call that writes it (a recording, a traffic log). A folder
// is refused; a pipe or a device cannot be appended to and is written from
// where it is. True for a plain file, which can be cut back after a failed
// write; false for anything else; nothing, with `error`, when it did not open.
std::optional<bool> Abre_Para_Anadir(QFile &archivo, const QString &ruta, QString &error);
