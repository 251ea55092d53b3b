#include "protocolo/Lectura_Escritura.h"

#include "comun/Espera.h"
#include "comun/Host.h"
#include "comun/Operador.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Crc.h"

#include <QByteArray>

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

void Vacia_Entrada() {
    Host().MSComm1->Input();
}

// One write a byte, in frame order.
template <std::size_t N> void Envia(const Imagen<N> &trama, std::size_t n) {
    for (std::size_t i = 1; i <= n; ++i)
        Host().MSComm1->Output(QByteArray(1, static_cast<char>(trama[i])));
}

enum class Fin { Respuesta, Sin_Respuesta, Cancelada };

// Where the reply sits in what came in, once it can be judged; nothing while
// more bytes may still complete it. A reply (or an exception reply) to this
// request that starts the input is judged on its first `largo` bytes, good or
// bad. But a slow relay answers a resend too, and that late answer, or its tail,
// can arrive inside the next exchange ahead of its reply. Input that starts with
// anything else is such a leftover: the reply is a whole frame further on that
// starts as it must (address, function, and the byte count of a read or the
// echoed register of a write) and has a good CRC, and it is waited for.
std::optional<qsizetype> Lugar_Respuesta(const QByteArray &entrada, qsizetype largo,
                                         const uint8_t (&inicio)[3]) {
    const auto byte = [&](qsizetype k) { return static_cast<uint8_t>(entrada[k]); };
    const auto crc_bueno = [&](qsizetype k) {
        return CRC_Valido(QByteArray::fromRawData(entrada.constData() + k, largo));
    };
    const bool propia =
        entrada.isEmpty() || (byte(0) == inicio[0] && (entrada.size() < 2 || byte(1) == inicio[1] ||
                                                       byte(1) == (inicio[1] | 0x80)));
    if (propia)
        return entrada.size() >= largo ? std::optional<qsizetype>(0) : std::nullopt;
    for (qsizetype k = 1; k + largo <= entrada.size(); ++k)
        if (byte(k) == inicio[0] && byte(k + 1) == inicio[1] && byte(k + 2) == inicio[2] &&
            crc_bueno(k))
            return k;
    // A relay answering from another address still has its frame taken whole.
    if (entrada.size() >= largo && crc_bueno(0))
        return 0;
    return std::nullopt;
}

