#include "registro/Memoria_Tendencia.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_Datos.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

Umbrales_Tendencia Umbrales_Del_Rele() {
    return {Lee_Word_Setpoint(4), Lee_Word_Setpoint(6), Lee_Word_Setpoint(8),
            Lee_Word_Setpoint(10)};
}

double Grados(int16_t palabra) {
    // The page's reading of a word (Texto_Temperatura) without making its
    // text: the trend reads every poll it holds at each redraw.
    const auto sin_signo = static_cast<uint16_t>(palabra);
    const int grados = sin_signo >= 0xFF00 ? sin_signo - 65536 : sin_signo;
    if (grados == Temperatura_Fcc || grados == Temperatura_Fco)
        return std::numeric_limits<double>::quiet_NaN();
    return grados;
}

void Memoria_Tendencia::Agrega(Punto_Tendencia punto) {
    ++version_;
    if (tope_ == 0)
        return;
    // The runs are cut in time order: a poll that began before the last one
    // kept (it waited on a message) is put at that one's time, and a clock set
    // back does not fold the trend onto itself.
    if (Cuantos() > 0)
        punto.ms = std::max(punto.ms, (*this)[Cuantos() - 1].ms);
    if (puntos_.size() < tope_) {
        // Grown by hand so that the ring never reserves more than its cap.
        if (puntos_.size() == puntos_.capacity())
            puntos_.reserve(std::min(tope_, std::max<std::size_t>(1024, 2 * puntos_.size())));
        puntos_.push_back(punto);
        return;
    }
    puntos_[inicio_] = punto;
    inicio_ = (inicio_ + 1) % tope_;
}

void Memoria_Tendencia::Agrega_Sondeo(Estado_Sondeo estado, qint64 ms) {
    Punto_Tendencia p;
    p.ms = ms;
    p.estado = estado;
    if (estado == Estado_Sondeo::Ok)
        for (int k = 0; k < 4; ++k)
            p.palabras[k] = static_cast<int16_t>(Lee_Word_Actual(static_cast<uint8_t>(4 + 2 * k)));
    Agrega(p);
}

void Memoria_Tendencia::Vacia() {
    puntos_.clear();
    inicio_ = 0;
    ++version_;
}

QString Memoria_Tendencia::Csv() const {
    QString texto = QStringLiteral("time,Pt1,Pt2,Pt3,Pt4,status\r\n");
    for (std::size_t i = 0; i < Cuantos(); ++i) {
        const Punto_Tendencia &p = (*this)[i];
        QStringList campos{Hora_Iso(QDateTime::fromMSecsSinceEpoch(p.ms))};
        for (int16_t w : p.palabras)
            campos << (p.estado == Estado_Sondeo::Ok ? Texto_Temperatura(static_cast<uint16_t>(w))
                                                     : QString());
        campos << Texto_Estado(p.estado);
        texto += campos.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return texto;
}

namespace {

// The first point at or after `ms`; the ring is in time order.
std::size_t Primero_Desde(const Memoria_Tendencia &m, qint64 ms) {
    std::size_t bajo = 0, alto = m.Cuantos();
    while (bajo < alto) {
        const std::size_t medio = (bajo + alto) / 2;
        if (m[medio].ms < ms)
            bajo = medio + 1;
        else
            alto = medio;
    }
    return bajo;
}

// One slice of time while it is being filled.
struct Balde {
    qint64 ms_min = 0, ms_max = 0;
    double min = 0, max = 0;
    bool con_valor = false, con_hueco = false;
};

void Vacia_Balde(Balde &b, std::vector<std::vector<QPointF>> &tramos, bool &abierto) {
    if (b.con_valor) {
        if (!abierto)
            tramos.emplace_back();
        abierto = true;
        auto &t = tramos.back();
        const bool min_antes = b.ms_min <= b.ms_max;
        t.emplace_back(static_cast<double>(min_antes ? b.ms_min : b.ms_max),
                       min_antes ? b.min : b.max);
        if (b.min != b.max)
            t.emplace_back(static_cast<double>(min_antes ? b.ms_max : b.ms_min),
                           min_antes ? b.max : b.min);
    }
    if (b.con_hueco)
        abierto = false;
    b = Balde{};
}

std::vector<std::vector<QPointF>> Tramos_En(const Memoria_Tendencia &m, int sonda, qint64 desde,
                                            qint64 hasta, int baldes) {
    std::vector<std::vector<QPointF>> tramos;
    const double ancho = static_cast<double>(std::max<qint64>(1, hasta - desde)) / baldes;
    bool abierto = false;
    Balde b;
    long actual = -1;
    qint64 previo = std::numeric_limits<qint64>::min();
    for (std::size_t i = Primero_Desde(m, desde); i < m.Cuantos(); ++i) {
        const Punto_Tendencia &p = m[i];
        if (p.ms > hasta)
            break;
        const long indice = static_cast<long>(static_cast<double>(p.ms - desde) / ancho);
        if (indice != actual) {
            Vacia_Balde(b, tramos, abierto);
            actual = indice;
        }
        if (previo != std::numeric_limits<qint64>::min() && p.ms - previo > Hueco_ms) {
            Vacia_Balde(b, tramos, abierto);
            abierto = false;
        }
        previo = p.ms;
        const double g = p.estado == Estado_Sondeo::Ok ? Grados(p.palabras[sonda])
                                                       : std::numeric_limits<double>::quiet_NaN();
        if (std::isnan(g)) {
            b.con_hueco = true;
            continue;
        }
        if (!b.con_valor || g < b.min) {
            b.min = g;
            b.ms_min = p.ms;
        }
        if (!b.con_valor || g > b.max) {
            b.max = g;
            b.ms_max = p.ms;
        }
        b.con_valor = true;
    }
    Vacia_Balde(b, tramos, abierto);
    return tramos;
}

} // namespace

std::vector<std::vector<QPointF>> Tramos(const Memoria_Tendencia &memoria, int sonda, qint64 desde,
                                         qint64 hasta, int baldes, std::size_t tope_tramos) {
    for (;;) {
        auto tramos = Tramos_En(memoria, sonda, desde, hasta, std::max(1, baldes));
        if (tramos.size() <= tope_tramos || baldes <= 1)
            return tramos;
        baldes /= 2;
    }
}
