#include "simulador/Rele_Simulado.h"

#include "protocolo/Crc.h"
#include "protocolo/Tramas.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint8_t Funcion_Ilegal = 0x01;
constexpr uint8_t Direccion_Ilegal = 0x02;
constexpr uint8_t Valor_Ilegal = 0x03;
constexpr uint8_t Fallo_Del_Equipo = 0x04;

constexpr uint16_t Base_Identificacion = 0x0000;
constexpr uint16_t Base_Setpoints = 0x0100;
constexpr uint16_t Base_Actuales = 0x0200;
constexpr int Maximo_Setpoint = 220;

// Indexes into the setpoint block 0x0100..0x0105.
enum { L1, L2, Low_Fan, High_Fan, Opciones, Reservado };

// Option bits of register 0x0104.
constexpr uint16_t Cuatro_Sondas = 1u << 0;
constexpr uint16_t Con_Ventilador = 1u << 1;
constexpr uint16_t Ventilador_Con_Cuatro = 1u << 2;

// Lamp bits of registers 0x020A / 0x020B, as the main page reads them.
constexpr uint16_t Lampara_Prog = 1u << 0;
constexpr uint16_t Lampara_Tmax = 1u << 1;
constexpr uint16_t Lampara_Aut = 1u << 2;
constexpr uint16_t Lampara_L1 = 1u << 3;
constexpr uint16_t Lampara_L2 = 1u << 4;
constexpr uint16_t Lampara_FAN = 1u << 5;
constexpr uint16_t Lampara_Fault = 1u << 6;
constexpr int Bit_Lampara_Pt1 = 7;

uint16_t Palabra(const QByteArray &trama, qsizetype i) {
    return static_cast<uint16_t>((static_cast<uint8_t>(trama[i]) << 8) |
                                 static_cast<uint8_t>(trama[i + 1]));
}

void Agrega_Palabra(QByteArray &trama, uint16_t valor) {
    trama.append(static_cast<char>(valor >> 8));
    trama.append(static_cast<char>(valor & 0xFF));
}

bool Dentro(uint16_t primero, uint16_t cuantos, uint16_t base, int largo_bloque) {
    return primero >= base && int(primero) + int(cuantos) <= int(base) + largo_bloque;
}

// The relay refuses a block it could not work with: a trip below its alarm,
// a fan that would stop above the temperature that starts it.
bool Setpoints_Validos(const std::array<uint16_t, 6> &s) {
    return s[L1] <= Maximo_Setpoint && s[L2] >= s[L1] && s[L2] <= Maximo_Setpoint &&
           s[Low_Fan] <= Maximo_Setpoint && s[High_Fan] >= s[Low_Fan] &&
           s[High_Fan] <= Maximo_Setpoint;
}

} // namespace

Rele_Simulado::Rele_Simulado(uint8_t direccion, Fallos fallos, uint32_t semilla)
    : Direccion_(direccion), Fallos_(fallos), Azar_Sondas(semilla), Azar_Basura(semilla ^ 0x5EED) {
    // Start the probes somewhere in a transformer's ordinary 60..80 °C.
    for (int &d : Decimas)
        d = 600 + static_cast<int>(Azar_Sondas() % 200);
    Actualiza_Maximos_y_Ventilador();
}

std::vector<Trozo> Rele_Simulado::Responde_Por_Partes(const QByteArray &peticion) {
    // Like the real relay on a shared line: a frame that is damaged or meant
    // for another slave gets no answer at all.
    if (peticion.size() < 4 || !CRC_Valido(peticion))
        return {};
    if (static_cast<uint8_t>(peticion[0]) != Direccion_)
        return {};
    if (Fallos_.Silencioso ||
        (Fallos_.Silencio_Tras >= 0 && Respuestas_Dadas >= Fallos_.Silencio_Tras))
        return {};
    const QByteArray respuesta =
        Fallos_.Excepcion ? Excepcion(static_cast<uint8_t>(peticion[1]), Fallo_Del_Equipo)
                          : Atiende(peticion);
    ++Respuestas_Dadas;
    return Estropea(respuesta);
}

QByteArray Rele_Simulado::Responde(const QByteArray &peticion) {
    QByteArray junta;
    for (const Trozo &t : Responde_Por_Partes(peticion))
        junta += t.Bytes;
    return junta;
}

