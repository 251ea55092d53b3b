#include "protocolo/Lectura_Escritura.h"

#include "comun/Espera.h"
#include "comun/Host.h"
#include "comun/Operador.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Crc.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

namespace T = Textos_Protocolo;

namespace {

// The value of a hex digit, or -1.
int Valor_Hex(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

} // namespace

void Calcula_CRC() {
    const QString &trama = Estado.Trama;
    const qsizetype cuenta = trama.size() / 2; // a trailing odd digit is ignored
    QByteArray bytes(cuenta, Qt::Uninitialized);
    for (qsizetype i = 0; i < cuenta; ++i) {
        const int alto = Valor_Hex(trama[2 * i]);
        const int bajo = Valor_Hex(trama[2 * i + 1]);
        // The frames' own texts are plain digits; anything else is read as
        // the number parser reads it.
        bytes[i] = static_cast<char>(
            alto >= 0 && bajo >= 0 ? alto * 16 + bajo : trama.mid(2 * i, 2).toUInt(nullptr, 16));
    }
    static constexpr char16_t Digitos[] = u"0123456789ABCDEF";
    const uint16_t crc = CRC16_Modbus(bytes);
    QString texto(4, Qt::Uninitialized);
    for (int k = 0; k < 4; ++k)
        texto[k] = QChar(Digitos[(crc >> (12 - 4 * k)) & 0x0F]);
    Estado.CRC_Texto = texto;
}

namespace {

bool Puerto_Abierto() {
    return Host().MSComm1 && Host().MSComm1->PortOpen();
}

// The frame gap of Modbus RTU: three and a half characters of 11 bits at the
// line's speed (a fixed 1.75 ms above 19200 baud), in whole milliseconds.
int Hueco_Trama_ms() {
    const int velocidad = Estado.Velocidad > 0 ? Estado.Velocidad : 9600;
    if (velocidad > 19200)
        return 2;
    return (35 * 11 * 1000 / 10 + velocidad - 1) / velocidad;
}

// Step 2 of every exchange: the input is thrown away. When something was there,
// the tail of an earlier answer may still be arriving (a slow relay's late
// answer to a resend): it is let finish and dropped too, and the request goes
// out once the line has been quiet for the frame gap, or after one tick at most.
void Vacia_Entrada() {
    Puerto_Serie &puerto = *Host().MSComm1;
    if (puerto.Input().isEmpty())
        return;
    const int hueco = Hueco_Trama_ms();
    const int tope = Host().Timer_Comunicacion->Interval();
    QElapsedTimer desde_inicio;
    QElapsedTimer desde_ultimo;
    desde_inicio.start();
    desde_ultimo.start();
    // Nothing else need happen on the line for the gap to pass: this wakes the wait.
    QTimer despertador;
    despertador.start(hueco);
    Espera_Hasta([&] {
        if (puerto.InBufferCount() > 0) {
            puerto.Input();
            desde_ultimo.restart();
        }
        return desde_ultimo.elapsed() >= hueco || desde_inicio.elapsed() >= tope ||
               !puerto.PortOpen() || Estado.Interrupcion;
    });
}

// One write a byte, in frame order.
template <std::size_t N> void Envia(const Imagen<N> &trama, std::size_t n) {
    for (std::size_t i = 1; i <= n; ++i)
        Host().MSComm1->Output(QByteArray(1, static_cast<char>(trama[i])));
}

enum class Fin { Respuesta, Excepcion, Sin_Respuesta, Cancelada };

// An exception reply to this request at the start of the input: the address,
// the function with its high bit set, the code and a good CRC, five bytes.
bool Es_Excepcion(const QByteArray &entrada, uint8_t direccion, uint8_t funcion) {
    return entrada.size() >= 5 && static_cast<uint8_t>(entrada[0]) == direccion &&
           static_cast<uint8_t>(entrada[1]) == (funcion | 0x80) && CRC_Valido(entrada.left(5));
}

// The request goes out and is sent again at ticks 2, 3 and 4 until the input
// holds a whole reply of `largo` bytes, the fifth tick passes, or (a cancelable
// read only) OFF is pressed. The first `largo` bytes are the reply, whatever
// they are: two relays answering at once give a frame that fails its CRC, not a
// wait. The wait counts its own ticks, so an exchange that a handler runs inside
// it (a poll of the main page) takes nothing from it, and it ends at once when
// the port goes away.
template <std::size_t N, std::size_t M>
Fin Intercambia(const Imagen<N> &peticion, std::size_t n, Imagen<M> &respuesta, std::size_t largo,
                bool cancelable) {
    Puerto_Serie &puerto = *Host().MSComm1;
    QByteArray entrada;
    const auto llego = [&] {
        if (puerto.InBufferCount() > 0)
            entrada += puerto.Input();
        return entrada.size() >= static_cast<qsizetype>(largo);
    };
    // kv73ctl cannot wait out an exception reply as the main page does: it has
    // nobody to show the link failure to that follows, and the relay has said why.
    const auto excepcion = [&] {
        return Estado.Excepcion_Termina && Es_Excepcion(entrada, peticion[1], peticion[2]);
    };
    const auto cancelada = [&] {
        return (cancelable && Estado.Cancelar_Enlace) || Estado.Interrupcion;
    };

    struct En_Curso {
        En_Curso() { ++Estado.Intercambios_En_Curso; }
        ~En_Curso() { --Estado.Intercambios_En_Curso; }
    } en_curso;

    Estado.Segundos = 0;
    {
        Ticks_De_Espera segundos(*Host().Timer_Comunicacion);
        uint8_t limite = 2;
        const auto termina = [&] {
            return llego() || excepcion() || cancelada() || !puerto.PortOpen();
        };
        do {
            Envia(peticion, n);
            Espera_Hasta([&] { return termina() || segundos() >= limite; });
            ++limite;
        } while (!(termina() || segundos() >= 5));
    }
    Host().Timer_Comunicacion->Set_Enabled(false);

    if (cancelada())
        return Fin::Cancelada;
    if (!puerto.PortOpen()) {
        // The device went away under the wait: the link fails now, not five
        // ticks later after resends to a closed port. A port the program closed
        // itself (a link failure run inside this wait) is not failed twice.
        if (Estado.Comunicacion_OK && puerto.Perdido())
            Rele_No_Responde();
        Estado.Comunicacion_OK = false;
        Estado.Ocupado = false;
        return Fin::Sin_Respuesta;
    }
    if (excepcion() && !llego()) {
        Estado.Codigo_Excepcion = static_cast<uint8_t>(entrada[2]);
        return Fin::Excepcion;
    }
    // A reply that is all there is taken, even when the ticks ran out meanwhile:
    // a dialog the operator kept open inside this wait (the numeric keypad
    // opened during a poll) holds the wait, not the relay.
    if (!llego()) {
        Rele_No_Responde();
        return Fin::Sin_Respuesta;
    }
    // Whatever came after the first `largo` bytes is dropped.
    for (std::size_t i = 1; i <= largo; ++i)
        respuesta[i] = static_cast<uint8_t>(entrada[static_cast<qsizetype>(i) - 1]);
    ++Estado.Intercambios;
    return Fin::Respuesta;
}

// How an exchange that took no reply ends its transaction.
Resultado Resultado_De(Fin fin) {
    switch (fin) {
    case Fin::Cancelada:
        return Resultado::Cancelada;
    case Fin::Excepcion:
        return Resultado::Excepcion;
    case Fin::Sin_Respuesta:
    case Fin::Respuesta:
        break;
    }
    return Resultado::Sin_Respuesta;
}

// The common part of the three register reads: the busy guard, the request
// (function, first register, count), the exchange and the CRC test.
template <std::size_t M>
Resultado Lee_Registros(uint8_t funcion, uint16_t primero, uint16_t cantidad, Imagen<M> &respuesta,
                        bool cancelable) {
    if (Estado.Ocupado)
        return Resultado::Omitida;
    Estado.Ocupado = true;
    if (!Puerto_Abierto()) {
        // A device that went away while the link was up (an adapter pulled out
        // between two polls) fails the link as a silent relay does, once: the
        // failure takes the link flag down, so later reads stay quiet.
        const bool perdido = Estado.Comunicacion_OK && Host().MSComm1 && Host().MSComm1->Perdido();
        if (perdido)
            Rele_No_Responde();
        Estado.Comunicacion_OK = false;
        Estado.Ocupado = false;
        return perdido ? Resultado::Sin_Respuesta : Resultado::Omitida;
    }
    Vacia_Entrada();
    auto &t = Estado.Trama_Peticion;
    Arma_Peticion_Lectura(t, Estado.Direccion_Rele, funcion, primero, cantidad);
    const std::size_t largo = 5u + 2u * cantidad;
    switch (Intercambia(t, 8, respuesta, largo, cancelable)) {
    case Fin::Cancelada:
        // OFF clears the busy flag itself; an interrupted kv73ctl has no OFF.
        if (Estado.Interrupcion)
            Estado.Ocupado = false;
        return Resultado::Cancelada;
    case Fin::Sin_Respuesta:
        return Resultado::Sin_Respuesta;
    case Fin::Excepcion:
        Estado.Ocupado = false;
        return Resultado::Excepcion;
    case Fin::Respuesta:
        break;
    }
    if (CRC_Correcto(respuesta, largo))
        return Resultado::Buena;
    ++Estado.Respuestas_Malas;
    return Resultado::Mala;
}

// A bad reply of a register read; the count is shared by the three reads, so a
// noisy line ends the link whichever read meets it.
void Cuenta_Error_CRC(int16_t limite) {
    ++Estado.Errores_CRC;
    if (Estado.Errores_CRC >= limite) {
        Estado.Errores_CRC = 0;
        Rele_No_Responde();
    }
}

} // namespace

void Rele_No_Responde() {
    Estado.Comunicacion_OK = false;
    Estado.Ocupado = false;
    ++Estado.Fallos_Enlace;
    Host().Textos->Escribe_Estado_Enlace(T::Enlace_Caido);
    Host().Textos->Escribe_Panel(6, T::No_Comunicando);
    if (Puerto_Abierto()) {
        Host().MSComm1->Output(QByteArray(1, '\0'));
        Host().MSComm1->Set_PortOpen(false);
    }
    Host().Dialogos->Mensaje(T::Rele_No_Responde, T::Titulo_Fallo);
}

Resultado Lee_Identificacion(uint8_t) {
    const Resultado r = Lee_Registros(0x04, 0x0000, 3, Estado.Respuesta_Identificacion, false);
    switch (r) {
    case Resultado::Mala:
        Cuenta_Error_CRC(30);
        Estado.Ocupado = false;
        break;
    case Resultado::Buena:
        Estado.Identificacion.Copia(1, Estado.Respuesta_Identificacion, 1, 9);
        Estado.Errores_CRC = 0;
        Estado.Ocupado = false;
        break;
    default:
        break;
    }
    return r;
}

bool Verifica_Identificacion() {
    const auto &id = Estado.Identificacion;
    const auto bajo = [&](const char *registro) {
        return id[static_cast<std::size_t>(Posicion_Id(QLatin1String(registro))) + 1];
    };
    return bajo("0000") == 2 && bajo("0001") == 1;
}

double Posicion_Id(const QString &direccion) {
    return 2.0 * direccion.trimmed().toUInt(nullptr, 16) + 4;
}

void Arma_Trama_Escritura(uint8_t direccion) {
    auto &p = Estado.Trama_Peticion;
    p[1] = direccion;
    p[2] = 0x10;
    p[3] = 0x01;
    p[4] = 0x00;
    p[5] = 0x00;
    p[6] = 0x06;
    p[7] = 0x0C;
    Estado.Trama_Escritura.Copia(1, p, 1, 7);
    Estado.Trama_Escritura.Copia(8, Estado.Set_Setpoints, 4, 12);
}

void Restaura_Set_Setpoints(uint8_t) {
    Estado.Set_Setpoints.Copia(4, Estado.Trama_Escritura, 8, 12);
}

Resultado Lee_Setpoints(uint8_t direccion) {
    for (;;) {
        const Resultado r = Lee_Registros(0x03, 0x0100, 6, Estado.Set_Setpoints, true);
        if (r == Resultado::Mala) {
            Cuenta_Error_CRC(10);
            // The editors never show a damaged reply: back to the last known values.
            Restaura_Set_Setpoints(direccion);
            Estado.Ocupado = false;
            if (Estado.Errores_CRC != 0)
                continue;
            return Estado.Comunicacion_OK ? r : Resultado::Sin_Respuesta;
        }
        if (r == Resultado::Buena) {
            Estado.Errores_CRC = 0;
            Host().Textos->Escribe_Estado_Enlace(T::Enlace_Activo);
            Arma_Trama_Escritura(direccion);
            // Edits not yet sent give way to what the relay holds.
            Estado.Nuevos_Setpoints.Copia(1, Estado.Trama_Escritura, 1, 19);
            Estado.Edicion_Pendiente = false;
            Estado.Ocupado = false;
        }
        return r;
    }
}

Resultado Lee_Valores_Actuales(uint8_t) {
    const Resultado r = Lee_Registros(0x04, 0x0200, 14, Estado.Respuesta_Actuales, false);
    switch (r) {
    case Resultado::Mala:
        // No repeat: the next tick polls again.
        Cuenta_Error_CRC(30);
        Estado.Ocupado = false;
        break;
    case Resultado::Buena:
        Estado.Valores_Actuales.Copia(1, Estado.Respuesta_Actuales, 1, 31);
        Estado.Errores_CRC = 0;
        Estado.Ocupado = false;
        break;
    default:
        break;
    }
    return r;
}

Resultado Escribe_Setpoints(uint8_t direccion) {
    // The write takes no busy flag: a poll may run inside its wait.
    if (!Puerto_Abierto() || !Estado.Comunicacion_OK)
        return Resultado::Omitida;
    Vacia_Entrada();
    auto &t = Estado.Trama_Escritura;
    t.Copia(8, Estado.Nuevos_Setpoints, 8, 12);
    t[1] = Estado.Direccion_Rele;
    t[2] = 0x10;
    t[3] = 0x01;
    t[4] = 0x00;
    t[5] = 0x00;
    t[6] = 0x06;
    t[7] = 0x0C;
    Pon_CRC(t, 21);
    // On a timeout the frame keeps the unconfirmed values until the next read.
    if (const Fin fin = Intercambia(t, 21, Estado.Respuesta_Escritura, 8, false);
        fin != Fin::Respuesta)
        return Resultado_De(fin);
    // Only the CRC is judged; the echoed register and count are not compared.
    if (!CRC_Correcto(Estado.Respuesta_Escritura, 8)) {
        ++Estado.Respuestas_Malas;
        Host().Dialogos->Mensaje(T::Error_Escritura, T::Titulo);
        // The frame goes back to what the relay last reported; the edits stay in
        // Nuevos_Setpoints so that the operator can send them again.
        Arma_Trama_Escritura(direccion);
        return Resultado::Mala;
    }
    Host().Dialogos->Mensaje(T::Setpoints_Grabados, T::Titulo);
    // The editors show what the relay now holds without waiting for a read.
    Restaura_Set_Setpoints(direccion);
    Estado.Edicion_Pendiente = false;
    return Resultado::Buena;
}

Resultado Ejecuta_Comando(uint8_t direccion, int32_t &comando) {
    if (!Puerto_Abierto() || !Estado.Comunicacion_OK)
        return Resultado::Omitida;
    Vacia_Entrada();
    auto &t = Estado.Trama_Comando;
    t[1] = direccion;
    t[2] = 0x05;
    t[3] = static_cast<uint8_t>((comando >> 8) & 0xFF);
    t[4] = static_cast<uint8_t>(comando & 0xFF);
    t[5] = 0xFF;
    t[6] = 0x00;
    Pon_CRC(t, 8);
    if (const Fin fin = Intercambia(t, 8, Estado.Respuesta_Comando, 8, false);
        fin != Fin::Respuesta)
        return Resultado_De(fin);
    const bool buena = CRC_Correcto(Estado.Respuesta_Comando, 8);
    if (!buena)
        ++Estado.Respuestas_Malas;
    // Commands 1 and 2 bracket a setpoint write and the switch-off: silent.
    if (comando != 1 && comando != 2)
        Host().Dialogos->Mensaje(buena ? T::Comando_Ejecutado : T::Error_Comando, T::Titulo);
    return buena ? Resultado::Buena : Resultado::Mala;
}
