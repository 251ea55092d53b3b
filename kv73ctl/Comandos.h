#pragma once
// What kv73ctl's commands do on the link: opening it, judging each transaction
// by how it ended, the reads of the bring-up, and `set`'s changes to the
// setpoint block.

#include "kv73ctl/Opciones.h"
#include "kv73ctl/Salida.h"
#include "protocolo/Lectura_Escritura.h"
#include "registro/Fila_Registro.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class Enlace_Rele;

// Opens the port of the options, dials through its modem with --modem, and
// marks the link up. 0 when up; 2 (link failure) with a message on stderr when
// the port cannot open or the call does not connect.
int Abre_Enlace(const Opciones &op, Enlace_Rele &enlace);

// The device the commands open: --device, else the port number's.
QString Dispositivo_Opciones(const Opciones &op);

// Opens the link of the options again after a link failure closed it: a
// direct line quietly, a call by dialling again (with the dial-up's messages).
// False when it cannot; for a direct line the port's Error_Texto says why.
bool Reabre_Enlace(const Opciones &op, Enlace_Rele &enlace);

// How one relay transaction ended, for a command's exit status. A bad reply
// leaves the images as they were: what the tool prints must come from a good
// reply of this very transaction, never from what an image held.
enum class Desenlace {
    Buena,        // the reply that ended it was good
    Mala,         // a reply came in time and was refused for its CRC, or an exception reply
    Sin_Respuesta // the link failed: "Relay Not Response" is out
};
// Runs one transaction and says how it ended. One that sent nothing (the port
// closed or lost, the link down), which the core passes over in silence, is a
// link failure too: the link-failure procedure runs here. An interrupted one
// ends as a link failure without a word (Interrumpido() tells it apart).
Desenlace Transaccion(Enlace_Rele &enlace, const std::function<Resultado()> &transaccion);
// A poll's outcome as the log, the journal and the agent say it.
Estado_Sondeo Estado_De(Desenlace d);

// The exit status of a read, with what went wrong on stderr: 0 good; 3 and
// "bad reply to the <que>" (or the exception the relay answered with); 2 when the link failed
// ("Relay Not Response" is already out).
int Salida_Lectura(Desenlace d, const char *que);

// The reads of the link bring-up: identification (a device that is not a KV-73
// is refused), the setpoint block and, with `con_sondeo`, one poll. 0 when all
// went well, else the exit status (2 link failure, 3 bad reply or refused), with
// a message on stderr.
int Lecturas_De_Arranque(Enlace_Rele &enlace, bool con_sondeo);

// --- watch and log: their pace and their end ------------------------------------

// From here on SIGINT and SIGTERM ask the command to end cleanly: a wait on the
// relay ends at once, a watch or a log at its next step rather than mid-row.
void Atiende_Interrupciones();
bool Interrumpido();
// Waits in the event loop until `reloj` reaches `hasta` ms, or an interruption.
void Espera_Hasta_Ms(const QElapsedTimer &reloj, qint64 hasta);

// --- set NAME=VALUE ------------------------------------------------------------

// What `set` was asked to change; nothing means "as the relay has it".
struct Cambios_Setpoints {
    std::optional<int> L1, L2, Low_Fan, High_Fan; // degrees Celsius
    std::optional<int> RTD, Fan_Probes;           // 3 or 4 probes
    std::optional<bool> Fan, Weekly;
};

// Reads the NAME=VALUE arguments. A message when a name is unknown or given
// twice, a value is malformed or out of range, or the values given contradict
// each other whatever the relay holds; nothing when they can be applied.
std::optional<QString> Analiza_Cambios(const QStringList &argumentos, Cambios_Setpoints &c);

// Applies the changes to a block as the main page's editors and option lists do:
// a new L1 pushes L2 to at least L1 + 1 unless L2 is given, a given L2 must be at
// least L1 (the same for Low Fan and High Fan), three probes leave only three to
// command the fan. A message when the result breaks those rules.
std::optional<QString> Aplica_Cambios(const Cambios_Setpoints &c, Imagen_Setpoints &s);

// The whole `set` on an open link: the bring-up's reads, the changes into the
// edit image, then command 1, the setpoint write and command 2, as the main
// page's STORE sends them. The exit status: 0, 1 (a value refused, nothing
// written), 2 or 3. `al_escribir` hears of a write the relay accepted, with the
// block as read before and as written.
int Cambia_Setpoints(Enlace_Rele &enlace, const Cambios_Setpoints &c,
                     const std::function<void(const Imagen_Setpoints &antes,
                                              const Imagen_Setpoints &despues)> &al_escribir = {});