QByteArray Rele_Simulado::Atiende(const QByteArray &peticion) {
    const auto funcion = static_cast<uint8_t>(peticion[1]);
    switch (funcion) {
    case Funcion_Lee_Retencion:
    case Funcion_Lee_Entrada:
        return Lee_Registros(peticion);
    case Funcion_Escribe_Bobina:
        return Escribe_Bobina(peticion);
    case Funcion_Escribe_Registros:
        return Escribe_Registros(peticion);
    default:
        return Excepcion(funcion, Funcion_Ilegal);
    }
}

QByteArray Rele_Simulado::Lee_Registros(const QByteArray &peticion) {
    const auto funcion = static_cast<uint8_t>(peticion[1]);
    if (peticion.size() != Largo_Peticion(funcion))
        return Excepcion(funcion, Valor_Ilegal);
    const uint16_t primero = Palabra(peticion, 2);
    const uint16_t cuantos = Palabra(peticion, 4);
    if (cuantos < 1 || cuantos > 125)
        return Excepcion(funcion, Valor_Ilegal);
    // Holding registers are the setpoints; input registers are identification
    // and actual values. A read may take any part of one block, never span two.
    const bool existe = funcion == Funcion_Lee_Retencion
                            ? Dentro(primero, cuantos, Base_Setpoints, 6)
                            : Dentro(primero, cuantos, Base_Identificacion, 3) ||
                                  Dentro(primero, cuantos, Base_Actuales, 14);
    if (!existe)
        return Excepcion(funcion, Direccion_Ilegal);

    QByteArray respuesta;
    respuesta.append(static_cast<char>(Direccion_));
    respuesta.append(static_cast<char>(funcion));
    respuesta.append(static_cast<char>(2 * cuantos));
    for (uint16_t k = 0; k < cuantos; ++k)
        Agrega_Palabra(respuesta, Registro(static_cast<uint16_t>(primero + k)));
    Agrega_CRC(respuesta);
    return respuesta;
}

QByteArray Rele_Simulado::Escribe_Registros(const QByteArray &peticion) {
    if (peticion.size() < Largo_Peticion(Funcion_Escribe_Registros))
        return Excepcion(Funcion_Escribe_Registros, Valor_Ilegal);
    const uint16_t primero = Palabra(peticion, 2);
    const uint16_t cuantos = Palabra(peticion, 4);
    const auto bytes = static_cast<uint8_t>(peticion[6]);
    if (cuantos < 1 || cuantos > 123 || bytes != 2 * cuantos ||
        peticion.size() != Largo_Peticion(Funcion_Escribe_Registros, bytes))
        return Excepcion(Funcion_Escribe_Registros, Valor_Ilegal);
    if (!Dentro(primero, cuantos, Base_Setpoints, 6))
        return Excepcion(Funcion_Escribe_Registros, Direccion_Ilegal);

    // Judge the block as it would stand after the write, so that raising L1
    // and L2 together in one frame is accepted.
    auto nuevos = Setpoints;
    for (uint16_t k = 0; k < cuantos; ++k)
        nuevos[primero - Base_Setpoints + k] = Palabra(peticion, 7 + 2 * k);
    if (!Setpoints_Validos(nuevos))
        return Excepcion(Funcion_Escribe_Registros, Valor_Ilegal);
    Setpoints = nuevos;
    Actualiza_Maximos_y_Ventilador();

    QByteArray respuesta = peticion.left(6);
    Agrega_CRC(respuesta);
    return respuesta;
}

QByteArray Rele_Simulado::Escribe_Bobina(const QByteArray &peticion) {
    if (peticion.size() != Largo_Peticion(Funcion_Escribe_Bobina))
        return Excepcion(Funcion_Escribe_Bobina, Valor_Ilegal);
    const uint16_t bobina = Palabra(peticion, 2);
    if (bobina != 1 && bobina != 2 && bobina != 16)
        return Excepcion(Funcion_Escribe_Bobina, Direccion_Ilegal);
    // The coils are commands: only "on" means anything to the relay.
    if (Palabra(peticion, 4) != 0xFF00)
        return Excepcion(Funcion_Escribe_Bobina, Valor_Ilegal);
    if (bobina == 1)
        Programando = true;
    else if (bobina == 2)
        Programando = false;
    else
        for (int k = 0; k < 4; ++k)
            Maximos[k] = Temperatura(k + 1);
    return peticion;
}

