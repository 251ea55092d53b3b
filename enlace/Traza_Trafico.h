#pragma once
// The traffic trace: the bytes the program wrote to the port and read from it,
// grouped into frames and decoded, one line a frame. The port writes a request
// one byte a call and reads its reply in whatever pieces the line gives, so the
// bytes are gathered until a frame is whole: a request at its Modbus length, a
// reply at the length the last request expects, modem text at its CR. What is
// left over goes out as a line of its own when the direction changes, the port
// closes, or the line has been quiet for Silencio_ms.
//
// Lines are kept as bytes and formatted only when someone reads them, in a ring
// of Capacidad lines: the desktop program traces every poll whether or not the
// traffic window is open.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <vector>

enum class Clase_Linea : uint8_t {
    Peticion,       // a whole request
    Respuesta,      // a whole reply, CRC good
    Respuesta_Mala, // a whole reply, CRC bad
    Excepcion,      // an exception reply, CRC good
    Sin_Respuesta,  // the last request got no reply (no bytes)
    Texto,          // modem text
    Fallo_Enlace,   // the lone 0x00 the link failure sends before closing
    Cero,           // a lone 0x00 sent on the way out
    Incompleta,     // bytes that make no whole frame
    Puerto_Abierto, // the bytes hold the settings text
    Puerto_No_Abre, // the bytes hold the reason
    Puerto_Cerrado, // closed by the program
    Puerto_Perdido  // closed by itself: the device went away
};

enum class Sentido : uint8_t { Escrito, Leido, Ninguno };

struct Linea_Traza {
    qint64 ms = 0; // since the trace started
    Sentido sentido = Sentido::Ninguno;
    Clase_Linea clase = Clase_Linea::Incompleta;
    QByteArray bytes;
    qint64 hora = 0; // the wall clock, milliseconds since the epoch
    // The relay a frame or a missing reply belongs to; 0 for what is the whole
    // line's: the port, the modem, the link failure, stray bytes.
    uint8_t direccion = 0;
};

struct Contadores_Traza {
    uint64_t peticiones = 0;
    uint64_t respuestas_buenas = 0;
    uint64_t crc_malos = 0;
    uint64_t excepciones = 0;
    uint64_t sin_respuesta = 0;
    uint64_t fallos_enlace = 0; // link failures the link object reported
};

// "  1234 > 01 04 02 00 00 0E 70 76  read input 0x0200 x14"
QString Texto_Linea(const Linea_Traza &linea);
// The same after the wall-clock time, "14:03:22.125" (with the date before it
// for a file, which may span days).
QString Texto_Linea_Con_Hora(const Linea_Traza &linea, bool con_fecha);
// What went wrong on the line: a bad CRC, an exception, no reply, the link
// failure, bytes that make no frame, a port that did not open or went away.
bool Es_Error(Clase_Linea clase);

class Traza_Trafico : public QObject {
    Q_OBJECT
  public:
    static constexpr std::size_t Capacidad = 5000;
    static constexpr int Silencio_ms = 250;

    explicit Traza_Trafico(QObject *padre = nullptr);

    // What the port did, as it did it.
    void Escrito(const QByteArray &bytes);
    void Leido(const QByteArray &bytes);
    void Abierto(const QString &settings);
    void No_Abre(const QString &motivo);
    void Cerrado(bool perdido);
    // Whatever is gathered goes out now, whole or not.
    void Vacia();
    // The link failure runs now: the lone 0x00 it sends next is its goodbye.
    void Fallo_Enlace();

    Contadores_Traza Contadores() const;
    // Lines and counters start again from nothing.
    void Limpia();

    // Number of the next line to come; lines are numbered from 0 since the start.
    uint64_t Siguiente() const { return total_; }
    // The lines held numbered `desde` and later (older ones have left the ring).
    std::vector<Linea_Traza> Lineas_Desde(uint64_t desde) const;

  signals:
    // Emitted for each line as it is made (kv73ctl --trace prints them).
    void Linea_Nueva(const Linea_Traza &linea);

  private:
    struct Acumulado {
        QByteArray bytes;
        qint64 ms = 0;
    };
    void Agrega(Sentido sentido, const QByteArray &bytes);
    void Cierra_Trama(Sentido sentido, qsizetype largo);
    void Vacia_Sentido(Sentido sentido);
    bool Separa_Basura(Acumulado &a);
    // The request waiting for its reply got none.
    void Sin_Respuesta();
    void Anota(Sentido sentido, Clase_Linea clase, const QByteArray &bytes, qint64 ms);
    uint8_t Direccion_De(Clase_Linea clase, const QByteArray &bytes) const;
    void Cuenta(Clase_Linea clase);
    qsizetype Largo_Trama(Sentido sentido, const QByteArray &b) const;
    void Al_Silencio();
    Acumulado &De(Sentido sentido) { return sentido == Sentido::Escrito ? escrito_ : leido_; }

    QElapsedTimer reloj_;
    QTimer silencio_;
    qint64 ultimo_ms_ = 0;
    Acumulado escrito_;
    Acumulado leido_;
    // What the last request asks for: its function and the length of its reply.
    uint8_t direccion_pedida_ = 0;
    uint8_t funcion_pedida_ = 0;
    qsizetype largo_respuesta_ = 0;
    bool esperando_respuesta_ = false;
    // The link failure said so, and its goodbye byte is yet to come.
    bool fallo_pendiente_ = false;
    Contadores_Traza contadores_;
    std::deque<Linea_Traza> anillo_; // lines numbered inicio_ .. total_-1
    uint64_t inicio_ = 0;
    uint64_t total_ = 0;
};
