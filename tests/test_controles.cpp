// The setpoint editors, the numeric entry dialog and the indicator panel, driven
// as the operator drives them: clicks on the arrows and the keypad, keys typed.
// What is checked is what comes out: the bytes of Nuevos_Setpoints, the texts
// shown, the events raised and the messages.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "controles/Bolsa_Propiedades.h"
#include "controles/Byte_UnR.h"
#include "controles/Calculadora.h"
#include "controles/Formato.h"
#include "controles/Twips.h"
#include "controles/UserControl1.h"
#include "controles/Word_UnR.h"
#include "tests/soporte/Banco.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>
#include <ostream>

// Readable failures: results as the operator would read them (texts: Banco.h).
void PrintTo(const Moneda &valor, std::ostream *salida) {
    *salida << valor.A_Double();
}

namespace {

const QString Grados = QString::fromUtf8("°C");

// A shown value followed by its unit, as the editors and the dialog write it.
QString Con_Grados(const char *numero) {
    return QString::fromUtf8(numero) + u' ' + Grados;
}

// Runs `manos` on the numeric entry dialog as soon as it is up, inside its modal
// loop. A dialog still open afterwards fails the test and is closed, so that a
// wrong script cannot hang the suite.
void Con_Calculadora(std::function<void(Calculadora &)> manos) {
    QTimer::singleShot(0, [manos] {
        auto *dialogo = qobject_cast<Calculadora *>(QApplication::activeModalWidget());
        if (!dialogo) {
            ADD_FAILURE() << "the numeric entry dialog is not up";
            return;
        }
        manos(*dialogo);
        if (dialogo->isVisible()) {
            ADD_FAILURE() << "the numeric entry dialog is still open";
            dialogo->reject();
        }
    });
}

void Boton(Calculadora &c, const QString &nombre) {
    auto *boton = c.findChild<QPushButton *>(nombre);
    ASSERT_NE(boton, nullptr) << nombre.toStdString();
    QTest::mouseClick(boton, Qt::LeftButton);
}

// Types on the keypad with the mouse.
void Pulsa(Calculadora &c, const QString &teclas) {
    for (QChar t : teclas)
        Boton(c, t == u'.' ? QStringLiteral("Command2") : QStringLiteral("Numeros_%1").arg(t));
}

// Types with the keyboard, into whatever has the focus.
void Teclea(Calculadora &c, const QString &teclas) {
    QTest::keyClicks(c.focusWidget() ? c.focusWidget() : &c, teclas);
}

QString Texto(Calculadora &c, const char *nombre) {
    if (auto *etiqueta = c.findChild<QLabel *>(QString::fromLatin1(nombre)))
        return etiqueta->text();
    return c.findChild<QLineEdit *>(QString::fromLatin1(nombre))->text();
}

void Entradas(int32_t minimo, int32_t maximo, int32_t anterior, int16_t incremento = 1,
              float factor = 1.0f) {
    Calc_Titulo = QStringLiteral("Alarm Temperature \"L1\"");
    Calc_Minimo = minimo;
    Calc_Maximo = maximo;
    Calc_Anterior = anterior;
    Calc_Medida = Grados;
    Calc_Incremento = incremento;
    Calc_Factor = factor;
}

// Shows a fresh dialog with the current inputs and lets `manos` work it.
int Muestra(std::function<void(Calculadora &)> manos) {
    Con_Calculadora(std::move(manos));
    Calculadora dialogo;
    return dialogo.exec();
}

QToolButton *Flecha(QWidget &editor, const char *nombre) {
    return editor.findChild<QToolButton *>(QString::fromLatin1(nombre));
}

void Clic_Texto(QWidget &editor) {
    QTest::mouseClick(editor.findChild<QLineEdit *>(QStringLiteral("Text1")), Qt::LeftButton);
}

// The main page's L1 editor, with the design-time values the form gives it.
std::unique_ptr<Word_UnR> Editor_L1() {
    auto editor = std::make_unique<Word_UnR>();
    Bolsa_Propiedades bolsa;
    bolsa.Escribe(QStringLiteral("Direccion"), QStringLiteral("0100"));
    bolsa.Escribe(QStringLiteral("Paso"), 1.0f);
    bolsa.Escribe(QStringLiteral("Medida"), Grados);
    bolsa.Escribe(QStringLiteral("Formato"), QStringLiteral("###0"));
    bolsa.Escribe(QStringLiteral("Max"), 220);
    bolsa.Escribe(QStringLiteral("SmallChange"), 1);
    bolsa.Escribe(QStringLiteral("Titulo"), QStringLiteral("Alarm Temperature \"L1\""));
    editor->Lee_Propiedades(bolsa);
    editor->show();
    return editor;
}

// The communication form's address editor.
std::unique_ptr<Byte_UnR> Editor_Direccion() {
    auto editor = std::make_unique<Byte_UnR>();
    Bolsa_Propiedades bolsa;
    bolsa.Escribe(QStringLiteral("Paso"), 1.0f);
    bolsa.Escribe(QStringLiteral("Medida"), QString());
    bolsa.Escribe(QStringLiteral("Max"), 254);
    bolsa.Escribe(QStringLiteral("Min"), 1);
    bolsa.Escribe(QStringLiteral("SmallChange"), 1);
    bolsa.Escribe(QStringLiteral("Titulo"), QStringLiteral("Address Relay"));
    editor->Lee_Propiedades(bolsa);
    editor->show();
    return editor;
}

std::pair<int, int> Registro_Nuevo(std::size_t posicion) {
    return {Estado.Nuevos_Setpoints[posicion], Estado.Nuevos_Setpoints[posicion + 1]};
}

class Controles : public Banco {};

} // namespace

