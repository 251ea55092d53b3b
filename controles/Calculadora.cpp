#include "controles/Calculadora.h"

#include "comun/Host.h"
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

void Aviso(const QString &texto) {
    Host().Dialogos->Mensaje(texto);
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

} // namespace

Calculadora::Calculadora(QWidget *padre) : QDialog(padre) {
    setWindowTitle(QGuiApplication::applicationDisplayName());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    QFont letra(QStringLiteral("Liberation Sans"));
    letra.setPointSizeF(9.75);
    setFont(letra);

    Titulo = new QLabel(this);
    Titulo->setObjectName(QStringLiteral("Titulo"));
    QFont negrita = letra;
    negrita.setBold(true);
    negrita.setPointSizeF(11);
    Titulo->setFont(negrita);
    Titulo->setAlignment(Qt::AlignCenter);

    auto *Label2 = new QLabel(QStringLiteral("Old Value:"), this);
    auto *Label3 = new QLabel(QStringLiteral("Range:"), this);
    auto *Label4 = new QLabel(QStringLiteral("Increment:"), this);
    Viejo = new QLabel(this);
    Viejo->setObjectName(QStringLiteral("Viejo"));
    Rango = new QLabel(this);
    Rango->setObjectName(QStringLiteral("Rango"));
    Incremento = new QLabel(this);
    Incremento->setObjectName(QStringLiteral("Incremento"));

    Pantalla = new QLineEdit(this);
    Pantalla->setObjectName(QStringLiteral("Pantalla"));
    // Only the keypad and the keys handled below write into it.
    Pantalla->setReadOnly(true);
    Pantalla->setFocusPolicy(Qt::NoFocus);
    Pantalla->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont grande(QStringLiteral("Liberation Mono"));
    grande.setPointSize(16);
    grande.setBold(true);
    Pantalla->setFont(grande);
    Pantalla->setMinimumHeight(40);

    for (int k = 0; k <= 9; ++k) {
        Numeros[k] = Tecla(QString::number(k), QStringLiteral("Numeros_%1").arg(k), this);
        connect(Numeros[k], &QPushButton::clicked, this, [this, k] { Numeros_Click(k); });
    }
    Command2 = Tecla(QStringLiteral("."), QStringLiteral("Command2"), this);
    Command1 = Tecla(QStringLiteral("CE"), QStringLiteral("Command1"), this);
    OK = new QPushButton(QStringLiteral("OK"), this);
    OK->setObjectName(QStringLiteral("OK"));
    OK->setDefault(true);
    OK->setMinimumSize(84, 38);
    Cancel = new QPushButton(QStringLiteral("Cancel"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setAutoDefault(false);
    Cancel->setMinimumSize(84, 38);
    connect(Command2, &QPushButton::clicked, this, &Calculadora::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &Calculadora::Command1_Click);
    connect(OK, &QPushButton::clicked, this, &Calculadora::OK_Click);
    connect(Cancel, &QPushButton::clicked, this, &Calculadora::reject);

    auto *datos = new QGridLayout;
    datos->addWidget(Label2, 0, 0);
    datos->addWidget(Viejo, 0, 1);
    datos->addWidget(Label3, 1, 0);
    datos->addWidget(Rango, 1, 1);
    datos->addWidget(Label4, 2, 0);
    datos->addWidget(Incremento, 2, 1);
    datos->setColumnStretch(1, 1);

    // The keypad as on a calculator: 7 8 9 on top, 0 . CE at the bottom.
    auto *teclado = new QGridLayout;
    teclado->setSpacing(4);
    for (int k = 1; k <= 9; ++k)
        teclado->addWidget(Numeros[k], 2 - (k - 1) / 3, (k - 1) % 3);
    teclado->addWidget(Numeros[0], 3, 0);
    teclado->addWidget(Command2, 3, 1);
    teclado->addWidget(Command1, 3, 2);

    auto *acciones = new QVBoxLayout;
    acciones->addWidget(OK);
    acciones->addWidget(Cancel);
    acciones->addStretch(1);

    auto *abajo = new QHBoxLayout;
    abajo->addLayout(teclado);
    abajo->addSpacing(8);
    abajo->addLayout(acciones);

    auto *todo = new QVBoxLayout(this);
    todo->addWidget(Titulo);
    todo->addLayout(datos);
    todo->addWidget(Pantalla);
    todo->addLayout(abajo);
    todo->setSizeConstraint(QLayout::SetFixedSize);

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
        Aviso(QStringLiteral("Out of Range"));
        return;
    }
    Calc_Resultado = *r;
    if (*r < Moneda::De_Entero(Calc_Minimo) || *r > Moneda::De_Entero(Calc_Maximo)) {
        Aviso(QStringLiteral("Out of Range"));
        return;
    }
    // The step is checked on the value the register will get (7.5 is taken as 8).
    // Without a step every whole value is a multiple of it.
    const int64_t paso = Calc_Incremento == 0 ? 1 : Calc_Incremento;
    if (int64_t{r->A_Entero()} % paso != 0) {
        Aviso(QStringLiteral("Incorrect Range"));
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
