#include "tests/soporte/Reloj_Virtual.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <limits>

Reloj_Virtual::Reloj_Virtual(int intervalo_ms) : intervalo_(intervalo_ms) {
    bloqueo_ = connect(QAbstractEventDispatcher::instance(),
                       &QAbstractEventDispatcher::aboutToBlock, this, &Reloj_Virtual::Al_Bloquear);
}

Reloj_Virtual::~Reloj_Virtual() {
    disconnect(bloqueo_);
}

void Reloj_Virtual::Arranca() {
    // A running clock keeps its phase, as the wall clock's timer does.
    if (activo_)
        return;
    activo_ = true;
    proximo_tick_ = ahora_ + intervalo_;
}

void Reloj_Virtual::Despues(int ms, std::function<void()> accion, QObject *contexto) {
    pendientes_.emplace(ahora_ + ms, Accion{contexto != nullptr, contexto, std::move(accion)});
}

void Reloj_Virtual::Al_Bloquear() {
    if (avance_pedido_ || (!activo_ && pendientes_.empty()))
        return;
    // Not here, inside the dispatcher: the step may open event loops of its own.
    avance_pedido_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            avance_pedido_ = false;
            Avanza();
        },
        Qt::QueuedConnection);
}

void Reloj_Virtual::Avanza() {
    const qint64 tick = activo_ ? proximo_tick_ : std::numeric_limits<qint64>::max();
    if (!pendientes_.empty() && pendientes_.begin()->first <= tick) {
        auto primero = pendientes_.extract(pendientes_.begin());
        ahora_ = std::max(ahora_, primero.key());
        const Accion &a = primero.mapped();
        // An action whose object is gone is dropped, as Qt drops a timer's.
        if (!a.vigilada || !a.contexto.isNull())
            a.hacer();
        return;
    }
    if (!activo_)
        return;
    ahora_ = proximo_tick_;
    proximo_tick_ += intervalo_;
    emit Tick();
}
