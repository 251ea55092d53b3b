#pragma once
// kv73ctl events: the event journal read back, oldest first, one line (or one
// JSON object) an event, filtered by time, relay and kind. It needs no port.

#include "diario/Evento.h"
#include "kv73ctl/Opciones.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

class Enlace_Rele;

// A WHEN of --since and --until: an ISO 8601 time, with or without its offset
// (local time without one) and milliseconds; a date alone (its first moment
// for --since, its last for --until, so that a day given to both is that
// whole day); or a time back from `ahora`: a whole number and s, m, h or d
// ("90m", "24h", "7d"). Nothing when the text is none of these.
std::optional<QDateTime> Lee_Cuando(const QString &texto, bool hasta, const QDateTime &ahora);

// What is wrong with events' options (a WHEN or a kind it cannot take), said
// as a usage error; nothing when they are right.
std::optional<QString> Revisa_Eventos(const Opciones &op);

// An event as a line: time, device, address, kind, what, value, before ->
// after, source; and as JSON, before and after read back from their JSON
// text, null where empty.
QString Texto_Evento(const Evento &evento);
QJsonObject Json_Evento(const Evento &evento);
// Json_Evento's object as one line, its keys in that order (time first),
// written without building the object: a month of events prints in well
// under a second.
QString Linea_Json_Evento(const Evento &evento);

// The command: 0 (also for a journal nobody has written yet, which it does not
// make), 4 when the journal cannot be read.
int Comando_Events(const Opciones &op, Enlace_Rele &enlace);
