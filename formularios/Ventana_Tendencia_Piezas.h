#pragma once
// What the trend window's files share: its colours and its chart view.

#include <QColor>
#include <QString>

class QChart;
class QChartView;
class Ventana_Tendencia;

inline const QString Titulo_Tendencia = QStringLiteral("KV-73 Trend");

inline const QColor Colores_Sondas[4] = {QColor(0xC0, 0x30, 0x30), QColor(0x20, 0x70, 0xC0),
                                         QColor(0x20, 0x90, 0x40), QColor(0x90, 0x50, 0xB0)};
struct Umbral_Dibujo {
    const char *nombre;
    QColor color;
};
// Apart from the probes' colours and from the grid's grey, so that a threshold
// is never read as a probe or as a grid line.
inline const Umbral_Dibujo Umbrales_Dibujo[4] = {{"L1", QColor(0xE0, 0x90, 0x00)},
                                                 {"L2", QColor(0x20, 0x20, 0x20)},
                                                 {"Low Fan", QColor(0x00, 0xB0, 0xB0)},
                                                 {"High Fan", QColor(0x8B, 0x4A, 0x10)}};
// The lamps' marks: L1, L2 and FAN as their thresholds, Fault apart.
inline const QColor Lamparas_Dibujo[4] = {QColor(0xE0, 0x90, 0x00), QColor(0x20, 0x20, 0x20),
                                          QColor(0x00, 0xB0, 0xB0), QColor(0xE0, 0x00, 0xE0)};

// The chart view with the wheel for zoom and pan and the mouse for the cursor.
QChartView *Crea_Vista_Tendencia(QChart *grafico, Ventana_Tendencia &ventana);
