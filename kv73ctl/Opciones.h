#pragma once
// kv73ctl's command line: the options, the command and its arguments, checked
// against the command table before any port is opened.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <span>

struct Opciones {
    int puerto = 1;
    QString dispositivo; // --device: a path instead of a port number
    QString telefono;    // --modem: dial this number through the local modem first
    int velocidad = 9600;
    int direccion = 1;         // the relay of the commands that take one: the first of --address
    QList<int> direcciones{1}; // --address A,B,C: the relays polled in turn (values, watch, log)
    bool json = false;
    bool traza = false; // --trace: every frame on stderr
    QString comando;
    QStringList argumentos; // what follows the command (a file name, NAME=VALUE ...)
    int intervalo_ms = 500; // watch, log
    int cuenta = 0;         // watch, log: 0 runs until interrupted
    QString csv;            // log: the file the rows are appended to
    QString pdf;            // report: where the PDF goes
    int primera = 1;        // scan: the first and last address asked
    int ultima = 247;
    int espera_ms = 0;   // scan: the wait for each reply; 0 for the reply's wire time and a margin
    QString mqtt;        // serve: the broker, mqtt://... or mqtts://...
    QString mqtt_cafile; // serve: the CA certificates of an mqtts:// broker
    QString tema = QStringLiteral("kv73"); // serve: the prefix of the topics
    bool ha_discovery = false;             // serve: Home Assistant discovery configs
    QString metricas;                      // serve: HOST:PORT of the metrics endpoint
    bool direccion_dada = false;           // --address was given
    QString desde, hasta;                  // events: --since and --until as given
    QStringList tipos;                     // events: --kind, split at commas
};

// What a command takes after its name.
enum class Argumentos { Ninguno, Un_Archivo, Archivo_Opcional, Cambios };

// One row of the command table: main runs `ejecuta`, the parser checks the
// arguments by `forma`, and --help lists `nombre`, `uso` and `ayuda`.
class Enlace_Rele;

struct Orden {
    const char *nombre;
    int (*ejecuta)(const Opciones &op, Enlace_Rele &enlace);
    Argumentos forma;
    const char *uso; // what follows the name in the help: "FILE", "[--interval MS] ..."
    const char *ayuda;
};

// Fills `op` from the arguments (the program's name first). Returns the exit
// status when the program must stop here: 0 after --help or --version, 1 with
// the reason and the usage on stderr; nothing when the command is to run.
std::optional<int> Analiza_Linea_Comandos(const QStringList &argumentos,
                                          std::span<const Orden> ordenes, Opciones &op);

// The row of `nombre`, or null.
const Orden *Busca_Orden(std::span<const Orden> ordenes, const QString &nombre);
