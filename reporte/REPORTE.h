#pragma once
// The printed report: one page with the company heading, the print date, the
// probe temperatures and their maxima, and the setpoints as the main page shows
// them. It is a widget so that it is drawn by the same machinery as the forms,
// but it is never shown on screen: Impresion and Reporte_Pdf draw its image on
// the paper or into a PDF.

#include <QString>
#include <QWidget>
#include <array>

class QFrame;
class QGroupBox;
class QLabel;

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
// a setpoint file (kv73ctl) prints the temperatures stored in the file instead.
enum class Temperaturas { Segun_Enlace, Guardadas };

class REPORTE : public QWidget {
    Q_OBJECT
  public:
    // The page in twips: A4, the paper the report was laid out on.
    static constexpr int Ancho_Twips = 11906;
    static constexpr int Alto_Twips = 16838;

    explicit REPORTE(QWidget *padre = nullptr);

    // Fills every value of the page: the date of today, the temperatures of
    // Valores_Actuales and the setpoint texts given.
    void Form_Load(const Textos_Pagina &textos, Temperaturas origen = Temperaturas::Segun_Enlace);

    // Heading.
    QLabel *Label49 = nullptr;         // company name
    std::array<QLabel *, 3> Label50{}; // [1] "Relay Type:", [2] "KV - 73"
    QLabel *Label103 = nullptr;        // "Print Date:"
    QLabel *Fecha = nullptr;

    // "Actual Values".
    QGroupBox *Frame2 = nullptr;
    QLabel *RTD = nullptr;
    std::array<QLabel *, 4> Actual{};
    std::array<QLabel *, 4> Tmaximun{};
    QFrame *Sonda_4 = nullptr; // the Pt4 row, hidden with three probes

    // "Set Points".
    QGroupBox *Frame1 = nullptr;
    QFrame *Frame3 = nullptr; // rows 4..7, always shown
    std::array<QLabel *, 8> SETP{};
};
