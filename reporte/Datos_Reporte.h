#pragma once
// What the report page shows, as texts: QtCore only, so that the relay's images
// are read where the relay is talked to, and the page itself (REPORTE, with its
// fonts) needs nothing of the link. kv73ctl draws the page in a module of its
// own, loaded only by `report`, and hands it these texts.

#include <QString>
#include <array>

// What the report copies from the main page: the texts of its setpoint controls
// in the order of SETP(0..7) (RTD list, L1, L2, fan list, Low Fan, High Fan,
// fan-probe list, weekly list) and whether its RTD list has "3" selected. The
// report reads nothing of the main page itself, so a program without one
// (kv73ctl) can fill this from the images.
struct Textos_Pagina {
    std::array<QString, 8> setp;
    bool tres_sondas = false;
};

// The same texts computed from the relay's setpoint image Set_Setpoints, as the
// main page shows them right after a setpoint read or a file load: temperatures
// as the editors write them ("85 °C"), option bits of register 0x0104 as the
// lists' items.
Textos_Pagina Textos_Desde_Imagenes();

// Where the present temperatures come from. The desktop program prints what its
// main page shows: "Fco" for all four while the link is down. A report made from
// a setpoint file (kv73ctl) prints the temperatures stored in it instead.
enum class Temperaturas { Segun_Enlace, Guardadas };

// The four probes' present temperatures and maxima as the page prints them.
struct Temperaturas_Pagina {
    std::array<QString, 4> actual;
    std::array<QString, 4> maximo;
};

// Those texts from the actual-value image Valores_Actuales.
Temperaturas_Pagina Temperaturas_Desde_Imagenes(Temperaturas origen);
