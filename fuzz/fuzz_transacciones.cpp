// Fuzz target: whatever the line brings back to each of the five relay
// transactions, then what the program reads out of the images the replies
// filled.
//
// Input: [relay address] [bad replies counted so far, mod 30], then up to eight
// steps, each
//   [op] [coil, for the command] and 1..4 pieces [length] [bytes]
// op bits 0-2: transaction (mod 5: identification, setpoints, actual values,
// setpoint write, command); bit 3: link down before it; bit 4: port closed
// before it; bits 5-6: pieces - 1; bit 7: the operator presses OFF while the
// first request waits. Piece k arrives as soon as the k-th request of the step
// has been written; bits 0-6 of its length byte give its size, bit 7 makes the
// device vanish right after it (an unplugged adapter). A step whose pieces do
// not make a full reply ends by the five-tick timeout.
//
// Besides the sanitizers, the program's promises are checked after each step:
// no read is left busy, the tick is off, no exchange is left waiting, and the
// images change only to a reply whose CRC is good.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_ActualValues.h"
#include "fuzz/Banco_Fuzz.h"
#include "kv73ctl/Comandos.h"
#include "protocolo/Lectura_Escritura.h"

#include <deque>

namespace {

struct Pieza {
    QByteArray bytes;
    bool desaparece = false;
};

enum Paso_Fuzz { Identificacion, Setpoints, Actuales, Escritura, Comando };

// What the program reads out of the images for the operator: the relay's
// identity, temperatures and their fault codes, lamps, setpoints. (The texts
// and JSON printed from these are plain formatting of the same numbers, and
// cost more than the rest of a step together.)
void Lee_Imagenes() {
    static_cast<void>(Verifica_Identificacion());
    const Lectura_Actual v = Lee_Lectura_Actual();
    for (const auto &indicador : Mapa_Indicadores)
        static_cast<void>(Luz_Indicador(indicador, v.encendidos, v.parpadeos));
    static_cast<void>(Lee_Imagen_Setpoints());
}

template <std::size_t N> bool Igual(const Imagen<N> &a, const Imagen<N> &b) {
    return a == b;
}

// Bytes 1..n of two images.
template <std::size_t N, std::size_t M>
bool Mismos(const Imagen<N> &a, const Imagen<M> &b, std::size_t n) {
    for (std::size_t i = 1; i <= n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    Prepara_Banco(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, std::size_t n) {
    Lector entrada(datos, n);
    Puerto_Memoria puerto;
    Nueva_Entrada(puerto);
    Estado.Direccion_Rele = entrada.Byte();
    Estado.Errores_CRC = static_cast<int16_t>(entrada.Byte() % 30);

    std::deque<Pieza> piezas;
    bool cancela = false;
    puerto.al_recibir = [&](const QByteArray &) {
        if (cancela) {
            Estado.Cancelar_Enlace = true;
            cancela = false;
        }
        if (piezas.empty())
            return;
        const Pieza p = piezas.front();
        piezas.pop_front();
        puerto.Inyecta(p.bytes);
        if (p.desaparece)
            puerto.Desaparece();
    };

    for (int paso = 0; paso < 8 && !entrada.Vacio(); ++paso) {
        const uint8_t op = entrada.Byte();
        const auto transaccion = static_cast<Paso_Fuzz>((op & 7) % 5);
        int32_t comando = transaccion == Comando ? entrada.Byte() : 0;
        piezas.clear();
        for (int k = 0; k <= ((op >> 5) & 3); ++k) {
            const uint8_t largo = entrada.Byte();
            piezas.push_back({entrada.Bytes(largo & 0x7F), (largo & 0x80) != 0});
        }
        cancela = (op & 0x80) != 0;
        Estado.Cancelar_Enlace = false;
        if (op & 0x10)
            puerto.Set_PortOpen(false);
        else if (!puerto.PortOpen())
            puerto.Set_PortOpen(true);
        Estado.Comunicacion_OK = (op & 0x08) == 0;

        const auto actuales = Estado.Valores_Actuales;
        const auto identificacion = Estado.Identificacion;
        switch (transaccion) {
        case Identificacion:
            Banco().enlace->Lee_Identificacion(Estado.Direccion_Rele);
            break;
        case Setpoints:
            Banco().enlace->Lee_Setpoints(Estado.Direccion_Rele);
            break;
        case Actuales:
            Banco().enlace->Lee_Valores_Actuales(Estado.Direccion_Rele);
            break;
        case Escritura:
            Banco().enlace->Escribe_Setpoints(Estado.Direccion_Rele);
            break;
        case Comando:
            Banco().enlace->Ejecuta_Comando(Estado.Direccion_Rele, comando);
            break;
        }

        Exige(!Banco().timer->Enabled(), "the tick is left running after a transaction");
        Exige(Estado.Intercambios_En_Curso == 0, "an exchange is left waiting");
        if (Estado.Cancelar_Enlace && transaccion == Setpoints) {
            // The OFF action clears what the cancelled read leaves behind.
            Estado.Ocupado = false;
        }
        Exige(!Estado.Ocupado, "a register read is left busy");
        if (!Igual(actuales, Estado.Valores_Actuales))
            Exige(Mismos(Estado.Valores_Actuales, Estado.Respuesta_Actuales, 31) &&
                      CRC_Correcto(Estado.Respuesta_Actuales, 33),
                  "the actual values changed to a reply with a bad CRC");
        if (!Igual(identificacion, Estado.Identificacion))
            Exige(Mismos(Estado.Identificacion, Estado.Respuesta_Identificacion, 9) &&
                      CRC_Correcto(Estado.Respuesta_Identificacion, 11),
                  "the identification changed to a reply with a bad CRC");
        Exige(Estado.Errores_CRC >= 0 && Estado.Errores_CRC < 30, "bad-reply count out of range");
        Lee_Imagenes();
    }
    puerto.al_recibir = nullptr;
    return 0;
}
