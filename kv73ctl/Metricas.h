#pragma once
// The agent's values for Prometheus: an HTTP endpoint whose GET /metrics gives
// the last poll of every relay, the link to each, the poll counts and the poll
// latency in the text exposition format (0.0.4); GET /healthz says whether the
// agent is polling.

#include "datos/Manejo_de_ActualValues.h"
#include "registro/Fila_Registro.h"

#include <QDateTime>
#include <QHostAddress>
#include <QString>
#include <array>
#include <map>
#include <memory>
#include <optional>

class QHttpServer;

// "HOST:PORT" ("127.0.0.1:9273", "[::1]:9273", "0.0.0.0:9273", "localhost:9273"):
// an IP address, not a name to look up; ":PORT" or a port alone means
// 127.0.0.1. False, with the reason, for anything else.
bool Analiza_Host_Puerto(const QString &texto, QHostAddress *host, quint16 *puerto, QString *error);

// The upper bounds of the latency histogram's buckets, in seconds: a serial poll
// takes tens of milliseconds, a relay that answers late up to the five-tick
// timeout.
inline constexpr std::array<double, 9> Cubetas_Latencia{0.01, 0.025, 0.05, 0.1, 0.25,
                                                        0.5,  1,     2.5,  5};

class Metricas_Http {
  public:
    Metricas_Http();
    ~Metricas_Http();
    Metricas_Http(const Metricas_Http &) = delete;
    Metricas_Http &operator=(const Metricas_Http &) = delete;

    // Listens on "HOST:PORT" (as Analiza_Host_Puerto reads it): false with the
    // reason when it is malformed or the port cannot be had (the system's
    // words: "The bound address is already in use"). Listening again first
    // closes the previous port.
    bool Escucha(const QString &host_puerto, QString *error);
    // The port listened on, 0 before Escucha succeeds.
    quint16 Puerto() const;
    // Stops listening (the agent's end).
    void Cierra();

    // One poll of the relay at `direccion` has ended: `lectura` is its reading
    // for a good reply (null otherwise). A failed poll takes that relay's
    // temperatures, maxima and lamps off the page until the next good one.
    // `latencia_s` goes into the histogram for an answered poll (good or bad
    // reply); a poll that got no reply waited out the timeout and says nothing
    // of the line's speed.
    void Tras_Sondeo(int direccion, Estado_Sondeo estado, const Lectura_Actual *lectura,
                     double latencia_s, const QDateTime &hora);
    // The link to the relay at `direccion` came up or went down:
    // kv73_link_up{address} is 1 or 0 from then on (absent until first told).
    void Enlace(int direccion, bool arriba);
    // GET /healthz answers 200 while true, 503 otherwise (the start).
    void Sondeando(bool si);

    // The page GET /metrics serves.
    QByteArray Texto() const;

  private:
    struct Rele {
        bool con_lectura = false;
        Lectura_Actual lectura;
        std::optional<bool> enlace;
        std::array<qint64, 3> sondeos{}; // by Estado_Sondeo
        std::optional<QDateTime> ultimo_bueno;
    };
    std::map<int, Rele> reles;
    std::array<qint64, Cubetas_Latencia.size()> cubetas{}; // each counts its own bucket only
    qint64 respondidos = 0;
    double suma_latencia = 0;
    bool sondeando = false;
    std::unique_ptr<QHttpServer> servidor;
    quint16 puerto = 0;
};