template <std::size_t N, std::size_t M>
Fin Intercambia(const Imagen<N> &peticion, std::size_t n, Imagen<M> &respuesta, std::size_t largo,
                bool cancelable) {
    Puerto_Serie &puerto = *Host().MSComm1;
    Temporizador_Comunicacion &timer = *Host().Timer_Comunicacion;
    // How the reply starts: the address and function asked for, then the byte
    // count of a read or the first byte of the register a write echoes.
    const bool lectura = peticion[2] == 0x03 || peticion[2] == 0x04;
    const uint8_t inicio[3] = {peticion[1], peticion[2],
                               lectura ? static_cast<uint8_t>(largo - 5) : peticion[3]};
    // What came in since the request first went out; the bytes of several
    // partial replies add up here.
    QByteArray entrada;
    std::optional<qsizetype> lugar;
    const auto llego = [&] {
        if (puerto.InBufferCount() > 0)
            entrada += puerto.Input();
        lugar = Lugar_Respuesta(entrada, static_cast<qsizetype>(largo), inicio);
        return lugar.has_value();
    };
    const auto cancelada = [&] { return cancelable && Estado.Cancelar_Enlace; };

    struct En_Curso {
        En_Curso() { ++Estado.Intercambios_En_Curso; }
        ~En_Curso() { --Estado.Intercambios_En_Curso; }
    } en_curso;

    if (Estado.Envios_Sin_Respuesta > 0) {
        // The last exchange had to resend, and took one reply: the relay still
        // owes answers to the other sends, and a slow one gives them after the
        // reply that was taken. They are let come and dropped until the line has
        // been quiet for three ticks, so that this exchange's ticks count the wait
        // for its own reply only.
        Estado.Envios_Sin_Respuesta = 0;
        Estado.Segundos = 0;
        uint8_t ultimo = 0;
        Espera_Hasta([&] {
            timer.Set_Enabled(true);
            if (puerto.InBufferCount() > 0) {
                puerto.Input();
                ultimo = Estado.Segundos;
            }
            return Estado.Segundos - ultimo >= 3 || Estado.Segundos >= 15 || cancelada() ||
                   !puerto.PortOpen();
        });
    }

    Estado.Segundos = 0;
    timer.Set_Enabled(true);
    uint8_t limite = 2;
    int envios = 0;
    do {
        Envia(peticion, n);
        ++envios;
        Espera_Hasta([&] {
            // The tick parks itself past 100; every pass wakes it again.
            timer.Set_Enabled(true);
            return llego() || Estado.Segundos >= limite || cancelada();
        });
        ++limite;
    } while (!(llego() || Estado.Segundos >= 5 || cancelada()));
    timer.Set_Enabled(false);

    if (cancelada())
        return Fin::Cancelada;
    // A reply that is all there is taken, even when the ticks ran out meanwhile:
    // a dialog the operator kept open inside this wait (the numeric keypad
    // opened during a poll) holds the wait, not the relay.
    if (!llego() && Estado.Segundos >= 5) {
        Rele_No_Responde();
        return Fin::Sin_Respuesta;
    }
    // Whatever else is waiting goes with the reply: it is dropped.
    llego();
    const qsizetype desde = lugar.value_or(0);
    for (std::size_t i = 1; i <= largo; ++i) {
        const qsizetype k = desde + static_cast<qsizetype>(i) - 1;
        respuesta[i] = k < entrada.size() ? static_cast<uint8_t>(entrada[k]) : 0;
    }
    Estado.Envios_Sin_Respuesta = envios - 1;
    ++Estado.Intercambios;
    return Fin::Respuesta;
}

enum class Lectura { Omitida, Cancelada, Sin_Respuesta, Mala, Buena };

