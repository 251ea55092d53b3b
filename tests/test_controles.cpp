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
#include "tests/soporte/Manos.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace {

const QString Fuera = QStringLiteral("Out of Range");

// Shows a fresh dialog for a register of min..max whose old value is 85.
int Muestra(Operador &dialogos, int32_t minimo, int32_t maximo, int16_t paso,
            std::function<void(Calculadora &)> manos) {
    std::tie(Calc_Minimo, Calc_Maximo, Calc_Incremento) = std::tuple(minimo, maximo, paso);
    std::tie(Calc_Anterior, Calc_Factor) = std::tuple(85, 1.0f);
    Con_Calculadora(std::move(manos));
    return Calculadora(dialogos).exec();
}

// An editor as a form sets it up: by default, the main page's L1.
template <typename Editor>
std::unique_ptr<Editor> Editor_Con(Operador &dialogos, int max = 220,
                                   const QString &medida = QString::fromUtf8("°C")) {
    auto editor = std::make_unique<Editor>(nullptr, &dialogos);
    editor->Set_Direccion(QStringLiteral("0100"));
    editor->Set_Paso(1.0f);
    editor->Set_Medida(medida);
    editor->Set_Max(max);
    editor->Set_SmallChange(1);
    editor->show();
    return editor;
}

// The register of the edit image at this byte position, as the write sends it.
int Registro_Nuevo(std::size_t posicion) {
    return Estado.Nuevos_Setpoints[posicion] * 256 + Estado.Nuevos_Setpoints[posicion + 1];
}

class Controles : public Banco {};

} // namespace

TEST(Formato, Redondea_Alejandose_Del_Cero_Y_Sin_Cero_Negativo) {
    EXPECT_EQ(Formatea(-2.5, QStringLiteral("0")), u"-3");
    EXPECT_EQ(Formatea(-0.04, QStringLiteral("##0.0")), u"0.0");
}

TEST_F(Controles, Calculadora_Rechaza_Rango_Y_Paso_Y_Queda_Abierta_Con_Lo_Tecleado) {
    struct Caso {
        int32_t minimo, maximo, paso;
        std::vector<std::pair<QString, QString>> rechazos; // typed, message
        QString aceptado;
        double resultado;
    };
    const Caso casos[] = {
        // Empty reads 0, below 1.
        {1, 254, 1, {{"", Fuera}, {"255", Fuera}}, "25", 25},
        // The step is checked on the value the register gets.
        {0, 220, 5, {{"12", QStringLiteral("Incorrect Range")}}, "15", 15},
        // The range is checked on the typed value with its decimals.
        {0, 220, 1, {{"220.4", Fuera}}, "219.6", 219.6},
        // A number no register can hold is out of range, not wrapped into one;
        // with two points the number ends at the second.
        {0, 220, 1, {{"99999999999999999999", Fuera}}, "12..5", 12},
    };
    for (const Caso &caso : casos) {
        SCOPED_TRACE(caso.aceptado.toStdString());
        for (const auto &r : caso.rechazos)
            operador->Espera_Mensaje(r.second);
        const auto manos = [&caso](Calculadora &c) {
            for (const auto &r : caso.rechazos) {
                Entra(c, r.first);
                EXPECT_TRUE(c.isVisible());
                EXPECT_EQ(c.findChild<QLineEdit *>()->text(), r.first);
            }
            Entra(c, caso.aceptado);
        };
        EXPECT_EQ(Muestra(*operador, caso.minimo, caso.maximo, caso.paso, manos),
                  QDialog::Accepted);
        EXPECT_EQ(Calc_Resultado.A_Double(), caso.resultado);
    }
}

TEST_F(Controles, Calculadora_Desde_El_Teclado_Y_Cerrada_Sin_OK_Devuelve_El_Valor_Anterior) {
    for (const Qt::Key fin : {Qt::Key_Return, Qt::Key_Escape}) {
        Muestra(*operador, 0, 220, 1, [fin](Calculadora &c) {
            QWidget *foco = c.focusWidget() ? c.focusWidget() : &c;
            QTest::keyClicks(foco, QStringLiteral("1507"));
            QTest::keyClick(foco, Qt::Key_Backspace);
            QTest::keyClick(fin == Qt::Key_Escape ? &c : foco, fin);
        });
        EXPECT_EQ(Calc_Resultado.A_Double(), fin == Qt::Key_Return ? 150 : 85);
    }
    // Closed by the window frame after a refused value: that value is not handed on.
    operador->Espera_Mensaje(Fuera);
    Muestra(*operador, 0, 220, 1,
            [](Calculadora &c) { Entra(c, QStringLiteral("300")), c.close(); });
    EXPECT_EQ(Calc_Resultado.A_Double(), 85);
}

