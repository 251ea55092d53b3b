// kv73-sim: a KV-73 relay on a pseudo-terminal, so that the program can be run,
// shown and tested without a relay on a serial line.

#include "comun/Texto.h"
#include "simulador/Opciones_Simulador.h"
#include "simulador/Servidor_Simulado.h"
#include "simulador/Terminal_Simulada.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

// Blocked before anything else starts, so that SIGINT and SIGTERM reach only
// the signalfd this returns and the event loop can end cleanly.
int Bloquea_Senales() {
    sigset_t senales;
    sigemptyset(&senales);
    sigaddset(&senales, SIGINT);
    sigaddset(&senales, SIGTERM);
    sigprocmask(SIG_BLOCK, &senales, nullptr);
    const int fd_senales = signalfd(-1, &senales, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_senales < 0)
        Falla("signalfd");
    return fd_senales;
}

} // namespace

int main(int argc, char *argv[]) {
    const int fd_senales = Bloquea_Senales();
    // A --link that is not UTF-8 would come back from Qt's text as another
    // name: the link would be made where nobody asked for it.
    if (const char *palabra = Palabra_Sin_Nombre(argc, argv)) {
        std::fprintf(stderr, "kv73-sim: %s: not UTF-8; names are read as UTF-8\n", palabra);
        return 1;
    }
    QCoreApplication app(argc, argv);
    Servidor_Simulado simulador(Lee_Opciones(app.arguments()));
    if (!simulador.Abre())
        return 1;
    simulador.Arranca();

    QSocketNotifier fin(fd_senales, QSocketNotifier::Read);
    QObject::connect(&fin, &QSocketNotifier::activated, [&] {
        signalfd_siginfo info;
        while (read(fd_senales, &info, sizeof info) > 0) {
        }
        app.quit();
    });
    app.exec();
    simulador.Cierra();
    close(fd_senales);
    return 0;
}
