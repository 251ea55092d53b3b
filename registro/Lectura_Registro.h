#pragma once
// A value log read back (the CSV that kv73ctl log and the page's recording
// write) so that the trend window can show a past night as it shows the live
// polls.

#include "registro/Memoria_Tendencia.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

struct Registro_Leido {
    // The relays the log holds, in the order they first appear; one 0 when it
    // has no address column (a log of one relay).
    std::vector<int> direcciones;
    std::vector<std::pair<int, Punto_Tendencia>> filas; // address, poll
};

// Reads the log's text: nothing when it is one, else why not. Rows cut short
// or with a time that does not parse are skipped, as a crash may leave one.
std::optional<QString> Lee_Registro(const QByteArray &texto, Registro_Leido &leido);

// The polls of relay `direccion` in a memory of their own size.
Memoria_Tendencia Memoria_Del_Registro(const Registro_Leido &leido, int direccion);
