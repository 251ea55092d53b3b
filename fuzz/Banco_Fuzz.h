#pragma once
// What the fuzz targets share: one application object for the event loop, a
// communication tick that fires on every turn of the event loop (so the five-
// tick timeout of an exchange and the 60-tick dial wait cost microseconds), an
// operator that answers every dialog at once without showing it, and window
// texts kept in memory. The in-memory port is the test bench's.

#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "protocolo/Enlace_Rele.h"
#include "tests/soporte/Puerto_Memoria.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

// Answers OK to a message, No to a question, Texto_Entrada to an input box and
// Cancel to a file dialog.
class Operador_Automatico : public Operador {
  public:
    Respuesta Mensaje(const QString &texto, const QString &titulo, Botones botones,
                      Icono icono) override;
    QString Caja_Entrada(const QString &pregunta, const QString &titulo,
                         const QString &defecto) override;
    std::optional<QString> Dialogo_Abrir(const Peticion_Archivo &peticion) override;
    std::optional<QString> Dialogo_Guardar(const Peticion_Archivo &peticion) override;

    QString Texto_Entrada;
    int Mensajes = 0;
};

// The bytes of one input, taken from the front; past the end they read as 0.
class Lector {
  public:
    Lector(const uint8_t *datos, std::size_t n) : datos_(datos), n_(n) {}
    bool Vacio() const { return i_ >= n_; }
    uint8_t Byte() { return i_ < n_ ? datos_[i_++] : 0; }
    QByteArray Bytes(std::size_t n);
    QByteArray Resto() { return Bytes(n_ - i_); }

  private:
    const uint8_t *datos_;
    std::size_t n_;
    std::size_t i_ = 0;
};

struct Banco_Fuzz {
    Temporizador_Comunicacion *timer = nullptr;
    Operador_Automatico operador;
    Ventanas_En_Memoria ventanas;
    // The link of the input being run, on its port.
    std::unique_ptr<Enlace_Rele> enlace;
};

// Creates the application and the tick and plugs the bench into the host.
// Called once, from LLVMFuzzerInitialize.
void Prepara_Banco(int *argc, char ***argv);
Banco_Fuzz &Banco();

// A fresh run for one input: the state of a program just started, `puerto`
// plugged in as MSComm1, the operator's answers back to their defaults.
void Nueva_Entrada(Puerto_Memoria &puerto);

// A broken promise of the program: printed, then abort() so that libFuzzer
// keeps the input that broke it.
[[noreturn]] void Falla(const char *que);
inline void Exige(bool condicion, const char *que) {
    if (!condicion)
        Falla(que);
}
