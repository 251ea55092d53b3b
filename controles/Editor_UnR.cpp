#include "controles/Editor_UnR.h"

#include "comun/Texto.h"
#include "controles/Bolsa_Propiedades.h"
#include "controles/Calculadora.h"
#include "controles/Formato.h"
#include "controles/Twips.h"
#include "datos/Manejo_de_Datos.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>
#include <stdexcept>

namespace {

// Colours are saved as the container saves them: 0x00BBGGRR, or 0x800000nn for
// the system colour nn. The text box starts in the system window colour.
constexpr int32_t Color_Ventana = static_cast<int32_t>(0x80000005u);

QColor Color_De(int32_t guardado) {
    const auto v = static_cast<uint32_t>(guardado);
    if (v & 0x80000000u) {
        const QPalette sistema = QApplication::palette();
        switch (v & 0xFFu) {
        case 8:
            return sistema.color(QPalette::Text);
        case 13:
            return sistema.color(QPalette::Highlight);
        case 14:
            return sistema.color(QPalette::HighlightedText);
        case 15:
            return sistema.color(QPalette::Button);
        case 18:
            return sistema.color(QPalette::ButtonText);
        default:
            return sistema.color(QPalette::Base);
        }
    }
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

// A saved 32-bit colour or number, whether the bag holds it signed or unsigned.
int32_t Entero_32(const QVariant &v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v.toLongLong()));
}

uint8_t Byte_De(const QVariant &v) {
    return static_cast<uint8_t>(v.toUInt());
}

