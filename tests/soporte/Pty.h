#pragma once
// A pseudo-terminal for tests: the test holds the master side and plays the
// device; the program opens the slave side by its path.

#include <QByteArray>
#include <QString>

class Pty {
  public:
    Pty(); // fails the running test when no pseudo-terminal can be had
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    int Maestro() const { return maestro_; }
    QString Esclavo() const { return esclavo_; }
    void Escribe(const QByteArray &bytes);
    // Reads what arrives within `ms` milliseconds, up to `n` bytes.
    QByteArray Lee(int n, int ms);
    // Closes the master: the device is gone.
    void Cierra();

  private:
    int maestro_ = -1;
    QString esclavo_;
};
