#pragma once
// Opening the journal's file: the folder, the connection, WAL mode and the
// table with its version, made once by whichever program comes first.

#include <QSqlDatabase>
#include <QString>

// The journal's layout version, kept in PRAGMA user_version.
inline constexpr int Version_Diario = 1;

// Opens `base` (a connection named, not yet open, on `ruta`) and makes sure its
// table is there; false with the reason in `error` otherwise (the connection
// then closed). `crear` false: a file that is not there is not created.
bool Abre_Diario(QSqlDatabase &base, const QString &ruta, bool crear, QString &error);
