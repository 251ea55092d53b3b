#pragma once
// The bench of the desktop program's windows: the real host with an in-memory
// port, a fast tick and a scripted operator, an in-process simulated relay on the
// port, and the program's ending replaced so that a test sees it.

#include "formularios/Principal.h"
#include "reporte/Dialogo_Impresora.h"
#include "simulador/Rele_Simulado.h"
#include "tests/soporte/Operador_Guionizado.h"
#include "tests/soporte/Puerto_Memoria.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>

class AVPAGE2;

// The printer dialog the host is given: a test says what the operator picks;
// an unscripted one is a dialog the test did not expect.
struct Impresora_Guionizada : Dialogo_Impresora {
    std::function<bool(QPrinter &)> elige;
    bool Elige(QPrinter &impresora) override {
        if (!elige) {
            ADD_FAILURE() << "the printer dialog opened unexpectedly";
            return false;
        }
        return elige(impresora);
    }
};

class Escritorio : public ::testing::Test {
  protected:
    static constexpr int Tick_ms = 20;

    void SetUp() override;
    void TearDown() override;

    // The relay answers every request on the port, as the simulator does.
    void Conecta_Rele();
    // The main page, loaded (not shown).
    AVPAGE2 &Pagina();
    // Port open and link up, as after a good ON on a direct line.
    void Enlace_Arriba();
    // The host's link, the run's one.
    Enlace_Rele &Enlace() { return host->Enlace(); }

    Puerto_Memoria *puerto = nullptr;
    Operador_Guionizado *operador = nullptr;
    Impresora_Guionizada *impresora = nullptr;
    std::unique_ptr<Principal> host;
    std::unique_ptr<AVPAGE2> pagina;
    Rele_Simulado rele{1};
    static int terminaciones; // times the program would have ended
};

// The requests written, by function code and first register ("04/0200", "05/0010").
std::vector<QString> Resumen(const std::vector<QByteArray> &peticiones);
