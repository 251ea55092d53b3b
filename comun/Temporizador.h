#pragma once
// The one-second tick that paces every wait of the link, and the count of ticks
// each wait keeps for itself.

#include <QObject>
#include <QTimer>

#include <cstdint>

#include <memory>

// Where the ticks come from. The program's is a timer on the wall clock; a test
// gives one it moves itself, so that five ticks cost it no time.
class Reloj_Tick : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    // Ticks every `ms` from now on (a running clock keeps its phase), or no more.
    virtual void Arranca() = 0;
    virtual void Para() = 0;
    virtual bool Activo() const = 0;
    virtual void Set_Intervalo(int ms) = 0;
    virtual int Intervalo() const = 0;

  signals:
    void Tick();
};

// The wall clock's: a precise QTimer.
class Reloj_Qt : public Reloj_Tick {
    Q_OBJECT
  public:
    explicit Reloj_Qt(QObject *padre = nullptr);
    void Arranca() override;
    void Para() override { timer_.stop(); }
    bool Activo() const override { return timer_.isActive(); }
    void Set_Intervalo(int ms) override { timer_.setInterval(ms); }
    int Intervalo() const override { return timer_.interval(); }

  private:
    QTimer timer_;
};

// The tick that paces every wait: each tick adds one to Segundos. Its interval is
// a setting (1000 ms; KV73_TICK_MS overrides it), and its clock a seam: the
// wall clock's unless another is given.
class Temporizador_Comunicacion : public QObject {
    Q_OBJECT
  public:
    explicit Temporizador_Comunicacion(QObject *padre = nullptr);
    // Ticks from `reloj`, which must outlive it.
    explicit Temporizador_Comunicacion(Reloj_Tick &reloj, QObject *padre = nullptr);

    // Enabling a running timer leaves its phase alone, as the waits expect.
    // Switching it off is held back while any wait still counts on it: a poll
    // that ends inside another exchange's wait would otherwise stop the tick
    // every half second and restart its phase, and the outer wait would never
    // see its next tick.
    void Set_Enabled(bool activo);
    bool Enabled() const { return reloj_->Activo(); }
    void Set_Interval(int ms) { reloj_->Set_Intervalo(ms); }
    int Interval() const { return reloj_->Intervalo(); }

    // Ticks since the timer was made; never set back, so that each wait can
    // count its own ticks whatever runs inside it.
    uint32_t Cuenta() const { return cuenta_; }

  signals:
    void Tick();

  private:
    friend class Ticks_De_Espera;
    void Timer_Comunicacion_Timer();
    std::unique_ptr<Reloj_Tick> propio_;
    Reloj_Tick *reloj_;
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

// The tick interval in force for a new timer: KV73_TICK_MS when set, else 1000.
int Intervalo_Tick_Predeterminado();
