#include "comun/Temporizador.h"

#include "comun/DECLARACION_DE_VARIABLES.h"

#include <QtGlobal>

int Intervalo_Tick_Predeterminado() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KV73_TICK_MS", &ok);
    return ok && ms > 0 ? ms : 1000;
}

Reloj_Qt::Reloj_Qt(QObject *padre) : Reloj_Tick(padre) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(Intervalo_Tick_Predeterminado());
    connect(&timer_, &QTimer::timeout, this, &Reloj_Tick::Tick);
}

void Reloj_Qt::Arranca() {
    if (!timer_.isActive())
        timer_.start();
}

Temporizador_Comunicacion::Temporizador_Comunicacion(QObject *padre)
    : QObject(padre), propio_(std::make_unique<Reloj_Qt>()), reloj_(propio_.get()) {
    connect(reloj_, &Reloj_Tick::Tick, this, &Temporizador_Comunicacion::Timer_Comunicacion_Timer);
}

Temporizador_Comunicacion::Temporizador_Comunicacion(Reloj_Tick &reloj, QObject *padre)
    : QObject(padre), reloj_(&reloj) {
    connect(reloj_, &Reloj_Tick::Tick, this, &Temporizador_Comunicacion::Timer_Comunicacion_Timer);
}

void Temporizador_Comunicacion::Set_Enabled(bool activo) {
    if (!activo) {
        if (esperas_ == 0)
            reloj_->Para();
    } else {
        reloj_->Arranca();
    }
}

void Temporizador_Comunicacion::Timer_Comunicacion_Timer() {
    // A counter left running past any wait is parked so that it never wraps.
    if (Estado.Segundos > 100) {
        reloj_->Para();
        Estado.Segundos = 0;
    }
    ++Estado.Segundos;
    ++cuenta_;
    emit Tick();
}

Ticks_De_Espera::Ticks_De_Espera(Temporizador_Comunicacion &timer)
    : timer_(timer), base_(timer.Cuenta() - Estado.Segundos) {
    ++timer_.esperas_;
    timer_.Set_Enabled(true);
}

Ticks_De_Espera::~Ticks_De_Espera() {
    --timer_.esperas_;
}

uint8_t Ticks_De_Espera::operator()() {
    timer_.Set_Enabled(true);
    const uint32_t propios = timer_.Cuenta() - base_;
    Estado.Segundos = static_cast<uint8_t>(propios > 255 ? 255 : propios);
    return Estado.Segundos;
}
