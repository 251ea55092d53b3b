#pragma once
// One row of the event journal: something that happened to a relay that an
// operator or an inspector asks about afterwards.

#include <QDateTime>
#include <QString>

struct Evento {
    qint64 id = 0;       // the journal's row number, once written (0 before)
    QDateTime hora;      // when it happened, local time with milliseconds
    QString dispositivo; // the port or device: "/dev/ttyUSB0", "tcp://gw:4001", "COM1"
    int direccion = 0;   // the relay's address
    QString tipo;        // "lamp", "link", "setpoints", "reset-max"
    // What: the lamp ("L1"); the link's "up" or "down"; the command that wrote
    // the setpoints ("STORE", "Send Setpoints to Relay", "set", "send") or reset
    // the maxima ("Clear", "reset-max").
    QString que;
    // The value: a lamp's "off", "on" or "blink"; why a link went down ("no
    // reply", "port lost", "OFF", "bad replies"); empty otherwise.
    QString valor;
    // Before and after, as JSON text: a lamp's previous state ("\"off\""), the six
    // setpoint registers ("[90,100,...]"), the four maxima before a reset.
    QString antes;
    QString despues;
    QString fuente; // the program, and the file a send took: "kv73", "kv73ctl send night.KV73"
};