int32_t Suma_Sin_Desborde(int32_t a, int64_t b) {
    return static_cast<int32_t>(std::clamp<int64_t>(a + b, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// An arrow of the up/down pair. The style's own arrow glyph is a few pixels at
// this size; a filled triangle as large as the button allows reads at a glance.
class Boton_Flecha : public QToolButton {
  public:
    Boton_Flecha(bool arriba, const QString &nombre, QWidget *padre)
        : QToolButton(padre), arriba_(arriba) {
        setObjectName(nombre);
        setFocusPolicy(Qt::NoFocus);
        // Held down, an arrow keeps stepping, as the platform's up/down control does.
        setAutoRepeat(true);
        setAutoRepeatDelay(400);
        setAutoRepeatInterval(120);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    }

  protected:
    void paintEvent(QPaintEvent *) override {
        QStylePainter pintor(this);
        QStyleOptionToolButton opcion;
        initStyleOption(&opcion);
        opcion.arrowType = Qt::NoArrow;
        opcion.text.clear();
        pintor.drawComplexControl(QStyle::CC_ToolButton, opcion);

        const qreal base = qMin(width() * 0.6, (height() - 2) * 1.3);
        const qreal alto = base / 2;
        const QPointF centro = QRectF(rect()).center() + (isDown() ? QPointF(0, 0.5) : QPointF());
        const qreal punta = arriba_ ? -alto / 2 : alto / 2;
        const QPolygonF triangulo{{centro.x(), centro.y() + punta},
                                  {centro.x() - base / 2, centro.y() - punta},
                                  {centro.x() + base / 2, centro.y() - punta}};
        pintor.setRenderHint(QPainter::Antialiasing);
        pintor.setPen(Qt::NoPen);
        pintor.setBrush(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                        QPalette::ButtonText));
        pintor.drawPolygon(triangulo);
    }

  private:
    bool arriba_;
};

} // namespace

Editor_UnR::Editor_UnR(QWidget *padre, Operador *dialogos)
    : QWidget(padre), dialogos_(dialogos), fondo_texto_(Color_Ventana) {
    Text1 = new QLineEdit(QStringLiteral("Text1"), this);
    Text1->setObjectName(QStringLiteral("Text1"));
    // Nothing typed here would be read back: the value changes only through the
    // arrows, the dialog and the host.
    Text1->setReadOnly(true);
    Text1->setCursor(Qt::PointingHandCursor);
    Text1->setContextMenuPolicy(Qt::NoContextMenu);
    Text1->installEventFilter(this);
    // Tab lands on the text box, where the keys below are read.
    setFocusProxy(Text1);

    UpDown1 = new QWidget(this);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    Arriba = new Boton_Flecha(true, QStringLiteral("Arriba"), UpDown1);
    Abajo = new Boton_Flecha(false, QStringLiteral("Abajo"), UpDown1);
    auto *pila = new QVBoxLayout(UpDown1);
    pila->setContentsMargins(0, 0, 0, 0);
    pila->setSpacing(0);
    pila->addWidget(Arriba);
    pila->addWidget(Abajo);
    connect(Arriba, &QToolButton::clicked, this, [this] { UpDown1_Click(+1); });
    connect(Abajo, &QToolButton::clicked, this, [this] { UpDown1_Click(-1); });

    resize(sizeHint());
}

QSize Editor_UnR::sizeHint() const {
    return {Pixeles(1215), Pixeles(315)};
}

void Editor_UnR::Set_Bit_de_Bloque(uint8_t valor) {
    bit_de_bloque_ = valor;
}

void Editor_UnR::Set_Bit_de_Word(uint8_t valor) {
    bit_de_word_ = valor;
}

QString Editor_UnR::Text() const {
    return Text1->text();
}

void Editor_UnR::Set_Text(const QString &texto) {
    Text1->setText(texto);
}

bool Editor_UnR::Enabled() const {
    return !testAttribute(Qt::WA_ForceDisabled);
}

void Editor_UnR::Set_Enabled(bool activo) {
    setEnabled(activo);
}

QFont Editor_UnR::Font() const {
    return Text1->font();
}

void Editor_UnR::Set_Font(const QFont &letra) {
    Text1->setFont(letra);
}

void Editor_UnR::Set_Paso(float valor) {
    paso_ = valor;
}

void Editor_UnR::Set_Posicion_Set(uint8_t valor) {
    posicion_set_ = valor;
}

void Editor_UnR::Set_Dato(const QVariant &valor) {
    dato_ = valor;
}

void Editor_UnR::Set_Medida(const QString &texto) {
    medida_ = texto;
}

void Editor_UnR::Set_Formato(const QString &patron) {
    formato_ = patron;
}

void Editor_UnR::Refresh() {
    Text1->update();
}

void Editor_UnR::Set_Max(int32_t valor) {
    max_ = valor;
}

void Editor_UnR::Set_Value(int32_t valor) {
    value_ = valor;
}

void Editor_UnR::Set_Min(int32_t valor) {
    min_ = valor;
}

void Editor_UnR::Set_SmallChange(int32_t valor) {
    small_change_ = valor;
}

void Editor_UnR::Set_Direccion(const QString &texto) {
    direccion_ = texto;
}

void Editor_UnR::Set_Titulo(const QString &texto) {
    titulo_ = texto;
}

bool Editor_UnR::Inicializacion() {
    posicion_set_ = CByte(Posicion_Setpoint(direccion_));
    value_ = Lee_Registro(posicion_set_);
    Muestra_Valor();
    return true;
}

void Editor_UnR::Muestra_Valor() {
    Text1->setText(Formatea(static_cast<double>(value_) * static_cast<double>(paso_), formato_) +
                   QStringLiteral(" ") + medida_);
}

// The limit is tested before the step, so a step larger than 1 may end beyond
// Min or Max. At the limit nothing changes on screen, but the value is stored
// again and Change still raised.
void Editor_UnR::UpDown1_Click(int sentido) {
    Refresh();
    if (sentido > 0 ? value_ < max_ : value_ > min_) {
        value_ = Suma_Sin_Desborde(value_, int64_t{sentido} * small_change_);
        Muestra_Valor();
    }
    Tras_Flecha();
    Guarda_Valor();
    emit Change();
}

// OK and Cancel alike end with a store and Click: after Cancel the dialog gives
// the old value back.
void Editor_UnR::Text1_Click() {
    Calc_Titulo = titulo_;
    Calc_Minimo = min_;
    Calc_Maximo = max_;
    Calc_Anterior = value_;
    Calc_Medida = medida_;
    Calc_Incremento = static_cast<int16_t>(std::clamp<int32_t>(
        small_change_, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
    Calc_Factor = 1.0f / paso_;
    // An editor made without anybody to talk to has no keypad.
    if (!dialogos_)
        return;
    {
        Calculadora dialogo(*dialogos_, this);
        dialogo.exec();
    }
    Antes_De_Resultado();
    value_ = Calc_Resultado.A_Entero();
    Muestra_Valor();
    Guarda_Valor();
    Refresh();
    emit Click();
}

// From the keyboard the text box does what the mouse does: Up and Down are the
// arrows, Enter and F2 the click that opens the keypad.
bool Editor_UnR::Tecla(const QKeyEvent &tecla) {
    if (tecla.modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (tecla.key()) {
    case Qt::Key_Up:
        UpDown1_Click(+1);
        return true;
    case Qt::Key_Down:
        UpDown1_Click(-1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        Text1_Click();
        return true;
    default:
        return false;
    }
}

bool Editor_UnR::eventFilter(QObject *objeto, QEvent *evento) {
    if (objeto == Text1 && isEnabled()) {
        switch (evento->type()) {
        case QEvent::KeyPress:
            if (Tecla(*static_cast<QKeyEvent *>(evento)))
                return true;
            break;
        case QEvent::MouseButtonPress:
            pulsado_ = static_cast<QMouseEvent *>(evento)->button() == Qt::LeftButton;
            break;
        case QEvent::MouseButtonRelease: {
            // A click is a press and a release of the left button on the text box;
            // the release that ends a double click is not a second click.
            const auto *raton = static_cast<QMouseEvent *>(evento);
            const bool clic = pulsado_ && raton->button() == Qt::LeftButton &&
                              Text1->rect().contains(raton->position().toPoint());
            pulsado_ = false;
            if (clic)
                Text1_Click();
            break;
        }
        case QEvent::MouseButtonDblClick:
            pulsado_ = false;
            emit DblClick();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(objeto, evento);
}

void Editor_UnR::resizeEvent(QResizeEvent *evento) {
    QWidget::resizeEvent(evento);
    emit Resize();
    // In twips: the arrows are 255 wide, 3 to the right of a text box 252 narrower
    // than the control; both take the control's height.
    const int texto = width() * Twips_Por_Pixel - 252;
    Text1->setGeometry(0, 0, qMax(0, Pixeles(texto)), height());
    UpDown1->setGeometry(Pixeles(texto + 3), 0, Pixeles(255), height());
}

void Editor_UnR::Pon_Fondo_Texto(int32_t color) {
    fondo_texto_ = color;
    QPalette paleta = Text1->palette();
    paleta.setColor(QPalette::Base, Color_De(color));
    Text1->setPalette(paleta);
}

void Editor_UnR::Lee_Propiedades(const Bolsa_Propiedades &bolsa) {
    const QFont ambiente = parentWidget() ? parentWidget()->font() : QApplication::font();
    bit_de_bloque_ = Byte_De(bolsa.Lee(QStringLiteral("Bit_de_Bloque"), 0));
    bit_de_word_ = Byte_De(bolsa.Lee(QStringLiteral("Bit_de_Word"), 0));
    Text1->setText(bolsa.Lee(QStringLiteral("Text"), QStringLiteral("Text1")).toString());
    Pon_Fondo_Texto(Entero_32(bolsa.Lee(QStringLiteral("BackColor"), Color_Ventana)));
    setEnabled(bolsa.Lee(QStringLiteral("Enabled"), true).toBool());
    // The face first, then its size: without saved values the text box takes the
    // container's face at 8.25 points.
    QFont letra = bolsa.Lee(QStringLiteral("Font"), ambiente).value<QFont>();
    letra.setPointSizeF(bolsa.Lee(QStringLiteral("FontSize"), 8.25).toDouble());
    Text1->setFont(letra);
    paso_ = bolsa.Lee(QStringLiteral("Paso"), 0).toFloat();
    posicion_set_ = Byte_De(bolsa.Lee(QStringLiteral("Posición_Set"), 0));
    dato_ = bolsa.Lee(QStringLiteral("Dato"), 0);
    medida_ = bolsa.Lee(QStringLiteral("Medida"), QStringLiteral("0")).toString();
    formato_ = bolsa.Lee(QStringLiteral("Formato"), QStringLiteral("0")).toString();
    max_ = Entero_32(bolsa.Lee(QStringLiteral("Max"), 0));
    value_ = Entero_32(bolsa.Lee(QStringLiteral("Value"), 0));
    min_ = Entero_32(bolsa.Lee(QStringLiteral("Min"), 0));
    small_change_ = Entero_32(bolsa.Lee(QStringLiteral("SmallChange"), 0));
    direccion_ = bolsa.Lee(QStringLiteral("Direccion"), QStringLiteral("0")).toString();
    titulo_ = bolsa.Lee(QStringLiteral("Titulo"), QStringLiteral("0")).toString();
}

void Editor_UnR::Escribe_Propiedades(Bolsa_Propiedades &bolsa) const {
    const QFont ambiente = parentWidget() ? parentWidget()->font() : QApplication::font();
    bolsa.Escribe(QStringLiteral("Bit_de_Bloque"), int{bit_de_bloque_}, 0);
    bolsa.Escribe(QStringLiteral("Bit_de_Word"), int{bit_de_word_}, 0);
    bolsa.Escribe(QStringLiteral("Text"), Text1->text(), QStringLiteral("Text1"));
    bolsa.Escribe(QStringLiteral("BackColor"), fondo_texto_, Color_Ventana);
    bolsa.Escribe(QStringLiteral("Enabled"), Enabled(), true);
    bolsa.Escribe(QStringLiteral("FontSize"), Text1->font().pointSizeF(), 8.25);
    bolsa.Escribe(QStringLiteral("Font"), Text1->font(), ambiente);
    bolsa.Escribe(QStringLiteral("Paso"), paso_, 0.0f);
    bolsa.Escribe(QStringLiteral("Posición_Set"), int{posicion_set_}, 0);
    bolsa.Escribe(QStringLiteral("Dato"), dato_, 0);
    bolsa.Escribe(QStringLiteral("Medida"), medida_, QStringLiteral("0"));
    bolsa.Escribe(QStringLiteral("Formato"), formato_, QStringLiteral("0"));
    bolsa.Escribe(QStringLiteral("Max"), max_, 0);
    bolsa.Escribe(QStringLiteral("Value"), value_, 0);
    bolsa.Escribe(QStringLiteral("Min"), min_, 0);
    bolsa.Escribe(QStringLiteral("SmallChange"), small_change_, 0);
    bolsa.Escribe(QStringLiteral("Direccion"), direccion_, QStringLiteral("0"));
    bolsa.Escribe(QStringLiteral("Titulo"), titulo_, QStringLiteral("0"));
}