TEST_F(Controles, Word_Flechas_Prueban_El_Limite_Antes_Del_Paso_Y_Siempre_Guardan) {
    auto editor = Editor_Con<Word_UnR>(*operador);
    QSignalSpy cambios(editor.get(), &Word_UnR::Change), clics(editor.get(), &Word_UnR::Click);
    // At the limit nothing changes on screen, yet the value is stored again.
    Estado.Nuevos_Setpoints[8] = Estado.Nuevos_Setpoints[9] = 0xAA;
    editor->Set_Text(QStringLiteral("x"));
    Clic(*editor, "Abajo");
    EXPECT_EQ(editor->Text(), u"x");
    EXPECT_EQ(Registro_Nuevo(8), 0);
    editor->Set_Value(219);
    Clic(*editor, "Arriba");
    EXPECT_EQ(editor->Text(), u"220 °C");
    Clic(*editor, "Arriba");
    EXPECT_EQ(Registro_Nuevo(8), 220);
    EXPECT_EQ(cambios.count(), 3);
    // The limit is tested before the step.
    editor->Set_Value(219);
    editor->Set_SmallChange(5);
    Clic(*editor, "Arriba");
    EXPECT_EQ(Registro_Nuevo(8), 224);

    // A value from the host is neither shown nor stored until Refrescar, and
    // raises nothing; below Min it is not clamped either.
    cambios.clear();
    editor->Set_Direccion(QStringLiteral("0101"));
    editor->Set_Min(100);
    editor->Set_Value(95);
    EXPECT_EQ(editor->Text(), u"224 °C");
    EXPECT_EQ(Registro_Nuevo(10), 0);
    EXPECT_FALSE(editor->Refrescar());
    EXPECT_EQ(editor->Text(), u"95 °C");
    EXPECT_EQ(Registro_Nuevo(10), 95);
    EXPECT_EQ(cambios.count() + clics.count(), 0);
}

TEST_F(Controles, Word_Clic_Guarda_Tras_OK_Y_Tras_Cancel) {
    Estado.Set_Setpoints[5] = 85;
    auto editor = Editor_Con<Word_UnR>(*operador);
    QSignalSpy clics(editor.get(), &Word_UnR::Click), cambios(editor.get(), &Word_UnR::Change);
    // Reading the relay's value shows it without storing it.
    EXPECT_TRUE(editor->Inicializacion());
    EXPECT_EQ(editor->Text(), u"85 °C");
    EXPECT_EQ(Estado.Nuevos_Setpoints, decltype(Estado.Nuevos_Setpoints){});
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("150")); });
    Clic(*editor, "Text1");
    EXPECT_EQ(Registro_Nuevo(8), 150);

    Estado.Nuevos_Setpoints[9] = 0xAA;
    Con_Calculadora([](Calculadora &c) { Boton(c, QStringLiteral("Cancel")); });
    Clic(*editor, "Text1");
    EXPECT_EQ(Registro_Nuevo(8), 150);
    EXPECT_EQ(clics.count(), 2);
    EXPECT_EQ(cambios.count(), 0);

    // 7.5 with a step of 2 passes as 8, and 8 is what the register gets.
    editor->Set_SmallChange(2);
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("7.5")); });
    Clic(*editor, "Text1");
    EXPECT_EQ(Registro_Nuevo(8), 8);

    // A step of 0.1: the dialog works in tenths and the register gets the raw count.
    editor->Set_Paso(0.1f);
    editor->Set_Formato(QStringLiteral("##0.0"));
    editor->Set_Max(2200);
    editor->Set_SmallChange(1);
    Con_Calculadora([](Calculadora &c) {
        EXPECT_EQ(c.findChild<QLabel *>("Viejo")->text(), u"0.8 °C");
        EXPECT_EQ(c.findChild<QLabel *>("Rango")->text(), u"0.0 To 220.0 °C");
        EXPECT_EQ(c.findChild<QLabel *>("Incremento")->text(), u"0.1");
        Entra(c, QStringLiteral("120.7"));
    });
    Clic(*editor, "Text1");
    EXPECT_EQ(editor->Text(), u"120.7 °C");
    EXPECT_EQ(Registro_Nuevo(8), 1207);
}

