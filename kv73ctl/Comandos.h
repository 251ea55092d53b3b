#pragma once
// The pieces of kv73ctl that are worth testing on their own: the command line,
// opening the link, and reading the relay images into what the tool prints.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

class Puerto_Serie;

struct Opciones {
    int16_t puerto = 1;
    QString dispositivo;  // --device: a path instead of a port number
    int32_t velocidad = 9600;
    uint8_t direccion = 1;
    bool json = false;
    QString comando;
    QStringList argumentos; // what follows the command (a file name)
    int intervalo_ms = 500; // watch
    int cuenta = 0;         // watch: 0 runs until interrupted
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
