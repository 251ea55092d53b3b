#pragma once
// kv73-sim's command line: what the simulator is asked to be.

#include "simulador/Modem_Simulado.h"
#include "simulador/Rele_Simulado.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <termios.h>
#include <vector>

struct Opciones {
    QString Enlace;
    std::vector<uint8_t> Direcciones{1};
    int Puerto_Tcp = -1;     // --tcp: none
    bool Modbus_Tcp = false; // --modbus-tcp: the TCP port translates as a gateway
    speed_t Baudios = 9600;
    uint32_t Semilla = 1;
    Fallos Fallos_Pedidos;
    bool Tiempo_Linea = false;
    bool Con_Modem = false;
    bool Deriva = false;
    Opciones_Modem Modem;
};

// Reads the command line; --help and --version print and end the process with
// status 0, a wrong option ends it with status 1.
Opciones Lee_Opciones(const QStringList &argumentos);