TEST_F(Controles, Byte_Direccion_Se_Guarda_En_La_Cabecera) {
    auto editor = Editor_Con<Byte_UnR>(*operador, 254, {});
    // The relay address is a header byte: no setpoint moves.
    editor->Set_Value(254);
    Clic(*editor, "Arriba");
    EXPECT_EQ(Estado.Nuevos_Setpoints[4], 254);
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("17")); });
    Clic(*editor, "Text1");
    EXPECT_EQ(editor->Text(), u"17 ");
    EXPECT_EQ(Estado.Nuevos_Setpoints[4], 17);
    for (std::size_t i = 8; i <= 19; ++i)
        EXPECT_EQ(Estado.Nuevos_Setpoints[i], 0) << i;
}

TEST_F(Controles, Byte_Sin_Color_Guardado_Deja_El_Fondo_De_La_Ventana) {
    // Byte: with neither colour set nothing is saved, so the text box keeps the
    // window colour instead of BackColor's default of black; a saved one comes
    // back for both.
    const auto fondo = [](Byte_UnR &e) {
        return e.findChild<QLineEdit *>(QStringLiteral("Text1"))->palette().color(QPalette::Base);
    };
    Byte_UnR nuevo, rojo, de_vacia, de_rojo;
    Bolsa_Propiedades vacia, guardada;
    nuevo.Escribe_Propiedades(vacia);
    de_vacia.Lee_Propiedades(vacia);
    EXPECT_EQ(fondo(de_vacia), QApplication::palette().color(QPalette::Base));
    rojo.Set_BackColor(0x0000FF);
    rojo.Escribe_Propiedades(guardada);
    de_rojo.Lee_Propiedades(guardada);
    EXPECT_EQ(de_rojo.BackColor(), 0x0000FF);
    EXPECT_EQ(fondo(de_rojo), QColor(Qt::red));
}

TEST_F(Controles, Panel_Las_Lamparas_Cambian_Solo_Con_Refrescar_O_Desactivar) {
    UserControl1 panel;
    panel.show();
    const auto color_en = [&panel](int left, int top) {
        return panel.grab().toImage().pixelColor(Pixeles(left + 90), Pixeles(top + 90));
    };
    const int apagado = color_en(2400, 1608).red(); // Pt1
    EXPECT_LT(apagado, 160);
    panel.Set_Pt1(true);
    panel.Set_Tmax(true);
    EXPECT_FALSE(panel.Led_Encendido(1));
    EXPECT_EQ(color_en(2400, 1608).red(), apagado);
    EXPECT_FALSE(panel.Refrescar());
    EXPECT_TRUE(panel.Led_Encendido(1) && panel.Led_Encendido(11));
    EXPECT_GT(color_en(2400, 1608).red(), 200);

    EXPECT_FALSE(panel.Desactivar());
    for (int k = 0; k < 12; ++k)
        EXPECT_FALSE(panel.Led_Encendido(k)) << k;
    EXPECT_EQ(color_en(2400, 1608).red(), apagado);
    panel.Set_Pt1(false);
    panel.Refrescar();
    EXPECT_FALSE(panel.Led_Encendido(1));
    EXPECT_TRUE(panel.Led_Encendido(11));
    // A panel whose host saved nothing comes up disabled.
    panel.Lee_Propiedades(Bolsa_Propiedades{});
    EXPECT_FALSE(panel.Enabled());
}

