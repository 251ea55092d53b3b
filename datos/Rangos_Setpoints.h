#pragma once
// The ranges the main page's editors keep the four temperature setpoints in:
// L1 and Low Fan 0..220 °C, L2 from L1 and High Fan from Low Fan up to 220.
// A write frame that did not come from the editors (a file) is checked against
// them before the relay gets it. Register 0x0104 is not checked (the option
// lists show any bits 0..3, and its other bits are the relay's own), nor is
// register 0x0105, which the program carries along without knowing it.

#include "comun/Imagen.h"

#include <QList>
#include <QString>

// The top of every temperature setpoint, °C.
inline constexpr int Maximo_Temperatura = 220;

struct Setpoint_Fuera_De_Rango {
    int setpoint; // 0 L1, 1 L2, 2 Low Fan, 3 High Fan: register 0x0100 + setpoint
    int valor;
    QString texto; // "L1 65535 is outside 0 to 220", "L2 100 is below L1 120"
};

// Every rule the temperatures of a setpoint write frame (bytes 8..15) break, in
// register order; empty when the editors could have set them. A level below its
// partner is only said when the partner itself is in range.
QList<Setpoint_Fuera_De_Rango> Revisa_Setpoints(const Imagen<21> &trama);
