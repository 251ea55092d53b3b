#pragma once
// What kv73-sim asks of the system: the pseudo-terminal and the link to it, the
// monotonic clock and a wake-up to the microsecond. A call the system refuses
// ends the simulator with status 1.

#include <QByteArray>
#include <QSocketNotifier>
#include <cstdint>
#include <optional>
#include <termios.h>
#include <unistd.h>

// Says what failed, with errno's text, and ends the process with status 1.
[[noreturn]] void Falla(const char *que);

struct Terminal {
    int Maestro = -1;
    int Esclavo = -1; // held open so the master never sees a hang-up between clients
    QByteArray Nombre;
};

// A raw pseudo-terminal at `baudios`, its master not blocking.
Terminal Abre_Terminal(speed_t baudios);

// A link left by a simulator that was killed is replaced; anything else at
// that path is not ours to delete.
void Crea_Enlace(const QByteArray &enlace, const QByteArray &destino);
// The link goes only while it still points at our terminal.
void Borra_Enlace(const QByteArray &enlace, const QByteArray &destino);

// Nobody reading the other end fills the terminal; what does not fit is lost,
// as on a line with no one listening.
void Escribe(int maestro, const QByteArray &b);

// CLOCK_MONOTONIC in nanoseconds.
int64_t Ahora_ns();

// Wakes the event loop at a moment of CLOCK_MONOTONIC to the microsecond: a
// reply held for the time of the line must not be late by the millisecond
// rounding of a QTimer.
class Despertador {
  public:
    Despertador();
    ~Despertador();
    Despertador(const Despertador &) = delete;
    Despertador &operator=(const Despertador &) = delete;

    template <typename F> void Al_Sonar(F funcion) {
        QObject::connect(&*aviso_, &QSocketNotifier::activated, [this, funcion] {
            uint64_t veces = 0;
            while (read(fd_, &veces, sizeof veces) > 0) {
            }
            funcion();
        });
    }
    // At `ns`; a moment already past rings at once.
    void Arma(int64_t ns);
    void Desarma();

  private:
    int fd_;
    std::optional<QSocketNotifier> aviso_;
};