TEST_F(Controles, Editor_Propiedades_Vuelven_De_La_Bolsa_Y_Cambian_Lo_Que_Se_Ve) {
    // What a form saves comes back as it was set, the slots no editing step
    // reads included; the face comes back with its own size, not 8.25.
    auto origen = Editor_Con<Word_UnR>(*operador);
    auto copia = Editor_Con<Word_UnR>(*operador);
    QFont letra(QStringLiteral("Liberation Serif"));
    letra.setPointSizeF(12);
    origen->Set_Bit_de_Bloque(3);
    origen->Set_Bit_de_Word(200);
    origen->Set_Font(letra);
    origen->Set_Posicion_Set(12);
    origen->Set_Titulo(QStringLiteral("Alarm Temperature \"L1\""));
    origen->Set_Dato(QStringLiteral("libre"));
    EXPECT_EQ(origen->findChild<QLineEdit *>(QStringLiteral("Text1"))->font(), letra);
    Bolsa_Propiedades bolsa;
    origen->Escribe_Propiedades(bolsa);
    copia->Lee_Propiedades(bolsa);
    EXPECT_EQ(copia->Bit_de_Bloque(), 3);
    EXPECT_EQ(copia->Bit_de_Word(), 200);
    EXPECT_EQ(copia->Font().family(), letra.family());
    EXPECT_EQ(copia->Font().pointSizeF(), 12);
    EXPECT_EQ(copia->Posicion_Set(), 12);
    EXPECT_EQ(copia->Titulo(), u"Alarm Temperature \"L1\"");
    EXPECT_EQ(copia->Dato(), QVariant(QStringLiteral("libre")));

    // The title is the dialog's first line.
    Con_Calculadora([](Calculadora &c) {
        EXPECT_EQ(c.findChild<QLabel *>(QStringLiteral("Titulo"))->text(),
                  u"Alarm Temperature \"L1\"");
        Boton(c, QStringLiteral("Cancel"));
    });
    Clic(*copia, "Text1");
}

TEST_F(Controles, Byte_Guarda_En_Su_Posicion_Y_Dice_Borde_Y_Alineacion) {
    // The byte editor stores at its Posicion_Set as it stands: set by the host,
    // or worked out from Direccion by Inicializacion.
    auto editor = Editor_Con<Byte_UnR>(*operador, 254, {});
    editor->Set_Posicion_Set(6);
    editor->Set_Value(7);
    Clic(*editor, "Arriba");
    EXPECT_EQ(Estado.Nuevos_Setpoints[10], 8);
    editor->Set_Direccion(QStringLiteral("0104"));
    Estado.Set_Setpoints[12] = 0x00;
    EXPECT_TRUE(editor->Inicializacion());
    EXPECT_EQ(editor->Posicion_Set(), 12);
    EXPECT_EQ(editor->Text(), u"0 ");
    Clic(*editor, "Arriba");
    EXPECT_EQ(Estado.Nuevos_Setpoints[16], 1);

    auto *texto = editor->findChild<QLineEdit *>(QStringLiteral("Text1"));
    EXPECT_EQ(editor->BorderStyle(), 1);
    EXPECT_EQ(editor->Alignment(), 0);
    texto->setFrame(false);
    texto->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(editor->BorderStyle(), 0);
    EXPECT_EQ(editor->Alignment(), 1);
    texto->setAlignment(Qt::AlignHCenter);
    EXPECT_EQ(editor->Alignment(), 2);
}

