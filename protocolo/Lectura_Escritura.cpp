// The CRC texts and the five relay transactions.

#include "protocolo/Lectura_Escritura.h"

#include "comun/Operador.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Crc.h"
#include "protocolo/Enlace_Rele.h"
#include "protocolo/Tramas.h"

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

// "0E", "FF": the hex digits of a CRC byte, as the text computation writes them.
QString Texto_Byte(uint8_t b) {
    static constexpr char16_t Digitos[] = u"0123456789ABCDEF";
    const QChar digitos[2] = {QChar(Digitos[b >> 4]), QChar(Digitos[b & 0x0F])};
    return QString(digitos, 2);
}

} // namespace

uint16_t CRC_De(const uint8_t *trama, std::size_t n) {
    const uint16_t crc = CRC16_Modbus(trama + 1, n - 2);
    Estado.CRC_Alto = Texto_Byte(static_cast<uint8_t>(crc >> 8));
    Estado.CRC_Bajo = Texto_Byte(static_cast<uint8_t>(crc & 0xFF));
    Estado.CRC_Texto = Estado.CRC_Alto + Estado.CRC_Bajo;
    return crc;
}

// A frame's bytes 1..n go out as they stand; its reply comes back into bytes
// 1..largo of `respuesta` (bytes past what came stay as they were).
template <std::size_t N, std::size_t M>
Enlace_Rele::Fin Enlace_Rele::Envia_Y_Recibe(const Imagen<N> &peticion, std::size_t n,
                                             Imagen<M> &respuesta, std::size_t largo,
                                             bool cancelable) {
    const QByteArray trama(reinterpret_cast<const char *>(peticion.Datos()) + 1,
                           static_cast<qsizetype>(n));
    QByteArray llegada;
    const Fin fin = Intercambia(trama, llegada, static_cast<qsizetype>(largo), cancelable);
    for (qsizetype i = 0; i < llegada.size(); ++i)
        respuesta[static_cast<std::size_t>(i) + 1] = static_cast<uint8_t>(llegada[i]);
    return fin;
}