QByteArray Rele_Simulado::Excepcion(uint8_t funcion, uint8_t codigo) const {
    QByteArray respuesta;
    respuesta.append(static_cast<char>(Direccion_));
    respuesta.append(static_cast<char>(funcion | Bit_Excepcion));
    respuesta.append(static_cast<char>(codigo));
    Agrega_CRC(respuesta);
    return respuesta;
}

std::vector<Trozo> Rele_Simulado::Estropea(QByteArray respuesta) {
    if (Fallos_.Otra_Direccion) {
        respuesta.chop(2);
        respuesta[0] = static_cast<char>(Direccion_ + 1);
        Agrega_CRC(respuesta);
    }
    if (Fallos_.CRC_Malo_Cada > 0 && Respuestas_Dadas % Fallos_.CRC_Malo_Cada == 0)
        respuesta[respuesta.size() - 1] = static_cast<char>(respuesta.back() ^ 0x5A);
    for (int i = 0; i < Fallos_.Basura; ++i)
        respuesta.append(static_cast<char>(Azar_Basura() & 0xFF));
    if (Fallos_.Partir_ms >= 0 && respuesta.size() > 1) {
        const qsizetype mitad = respuesta.size() / 2;
        return {{Fallos_.Retardo_ms, respuesta.left(mitad)},
                {Fallos_.Partir_ms, respuesta.mid(mitad)}};
    }
    return {{Fallos_.Retardo_ms, respuesta}};
}

void Rele_Simulado::Activa_Deriva() {
    Deriva = true;
    Paso_Deriva();
    Actualiza_Maximos_y_Ventilador();
    Umbrales_Previos = Estado_Lamparas().Encendidas & (Lampara_L1 | Lampara_L2 | Lampara_FAN);
}

void Rele_Simulado::Paso_Deriva() {
    constexpr double Pi = 3.14159265358979323846;
    const double bajo = Setpoints[Low_Fan] - 10.0;
    const double alto = Setpoints[L2] + 10.0;
    const double fase = 2 * Pi * static_cast<double>(Reloj_Deriva_ms) / Periodo_Deriva_ms;
    for (int k = 0; k < 4; ++k) {
        const double grados = (bajo + alto) / 2 + (alto - bajo) / 2 * std::sin(fase - k * Pi / 8);
        const int ruido = static_cast<int>(Azar_Sondas() % 7) - 3;
        Decimas[k] = static_cast<int>(std::lround(grados * 10)) + ruido;
    }
    Reloj_Deriva_ms += Paso_ms;
}

// A lamp that went on or off in this step blinks for a while.
void Rele_Simulado::Marca_Cruces() {
    const uint16_t umbrales =
        Estado_Lamparas().Encendidas & (Lampara_L1 | Lampara_L2 | Lampara_FAN);
    for (int b = 0; b < 16; ++b) {
        if (Cruces[b] > 0)
            --Cruces[b];
        if (((umbrales ^ Umbrales_Previos) >> b) & 1u)
            Cruces[b] = Pasos_Cruce;
    }
    Umbrales_Previos = umbrales;
}

void Rele_Simulado::Avanza(int ms) {
    if (ms <= 0)
        return;
    Tiempo_Acumulado_ms += ms;
    while (Tiempo_Acumulado_ms >= Paso_ms) {
        Tiempo_Acumulado_ms -= Paso_ms;
        if (Deriva) {
            Paso_Deriva();
            Actualiza_Maximos_y_Ventilador();
            Marca_Cruces();
            continue;
        }
        // A random walk of up to 0.3 °C a step, leaning back towards 60..80 °C
        // so that a long run neither freezes nor trips by itself.
        for (int &d : Decimas) {
            int paso = static_cast<int>(Azar_Sondas() % 7) - 3;
            if (d < 600)
                ++paso;
            else if (d > 800)
                --paso;
            d += paso;
        }
    }
    Actualiza_Maximos_y_Ventilador();
}

int Rele_Simulado::Temperatura(int sonda) const {
    const int d = Decimas[sonda - 1];
    return (d >= 0 ? d + 5 : d - 5) / 10;
}

