// The traffic trace's cost: what a poll adds when nobody reads the trace (the
// desktop program traces every poll), what formatting a line costs when the
// traffic window or --trace reads it, and the heap a full ring takes.

#include "enlace/Traza_Trafico.h"
#include "protocolo/Crc.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <malloc.h>

namespace {

// Bytes the heap has handed out and not taken back: unlike the resident size,
// not hidden by memory an earlier run freed and the allocator kept.
long En_Uso() {
    return static_cast<long>(mallinfo2().uordblks);
}

QByteArray Con_Crc(QByteArray trama) {
    Agrega_CRC(trama);
    return trama;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication aplicacion(argc, argv);
    const QByteArray peticion = Con_Crc(QByteArray::fromHex("01040200000E"));
    const QByteArray respuesta = Con_Crc(QByteArray::fromHex("01041C") + QByteArray(28, '\x11'));
    constexpr int Sondeos = 200000;

    Traza_Trafico traza;
    QElapsedTimer reloj;
    reloj.start();
    for (int i = 0; i < Sondeos; ++i) {
        // As the exchange does it: a write a byte, the reply in two reads.
        for (char c : peticion)
            traza.Escrito(QByteArray(1, c));
        traza.Leido(respuesta.left(13));
        traza.Leido(respuesta.mid(13));
    }
    const double ns_sondeo = double(reloj.nsecsElapsed()) / Sondeos;
    std::printf("polls traced: %d, lines made: %llu, lines held: %zu\n", Sondeos,
                static_cast<unsigned long long>(traza.Siguiente()), traza.Lineas_Desde(0).size());
    std::printf("trace cost per poll (8 writes + 2 reads, nobody reading): %.0f ns\n", ns_sondeo);

    reloj.restart();
    qsizetype caracteres = 0;
    const auto lineas = traza.Lineas_Desde(0);
    for (const Linea_Traza &l : lineas)
        caracteres += Texto_Linea(l).size();
    std::printf("formatting the %zu held lines: %.1f ms (%.0f ns a line, %lld characters)\n",
                lineas.size(), reloj.nsecsElapsed() / 1e6,
                double(reloj.nsecsElapsed()) / double(lineas.size()),
                static_cast<long long>(caracteres));

    // The ring's own memory: a second trace filled from empty.
    const long antes = En_Uso();
    {
        Traza_Trafico otra;
        // Fed as the exchange feeds it, so that every line holds bytes of its own.
        for (std::size_t i = 0; i < Traza_Trafico::Capacidad / 2; ++i) {
            for (char c : peticion)
                otra.Escrito(QByteArray(1, c));
            otra.Leido(respuesta.left(13));
            otra.Leido(respuesta.mid(13));
        }
        const long despues = En_Uso();
        std::printf("full ring (%zu lines, half 8-byte requests, half 33-byte replies): "
                    "%ld KiB of heap, %.0f bytes a line\n",
                    Traza_Trafico::Capacidad, (despues - antes) / 1024,
                    double(despues - antes) / double(Traza_Trafico::Capacidad));
    }
    return 0;
}
