#pragma once
// The bus scan's own exchange: the identification read sent once to one
// address, and a short wait for its reply. The relay exchange resends and waits
// five ticks for a relay it knows is there; a scan asks addresses where most
// often nobody is, and must not spend seconds on each.

#include <QByteArray>
#include <array>
#include <cstdint>

class Puerto_Serie;

struct Respuesta_Exploracion {
    enum class Tipo {
        Silencio,  // nothing came in time
        Rele,      // a whole identification reply with a good CRC
        Excepcion, // a device refused the read with an exception reply
        Mala,      // bytes came but no good reply: a bad CRC (two relays at the same
                   // address answering at once), cut short, or not a reply to this read
        Perdida    // the port closed under the scan (the device went away)
    };
    Tipo tipo = Tipo::Silencio;
    std::array<uint16_t, 3> registros{}; // Rele: the three identification registers
    uint8_t codigo_excepcion = 0;        // Excepcion
    QByteArray bytes;                    // what came in
    // Mala: why, in the operator's words ("bad CRC", "incomplete reply", ...).
    const char *razon = "";
};

// The wait after the request when none is given: the time the request, the
// 3.5-character silence and the reply take at `baudios` (ten bits a character),
// plus a margin for the relay and the computer, never under 50 ms.
int Espera_Exploracion_ms(int baudios);

// Sends the identification read to `direccion` once, on an open port, and
// waits at most `espera_ms` for the reply. Input left from before is dropped
// first, so that a late reply to the last address is not taken for this one's.
Respuesta_Exploracion Explora_Direccion(Puerto_Serie &puerto, uint8_t direccion, int espera_ms);
