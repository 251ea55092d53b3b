// The agent's metrics endpoint: the page Prometheus scrapes after good, faulty
// and failed polls, read over HTTP and checked by promtool; the health check;
// the ports it refuses.

#include "kv73ctl/Metricas.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

struct Respuesta {
    int estado = 0;
    QByteArray tipo;
    QByteArray cuerpo;
};

Respuesta Pide(quint16 puerto, const QString &ruta) {
    QNetworkAccessManager red;
    QNetworkReply *r = red.get(
        QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(puerto).arg(ruta))));
    QSignalSpy fin(r, &QNetworkReply::finished);
    EXPECT_TRUE(r->isFinished() || fin.wait(20000)) << ruta.toStdString();
    Respuesta respuesta{r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                        r->header(QNetworkRequest::ContentTypeHeader).toByteArray(), r->readAll()};
    r->deleteLater();
    return respuesta;
}

quint16 Puerto_Libre() {
    QTcpServer s;
    EXPECT_TRUE(s.listen(QHostAddress::LocalHost, 0));
    return s.serverPort();
}

QString Escucha_Libre(Metricas_Http &m) {
    QString error;
    EXPECT_TRUE(m.Escucha(QStringLiteral("127.0.0.1:%1").arg(Puerto_Libre()), &error))
        << error.toStdString();
    return error;
}

// A relay with probe 3 open and probe 4 shorted; Fault on, L1 blinking.
Lectura_Actual Lectura_Con_Sondas_Rotas() {
    Lectura_Actual v;
    v.temperaturas = {QStringLiteral("85"), QStringLiteral("-5"), QStringLiteral("Fco"),
                      QStringLiteral("Fcc")};
    v.maximos = {92, 0xFFFB, Temperatura_Fco, 0xFFF5};
    v.encendidos = (1 << 6) | (1 << 3);
    v.parpadeos = 1 << 3;
    return v;
}

QStringList Lineas(const QByteArray &pagina) {
    return QString::fromUtf8(pagina).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(Metrics, PageHoldsEachRelaysLastPollAndPassesPromtool) {
    Metricas_Http m;
    Escucha_Libre(m);
    const QDateTime hora = QDateTime::fromMSecsSinceEpoch(1764000000250);
    const Lectura_Actual v = Lectura_Con_Sondas_Rotas();
    m.Tras_Sondeo(1, Estado_Sondeo::Ok, &v, 0.02, hora);
    m.Tras_Sondeo(5, Estado_Sondeo::Sin_Respuesta, nullptr, 5.0, hora);
    m.Tras_Sondeo(17, Estado_Sondeo::Mala, nullptr, 0.3, hora);
    m.Enlace(1, true);
    m.Enlace(5, false);

    const Respuesta r = Pide(m.Puerto(), QStringLiteral("/metrics"));
    EXPECT_EQ(r.estado, 200);
    EXPECT_EQ(r.tipo, "text/plain; version=0.0.4; charset=utf-8");
    const QStringList lineas = Lineas(r.cuerpo);
    for (const char *esperada : {
             "kv73_temperature_celsius{address=\"1\",probe=\"Pt1\"} 85",
             "kv73_temperature_celsius{address=\"1\",probe=\"Pt2\"} -5",
             "kv73_temperature_max_celsius{address=\"1\",probe=\"Pt1\"} 92",
             "kv73_temperature_max_celsius{address=\"1\",probe=\"Pt2\"} -5",
             "kv73_lamp{address=\"1\",lamp=\"Fault\"} 1",
             "kv73_lamp{address=\"1\",lamp=\"L1\"} 2",
             "kv73_lamp{address=\"1\",lamp=\"L2\"} 0",
             "kv73_link_up{address=\"1\"} 1",
             "kv73_link_up{address=\"5\"} 0",
             "kv73_polls_total{address=\"1\",status=\"ok\"} 1",
             "kv73_polls_total{address=\"1\",status=\"no_reply\"} 0",
             "kv73_polls_total{address=\"5\",status=\"no_reply\"} 1",
             "kv73_polls_total{address=\"17\",status=\"bad_reply\"} 1",
             // Only the answered polls time the line: 0.02 and 0.3, not the timeout.
             "kv73_poll_latency_seconds_bucket{le=\"0.01\"} 0",
             "kv73_poll_latency_seconds_bucket{le=\"0.025\"} 1",
             "kv73_poll_latency_seconds_bucket{le=\"0.25\"} 1",
             "kv73_poll_latency_seconds_bucket{le=\"0.5\"} 2",
             "kv73_poll_latency_seconds_bucket{le=\"5\"} 2",
             "kv73_poll_latency_seconds_bucket{le=\"+Inf\"} 2",
             "kv73_poll_latency_seconds_count 2",
             "kv73_last_poll_timestamp_seconds{address=\"1\"} 1764000000.250",
             "# TYPE kv73_poll_latency_seconds histogram",
             "# TYPE kv73_polls_total counter",
         })
        EXPECT_TRUE(lineas.contains(QLatin1String(esperada))) << esperada;
    // A faulty probe has no temperature at all, not its code 231 or -11; a
    // relay without a good poll has no values and no time of one.
    for (const QString &l : lineas) {
        EXPECT_FALSE(l.contains(QLatin1String("probe=\"Pt3\"")) ||
                     l.contains(QLatin1String("probe=\"Pt4\"")))
            << l.toStdString();
        if (!l.startsWith(QLatin1String("kv73_polls_total")) &&
            !l.startsWith(QLatin1String("kv73_link_up"))) {
            EXPECT_FALSE(l.contains(QLatin1String("address=\"5\"")) ||
                         l.contains(QLatin1String("address=\"17\"")))
                << l.toStdString();
        }
    }

    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty()) {
        std::printf("promtool is not installed: the page is not checked by it\n");
    } else {
        QProcess p;
        p.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
        p.write(r.cuerpo);
        p.closeWriteChannel();
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 0)
            << p.readAllStandardOutput().toStdString() << p.readAllStandardError().toStdString();
    }

    // A failed poll takes the relay's values off the page; the time of its last
    // good poll stays.
    m.Tras_Sondeo(1, Estado_Sondeo::Sin_Respuesta, nullptr, 5.0, hora.addSecs(1));
    const QByteArray despues = m.Texto();
    EXPECT_FALSE(despues.contains("kv73_temperature_celsius{"));
    EXPECT_FALSE(despues.contains("kv73_lamp{"));
    EXPECT_TRUE(despues.contains("kv73_polls_total{address=\"1\",status=\"no_reply\"} 1\n"));
    EXPECT_TRUE(despues.contains("kv73_last_poll_timestamp_seconds{address=\"1\"} 1764000000.250"));
}

