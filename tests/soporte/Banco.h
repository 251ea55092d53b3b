#pragma once
// The test bench of the relay core: a fresh run state, an in-memory port, a fast
// tick, a scripted operator and recorded window texts, and the link object made
// of them. The transactions and link procedures are the fixture's, so that a
// test reads as the program's own code does.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "enlace/Abrir_Puerto.h"
#include "protocolo/Enlace_Rele.h"
#include "tests/soporte/Operador_Guionizado.h"
#include "tests/soporte/Puerto_Memoria.h"
#include "tests/soporte/Reloj_Virtual.h"

#include <gtest/gtest.h>
#include <memory>
#include <ostream>

class Banco : public ::testing::Test {
  protected:
    // Milliseconds a tick lasts in these tests: virtual ones, on `reloj`.
    static constexpr int Tick_ms = 40;

    // `accion` after `ms` milliseconds of the bench's clock.
    void Despues(int ms, std::function<void()> accion, QObject *contexto = nullptr) {
        reloj->Despues(ms, std::move(accion), contexto);
    }

    void SetUp() override;
    void TearDown() override;

    // Opens the in-memory port and marks the link up, as a direct link's ON does.
    void Enlace_Arriba();
    // The responder answers every request with `respuesta` at once.
    void Responde_Siempre(const QByteArray &respuesta);

    // The link's transactions and procedures, on this bench's link.
    Resultado Lee_Identificacion(uint8_t d) { return enlace->Lee_Identificacion(d); }
    Resultado Lee_Setpoints(uint8_t d) { return enlace->Lee_Setpoints(d); }
    Resultado Lee_Valores_Actuales(uint8_t d) { return enlace->Lee_Valores_Actuales(d); }
    Resultado Escribe_Setpoints(uint8_t d) { return enlace->Escribe_Setpoints(d); }
    Resultado Ejecuta_Comando(uint8_t d, int32_t &c) { return enlace->Ejecuta_Comando(d, c); }
    void Rele_No_Responde() { enlace->Rele_No_Responde(); }
    void Abrir_Puerto() { ::Abrir_Puerto(*enlace); }
    bool Conectar_Modem() { return ::Conectar_Modem(*enlace); }
    // The setpoint files, with this bench's operator and windows.
    bool Escribir_Archivo(const QString &r) { return ::Escribir_Archivo(*enlace, r); }
    bool Leer_Archivo(const QString &r) { return ::Leer_Archivo(*enlace, r); }
    bool Leer_Archivo_Para_Ver(const QString &r) { return ::Leer_Archivo_Para_Ver(*enlace, r); }
    bool Leer_Archivo_Bytes(const QByteArray &b, const QString &r) {
        return ::Leer_Archivo_Bytes(*enlace, b, r);
    }
    void Guardar_Archivo() { ::Guardar_Archivo(*enlace); }
    void Abrir_Archivo() { ::Abrir_Archivo(*enlace); }

    std::unique_ptr<Reloj_Virtual> reloj;
    std::unique_ptr<Puerto_Memoria> puerto;
    std::unique_ptr<Temporizador_Comunicacion> timer;
    std::unique_ptr<Operador_Guionizado> operador;
    Ventanas_En_Memoria ventanas;
    std::unique_ptr<Enlace_Rele> enlace;
};

// Failures show texts as texts.
inline void PrintTo(const QString &texto, std::ostream *salida) {
    *salida << '"' << texto.toStdString() << '"';
}

// Bytes from the hex text of a frame ("01 04 00 ..."), blanks ignored.
QByteArray Hex(const char *texto);
// A reference frame by its description (first column of tests/vectors/frames.tsv).
QByteArray Vector(const QString &descripcion);
