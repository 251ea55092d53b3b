#pragma once
// What the agent's tests run beside it: a mosquitto of their own on a free
// loopback port, a subscriber (mosquitto_sub) that records every message with
// its retained flag, the agent itself, a kv73-sim that can be paused, and a
// pass-through the test can close in front of the broker.

#include "tests/soporte/Simulador.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace apoyo_servicio {

inline const QString Kv73ctl = QStringLiteral(KV73CTL);

inline int Puerto_Libre() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// Waits until `listo` holds, letting the event loop run; false after `ms`.
inline bool Espera(const std::function<bool()> &listo, int ms) {
    QElapsedTimer reloj;
    reloj.start();
    while (!listo()) {
        if (reloj.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

// Retained on each anonymous broker of the tests: a subscriber that has it is subscribed.
inline constexpr char Tema_Listo[] = "kv73test/ready";

// Runs a helper program to its end, its output kept off the test's.
inline void Calla(const QString &programa, const QStringList &argumentos) {
    QProcess p;
    p.start(programa, argumentos);
    EXPECT_TRUE(p.waitForFinished(30000)) << programa.toStdString();
}

// A mosquitto of the test's own, stopped with it. With `usuario`, only that
// user and password are let in; with `tls`, it speaks TLS with a certificate
// for 127.0.0.1 made here (Certificado()), signed by itself.
class Broker {
  public:
    explicit Broker(const QString &usuario = {}, const QString &clave = {}, bool tls = false)
        : puerto_(Puerto_Libre()) {
        // Started as root, mosquitto reads its files as its own user.
        const auto legible = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther;
        QFile::setPermissions(dir_.path(), legible | QFile::ExeOwner | QFile::ExeOther);
        QString config = QStringLiteral("listener %1 127.0.0.1\npersistence false\n").arg(puerto_);
        anonimo_ = usuario.isEmpty();
        if (anonimo_) {
            config += QStringLiteral("allow_anonymous true\n");
        } else {
            const QString claves = dir_.filePath(QStringLiteral("passwords"));
            Calla(QStringLiteral("mosquitto_passwd"),
                  {QStringLiteral("-b"), QStringLiteral("-c"), claves, usuario, clave});
            QFile::setPermissions(claves, legible);
            config += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(claves);
        }
        if (tls) {
            const QString clave_tls = dir_.filePath(QStringLiteral("key.pem"));
            Calla(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                   QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                   QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1"),
                   QStringLiteral("-keyout"), clave_tls, QStringLiteral("-out"), Certificado()});
            QFile::setPermissions(clave_tls, legible);
            config += QStringLiteral("certfile %1\nkeyfile %2\n").arg(Certificado(), clave_tls);
        }
        QFile f(dir_.filePath(QStringLiteral("mosquitto.conf")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(config.toUtf8());
        f.close();
        Arranca();
    }
    ~Broker() { Detiene(); }

    void Arranca() {
        proceso_.setProcessChannelMode(QProcess::MergedChannels);
        proceso_.start(QStringLiteral("/usr/sbin/mosquitto"),
                       {QStringLiteral("-c"), dir_.filePath(QStringLiteral("mosquitto.conf"))});
        ASSERT_TRUE(proceso_.waitForStarted(5000)) << "mosquitto did not start";
        const bool escucha = Espera(
            [this] {
                QTcpSocket s;
                s.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(puerto_));
                return s.waitForConnected(100);
            },
            5000);
        ASSERT_TRUE(escucha) << proceso_.readAll().toStdString();
        if (anonimo_)
            Calla(QStringLiteral("mosquitto_pub"),
                  {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                   QString::number(puerto_), QStringLiteral("-r"), QStringLiteral("-t"),
                   QString::fromLatin1(Tema_Listo), QStringLiteral("-m"), QStringLiteral("ready")});
    }
    void Detiene() {
        if (proceso_.state() == QProcess::NotRunning)
            return;
        proceso_.kill();
        proceso_.waitForFinished(5000);
    }
    int Puerto() const { return puerto_; }
    QString Certificado() const { return dir_.filePath(QStringLiteral("cert.pem")); }
    QString Url(const QString &usuario = {}) const {
        return QStringLiteral("mqtt://") + usuario + QStringLiteral("127.0.0.1:%1").arg(puerto_);
    }

  private:
    QTemporaryDir dir_;
    int puerto_;
    bool anonimo_ = true;
    QProcess proceso_;
};

struct Mensaje {
    bool retenido;
    QString tema;
    QByteArray datos;
    QJsonObject Json() const { return QJsonDocument::fromJson(datos).object(); }
};

// mosquitto_sub on every topic of the agent and of Home Assistant.
class Suscriptor {
  public:
    explicit Suscriptor(const Broker &b) {
        proceso_.start(QStringLiteral("mosquitto_sub"),
                       {QStringLiteral("-h"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                        QString::number(b.Puerto()), QStringLiteral("-q"), QStringLiteral("1"),
                        // MQTT 5, so that a live message keeps its retained flag.
                        QStringLiteral("-V"), QStringLiteral("mqttv5"),
                        QStringLiteral("--retain-as-published"), QStringLiteral("-F"),
                        QStringLiteral("%r %t %p"), QStringLiteral("-t"), QStringLiteral("kv73/#"),
                        QStringLiteral("-t"), QString::fromLatin1(Tema_Listo), QStringLiteral("-t"),
                        QStringLiteral("homeassistant/#")});
        EXPECT_TRUE(proceso_.waitForStarted(5000));
        // The broker's retained "ready" arrives once the subscription is taken.
        EXPECT_TRUE(Espera(
            [this] {
                Mensajes();
                return suscrito_;
            },
            5000));
    }
    ~Suscriptor() {
        proceso_.kill();
        proceso_.waitForFinished(5000);
    }
    const QList<Mensaje> &Mensajes() {
        proceso_.waitForReadyRead(0);
        while (proceso_.canReadLine()) {
            const QByteArray linea = proceso_.readLine().trimmed();
            const QList<QByteArray> partes = linea.split(' ');
            if (partes.size() < 3)
                continue;
            if (partes[1] == Tema_Listo) {
                suscrito_ = true;
                continue;
            }
            mensajes_.append({partes[0] == "1", QString::fromUtf8(partes[1]),
                              linea.mid(partes[0].size() + partes[1].size() + 2)});
        }
        return mensajes_;
    }
    QList<Mensaje> De(const QString &tema) {
        QList<Mensaje> r;
        for (const Mensaje &m : Mensajes())
            if (m.tema == tema)
                r.append(m);
        return r;
    }
    // Waits for a message on `tema` with `datos` (any, when empty) after the
    // first `desde` messages.
    bool Espera_Mensaje(const QString &tema, const QByteArray &datos, int ms, int desde = 0) {
        return Espera(
            [&] {
                const QList<Mensaje> &todos = Mensajes();
                for (qsizetype k = desde; k < todos.size(); ++k)
                    if (todos[k].tema == tema && (datos.isEmpty() || todos[k].datos == datos))
                        return true;
                return false;
            },
            ms);
    }
    int Cuenta() { return static_cast<int>(Mensajes().size()); }

  private:
    QProcess proceso_;
    QList<Mensaje> mensajes_;
    bool suscrito_ = false;
};

// kv73ctl serve with a fast tick, ended by the test.
class Agente {
  public:
    Agente(const QString &dispositivo, const QStringList &argumentos,
           const QStringList &entorno = {}) {
        auto variables = QProcessEnvironment::systemEnvironment();
        variables.insert(QStringLiteral("KV73_TICK_MS"), QStringLiteral("20"));
        for (const QString &v : entorno)
            variables.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
        proceso_.setProcessEnvironment(variables);
        proceso_.start(
            Kv73ctl, QStringList{QStringLiteral("--device"), dispositivo, QStringLiteral("serve")} +
                         argumentos);
        EXPECT_TRUE(proceso_.waitForStarted(5000));
    }
    ~Agente() {
        proceso_.kill();
        proceso_.waitForFinished(5000);
    }
    // SIGTERM, and its exit status (-1 when it did not end normally in time).
    int Termina() {
        ::kill(static_cast<pid_t>(proceso_.processId()), SIGTERM);
        if (!proceso_.waitForFinished(10000))
            return -1;
        return proceso_.exitStatus() == QProcess::NormalExit ? proceso_.exitCode() : -1;
    }
    QProcess &Proceso() { return proceso_; }
    QString Errores() { return QString::fromUtf8(proceso_.readAllStandardError()); }

  private:
    QProcess proceso_;
};

// kv73-sim as a process of the test's own, so that SIGSTOP makes its relays
// fall silent and SIGCONT brings them back.
class Sim_Pausable {
  public:
    explicit Sim_Pausable(const QStringList &opciones = {}) {
        proceso_.start(QStringLiteral(KV73_SIM),
                       QStringList{QStringLiteral("--link"), Enlace()} + opciones);
        EXPECT_TRUE(proceso_.waitForStarted(5000));
        // It prints one line once its relay listens on the terminal.
        EXPECT_TRUE(proceso_.waitForReadyRead(5000));
    }
    ~Sim_Pausable() {
        Reanuda();
        proceso_.terminate();
        proceso_.waitForFinished(5000);
    }
    QString Enlace() const { return dir_.filePath(QStringLiteral("relay")); }
    void Pausa() { ::kill(static_cast<pid_t>(proceso_.processId()), SIGSTOP); }
    void Reanuda() { ::kill(static_cast<pid_t>(proceso_.processId()), SIGCONT); }

  private:
    QTemporaryDir dir_;
    QProcess proceso_;
};

// A TCP pass-through in front of the broker that the test can close: a broker
// restarted behind it is reached by the agent only once the test's subscriber
// is there again, so that what the agent kept for the broker is seen arriving.
class Pasarela {
  public:
    explicit Pasarela(int destino) : destino_(destino) {
        servidor_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&servidor_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *c = servidor_.nextPendingConnection())
                Une(c);
        });
    }
    QString Url() const {
        return QStringLiteral("mqtt://127.0.0.1:%1").arg(servidor_.serverPort());
    }
    void Abre(bool abierta) { abierta_ = abierta; }

  private:
    void Une(QTcpSocket *c) {
        QObject::connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
        if (!abierta_) {
            c->abort();
            return;
        }
        auto *b = new QTcpSocket(c);
        b->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(destino_));
        QObject::connect(c, &QTcpSocket::readyRead, b, [c, b] { b->write(c->readAll()); });
        QObject::connect(b, &QTcpSocket::readyRead, c, [c, b] { c->write(b->readAll()); });
        QObject::connect(b, &QTcpSocket::disconnected, c, [c] { c->abort(); });
        QObject::connect(b, &QTcpSocket::errorOccurred, c, [c] { c->abort(); });
    }
    QTcpServer servidor_;
    int destino_;
    bool abierta_ = true;
};

} // namespace apoyo_servicio
