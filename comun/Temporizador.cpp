#include "comun/Host.h"

#include "comun/DECLARACION_DE_VARIABLES.h"

#include <QtGlobal>

Recursos_Host &Host() {
    static Recursos_Host recursos;
    return recursos;
}

int Intervalo_Tick_Predeterminado() {
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KV73_TICK_MS", &ok);
    return ok && ms > 0 ? ms : 1000;
}

Temporizador_Comunicacion::Temporizador_Comunicacion(QObject *padre) : QObject(padre) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(Intervalo_Tick_Predeterminado());
    connect(&timer_, &QTimer::timeout, this, &Temporizador_Comunicacion::Timer_Comunicacion_Timer);
}

void Temporizador_Comunicacion::Set_Enabled(bool activo) {
    if (!activo) {
        if (esperas_ == 0)
            timer_.stop();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
}

void Temporizador_Comunicacion::Timer_Comunicacion_Timer() {
    // A counter left running past any wait is parked so that it never wraps.
    if (Estado.Segundos > 100) {
        timer_.stop();
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
