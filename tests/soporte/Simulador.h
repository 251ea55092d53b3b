#pragma once
// A kv73-sim process on a pseudo-terminal for end-to-end tests, stopped (SIGTERM)
// when it goes out of scope. The test fails when the simulator cannot start; it
// never skips.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

class Simulador {
  public:
    explicit Simulador(const QStringList &opciones = {});
    ~Simulador();
    Simulador(const Simulador &) = delete;
    Simulador &operator=(const Simulador &) = delete;

    QString Enlace() const { return directorio_.filePath(QStringLiteral("relay")); }
    bool Listo() const { return listo_; }
    // With --tcp 0 among the options: the port it took, and its tcp:// name.
    int Puerto_Tcp() const { return puerto_tcp_; }
    QString Dispositivo_Tcp() const {
        return QStringLiteral("tcp://127.0.0.1:%1").arg(puerto_tcp_);
    }
    // What it has printed since it announced its relay.
    QString Salida();
    // Ends it now (SIGTERM), as when the simulator is closed under the program.
    void Detiene();

  private:
    QTemporaryDir directorio_;
    QProcess proceso_;
    bool listo_ = false;
    int puerto_tcp_ = 0;
};

// The desktop program as a launching program starts it: KV73_COM2 names
// `dispositivo`, the status file lies in a folder of its own, offscreen, with
// `entorno` ("NAME=value") added. It is ended (SIGTERM, then SIGKILL) when it
// goes out of scope.
class Programa_Lanzado {
  public:
    Programa_Lanzado(const QString &programa, const QString &dispositivo,
                     const QStringList &argumentos, const QStringList &entorno = {});
    ~Programa_Lanzado();
    Programa_Lanzado(const Programa_Lanzado &) = delete;
    Programa_Lanzado &operator=(const Programa_Lanzado &) = delete;

    bool Arrancado() const { return arrancado_; }
    // Waits at most `ms` for the status file to say the page is up (a 16-bit
    // little-endian 1) and for `tambien`, checked at each look; what the file holds.
    QByteArray Espera_Pagina(int ms, const std::function<bool()> &tambien = {});
    QProcess &Proceso() { return proceso_; }
    // What the status file holds now (empty when there is none).
    QByteArray Archivo_Estado() const;

  private:
    QTemporaryDir carpeta_;
    QProcess proceso_;
    bool arrancado_ = false;
};

struct Salida_Programa {
    int estado = -1;
    QString salida;
    QString errores;
};

// Runs a program to its end (at most `ms` milliseconds) with extra environment.
Salida_Programa Ejecuta(const QString &programa, const QStringList &argumentos,
                        const QStringList &entorno = {}, int ms = 30000);
