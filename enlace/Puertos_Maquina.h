#pragma once
// The serial ports of this computer, as the "Port devices" dialog and
// `kv73ctl ports` show them, and which of COM1..COM4 open each.

#include <QList>
#include <QString>
#include <cstdint>
#include <vector>

// The port numbers the settings dialog offers.
inline constexpr int16_t Puertos_Dialogo = 4;

struct Puerto_Maquina {
    QString dispositivo; // the path a port number is mapped to (COM3 on Windows)
    QString descripcion;
    QString fabricante;
    QString numero_serie;
    bool acceso = false; // this user may open it
    bool red = false;    // a serial device server reached over TCP, not a device file
    QList<int16_t> com;  // COM numbers of the dialog that open it
};

// What the system lists (QSerialPortInfo), then the devices COM1..COM4 are mapped
// to that exist but are not listed: the system does not list pseudo-terminals,
// nor a link under another name such as /dev/serial/by-id/..., and the network
// devices (tcp://HOST:PORT) some of them name.
std::vector<Puerto_Maquina> Puertos_Maquina();

// Two names of the same device: equal, or links to the same node.
bool Mismo_Dispositivo(const QString &a, const QString &b);
