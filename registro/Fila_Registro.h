#pragma once
// One poll of the actual values as a row of the value log: the CSV that
// kv73ctl log and the desktop program's recording write, one row a poll.

#include "datos/Manejo_de_ActualValues.h"
#include "protocolo/Lectura_Escritura.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

// How a poll ended, as the log's `status` column says it.
enum class Estado_Sondeo { Ok, Mala, Sin_Respuesta };
QString Texto_Estado(Estado_Sondeo estado); // "ok", "bad reply", "no reply"

inline constexpr std::size_t Cantidad_Lamparas = std::size(Mapa_Indicadores);

struct Fila_Registro {
    QDateTime hora;
    Estado_Sondeo estado = Estado_Sondeo::Sin_Respuesta;
    // Only a good reply has values; the others leave their columns empty.
    std::array<QString, 4> temperaturas; // as the page shows them: "85", "-5", "Fco"
    std::array<int, 4> maximos{};
    std::array<Luz, Cantidad_Lamparas> luces{};
    // The relay's address, a column of its own only when several relays are
    // logged together.
    std::optional<int> direccion;
};

// How a poll that ended with `resultado` goes into the log; nothing when it
// never went on the line while the link stayed up (another exchange held the
// line, or a signal cut it short: no row for it). An exception reply is a bad
// reply.
std::optional<Estado_Sondeo> Estado_Del_Sondeo(Resultado resultado);

// The lamps of one actual-values reply, in the order of Mapa_Indicadores.
std::array<Luz, Cantidad_Lamparas> Luces_De(const Lectura_Actual &lectura);

// The row of a poll that has just ended: the values come from the actual-values
// image, and only for a good reply.
Fila_Registro Fila_Del_Sondeo(Estado_Sondeo estado, const QDateTime &hora);

// "2024-05-01T14:03:07.250+02:00": local time, milliseconds, the offset always
// written out (never "Z"), so rows from both sides of a clock change sort.
QString Hora_Iso(const QDateTime &hora);
// A field as RFC 4180 wants it: quoted, its quotes doubled, when it holds a
// comma, a quote or a line break.
QString Campo_Csv(const QString &campo);
// The header and a row, each ending in CRLF.
QString Cabecera_Csv(bool con_direccion);
QString Linea_Csv(const Fila_Registro &fila);
const char *Nombre_Luz(Luz luz); // "off", "on", "blink"
