#pragma once
// Programming the modem that will sit beside a remote relay, through one of the
// PC's serial ports: the fixed set-up sequence or the operator's own string.

#include <QString>

class Enlace_Rele;

struct Programacion_Modem {
    bool cadena_personal = false; // "Personal String" rather than "Default String"
    int indice_velocidad = 3;     // 0..3: 1200, 2400, 4800, 9600; -1 keeps Velocidad
    int indice_puerto = 1;        // 0..3: COM1..COM4
    QString nombre_puerto;        // as the port list shows it ("COM2")
};

// Borrows the serial port as a direct line on the chosen port and speed, talks to
// the modem and puts the link settings back where the operation completes.
void Programa_Modem_Remoto(Enlace_Rele &enlace, const Programacion_Modem &programacion);

namespace Textos_Programacion {
inline const QString Conecte = QStringLiteral("Please Connect the Modem to ");
inline const QString Programado = QStringLiteral("Modem Has Been Programed");
inline const QString Inicializacion = QStringLiteral("AT&F");
inline const QString Configuracion = QStringLiteral("ATE0 V0 S0=2 &W1 &Y1");
} // namespace Textos_Programacion