TEST(Formato, Patrones_Del_Programa_Y_Redondeos) {
    EXPECT_EQ(Formatea(85, QStringLiteral("###0")), u"85");
    EXPECT_EQ(Formatea(853 * static_cast<double>(0.1f), QStringLiteral("##0.0")), u"85.3");
    EXPECT_EQ(Formatea(0.05, QStringLiteral("##0.00")), u"0.05");
    EXPECT_EQ(Formatea(42.5, QStringLiteral("####0")), u"43");
    EXPECT_EQ(Formatea(-2.5, QStringLiteral("0")), u"-3");
    EXPECT_EQ(Formatea(-0.04, QStringLiteral("##0.0")), u"0.0");
}

TEST_F(Controles, Calculadora_Muestra_Los_Datos_En_Unidades_Del_Operador) {
    Entradas(0, 220, 85);
    EXPECT_EQ(Muestra([](Calculadora &c) {
                  EXPECT_EQ(Texto(c, "Titulo"), u"Alarm Temperature \"L1\"");
                  EXPECT_EQ(Texto(c, "Viejo"), Con_Grados("85"));
                  EXPECT_EQ(Texto(c, "Rango"), Con_Grados("0 To 220"));
                  EXPECT_EQ(Texto(c, "Incremento"), u"1");
                  EXPECT_EQ(Texto(c, "Pantalla"), u"");
                  Boton(c, QStringLiteral("Cancel"));
              }),
              QDialog::Rejected);

    // Paso 0.1: one decimal, and the typed 85.3 comes back as exactly 853.
    Entradas(0, 2200, 853, 1, 1.0f / 0.1f);
    EXPECT_EQ(Muestra([](Calculadora &c) {
                  EXPECT_EQ(Texto(c, "Viejo"), Con_Grados("85.3"));
                  EXPECT_EQ(Texto(c, "Rango"), Con_Grados("0.0 To 220.0"));
                  EXPECT_EQ(Texto(c, "Incremento"), u"0.1");
                  Pulsa(c, QStringLiteral("85.3"));
                  Boton(c, QStringLiteral("OK"));
              }),
              QDialog::Accepted);
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(853));
}

