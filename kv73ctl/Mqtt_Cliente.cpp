#include "kv73ctl/Mqtt_Cliente.h"

#include <QRegularExpression>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <set>

std::optional<Url_Mqtt> Analiza_Url_Mqtt(const QString &texto, QString *error) {
    const auto falla = [&](const QString &por_que) {
        if (error)
            *error = QStringLiteral("--mqtt %1: %2").arg(texto, por_que);
        return std::nullopt;
    };
    // QUrl takes "host:" for no port at all, and words a port out of range its
    // own way: the port is looked at first.
    static const QRegularExpression con_puerto(
        QStringLiteral("^[A-Za-z]+://[^/?#]*:([^\\]:/?#@]*)(?:[/?#].*)?$"));
    if (const auto m = con_puerto.match(texto); m.hasMatch()) {
        bool ok = false;
        const int puerto = m.captured(1).toInt(&ok);
        if (!ok || puerto < 1 || puerto > 65535)
            return falla(QStringLiteral("give a port from 1 to 65535 after the host"));
    }
    const QUrl url(texto, QUrl::StrictMode);
    if (!url.isValid())
        return falla(QStringLiteral("not a URL (") + url.errorString() + QLatin1Char(')'));
    Url_Mqtt r;
    if (url.scheme() == QLatin1String("mqtts"))
        r.tls = true;
    else if (url.scheme() != QLatin1String("mqtt"))
        return falla(QStringLiteral("give mqtt://[USER[:PASSWORD]@]HOST[:PORT] or mqtts://..."));
    r.host = url.host();
    if (r.host.isEmpty())
        return falla(QStringLiteral("no broker host"));
    if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment())
        return falla(QStringLiteral("a broker URL has no path, query or fragment"));
    r.puerto = url.port(r.tls ? 8883 : 1883);
    r.usuario = url.userName();
    r.clave = url.password();
    if (!r.clave.isEmpty() && r.usuario.isEmpty())
        return falla(QStringLiteral("a password needs a user name"));
    // The environment's password goes with the URL's user; without one it is
    // not sent anywhere.
    if (r.clave.isEmpty() && !r.usuario.isEmpty())
        r.clave = qEnvironmentVariable("KV73_MQTT_PASSWORD");
    return r;
}

bool Prefijo_Valido(const QString &prefijo) {
    if (prefijo.isEmpty() || prefijo.contains(QLatin1Char('+')) ||
        prefijo.contains(QLatin1Char('#')) || prefijo.contains(QChar(0)))
        return false;
    const QStringList niveles = prefijo.split(QLatin1Char('/'));
    return std::none_of(niveles.begin(), niveles.end(),
                        [](const QString &n) { return n.isEmpty(); });
}

namespace {

std::once_flag biblioteca_iniciada;
// QoS 1 messages kept for a broker that is away, at most: a relay flapping for
// days while the broker is down does not grow the agent without end.
constexpr std::size_t Maximo_En_Espera = 10000;

} // namespace

struct Cliente_Mqtt::Datos {
    Url_Mqtt url;
    QString cafile;
    QByteArray testamento;
    mosquitto *mosq = nullptr;
    bool hilo = false;

    std::mutex m;
    std::condition_variable cambio;
    std::atomic<int> conexiones{0};
    int respuesta = -1;       // the broker's answer to the first connection, once it came
    bool perdido = false;     // the connection was lost, and that was said
    bool conectado = false;   // the broker has accepted us and not gone away since
    bool lleno = false;       // the wait for the broker was full, and that was said
    bool rechazo = false;     // a refusal was said since the last connection
    bool en_arranque = true;  // Conecta is still waiting: it says what happens
    int fallo_arranque = 0;   // why the first attempt failed, before any answer
    QString error_biblioteca; // the library's last error line (a TLS handshake refused)
    std::set<int> pendientes; // QoS 1 messages the broker has not acknowledged

    QString Broker() const { return QStringLiteral("%1:%2").arg(url.host).arg(url.puerto); }

    static void Al_Conectar(mosquitto *, void *obj, int rc);
    static void Al_Desconectar(mosquitto *, void *obj, int rc);
    static void Al_Publicar(mosquitto *, void *obj, int mid);
    static void Al_Registrar(mosquitto *, void *obj, int nivel, const char *texto);
};

