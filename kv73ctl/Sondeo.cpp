#include "kv73ctl/Sondeo.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Puerto_Serie.h"
#include "kv73ctl/Comandos.h"
#include "protocolo/Enlace_Rele.h"
#include "registro/Fila_Registro.h"

#include <QElapsedTimer>
#include <cstdio>

namespace {

// A relay that did not answer took the port down with it; the next relay needs
// it open again, and a call through the modem dialled again, as log does.
bool Reabre(const Opciones &op, Enlace_Rele &enlace) {
    Puerto_Serie &puerto = enlace.MSComm1();
    if (puerto.PortOpen())
        return true;
    if (puerto.Perdido()) {
        // The device went away between two polls, not closed by a silent
        // relay: the link failure a watch of one relay reports, whichever
        // moment the line was lost at.
        enlace.Rele_No_Responde();
        return false;
    }
    if (Reabre_Enlace(op, enlace))
        return true;
    if (op.telefono.isEmpty())
        std::fprintf(stderr, "kv73ctl: cannot open %s again: %s\n",
                     qPrintable(Dispositivo_Opciones(op)), qPrintable(puerto.Error_Texto()));
    return false;
}

} // namespace

Resultado_Sondeo Sondea_Rele(Enlace_Rele &enlace, int direccion) {
    Resultado_Sondeo r;
    r.direccion = direccion;
    QElapsedTimer reloj;
    reloj.start();
    const Desenlace d = Transaccion(
        enlace, [&] { return enlace.Lee_Valores_Actuales(static_cast<uint8_t>(direccion)); });
    r.latencia_us = reloj.nsecsElapsed() / 1000;
    r.hora = QDateTime::currentDateTime();
    switch (d) {
    case Desenlace::Buena:
        r.lectura = Lee_Lectura_Actual();
        break;
    case Desenlace::Mala:
        r.estado = 3;
        break;
    case Desenlace::Sin_Respuesta:
        r.estado = 2;
        break;
    }
    return r;
}

bool Sondea_Direcciones(const Opciones &op, Enlace_Rele &enlace,
                        const std::function<void(const Resultado_Sondeo &)> &al_sondear) {
    for (const int direccion : op.direcciones) {
        if (!Reabre(op, enlace))
            return false;
        const Resultado_Sondeo r = Sondea_Rele(enlace, direccion);
        // A poll cut short by a signal says nothing of the relay.
        if (Interrumpido())
            break;
        al_sondear(r);
    }
    return true;
}

int Peor_Estado(int a, int b) {
    const auto rango = [](int e) { return e == 2 ? 2 : e == 0 ? 0 : 1; };
    return rango(a) >= rango(b) ? a : b;
}

void Imprime_Sondeo(const Opciones &op, const Resultado_Sondeo &r, bool con_latencia) {
    if (r.estado == 2)
        std::fprintf(stderr, "kv73ctl: no reply from address %d\n", r.direccion);
    else if (r.estado == 3)
        std::fprintf(stderr, "kv73ctl: bad reply to the actual-values poll of address %d\n",
                     r.direccion);
    if (op.json)
        Imprime_Json(Json_Sondeo(r, con_latencia));
    else if (r.estado == 0)
        Imprime(QStringLiteral("address %1: ").arg(r.direccion) + Texto_Valores(r.lectura));
}

Estado_Sondeo Estado_De(const Resultado_Sondeo &r) {
    return r.estado == 0   ? Estado_Sondeo::Ok
           : r.estado == 3 ? Estado_Sondeo::Mala
                           : Estado_Sondeo::Sin_Respuesta;
}

QJsonObject Json_Sondeo(const Resultado_Sondeo &r, bool con_latencia) {
    const Estado_Sondeo estado = Estado_De(r);
    QJsonObject o;
    if (estado == Estado_Sondeo::Ok) {
        o = Json_Valores(r.lectura);
        o.insert(QStringLiteral("celsius"), Json_Celsius(r.lectura));
        o.insert(QStringLiteral("probe_faults"), Json_Fallos_Sonda(r.lectura));
    }
    o.insert(QStringLiteral("address"), r.direccion);
    o.insert(QStringLiteral("time"), Hora_Iso(r.hora));
    o.insert(QStringLiteral("status"), Texto_Estado(estado));
    if (con_latencia)
        o.insert(QStringLiteral("latency_us"), r.latencia_us);
    return o;
}