TEST_F(Controles, Calculadora_Rechaza_Rango_Y_Paso_Y_Queda_Abierta_Con_Lo_Tecleado) {
    Entradas(1, 254, 5);
    operador->Espera_Mensaje(QStringLiteral("Out of Range"));
    operador->Espera_Mensaje(QStringLiteral("Out of Range"));
    EXPECT_EQ(Muestra([](Calculadora &c) {
                  Boton(c, QStringLiteral("OK")); // empty reads 0, below 1
                  Pulsa(c, QStringLiteral("255"));
                  Boton(c, QStringLiteral("OK"));
                  EXPECT_TRUE(c.isVisible());
                  EXPECT_EQ(Texto(c, "Pantalla"), u"255");
                  Boton(c, QStringLiteral("Command1"));
                  Pulsa(c, QStringLiteral("25"));
                  Boton(c, QStringLiteral("OK"));
              }),
              QDialog::Accepted);
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(25));
    EXPECT_EQ(operador->Pendientes(), 0u);

    Entradas(0, 220, 5);
    EXPECT_EQ(Muestra([](Calculadora &c) { Boton(c, QStringLiteral("OK")); }), QDialog::Accepted);
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(0));

    // The step is checked on the value the register gets.
    Entradas(0, 220, 5, 5);
    operador->Espera_Mensaje(QStringLiteral("Incorrect Range"));
    Muestra([](Calculadora &c) {
        Pulsa(c, QStringLiteral("12"));
        Boton(c, QStringLiteral("OK"));
        EXPECT_EQ(Texto(c, "Pantalla"), u"12");
        Boton(c, QStringLiteral("Command1"));
        Pulsa(c, QStringLiteral("15"));
        Boton(c, QStringLiteral("OK"));
    });
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(15));

    Entradas(0, 220, 5, 2);
    Muestra([](Calculadora &c) {
        Pulsa(c, QStringLiteral("7.5")); // taken as 8: passes, and 7.5 comes back
        Boton(c, QStringLiteral("OK"));
    });
    EXPECT_EQ(Calc_Resultado, *Moneda::De_Double(7.5));

    // The range is checked on the typed value with its decimals.
    Entradas(0, 220, 5);
    operador->Espera_Mensaje(QStringLiteral("Out of Range"));
    Muestra([](Calculadora &c) {
        Pulsa(c, QStringLiteral("220.4"));
        Boton(c, QStringLiteral("OK"));
        Boton(c, QStringLiteral("Command1"));
        Pulsa(c, QStringLiteral("219.6"));
        Boton(c, QStringLiteral("OK"));
    });
    EXPECT_EQ(Calc_Resultado, *Moneda::De_Double(219.6));

    // Two points: the number ends at the second one. A number no register can
    // hold is out of range, not wrapped into one.
    operador->Espera_Mensaje(QStringLiteral("Out of Range"));
    Muestra([](Calculadora &c) {
        Pulsa(c, QStringLiteral("99999999999999999999"));
        Boton(c, QStringLiteral("OK"));
        Boton(c, QStringLiteral("Command1"));
        Pulsa(c, QStringLiteral("12..5"));
        Boton(c, QStringLiteral("OK"));
    });
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(12));
}

TEST_F(Controles, Calculadora_Desde_El_Teclado_Y_Cerrada_Sin_OK_Devuelve_El_Valor_Anterior) {
    Entradas(0, 220, 85);
    EXPECT_EQ(Muestra([](Calculadora &c) {
                  Teclea(c, QStringLiteral("1507"));
                  QTest::keyClick(c.focusWidget() ? c.focusWidget() : &c, Qt::Key_Backspace);
                  EXPECT_EQ(Texto(c, "Pantalla"), u"150");
                  QTest::keyClick(c.focusWidget() ? c.focusWidget() : &c, Qt::Key_Return);
              }),
              QDialog::Accepted);
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(150));

    Muestra([](Calculadora &c) {
        Teclea(c, QStringLiteral("150"));
        QTest::keyClick(&c, Qt::Key_Escape);
    });
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(85));

    // Closed by the window frame after a refused value: the refused value is not
    // handed to the editor.
    operador->Espera_Mensaje(QStringLiteral("Out of Range"));
    Muestra([](Calculadora &c) {
        Pulsa(c, QStringLiteral("300"));
        Boton(c, QStringLiteral("OK"));
        c.close();
    });
    EXPECT_EQ(Calc_Resultado, Moneda::De_Entero(85));
}

