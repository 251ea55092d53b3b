#pragma once
// `kv73ctl scan`: which relays answer on the line, from --first to --last.

#include "kv73ctl/Opciones.h"

class Enlace_Rele;

// Asks each address once on the open link, printing a line (or, with --json,
// one object at the end) for each relay that answers and for each bad reply.
// 0 when a relay answered; 3 when none did but bad replies came (relays that
// collide, a noisy line); 2 when nothing answered at all or the port went away.
int Explora_Bus(const Opciones &op, Enlace_Rele &enlace);