TEST(Metrics, HealthzAnswersOnlyWhilePollingAndOtherPathsAreNotFound) {
    Metricas_Http m;
    Escucha_Libre(m);
    EXPECT_EQ(Pide(m.Puerto(), QStringLiteral("/healthz")).estado, 503);
    m.Sondeando(true);
    EXPECT_EQ(Pide(m.Puerto(), QStringLiteral("/healthz")).estado, 200);
    m.Sondeando(false);
    EXPECT_EQ(Pide(m.Puerto(), QStringLiteral("/healthz")).estado, 503);
    EXPECT_EQ(Pide(m.Puerto(), QStringLiteral("/")).estado, 404);
    EXPECT_EQ(Pide(m.Puerto(), QStringLiteral("/metrics/x")).estado, 404);

    // Closed, the port is free again.
    const quint16 puerto = m.Puerto();
    m.Cierra();
    QTcpServer otro;
    EXPECT_TRUE(otro.listen(QHostAddress::LocalHost, puerto));
}

TEST(Metrics, ATakenPortOrAMalformedAddressIsRefusedWithTheReason) {
    QTcpServer ocupado;
    ASSERT_TRUE(ocupado.listen(QHostAddress::LocalHost, 0));
    Metricas_Http m;
    QString error;
    EXPECT_FALSE(m.Escucha(QStringLiteral("127.0.0.1:%1").arg(ocupado.serverPort()), &error));
    EXPECT_TRUE(error.contains(QLatin1String("already in use"))) << error.toStdString();
    EXPECT_EQ(m.Puerto(), 0);

    for (const char *malo :
         {"", "abc", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:92x", "::1:9273",
          "[::1]", "example.org:9273", "300.1.1.1:9273"}) {
        error.clear();
        EXPECT_FALSE(m.Escucha(QLatin1String(malo), &error)) << malo;
        EXPECT_TRUE(error.contains(QLatin1String("is not HOST:PORT"))) << error.toStdString();
    }

    QHostAddress host;
    quint16 puerto = 0;
    for (const auto &[texto, esperado] :
         {std::pair{"9273", "127.0.0.1"}, std::pair{":9273", "127.0.0.1"},
          std::pair{"localhost:9273", "127.0.0.1"}, std::pair{"[::1]:9273", "::1"},
          std::pair{"0.0.0.0:9273", "0.0.0.0"}}) {
        ASSERT_TRUE(Analiza_Host_Puerto(QLatin1String(texto), &host, &puerto, &error)) << texto;
        EXPECT_EQ(host, QHostAddress(QLatin1String(esperado))) << texto;
        EXPECT_EQ(puerto, 9273);
    }
}