TEST_F(Controles, Word_Inicializacion_Lee_Sin_Guardar_Ni_Avisar) {
    Estado.Set_Setpoints[4] = 0x00;
    Estado.Set_Setpoints[5] = 0x5A;
    auto editor = Editor_L1();
    QSignalSpy cambios(editor.get(), &Word_UnR::Change);
    QSignalSpy clics(editor.get(), &Word_UnR::Click);

    EXPECT_TRUE(editor->Inicializacion());
    EXPECT_EQ(editor->Posicion_Set(), 4);
    EXPECT_EQ(editor->Value(), 90);
    EXPECT_EQ(editor->Text(), Con_Grados("90"));
    EXPECT_EQ(Estado.Nuevos_Setpoints, decltype(Estado.Nuevos_Setpoints){});
    EXPECT_EQ(cambios.count() + clics.count(), 0);
}

TEST_F(Controles, Word_Flechas_Prueban_El_Limite_Antes_Del_Paso_Y_Siempre_Guardan) {
    auto editor = Editor_L1();
    QSignalSpy cambios(editor.get(), &Word_UnR::Change);

    // At the limit nothing changes on screen, yet the value is stored again.
    Estado.Nuevos_Setpoints[8] = 0xAA;
    Estado.Nuevos_Setpoints[9] = 0xAA;
    editor->Set_Text(QStringLiteral("x"));
    QTest::mouseClick(Flecha(*editor, "Abajo"), Qt::LeftButton);
    EXPECT_EQ(editor->Value(), 0);
    EXPECT_EQ(editor->Text(), u"x");
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x00, 0x00));
    EXPECT_EQ(cambios.count(), 1);

    editor->Set_Value(219);
    QTest::mouseClick(Flecha(*editor, "Arriba"), Qt::LeftButton);
    EXPECT_EQ(editor->Text(), Con_Grados("220"));
    QTest::mouseClick(Flecha(*editor, "Arriba"), Qt::LeftButton);
    EXPECT_EQ(editor->Value(), 220);
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x00, 0xDC));
    EXPECT_EQ(cambios.count(), 3);

    editor->Set_Value(219);
    editor->Set_SmallChange(5);
    QTest::mouseClick(Flecha(*editor, "Arriba"), Qt::LeftButton);
    EXPECT_EQ(editor->Value(), 224);
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x00, 0xE0));
}

TEST_F(Controles, Word_Clic_Guarda_Tras_OK_Y_Tras_Cancel) {
    Estado.Set_Setpoints[5] = 85;
    auto editor = Editor_L1();
    editor->Inicializacion();
    QSignalSpy clics(editor.get(), &Word_UnR::Click);
    QSignalSpy cambios(editor.get(), &Word_UnR::Change);

    Con_Calculadora([](Calculadora &c) {
        EXPECT_EQ(Texto(c, "Titulo"), u"Alarm Temperature \"L1\"");
        EXPECT_EQ(Texto(c, "Viejo"), Con_Grados("85"));
        Pulsa(c, QStringLiteral("150"));
        Boton(c, QStringLiteral("OK"));
    });
    Clic_Texto(*editor);
    EXPECT_EQ(editor->Value(), 150);
    EXPECT_EQ(editor->Text(), Con_Grados("150"));
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x00, 0x96));
    EXPECT_EQ(clics.count(), 1);

    Estado.Nuevos_Setpoints[9] = 0xAA;
    Con_Calculadora([](Calculadora &c) {
        Pulsa(c, QStringLiteral("99"));
        Boton(c, QStringLiteral("Cancel"));
    });
    Clic_Texto(*editor);
    EXPECT_EQ(editor->Value(), 150);
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x00, 0x96));
    EXPECT_EQ(clics.count(), 2);
    EXPECT_EQ(cambios.count(), 0);

    // 7.5 with a step of 2 passes as 8, and 8 is what the register gets.
    editor->Set_SmallChange(2);
    Con_Calculadora([](Calculadora &c) {
        Pulsa(c, QStringLiteral("7.5"));
        Boton(c, QStringLiteral("OK"));
    });
    Clic_Texto(*editor);
    EXPECT_EQ(editor->Value(), 8);
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x00, 0x08));
}

