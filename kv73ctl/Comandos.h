#pragma once
// The pieces of kv73ctl that are worth testing on their own: the command line,
// opening the link, reading the relay images into what the tool prints, and the
// commands that change the relay or go through setpoint files.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>

class Puerto_Serie;

struct Opciones {
    int16_t puerto = 1;
    QString dispositivo; // --device: a path instead of a port number
    QString telefono;    // --modem: dial this number through the local modem first
    int32_t velocidad = 9600;
    uint8_t direccion = 1;
    bool json = false;
    QString comando;
    QStringList argumentos; // what follows the command (a file name, NAME=VALUE ...)
    int intervalo_ms = 500; // watch
    int cuenta = 0;         // watch: 0 runs until interrupted
    QString pdf;            // report: where the PDF goes
};

// Fills `op` from the arguments. Returns the exit status when the program must
// stop here (usage printed for --help or an error), nothing when it goes on.
std::optional<int> Analiza_Linea_Comandos(const QStringList &argumentos, Opciones &op);
QString Uso();

// Opens the port of the options as a direct link and marks the link up.
// 0 when open; 2 (link failure) with a message on stderr when it cannot open.
int Abre_Enlace(const Opciones &op, Puerto_Serie &puerto);

// 2 when the link-failure procedure ran during this run, else 0.
int Resultado_Enlace();

// How one relay transaction ended. The core says so only through its counters,
// and a bad reply leaves the images as they were: what the tool prints must come
// from a good reply of this very transaction, never from what an image held.
enum class Desenlace {
    Buena,        // the reply that ended it was good
    Mala,         // a reply came in time and was refused for its CRC
    Sin_Respuesta // the link failed: "Relay Not Response" is out
};
// Runs one transaction and says how it ended. One that sent nothing (the port
// closed or lost, the link down), which the core passes over in silence, is a
// link failure too: the link-failure procedure runs here.
Desenlace Transaccion(const std::function<void()> &transaccion);

// The exit status of a read, with what went wrong on stderr: 0 good; 3 and
// "bad reply to the <que>"; 2 when the link failed ("Relay Not Response" is
// already out).
int Salida_Lectura(Desenlace d, const char *que);

// "0x00FF"
QString Hex4(int valor);

// The setpoint block as the relay holds it (from Set_Setpoints).
struct Imagen_Setpoints {
    std::array<int, 6> registros{};
};
Imagen_Setpoints Lee_Imagen_Setpoints();
QStringList Texto_Setpoints(const Imagen_Setpoints &s);
QJsonObject Json_Setpoints(const Imagen_Setpoints &s);

// One actual-values reply as the operator reads it (from Valores_Actuales).
struct Lectura_Actual {
    std::array<QString, 4> temperaturas;
    std::array<int, 4> maximos{};
    int encendidos = 0; // register 0x020A
    int parpadeos = 0;  // register 0x020B
};
Lectura_Actual Lee_Lectura_Actual();
QString Texto_Valores(const Lectura_Actual &v);
QJsonObject Json_Valores(const Lectura_Actual &v);

// --- setpoint files ------------------------------------------------------------

// What a setpoint file holds once loaded or saved (from Registro_Archivo and the
// images): tag, save date, the relay address in its frame, setpoints with those
// out of range marked, actual values.
QStringList Texto_Archivo(const QString &ruta);
QJsonObject Json_Archivo(const QString &ruta);

// The reads of the link bring-up: identification (a device that is not a KV-73
// is refused), the setpoint block and, with `con_sondeo`, one poll. 0 when all
// went well, else the exit status (2 link failure, 3 bad reply or refused), with
// a message on stderr.
int Lecturas_De_Arranque(bool con_sondeo);

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
// written), 2 or 3.
int Cambia_Setpoints(const Cambios_Setpoints &c);
