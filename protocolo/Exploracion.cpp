#include "protocolo/Exploracion.h"

#include "comun/Espera.h"
#include "comun/Imagen.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Crc.h"
#include "protocolo/Lectura_Escritura.h"
#include "protocolo/Tramas.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t Funcion_Identificacion = Funcion_Lee_Entrada;
constexpr uint16_t Registros_Identificacion = 3;
constexpr qsizetype Largo_Identificacion =
    Largo_Respuesta(Funcion_Identificacion, Registros_Identificacion);
constexpr int Margen_ms = 20;
constexpr int Espera_Minima_ms = 50;

uint8_t Byte(const QByteArray &b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

bool Es_Excepcion(const QByteArray &entrada, uint8_t direccion) {
    return entrada.size() >= 2 && Byte(entrada, 0) == direccion &&
           Byte(entrada, 1) == (Funcion_Identificacion | Bit_Excepcion);
}

// Enough is in to judge: a whole reply, or a whole exception reply.
bool Completa(const QByteArray &entrada, uint8_t direccion) {
    if (Es_Excepcion(entrada, direccion))
        return entrada.size() >= Largo_Excepcion;
    return entrada.size() >= Largo_Identificacion;
}

Respuesta_Exploracion Juzga(const QByteArray &entrada, uint8_t direccion) {
    Respuesta_Exploracion r;
    r.bytes = entrada;
    if (entrada.isEmpty())
        return r;
    r.tipo = Respuesta_Exploracion::Tipo::Mala;
    if (Es_Excepcion(entrada, direccion) && entrada.size() >= Largo_Excepcion) {
        if (!CRC_Valido(entrada.left(Largo_Excepcion))) {
            r.razon = "bad CRC";
            return r;
        }
        r.tipo = Respuesta_Exploracion::Tipo::Excepcion;
        r.codigo_excepcion = Byte(entrada, 2);
        return r;
    }
    if (entrada.size() < Largo_Identificacion) {
        r.razon = "incomplete reply";
        return r;
    }
    const QByteArray trama = entrada.left(Largo_Identificacion);
    if (!CRC_Valido(trama)) {
        r.razon = "bad CRC";
        return r;
    }
    if (Byte(trama, 0) != direccion || Byte(trama, 1) != Funcion_Identificacion ||
        Byte(trama, 2) != 2 * Registros_Identificacion) {
        r.razon = "not a reply to this read";
        return r;
    }
    r.tipo = Respuesta_Exploracion::Tipo::Rele;
    for (int k = 0; k < Registros_Identificacion; ++k)
        r.registros[static_cast<std::size_t>(k)] =
            static_cast<uint16_t>(Byte(trama, 3 + 2 * k) * 256 + Byte(trama, 4 + 2 * k));
    return r;
}

} // namespace

int Espera_Exploracion_ms(int baudios) {
    const double caracteres =
        double(Largo_Peticion(Funcion_Identificacion)) + 3.5 + double(Largo_Identificacion);
    const double linea_ms = caracteres * 10 * 1000 / std::max(baudios, 1);
    return std::max(Espera_Minima_ms, static_cast<int>(std::ceil(linea_ms)) + Margen_ms);
}

Respuesta_Exploracion Explora_Direccion(Puerto_Serie &puerto, uint8_t direccion, int espera_ms) {
    puerto.Input();
    constexpr auto Largo = static_cast<std::size_t>(Largo_Peticion(Funcion_Identificacion));
    Imagen<Largo> peticion;
    Arma_Peticion_Lectura(peticion, direccion, Funcion_Identificacion, 0x0000,
                          Registros_Identificacion);
    QByteArray trama;
    for (std::size_t i = 1; i <= Largo; ++i)
        trama.append(static_cast<char>(peticion[i]));
    puerto.Output(trama);

    QByteArray entrada;
    Espera_Hasta_O_Vence(espera_ms, [&] {
        if (puerto.InBufferCount() > 0)
            entrada += puerto.Input();
        return !puerto.PortOpen() || Estado.Interrupcion || Completa(entrada, direccion);
    });
    if (!puerto.PortOpen()) {
        Respuesta_Exploracion perdida;
        perdida.tipo = Respuesta_Exploracion::Tipo::Perdida;
        return perdida;
    }
    return Juzga(entrada, direccion);
}
