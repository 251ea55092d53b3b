#include "kv73ctl/Metricas.h"

#include "kv73ctl/Salida.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpServer>

namespace {

// The label values of kv73_polls_total, by Estado_Sondeo: plain words, so that a
// query needs no quoting of spaces.
const char *const Estados_Metrica[] = {"ok", "bad_reply", "no_reply"};

QString Numero(double valor) {
    return QString::number(valor, 'g', 15);
}

// A label value with its backslashes, quotes and line breaks escaped.
QString Etiqueta(const QString &valor) {
    QString e = valor;
    e.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    e.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    e.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return e;
}

struct Pagina {
    QString texto;

    void Familia(const char *nombre, const char *tipo, const char *ayuda) {
        texto += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                     .arg(QLatin1String(nombre), QLatin1String(ayuda), QLatin1String(tipo));
    }
    // One sample; `etiquetas` are name/value pairs.
    void Muestra(const char *nombre,
                 std::initializer_list<std::pair<const char *, QString>> etiquetas,
                 const QString &valor) {
        texto += QLatin1String(nombre);
        if (etiquetas.size() > 0) {
            QStringList pares;
            for (const auto &[clave, v] : etiquetas)
                pares << QStringLiteral("%1=\"%2\"").arg(QLatin1String(clave), Etiqueta(v));
            texto += QLatin1Char('{') + pares.join(QLatin1Char(',')) + QLatin1Char('}');
        }
        texto += QLatin1Char(' ') + valor + QLatin1Char('\n');
    }
};

int Valor_Luz(Luz luz) {
    switch (luz) {
    case Luz::Apagada:
        return 0;
    case Luz::Encendida:
        return 1;
    case Luz::Parpadeo:
        return 2;
    }
    return 0;
}

// A maximum holds the register's word as it came: read it as a probe's
// temperature, so that a negative word is a negative maximum and a fault code
// is none.
std::optional<double> Maximo_Celsius(int maximo) {
    return Celsius_Sonda(Texto_Temperatura(maximo));
}

// The latency histogram: each bucket counts the polls up to its bound, so the
// counts of the buckets below it are added in.
void Histograma_Latencia(Pagina &p, const std::array<qint64, Cubetas_Latencia.size()> &cubetas,
                         qint64 respondidos, double suma_latencia) {
    p.Familia("kv73_poll_latency_seconds", "histogram",
              "Time from a poll's request to the end of its reply, of the polls answered.");
    qint64 acumulado = 0;
    for (std::size_t k = 0; k < Cubetas_Latencia.size(); ++k) {
        acumulado += cubetas[k];
        p.Muestra("kv73_poll_latency_seconds_bucket", {{"le", Numero(Cubetas_Latencia[k])}},
                  QString::number(acumulado));
    }
    p.Muestra("kv73_poll_latency_seconds_bucket", {{"le", QStringLiteral("+Inf")}},
              QString::number(respondidos));
    p.Muestra("kv73_poll_latency_seconds_sum", {}, Numero(suma_latencia));
    p.Muestra("kv73_poll_latency_seconds_count", {}, QString::number(respondidos));
}

} // namespace

bool Analiza_Host_Puerto(const QString &texto, QHostAddress *host, quint16 *puerto,
                         QString *error) {
    QString nombre = QStringLiteral("127.0.0.1");
    QString numero = texto.trimmed();
    const qsizetype dos_puntos = numero.lastIndexOf(QLatin1Char(':'));
    if (dos_puntos >= 0) {
        nombre = numero.left(dos_puntos);
        numero = numero.mid(dos_puntos + 1);
        if (nombre.startsWith(QLatin1Char('[')) && nombre.endsWith(QLatin1Char(']')))
            nombre = nombre.mid(1, nombre.size() - 2);
        else if (nombre.contains(QLatin1Char(':')))
            nombre.clear(); // an IPv6 address goes in brackets
        else if (nombre.isEmpty())
            nombre = QStringLiteral("127.0.0.1");
    }
    if (nombre == QLatin1String("localhost"))
        nombre = QStringLiteral("127.0.0.1");
    bool es_numero = false;
    const uint p = numero.toUInt(&es_numero);
    QHostAddress direccion;
    if (!es_numero || p == 0 || p > 65535 || nombre.isEmpty() || !direccion.setAddress(nombre)) {
        *error = QStringLiteral("'%1' is not HOST:PORT (an IP address and a port from 1 to "
                                "65535, as 127.0.0.1:9273 or [::1]:9273)")
                     .arg(texto);
        return false;
    }
    *host = direccion;
    *puerto = static_cast<quint16>(p);
    return true;
}

Metricas_Http::Metricas_Http() = default;
Metricas_Http::~Metricas_Http() = default;