uint16_t Rele_Simulado::Registro(uint16_t direccion) const {
    switch (direccion) {
    case 0x0000:
        return 0x0002;
    case 0x0001:
        return 0x0001;
    case 0x0002:
        return Fallos_.Identificacion_3.value_or(0x0073);
    case 0x020A:
        return Estado_Lamparas().Encendidas;
    case 0x020B:
        return Estado_Lamparas().Parpadeando;
    default:
        break;
    }
    if (direccion >= Base_Setpoints && direccion < Base_Setpoints + 6)
        return Setpoints[direccion - Base_Setpoints];
    if (direccion >= Base_Actuales && direccion < Base_Actuales + 4)
        return Palabra_Temperatura(direccion - Base_Actuales);
    if (direccion >= Base_Actuales + 4 && direccion < Base_Actuales + 8)
        return Palabra_Maximo(direccion - Base_Actuales - 4);
    return 0; // status words 0x0208, 0x0209 and the spare 0x020C, 0x020D
}

bool Rele_Simulado::Sonda_En_Uso(int k) const {
    return k < 3 || (Setpoints[Opciones] & Cuatro_Sondas);
}

bool Rele_Simulado::Sonda_Sana(int k) const {
    return Fallos_.Fallo_Sonda[k] == 0;
}

uint16_t Rele_Simulado::Palabra_Temperatura(int k) const {
    return static_cast<uint16_t>(Sonda_Sana(k) ? Temperatura(k + 1) : Fallos_.Fallo_Sonda[k]);
}

// A broken probe has no maximum worth showing; the relay repeats the fault code.
uint16_t Rele_Simulado::Palabra_Maximo(int k) const {
    return static_cast<uint16_t>(Sonda_Sana(k) ? Maximos[k] : Fallos_.Fallo_Sonda[k]);
}

Rele_Simulado::Lamparas Rele_Simulado::Estado_Lamparas() const {
    Lamparas l;
    l.Encendidas = Lampara_Aut; // this relay always works in automatic mode
    if (Programando)
        l.Encendidas |= Lampara_Prog;
    if (Ventilador && (Setpoints[Opciones] & Con_Ventilador))
        l.Encendidas |= Lampara_FAN;
    for (int k = 0; k < 4; ++k) {
        if (!Sonda_En_Uso(k))
            continue;
        l.Encendidas |= static_cast<uint16_t>(1u << (Bit_Lampara_Pt1 + k));
        // A broken probe reads as a code, not a temperature: it lights Fault
        // and must not raise an alarm or a trip by its code's value.
        if (!Sonda_Sana(k)) {
            l.Encendidas |= Lampara_Fault;
            l.Parpadeando |= Lampara_Fault;
            continue;
        }
        const int t = Temperatura(k + 1);
        if (t >= Setpoints[L1])
            l.Encendidas |= Lampara_L1;
        if (t >= Setpoints[L2]) {
            l.Encendidas |= Lampara_L2;
            l.Parpadeando |= Lampara_L2;
        }
        if (Maximos[k] >= Setpoints[L1])
            l.Encendidas |= Lampara_Tmax;
    }
    if (Deriva)
        for (int b = 0; b < 16; ++b)
            if (Cruces[b] > 0)
                l.Parpadeando |= static_cast<uint16_t>(1u << b);
    return l;
}

void Rele_Simulado::Actualiza_Maximos_y_Ventilador() {
    for (int k = 0; k < 4; ++k)
        Maximos[k] = std::max(Maximos[k], Temperatura(k + 1));

    // The fan starts when a fan probe reaches High Fan and stops only when all
    // of them are below Low Fan, so it does not chatter around one threshold.
    const bool cuarta = (Setpoints[Opciones] & (Cuatro_Sondas | Ventilador_Con_Cuatro)) ==
                        (Cuatro_Sondas | Ventilador_Con_Cuatro);
    bool alguna_caliente = false;
    bool todas_frias = true;
    for (int k = 0; k < (cuarta ? 4 : 3); ++k) {
        if (!Sonda_Sana(k))
            continue;
        alguna_caliente = alguna_caliente || Temperatura(k + 1) >= Setpoints[High_Fan];
        todas_frias = todas_frias && Temperatura(k + 1) < Setpoints[Low_Fan];
    }
    if (alguna_caliente)
        Ventilador = true;
    else if (todas_frias)
        Ventilador = false;
}