TEST_F(Controles, Word_Valor_Del_Host_Solo_Se_Ve_Y_Guarda_Con_Refrescar) {
    auto editor = Editor_L1();
    editor->Set_Direccion(QStringLiteral("0101"));
    editor->Set_Text(QStringLiteral("0 ") + Grados);
    QSignalSpy cambios(editor.get(), &Word_UnR::Change);
    QSignalSpy clics(editor.get(), &Word_UnR::Click);

    editor->Set_Min(100);
    editor->Set_Value(90); // below Min: not clamped either
    EXPECT_EQ(editor->Text(), Con_Grados("0"));
    EXPECT_EQ(Registro_Nuevo(10), std::make_pair(0, 0));

    EXPECT_FALSE(editor->Refrescar());
    EXPECT_EQ(editor->Value(), 90);
    EXPECT_EQ(editor->Text(), Con_Grados("90"));
    EXPECT_EQ(Registro_Nuevo(10), std::make_pair(0x00, 0x5A));
    EXPECT_EQ(cambios.count() + clics.count(), 0);
}

TEST_F(Controles, Word_Con_Paso_Decimal_Muestra_Y_Devuelve_En_Crudo) {
    auto editor = Editor_L1();
    editor->Set_Paso(0.1f);
    editor->Set_Formato(QStringLiteral("##0.0"));
    editor->Set_Max(2200);
    editor->Set_Value(853);
    editor->Refrescar();
    EXPECT_EQ(editor->Text(), Con_Grados("85.3"));

    Con_Calculadora([](Calculadora &c) {
        EXPECT_EQ(Texto(c, "Viejo"), Con_Grados("85.3"));
        Pulsa(c, QStringLiteral("120.7"));
        Boton(c, QStringLiteral("OK"));
    });
    Clic_Texto(*editor);
    EXPECT_EQ(editor->Value(), 1207);
    EXPECT_EQ(editor->Text(), Con_Grados("120.7"));
    EXPECT_EQ(Registro_Nuevo(8), std::make_pair(0x04, 0xB7));
}

TEST_F(Controles, Byte_Direccion_Entre_1_Y_254_En_La_Cabecera) {
    auto editor = Editor_Direccion();
    QSignalSpy cambios(editor.get(), &Byte_UnR::Change);
    QSignalSpy clics(editor.get(), &Byte_UnR::Click);

    editor->Set_Value(254);
    QTest::mouseClick(Flecha(*editor, "Arriba"), Qt::LeftButton);
    EXPECT_EQ(editor->Value(), 254);
    EXPECT_EQ(Estado.Nuevos_Setpoints[4], 254);
    EXPECT_EQ(editor->Dato(), QVariant(254));
    EXPECT_EQ(cambios.count(), 1);

    editor->Set_Value(1);
    QTest::mouseClick(Flecha(*editor, "Abajo"), Qt::LeftButton);
    EXPECT_EQ(editor->Value(), 1);
    EXPECT_EQ(Estado.Nuevos_Setpoints[4], 1);

    operador->Espera_Mensaje(QStringLiteral("Out of Range"));
    Con_Calculadora([](Calculadora &c) {
        Pulsa(c, QStringLiteral("255"));
        Boton(c, QStringLiteral("OK"));
        Boton(c, QStringLiteral("Command1"));
        Pulsa(c, QStringLiteral("17"));
        Boton(c, QStringLiteral("OK"));
    });
    Clic_Texto(*editor);
    EXPECT_EQ(editor->Text(), u"17 ");
    EXPECT_EQ(Estado.Nuevos_Setpoints[4], 17);
    EXPECT_EQ(editor->Dato(), QVariant(QString()));
    EXPECT_EQ(clics.count(), 1);
    // The address is a header byte: no setpoint moved.
    for (std::size_t i = 8; i <= 19; ++i)
        EXPECT_EQ(Estado.Nuevos_Setpoints[i], 0) << i;
}

