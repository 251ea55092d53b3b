// The request/reply exchange every transaction runs, and the link failure.

#include "comun/Espera.h"
#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "enlace/Puerto_Serie.h"
#include "enlace/Traza_Trafico.h"
#include "protocolo/Crc.h"
#include "protocolo/Enlace_Rele.h"
#include "protocolo/Tramas.h"

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace T = Textos_Protocolo;

namespace {

// The frame gap of Modbus RTU: three and a half characters of 11 bits at the
// line's speed (a fixed 1.75 ms above 19200 baud), in whole milliseconds.
int Hueco_Trama_ms() {
    const int velocidad = Estado.Velocidad > 0 ? Estado.Velocidad : 9600;
    if (velocidad > 19200)
        return 2;
    return (35 * 11 * 1000 / 10 + velocidad - 1) / velocidad;
}

// An exception reply to this request at the start of the input: the address,
// the function with its high bit set, the code and a good CRC.
bool Es_Excepcion(const QByteArray &entrada, uint8_t direccion, uint8_t funcion) {
    return entrada.size() >= Largo_Excepcion && static_cast<uint8_t>(entrada[0]) == direccion &&
           static_cast<uint8_t>(entrada[1]) == (funcion | Bit_Excepcion) &&
           CRC_Valido(entrada.left(Largo_Excepcion));
}

// An exchange under way, for the page's queued requests to wait for.
struct En_Curso {
    En_Curso() { ++Estado.Intercambios_En_Curso; }
    ~En_Curso() { --Estado.Intercambios_En_Curso; }
};

} // namespace

Enlace_Rele::Enlace_Rele(Puerto_Serie &puerto, Temporizador_Comunicacion &tick, Operador &dialogos,
                         Ventanas &textos)
    : puerto_(puerto), tick_(tick), dialogos_(dialogos), textos_(textos) {}

bool Enlace_Rele::Puerto_Abierto() const {
    return puerto_.PortOpen();
}

// Step 2 of every exchange: the input is thrown away. When something was there,
// the tail of an earlier answer may still be arriving (a slow relay's late
// answer to a resend): it is let finish and dropped too, and the request goes
// out once the line has been quiet for the frame gap, or after one tick at most.
void Enlace_Rele::Vacia_Entrada() {
    if (puerto_.Input().isEmpty())
        return;
    const int hueco = Hueco_Trama_ms();
    const int tope = tick_.Interval();
    QElapsedTimer desde_inicio;
    QElapsedTimer desde_ultimo;
    desde_inicio.start();
    desde_ultimo.start();
    // Nothing else need happen on the line for the gap to pass: this wakes the wait.
    QTimer despertador;
    despertador.start(hueco);
    Espera_Hasta([&] {
        if (puerto_.InBufferCount() > 0) {
            puerto_.Input();
            desde_ultimo.restart();
        }
        return desde_ultimo.elapsed() >= hueco || desde_inicio.elapsed() >= tope ||
               !puerto_.PortOpen() || Estado.Interrupcion;
    });
}

// The request goes out and is sent again at ticks 2, 3 and 4 until the input
// holds a whole reply of `largo` bytes, the fifth tick passes, or (a cancelable
// read only) OFF is pressed. The first `largo` bytes are the reply, whatever
// they are: two relays answering at once give a frame that fails its CRC, not a
// wait. The wait counts its own ticks, so an exchange that a handler runs inside
// it (a poll of the main page) takes nothing from it, and it ends at once when
// the port goes away.
Enlace_Rele::Fin Enlace_Rele::Intercambia(const QByteArray &peticion, QByteArray &respuesta,
                                          qsizetype largo, bool cancelable) {
    QByteArray entrada;
    const auto llego = [&] {
        if (puerto_.InBufferCount() > 0)
            entrada += puerto_.Input();
        return entrada.size() >= largo;
    };
    // kv73ctl cannot wait out an exception reply as the main page does: it has
    // nobody to show the link failure to that follows, and the relay has said why.
    const auto excepcion = [&] {
        return Estado.Excepcion_Termina && Es_Excepcion(entrada, static_cast<uint8_t>(peticion[0]),
                                                        static_cast<uint8_t>(peticion[1]));
    };
    const auto cancelada = [&] {
        return (cancelable && Estado.Cancelar_Enlace) || Estado.Interrupcion;
    };

    // Taken by the short read's own exchange only: a command that runs inside
    // its wait (OFF) has the usual one.
    if (espera_breve_ms_ > 0)
        return Intercambia_Breve(peticion, respuesta, largo, std::exchange(espera_breve_ms_, 0));
    const En_Curso en_curso;

    Estado.Segundos = 0;
    {
        Ticks_De_Espera segundos(tick_);
        uint8_t limite = 2;
        const auto termina = [&] {
            return llego() || excepcion() || cancelada() || !puerto_.PortOpen();
        };
        do {
            // One write a byte, in frame order.
            for (const char byte : peticion)
                puerto_.Output(QByteArray(1, byte));
            Espera_Hasta([&] { return termina() || segundos() >= limite; });
            ++limite;
        } while (!(termina() || segundos() >= 5));
    }
    tick_.Set_Enabled(false);

    if (cancelada())
        return Fin::Cancelada;
    if (!puerto_.PortOpen())
        return Puerto_Cerrado();
    if (excepcion() && !llego()) {
        Estado.Codigo_Excepcion = static_cast<uint8_t>(entrada[2]);
        return Fin::Excepcion;
    }
    // A reply that is all there is taken, even when the ticks ran out meanwhile:
    // a dialog the operator kept open inside this wait (the numeric keypad
    // opened during a poll) holds the wait, not the relay.
    if (!llego()) {
        Rele_No_Responde();
        return Fin::Sin_Respuesta;
    }
    // Whatever came after the first `largo` bytes is dropped.
    respuesta = entrada.left(largo);
    ++cuentas_.Intercambios;
    return Fin::Respuesta;
}