TEST_F(Controles, Word_Eventos_De_Su_Superficie_Doble_Clic_Y_Tamano) {
    auto editor = Editor_Con<Word_UnR>(*operador);
    QSignalSpy abajo(editor.get(), &Word_UnR::MouseDown), mueve(editor.get(), &Word_UnR::MouseMove),
        arriba(editor.get(), &Word_UnR::MouseUp), doble(editor.get(), &Word_UnR::DblClick),
        clics(editor.get(), &Word_UnR::Click), tamano(editor.get(), &Word_UnR::Resize);
    // Buttons and keys in the control's codes, the place in twips.
    QTest::mousePress(editor.get(), Qt::RightButton, Qt::ShiftModifier | Qt::ControlModifier,
                      QPoint(10, 4));
    QMouseEvent movido(QEvent::MouseMove, QPointF(12, 5), editor->mapToGlobal(QPointF(12, 5)),
                       Qt::NoButton, Qt::LeftButton | Qt::MiddleButton, Qt::AltModifier);
    QApplication::sendEvent(editor.get(), &movido);
    QTest::mouseRelease(editor.get(), Qt::MiddleButton, Qt::NoModifier, QPoint(1, 2));
    using Raton = std::tuple<int16_t, int16_t, float, float>;
    const auto argumentos = [](const QList<QVariant> &a) {
        return Raton(a[0].value<int16_t>(), a[1].value<int16_t>(), a[2].toFloat(), a[3].toFloat());
    };
    ASSERT_EQ(abajo.count() + mueve.count() + arriba.count(), 3);
    EXPECT_EQ(argumentos(abajo[0]), Raton(2, 3, 150, 60));
    EXPECT_EQ(argumentos(mueve[0]), Raton(5, 4, 180, 75));
    EXPECT_EQ(argumentos(arriba[0]), Raton(4, 0, 15, 30));

    // The click before a double click runs the dialog; the double click itself
    // and the release that ends it open no second one.
    Con_Calculadora([](Calculadora &c) { Boton(c, QStringLiteral("Cancel")); });
    Clic(*editor, "Text1");
    QTimer::singleShot(0, [] {
        if (auto *otro = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            ADD_FAILURE() << "a double click opened the dialog again";
            otro->reject();
        }
    });
    auto *texto = editor->findChild<QWidget *>(QStringLiteral("Text1"));
    QTest::mouseDClick(texto, Qt::LeftButton);
    QTest::mouseRelease(texto, Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(doble.count(), 1);
    EXPECT_EQ(clics.count(), 1);

    // 1500 twips wide: a text box of 1248, the arrows at 1251 and 255 wide.
    tamano.clear();
    editor->resize(100, 21);
    EXPECT_EQ(tamano.count(), 1);
    EXPECT_EQ(texto->geometry(), QRect(0, 0, Pixeles(1248), 21));
    EXPECT_EQ(editor->findChild<QWidget *>(QStringLiteral("UpDown1"))->geometry(),
              QRect(Pixeles(1251), 0, Pixeles(255), 21));
}

TEST_F(Controles, Panel_Cada_Propiedad_Enciende_Su_Lampara_Y_Se_Guarda_Con_Su_Nombre) {
    struct Lampara {
        const char *nombre;
        bool (UserControl1::*lee)() const;
        void (UserControl1::*fija)(bool);
    };
    const Lampara lamparas[12] = {
        {"Fault", &UserControl1::Fault, &UserControl1::Set_Fault},
        {"Pt1", &UserControl1::Pt1, &UserControl1::Set_Pt1},
        {"Pt2", &UserControl1::Pt2, &UserControl1::Set_Pt2},
        {"Pt3", &UserControl1::Pt3, &UserControl1::Set_Pt3},
        {"Pt4", &UserControl1::Pt4, &UserControl1::Set_Pt4},
        {"L1", &UserControl1::L1, &UserControl1::Set_L1},
        {"L2", &UserControl1::L2, &UserControl1::Set_L2},
        {"FAN", &UserControl1::FAN, &UserControl1::Set_FAN},
        {"Prog", &UserControl1::Prog, &UserControl1::Set_Prog},
        {"Aut", &UserControl1::Aut, &UserControl1::Set_Aut},
        {"Man", &UserControl1::Man, &UserControl1::Set_Man},
        {"Tmax", &UserControl1::Tmax, &UserControl1::Set_Tmax},
    };
    for (int k = 0; k < 12; ++k) {
        SCOPED_TRACE(lamparas[k].nombre);
        UserControl1 panel, copia;
        (panel.*lamparas[k].fija)(true);
        panel.Set_Enabled(true);
        Bolsa_Propiedades bolsa;
        panel.Escribe_Propiedades(bolsa);
        EXPECT_TRUE(bolsa.Lee(QString::fromLatin1(lamparas[k].nombre), false).toBool());
        copia.Lee_Propiedades(bolsa);
        EXPECT_TRUE((copia.*lamparas[k].lee)());
        EXPECT_TRUE(copia.Enabled());
        copia.Refrescar();
        for (int j = 0; j < 12; ++j)
            EXPECT_EQ(copia.Led_Encendido(j), j == k) << j;
    }
}
