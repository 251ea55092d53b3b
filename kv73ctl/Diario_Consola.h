#pragma once
// kv73ctl's event journal: the journal's file (KV73_EVENTS, else the user's),
// a failure said once on stderr while the command goes on with its job, and a
// watch for each polled relay that turns its polls into lamp and link events.

#include "datos/Manejo_de_ActualValues.h"
#include "diario/Diario_Eventos.h"
#include "diario/Vigia_Rele.h"
#include "kv73ctl/Sondeo.h"

#include <QDateTime>
#include <array>
#include <map>

class Diario_Consola {
  public:
    // `dispositivo`: what the port opened (--device, the port's device,
    // "tcp://..."); `fuente` the program that writes ("kv73ctl").
    explicit Diario_Consola(const QString &dispositivo,
                            const QString &fuente = QStringLiteral("kv73ctl"));

    Diario_Eventos &Diario() { return diario_; }

    // Writes `evento` with this journal's device and source where it has
    // none, and now for its time where it has none. False when it failed
    // (already said).
    bool Anota(Evento evento);

    // One poll of the relay at `direccion` ended as `estado` at `hora` with
    // `luces` (looked at only when good): its lamp changes and link up or
    // down. With `puerto_perdido` a failed poll's link went down because the
    // port went away ("port lost"), not for want of a reply.
    void Tras_Sondeo(int direccion, Estado_Sondeo estado,
                     const std::array<Luz, Cantidad_Lamparas> &luces, const QDateTime &hora,
                     bool puerto_perdido = false);

    // The same for a poll of kv73ctl's (Sondea_Rele, watch's own).
    void Anota_Sondeo(const Resultado_Sondeo &r, bool puerto_perdido = false);

    // The port went away and could not be opened again: the link to every
    // relay watched is down ("port lost").
    void Puerto_Perdido(const QDateTime &hora);

  private:
    Vigia_Rele &Vigia(int direccion);

    QString dispositivo_;
    QString fuente_;
    Diario_Eventos diario_;
    std::map<int, Vigia_Rele> vigias_;
};

// Six setpoint registers or four maxima as the journal keeps them: "[90,100,...]".
template <std::size_t N> QString Lista_Json(const std::array<int, N> &valores) {
    QStringList textos;
    for (int valor : valores)
        textos << QString::number(valor);
    return QLatin1Char('[') + textos.join(QLatin1Char(',')) + QLatin1Char(']');
}

// One event of a command that changed the relay (`tipo` "setpoints" or
// "reset-max"), written at once into kv73ctl's journal for the device of `op`.
void Anota_Cambio(const Opciones &op, const QString &tipo, const QString &que, const QString &antes,
                  const QString &despues, const QString &fuente);
