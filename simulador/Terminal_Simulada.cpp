#include "simulador/Terminal_Simulada.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/timerfd.h>

[[noreturn]] void Falla(const char *que) {
    std::fprintf(stderr, "kv73-sim: %s: %s\n", que, std::strerror(errno));
    std::exit(1);
}

Terminal Abre_Terminal(speed_t baudios) {
    Terminal t;
    t.Maestro = posix_openpt(O_RDWR | O_NOCTTY);
    if (t.Maestro < 0 || grantpt(t.Maestro) != 0 || unlockpt(t.Maestro) != 0)
        Falla("pseudo-terminal");
    const char *nombre = ptsname(t.Maestro);
    if (!nombre)
        Falla("ptsname");
    t.Nombre = nombre;
    t.Esclavo = open(nombre, O_RDWR | O_NOCTTY);
    if (t.Esclavo < 0)
        Falla(nombre);
    // Raw, so that no byte of a frame is taken for a line-editing character.
    termios modo{};
    if (tcgetattr(t.Esclavo, &modo) != 0)
        Falla("tcgetattr");
    cfmakeraw(&modo);
    cfsetspeed(&modo, baudios);
    if (tcsetattr(t.Esclavo, TCSANOW, &modo) != 0)
        Falla("tcsetattr");
    fcntl(t.Maestro, F_SETFL, fcntl(t.Maestro, F_GETFL) | O_NONBLOCK);
    return t;
}

void Crea_Enlace(const QByteArray &enlace, const QByteArray &destino) {
    struct stat info {};
    if (lstat(enlace.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            errno = EEXIST;
            Falla(enlace.constData());
        }
        unlink(enlace.constData());
    }
    if (symlink(destino.constData(), enlace.constData()) != 0)
        Falla(enlace.constData());
}

void Escribe(int maestro, const QByteArray &b) {
    if (b.isEmpty())
        return;
    if (write(maestro, b.constData(), static_cast<size_t>(b.size())) < 0 && errno != EAGAIN)
        std::perror("kv73-sim: write");
}

int64_t Ahora_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

Despertador::Despertador() : fd_(timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC)) {
    if (fd_ < 0)
        Falla("timerfd");
    aviso_.emplace(fd_, QSocketNotifier::Read);
}

Despertador::~Despertador() {
    aviso_.reset();
    close(fd_);
}

void Despertador::Arma(int64_t ns) {
    itimerspec cuando{};
    const int64_t en = std::max<int64_t>(ns, 1);
    cuando.it_value.tv_sec = en / 1'000'000'000;
    cuando.it_value.tv_nsec = en % 1'000'000'000;
    timerfd_settime(fd_, TFD_TIMER_ABSTIME, &cuando, nullptr);
}

void Despertador::Desarma() {
    const itimerspec nunca{};
    timerfd_settime(fd_, 0, &nunca, nullptr);
}

void Borra_Enlace(const QByteArray &enlace, const QByteArray &destino) {
    char apunta[4096];
    const ssize_t n = readlink(enlace.constData(), apunta, sizeof apunta);
    if (n > 0 && QByteArray(apunta, n) == destino)
        unlink(enlace.constData());
}
