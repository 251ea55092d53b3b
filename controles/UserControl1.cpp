#include "controles/UserControl1.h"

#include "controles/Bolsa_Propiedades.h"
#include "controles/Twips.h"

#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace, as the resource system requires: the pictures live in
// the static library and must be registered before the first panel draws.
static void Registra_Imagenes() {
    Q_INIT_RESOURCE(Controles);
}

namespace {

// The picture's size in twips; the control is 5 twips wider and 3 higher.
constexpr int Ancho_Imagen = 3252;
constexpr int Alto_Imagen = 3264;

struct Lampara {
    const char *propiedad;
    int left, top, width, height; // twips
    bool verde;
};

// Led(0..11): the red lamps 0..7 and the green 8..11, where the front panel has them.
constexpr std::array<Lampara, 12> Led{{
    {"Fault", 1920, 1920, 180, 180, false},
    {"Pt1", 2400, 1608, 180, 180, false},
    {"Pt2", 2400, 1788, 180, 180, false},
    {"Pt3", 2400, 1968, 180, 180, false},
    {"Pt4", 2400, 2160, 180, 180, false},
    {"L1", 1051, 1788, 180, 180, false},
    {"L2", 1051, 1980, 180, 180, false},
    {"FAN", 1051, 2160, 180, 180, false},
    {"Prog", 331, 840, 180, 180, true},
    {"Aut", 612, 1560, 180, 180, true},
    {"Man", 636, 2196, 216, 228, true},
    {"Tmax", 330, 1080, 180, 180, true},
}};

QRect Rect_Pixeles(const Lampara &l) {
    return {Pixeles(l.left), Pixeles(l.top), Pixeles(l.width), Pixeles(l.height)};
}

QPixmap Dibuja(const QString &recurso, QSize tamano, qreal escala) {
    QPixmap imagen(tamano * escala);
    imagen.setDevicePixelRatio(escala);
    imagen.fill(Qt::transparent);
    QSvgRenderer svg(recurso);
    QPainter pintor(&imagen);
    pintor.setRenderHint(QPainter::Antialiasing);
    svg.render(&pintor, QRectF(QPointF(0, 0), QSizeF(tamano)));
    return imagen;
}

} // namespace

UserControl1::UserControl1(QWidget *padre) : QWidget(padre) {
    Registra_Imagenes();
    setFixedSize(sizeHint());
}

QSize UserControl1::sizeHint() const {
    return {Pixeles(Ancho_Imagen + 5), Pixeles(Alto_Imagen + 3)};
}

bool UserControl1::Refrescar() {
    if (encendidos_ != propiedades_) {
        encendidos_ = propiedades_;
        update();
    }
    return false;
}

bool UserControl1::Desactivar() {
    if (encendidos_ != std::array<bool, 12>{}) {
        encendidos_.fill(false);
        update();
    }
    return false;
}

bool UserControl1::Enabled() const {
    return !testAttribute(Qt::WA_ForceDisabled);
}

void UserControl1::Set_Enabled(bool activo) {
    setEnabled(activo);
}

void UserControl1::Fija(int k, bool valor) {
    propiedades_[static_cast<std::size_t>(k)] = valor;
}

void UserControl1::Lee_Propiedades(const Bolsa_Propiedades &bolsa) {
    // No default for Enabled: a panel whose host saved nothing comes up disabled.
    setEnabled(bolsa.Lee(QStringLiteral("Enabled"), false).toBool());
    for (std::size_t k = 0; k < Led.size(); ++k)
        propiedades_[k] = bolsa.Lee(QString::fromLatin1(Led[k].propiedad), false).toBool();
}

void UserControl1::Escribe_Propiedades(Bolsa_Propiedades &bolsa) const {
    bolsa.Escribe(QStringLiteral("Enabled"), Enabled());
    for (std::size_t k = 0; k < Led.size(); ++k)
        bolsa.Escribe(QString::fromLatin1(Led[k].propiedad), propiedades_[k], false);
}

void UserControl1::Prepara_Imagenes() {
    const qreal escala = devicePixelRatioF();
    if (escala == escala_imagenes_)
        return;
    escala_imagenes_ = escala;
    panel_ = Dibuja(QStringLiteral(":/controles/Panel_KV73.svg"),
                    QSize(Pixeles(Ancho_Imagen), Pixeles(Alto_Imagen)), escala);
    rojo_ = Dibuja(QStringLiteral(":/controles/Led_Rojo.svg"), Rect_Pixeles(Led[0]).size(), escala);
    verde_ =
        Dibuja(QStringLiteral(":/controles/Led_Verde.svg"), Rect_Pixeles(Led[8]).size(), escala);
    verde_grande_ =
        Dibuja(QStringLiteral(":/controles/Led_Verde.svg"), Rect_Pixeles(Led[10]).size(), escala);
}

// The lamps are drawn here rather than by child widgets so that a disabled panel
// still shows them in their own colours.
void UserControl1::paintEvent(QPaintEvent *) {
    Prepara_Imagenes();
    QPainter pintor(this);
    pintor.drawPixmap(0, 0, panel_);
    for (std::size_t k = 0; k < Led.size(); ++k) {
        if (!encendidos_[k])
            continue;
        const QRect sitio = Rect_Pixeles(Led[k]);
        const QPixmap &lampara = k == 10 ? verde_grande_ : Led[k].verde ? verde_ : rojo_;
        pintor.drawPixmap(sitio.topLeft(), lampara);
    }
}
