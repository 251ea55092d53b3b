#pragma once
// The printed report: one page with the company heading, the print date, the
// probe temperatures and their maxima, and the setpoints as the main page shows
// them. The page is a plain description (texts, fonts, frames, boxes) that needs
// QtGui only, so that kv73ctl can draw it without widgets; Dibuja_Reporte puts it
// on the paper or into a PDF, the same page for the desktop program and kv73ctl.

#include <QFont>
#include <QRect>
#include <QString>
#include <array>
#include <memory>
#include <vector>

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

// One item of the page, placed like a control on a form: its area in page pixels
// (twips / 15) from the top left corner of the item that holds it. Hiding an
// item hides what it holds.
struct Control_Reporte {
    enum class Tipo {
        Etiqueta, // one line of text
        Marco,    // a frame whose caption interrupts its top line
        Caja,     // a plain box
        Grupo,    // holds other items, draws nothing itself
    };
    Tipo tipo = Tipo::Grupo;
    QRect area;
    QString texto; // an Etiqueta's text or a Marco's caption
    QFont letra;
    Qt::Alignment alineacion = Qt::AlignLeft | Qt::AlignVCenter;
    bool oculto = false;
    std::vector<std::unique_ptr<Control_Reporte>> hijos;

    Control_Reporte *Agrega(Tipo t, QRect a, QString txt = {}, QFont f = {});
};

class REPORTE {
  public:
    // The page in twips: A4, the paper the report was laid out on.
    static constexpr int Ancho_Twips = 11906;
    static constexpr int Alto_Twips = 16838;

    REPORTE();
    REPORTE(const REPORTE &) = delete;
    REPORTE &operator=(const REPORTE &) = delete;

    // Fills every value of the page: the date of today, the temperatures of
    // Valores_Actuales and the setpoint texts given.
    void Form_Load(const Textos_Pagina &textos, Temperaturas origen = Temperaturas::Segun_Enlace);

    // The whole page, in pixels.
    const Control_Reporte &Pagina() const { return pagina_; }
    int width() const { return pagina_.area.width(); }
    int height() const { return pagina_.area.height(); }

    // Heading.
    Control_Reporte *Label49 = nullptr;         // company name
    std::array<Control_Reporte *, 3> Label50{}; // [1] "Relay Type:", [2] "KV - 73"
    Control_Reporte *Label103 = nullptr;        // "Print Date:"
    Control_Reporte *Fecha = nullptr;

    // "Actual Values".
    Control_Reporte *Frame2 = nullptr;
    Control_Reporte *RTD = nullptr;
    std::array<Control_Reporte *, 4> Actual{};
    std::array<Control_Reporte *, 4> Tmaximun{};
    Control_Reporte *Sonda_4 = nullptr; // the Pt4 row, hidden with three probes

    // "Set Points".
    Control_Reporte *Frame1 = nullptr;
    Control_Reporte *Frame3 = nullptr; // rows 4..7, always shown
    std::array<Control_Reporte *, 8> SETP{};

  private:
    Control_Reporte pagina_;
};
