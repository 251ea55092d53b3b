#pragma once
// kv73ctl log: a round of polls every --interval, one CSV row a poll appended
// to --csv; with several --address, the relays in turn and an `address` column.

#include "kv73ctl/Opciones.h"
#include "registro/Fila_Registro.h"

class Enlace_Rele;

// One poll of the relay at `direccion` as a row; the port is opened again
// first when a link failure closed it (or it never opened): a port that will
// not open is a "no reply" row, never an end.
Fila_Registro Sondea_Direccion(const Opciones &op, Enlace_Rele &enlace, int direccion);

// The whole command, when --count is reached or SIGINT/SIGTERM arrives: 2 when
// a poll got no reply, else 3 when a reply was bad, else 0; 4 when the file
// cannot be opened or a row cannot be written.
int Comando_Log(const Opciones &op, Enlace_Rele &enlace);
