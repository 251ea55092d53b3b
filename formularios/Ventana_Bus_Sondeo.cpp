#include "formularios/Ventana_Bus_Sondeo.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "protocolo/Enlace_Rele.h"
#include "protocolo/Tramas.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace {

constexpr uint16_t Registros_Actuales = 14;

// What a read of another relay writes into the run's state, put back as the
// page's poll left it once the bus relay's values have been taken.
class Imagenes_Guardadas {
  public:
    Imagenes_Guardadas()
        : valores_(Estado.Valores_Actuales), respuesta_(Estado.Respuesta_Actuales),
          peticion_(Estado.Trama_Peticion), crc_(Estado.CRC_Texto), bajo_(Estado.CRC_Bajo),
          alto_(Estado.CRC_Alto), excepcion_(Estado.Codigo_Excepcion) {}
    ~Imagenes_Guardadas() {
        Estado.Valores_Actuales = valores_;
        Estado.Respuesta_Actuales = respuesta_;
        Estado.Trama_Peticion = peticion_;
        Estado.CRC_Texto = crc_;
        Estado.CRC_Bajo = bajo_;
        Estado.CRC_Alto = alto_;
        Estado.Codigo_Excepcion = excepcion_;
    }
    Imagenes_Guardadas(const Imagenes_Guardadas &) = delete;
    Imagenes_Guardadas &operator=(const Imagenes_Guardadas &) = delete;

  private:
    decltype(Estado.Valores_Actuales) valores_;
    decltype(Estado.Respuesta_Actuales) respuesta_;
    decltype(Estado.Trama_Peticion) peticion_;
    QString crc_, bajo_, alto_;
    uint8_t excepcion_;
};

std::optional<int> Direccion(const QString &texto) {
    bool ok = false;
    const int n = texto.trimmed().toInt(&ok);
    if (!ok || n < Direccion_Minima || n > Direccion_Bus_Maxima)
        return std::nullopt;
    return n;
}

} // namespace

std::optional<QList<uint8_t>> Lee_Lista_Direcciones(const QString &texto, QString &error) {
    QList<uint8_t> lista;
    const auto agrega = [&lista](int d) {
        if (!lista.contains(static_cast<uint8_t>(d)))
            lista.append(static_cast<uint8_t>(d));
    };
    const QStringList partes =
        texto.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
    for (const QString &parte : partes) {
        const QStringList extremos = parte.split(QLatin1Char('-'));
        const auto primera = Direccion(extremos.value(0));
        const auto ultima = extremos.size() == 2 ? Direccion(extremos[1]) : primera;
        if (extremos.size() > 2 || !primera || !ultima || *primera > *ultima) {
            error = QStringLiteral("\"%1\" is not an address or a range of addresses (1 to %2, "
                                   "as in 1,5,17 or 1-10)")
                        .arg(parte)
                        .arg(Direccion_Bus_Maxima);
            return std::nullopt;
        }
        for (int d = *primera; d <= *ultima; ++d)
            agrega(d);
    }
    return lista;
}

QString Texto_Lista_Direcciones(const QList<uint8_t> &direcciones) {
    QStringList partes;
    for (qsizetype i = 0; i < direcciones.size();) {
        qsizetype j = i;
        while (j + 1 < direcciones.size() && direcciones[j + 1] == direcciones[j] + 1)
            ++j;
        if (j - i >= 2) {
            partes << QStringLiteral("%1-%2").arg(direcciones[i]).arg(direcciones[j]);
            i = j + 1;
        } else {
            partes << QString::number(direcciones[i]);
            ++i;
        }
    }
    return partes.join(QLatin1Char(','));
}

int Espera_Bus_ms(int baudios) {
    const double caracteres = double(Largo_Peticion(Funcion_Lee_Entrada)) + 3.5 +
                              double(Largo_Respuesta(Funcion_Lee_Entrada, Registros_Actuales));
    const double linea_ms = caracteres * 10 * 1000 / std::max(baudios, 1);
    return std::max(50, 2 * static_cast<int>(std::ceil(linea_ms)) + 20);
}

void Sondeo_Bus::Pon_Lista(const QList<uint8_t> &direcciones, const QString &dispositivo) {
    std::vector<Rele_Bus> nuevos;
    for (const uint8_t d : direcciones) {
        const auto viejo = std::find_if(reles_.begin(), reles_.end(),
                                        [d](const Rele_Bus &r) { return r.direccion == d; });
        if (viejo != reles_.end()) {
            nuevos.push_back(*viejo);
            continue;
        }
        Rele_Bus r;
        r.direccion = d;
        r.vigia = std::make_shared<Vigia_Rele>(dispositivo, d, QStringLiteral("kv73"));
        nuevos.push_back(std::move(r));
    }
    reles_ = std::move(nuevos);
    turno_ = 0;
    desde_primero_.invalidate();
    vuelta_ms_.reset();
    vueltas_ = 0;
}

QList<uint8_t> Sondeo_Bus::Direcciones() const {
    QList<uint8_t> lista;
    for (const Rele_Bus &r : reles_)
        lista.append(r.direccion);
    return lista;
}

int Sondeo_Bus::Siguiente() const {
    for (std::size_t n = 0; n < reles_.size(); ++n) {
        const std::size_t k = (turno_ + n) % reles_.size();
        if (reles_[k].direccion != Estado.Direccion_Rele)
            return static_cast<int>(k);
    }
    return -1;
}

int Sondeo_Bus::Sondea_Siguiente(const QDateTime &hora, Fila_Registro &fila) {
    const int k = Siguiente();
    if (k < 0)
        return -1;
    Rele_Bus &rele = reles_[static_cast<std::size_t>(k)];
    const Imagenes_Guardadas guardadas;
    const Resultado r =
        enlace_.Lee_Valores_Actuales_Breve(rele.direccion, Espera_Bus_ms(Estado.Velocidad));
    if (r == Resultado::Omitida || r == Resultado::Cancelada)
        return -1;
    const Estado_Sondeo estado = *Estado_Del_Sondeo(r);
    fila = Fila_Del_Sondeo(estado, hora);
    fila.direccion = rele.direccion;
    rele.estado = estado;
    if (estado == Estado_Sondeo::Ok) {
        rele.lectura = Lee_Lectura_Actual();
        rele.luces = fila.luces;
        rele.ultima_buena = hora;
    }
    turno_ = static_cast<std::size_t>(k) + 1;
    Mide_Vuelta(k);
    return k;
}

int Sondeo_Bus::Toma_Pagina(Estado_Sondeo estado, const QDateTime &hora) {
    for (std::size_t k = 0; k < reles_.size(); ++k) {
        Rele_Bus &rele = reles_[k];
        if (rele.direccion != Estado.Direccion_Rele)
            continue;
        rele.estado = estado;
        if (estado == Estado_Sondeo::Ok) {
            rele.lectura = Lee_Lectura_Actual();
            rele.luces = Fila_Del_Sondeo(estado, hora).luces;
            rele.ultima_buena = hora;
        }
        return static_cast<int>(k);
    }
    return -1;
}

// The first relay that is polled at all starts and ends each round.
void Sondeo_Bus::Mide_Vuelta(int indice) {
    const int primero = [this] {
        for (std::size_t k = 0; k < reles_.size(); ++k)
            if (reles_[k].direccion != Estado.Direccion_Rele)
                return static_cast<int>(k);
        return -1;
    }();
    if (indice != primero)
        return;
    if (desde_primero_.isValid()) {
        vuelta_ms_ = desde_primero_.elapsed();
        ++vueltas_;
    }
    desde_primero_.restart();
}
