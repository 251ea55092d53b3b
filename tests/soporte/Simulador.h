#pragma once
// A kv73-sim process on a pseudo-terminal for end-to-end tests, stopped (SIGTERM)
// when it goes out of scope. The test fails when the simulator cannot start; it
// never skips.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class Simulador {
  public:
    explicit Simulador(const QStringList &opciones = {});
    ~Simulador();
    Simulador(const Simulador &) = delete;
    Simulador &operator=(const Simulador &) = delete;

    QString Enlace() const { return directorio_.filePath(QStringLiteral("relay")); }
    bool Listo() const { return listo_; }

  private:
    QTemporaryDir directorio_;
    QProcess proceso_;
    bool listo_ = false;
};

struct Salida_Programa {
    int estado = -1;
    QString salida;
    QString errores;
};

// Runs a program to its end (at most `ms` milliseconds) with extra environment.
Salida_Programa Ejecuta(const QString &programa, const QStringList &argumentos,
                        const QStringList &entorno = {}, int ms = 30000);
