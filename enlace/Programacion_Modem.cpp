#include "enlace/Programacion_Modem.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Espera.h"
#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "comun/Texto.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Cadena_Modem.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Enlace_Rele.h"

namespace T = Textos_Programacion;

namespace {

// Sends a line and waits until `minimo` characters are waiting or `segundos`
// ticks pass. Nothing when the time ran out or the port closed meanwhile, else
// what the modem said.
std::optional<QString> Pregunta_Modem(Enlace_Rele &e, const QString &linea, int minimo,
                                      uint8_t segundos) {
    Estado.Segundos = 0;
    e.Timer_Comunicacion().Set_Enabled(true);
    e.MSComm1().Output(linea.toLatin1() + '\r');
    const bool abierto = Espera_Modem(e, [&] {
        return (minimo > 0 && e.MSComm1().InBufferCount() >= minimo) || Estado.Segundos >= segundos;
    });
    const QString respuesta = QString::fromLatin1(e.MSComm1().Input());
    e.Timer_Comunicacion().Set_Enabled(false);
    if (!abierto || (minimo > 0 && Estado.Segundos >= segundos))
        return std::nullopt;
    return respuesta;
}

QString Cadena_Remota(Operador &dialogos) {
    Leer_Cadena_Modem(1);
    const QString respuesta =
        dialogos.Caja_Entrada(Textos_Modem::Pide_Cadena, QString(), Estado.Cadena_Modem.trimmed())
            .trimmed();
    Estado.Cadena_Modem = respuesta;
    if (!respuesta.isEmpty())
        Guardar_Cadena_Modem(1);
    return respuesta;
}

void Sin_Respuesta(Enlace_Rele &e) {
    e.Dialogos().Mensaje(Textos_Modem::Sin_Respuesta);
    Estado.Comunicacion_OK = false;
}

// The fixed sequence: factory settings, then answer on the second ring with
// numeric replies. True when it ran to its end.
bool Secuencia_Predeterminada(Enlace_Rele &e) {
    const auto fabrica = Pregunta_Modem(e, T::Inicializacion, 2, 2);
    if (!fabrica) {
        Sin_Respuesta(e);
        return false;
    }
    QString ultima = *fabrica;
    if (!ultima.isEmpty()) {
        const auto configuracion = Pregunta_Modem(e, T::Configuracion, 1, 2);
        if (!configuracion) {
            Sin_Respuesta(e);
            return false;
        }
        ultima = *configuracion;
    }
    if (Val(ultima) == 0)
        e.Dialogos().Mensaje(T::Programado);
    return true;
}

} // namespace

void Programa_Modem_Remoto(Enlace_Rele &e, const Programacion_Modem &p) {
    const QString cadena = p.cadena_personal ? Cadena_Remota(e.Dialogos()) : QString();
    const Respuesta conectado =
        e.Dialogos().Mensaje(T::Conecte + p.nombre_puerto, QString(), Botones::OK_Cancel);

    const bool via_modem = Estado.Via_Modem;
    const int16_t puerto = Estado.Puerto_Com;
    const int16_t velocidad = Estado.Velocidad;
    Estado.Via_Modem = false;
    if (conectado != Respuesta::OK) {
        Estado.Via_Modem = via_modem;
        Estado.Puerto_Com = puerto;
        Estado.Velocidad = velocidad;
        return;
    }
    static constexpr int16_t velocidades[] = {1200, 2400, 4800, 9600};
    if (p.indice_velocidad >= 0 && p.indice_velocidad < 4)
        Estado.Velocidad = velocidades[p.indice_velocidad];
    Estado.Puerto_Com = static_cast<int16_t>(p.indice_puerto + 1);
    Abrir_Puerto(e);
    // A port that did not open was reported; the settings stay as they are now.
    if (!e.MSComm1().PortOpen())
        return;

    // The link is marked up on the programming port: the page's polls must
    // keep off the line while the modem is talked to.
    const Linea_Reservada reservada;
    e.MSComm1().Set_DTREnable(true);
    e.MSComm1().Set_RThreshold(0);
    e.MSComm1().Set_SThreshold(0);
    e.MSComm1().Set_InputLen(0);
    e.MSComm1().Input();

    if (p.cadena_personal) {
        const auto respuesta = Pregunta_Modem(e, cadena, 0, 1);
        if (!respuesta) {
            // The port went away while the modem was answering.
            Sin_Respuesta(e);
            return;
        }
        e.Dialogos().Mensaje(Textos_Modem::Respuesta_Cadena + *respuesta);
    } else if (!Secuencia_Predeterminada(e)) {
        return;
    }

    e.MSComm1().Set_RThreshold(1);
    e.MSComm1().Set_SThreshold(1);
    e.MSComm1().Set_InputLen(1);
    e.MSComm1().Set_DTREnable(false);
    Estado.Via_Modem = via_modem;
    Estado.Puerto_Com = puerto;
    Estado.Velocidad = velocidad;
}
