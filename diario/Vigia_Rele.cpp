#include "diario/Vigia_Rele.h"

namespace {

QString Json_Texto(const char *texto) {
    return QLatin1Char('"') + QLatin1String(texto) + QLatin1Char('"');
}

} // namespace

Vigia_Rele::Vigia_Rele(const QString &dispositivo, int direccion, const QString &fuente)
    : dispositivo_(dispositivo), direccion_(direccion), fuente_(fuente) {}

QList<Evento> Vigia_Rele::Tras_Sondeo(Estado_Sondeo estado,
                                      const std::array<Luz, Cantidad_Lamparas> &luces,
                                      const QDateTime &hora) {
    const auto evento = [&](const QString &tipo, const QString &que, const QString &valor) {
        return Nuevo(hora, tipo, que, valor);
    };
    QList<Evento> eventos;
    if (estado != Estado_Sondeo::Ok) {
        // The first poll that fails after a good one; a relay never heard
        // from has no link to lose.
        if (arriba_.value_or(false))
            eventos << evento(QStringLiteral("link"), QStringLiteral("down"),
                              estado == Estado_Sondeo::Mala ? QStringLiteral("bad replies")
                                                            : QStringLiteral("no reply"));
        arriba_ = false;
        return eventos;
    }
    if (!arriba_.value_or(false))
        eventos << evento(QStringLiteral("link"), QStringLiteral("up"), QString());
    arriba_ = true;
    // Against the last good poll, however many failed between.
    for (std::size_t i = 0; ultimas_ && i < Cantidad_Lamparas; ++i) {
        if ((*ultimas_)[i] == luces[i])
            continue;
        Evento lampara = evento(QStringLiteral("lamp"), QLatin1String(Mapa_Indicadores[i].nombre),
                                QLatin1String(Nombre_Luz(luces[i])));
        lampara.antes = Json_Texto(Nombre_Luz((*ultimas_)[i]));
        lampara.despues = Json_Texto(Nombre_Luz(luces[i]));
        eventos << lampara;
    }
    ultimas_ = luces;
    return eventos;
}

QList<Evento> Vigia_Rele::Enlace_Caido(const QString &por_que, const QDateTime &hora) {
    if (!arriba_.value_or(false))
        return {};
    arriba_ = false;
    return {Nuevo(hora, QStringLiteral("link"), QStringLiteral("down"), por_que)};
}

Evento Vigia_Rele::Nuevo(const QDateTime &hora, const QString &tipo, const QString &que,
                         const QString &valor) const {
    Evento nuevo;
    nuevo.hora = hora;
    nuevo.dispositivo = dispositivo_;
    nuevo.direccion = direccion_;
    nuevo.tipo = tipo;
    nuevo.que = que;
    nuevo.valor = valor;
    nuevo.fuente = fuente_;
    return nuevo;
}

bool Vigia_Rele::Enlace_Arriba() const {
    return arriba_.value_or(false);
}