void Cliente_Mqtt::Datos::Al_Conectar(mosquitto *, void *obj, int rc) {
    auto *d = static_cast<Datos *>(obj);
    std::lock_guard bloqueo(d->m);
    if (d->respuesta < 0)
        d->respuesta = rc;
    if (rc == 0) {
        if (d->perdido || d->rechazo)
            std::fprintf(stderr, "kv73ctl: connected to the MQTT broker %s again\n",
                         qPrintable(d->Broker()));
        d->perdido = d->rechazo = false;
        d->conectado = true;
        d->lleno = false;
        ++d->conexiones;
    } else if (!d->rechazo && !d->en_arranque) {
        // At start the refusal is the agent's end, said by whoever started it.
        std::fprintf(stderr, "kv73ctl: the MQTT broker %s refused the connection: %s\n",
                     qPrintable(d->Broker()), mosquitto_connack_string(rc));
        d->rechazo = true;
    }
    d->cambio.notify_all();
}

void Cliente_Mqtt::Datos::Al_Desconectar(mosquitto *, void *obj, int rc) {
    auto *d = static_cast<Datos *>(obj);
    std::lock_guard bloqueo(d->m);
    d->conectado = false;
    if (d->en_arranque && d->conexiones == 0) {
        d->fallo_arranque = rc == 0 ? MOSQ_ERR_CONN_LOST : rc;
        // The system's reason is in this thread's errno, which failed the connection.
        if (rc == MOSQ_ERR_ERRNO && d->error_biblioteca.isEmpty())
            d->error_biblioteca = QString::fromLocal8Bit(std::strerror(errno));
    }
    // 0 is our own goodbye; a broker never reached was said at start.
    if (rc != 0 && !d->perdido && !d->rechazo && d->conexiones > 0) {
        std::fprintf(stderr,
                     "kv73ctl: lost the MQTT broker %s; reconnecting (events and availability "
                     "wait for it)\n",
                     qPrintable(d->Broker()));
        d->perdido = true;
    }
    d->cambio.notify_all();
}

void Cliente_Mqtt::Datos::Al_Publicar(mosquitto *, void *obj, int mid) {
    auto *d = static_cast<Datos *>(obj);
    std::lock_guard bloqueo(d->m);
    d->pendientes.erase(mid);
    d->cambio.notify_all();
}

void Cliente_Mqtt::Datos::Al_Registrar(mosquitto *, void *obj, int nivel, const char *texto) {
    if (nivel != MOSQ_LOG_ERR)
        return;
    auto *d = static_cast<Datos *>(obj);
    std::lock_guard bloqueo(d->m);
    d->error_biblioteca = QString::fromUtf8(texto);
}

Cliente_Mqtt::Cliente_Mqtt(const Url_Mqtt &url, const QString &cafile,
                           const QString &tema_testamento)
    : d(std::make_unique<Datos>()) {
    std::call_once(biblioteca_iniciada, [] { mosquitto_lib_init(); });
    d->url = url;
    d->cafile = cafile;
    d->mosq = mosquitto_new(nullptr, true, d.get());
    if (!d->mosq)
        return;
    mosquitto_connect_callback_set(d->mosq, &Datos::Al_Conectar);
    mosquitto_disconnect_callback_set(d->mosq, &Datos::Al_Desconectar);
    mosquitto_publish_callback_set(d->mosq, &Datos::Al_Publicar);
    mosquitto_log_callback_set(d->mosq, &Datos::Al_Registrar);
    // From one second up to a minute between attempts, doubling.
    mosquitto_reconnect_delay_set(d->mosq, 1, 60, true);
    const QByteArray tema = tema_testamento.toUtf8();
    mosquitto_will_set(d->mosq, tema.constData(), 7, "offline", 1, true);
    if (!url.usuario.isEmpty())
        mosquitto_username_pw_set(d->mosq, url.usuario.toUtf8().constData(),
                                  url.clave.isEmpty() ? nullptr : url.clave.toUtf8().constData());
}

Cliente_Mqtt::~Cliente_Mqtt() {
    if (!d->mosq)
        return;
    if (d->hilo)
        mosquitto_loop_stop(d->mosq, true);
    mosquitto_destroy(d->mosq);
}

