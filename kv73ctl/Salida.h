#pragma once
// What kv73ctl prints: the relay images read into plain values, each as lines
// of text and as one JSON object.

#include "datos/Manejo_de_ActualValues.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// One line on stdout, flushed at once: a script reading a watch sees each poll
// as it comes.
void Imprime(const QString &texto);
void Imprime_Json(const QJsonObject &objeto);
// `objeto` with --json, else `lineas`.
void Imprime_Resultado(bool json, const QStringList &lineas, const QJsonObject &objeto);

// "0x00FF"
QString Hex4(int valor);

// The setpoint block as the relay holds it (from Set_Setpoints).
struct Imagen_Setpoints {
    std::array<int, 6> registros{};
};
Imagen_Setpoints Lee_Imagen_Setpoints();
QStringList Texto_Setpoints(const Imagen_Setpoints &s);
QJsonObject Json_Setpoints(const Imagen_Setpoints &s);

QString Texto_Valores(const Lectura_Actual &v);
QJsonObject Json_Valores(const Lectura_Actual &v);

// A probe's reading as the page shows it ("85", "-5", "Fco", "Fcc") in degrees:
// nothing for a faulty probe, whose code is no temperature.
std::optional<double> Celsius_Sonda(const QString &temperatura);
// "open" for "Fco", "short" for "Fcc", empty for a working probe.
QString Fallo_Sonda(const QString &temperatura);
// The four probes as numbers, null for a faulty one; and per probe null,
// "open" or "short".
QJsonArray Json_Celsius(const Lectura_Actual &v);
QJsonArray Json_Fallos_Sonda(const Lectura_Actual &v);

// What a setpoint file holds once loaded or saved (from Registro_Archivo and the
// images): tag, save date, the relay address in its frame, setpoints with those
// out of range marked, actual values.
QStringList Texto_Archivo(const QString &ruta);
QJsonObject Json_Archivo(const QString &ruta);