// The common part of the three register reads: the busy guard, the request
// (function, first register, count), the exchange and the CRC test.
template <std::size_t M>
Lectura Lee_Registros(uint8_t funcion, uint16_t primero, uint16_t cantidad, Imagen<M> &respuesta,
                      bool cancelable) {
    if (Estado.Ocupado)
        return Lectura::Omitida;
    Estado.Ocupado = true;
    if (!Puerto_Abierto()) {
        // A device that went away while the link was up (an adapter pulled out
        // between two polls) fails the link as a silent relay does, once: the
        // failure takes the link flag down, so later reads stay quiet.
        if (Estado.Comunicacion_OK && Host().MSComm1 && Host().MSComm1->Perdido())
            Rele_No_Responde();
        Estado.Comunicacion_OK = false;
        Estado.Ocupado = false;
        return Lectura::Omitida;
    }
    Vacia_Entrada();
    auto &t = Estado.Trama_Peticion;
    Arma_Peticion_Lectura(t, Estado.Direccion_Rele, funcion, primero, cantidad);
    const std::size_t largo = 5u + 2u * cantidad;
    switch (Intercambia(t, 8, respuesta, largo, cancelable)) {
    case Fin::Cancelada:
        return Lectura::Cancelada;
    case Fin::Sin_Respuesta:
        return Lectura::Sin_Respuesta;
    case Fin::Respuesta:
        break;
    }
    if (CRC_Correcto(respuesta, largo))
        return Lectura::Buena;
    ++Estado.Respuestas_Malas;
    return Lectura::Mala;
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

void Lee_Identificacion(uint8_t) {
    switch (Lee_Registros(0x04, 0x0000, 3, Estado.Respuesta_Identificacion, false)) {
    case Lectura::Mala:
        Cuenta_Error_CRC(30);
        Estado.Ocupado = false;
        break;
    case Lectura::Buena:
        Estado.Identificacion.Copia(1, Estado.Respuesta_Identificacion, 1, 9);
        Estado.Errores_CRC = 0;
        Estado.Ocupado = false;
        break;
    default:
        break;
    }
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

void Lee_Setpoints(uint8_t direccion) {
    for (;;) {
        const Lectura r = Lee_Registros(0x03, 0x0100, 6, Estado.Set_Setpoints, true);
        if (r == Lectura::Mala) {
            Cuenta_Error_CRC(10);
            // The editors never show a damaged reply: back to the last known values.
            Restaura_Set_Setpoints(direccion);
            Estado.Ocupado = false;
            if (Estado.Errores_CRC != 0)
                continue;
            return;
        }
        if (r == Lectura::Buena) {
            Estado.Errores_CRC = 0;
            Host().Textos->Escribe_Estado_Enlace(T::Enlace_Activo);
            Arma_Trama_Escritura(direccion);
            // Edits not yet sent give way to what the relay holds.
            Estado.Nuevos_Setpoints.Copia(1, Estado.Trama_Escritura, 1, 19);
            Estado.Edicion_Pendiente = false;
            Estado.Ocupado = false;
        }
        return;
    }
}

void Lee_Valores_Actuales(uint8_t) {
    switch (Lee_Registros(0x04, 0x0200, 14, Estado.Respuesta_Actuales, false)) {
    case Lectura::Mala:
        // No repeat: the next tick polls again.
        Cuenta_Error_CRC(30);
        Estado.Ocupado = false;
        break;
    case Lectura::Buena:
        Estado.Valores_Actuales.Copia(1, Estado.Respuesta_Actuales, 1, 31);
        Estado.Errores_CRC = 0;
        Estado.Ocupado = false;
        break;
    default:
        break;
    }
}

bool Escribe_Setpoints(uint8_t direccion) {
    // The write takes no busy flag: a poll may run inside its wait.
    if (!Puerto_Abierto() || !Estado.Comunicacion_OK)
        return false;
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
    if (Intercambia(t, 21, Estado.Respuesta_Escritura, 8, false) != Fin::Respuesta)
        return false;
    // Only the CRC is judged; the echoed register and count are not compared.
    if (!CRC_Correcto(Estado.Respuesta_Escritura, 8)) {
        ++Estado.Respuestas_Malas;
        Host().Dialogos->Mensaje(T::Error_Escritura, T::Titulo);
        // The frame goes back to what the relay last reported; the edits stay in
        // Nuevos_Setpoints so that the operator can send them again.
        Arma_Trama_Escritura(direccion);
        return false;
    }
    Host().Dialogos->Mensaje(T::Setpoints_Grabados, T::Titulo);
    // The editors show what the relay now holds without waiting for a read.
    Restaura_Set_Setpoints(direccion);
    Estado.Edicion_Pendiente = false;
    return true;
}

void Ejecuta_Comando(uint8_t direccion, int32_t &comando) {
    if (!Puerto_Abierto() || !Estado.Comunicacion_OK)
        return;
    Vacia_Entrada();
    auto &t = Estado.Trama_Comando;
    t[1] = direccion;
    t[2] = 0x05;
    t[3] = static_cast<uint8_t>((comando >> 8) & 0xFF);
    t[4] = static_cast<uint8_t>(comando & 0xFF);
    t[5] = 0xFF;
    t[6] = 0x00;
    Pon_CRC(t, 8);
    if (Intercambia(t, 8, Estado.Respuesta_Comando, 8, false) != Fin::Respuesta)
        return;
    const bool buena = CRC_Correcto(Estado.Respuesta_Comando, 8);
    if (!buena)
        ++Estado.Respuestas_Malas;
    // Commands 1 and 2 bracket a setpoint write and the switch-off: silent.
    if (comando != 1 && comando != 2)
        Host().Dialogos->Mensaje(buena ? T::Comando_Ejecutado : T::Error_Comando, T::Titulo);
}