bool Metricas_Http::Escucha(const QString &host_puerto, QString *error) {
    QHostAddress host;
    quint16 pedido = 0;
    if (!Analiza_Host_Puerto(host_puerto, &host, &pedido, error))
        return false;
    Cierra();
    auto nuevo = std::make_unique<QHttpServer>();
    // Our own socket rather than QHttpServer::listen, which keeps the reason
    // a port was refused to itself.
    auto *socket = new QTcpServer(nuevo.get());
    if (!socket->listen(host, pedido)) {
        *error = socket->errorString();
        return false;
    }
    nuevo->route(QStringLiteral("/metrics"), QHttpServerRequest::Method::Get, [this] {
        QHttpServerResponse r(QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8"),
                              Texto());
        return r;
    });
    nuevo->route(QStringLiteral("/healthz"), QHttpServerRequest::Method::Get, [this] {
        return sondeando ? QHttpServerResponse("ok\n")
                         : QHttpServerResponse("not polling\n",
                                               QHttpServerResponse::StatusCode::ServiceUnavailable);
    });
    nuevo->bind(socket);
    servidor = std::move(nuevo);
    puerto = socket->serverPort();
    return true;
}

quint16 Metricas_Http::Puerto() const {
    return puerto;
}

void Metricas_Http::Cierra() {
    servidor.reset();
    puerto = 0;
}

void Metricas_Http::Tras_Sondeo(int direccion, Estado_Sondeo estado, const Lectura_Actual *lectura,
                                double latencia_s, const QDateTime &hora) {
    Rele &r = reles[direccion];
    ++r.sondeos[static_cast<std::size_t>(estado)];
    r.con_lectura = estado == Estado_Sondeo::Ok && lectura != nullptr;
    if (r.con_lectura) {
        r.lectura = *lectura;
        r.ultimo_bueno = hora;
    }
    if (estado == Estado_Sondeo::Sin_Respuesta)
        return;
    ++respondidos;
    suma_latencia += latencia_s;
    for (std::size_t k = 0; k < Cubetas_Latencia.size(); ++k)
        if (latencia_s <= Cubetas_Latencia[k]) {
            ++cubetas[k];
            break;
        }
}

void Metricas_Http::Enlace(int direccion, bool arriba) {
    reles[direccion].enlace = arriba;
}

void Metricas_Http::Sondeando(bool si) {
    sondeando = si;
}

QByteArray Metricas_Http::Texto() const {
    Pagina p;
    const auto por_sonda = [&](const char *nombre, const char *ayuda, auto valor_de) {
        p.Familia(nombre, "gauge", ayuda);
        for (const auto &[direccion, r] : reles)
            for (int k = 0; r.con_lectura && k < 4; ++k)
                if (const std::optional<double> c = valor_de(r.lectura, k))
                    p.Muestra(nombre,
                              {{"address", QString::number(direccion)},
                               {"probe", QStringLiteral("Pt%1").arg(k + 1)}},
                              Numero(*c));
    };
    por_sonda("kv73_temperature_celsius",
              "Temperature of each probe at the last poll; absent for an open or shorted probe.",
              [](const Lectura_Actual &v, int k) { return Celsius_Sonda(v.temperaturas[k]); });
    por_sonda("kv73_temperature_max_celsius",
              "Maximum temperature each probe has recorded, as the relay holds it.",
              [](const Lectura_Actual &v, int k) { return Maximo_Celsius(v.maximos[k]); });
    p.Familia("kv73_lamp", "gauge", "Front-panel lamp at the last poll: 0 off, 1 on, 2 blinking.");
    for (const auto &[direccion, r] : reles)
        for (const Indicador &ind : Mapa_Indicadores)
            if (r.con_lectura)
                p.Muestra(
                    "kv73_lamp",
                    {{"address", QString::number(direccion)}, {"lamp", QLatin1String(ind.nombre)}},
                    QString::number(
                        Valor_Luz(Luz_Indicador(ind, r.lectura.encendidos, r.lectura.parpadeos))));
    p.Familia("kv73_link_up", "gauge", "Whether the relay answers: 1 up, 0 down.");
    for (const auto &[direccion, r] : reles)
        if (r.enlace)
            p.Muestra("kv73_link_up", {{"address", QString::number(direccion)}},
                      QString::number(*r.enlace ? 1 : 0));
    p.Familia("kv73_polls_total", "counter",
              "Actual-values polls by how they ended: ok, bad_reply or no_reply.");
    for (const auto &[direccion, r] : reles)
        for (std::size_t e = 0; e < r.sondeos.size(); ++e)
            p.Muestra("kv73_polls_total",
                      {{"address", QString::number(direccion)},
                       {"status", QLatin1String(Estados_Metrica[e])}},
                      QString::number(r.sondeos[e]));
    Histograma_Latencia(p, cubetas, respondidos, suma_latencia);
    p.Familia("kv73_last_poll_timestamp_seconds", "gauge",
              "Unix time of the last good poll of each relay.");
    for (const auto &[direccion, r] : reles)
        if (r.ultimo_bueno)
            p.Muestra("kv73_last_poll_timestamp_seconds", {{"address", QString::number(direccion)}},
                      QString::number(r.ultimo_bueno->toMSecsSinceEpoch() / 1000.0, 'f', 3));
    return p.texto.toUtf8();
}