Cliente_Mqtt::Arranque Cliente_Mqtt::Conecta(int ms, QString *motivo) {
    const auto rechaza = [&](const QString &por_que) {
        if (motivo)
            *motivo = por_que;
        return Arranque::Rechazado;
    };
    if (!d->mosq)
        return rechaza(QStringLiteral("cannot make an MQTT client"));
    if (d->url.tls) {
        const QByteArray ca = d->cafile.toLocal8Bit();
        const int rc =
            d->cafile.isEmpty()
                ? mosquitto_int_option(d->mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                : mosquitto_tls_set(d->mosq, ca.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return rechaza(QStringLiteral("TLS: ") + QString::fromUtf8(mosquitto_strerror(rc)));
    }
    // The thread first, so that a broker not there yet is tried again by it.
    if (mosquitto_loop_start(d->mosq) != MOSQ_ERR_SUCCESS)
        return rechaza(QStringLiteral("cannot start the MQTT client's thread"));
    d->hilo = true;
    const int rc =
        mosquitto_connect_async(d->mosq, d->url.host.toUtf8().constData(), d->url.puerto, 30);
    QString por_que = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                           : QString::fromUtf8(mosquitto_strerror(rc));
    std::unique_lock bloqueo(d->m);
    if (rc == MOSQ_ERR_SUCCESS)
        d->cambio.wait_for(bloqueo, std::chrono::milliseconds(ms),
                           [this] { return d->respuesta >= 0 || d->fallo_arranque != 0; });
    d->en_arranque = false;
    const int respuesta = d->respuesta;
    if (respuesta < 0 && d->fallo_arranque != 0)
        por_que = QString::fromUtf8(mosquitto_strerror(d->fallo_arranque));
    // A connection that never got an answer says what the library saw, if anything.
    if (respuesta < 0 && !d->error_biblioteca.isEmpty())
        por_que = d->error_biblioteca;
    const bool sin_respuesta =
        rc == MOSQ_ERR_SUCCESS && d->fallo_arranque == 0 && d->error_biblioteca.isEmpty();
    bloqueo.unlock();
    if (respuesta == 0)
        return Arranque::Conectado;
    // Only a busy broker (3) may answer otherwise next time; a wrong user or
    // password, a protocol it will not speak, stay so.
    if (respuesta > 0 && respuesta != 3) {
        mosquitto_disconnect(d->mosq);
        mosquitto_loop_stop(d->mosq, true);
        d->hilo = false;
        return rechaza(QString::fromUtf8(mosquitto_connack_string(respuesta)));
    }
    if (por_que.endsWith(QLatin1Char('.')))
        por_que.chop(1);
    if (motivo)
        *motivo = respuesta == 3  ? QString::fromUtf8(mosquitto_connack_string(respuesta))
                  : sin_respuesta ? QStringLiteral("no answer in %1 s").arg(ms / 1000.0)
                                  : por_que;
    return Arranque::Sin_Broker;
}

bool Cliente_Mqtt::Publica(const QString &tema, const QByteArray &datos, int qos, bool retenido) {
    if (!d->mosq)
        return false;
    const QByteArray t = tema.toUtf8();
    int mid = 0;
    // Held across the call so that the broker's acknowledgement, handled on the
    // library's thread, finds the message among those waiting.
    std::lock_guard bloqueo(d->m);
    if (qos > 0 && !d->conectado && d->pendientes.size() >= Maximo_En_Espera) {
        if (!d->lleno)
            std::fprintf(stderr,
                         "kv73ctl: %zu messages wait for the MQTT broker %s; later ones are "
                         "dropped until it is back\n",
                         Maximo_En_Espera, qPrintable(d->Broker()));
        d->lleno = true;
        return false;
    }
    const int rc = mosquitto_publish(d->mosq, &mid, t.constData(), static_cast<int>(datos.size()),
                                     datos.constData(), qos, retenido);
    if (rc == MOSQ_ERR_SUCCESS && qos > 0)
        d->pendientes.insert(mid);
    return rc == MOSQ_ERR_SUCCESS;
}

int Cliente_Mqtt::Conexiones() const {
    return d->conexiones;
}

void Cliente_Mqtt::Cierra(int ms) {
    if (!d->mosq || !d->hilo)
        return;
    {
        std::unique_lock bloqueo(d->m);
        // Without a broker nothing will be acknowledged: no use waiting.
        d->cambio.wait_for(bloqueo, std::chrono::milliseconds(ms),
                           [this] { return d->pendientes.empty() || !d->conectado; });
    }
    const bool despedido = mosquitto_disconnect(d->mosq) == MOSQ_ERR_SUCCESS;
    // After the goodbye the thread ends by itself once it is written; without a
    // connection it may be waiting to try again, and is stopped.
    mosquitto_loop_stop(d->mosq, !despedido);
    d->hilo = false;
}
