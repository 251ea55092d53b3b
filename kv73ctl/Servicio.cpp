#include "kv73ctl/Servicio.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "diario/Vigia_Rele.h"
#include "enlace/Puerto_Serie.h"
#include "kv73ctl/Comandos.h"
#include "kv73ctl/Diario_Consola.h"
#include "kv73ctl/Eventos_Consola.h"
#include "kv73ctl/Metricas.h"
#include "kv73ctl/Mqtt_Cliente.h"
#include "kv73ctl/Servicio_Mensajes.h"
#include "protocolo/Enlace_Rele.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <list>
#include <memory>

namespace {

// Between attempts to open a port that will not open: from a second, doubling,
// up to a minute.
constexpr qint64 Primera_Espera_ms = 1000;
constexpr qint64 Espera_Maxima_ms = 60000;
// The broker's first answer, and the last messages' acknowledgements at the end.
constexpr int Espera_Broker_ms = 5000;

struct Rele_Servido {
    int direccion;
    Vigia_Rele vigia;
    std::optional<bool> disponible; // unknown until a poll tells
};

QByteArray Compacto(const QJsonObject &o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

class Agente {
  public:
    Agente(const Opciones &op, Enlace_Rele &e) : op_(op), e_(e) {}
    // The sinks, before the port: the exit status when one cannot start.
    std::optional<int> Arranca_Salidas();
    void Abre_Puerto();
    void Ronda();
    void Termina();

  private:
    bool Puerto_Listo();
    void Sondea(Rele_Servido &r);
    void Publica(const QString &tema, const QByteArray &datos, int qos, bool retenido);
    void Disponibilidad(Rele_Servido &r, Estado_Sondeo estado);
    void Tras_Conexion();
    QString Tema(int direccion, const char *que) const {
        return QStringLiteral("%1/%2/%3").arg(op_.tema).arg(direccion).arg(QLatin1String(que));
    }

    const Opciones &op_;
    Enlace_Rele &e_;
    std::unique_ptr<Cliente_Mqtt> mqtt_;
    std::unique_ptr<Metricas_Http> metricas_;
    std::unique_ptr<Diario_Consola> diario_;
    std::list<Rele_Servido> reles_;
    int conexiones_vistas_ = 0;
    // The port that will not open: since when it is said, and the next attempt.
    QElapsedTimer reloj_;
    bool puerto_caido_ = false;
    qint64 espera_ms_ = 0;
    qint64 proximo_intento_ms_ = 0;
};

std::optional<int> Agente::Arranca_Salidas() {
    QString error;
    std::optional<Url_Mqtt> url;
    if (!op_.mqtt.isEmpty() && !(url = Analiza_Url_Mqtt(op_.mqtt, &error))) {
        std::fprintf(stderr, "kv73ctl: %s\n", qPrintable(error));
        return 1;
    }
    if (!Prefijo_Valido(op_.tema)) {
        std::fprintf(stderr,
                     "kv73ctl: --topic %s: give topic levels joined by '/', "
                     "without '+' or '#' and none empty\n",
                     qPrintable(op_.tema));
        return 1;
    }
    if (!op_.mqtt_cafile.isEmpty() && !(url && url->tls)) {
        std::fprintf(stderr, "kv73ctl: --mqtt-cafile is for an mqtts:// broker\n");
        return 1;
    }
    if (!op_.mqtt_cafile.isEmpty() && !QFileInfo(op_.mqtt_cafile).isReadable()) {
        std::fprintf(stderr, "kv73ctl: --mqtt-cafile %s cannot be read\n",
                     qPrintable(op_.mqtt_cafile));
        return 1;
    }
    if (!op_.metricas.isEmpty()) {
        metricas_ = std::make_unique<Metricas_Http>();
        if (!metricas_->Escucha(op_.metricas, &error)) {
            std::fprintf(stderr, "kv73ctl: cannot serve metrics on %s: %s\n",
                         qPrintable(op_.metricas), qPrintable(error));
            return 1;
        }
    }
    if (url) {
        mqtt_ = std::make_unique<Cliente_Mqtt>(*url, op_.mqtt_cafile,
                                               op_.tema + QStringLiteral("/agent"));
        const QString broker = QStringLiteral("%1:%2").arg(url->host).arg(url->puerto);
        switch (mqtt_->Conecta(Espera_Broker_ms, &error)) {
        case Cliente_Mqtt::Arranque::Conectado:
            break;
        case Cliente_Mqtt::Arranque::Rechazado:
            std::fprintf(stderr, "kv73ctl: the MQTT broker %s refused the connection: %s\n",
                         qPrintable(broker), qPrintable(error));
            return 1;
        case Cliente_Mqtt::Arranque::Sin_Broker:
            std::fprintf(stderr,
                         "kv73ctl: cannot reach the MQTT broker %s: %s; trying again "
                         "while polling\n",
                         qPrintable(broker), qPrintable(error));
            break;
        }
    }
    diario_ = std::make_unique<Diario_Consola>(Dispositivo_Opciones(op_),
                                               QStringLiteral("kv73ctl serve"));
    const QString dispositivo = Dispositivo_Opciones(op_);
    for (const int d : op_.direcciones)
        reles_.push_back({d, Vigia_Rele(dispositivo, d, QStringLiteral("kv73ctl serve")), {}});
    if (metricas_)
        metricas_->Sondeando(true);
    reloj_.start();
    return std::nullopt;
}

void Agente::Abre_Puerto() {
    if (Abre_Enlace(op_, e_) == 0 || Interrumpido())
        return;
    // Abre_Enlace has said why; the agent waits for the device to come back.
    std::fprintf(stderr, "kv73ctl: trying again, at most a minute apart\n");
    puerto_caido_ = true;
    espera_ms_ = Primera_Espera_ms;
    proximo_intento_ms_ = reloj_.elapsed() + espera_ms_;
}

// The port of the link, opened again when a link failure closed it. A port
// that will not open is tried again after a wait that doubles up to a minute,
// and said once for the whole outage, and once when it is back.
bool Agente::Puerto_Listo() {
    if (e_.MSComm1().PortOpen())
        return true;
    if (reloj_.elapsed() < proximo_intento_ms_)
        return false;
    if (Reabre_Enlace(op_, e_)) {
        if (puerto_caido_)
            std::fprintf(stderr, "kv73ctl: %s is open again\n",
                         qPrintable(Dispositivo_Opciones(op_)));
        puerto_caido_ = false;
        espera_ms_ = 0;
        return true;
    }
    if (!puerto_caido_ && op_.telefono.isEmpty())
        std::fprintf(stderr, "kv73ctl: cannot open %s: %s; trying again, at most a minute apart\n",
                     qPrintable(Dispositivo_Opciones(op_)), qPrintable(e_.MSComm1().Error_Texto()));
    puerto_caido_ = true;
    espera_ms_ = std::clamp(espera_ms_ * 2, Primera_Espera_ms, Espera_Maxima_ms);
    proximo_intento_ms_ = reloj_.elapsed() + espera_ms_;
    return false;
}

void Agente::Publica(const QString &tema, const QByteArray &datos, int qos, bool retenido) {
    if (mqtt_)
        mqtt_->Publica(tema, datos, qos, retenido);
}

// What a broker that has just (re)connected must hold retained again.
void Agente::Tras_Conexion() {
    if (!mqtt_ || mqtt_->Conexiones() == conexiones_vistas_)
        return;
    conexiones_vistas_ = mqtt_->Conexiones();
    Publica(op_.tema + QStringLiteral("/agent"), "online", 1, true);
    for (const Rele_Servido &r : reles_) {
        if (op_.ha_discovery)
            for (const Config_Discovery &c : Configs_Discovery(op_.tema, r.direccion))
                Publica(c.tema, Compacto(c.config), 1, true);
        if (r.disponible)
            Publica(Tema(r.direccion, "availability"), *r.disponible ? "online" : "offline", 1,
                    true);
    }
}

// A relay is offline from its first failed poll: the relay core has already
// asked again before giving up, so one failed poll is a relay that does not
// answer, not a lost reply; the poll of a silent relay takes the timeout and
// its retries, about five seconds at the default tick.
void Agente::Disponibilidad(Rele_Servido &r, Estado_Sondeo estado) {
    const bool buena = estado == Estado_Sondeo::Ok;
    if (r.disponible == buena)
        return;
    // The first poll of a relay that answers is not news.
    if (!buena)
        std::fprintf(stderr, "kv73ctl: address %d: %s; it is polled on\n", r.direccion,
                     qPrintable(Texto_Estado(estado)));
    else if (r.disponible)
        std::fprintf(stderr, "kv73ctl: address %d answers again\n", r.direccion);
    r.disponible = buena;
    Publica(Tema(r.direccion, "availability"), buena ? "online" : "offline", 1, true);
    if (metricas_)
        metricas_->Enlace(r.direccion, buena);
}

void Agente::Sondea(Rele_Servido &r) {
    Estado_Sondeo estado = Estado_Sondeo::Sin_Respuesta;
    double latencia_s = 0;
    const bool abierto = Puerto_Listo();
    if (abierto) {
        // A link failure took the flag down with the port; the port is open.
        Estado.Comunicacion_OK = true;
        QElapsedTimer reloj;
        reloj.start();
        const Desenlace d = Transaccion(
            e_, [this, &r] { return e_.Lee_Valores_Actuales(static_cast<uint8_t>(r.direccion)); });
        // A poll cut short by the signal says nothing of the relay.
        if (Interrumpido())
            return;
        latencia_s = static_cast<double>(reloj.nsecsElapsed()) / 1e9;
        estado = Estado_De(d);
    }
    const QDateTime hora = QDateTime::currentDateTime();
    const bool buena = estado == Estado_Sondeo::Ok;
    const Lectura_Actual lectura = buena ? Lee_Lectura_Actual() : Lectura_Actual{};
    Publica(Tema(r.direccion, "state"),
            Compacto(Json_Estado(r.direccion, estado, buena ? &lectura : nullptr, hora)), 0, false);
    if (metricas_)
        metricas_->Tras_Sondeo(r.direccion, estado, buena ? &lectura : nullptr, latencia_s, hora);
    // Published whether or not the journal could keep them.
    const QList<Evento> eventos = abierto ? r.vigia.Tras_Sondeo(estado, Luces_De(lectura), hora)
                                          : r.vigia.Enlace_Caido(QStringLiteral("port lost"), hora);
    for (const Evento &evento : eventos) {
        diario_->Anota(evento);
        Publica(Tema(r.direccion, "event"), Compacto(Json_Evento(evento)), 1, false);
    }
    Disponibilidad(r, estado);
}

void Agente::Ronda() {
    for (Rele_Servido &r : reles_) {
        Tras_Conexion();
        Sondea(r);
        if (Interrumpido())
            return;
    }
}

void Agente::Termina() {
    if (metricas_)
        metricas_->Sondeando(false);
    if (mqtt_) {
        for (const Rele_Servido &r : reles_)
            mqtt_->Publica(Tema(r.direccion, "availability"), "offline", 1, true);
        mqtt_->Publica(op_.tema + QStringLiteral("/agent"), "offline", 1, true);
        mqtt_->Cierra(Espera_Broker_ms);
    }
    if (metricas_)
        metricas_->Cierra();
    if (e_.MSComm1().PortOpen())
        e_.MSComm1().Set_PortOpen(false);
}

} // namespace

int Comando_Serve(const Opciones &op, Enlace_Rele &enlace) {
    Atiende_Interrupciones();
    Agente agente(op, enlace);
    if (const auto salida = agente.Arranca_Salidas())
        return *salida;
    agente.Abre_Puerto();
    QElapsedTimer reloj;
    reloj.start();
    qint64 siguiente = 0;
    while (!Interrumpido()) {
        Espera_Hasta_Ms(reloj, siguiente);
        if (Interrumpido())
            break;
        agente.Ronda();
        // The pace is kept from the start; a round that outlasted its interval
        // (silent relays) is not made up for by a burst of polls.
        siguiente = std::max(siguiente + op.intervalo_ms, reloj.elapsed());
    }
    agente.Termina();
    return 0;
}
