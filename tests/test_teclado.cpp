// The main page from the keyboard and its tools in plain sight, on the real host
// and page with the simulated relay: the menu's keys, the editors' keys, Tab's
// order, the Tools menu and F1, and leaving with edits not yet sent.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Version.h"
#include "controles/Byte_UnR.h"
#include "controles/Calculadora.h"
#include "controles/Word_UnR.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Herramientas_Pagina.h"
#include "formularios/Registro_Pagina.h"
#include "formularios/Ventana_Teclas.h"
#include "formularios/Ventana_Tendencia.h"
#include "formularios/Ventana_Trafico.h"
#include "tests/soporte/Escritorio.h"
#include "tests/soporte/Manos.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

const QString Sin_Enviar =
    QStringLiteral("The setpoints you edited have not been sent to the relay. Leave without "
                   "sending them?");
const QString Titulo_Salir = QStringLiteral("Exit KV - 73");

class Teclado : public Escritorio {
  protected:
    // The page shown and active, offline, with four probes and a fan so that
    // every setpoint control is there.
    AVPAGE2 &Pagina_Activa() {
        AVPAGE2 &p = Pagina();
        p.show();
        p.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
        for (int i : {0, 1}) {
            p.Combo[i]->setCurrentIndex(1);
            p.Combo_Click(i);
        }
        return p;
    }
    // Back on the page after a dialog, with the focus where it was.
    static void Activa(AVPAGE2 &p) {
        p.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
    }
    static void Tecla(QWidget &w, Qt::Key tecla, Qt::KeyboardModifiers mod = Qt::NoModifier) {
        QTest::keyClick(&w, tecla, mod);
    }
    static QWidget *Foco() { return QApplication::focusWidget(); }
    static QWidget *Texto(Word_UnR *e) { return e->findChild<QLineEdit *>(); }
};

} // namespace

