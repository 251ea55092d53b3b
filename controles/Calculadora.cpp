#include "controles/Calculadora.h"

#include "comun/Operador.h"
#include "comun/Texto.h"
#include "controles/Formato.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString Calc_Titulo;
int32_t Calc_Minimo = 0;
int32_t Calc_Maximo = 0;
int32_t Calc_Anterior = 0;
QString Calc_Medida;
int16_t Calc_Incremento = 1;
float Calc_Factor = 1.0f;
Moneda Calc_Resultado;

namespace {

// The pattern in which old value and range are written: as many decimals as a
// step of the register can show at this scale.
QString Patron(float f) {
    if (f <= 1)
        return QStringLiteral("####0");
    if (f < 10)
        return QStringLiteral("##0.00");
    if (f == 10)
        return QStringLiteral("##0.0");
    return QStringLiteral("##0.00");
}

QPushButton *Tecla(const QString &texto, const QString &nombre, QWidget *padre) {
    auto *boton = new QPushButton(texto, padre);
    boton->setObjectName(nombre);
    // The focus stays where it is, so that Enter after a digit still means OK.
    boton->setFocusPolicy(Qt::NoFocus);
    boton->setAutoDefault(false);
    boton->setMinimumSize(46, 38);
    QFont letra(QStringLiteral("Liberation Sans"));
    letra.setPointSize(13);
    letra.setBold(true);
    boton->setFont(letra);
    return boton;
}

QLabel *Nombrada(const QString &nombre, QWidget *padre) {
    auto *etiqueta = new QLabel(padre);
    etiqueta->setObjectName(nombre);
    return etiqueta;
}

QLabel *Titulo_Calculadora(QFont letra, QWidget *padre) {
    QLabel *titulo = Nombrada(QStringLiteral("Titulo"), padre);
    letra.setBold(true);
    letra.setPointSizeF(11);
    titulo->setFont(letra);
    titulo->setAlignment(Qt::AlignCenter);
    return titulo;
}

QLineEdit *Pantalla_Calculadora(QWidget *padre) {
    auto *pantalla = new QLineEdit(padre);
    pantalla->setObjectName(QStringLiteral("Pantalla"));
    // Only the keypad and the keys the dialog handles write into it.
    pantalla->setReadOnly(true);
    pantalla->setFocusPolicy(Qt::NoFocus);
    pantalla->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont grande(QStringLiteral("Liberation Mono"));
    grande.setPointSize(16);
    grande.setBold(true);
    pantalla->setFont(grande);
    pantalla->setMinimumHeight(40);
    return pantalla;
}

// OK and Cancel, beside the keypad.
QPushButton *Boton_Accion(const QString &texto, QWidget *padre) {
    auto *boton = new QPushButton(texto, padre);
    boton->setObjectName(texto);
    boton->setMinimumSize(84, 38);
    return boton;
}

struct Controles_Calculadora {
    QLabel *titulo = nullptr;
    std::array<QLabel *, 3> nombres{}; // Old Value, Range, Increment
    std::array<QLabel *, 3> valores{};
    QLineEdit *pantalla = nullptr;
    std::array<QPushButton *, 10> numeros{};
    QPushButton *punto = nullptr;
    QPushButton *ce = nullptr;
    QPushButton *ok = nullptr;
    QPushButton *cancel = nullptr;
};

// Title, the old value, range and increment, the display, then the keypad with
// OK and Cancel beside it; the dialog takes the size they need and keeps it.
void Coloca_Controles(QDialog &dialogo, const Controles_Calculadora &c) {
    auto *datos = new QGridLayout;
    for (int fila = 0; fila < 3; ++fila) {
        datos->addWidget(c.nombres[static_cast<std::size_t>(fila)], fila, 0);
        datos->addWidget(c.valores[static_cast<std::size_t>(fila)], fila, 1);
    }
    datos->setColumnStretch(1, 1);

    // The keypad as on a calculator: 7 8 9 on top, 0 . CE at the bottom.
    auto *teclado = new QGridLayout;
    teclado->setSpacing(4);
    for (int k = 1; k <= 9; ++k)
        teclado->addWidget(c.numeros[static_cast<std::size_t>(k)], 2 - (k - 1) / 3, (k - 1) % 3);
    teclado->addWidget(c.numeros[0], 3, 0);
    teclado->addWidget(c.punto, 3, 1);
    teclado->addWidget(c.ce, 3, 2);

    auto *acciones = new QVBoxLayout;
    acciones->addWidget(c.ok);
    acciones->addWidget(c.cancel);
    acciones->addStretch(1);

    auto *abajo = new QHBoxLayout;
    abajo->addLayout(teclado);
    abajo->addSpacing(8);
    abajo->addLayout(acciones);

    auto *todo = new QVBoxLayout(&dialogo);
    todo->addWidget(c.titulo);
    todo->addLayout(datos);
    todo->addWidget(c.pantalla);
    todo->addLayout(abajo);
    todo->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace

Calculadora::Calculadora(Operador &dialogos, QWidget *padre) : QDialog(padre), dialogos_(dialogos) {
    setWindowTitle(QGuiApplication::applicationDisplayName());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    QFont letra(QStringLiteral("Liberation Sans"));
    letra.setPointSizeF(9.75);
    setFont(letra);

    Controles_Calculadora c;
    c.titulo = Titulo = Titulo_Calculadora(letra, this);
    c.nombres = {new QLabel(QStringLiteral("Old Value:"), this),
                 new QLabel(QStringLiteral("Range:"), this),
                 new QLabel(QStringLiteral("Increment:"), this)};
    c.valores = {Viejo = Nombrada(QStringLiteral("Viejo"), this),
                 Rango = Nombrada(QStringLiteral("Rango"), this),
                 Incremento = Nombrada(QStringLiteral("Incremento"), this)};
    c.pantalla = Pantalla = Pantalla_Calculadora(this);

    for (int k = 0; k <= 9; ++k) {
        Numeros[k] = Tecla(QString::number(k), QStringLiteral("Numeros_%1").arg(k), this);
        connect(Numeros[k], &QPushButton::clicked, this, [this, k] { Numeros_Click(k); });
    }
    c.numeros = Numeros;
    c.punto = Command2 = Tecla(QStringLiteral("."), QStringLiteral("Command2"), this);
    c.ce = Command1 = Tecla(QStringLiteral("CE"), QStringLiteral("Command1"), this);
    c.ok = OK = Boton_Accion(QStringLiteral("OK"), this);
    OK->setDefault(true);
    c.cancel = Cancel = Boton_Accion(QStringLiteral("Cancel"), this);
    Cancel->setAutoDefault(false);
    connect(Command2, &QPushButton::clicked, this, &Calculadora::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &Calculadora::Command1_Click);
    connect(OK, &QPushButton::clicked, this, &Calculadora::OK_Click);
    connect(Cancel, &QPushButton::clicked, this, &Calculadora::reject);
    Coloca_Controles(*this, c);

    Form_Load();
}

void Calculadora::Form_Load() {
    Titulo->setText(Calc_Titulo);
    const float f = Calc_Factor;
    const QString p = Patron(f);
    const QString unidad = QStringLiteral(" ") + Calc_Medida;
    Viejo->setText(Formatea(Calc_Anterior / static_cast<double>(f), p) + unidad);
    Rango->setText(Formatea(Calc_Minimo / static_cast<double>(f), p) + QStringLiteral(" To ") +
                   Formatea(Calc_Maximo / static_cast<double>(f), p) + unidad);
    Incremento->setText(Texto_Simple(static_cast<float>(Calc_Incremento) / f));
}

void Calculadora::Numeros_Click(int index) {
    Pantalla->setText(Pantalla->text() + QString::number(index));
}

void Calculadora::Command2_Click() {
    Pantalla->setText(Pantalla->text() + QStringLiteral("."));
}

void Calculadora::Command1_Click() {
    Pantalla->clear();
}

void Calculadora::OK_Click() {
    const auto r = Moneda::De_Double(Val(Pantalla->text()) * static_cast<double>(Calc_Factor));
    // A number too large for any register (or a scale without a factor) is out of
    // range as well; it must not wrap into a value that passes.
    if (!r) {
        dialogos_.Mensaje(QStringLiteral("Out of Range"));
        return;
    }
    Calc_Resultado = *r;
    if (*r < Moneda::De_Entero(Calc_Minimo) || *r > Moneda::De_Entero(Calc_Maximo)) {
        dialogos_.Mensaje(QStringLiteral("Out of Range"));
        return;
    }
    // The step is checked on the value the register will get (7.5 is taken as 8).
    // Without a step every whole value is a multiple of it.
    const int64_t paso = Calc_Incremento == 0 ? 1 : Calc_Incremento;
    if (int64_t{r->A_Entero()} % paso != 0) {
        dialogos_.Mensaje(QStringLiteral("Incorrect Range"));
        return;
    }
    accept();
}

void Calculadora::reject() {
    Calc_Resultado = Moneda::De_Entero(Calc_Anterior);
    QDialog::reject();
}

void Calculadora::keyPressEvent(QKeyEvent *evento) {
    // By the character typed, so that layouts that need Shift for digits work too.
    const QString texto = evento->text();
    const bool solo =
        !(evento->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (solo && texto.size() == 1 && texto[0] >= u'0' && texto[0] <= u'9') {
        Numeros_Click(texto[0].unicode() - u'0');
        return;
    }
    // The keypad's decimal key gives a comma on many European layouts.
    if (solo && (texto == u"." || (texto == u"," && evento->modifiers() & Qt::KeypadModifier))) {
        Command2_Click();
        return;
    }
    switch (evento->key()) {
    case Qt::Key_Backspace:
        Pantalla->setText(Pantalla->text().chopped(qMin<qsizetype>(1, Pantalla->text().size())));
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        OK_Click();
        return;
    default:
        QDialog::keyPressEvent(evento); // Escape ends in reject()
    }
}