TEST_F(Controles, Byte_De_Un_Registro_Guarda_En_Su_Posicion) {
    Estado.Set_Setpoints[12] = 0x00;
    Estado.Set_Setpoints[13] = 0x0F;
    auto editor = Editor_Direccion();
    editor->Set_Direccion(QStringLiteral("0104"));
    editor->Set_Min(0);
    EXPECT_TRUE(editor->Inicializacion());
    EXPECT_EQ(editor->Posicion_Set(), 12);
    EXPECT_EQ(editor->Value(), 0);
    EXPECT_EQ(editor->Text(), u"0 ");

    QTest::mouseClick(Flecha(*editor, "Arriba"), Qt::LeftButton);
    EXPECT_EQ(Estado.Nuevos_Setpoints[16], 1);
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0);
}

TEST_F(Controles, Propiedades_De_Los_Editores_Van_Y_Vuelven) {
    auto editor = Editor_L1();
    editor->Set_Bit_de_Bloque(3);
    editor->Set_Bit_de_Word(7);
    editor->Set_Dato(QStringLiteral("L1"));
    editor->Set_Posicion_Set(4);
    editor->Set_Value(85);
    editor->Set_Enabled(false);
    Bolsa_Propiedades guardada;
    editor->Escribe_Propiedades(guardada);

    Word_UnR copia;
    copia.Lee_Propiedades(guardada);
    EXPECT_EQ(copia.Direccion(), u"0100");
    EXPECT_EQ(copia.Paso(), 1.0f);
    EXPECT_EQ(copia.Medida(), Grados);
    EXPECT_EQ(copia.Formato(), u"###0");
    EXPECT_EQ(copia.Max(), 220);
    EXPECT_EQ(copia.Value(), 85);
    EXPECT_EQ(copia.SmallChange(), 1);
    EXPECT_EQ(copia.Titulo(), u"Alarm Temperature \"L1\"");
    EXPECT_EQ(copia.Bit_de_Bloque(), 3);
    EXPECT_EQ(copia.Bit_de_Word(), 7);
    EXPECT_EQ(copia.Dato(), QVariant(QStringLiteral("L1")));
    EXPECT_EQ(copia.Posicion_Set(), 4);
    EXPECT_FALSE(copia.Enabled());

    // Names compare without case; what is absent takes its default.
    Bolsa_Propiedades escrita;
    escrita.Escribe(QStringLiteral("DIRECCION"), QStringLiteral("0103"));
    escrita.Escribe(QStringLiteral("smallchange"), 2);
    escrita.Escribe(QStringLiteral("posición_set"), 10);
    Word_UnR otro;
    otro.Set_Medida(QStringLiteral("x"));
    otro.Lee_Propiedades(escrita);
    EXPECT_EQ(otro.Direccion(), u"0103");
    EXPECT_EQ(otro.SmallChange(), 2);
    EXPECT_EQ(otro.Posicion_Set(), 10);
    EXPECT_EQ(otro.Medida(), u"0");
    EXPECT_EQ(otro.Text(), u"Text1");
    EXPECT_TRUE(otro.Enabled());
    EXPECT_EQ(otro.Font().pointSizeF(), 8.25);
}

