#pragma once
// What the host form owns for the whole run and every module reaches through it:
// the serial port MSComm1, the one-second tick Timer_Comunicacion, the operator
// and the windows the core writes texts into. The desktop program, kv73ctl and
// the tests each plug in their own port, operator and windows.

#include <QObject>
#include <QTimer>

#include <cstdint>

class Operador;
class Ventanas;
class Puerto_Serie;

// The tick that paces every wait: each tick adds one to Segundos. Its interval is
// a setting (1000 ms; KV73_TICK_MS overrides it) so that tests can run the
// five-tick timeout in a fraction of a second.
class Temporizador_Comunicacion : public QObject {
    Q_OBJECT
  public:
    explicit Temporizador_Comunicacion(QObject *padre = nullptr);

    // Enabling a running timer leaves its phase alone, as the waits expect.
    // Switching it off is held back while any wait still counts on it: a poll
    // that ends inside another exchange's wait would otherwise stop the tick
    // every half second and restart its phase, and the outer wait would never
    // see its next tick.
    void Set_Enabled(bool activo);
    bool Enabled() const { return timer_.isActive(); }
    void Set_Interval(int ms) { timer_.setInterval(ms); }
    int Interval() const { return timer_.interval(); }

    // Ticks since the timer was made; never set back, so that each wait can
    // count its own ticks whatever runs inside it.
    uint32_t Cuenta() const { return cuenta_; }

  signals:
    void Tick();

  private:
    friend class Ticks_De_Espera;
    void Timer_Comunicacion_Timer();
    QTimer timer_;
    uint32_t cuenta_ = 0;
    int esperas_ = 0; // waits counting on the tick right now
};

// The ticks of one wait, counted from where Segundos stood when it began. A
// handler run inside the wait may start an exchange of its own, which sets
// Segundos back to 0 and counts from there; when it ends, this wait's count is
// still whole. Each look puts this wait's count back into Segundos (so the
// conditions that read Segundos, and the tick's parking past 100, see it) and
// wakes the tick again, should something have parked it.
class Ticks_De_Espera {
  public:
    explicit Ticks_De_Espera(Temporizador_Comunicacion &timer);
    ~Ticks_De_Espera();
    Ticks_De_Espera(const Ticks_De_Espera &) = delete;
    Ticks_De_Espera &operator=(const Ticks_De_Espera &) = delete;

    uint8_t operator()();

  private:
    Temporizador_Comunicacion &timer_;
    uint32_t base_;
};

struct Recursos_Host {
    Puerto_Serie *MSComm1 = nullptr;
    Temporizador_Comunicacion *Timer_Comunicacion = nullptr;
    Operador *Dialogos = nullptr;
    Ventanas *Textos = nullptr;
};

Recursos_Host &Host();

// The tick interval in force for a new timer: KV73_TICK_MS when set, else 1000.
int Intervalo_Tick_Predeterminado();
