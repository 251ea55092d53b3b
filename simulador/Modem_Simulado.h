#pragma once
// A Hayes-style telephone modem in front of the simulated relay, as the program
// sees it from its serial port: AT commands and their replies while idle, a
// dial that connects (or rings busy, or never answers), then a transparent
// line to the relay until hang-up.
//
// Like the relay, the modem touches no port and no clock. The owner of the line
// hands it the bytes the program wrote together with the time they arrived, lets
// time pass with Avanza, and puts whatever comes back on the line at once; the
// modem keeps its own delays (dialling, the escape guard time, a slow relay).

#include "simulador/Rele_Simulado.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <deque>
#include <optional>

struct Opciones_Modem {
    int Retardo_Marcado_ms = 300; // from the dial command to CONNECT or BUSY
    int Guarda_Escape_ms = 200;   // silence needed before and after "+++"
    QByteArray Numero_Ocupado{};  // dialling it answers BUSY
    QByteArray Numero_Mudo{};     // dialling it never answers
    QByteArray Texto_Conexion = "CONNECT 9600";
};

enum class Estado_Modem {
    Comandos,          // on hook, reading AT commands
    Marcando,          // dial under way, result not given yet
    Datos,             // connected: bytes pass to the relay and back
    Comandos_En_Linea, // connected, but back in command mode after "+++"
};

class Modem_Simulado {
  public:
    Modem_Simulado(Rele_Simulado &rele, Opciones_Modem opciones = {});

    // Bytes the program wrote, arrived at `ahora_ms` (any monotonic clock, never
    // going back). Returns what goes on the line right now: echo, results, and
    // relay replies that are due.
    QByteArray Recibe(const QByteArray &bytes, qint64 ahora_ms);
    // Lets time pass up to `ahora_ms` and returns what became due meanwhile.
    QByteArray Avanza(qint64 ahora_ms);
    // When Avanza has something to do next, if anything is pending.
    std::optional<qint64> Proximo_Evento_ms() const;
    // The program dropped DTR (closed its port): the call ends, as with &D2.
    void Cae_DTR();

    Estado_Modem Estado() const { return Estado_; }
    bool Eco() const { return Ajustes_.Eco; }
    bool Verbal() const { return Ajustes_.Verbal; }

  private:
    // What &W keeps and ATZ brings back.
    struct Ajustes {
        bool Eco = true;
        bool Verbal = true;
        std::array<uint8_t, 256> S{};
    };
    static Ajustes De_Fabrica();

    enum class Resultado { OK, Conexion, Sin_Portadora, Error, Ocupado };
    QByteArray Texto(Resultado r) const;
    QByteArray Informacion(const QByteArray &texto) const;

    QByteArray Recibe_Comandos(const QByteArray &bytes, qint64 ahora_ms);
    QByteArray Recibe_Datos(const QByteArray &bytes, qint64 ahora_ms);
    QByteArray Ejecuta_Linea(const QByteArray &linea, qint64 ahora_ms);
    // One command of a line from cuerpo[i], leaving i past it: nothing when the
    // line goes on, else the result that ends the line. What a command shows
    // (Sn?) goes into `salida`.
    std::optional<QByteArray> Ejecuta_Orden(const QByteArray &cuerpo, qsizetype &i,
                                            QByteArray &salida, qint64 ahora_ms);
    std::optional<QByteArray> Ejecuta_Registro(const QByteArray &cuerpo, qsizetype &i,
                                               QByteArray &salida);
    std::optional<QByteArray> Ejecuta_Ampersand(const QByteArray &cuerpo, qsizetype &i);
    std::optional<QByteArray> Ejecuta_Letra(char orden, int n, qint64 ahora_ms);
    QByteArray Marca(const QByteArray &cadena, qint64 ahora_ms);
    QByteArray Entrega_Rele(qint64 ahora_ms);
    void Cuelga();

    Rele_Simulado &Rele;
    Opciones_Modem Opciones;
    Estado_Modem Estado_ = Estado_Modem::Comandos;
    Ajustes Ajustes_;
    std::array<Ajustes, 2> Perfiles;

    QByteArray Linea;           // command line gathered so far
    qint64 Fin_Marcado_ms = -1; // -1: the number called never answers
    bool Marcado_Ocupado = false;

    // Data mode: escape detection and the relay behind the line.
    qint64 Ultimo_Dato_ms = 0;
    int Signos_Escape = 0;
    Entramador Tramas;
    struct Pendiente {
        qint64 Vence_ms;
        QByteArray Bytes;
    };
    std::deque<Pendiente> Respuestas_Rele;
};

// Numbers as the modem compares them: the dial digits without blanks or the
// dashes and brackets people write into telephone numbers.
QByteArray Numero_Normalizado(const QByteArray &numero);
