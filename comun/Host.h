#pragma once
// What the host form owns for the whole run and every module reaches through it:
// the serial port MSComm1, the one-second tick Timer_Comunicacion, the operator
// and the windows the core writes texts into. The desktop program, kv73ctl and
// the tests each plug in their own port, operator and windows.

#include <QObject>
#include <QTimer>

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
    void Set_Enabled(bool activo);
    bool Enabled() const { return timer_.isActive(); }
    void Set_Interval(int ms) { timer_.setInterval(ms); }

  signals:
    void Tick();

  private:
    void Timer_Comunicacion_Timer();
    QTimer timer_;
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
