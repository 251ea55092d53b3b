#pragma once
// What a file the program writes may meet on the disk: a disk that fills up
// part of the way through the file, and a name that is a pipe.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// While one lives, no file of this process, nor of a program it starts, grows
// past `bytes`: a write beyond them fails with "File too large" (EFBIG), as a
// full disk fails one with ENOSPC, without needing a full disk to mount.
class Disco_Lleno {
  public:
    explicit Disco_Lleno(rlim_t bytes) : senal_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &antes_);
        const rlimit corto{bytes, antes_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &corto);
    }
    ~Disco_Lleno() {
        setrlimit(RLIMIT_FSIZE, &antes_);
        std::signal(SIGXFSZ, senal_);
    }
    Disco_Lleno(const Disco_Lleno &) = delete;
    Disco_Lleno &operator=(const Disco_Lleno &) = delete;

  private:
    rlimit antes_{};
    void (*senal_)(int);
};

// A named pipe with a reader already on it, so that a writer that wrongly
// opens it does not block the test, and the pipe is roomy enough to take a
// whole report or picture without the writer waiting.
class Tubo {
  public:
    explicit Tubo(const QString &ruta) : ruta_(ruta) {
        const QByteArray nombre = QFile::encodeName(ruta);
        if (::mkfifo(nombre.constData(), 0600) == 0)
            lector_ = ::open(nombre.constData(), O_RDONLY | O_NONBLOCK);
        if (lector_ >= 0)
            ::fcntl(lector_, F_SETPIPE_SZ, 1 << 20);
    }
    ~Tubo() {
        if (lector_ >= 0)
            ::close(lector_);
    }
    Tubo(const Tubo &) = delete;
    Tubo &operator=(const Tubo &) = delete;

    bool Listo() const { return lector_ >= 0; }
    // Still a pipe at its name (not replaced by a plain file), and nothing
    // written into it.
    bool Intacto() const {
        struct stat datos {};
        if (::lstat(QFile::encodeName(ruta_).constData(), &datos) != 0 || !S_ISFIFO(datos.st_mode))
            return false;
        char byte;
        return ::read(lector_, &byte, 1) <= 0;
    }

  private:
    QString ruta_;
    int lector_ = -1;
};
