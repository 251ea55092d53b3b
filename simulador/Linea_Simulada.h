#pragma once
// The serial line as the simulator sees it: the pieces of a reply with their
// timing, the time bytes take on a real line, and the cutting of the bytes that
// come in into request frames.

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <vector>

// A piece of a reply and how long to wait before sending it: the delay asked
// for, plus the time the line itself takes (--wire-time).
struct Trozo {
    int Retardo_ms = 0;
    QByteArray Bytes;
    int64_t Linea_ns = 0;
};

// The time `bytes` characters take on a serial line at `baudios`, ten bits a
// character (start, eight data, stop), in nanoseconds.
int64_t Tiempo_Linea_ns(double bytes, int64_t baudios);

// The line from the master to the relay, for --wire-time. A pseudo-terminal
// hands bytes over the moment they are written; a real line carries them one
// character time each, back to back, and a byte written while the line is busy
// waits its turn. So a master that writes its request a byte at a time is not
// slower on the line than one that writes it whole, and one that pauses
// between bytes is.
class Linea_Serie {
  public:
    explicit Linea_Serie(int64_t baudios) : baudios_(baudios) {}
    // `n` bytes were written at `ahora_ns`.
    void Llegan(qsizetype n, int64_t ahora_ns);
    // When the last byte written so far has gone through.
    int64_t Libre_ns() const { return libre_ns_; }

  private:
    int64_t baudios_;
    int64_t libre_ns_ = 0;
};

// Holds a reply as a real line would, counted from the end of the request on
// the line: the first piece waits for the 3.5-character silence that ends a
// frame and for its own bytes, each later piece for its own bytes.
void Anade_Tiempo_De_Linea(std::vector<Trozo> &trozos, int64_t baudios);

// Cuts a byte stream from the line into request frames. The expected length
// comes from the function code; a complete candidate with a bad CRC loses its
// first byte and the search starts again, so stray bytes (the lone 0x00 the
// program writes before closing its port, line noise) cost at most one frame.
class Entramador {
  public:
    void Agrega(const QByteArray &bytes);
    std::optional<QByteArray> Siguiente();
    // Throws away a partial frame, for when the line has gone quiet mid-frame.
    void Descarta() { Pendiente.clear(); }
    qsizetype Pendientes() const { return Pendiente.size(); }

  private:
    QByteArray Pendiente;
};