// The port closed under a wait. The device went away: the link fails now, not
// five ticks later after resends to a closed port. A port the program closed
// itself (a link failure run inside this wait) is not failed twice.
Enlace_Rele::Fin Enlace_Rele::Puerto_Cerrado() {
    if (Estado.Comunicacion_OK && puerto_.Perdido())
        Rele_No_Responde();
    Estado.Comunicacion_OK = false;
    Estado.Ocupado = false;
    return Fin::Sin_Respuesta;
}

// The short read's exchange: one request, `espera_ms` for its reply on
// the wall clock (not the tick, whose seconds are the page relay's), and an
// exception reply taken as the end. Silence is said only in the result.
Enlace_Rele::Fin Enlace_Rele::Intercambia_Breve(const QByteArray &peticion, QByteArray &respuesta,
                                                qsizetype largo, int espera_ms) {
    const En_Curso en_curso;
    QByteArray entrada;
    const auto llego = [&] {
        if (puerto_.InBufferCount() > 0)
            entrada += puerto_.Input();
        return entrada.size() >= largo;
    };
    const auto excepcion = [&] {
        return Es_Excepcion(entrada, static_cast<uint8_t>(peticion[0]),
                            static_cast<uint8_t>(peticion[1]));
    };
    for (const char byte : peticion)
        puerto_.Output(QByteArray(1, byte));
    Espera_Hasta_O_Vence(espera_ms, [&] {
        return llego() || excepcion() || !puerto_.PortOpen() || Estado.Interrupcion;
    });
    if (Estado.Interrupcion)
        return Fin::Cancelada;
    if (!puerto_.PortOpen())
        return Puerto_Cerrado();
    if (!llego()) {
        if (!excepcion())
            return Fin::Sin_Respuesta;
        Estado.Codigo_Excepcion = static_cast<uint8_t>(entrada[2]);
        return Fin::Excepcion;
    }
    respuesta = entrada.left(largo);
    ++cuentas_.Intercambios;
    return Fin::Respuesta;
}

Resultado Enlace_Rele::Lee_Valores_Actuales_Breve(uint8_t direccion, int espera_ms) {
    const int16_t errores = Estado.Errores_CRC;
    espera_breve_ms_ = std::max(espera_ms, 1);
    lectura_breve_ = true;
    const Resultado r = Lee_Valores_Actuales(direccion);
    espera_breve_ms_ = 0;
    lectura_breve_ = false;
    // A silent relay's read ends with the line still held: no link failure freed it.
    if (r == Resultado::Sin_Respuesta)
        Estado.Ocupado = false;
    Estado.Errores_CRC = errores;
    return r;
}

Resultado Enlace_Rele::Resultado_De(Fin fin) {
    switch (fin) {
    case Fin::Cancelada:
        return Resultado::Cancelada;
    case Fin::Excepcion:
        return Resultado::Excepcion;
    case Fin::Sin_Respuesta:
    case Fin::Respuesta:
        break;
    }
    return Resultado::Sin_Respuesta;
}

// A bad reply of a register read; the count is shared by the three reads, so a
// noisy line ends the link whichever read meets it.
void Enlace_Rele::Cuenta_Error_CRC(int16_t limite) {
    // Another relay's bad reply says nothing of the link to this one.
    if (lectura_breve_)
        return;
    ++Estado.Errores_CRC;
    if (Estado.Errores_CRC >= limite) {
        Estado.Errores_CRC = 0;
        Rele_No_Responde();
    }
}

void Enlace_Rele::Rele_No_Responde() {
    Estado.Comunicacion_OK = false;
    Estado.Ocupado = false;
    ++cuentas_.Fallos_Enlace;
    if (traza_)
        traza_->Fallo_Enlace();
    textos_.Escribe_Estado_Enlace(T::Enlace_Caido);
    textos_.Escribe_Panel(6, T::No_Comunicando);
    if (Puerto_Abierto()) {
        puerto_.Output(QByteArray(1, '\0'));
        puerto_.Set_PortOpen(false);
    }
    dialogos_.Mensaje(T::Rele_No_Responde, T::Titulo_Fallo);
}
