#pragma once
// What the agent publishes, as MQTT payloads: the state after each poll and
// the Home Assistant discovery configs of one relay (an event is as `kv73ctl
// events --json` prints it).

#include "datos/Manejo_de_ActualValues.h"
#include "registro/Fila_Registro.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

// PREFIX/ADDRESS/state after a poll that ended as `estado` at `hora`;
// `lectura` only for a good reply. A failed poll has its values null.
QJsonObject Json_Estado(int direccion, Estado_Sondeo estado, const Lectura_Actual *lectura,
                        const QDateTime &hora);

struct Config_Discovery {
    QString tema; // homeassistant/<component>/<node>/<object>/config
    QJsonObject config;
};
// The retained configs that make Home Assistant show the relay at `direccion`
// as a device: a temperature sensor per probe and per maximum, a binary sensor
// per lamp, each available while both the relay's and the agent's topics say
// "online".
QList<Config_Discovery> Configs_Discovery(const QString &prefijo, int direccion);
