#pragma once
// A conversation with relays on one line: the port, the tick that paces every
// wait, the operator who hears of failures and the windows the core writes its
// status texts into, with the request/reply exchange and the five transactions
// over them. The desktop program has exactly one for the whole run (its host
// form owns it); kv73ctl, each test and each fuzz run make their own. The relay
// and link state the transactions read and leave behind is the run's (Estado).

#include "protocolo/Lectura_Escritura.h"

#include <QByteArray>
#include <cstdint>

class Operador;
class Puerto_Serie;
class Temporizador_Comunicacion;
class Traza_Trafico;
class Ventanas;

class Enlace_Rele {
  public:
    Enlace_Rele(Puerto_Serie &puerto, Temporizador_Comunicacion &tick, Operador &dialogos,
                Ventanas &textos);
    Enlace_Rele(const Enlace_Rele &) = delete;
    Enlace_Rele &operator=(const Enlace_Rele &) = delete;

    Puerto_Serie &MSComm1() const { return puerto_; }
    Temporizador_Comunicacion &Timer_Comunicacion() const { return tick_; }
    Operador &Dialogos() const { return dialogos_; }
    Ventanas &Textos() const { return textos_; }

    // The trace of the line, when one watches it: it hears of each link failure
    // before the failure's goodbye byte goes out.
    void Set_Traza(Traza_Trafico *traza) { traza_ = traza; }

    // The transactions: each sends to the address it is given and says how it
    // ended; the images and flags it leaves are the run's.
    Resultado Lee_Identificacion(uint8_t direccion);
    Resultado Lee_Setpoints(uint8_t direccion);
    Resultado Lee_Valores_Actuales(uint8_t direccion);
    // The actual values of another relay on the line, polled beside the one the
    // program talks to: the request goes out once and its reply has `espera_ms`
    // to come. A relay that stays silent or answers badly is this result alone:
    // the link stays up, its CRC count is kept and nobody is told. A port that
    // goes away fails the link as under any read. The images it writes are the
    // run's, as every read's; whoever polls keeps its own.
    Resultado Lee_Valores_Actuales_Breve(uint8_t direccion, int espera_ms);
    // Sends the edited setpoints (Nuevos_Setpoints[8..19]) to the relay's six
    // setpoint registers in one write and tells the operator whether the relay
    // took them. Buena when it did.
    Resultado Escribe_Setpoints(uint8_t direccion);
    // Switches coil `comando` of the relay on; commands other than 1 and 2 tell
    // the operator how it went.
    Resultado Ejecuta_Comando(uint8_t direccion, int32_t &comando);

    // The link failure: link flag down, status texts, a 0x00 byte and the port
    // closed, then "Relay Not Response".
    void Rele_No_Responde();

    // How the conversation went so far, for a test or a soak run to read; no
    // decision of the program rests on these.
    struct Cuentas_Enlace {
        uint32_t Fallos_Enlace = 0;    // times the link-failure procedure ran
        uint32_t Respuestas_Malas = 0; // replies refused for their CRC
        uint32_t Intercambios = 0;     // replies taken in time, good or bad
    };
    const Cuentas_Enlace &Cuentas() const { return cuentas_; }

  private:
    enum class Fin { Respuesta, Excepcion, Sin_Respuesta, Cancelada };

    bool Puerto_Abierto() const;
    void Vacia_Entrada();
    Fin Intercambia(const QByteArray &peticion, QByteArray &respuesta, qsizetype largo,
                    bool cancelable);
    Fin Puerto_Cerrado();
    Fin Intercambia_Breve(const QByteArray &peticion, QByteArray &respuesta, qsizetype largo,
                          int espera_ms);
    template <std::size_t N>
    Resultado Lee_Registros(uint8_t direccion, uint8_t funcion, uint16_t primero, uint16_t cantidad,
                            Imagen<N> &respuesta, bool cancelable);
    template <std::size_t N, std::size_t M>
    Fin Envia_Y_Recibe(const Imagen<N> &peticion, std::size_t n, Imagen<M> &respuesta,
                       std::size_t largo, bool cancelable);
    void Cuenta_Error_CRC(int16_t limite);
    static Resultado Resultado_De(Fin fin);

    Puerto_Serie &puerto_;
    Temporizador_Comunicacion &tick_;
    Operador &dialogos_;
    Ventanas &textos_;
    Traza_Trafico *traza_ = nullptr;
    Cuentas_Enlace cuentas_;
    int espera_breve_ms_ = 0;    // the next exchange is a short read's: its wait
    bool lectura_breve_ = false; // a short read runs
};
