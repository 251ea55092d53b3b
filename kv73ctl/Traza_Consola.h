#pragma once
// kv73ctl --trace: the traffic trace of the port, a line on stderr for every
// frame as it happens.

#include "enlace/Puerto_Trazado.h"
#include "enlace/Traza_Trafico.h"

class Traza_Consola {
  public:
    explicit Traza_Consola(Puerto_Serie &puerto);
    // What is still gathered (bytes that made no whole frame) is printed too.
    ~Traza_Consola();
    Traza_Consola(const Traza_Consola &) = delete;
    Traza_Consola &operator=(const Traza_Consola &) = delete;

    // The port the commands use: the one given, traced.
    Puerto_Serie &Puerto() { return puerto_; }
    Traza_Trafico &Traza() { return traza_; }

  private:
    Traza_Trafico traza_;
    Puerto_Trazado puerto_;
};
