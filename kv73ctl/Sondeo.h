#pragma once
// Polling relays in turn on one line: one poll of one address gives a result,
// and a round polls every address of --address, each result naming its relay.
// A relay that does not answer closes the port (the link-failure procedure);
// the port is opened again for the next relay, so one silent relay does not
// stop the others.

#include "kv73ctl/Opciones.h"
#include "kv73ctl/Salida.h"
#include "registro/Fila_Registro.h"

#include <QDateTime>
#include <QList>
#include <functional>

class Enlace_Rele;

struct Resultado_Sondeo {
    int direccion = 1;
    int estado = 0;         // 0 a good reply, 2 no reply ("Relay Not Response"), 3 a bad reply
    qint64 latencia_us = 0; // from the request to the end of the transaction
    Lectura_Actual lectura; // what the good reply holds
    QDateTime hora;         // when the poll ended
};

// One actual-values poll of the relay at `direccion` on the open link.
Resultado_Sondeo Sondea_Rele(Enlace_Rele &enlace, int direccion);

// Polls each of --address in turn and hands each result to `al_sondear`.
// False when the port, closed by a relay that did not answer, cannot be opened
// again (the device went away, or the modem did not connect again): the run
// must end there, with status 2.
bool Sondea_Direcciones(const Opciones &op, Enlace_Rele &enlace,
                        const std::function<void(const Resultado_Sondeo &)> &al_sondear);

// The status of a run of polls: 2 when any relay failed to answer, else 3 when
// any reply was bad, else 0.
int Peor_Estado(int a, int b);

// One result as `values` and `watch` print it with several addresses: the text
// line starts "address N: "; the JSON object is Json_Sondeo's. A failed poll
// says so on stderr, naming the relay, and with --json is an object on stdout
// too, so that a script reading it sees every relay of every round.
void Imprime_Sondeo(const Opciones &op, const Resultado_Sondeo &r, bool con_latencia);

// A poll as JSON: "address", "time", "status" ("ok", "bad reply", "no reply"),
// `latency_us` with `con_latencia`; a good one adds its values (Json_Valores),
// "celsius" and "probe_faults".
QJsonObject Json_Sondeo(const Resultado_Sondeo &r, bool con_latencia);

// A result's status as the log's and the journal's: ok, bad reply, no reply.
Estado_Sondeo Estado_De(const Resultado_Sondeo &r);
