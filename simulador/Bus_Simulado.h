#pragma once
// Several KV-73 relays on one line, each with its own address and registers: a
// request reaches them all and the one it is addressed to answers. Two relays
// given the same address both answer, and on a real line their replies collide
// into a frame that no CRC check passes.

#include "simulador/Rele_Simulado.h"

#include <memory>
#include <vector>

class Bus_Simulado {
  public:
    // One relay per address, in the order given; relay k drifts from seed
    // `semilla + k`, so that the relays do not read the same temperatures.
    Bus_Simulado(const std::vector<uint8_t> &direcciones, const Fallos &fallos, uint32_t semilla);

    std::vector<Trozo> Responde_Por_Partes(const QByteArray &peticion);
    void Avanza(int ms);

    std::size_t Cuantos() const { return reles_.size(); }
    Rele_Simulado &Rele(std::size_t k) { return *reles_[k]; }

  private:
    std::vector<std::unique_ptr<Rele_Simulado>> reles_;
};

// What the line carries when two replies start together: each byte of the
// first reply with the bits of the second's byte before it (the second driver
// half a character late). The first reply's length and timing are kept.
QByteArray Choque(const QByteArray &primera, const QByteArray &segunda);
