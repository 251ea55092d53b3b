#include "simulador/Bus_Simulado.h"

Bus_Simulado::Bus_Simulado(const std::vector<uint8_t> &direcciones, const Fallos &fallos,
                           uint32_t semilla) {
    for (std::size_t k = 0; k < direcciones.size(); ++k)
        reles_.push_back(std::make_unique<Rele_Simulado>(direcciones[k], fallos,
                                                         semilla + static_cast<uint32_t>(k)));
}

QByteArray Choque(const QByteArray &primera, const QByteArray &segunda) {
    QByteArray linea = primera;
    for (qsizetype i = 1; i < linea.size() && i - 1 < segunda.size(); ++i)
        linea[i] = static_cast<char>(static_cast<uint8_t>(linea[i]) |
                                     static_cast<uint8_t>(segunda[i - 1]));
    return linea;
}

std::vector<Trozo> Bus_Simulado::Responde_Por_Partes(const QByteArray &peticion) {
    std::vector<Trozo> respuesta;
    QByteArray junta;
    for (auto &rele : reles_) {
        std::vector<Trozo> trozos = rele->Responde_Por_Partes(peticion);
        if (trozos.empty())
            continue;
        if (respuesta.empty()) {
            respuesta = std::move(trozos);
            for (const Trozo &t : respuesta)
                junta += t.Bytes;
            continue;
        }
        QByteArray otra;
        for (const Trozo &t : trozos)
            otra += t.Bytes;
        junta = Choque(junta, otra);
        // The collided frame goes out whole, when the first reply would have begun.
        respuesta = {Trozo{respuesta.front().Retardo_ms, junta, 0}};
    }
    return respuesta;
}

void Bus_Simulado::Avanza(int ms) {
    for (auto &rele : reles_)
        rele->Avanza(ms);
}
