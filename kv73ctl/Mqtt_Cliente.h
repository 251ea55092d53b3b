#pragma once
// The agent's MQTT client, on libmosquitto: the broker comes from a URL, the
// poll loop publishes, and the library's own thread keeps the connection,
// reconnects with a growing wait and sends again what the broker has not yet
// acknowledged at QoS 1.

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

struct Url_Mqtt {
    bool tls = false;
    QString usuario; // empty: no user name
    QString clave;   // empty: no password
    QString host;
    int puerto = 1883;
};

// mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://... (port 8883 by default);
// nothing, with the reason in `error`, when the URL is not one of those. A
// user without a password in the URL takes KV73_MQTT_PASSWORD's.
std::optional<Url_Mqtt> Analiza_Url_Mqtt(const QString &texto, QString *error);

// A topic prefix that MQTT can publish under: no wildcards, no empty level.
bool Prefijo_Valido(const QString &prefijo);

class Cliente_Mqtt {
  public:
    // `tema_testamento` gets a retained "offline" from the broker when this
    // client goes away without saying goodbye.
    Cliente_Mqtt(const Url_Mqtt &url, const QString &cafile, const QString &tema_testamento);
    ~Cliente_Mqtt();
    Cliente_Mqtt(const Cliente_Mqtt &) = delete;
    Cliente_Mqtt &operator=(const Cliente_Mqtt &) = delete;

    enum class Arranque { Conectado, Sin_Broker, Rechazado };
    // Starts the connection and waits at most `ms` for the broker's answer. A
    // broker that cannot be reached yet is tried again in the background
    // (Sin_Broker); one that refuses the user or the password is Rechazado,
    // with the broker's reason in `motivo`, and is not tried again.
    Arranque Conecta(int ms, QString *motivo);

    // Hands a message to the library. QoS 0 while disconnected is dropped; QoS 1
    // waits for the broker. False when the library would not take it.
    bool Publica(const QString &tema, const QByteArray &datos, int qos, bool retenido);

    // How many times the connection has come up: after each, whatever the
    // broker should hold retained is published again (a broker restarted
    // without persistence has forgotten it).
    int Conexiones() const;

    // Waits at most `ms` for the broker to acknowledge every QoS 1 message,
    // then says goodbye (no last will) and stops the library's thread.
    void Cierra(int ms);

  private:
    struct Datos;
    std::unique_ptr<Datos> d;
};
