#include "tests/soporte/Pty.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty() {
    maestro_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (maestro_ < 0 || grantpt(maestro_) != 0 || unlockpt(maestro_) != 0) {
        ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
        return;
    }
    // A program the test starts must not inherit the master: closing it here
    // would then not take the device away from that program.
    fcntl(maestro_, F_SETFD, FD_CLOEXEC);
    esclavo_ = QString::fromLocal8Bit(ptsname(maestro_));
    termios t{};
    if (tcgetattr(maestro_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(maestro_, TCSANOW, &t);
    }
}

Pty::~Pty() {
    Cierra();
}

void Pty::Cierra() {
    if (maestro_ >= 0)
        ::close(maestro_);
    maestro_ = -1;
}

void Pty::Escribe(const QByteArray &bytes) {
    ASSERT_EQ(::write(maestro_, bytes.constData(), static_cast<size_t>(bytes.size())),
              bytes.size());
}

QByteArray Pty::Lee(int n, int ms) {
    QByteArray leido;
    QElapsedTimer reloj;
    reloj.start();
    while (leido.size() < n && reloj.elapsed() < ms) {
        pollfd p{maestro_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(ms - reloj.elapsed())) <= 0 || !(p.revents & POLLIN))
            continue;
        char buffer[256];
        const ssize_t r = ::read(maestro_, buffer, sizeof buffer);
        if (r > 0)
            leido.append(buffer, r);
    }
    return leido;
}
