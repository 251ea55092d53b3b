#include "enlace/Programacion_Modem.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Espera.h"
#include "comun/Host.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Cadena_Modem.h"
#include "enlace/Puerto_Serie.h"

namespace T = Textos_Programacion;

namespace {

Puerto_Serie &Puerto() {
    return *Host().MSComm1;
}

// Sends a line and waits until `minimo` characters are waiting or `segundos`
// ticks pass. Nothing when the time ran out or the port closed meanwhile, else
// what the modem said.
std::optional<QString> Pregunta_Modem(const QString &linea, int minimo, uint8_t segundos) {
    Estado.Segundos = 0;
    Host().Timer_Comunicacion->Set_Enabled(true);
    Puerto().Output(linea.toLatin1() + '\r');
    const bool abierto = Espera_Modem([&] {
        return (minimo > 0 && Puerto().InBufferCount() >= minimo) || Estado.Segundos >= segundos;
    });
    const QString respuesta = QString::fromLatin1(Puerto().Input());
    Host().Timer_Comunicacion->Set_Enabled(false);
    if (!abierto || (minimo > 0 && Estado.Segundos >= segundos))
        return std::nullopt;
    return respuesta;
}

QString Cadena_Remota() {
    Leer_Cadena_Modem(1);
    const QString respuesta =
        Host()
            .Dialogos
            ->Caja_Entrada(Textos_Modem::Pide_Cadena, QString(), Estado.Cadena_Modem.trimmed())
            .trimmed();
    Estado.Cadena_Modem = respuesta;
    if (!respuesta.isEmpty())
        Guardar_Cadena_Modem(1);
    return respuesta;
}

void Sin_Respuesta() {
    Host().Dialogos->Mensaje(Textos_Modem::Sin_Respuesta);
    Estado.Comunicacion_OK = false;
}

// The fixed sequence: factory settings, then answer on the second ring with
// numeric replies. True when it ran to its end.
bool Secuencia_Predeterminada() {
    const auto fabrica = Pregunta_Modem(T::Inicializacion, 2, 2);
    if (!fabrica) {
        Sin_Respuesta();
        return false;
    }
    QString ultima = *fabrica;
    if (!ultima.isEmpty()) {
        const auto configuracion = Pregunta_Modem(T::Configuracion, 1, 2);
        if (!configuracion) {
            Sin_Respuesta();
            return false;
        }
        ultima = *configuracion;
    }
    if (Val(ultima) == 0)
        Host().Dialogos->Mensaje(T::Programado);
    return true;
}

} // namespace

void Programa_Modem_Remoto(const Programacion_Modem &p) {
    const QString cadena = p.cadena_personal ? Cadena_Remota() : QString();
    const Respuesta conectado =
        Host().Dialogos->Mensaje(T::Conecte + p.nombre_puerto, QString(), Botones::OK_Cancel);

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
    Abrir_Puerto();
    // A port that did not open was reported; the settings stay as they are now.
    if (!Puerto().PortOpen())
        return;

    // The link is marked up on the programming port: the page's polls must
    // keep off the line while the modem is talked to.
    const Linea_Reservada reservada;
    Puerto().Set_DTREnable(true);
    Puerto().Set_RThreshold(0);
    Puerto().Set_SThreshold(0);
    Puerto().Set_InputLen(0);
    Puerto().Input();

    if (p.cadena_personal) {
        const auto respuesta = Pregunta_Modem(cadena, 0, 1);
        if (!respuesta) {
            // The port went away while the modem was answering.
            Sin_Respuesta();
            return;
        }
        Host().Dialogos->Mensaje(Textos_Modem::Respuesta_Cadena + *respuesta);
    } else if (!Secuencia_Predeterminada()) {
        return;
    }

    Puerto().Set_RThreshold(1);
    Puerto().Set_SThreshold(1);
    Puerto().Set_InputLen(1);
    Puerto().Set_DTREnable(false);
    Estado.Via_Modem = via_modem;
    Estado.Puerto_Com = puerto;
    Estado.Velocidad = velocidad;
}
