#pragma once
// A clock the test moves: virtual milliseconds that pass only when the program
// has nothing else to do. Whenever the event loop is about to wait, the clock
// jumps to the next thing due on it (a tick, a reply or an action the test set
// for later) and does it, so five ticks of a silent relay cost a test no wall
// time and every wait still sees its events in the order of their times.

#include "comun/Temporizador.h"

#include <QPointer>
#include <functional>
#include <map>

class Reloj_Virtual : public Reloj_Tick {
    Q_OBJECT
  public:
    explicit Reloj_Virtual(int intervalo_ms = 1000);
    ~Reloj_Virtual() override;

    void Arranca() override;
    void Para() override { activo_ = false; }
    bool Activo() const override { return activo_; }
    void Set_Intervalo(int ms) override { intervalo_ = ms; }
    int Intervalo() const override { return intervalo_; }

    // `accion` `ms` virtual milliseconds from now, unless `contexto` is gone by then.
    void Despues(int ms, std::function<void()> accion, QObject *contexto = nullptr);
    // Virtual milliseconds since the clock was made.
    qint64 Ahora() const { return ahora_; }

  private:
    void Al_Bloquear();
    void Avanza();

    qint64 ahora_ = 0;
    int intervalo_;
    bool activo_ = false;
    qint64 proximo_tick_ = 0;
    bool avance_pedido_ = false;
    struct Accion {
        bool vigilada; // done only while `contexto` lives
        QPointer<QObject> contexto;
        std::function<void()> hacer;
    };
    // Equal times keep the order they were set in.
    std::multimap<qint64, Accion> pendientes_;
    QMetaObject::Connection bloqueo_;
};
