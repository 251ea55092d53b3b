#pragma once
// The test bench of the relay core: a fresh run state, an in-memory port, a fast
// tick, a scripted operator and recorded window texts, all plugged into the host.

#include "comun/Host.h"
#include "comun/Operador.h"
#include "tests/soporte/Operador_Guionizado.h"
#include "tests/soporte/Puerto_Memoria.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>

class Banco : public ::testing::Test {
  protected:
    // Milliseconds a tick lasts in these tests.
    static constexpr int Tick_ms = 40;

    void SetUp() override;
    void TearDown() override;

    // Opens the in-memory port and marks the link up, as a direct link's ON does.
    void Enlace_Arriba();
    // The responder answers every request with `respuesta` at once.
    void Responde_Siempre(const QByteArray &respuesta);

    std::unique_ptr<Puerto_Memoria> puerto;
    std::unique_ptr<Temporizador_Comunicacion> timer;
    std::unique_ptr<Operador_Guionizado> operador;
    Ventanas_En_Memoria ventanas;
};

// Failures show texts as texts.
inline void PrintTo(const QString &texto, std::ostream *salida) {
    *salida << '"' << texto.toStdString() << '"';
}

// Bytes from the hex text of a frame ("01 04 00 ..."), blanks ignored.
QByteArray Hex(const char *texto);
// A reference frame by its description (first column of tests/vectors/frames.tsv).
QByteArray Vector(const QString &descripcion);
