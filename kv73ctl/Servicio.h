#pragma once
// kv73ctl serve: the agent that polls the relays of --address for as long as it
// runs and feeds what it reads to MQTT and to a Prometheus endpoint. A link
// that fails, a relay that falls silent or a broker that goes away never ends
// it; SIGTERM or SIGINT does, cleanly.

#include "kv73ctl/Opciones.h"

class Enlace_Rele;

// The whole command: 0 once ended by a signal; 1 when a sink cannot start (a
// malformed URL, a broker that refuses the user or password, a metrics port
// taken), said on stderr before the port is opened.
int Comando_Serve(const Opciones &op, Enlace_Rele &enlace);
