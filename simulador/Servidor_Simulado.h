#pragma once
// kv73-sim at work: the relays of the line, reached through the pseudo-terminal
// (behind a simulated modem when asked) and through a TCP port, their replies
// held in one queue until each is due.

#include "simulador/Bus_Simulado.h"
#include "simulador/Modem_Simulado.h"
#include "simulador/Opciones_Simulador.h"
#include "simulador/Pasarela_Simulada.h"
#include "simulador/Terminal_Simulada.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <optional>

// Where requests come from and replies go: the terminal, or a TCP client.
// Each cuts its own bytes into frames and has its own line.
struct Fuente {
    explicit Fuente(speed_t baudios) : linea(baudios) {
        silencio.setSingleShot(true);
        QObject::connect(&silencio, &QTimer::timeout, [this] { entramador.Descarta(); });
    }
    Entramador entramador;
    Linea_Serie linea;
    // Bytes of one request arrive together; a partial frame followed by a
    // silence is a frame that will never be completed.
    QTimer silencio;
    std::function<void(const QByteArray &)> escribe;
};

class Servidor_Simulado {
  public:
    explicit Servidor_Simulado(Opciones opciones);
    ~Servidor_Simulado();
    Servidor_Simulado(const Servidor_Simulado &) = delete;
    Servidor_Simulado &operator=(const Servidor_Simulado &) = delete;

    // The terminal with its link, then the TCP port, then where they are, on
    // stdout. False, once said on stderr, when the port cannot be listened on.
    bool Abre();
    // The relays start answering, once the event loop runs.
    void Arranca();
    // After the event loop: the link goes and the terminal closes.
    void Cierra();

  private:
    void Anuncia();
    void Arranca_Envios();
    void Atiende(Fuente &fuente, const QByteArray &bytes);
    void Arma_Envios();
    void Arranca_Modem();
    void Arma_Modem();
    void Vigila_Cierres();
    void Atiende_Cierres();
    void Lee_Terminal();
    void Acepta_Clientes();

    // A reply, or a piece of one, and when it is due.
    struct Envio {
        int64_t Vence_ns;
        QByteArray Bytes;
        Fuente *Destino;
    };

    const Opciones opciones_;
    const bool con_terminal_;
    const QByteArray enlace_;
    Terminal terminal_;
    QTcpServer servidor_;
    Bus_Simulado bus_;
    QTimer deriva_;
    std::deque<Envio> cola_;
    QElapsedTimer reloj_;
    std::optional<Despertador> envios_;
    Fuente del_terminal_;
    Fuente de_red_;
    QPointer<QTcpSocket> cliente_;
    // --modbus-tcp: between the TCP client and the line.
    Pasarela_Simulada pasarela_;
    std::optional<Modem_Simulado> modem_;
    QTimer turno_modem_;
    int fd_cierres_ = -1;
    std::optional<QSocketNotifier> cierres_;
    std::optional<QSocketNotifier> lectura_;
};
