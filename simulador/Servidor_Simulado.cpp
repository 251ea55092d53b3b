#include "simulador/Servidor_Simulado.h"

#include <QFile>
#include <QHostAddress>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <sys/inotify.h>
#include <sys/prctl.h>

namespace {

// "address 1", or "addresses 1,5,17".
QByteArray Texto_Direcciones(const std::vector<uint8_t> &direcciones) {
    QStringList numeros;
    for (uint8_t d : direcciones)
        numeros << QString::number(d);
    return ((direcciones.size() == 1 ? QStringLiteral("relay at address ")
                                     : QStringLiteral("relays at addresses ")) +
            numeros.join(QLatin1Char(',')))
        .toLatin1();
}

} // namespace

Servidor_Simulado::Servidor_Simulado(Opciones opciones)
    : opciones_(std::move(opciones)), con_terminal_(!opciones_.Enlace.isEmpty()),
      enlace_(QFile::encodeName(opciones_.Enlace)),
      bus_(opciones_.Direcciones, opciones_.Fallos_Pedidos, opciones_.Semilla),
      del_terminal_(opciones_.Baudios), de_red_(opciones_.Baudios) {}

Servidor_Simulado::~Servidor_Simulado() = default;

bool Servidor_Simulado::Abre() {
    if (con_terminal_) {
        terminal_ = Abre_Terminal(opciones_.Baudios);
        Crea_Enlace(enlace_, terminal_.Nombre);
    }
    // The listening socket is made before anything is announced, so that a
    // client may connect as soon as it reads where.
    if (opciones_.Puerto_Tcp >= 0 &&
        !servidor_.listen(QHostAddress::LocalHost, static_cast<quint16>(opciones_.Puerto_Tcp))) {
        std::fprintf(stderr, "kv73-sim: cannot listen on 127.0.0.1:%d: %s\n", opciones_.Puerto_Tcp,
                     qPrintable(servidor_.errorString()));
        if (con_terminal_)
            Borra_Enlace(enlace_, terminal_.Nombre);
        return false;
    }
    Anuncia();
    return true;
}

void Servidor_Simulado::Anuncia() {
    const QByteArray quienes = Texto_Direcciones(opciones_.Direcciones);
    if (servidor_.isListening())
        std::printf("kv73-sim: %s on %s://127.0.0.1:%d\n", quienes.constData(),
                    opciones_.Modbus_Tcp ? "modbus-tcp" : "tcp", servidor_.serverPort());
    if (con_terminal_)
        std::printf("kv73-sim: %s on %s -> %s%s\n", quienes.constData(), enlace_.constData(),
                    terminal_.Nombre.constData(), opciones_.Con_Modem ? " behind a modem" : "");
    std::fflush(stdout);
}

void Servidor_Simulado::Arranca() {
    if (opciones_.Deriva)
        for (std::size_t k = 0; k < bus_.Cuantos(); ++k)
            bus_.Rele(k).Activa_Deriva();
    QObject::connect(&deriva_, &QTimer::timeout, [this] { bus_.Avanza(Rele_Simulado::Paso_ms); });
    deriva_.start(Rele_Simulado::Paso_ms);

    Arranca_Envios();
    del_terminal_.escribe = [this](const QByteArray &b) { Escribe(terminal_.Maestro, b); };
    Arranca_Modem();
    if (con_terminal_) {
        lectura_.emplace(terminal_.Maestro, QSocketNotifier::Read);
        QObject::connect(&*lectura_, &QSocketNotifier::activated, [this] { Lee_Terminal(); });
    }
    de_red_.escribe = [this](const QByteArray &b) {
        const QByteArray salida = opciones_.Modbus_Tcp ? pasarela_.Respuestas(b) : b;
        if (!salida.isEmpty() && cliente_ && cliente_->state() == QAbstractSocket::ConnectedState)
            cliente_->write(salida);
    };
    QObject::connect(&servidor_, &QTcpServer::newConnection, [this] { Acepta_Clientes(); });
}

void Servidor_Simulado::Cierra() {
    if (con_terminal_) {
        Borra_Enlace(enlace_, terminal_.Nombre);
        close(terminal_.Maestro);
        close(terminal_.Esclavo);
    }
    if (fd_cierres_ >= 0)
        close(fd_cierres_);
}

// Replies wait in one queue with their due times, so that a delayed or split
// reply never overtakes, or is overtaken by, the next one.
void Servidor_Simulado::Arranca_Envios() {
    reloj_.start();
    // The kernel may otherwise wake the simulator up to 50 us late.
    if (opciones_.Tiempo_Linea)
        prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    envios_.emplace();
    envios_->Al_Sonar([this] {
        while (!cola_.empty() && cola_.front().Vence_ns <= Ahora_ns()) {
            cola_.front().Destino->escribe(cola_.front().Bytes);
            cola_.pop_front();
        }
        Arma_Envios();
    });
}

void Servidor_Simulado::Arma_Envios() {
    if (cola_.empty())
        envios_->Desarma();
    else
        envios_->Arma(cola_.front().Vence_ns);
}

