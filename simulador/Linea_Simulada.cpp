#include "simulador/Linea_Simulada.h"

#include "protocolo/Crc.h"
#include "protocolo/Tramas.h"

#include <algorithm>
#include <cmath>

void Entramador::Agrega(const QByteArray &bytes) {
    Pendiente += bytes;
    // Noise with no frame in it must not pile up without end.
    constexpr qsizetype Tope = 1024;
    if (Pendiente.size() > Tope)
        Pendiente.remove(0, Pendiente.size() - Tope);
}

std::optional<QByteArray> Entramador::Siguiente() {
    // The first good frame wins and whatever came before it was noise. A start
    // that is still short of its length does not stop the search: a stray byte
    // in front of a request can make the request look like the start of a long
    // register write that never completes.
    for (qsizetype inicio = 0; inicio < Pendiente.size(); ++inicio) {
        const qsizetype largo = Largo_Peticion(Pendiente, inicio);
        if (largo == 0 || inicio + largo > Pendiente.size())
            continue;
        QByteArray candidato = Pendiente.mid(inicio, largo);
        if (!CRC_Valido(candidato))
            continue;
        Pendiente.remove(0, inicio + largo);
        return candidato;
    }
    return std::nullopt;
}

int64_t Tiempo_Linea_ns(double bytes, int64_t baudios) {
    return std::llround(bytes * 10 * 1e9 / static_cast<double>(baudios));
}

void Linea_Serie::Llegan(qsizetype n, int64_t ahora_ns) {
    libre_ns_ = std::max(libre_ns_, ahora_ns) + Tiempo_Linea_ns(static_cast<double>(n), baudios_);
}

void Anade_Tiempo_De_Linea(std::vector<Trozo> &trozos, int64_t baudios) {
    double caracteres = 3.5;
    for (Trozo &t : trozos) {
        t.Linea_ns = Tiempo_Linea_ns(caracteres + static_cast<double>(t.Bytes.size()), baudios);
        caracteres = 0;
    }
}
