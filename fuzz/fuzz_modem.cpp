// Fuzz target: the local modem's replies during the dial-up (Abrir_Puerto, then
// Conectar_Modem with Via_Modem on): to the lone carriage return, to "ATE0" or
// the operator's own string, and to "ATDT" and the number.
//
// Input: [flags] [number length] [number], then, with a personal string,
// [length] [the string the operator types], then pieces [head] [bytes].
// flags bit 0: command-line mode; bit 1: "Personal String" chosen.
// A piece's head gives its size in bits 0-5 and its moment in bits 6-7:
//   0  as soon as the program writes its next line (ending in a carriage return)
//   1  at the next tick of the wait
//   2  at the next tick, then the device vanishes
//   3  as soon as the next line is written, then the device vanishes
// Pieces come in order: one that waits for a line holds back those after it.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Abrir_Puerto.h"
#include "fuzz/Banco_Fuzz.h"

#include <QDir>
#include <QTemporaryDir>
#include <deque>

namespace {

struct Pieza {
    QByteArray bytes;
    bool con_linea = true;
    bool desaparece = false;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    Prepara_Banco(argc, argv);
    // A personal string is kept in the file "AT" of the working directory.
    static QTemporaryDir carpeta;
    if (!carpeta.isValid() || !QDir::setCurrent(carpeta.path()))
        Falla("no working directory for the file AT");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *datos, std::size_t n) {
    Lector entrada(datos, n);
    Puerto_Memoria puerto;
    Nueva_Entrada(puerto);
    const uint8_t banderas = entrada.Byte();
    Estado.Via_Modem = true;
    Estado.Modo_Linea_Comandos = (banderas & 1) != 0;
    Estado.Cadena_Personal_Local = (banderas & 2) != 0;
    Estado.Telefono = QString::fromLatin1(entrada.Bytes(entrada.Byte() % 32));
    if (Estado.Cadena_Personal_Local)
        Banco().operador.Texto_Entrada = QString::fromLatin1(entrada.Bytes(entrada.Byte() % 128));

    std::deque<Pieza> piezas;
    while (!entrada.Vacio()) {
        const uint8_t cabeza = entrada.Byte();
        const int momento = cabeza >> 6;
        piezas.push_back({entrada.Bytes(cabeza & 0x3F), momento == 0 || momento == 3,
                          momento == 2 || momento == 3});
    }
    const auto entrega = [&](bool por_linea) {
        if (piezas.empty() || piezas.front().con_linea != por_linea)
            return;
        const Pieza p = piezas.front();
        piezas.pop_front();
        puerto.Inyecta(p.bytes);
        if (p.desaparece)
            puerto.Desaparece();
    };
    puerto.al_escribir = [&](const QByteArray &bytes) {
        if (bytes.endsWith('\r'))
            entrega(true);
    };
    const auto tick =
        QObject::connect(Banco().timer, &Temporizador_Comunicacion::Tick, [&] { entrega(false); });

    Abrir_Puerto(*Banco().enlace);

    QObject::disconnect(tick);
    puerto.al_escribir = nullptr;
    Exige(!Banco().timer->Enabled(), "the tick is left running after the dial-up");
    // The modem's answer to a personal string, then at most one failure.
    Exige(Banco().operador.Mensajes <= 2, "the dial-up showed more than two messages");
    return 0;
}