TEST_F(Teclado, EachMenuItemRunsFromItsKeyNamedInItsTooltip) {
    AVPAGE2 &p = Pagina_Activa();
    QStringList consejos;
    for (QLabel *item : p.Menu)
        consejos << item->toolTip();
    EXPECT_EQ(consejos, (QStringList{"Ctrl+O", "Ctrl+S", "Ctrl+Shift+S", "Ctrl+P", "Ctrl+K",
                                     "Ctrl+Q", "Ctrl+N"}));

    const QString muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
    operador->Espera_Abrir(muestra);
    Tecla(p, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(p.Word_UnR_[0]->Text().toStdString(), "85 °C") << "Load File read the file";

    operador->Espera_Guardar(std::nullopt);
    Tecla(p, Qt::Key_S, Qt::ControlModifier);
    // Send asks for the address once it has a file; an empty answer sends nothing.
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 1"), QString());
    Tecla(p, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(puerto->escrituras.empty());

    int impresiones = 0;
    impresora->elige = [&impresiones](QPrinter &) { return ++impresiones, false; };
    Tecla(p, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(impresiones, 1);

    QString abierto;
    QTimer::singleShot(0, [&abierto] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            abierto = modal->metaObject()->className();
            modal->close();
        }
    });
    Tecla(p, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(abierto, QStringLiteral("Comunicacion"));

    Activa(p);
    Tecla(p, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(p.Word_UnR_[0]->Text().toStdString(), "0 °C") << "New cleared the setpoints";

    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), Titulo_Salir, Respuesta::No);
    Tecla(p, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(terminaciones, 0);
}

// Up and Down follow the arrows' rules: SmallChange a step, the limit tested
// before the step, the leader pushing its follower, STORE turning amber.
TEST_F(Teclado, AFocusedEditorStepsWithUpDownAndOpensTheKeypadWithEnterOrF2) {
    AVPAGE2 &p = Pagina_Activa();
    Word_UnR &l1 = *p.Word_UnR_[0], &l2 = *p.Word_UnR_[1];
    l1.setFocus();
    ASSERT_EQ(Foco(), Texto(&l1)) << "the editor's focus is on its text box";
    Tecla(*Foco(), Qt::Key_Up);
    EXPECT_EQ(l1.Text().toStdString(), "1 °C");
    EXPECT_EQ(l2.Text().toStdString(), "2 °C") << "L2 pushed above L1 as by the arrow";
    EXPECT_TRUE(Estado.Edicion_Pendiente);
    EXPECT_TRUE(p.Command1->property("pendiente").toBool());
    Tecla(*Foco(), Qt::Key_Down);
    Tecla(*Foco(), Qt::Key_Down);
    EXPECT_EQ(l1.Value(), 0) << "no step below Min";

    l1.Set_SmallChange(5);
    l1.Set_Value(l1.Max() - 1);
    Tecla(*Foco(), Qt::Key_Up);
    Tecla(*Foco(), Qt::Key_Up);
    EXPECT_EQ(l1.Value(), l1.Max() + 4) << "tested before the step, as the arrow does";

    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("70")); });
    Tecla(*Foco(), Qt::Key_Return);
    EXPECT_EQ(l1.Text().toStdString(), "70 °C");
    Activa(p);
    ASSERT_EQ(Foco(), Texto(&l1));
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("75")); });
    Tecla(*Foco(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(l1.Value(), 75);
    Activa(p);
    Con_Calculadora([](Calculadora &c) { Boton(c, QStringLiteral("Cancel")); });
    Tecla(*Foco(), Qt::Key_F2);
    EXPECT_EQ(l1.Value(), 75) << "Cancel gives the old value back";
    Activa(p);
    // With a modifier the key is the page's, not the editor's.
    Tecla(*Foco(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(l1.Value(), 75);
}

// The relay address in the settings dialog: the same keys, inside 1..254.
TEST_F(Teclado, TheAddressEditorStepsWithinTheRelaysRangeAndTakesTheKeypad) {
    Estado.Direccion_Rele = 254;
    Comunicacion &d = Comunicacion::Cargada(Enlace());
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    d.Byte_UnR1->setFocus();
    QWidget *texto = d.Byte_UnR1->findChild<QLineEdit *>();
    ASSERT_EQ(Foco(), texto);
    Tecla(*texto, Qt::Key_Up);
    EXPECT_EQ(d.Byte_UnR1->Value(), 254) << "no relay takes 255";
    Tecla(*texto, Qt::Key_Down);
    EXPECT_EQ(d.Byte_UnR1->Value(), 253);
    Con_Calculadora([](Calculadora &c) { Entra(c, QStringLiteral("1")); });
    Tecla(*texto, Qt::Key_F2);
    Tecla(*texto, Qt::Key_Down);
    EXPECT_EQ(d.Byte_UnR1->Value(), 1);
    EXPECT_TRUE(d.isVisible()) << "Enter and F2 are the editor's, not the dialog's";
    d.hide();
}

TEST_F(Teclado, TabGoesDownTheSetpointsThenStoreClearAndTheMenuAndAMenuItemRunsOnEnter) {
    AVPAGE2 &p = Pagina_Activa();
    ASSERT_EQ(Foco(), p.Combo[0]) << "the page opens on RTD Quantity";
    std::vector<QWidget *> orden = {
        Texto(p.Word_UnR_[0]), Texto(p.Word_UnR_[1]), p.Combo[1], p.Combo[2], p.Combo[3],
        Texto(p.Word_UnR_[2]), Texto(p.Word_UnR_[3]), p.Command1, p.Reset};
    orden.insert(orden.end(), p.Menu.begin(), p.Menu.end());
    // The Tools button closes the round, which starts again at the top.
    orden.push_back(Herramientas_Pagina::De(p)->Boton());
    orden.push_back(p.Combo[0]);
    for (std::size_t n = 0; n < orden.size(); ++n) {
        Tecla(*Foco(), Qt::Key_Tab);
        ASSERT_EQ(Foco(), orden[n]) << "Tab number " << n + 1;
    }
    p.Menu[6]->setFocus();
    EXPECT_EQ(p.Menu[6]->palette().color(QPalette::WindowText), QColor(Qt::white))
        << "the focused item wears the pointer's look";
    Tecla(*Foco(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(Foco(), p.Menu[5]);
    EXPECT_EQ(p.Menu[6]->palette().color(QPalette::WindowText), QColor(0, 0, 128));

    Estado.Set_Setpoints[5] = 90;
    p.Actualiza_Valores_de_Pantalla_SP();
    Tecla(*Foco(), Qt::Key_Tab);
    Tecla(*Foco(), Qt::Key_Return);
    EXPECT_EQ(Estado.Set_Setpoints[5], 0) << "Enter on New ran New";
    EXPECT_EQ(Foco(), p.Menu[6]);

    // Two probes less and no fan: Tab skips what is hidden or disabled.
    for (int i : {0, 1}) {
        p.Combo[i]->setCurrentIndex(0);
        p.Combo_Click(i);
    }
    p.Combo[1]->setFocus();
    Tecla(*Foco(), Qt::Key_Tab);
    EXPECT_EQ(Foco(), p.Command1);
    // A list takes Up and Down as a choice of the operator: an edit.
    Estado.Edicion_Pendiente = false;
    p.Combo[1]->setFocus();
    Tecla(*Foco(), Qt::Key_Down);
    EXPECT_EQ(p.Combo[1]->currentText(), QStringLiteral("Yes"));
    EXPECT_TRUE(Estado.Edicion_Pendiente);
}

TEST_F(Teclado, ToolsButtonAndRightClickListTheToolsAndF1ListsEveryKeyWithTheVersion) {
    AVPAGE2 &p = Pagina_Activa();
    Herramientas_Pagina *h = Herramientas_Pagina::De(p);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Boton()->parentWidget(), p.Barra_Estado);
    EXPECT_EQ(h->Boton()->text(), QStringLiteral("Tools"));
    QStringList textos;
    for (QAction *a : h->Menu()->actions())
        textos << QString(a->text() + QLatin1Char('|') + a->shortcut().toString())
                      .replace(u'\t', u'|');
    EXPECT_EQ(textos, (QStringList{"Record values to CSV...|Ctrl+R", "Trend...|Ctrl+T",
                                   "Traffic...|Ctrl+L|", "Bus...|Ctrl+B", "Events...|Ctrl+E", "|",
                                   "Keys and tools...|F1"}));

    // Each item opens what its key opens.
    h->Menu()->actions()[2]->trigger();
    auto *trafico = p.findChild<Ventana_Trafico *>();
    EXPECT_TRUE(trafico && trafico->isVisible());
    h->Menu()->actions()[1]->trigger();
    ASSERT_TRUE(Registro_Pagina::De(p)->Tendencia());
    EXPECT_TRUE(Registro_Pagina::De(p)->Tendencia()->isVisible());

    // A right click anywhere on the page that has no menu of its own.
    QContextMenuEvent clic(QContextMenuEvent::Mouse, QPoint(5, 5), p.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(p.Menu[0], &clic);
    EXPECT_EQ(QApplication::activePopupWidget(), h->Menu());
    h->Menu()->close();

    Activa(p);
    Tecla(p, Qt::Key_F1);
    Ventana_Teclas *teclas = h->Teclas();
    ASSERT_TRUE(teclas && teclas->isVisible());
    EXPECT_TRUE(teclas->Acerca().contains(QStringLiteral("kv73 " KV73_VERSION)));
    EXPECT_TRUE(teclas->Acerca().contains(QStringLiteral("MIT License")));
    // Every key bound on the page is listed, and every key listed is bound.
    QStringList listadas, atadas;
    for (int f = 0; f < teclas->Tabla->rowCount(); ++f) {
        const QString t = teclas->Tabla->item(f, 0)->text();
        if (t.startsWith(QLatin1String("Ctrl+")) || t == QLatin1String("F1"))
            listadas << t;
    }
    for (QAction *a : p.actions())
        atadas << a->shortcut().toString();
    for (QShortcut *s : p.findChildren<QShortcut *>())
        atadas << s->key().toString();
    listadas.sort();
    atadas.sort();
    EXPECT_EQ(listadas, atadas);
}

TEST_F(Teclado, LeavingWithUnsentEditsAsksFirstAndNoStaysOnThePage) {
    AVPAGE2 &p = Pagina_Activa();
    // Nothing edited: the close button ends the program at once, as it always did.
    Estado.Edicion_Pendiente = false;
    p.close();
    EXPECT_EQ(terminaciones, 1);
    EXPECT_TRUE(operador->vistos.empty());

    terminaciones = 0;
    p.show();
    p.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p));
    p.Word_UnR_[0]->setFocus();
    Tecla(*Foco(), Qt::Key_Up);
    ASSERT_TRUE(Estado.Edicion_Pendiente);
    operador->Espera_Mensaje(Sin_Enviar, Titulo_Salir, Respuesta::No);
    p.close();
    EXPECT_TRUE(p.isVisible());
    EXPECT_EQ(terminaciones, 0);

    operador->Espera_Mensaje(Sin_Enviar, Titulo_Salir, Respuesta::No);
    Tecla(p, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(terminaciones, 0) << "No returns to the page before Are You Sure";
    operador->Espera_Mensaje(Sin_Enviar, Titulo_Salir, Respuesta::Yes);
    operador->Espera_Mensaje(QStringLiteral(" Are You Sure ?"), Titulo_Salir, Respuesta::Yes);
    Tecla(p, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(terminaciones, 1);

    terminaciones = 0;
    operador->Espera_Mensaje(Sin_Enviar, Titulo_Salir, Respuesta::Yes);
    p.close();
    EXPECT_EQ(terminaciones, 1);
    EXPECT_FALSE(p.isVisible());
}
