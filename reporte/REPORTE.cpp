#include "reporte/REPORTE.h"

#include "controles/Twips.h"

#include <QDate>
#include <QLocale>

namespace {

// Fonts are sized in pixels, not points: the page is laid out in fixed pixels
// (twips / 15), and a screen with another dot density must not make a text
// outgrow its place. 11 px is 8.25 pt at 96 dpi, the forms' usual size.
QFont Letra(int pixeles, bool negrita = false) {
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixeles);
    f.setBold(negrita);
    return f;
}
constexpr int Letra_Normal = 11;
constexpr int Letra_Empresa = 24;

using Tipo = Control_Reporte::Tipo;

QRect Area(int x, int y, int ancho, int alto) {
    return {Pixeles(x), Pixeles(y), Pixeles(ancho), Pixeles(alto)};
}

// One line of text with its top left corner and width in twips.
Control_Reporte *Etiqueta(Control_Reporte *padre, const QString &texto, int x, int y, int ancho,
                          Qt::Alignment alineacion = Qt::AlignLeft, int alto = 240,
                          const QFont &letra = Letra(Letra_Normal)) {
    auto *l = padre->Agrega(Tipo::Etiqueta, Area(x, y, ancho, alto), texto, letra);
    l->alineacion = alineacion | Qt::AlignVCenter;
    return l;
}

Control_Reporte *Marco(Control_Reporte *padre, const QString &titulo, int x, int y, int ancho,
                       int alto) {
    return padre->Agrega(Tipo::Marco, Area(x, y, ancho, alto), titulo, Letra(Letra_Normal, true));
}

const QString Grados = QStringLiteral("°C");

// Columns of the "Actual Values" frame, in twips from its left edge: the row
// caption, then each value right-aligned so the digits line up, with its unit.
constexpr int Col_Titulo = 240;
constexpr int Col_Actual = 2880;
constexpr int Col_Maximo = 4320;
constexpr int Ancho_Valor = 720;
constexpr int Ancho_Unidad = 360;
constexpr int Hueco_Unidad = 60;
constexpr int Filas_Pt[3] = {1230, 1610, 1990};

// Columns of the "Set Points" frame.
constexpr int Col_Setp = 3960;
constexpr int Ancho_Setp = 1800;
constexpr int Filas_Setp[4] = {360, 750, 1140, 1530};
// The fan sub-frame and its rows, relative to it.
constexpr int Sub_X = 120, Sub_Y = 2010, Sub_Ancho = 6045, Sub_Alto = 1716;
constexpr int Filas_Sub[4] = {195, 585, 975, 1365};

const char *const Titulos_Setp[8] = {
    "RTD Quantity :",
    "Alarm Temperature \"L1\" :",
    "Trip Temperature \"L2\" :",
    "Fan Presence :",
    "Stop Fan Temperatue \"Low Fan\" :",
    "Start Fan Temperatue \"High Fan\" :",
    "Probe Quantity For Command Fan :",
    "Weekly Automatic Activation Fan:",
};

} // namespace

Control_Reporte *Control_Reporte::Agrega(Tipo t, QRect a, QString txt, QFont f) {
    auto hijo = std::make_unique<Control_Reporte>();
    hijo->tipo = t;
    hijo->area = a;
    hijo->texto = std::move(txt);
    hijo->letra = std::move(f);
    hijos.push_back(std::move(hijo));
    return hijos.back().get();
}

REPORTE::REPORTE() {
    pagina_.area = Area(0, 0, Ancho_Twips, Alto_Twips);
    Control_Reporte *const p = &pagina_;

    Label49 = Etiqueta(p, QStringLiteral("VELTRA SISTEMI"), 315, 630, 5000, Qt::AlignLeft, 555,
                       Letra(Letra_Empresa, true));
    Label50[1] = Etiqueta(p, QStringLiteral("Relay Type:"), 315, 1620, 1245);
    Label50[2] = Etiqueta(p, QStringLiteral("KV - 73"), 1632, 1632, 1500);
    Label103 = Etiqueta(p, QStringLiteral("Print Date:"), 7650, 930, 870);
    Fecha = Etiqueta(p, QString(), 8520, 945, 2400);

    Frame2 = Marco(p, QStringLiteral("Actual Values"), 1560, 2160, 6315, 3060);
    Etiqueta(Frame2, QStringLiteral("RTD Quantity :"), Col_Titulo, 360, 2400);
    RTD = Etiqueta(Frame2, QString(), Col_Actual, 360, Ancho_Valor, Qt::AlignRight);
    const int ancho_columna = Ancho_Valor + Hueco_Unidad + Ancho_Unidad;
    Etiqueta(Frame2, QStringLiteral("Actual"), Col_Actual, 840, ancho_columna, Qt::AlignHCenter);
    Etiqueta(Frame2, QStringLiteral("Tmaximun"), Col_Maximo, 840, ancho_columna, Qt::AlignHCenter);

    Sonda_4 = Frame2->Agrega(Tipo::Grupo, Area(120, 2370, 5625, 525));
    for (int k = 0; k < 4; ++k) {
        // The Pt4 row lives in Sonda_4, one column step to the left of the frame.
        Control_Reporte *fila = k < 3 ? Frame2 : Sonda_4;
        const int dx = k < 3 ? 0 : -120;
        const int y = k < 3 ? Filas_Pt[k] : 0;
        Etiqueta(fila, QStringLiteral("Temperature Pt%1 :").arg(k + 1), Col_Titulo + dx, y, 2400);
        Actual[k] = Etiqueta(fila, QString(), Col_Actual + dx, y, Ancho_Valor, Qt::AlignRight);
        Etiqueta(fila, Grados, Col_Actual + dx + Ancho_Valor + Hueco_Unidad, y, Ancho_Unidad);
        Tmaximun[k] = Etiqueta(fila, QString(), Col_Maximo + dx, y, Ancho_Valor, Qt::AlignRight);
        Etiqueta(fila, Grados, Col_Maximo + dx + Ancho_Valor + Hueco_Unidad, y, Ancho_Unidad);
    }

    Frame1 = Marco(p, QStringLiteral("Set Points"), 1560, 5280, 6315, 3852);
    Frame3 = Frame1->Agrega(Tipo::Caja, Area(Sub_X, Sub_Y, Sub_Ancho, Sub_Alto));
    for (int k = 0; k < 8; ++k) {
        Control_Reporte *marco = k < 4 ? Frame1 : Frame3;
        const int dx = k < 4 ? 0 : -Sub_X;
        const int y = k < 4 ? Filas_Setp[k] : Filas_Sub[k - 4];
        Etiqueta(marco, QString::fromUtf8(Titulos_Setp[k]), Col_Titulo + dx, y,
                 Col_Setp - Col_Titulo);
        SETP[k] = Etiqueta(marco, QString(), Col_Setp + dx, y, Ancho_Setp);
    }
}

void REPORTE::Llena(const Textos_Pagina &textos, const Temperaturas_Pagina &temperaturas) {
    Fecha->texto = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);

    for (int k = 0; k < 4; ++k) {
        Actual[k]->texto = temperaturas.actual[k];
        Tmaximun[k]->texto = temperaturas.maximo[k];
    }

    Sonda_4->oculto = textos.tres_sondas;
    RTD->texto = textos.tres_sondas ? QStringLiteral("3") : QStringLiteral("4");

    for (int k = 0; k < 8; ++k)
        SETP[k]->texto = textos.setp[k];
}
