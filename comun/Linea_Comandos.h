#pragma once
// The command line a launching program gives the desktop program: three words
// separated by blanks, the speed followed by a comma and any text (a full port
// setting such as 9600,N,8,1), the port number and the relay address.

#include <QString>
#include <cstdint>
#include <variant>

struct Parametros_Enlace {
    int16_t velocidad;
    int16_t puerto;
    uint8_t direccion;
};

// The link parameters of a command line, or the reason it does not fit the form.
std::variant<Parametros_Enlace, QString> Analiza_Linea_Kv73(const QString &linea);

// A single word on the command line that names a setpoint file: one that ends
// in .KV73 (in any case), as the file manager passes it, or any file that
// exists. The program then starts for an operator with that file loaded.
bool Es_Archivo_De_Setpoints(const QString &palabra);

// The expected form with an example, for the operator or the launching program.
QString Forma_Linea_Kv73();
