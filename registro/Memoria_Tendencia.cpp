#include "registro/Memoria_Tendencia.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_Datos.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

Umbrales_Tendencia Umbrales_Del_Rele() {
    return {Lee_Word_Setpoint(4), Lee_Word_Setpoint(6), Lee_Word_Setpoint(8),
            Lee_Word_Setpoint(10)};
}

int Valor_Umbral(const Umbrales_Tendencia &u, int i) {
    const int valores[4] = {u.L1, u.L2, u.Low_Fan, u.High_Fan};
    return valores[i];
}

Luz Lampara(const Punto_Tendencia &punto, int i) {
    return static_cast<Luz>((punto.lamparas >> (2 * i)) & 3);
}

void Pon_Lampara(Punto_Tendencia &punto, int i, Luz luz) {
    const auto mascara = static_cast<uint8_t>(3 << (2 * i));
    punto.lamparas = static_cast<uint8_t>((punto.lamparas & ~mascara) |
                                          (static_cast<int>(luz) << (2 * i) & mascara));
}

namespace {

const Indicador &Indicador_De(const char *nombre) {
    for (const Indicador &ind : Mapa_Indicadores)
        if (std::strcmp(ind.nombre, nombre) == 0)
            return ind;
    return Mapa_Indicadores[0];
}

} // namespace

double Grados(int16_t palabra) {
    // The page's reading of a word (Texto_Temperatura) without making its
    // text: the trend reads every poll it holds at each redraw.
    const auto sin_signo = static_cast<uint16_t>(palabra);
    const int grados = sin_signo >= 0xFF00 ? sin_signo - 65536 : sin_signo;
    if (grados == Temperatura_Fcc || grados == Temperatura_Fco)
        return std::numeric_limits<double>::quiet_NaN();
    return grados;
}

Memoria_Tendencia::Memoria_Tendencia(std::size_t tope) : tope_(tope), hueco_ms_(Hueco_ms) {}

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
    // Only the thresholds held at the oldest point and after are kept.
    const qint64 primero = (*this)[0].ms;
    std::size_t viejos = 0;
    while (viejos + 1 < umbrales_.size() && umbrales_[viejos + 1].ms <= primero)
        ++viejos;
    if (viejos > 0)
        umbrales_.erase(umbrales_.begin(), umbrales_.begin() + static_cast<long>(viejos));
}

void Memoria_Tendencia::Agrega_Umbrales(qint64 ms, const Umbrales_Tendencia &u) {
    if (!umbrales_.empty() && umbrales_.back().umbrales == u)
        return;
    umbrales_.push_back({umbrales_.empty() ? ms : std::max(ms, umbrales_.back().ms), u});
}

void Memoria_Tendencia::Agrega_Sondeo(Estado_Sondeo estado, qint64 ms) {
    Punto_Tendencia p;
    p.ms = ms;
    p.estado = estado;
    if (estado == Estado_Sondeo::Ok) {
        for (int k = 0; k < 4; ++k)
            p.palabras[k] = static_cast<int16_t>(Lee_Word_Actual(static_cast<uint8_t>(4 + 2 * k)));
        // Registers 0x020A (lit) and 0x020B (blinking).
        const int encendidos = Lee_Word_Actual(24), parpadeos = Lee_Word_Actual(26);
        for (int i = 0; i < 4; ++i)
            Pon_Lampara(p, i,
                        Luz_Indicador(Indicador_De(Lamparas_Tendencia[i]), encendidos, parpadeos));
        // Set_Setpoints holds what the relay answered last, never the unsent edits.
        Agrega_Umbrales(ms, Umbrales_Del_Rele());
    }
    Agrega(p);
}

void Memoria_Tendencia::Vacia() {
    puntos_.clear();
    umbrales_.clear();
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

std::vector<QPointF> Escalones_Umbral(const Memoria_Tendencia &memoria, int i, qint64 desde,
                                      qint64 hasta) {
    const auto &cambios = memoria.Umbrales();
    std::size_t j = 0;
    while (j + 1 < cambios.size() && cambios[j + 1].ms <= desde)
        ++j;
    std::vector<QPointF> puntos;
    if (j >= cambios.size() || cambios[j].ms > hasta)
        return puntos;
    int valor = Valor_Umbral(cambios[j].umbrales, i);
    puntos.emplace_back(static_cast<double>(std::max(desde, cambios[j].ms)), valor);
    for (++j; j < cambios.size() && cambios[j].ms <= hasta; ++j) {
        const int nuevo = Valor_Umbral(cambios[j].umbrales, i);
        if (nuevo == valor)
            continue;
        const auto x = static_cast<double>(cambios[j].ms);
        puntos.emplace_back(x, valor);
        puntos.emplace_back(x, nuevo);
        valor = nuevo;
    }
    puntos.emplace_back(static_cast<double>(hasta), valor);
    return puntos;
}

std::vector<qint64> Cambios_Lampara(const Memoria_Tendencia &memoria, int i, qint64 desde,
                                    qint64 hasta, int baldes) {
    std::vector<qint64> cambios;
    const double ancho = static_cast<double>(std::max<qint64>(1, hasta - desde)) / baldes;
    bool conocida = false;
    Luz antes = Luz::Apagada;
    long marcado = -1;
    for (std::size_t k = Primero_Desde(memoria, desde); k < memoria.Cuantos(); ++k) {
        const Punto_Tendencia &p = memoria[k];
        if (p.ms > hasta)
            break;
        if (p.estado != Estado_Sondeo::Ok)
            continue;
        const Luz luz = Lampara(p, i);
        if (conocida && luz != antes) {
            const long balde = static_cast<long>(static_cast<double>(p.ms - desde) / ancho);
            if (balde != marcado)
                cambios.push_back(p.ms);
            marcado = balde;
        }
        antes = luz;
        conocida = true;
    }
    return cambios;
}

namespace {

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
        if (previo != std::numeric_limits<qint64>::min() && p.ms - previo > m.Hueco()) {
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
