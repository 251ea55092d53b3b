#pragma once
// The printed report: one page with the company heading, the print date, the
// probe temperatures and their maxima, and the setpoints as the main page shows
// them. The page is a plain description (texts, fonts, frames, boxes) that needs
// QtGui only, so that kv73ctl can draw it without widgets; Dibuja_Reporte puts it
// on the paper or into a PDF, the same page for the desktop program and kv73ctl.

#include "reporte/Datos_Reporte.h"

#include <QFont>
#include <QRect>
#include <QString>
#include <array>
#include <memory>
#include <vector>

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
    void Form_Load(const Textos_Pagina &textos, Temperaturas origen = Temperaturas::Segun_Enlace) {
        Llena(textos, Temperaturas_Desde_Imagenes(origen));
    }
    // The same with the temperatures given as well: the page reads nothing of
    // the relay's images itself.
    void Llena(const Textos_Pagina &textos, const Temperaturas_Pagina &temperaturas);

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