// Requests from either side go to the relays on the line; each reply goes back
// where its request came from.
void Servidor_Simulado::Atiende(Fuente &fuente, const QByteArray &bytes) {
    fuente.entramador.Agrega(bytes);
    fuente.linea.Llegan(bytes.size(), Ahora_ns());
    // A reply is timed from the end of its request: now on a pseudo-terminal,
    // when the line has carried it with --wire-time.
    const int64_t fin_peticion = opciones_.Tiempo_Linea ? fuente.linea.Libre_ns() : Ahora_ns();
    while (const auto peticion = fuente.entramador.Siguiente()) {
        std::vector<Trozo> trozos = bus_.Responde_Por_Partes(*peticion);
        if (opciones_.Tiempo_Linea)
            Anade_Tiempo_De_Linea(trozos, opciones_.Baudios);
        for (const Trozo &t : trozos) {
            const int64_t desde =
                cola_.empty() ? fin_peticion : std::max(fin_peticion, cola_.back().Vence_ns);
            cola_.push_back(
                {desde + int64_t{t.Retardo_ms} * 1'000'000 + t.Linea_ns, t.Bytes, &fuente});
        }
    }
    Arma_Envios();
    if (fuente.entramador.Pendientes() > 0)
        fuente.silencio.start(50);
}

// Behind a modem every byte goes through the modem model, which keeps its own
// time: one timer wakes it for the next thing it has pending.
void Servidor_Simulado::Arranca_Modem() {
    if (opciones_.Con_Modem)
        modem_.emplace(bus_.Rele(0), opciones_.Modem);
    turno_modem_.setSingleShot(true);
    turno_modem_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&turno_modem_, &QTimer::timeout, [this] {
        Escribe(terminal_.Maestro, modem_->Avanza(reloj_.elapsed()));
        Arma_Modem();
    });
    if (modem_)
        Vigila_Cierres();
}

void Servidor_Simulado::Arma_Modem() {
    if (const auto t = modem_->Proximo_Evento_ms())
        turno_modem_.start(static_cast<int>(std::max<qint64>(0, *t - reloj_.elapsed())));
    else
        turno_modem_.stop();
}

// Closing a serial port drops DTR, and a modem hangs up on that. A pseudo-
// terminal shows no DTR, but inotify sees the program close the device.
void Servidor_Simulado::Vigila_Cierres() {
    fd_cierres_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_cierres_ < 0 || inotify_add_watch(fd_cierres_, terminal_.Nombre.constData(),
                                             IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        Falla("inotify");
    cierres_.emplace(fd_cierres_, QSocketNotifier::Read);
    QObject::connect(&*cierres_, &QSocketNotifier::activated, [this] {
        Atiende_Cierres();
        Arma_Modem();
    });
}

void Servidor_Simulado::Atiende_Cierres() {
    alignas(inotify_event) char eventos[4096];
    bool cerrado = false;
    while (read(fd_cierres_, eventos, sizeof eventos) > 0)
        cerrado = true;
    if (cerrado)
        modem_->Cae_DTR();
}

void Servidor_Simulado::Lee_Terminal() {
    char buffer[512];
    ssize_t n;
    if (modem_) {
        // A close seen before these bytes came first: the program reopened its
        // port and is talking to a modem that has hung up.
        Atiende_Cierres();
        while ((n = read(terminal_.Maestro, buffer, sizeof buffer)) > 0)
            Escribe(terminal_.Maestro, modem_->Recibe(QByteArray(buffer, n), reloj_.elapsed()));
        Arma_Modem();
        return;
    }
    QByteArray llegado;
    while ((n = read(terminal_.Maestro, buffer, sizeof buffer)) > 0)
        llegado.append(buffer, n);
    if (!llegado.isEmpty())
        Atiende(del_terminal_, llegado);
}

// One client at a time, as a serial device server with one line: a new
// connection takes the place of the last, whose replies still due are dropped
// with it.
void Servidor_Simulado::Acepta_Clientes() {
    while (QTcpSocket *nuevo = servidor_.nextPendingConnection()) {
        if (cliente_)
            cliente_->abort();
        cliente_ = nuevo;
        de_red_.entramador.Descarta();
        pasarela_.Reinicia();
        std::printf("kv73-sim: client %s:%d connected\n",
                    qPrintable(nuevo->peerAddress().toString()), nuevo->peerPort());
        std::fflush(stdout);
        nuevo->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(nuevo, &QTcpSocket::disconnected, nuevo, &QObject::deleteLater);
        QObject::connect(nuevo, &QTcpSocket::readyRead, [this, nuevo] {
            QByteArray llegado = nuevo->readAll();
            if (nuevo != cliente_ || llegado.isEmpty())
                return;
            if (opciones_.Modbus_Tcp) {
                QByteArray rtu;
                // A gateway hangs up on a client that does not speak Modbus TCP.
                if (!pasarela_.Peticiones(llegado, rtu)) {
                    nuevo->abort();
                    return;
                }
                llegado = rtu;
            }
            if (!llegado.isEmpty())
                Atiende(de_red_, llegado);
        });
    }
}