TEST_F(Controles, Byte_Guarda_Su_BackColor_Y_El_Del_Texto_Bajo_El_Mismo_Nombre) {
    const auto Fondo = [](Byte_UnR &e) {
        return e.findChild<QLineEdit *>(QStringLiteral("Text1"))->palette().color(QPalette::Base);
    };

    // Neither colour set: nothing saved, so the text box keeps the window colour
    // instead of taking BackColor's default of black.
    Byte_UnR nuevo;
    Bolsa_Propiedades vacia;
    nuevo.Escribe_Propiedades(vacia);
    EXPECT_FALSE(vacia.Contiene(QStringLiteral("BackColor")));
    Byte_UnR de_vacia;
    de_vacia.Lee_Propiedades(vacia);
    EXPECT_EQ(de_vacia.BackColor(), 0);
    EXPECT_EQ(Fondo(de_vacia), QApplication::palette().color(QPalette::Base));

    // A saved colour comes back for both.
    Byte_UnR rojo;
    rojo.Set_BackColor(0x0000FF);
    EXPECT_NE(Fondo(rojo), QColor(Qt::red)); // setting it does not recolour the text box
    Bolsa_Propiedades guardada;
    rojo.Escribe_Propiedades(guardada);
    EXPECT_EQ(guardada.Lee(QStringLiteral("backcolor")).toInt(), 0x0000FF);
    Byte_UnR copia;
    copia.Lee_Propiedades(guardada);
    EXPECT_EQ(copia.BackColor(), 0x0000FF);
    EXPECT_EQ(Fondo(copia), QColor(Qt::red));
}

TEST_F(Controles, Panel_Las_Lamparas_Cambian_Solo_Con_Refrescar_O_Desactivar) {
    UserControl1 panel;
    panel.show();
    const auto Rojo_En = [&panel](int left, int top) {
        return panel.grab().toImage().pixelColor(Pixeles(left + 90), Pixeles(top + 90)).red();
    };
    const int apagado = Rojo_En(2400, 1608);
    EXPECT_LT(apagado, 160);

    panel.Set_Pt1(true);
    panel.Set_Tmax(true);
    EXPECT_FALSE(panel.Led_Encendido(1));
    EXPECT_EQ(Rojo_En(2400, 1608), apagado);

    EXPECT_FALSE(panel.Refrescar());
    EXPECT_TRUE(panel.Led_Encendido(1));
    EXPECT_TRUE(panel.Led_Encendido(11));
    EXPECT_GT(Rojo_En(2400, 1608), 200);
    const QColor verde = panel.grab().toImage().pixelColor(Pixeles(330 + 90), Pixeles(1080 + 90));
    EXPECT_GT(verde.green(), 200);
    EXPECT_LT(verde.red(), verde.green());

    EXPECT_FALSE(panel.Desactivar());
    for (int k = 0; k < 12; ++k)
        EXPECT_FALSE(panel.Led_Encendido(k)) << k;
    EXPECT_TRUE(panel.Pt1());
    EXPECT_EQ(Rojo_En(2400, 1608), apagado);

    panel.Set_Pt1(false);
    panel.Refrescar();
    EXPECT_FALSE(panel.Led_Encendido(1));
    EXPECT_TRUE(panel.Led_Encendido(11));
}

TEST_F(Controles, Panel_Sin_Propiedades_Guardadas_Sale_Desactivado) {
    UserControl1 panel;
    panel.Lee_Propiedades(Bolsa_Propiedades{});
    EXPECT_FALSE(panel.Enabled());
    EXPECT_FALSE(panel.Fault() || panel.Pt1() || panel.L1() || panel.Man() || panel.Tmax());
    panel.Set_L2(true);
    panel.Refrescar();
    EXPECT_TRUE(panel.Led_Encendido(6));

    // Enabled is always saved, a lamp only when it is on.
    panel.Set_Enabled(true);
    panel.Set_Man(true);
    Bolsa_Propiedades guardada;
    panel.Escribe_Propiedades(guardada);
    QStringList claves = guardada.Claves();
    claves.sort();
    EXPECT_EQ(claves, QStringList({QStringLiteral("Enabled"), QStringLiteral("L2"),
                                   QStringLiteral("Man")}));
    UserControl1 copia;
    copia.Lee_Propiedades(guardada);
    EXPECT_TRUE(copia.Enabled());
    EXPECT_TRUE(copia.L2());
    EXPECT_TRUE(copia.Man());
    EXPECT_FALSE(copia.L1());
}
