#pragma once
// What one relay's polls tell the journal: a lamp that changed since the last
// good poll (a failed poll is not a change), and the link to the relay coming
// up and going down, each once.

#include "diario/Evento.h"
#include "registro/Fila_Registro.h"

#include <QList>
#include <array>
#include <optional>

class Vigia_Rele {
  public:
    Vigia_Rele(const QString &dispositivo, int direccion, const QString &fuente);

    // After a poll that ended as `estado` at `hora` with the lamps `luces` (used
    // only when good): the lamps that changed against the last good poll (none
    // on the first), "link up" after a failure or at the first good poll, "link
    // down" ("no reply", "bad replies") on the first failure after a good one.
    QList<Evento> Tras_Sondeo(Estado_Sondeo estado, const std::array<Luz, Cantidad_Lamparas> &luces,
                              const QDateTime &hora);

    // The link went down for a reason no poll shows ("OFF", "port lost"): a
    // "link down" event if it was up.
    QList<Evento> Enlace_Caido(const QString &por_que, const QDateTime &hora);

    bool Enlace_Arriba() const;

  private:
    // An event of this relay, from this program.
    Evento Nuevo(const QDateTime &hora, const QString &tipo, const QString &que,
                 const QString &valor) const;

    QString dispositivo_;
    int direccion_;
    QString fuente_;
    std::optional<std::array<Luz, Cantidad_Lamparas>> ultimas_;
    std::optional<bool> arriba_;
};