// The common part of the three register reads: the busy guard, the request
// (address, function, first register, count), the exchange and the CRC test.
template <std::size_t N>
Resultado Enlace_Rele::Lee_Registros(uint8_t direccion, uint8_t funcion, uint16_t primero,
                                     uint16_t cantidad, Imagen<N> &respuesta, bool cancelable) {
    if (Estado.Ocupado)
        return Resultado::Omitida;
    Estado.Ocupado = true;
    if (!Puerto_Abierto()) {
        // A device that went away while the link was up (an adapter pulled out
        // between two polls) fails the link as a silent relay does, once: the
        // failure takes the link flag down, so later reads stay quiet.
        const bool perdido = Estado.Comunicacion_OK && puerto_.Perdido();
        if (perdido)
            Rele_No_Responde();
        Estado.Comunicacion_OK = false;
        Estado.Ocupado = false;
        return perdido ? Resultado::Sin_Respuesta : Resultado::Omitida;
    }
    Vacia_Entrada();
    auto &t = Estado.Trama_Peticion;
    Arma_Peticion_Lectura(t, direccion, funcion, primero, cantidad);
    const auto largo = static_cast<std::size_t>(Largo_Respuesta(funcion, cantidad));
    switch (Envia_Y_Recibe(t, static_cast<std::size_t>(Largo_Peticion(funcion)), respuesta, largo,
                           cancelable)) {
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
    ++cuentas_.Respuestas_Malas;
    return Resultado::Mala;
}

Resultado Enlace_Rele::Lee_Identificacion(uint8_t direccion) {
    const Resultado r = Lee_Registros(direccion, Funcion_Lee_Entrada, 0x0000, 3,
                                      Estado.Respuesta_Identificacion, false);
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

Resultado Enlace_Rele::Lee_Setpoints(uint8_t direccion) {
    for (;;) {
        const Resultado r =
            Lee_Registros(direccion, Funcion_Lee_Retencion, 0x0100, 6, Estado.Set_Setpoints, true);
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
            textos_.Escribe_Estado_Enlace(T::Enlace_Activo);
            Arma_Trama_Escritura(direccion);
            // Edits not yet sent give way to what the relay holds.
            Estado.Nuevos_Setpoints.Copia(1, Estado.Trama_Escritura, 1, 19);
            Estado.Edicion_Pendiente = false;
            Estado.Ocupado = false;
        }
        return r;
    }
}

Resultado Enlace_Rele::Lee_Valores_Actuales(uint8_t direccion) {
    const Resultado r =
        Lee_Registros(direccion, Funcion_Lee_Entrada, 0x0200, 14, Estado.Respuesta_Actuales, false);
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

Resultado Enlace_Rele::Escribe_Setpoints(uint8_t direccion) {
    // The write takes no busy flag: a poll may run inside its wait.
    if (!Puerto_Abierto() || !Estado.Comunicacion_OK)
        return Resultado::Omitida;
    Vacia_Entrada();
    auto &t = Estado.Trama_Escritura;
    t.Copia(8, Estado.Nuevos_Setpoints, 8, 12);
    t[1] = direccion;
    t[2] = Funcion_Escribe_Registros;
    t[3] = 0x01;
    t[4] = 0x00;
    t[5] = 0x00;
    t[6] = 0x06;
    t[7] = 0x0C;
    constexpr auto n = static_cast<std::size_t>(Largo_Peticion(Funcion_Escribe_Registros, 12));
    constexpr auto largo = static_cast<std::size_t>(Largo_Respuesta(Funcion_Escribe_Registros, 6));
    Pon_CRC(t, n);
    // On a timeout the frame keeps the unconfirmed values until the next read.
    if (const Fin fin = Envia_Y_Recibe(t, n, Estado.Respuesta_Escritura, largo, false);
        fin != Fin::Respuesta)
        return Resultado_De(fin);
    // Only the CRC is judged; the echoed register and count are not compared.
    if (!CRC_Correcto(Estado.Respuesta_Escritura, largo)) {
        ++cuentas_.Respuestas_Malas;
        dialogos_.Mensaje(T::Error_Escritura, T::Titulo);
        // The frame goes back to what the relay last reported; the edits stay in
        // Nuevos_Setpoints so that the operator can send them again.
        Arma_Trama_Escritura(direccion);
        return Resultado::Mala;
    }
    dialogos_.Mensaje(T::Setpoints_Grabados, T::Titulo);
    // The editors show what the relay now holds without waiting for a read.
    Restaura_Set_Setpoints(direccion);
    Estado.Edicion_Pendiente = false;
    return Resultado::Buena;
}

Resultado Enlace_Rele::Ejecuta_Comando(uint8_t direccion, int32_t &comando) {
    if (!Puerto_Abierto() || !Estado.Comunicacion_OK)
        return Resultado::Omitida;
    Vacia_Entrada();
    auto &t = Estado.Trama_Comando;
    t[1] = direccion;
    t[2] = Funcion_Escribe_Bobina;
    t[3] = static_cast<uint8_t>((comando >> 8) & 0xFF);
    t[4] = static_cast<uint8_t>(comando & 0xFF);
    t[5] = 0xFF;
    t[6] = 0x00;
    constexpr auto n = static_cast<std::size_t>(Largo_Peticion(Funcion_Escribe_Bobina));
    constexpr auto largo = static_cast<std::size_t>(Largo_Respuesta(Funcion_Escribe_Bobina, 1));
    Pon_CRC(t, n);
    if (const Fin fin = Envia_Y_Recibe(t, n, Estado.Respuesta_Comando, largo, false);
        fin != Fin::Respuesta)
        return Resultado_De(fin);
    const bool buena = CRC_Correcto(Estado.Respuesta_Comando, largo);
    if (!buena)
        ++cuentas_.Respuestas_Malas;
    // Commands 1 and 2 bracket a setpoint write and the switch-off: silent.
    if (comando != 1 && comando != 2)
        dialogos_.Mensaje(buena ? T::Comando_Ejecutado : T::Error_Comando, T::Titulo);
    return buena ? Resultado::Buena : Resultado::Mala;
}
