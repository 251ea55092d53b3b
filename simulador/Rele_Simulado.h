#pragma once
// The KV-73 relay as seen from the line: one request frame in, one reply out.
// Nothing here touches a port or a clock, so the program's tests and kv73-sim
// run the very same relay; timing (delays, split replies) is handed back as
// data for whoever owns the line.

#include "simulador/Linea_Simulada.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

// The two probe-fault codes the relay puts in place of a temperature.
inline constexpr int16_t Codigo_Fcc = -11; // probe shorted
inline constexpr int16_t Codigo_Fco = 231; // probe open

// Ways the simulated relay misbehaves, so the program's failure paths can be
// shown and tested. Everything off by default: a healthy relay.
struct Fallos {
    bool Silencioso = false;     // never answers
    int Silencio_Tras = -1;      // answers this many requests, then goes silent (<0: never)
    int CRC_Malo_Cada = 0;       // every Nth reply carries a bad CRC (0: never)
    int Partir_ms = -1;          // reply sent in two halves this far apart (<0: whole)
    int Basura = 0;              // random bytes appended after each reply
    bool Excepcion = false;      // exception 04 to every request
    bool Otra_Direccion = false; // replies carry address + 1, with a good CRC
    int Retardo_ms = 0;          // wait before each reply
    std::array<int16_t, 4> Fallo_Sonda{};       // per probe: 0, Codigo_Fcc or Codigo_Fco
    std::optional<uint16_t> Identificacion_3{}; // third identification register, if not the usual
};

class Rele_Simulado {
  public:
    explicit Rele_Simulado(uint8_t direccion = 1, Fallos fallos = {}, uint32_t semilla = 1);

    // The reply to one complete request, in the pieces the line should carry.
    // Empty when the relay stays quiet (not its address, bad CRC, silent).
    std::vector<Trozo> Responde_Por_Partes(const QByteArray &peticion);
    // The same reply with its pieces joined, for callers without a clock.
    QByteArray Responde(const QByteArray &peticion);

    // Lets simulated time pass: the probes drift one small random step every
    // Paso_ms, reproducibly for a given seed.
    void Avanza(int ms);
    static constexpr int Paso_ms = 500;

    // --drift: instead of the random walk, each probe follows a slow sine from
    // 10 °C below Low Fan to 10 °C above L2 (a few minutes a period, each probe
    // a little behind the one before) with a little noise, so that the L1, L2
    // and FAN lamps light and go out by the relay's own setpoints. A lamp that
    // has just changed blinks for Pasos_Cruce steps.
    void Activa_Deriva();
    static constexpr int Periodo_Deriva_ms = 6 * 60 * 1000;
    static constexpr int Pasos_Cruce = 6;

    // Probe `sonda` (1..4) in whole degrees.
    int Temperatura(int sonda) const;
    // The word any register of the relay holds right now (0 for unknown ones).
    uint16_t Registro(uint16_t direccion) const;

    uint8_t Direccion() const { return Direccion_; }
    Fallos &Fallos_Activos() { return Fallos_; }

  private:
    QByteArray Atiende(const QByteArray &peticion);
    QByteArray Lee_Registros(const QByteArray &peticion);
    QByteArray Escribe_Registros(const QByteArray &peticion);
    QByteArray Escribe_Bobina(const QByteArray &peticion);
    QByteArray Excepcion(uint8_t funcion, uint8_t codigo) const;
    std::vector<Trozo> Estropea(QByteArray respuesta);

    bool Sonda_En_Uso(int k) const;
    bool Sonda_Sana(int k) const;
    uint16_t Palabra_Temperatura(int k) const;
    uint16_t Palabra_Maximo(int k) const;
    struct Lamparas {
        uint16_t Encendidas = 0;  // register 0x020A
        uint16_t Parpadeando = 0; // register 0x020B
    };
    Lamparas Estado_Lamparas() const;
    void Actualiza_Maximos_y_Ventilador();
    void Paso_Deriva();
    void Marca_Cruces();

    uint8_t Direccion_;
    Fallos Fallos_;
    std::mt19937 Azar_Sondas;
    std::mt19937 Azar_Basura;
    int Tiempo_Acumulado_ms = 0;
    int Respuestas_Dadas = 0;

    std::array<uint16_t, 6> Setpoints{90, 110, 60, 75, 0x000B, 0x0000};
    std::array<int, 4> Decimas{}; // probe temperatures in tenths of a degree
    std::array<int, 4> Maximos{}; // whole degrees
    bool Ventilador = false;
    bool Programando = false;
    bool Deriva = false;
    int64_t Reloj_Deriva_ms = 0;
    uint16_t Umbrales_Previos = 0; // L1, L2 and FAN lamps at the last step
    std::array<int, 16> Cruces{};  // per lamp bit: steps left blinking
};
