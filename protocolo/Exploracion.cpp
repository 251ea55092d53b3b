#include "protocolo/Exploracion.h"

#include "comun/Espera.h"
#include "comun/Imagen.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Crc.h"
#include "protocolo/Lectura_Escritura.h"

#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t Funcion_Identificacion = 0x04;
constexpr qsizetype Largo_Respuesta = 11; // address, function, count, 3 words, CRC
constexpr qsizetype Largo_Excepcion = 5;  // address, function | 0x80, code, CRC
constexpr int Margen_ms = 20;
constexpr int Espera_Minima_ms = 50;

uint8_t Byte(const QByteArray &b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

bool Es_Excepcion(const QByteArray &entrada, uint8_t direccion) {
    return entrada.size() >= 2 && Byte(entrada, 0) == direccion &&
           Byte(entrada, 1) == (Funcion_Identificacion | 0x80);
}

// Enough is in to judge: a whole reply, or a whole exception reply.
bool Completa(const QByteArray &entrada, uint8_t direccion) {
    if (Es_Excepcion(entrada, direccion))
        return entrada.size() >= Largo_Excepcion;
    return entrada.size() >= Largo_Respuesta;
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
    if (entrada.size() < Largo_Respuesta) {
        r.razon = "incomplete reply";
        return r;
    }
    const QByteArray trama = entrada.left(Largo_Respuesta);
    if (!CRC_Valido(trama)) {
        r.razon = "bad CRC";
        return r;
    }
    if (Byte(trama, 0) != direccion || Byte(trama, 1) != Funcion_Identificacion ||
        Byte(trama, 2) != 6) {
        r.razon = "not a reply to this read";
        return r;
    }
    r.tipo = Respuesta_Exploracion::Tipo::Rele;
    for (int k = 0; k < 3; ++k)
        r.registros[static_cast<std::size_t>(k)] =
            static_cast<uint16_t>(Byte(trama, 3 + 2 * k) * 256 + Byte(trama, 4 + 2 * k));
    return r;
}

} // namespace

int Espera_Exploracion_ms(int baudios) {
    const double caracteres = 8 + 3.5 + Largo_Respuesta;
    const double linea_ms = caracteres * 10 * 1000 / std::max(baudios, 1);
    return std::max(Espera_Minima_ms, static_cast<int>(std::ceil(linea_ms)) + Margen_ms);
}

Respuesta_Exploracion Explora_Direccion(Puerto_Serie &puerto, uint8_t direccion, int espera_ms) {
    puerto.Input();
    Imagen<8> peticion;
    Arma_Peticion_Lectura(peticion, direccion, Funcion_Identificacion, 0x0000, 3);
    QByteArray trama;
    for (std::size_t i = 1; i <= 8; ++i)
        trama.append(static_cast<char>(peticion[i]));
    puerto.Output(trama);

    bool vencida = false;
    QTimer limite;
    limite.setSingleShot(true);
    limite.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limite, &QTimer::timeout, [&vencida] { vencida = true; });
    limite.start(espera_ms);
    QByteArray entrada;
    Espera_Hasta([&] {
        if (puerto.InBufferCount() > 0)
            entrada += puerto.Input();
        return vencida || !puerto.PortOpen() || Estado.Interrupcion || Completa(entrada, direccion);
    });
    if (!puerto.PortOpen()) {
        Respuesta_Exploracion perdida;
        perdida.tipo = Respuesta_Exploracion::Tipo::Perdida;
        return perdida;
    }
    return Juzga(entrada, direccion);
}
