#pragma once
// What the trend window plots: the present temperatures of the last 24 hours
// of polls, in a ring of fixed size, and the thresholds drawn across them.
//
// Size: the main page polls every 500 ms, so 24 hours are 172 800 polls. A
// point is 24 bytes (the time in ms, the four temperature words, the status,
// padding), so a full ring holds 172 800 x 24 = 4 147 200 bytes, about 4 MiB,
// and never grows past that: the oldest point makes room for the newest.

#include "registro/Fila_Registro.h"

#include <QPointF>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

struct Punto_Tendencia {
    qint64 ms = 0;                     // milliseconds since the epoch, UTC
    std::array<int16_t, 4> palabras{}; // the temperature words as the relay sent them
    Estado_Sondeo estado = Estado_Sondeo::Sin_Respuesta;
    // The L1, L2, FAN and Fault lamps, two bits each (a Luz), in the padding
    // the point had anyway: it stays 24 bytes.
    uint8_t lamparas = 0;
};

// The lamps whose changes the trend marks, as the log's columns name them.
inline constexpr const char *Lamparas_Tendencia[4] = {"L1", "L2", "FAN", "Fault"};
Luz Lampara(const Punto_Tendencia &punto, int i);
void Pon_Lampara(Punto_Tendencia &punto, int i, Luz luz);

// The L1, L2 and fan thresholds, from the setpoint image.
struct Umbrales_Tendencia {
    int L1 = 0, L2 = 0, Low_Fan = 0, High_Fan = 0;
    bool operator==(const Umbrales_Tendencia &) const = default;
};
Umbrales_Tendencia Umbrales_Del_Rele();               // from Set_Setpoints
int Valor_Umbral(const Umbrales_Tendencia &u, int i); // L1, L2, Low Fan, High Fan

// From this time on the relay held these thresholds.
struct Cambio_Umbrales {
    qint64 ms = 0;
    Umbrales_Tendencia umbrales;
};

// A temperature word as a number to plot; NaN for the probe codes (Fco, Fcc):
// they are not temperatures, and leave a gap.
double Grados(int16_t palabra);

class Memoria_Tendencia {
  public:
    static constexpr qint64 Sondeo_ms = 500;
    static constexpr std::size_t Tope_24_Horas = 24 * 3600 * 1000 / Sondeo_ms;

    explicit Memoria_Tendencia(std::size_t tope = Tope_24_Horas);

    void Agrega(Punto_Tendencia punto);
    // A poll that has just ended, from the actual-values image when it was good,
    // with the thresholds the relay held then (the setpoint image).
    void Agrega_Sondeo(Estado_Sondeo estado, qint64 ms);
    // The relay holds `u` from `ms` on; kept only when they changed. A log read
    // from a file has none: it holds no setpoints.
    void Agrega_Umbrales(qint64 ms, const Umbrales_Tendencia &u);
    // The changes in time order, the first one at or before the oldest point.
    const std::vector<Cambio_Umbrales> &Umbrales() const { return umbrales_; }

    std::size_t Cuantos() const { return puntos_.size(); }
    std::size_t Tope() const { return tope_; }
    std::size_t Capacidad() const { return puntos_.capacity(); }
    // The i-th point, the oldest first.
    const Punto_Tendencia &operator[](std::size_t i) const {
        return puntos_[(inicio_ + i) % puntos_.size()];
    }
    // Changes at every point added, so that a reader can tell it has news.
    uint64_t Version() const { return version_; }
    void Vacia();
    // Longer than this without a poll is a gap in the lines (the link was
    // down): Hueco_ms for the page's polls, more for a log polled slower.
    qint64 Hueco() const { return hueco_ms_; }
    void Pon_Hueco(qint64 ms) { hueco_ms_ = ms; }

    // What it holds, as the value log's first columns: time, Pt1..Pt4 and
    // status, the values empty for a poll that failed.
    QString Csv() const;

  private:
    std::size_t tope_;
    std::vector<Punto_Tendencia> puntos_;
    std::size_t inicio_ = 0; // the oldest, once the ring is full
    std::vector<Cambio_Umbrales> umbrales_;
    qint64 hueco_ms_;
    uint64_t version_ = 0;
};

// The points of probe `sonda` (0..3) between `desde` and `hasta` (ms), reduced
// for drawing: at most the lowest and the highest of each of `baldes` equal
// slices of time, in time order, so a spike narrower than a pixel still shows.
// They come in runs broken where there is no temperature: a failed poll, a
// probe code, or no poll at all for the memory's Hueco() (the link was down). With more
// than `tope_tramos` runs the slices are made wider until they fit, so that a
// flaky day does not cost a series per gap.
inline constexpr qint64 Hueco_ms = 10000;
std::vector<std::vector<QPointF>> Tramos(const Memoria_Tendencia &memoria, int sonda, qint64 desde,
                                         qint64 hasta, int baldes, std::size_t tope_tramos = 64);

// The first point at or after `ms`; the ring is in time order.
std::size_t Primero_Desde(const Memoria_Tendencia &memoria, qint64 ms);

// Threshold i (L1, L2, Low Fan, High Fan) between `desde` and `hasta` as a line
// of steps: level while the relay held one value, a vertical step where a
// STORE changed it. Nothing before the first value known.
std::vector<QPointF> Escalones_Umbral(const Memoria_Tendencia &memoria, int i, qint64 desde,
                                      qint64 hasta);

// The times lamp i (of Lamparas_Tendencia) changed between `desde` and `hasta`,
// judged on good polls only, at most one in each of `baldes` slices of time.
std::vector<qint64> Cambios_Lampara(const Memoria_Tendencia &memoria, int i, qint64 desde,
                                    qint64 hasta, int baldes);
