// Start-up: the command line a launching program gives, and the program run as
// that program runs it.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Linea_Comandos.h"
#include "comun/Version.h"
#include "controles/Word_UnR.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Arranque_Pagina.h"
#include "tests/soporte/Escritorio.h"
#include "tests/soporte/Simulador.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

namespace {

Parametros_Enlace Bien(const char *linea) {
    const auto r = Analiza_Linea_Kv73(QLatin1String(linea));
    EXPECT_TRUE(std::holds_alternative<Parametros_Enlace>(r)) << linea;
    return std::holds_alternative<Parametros_Enlace>(r) ? std::get<Parametros_Enlace>(r)
                                                        : Parametros_Enlace{};
}

} // namespace

TEST(Linea_Comandos, WordsGiveSpeedPortAndAddress) {
    const Parametros_Enlace p = Bien("9600,N,8,1 2 17");
    EXPECT_EQ(p.velocidad, 9600);
    EXPECT_EQ(p.puerto, 2);
    EXPECT_EQ(p.direccion, 17);
    EXPECT_EQ(Bien("19200,N,8,1 1 1").velocidad, 19200);
    EXPECT_EQ(Bien("9600, 3 254").direccion, 254);
    EXPECT_EQ(Bien("1200,E,7,2 12 1").puerto, 12);
    // Decimal, or hexadecimal after 0x, as kv73ctl and kv73-sim read numbers.
    EXPECT_EQ(Bien("9600,N,8,1 2 017").direccion, 17) << "a leading zero is not octal";
    EXPECT_EQ(Bien("9600,N,8,1 0x2 0x11").direccion, 17);
    EXPECT_EQ(Bien("0x2580,N,8,1 0x2 1").velocidad, 9600);
    EXPECT_EQ(Bien("9600,N,8,1 2 17 more words").direccion, 17) << "the rest is the address word";
    EXPECT_EQ(Bien("9600,N,8,1 2.5 1").puerto, 2) << "half to the even neighbour";
}

TEST(Linea_Comandos, LinesThatDoNotFitAreRefused) {
    // Among them the broadcast address, which every relay obeys and none
    // answers, and 255, which no relay takes.
    for (const char *mala :
         {"9600,N,8,1", "9600,N,8,1 2", "9600 2 17", "40000,N,8,1 2 1", "9600,N,8,1 2 256",
          "9600,N,8,1 70000 1", "9600,N,8,1 2 -1", "0,N,8,1 2 1", "-9600,N,8,1 2 1",
          "fast,N,8,1 2 1", "9600,N,8,1 2 0", "9600,N,8,1 2 255", "9600,N,8,1 2 0x0",
          "9600,N,8,1 2 0xFF", "9600,N,8,1 2 0x11x"})
        EXPECT_TRUE(std::holds_alternative<QString>(Analiza_Linea_Kv73(QLatin1String(mala))))
            << mala;
    EXPECT_TRUE(Forma_Linea_Kv73().contains(QStringLiteral("9600,N,8,1 2 17")));
}

TEST(Linea_Comandos, OneWordThatNamesASetpointFileOpensIt) {
    // The file manager passes the name whole, blanks and all, in any case.
    for (const char *archivo : {"relay.KV73", "/home/op/My relays/night.kv73", "a.Kv73"})
        EXPECT_TRUE(Es_Archivo_De_Setpoints(QLatin1String(archivo))) << archivo;
    // Any file that exists, whatever its name, is for Load File to judge.
    QTemporaryDir carpeta;
    const QString sin_extension = carpeta.filePath(QStringLiteral("copy"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KV73_VECTORS "/sample.KV73"), sin_extension));
    EXPECT_TRUE(Es_Archivo_De_Setpoints(sin_extension));
    for (const char *otra : {"9600,N,8,1", "missing.txt", "KV73", "", "/tmp"})
        EXPECT_FALSE(Es_Archivo_De_Setpoints(QLatin1String(otra))) << otra;
}

TEST(Programa, AnswersHelpVersionAndBadLinesWithoutOpeningAnything) {
    const QString kv73 = QStringLiteral(KV73_PROGRAMA);
    const auto ayuda = Ejecuta(kv73, {QStringLiteral("--help")});
    EXPECT_EQ(ayuda.estado, 0);
    EXPECT_TRUE(ayuda.salida.contains(QStringLiteral("for example")));
    EXPECT_EQ(Ejecuta(kv73, {QStringLiteral("-h")}).salida, ayuda.salida);
    for (const char *opcion : {"-v", "--version"}) {
        const auto version = Ejecuta(kv73, {QLatin1String(opcion)});
        EXPECT_EQ(version.estado, 0);
        EXPECT_EQ(version.salida.toStdString(), "kv73 " KV73_VERSION "\n");
    }
    const auto mala = Ejecuta(kv73, {QStringLiteral("9600"), QStringLiteral("2")});
    EXPECT_EQ(mala.estado, 1);
    EXPECT_TRUE(mala.errores.contains(QStringLiteral("for example")));
    for (const char *direccion : {"0", "255"}) {
        const auto r = Ejecuta(
            kv73, {QStringLiteral("9600,N,8,1"), QStringLiteral("2"), QLatin1String(direccion)});
        EXPECT_EQ(r.estado, 1) << direccion;
        EXPECT_TRUE(r.errores.contains(QStringLiteral("the relay address must be 1..254")))
            << r.errores.toStdString();
        EXPECT_TRUE(r.errores.contains(QStringLiteral("for example")));
    }
    // One word that names no file is still a launcher's line that does not fit.
    const auto ninguno = Ejecuta(kv73, {QStringLiteral("relay.txt")});
    EXPECT_EQ(ninguno.estado, 1);
    EXPECT_TRUE(ninguno.errores.contains(QStringLiteral("the port and the address are missing")))
        << ninguno.errores.toStdString();
    EXPECT_TRUE(ayuda.salida.contains(QStringLiteral("kv73 FILE.KV73")));
}

TEST(Programa, LaunchedWithALinkItComesUpAndTellsItsLauncher) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    // A speed the settings dialog does not list: the line opens at it all the same.
    Programa_Lanzado kv73(
        QStringLiteral(KV73_PROGRAMA), sim.Enlace(),
        {QStringLiteral("19200,N,8,1"), QStringLiteral("2"), QStringLiteral("1")});
    ASSERT_TRUE(kv73.Arrancado());
    EXPECT_EQ(kv73.Espera_Pagina(15000), QByteArray("\x01\x00", 2)) << "the page came up";
    EXPECT_EQ(kv73.Proceso().state(), QProcess::Running)
        << kv73.Proceso().readAllStandardError().toStdString();
    const auto linea = Ejecuta(QStringLiteral("stty"), {QStringLiteral("-F"), sim.Enlace()});
    EXPECT_TRUE(linea.salida.startsWith(QStringLiteral("speed 19200 baud")))
        << linea.salida.toStdString();
}

namespace {

using Arranque = Escritorio;

const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");

QStringList Editores(const AVPAGE2 &p) {
    QStringList t;
    for (const Word_UnR *w : p.Word_UnR_)
        t << w->Text();
    for (const QComboBox *c : p.Combo)
        t << c->currentText();
    return t;
}

// The focusable control lowest on the page: the one a short screen hides first.
QWidget *Ultimo_Control(AVPAGE2 &p) {
    QWidget *ultimo = nullptr;
    for (QWidget *w : p.findChildren<QWidget *>())
        if (w->isVisibleTo(&p) && (w->focusPolicy() & Qt::TabFocus) &&
            (!ultimo || w->mapTo(&p, QPoint(0, w->height())).y() >
                            ultimo->mapTo(&p, QPoint(0, ultimo->height())).y()))
            ultimo = w;
    return ultimo;
}

} // namespace

// kv73 FILE.KV73 shows what Load File shows after picking the same file: its
// setpoints on the editors, its name in full in the title, the link down and
// nothing on the line. A file that cannot be loaded gets Load File's message.
TEST_F(Arranque, AFileOnTheCommandLineIsLoadedAsLoadFileLoadsIt) {
    AVPAGE2 &p = Pagina();
    operador->Espera_Abrir(Muestra);
    p.Menu_Click(0);
    const QStringList por_menu = Editores(p);
    ASSERT_EQ(p.Word_UnR_[0]->Text().toStdString(), "85 °C");
    p.Menu_Click(6); // New: the page empty again

    const QDir aqui = QDir::current();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(KV73_VECTORS)));
    Abre_Archivo_Inicial(p, Enlace(), QStringLiteral("sample.KV73"));
    QDir::setCurrent(aqui.path());
    EXPECT_EQ(Editores(p), por_menu);
    EXPECT_EQ(host->Caption(), QStringLiteral("KV73 - ") + QFileInfo(Muestra).absoluteFilePath());
    EXPECT_EQ(p.windowTitle(), host->Caption());
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Edicion_Pendiente);
    EXPECT_TRUE(puerto->escrituras.empty());

    const QString falta = QDir::temp().filePath(QStringLiteral("kv73-no-such-file.KV73"));
    operador->Espera_Mensaje(QStringLiteral("The file %1 does not exist").arg(falta));
    Abre_Archivo_Inicial(p, Enlace(), falta);
    EXPECT_EQ(Editores(p), por_menu) << "a file that is not there changes nothing";
}

// On a screen the page fits, it is its own window in the middle of the free
// area, as it always was; on a smaller one it scrolls inside a window that
// fits, with the page's title, its controls brought into view as they take the
// focus, and the page's say over the close button.
TEST_F(Arranque, APageTooLargeForTheScreenScrollsInAWindowThatFits) {
    AVPAGE2 &p = Pagina();
    const QSize pagina = p.size();
    const QRect grande(0, 0, 1920, 1080);
    EXPECT_EQ(Muestra_En_Pantalla(p, grande), nullptr);
    EXPECT_TRUE(p.isWindow());
    EXPECT_TRUE(p.isVisible());
    EXPECT_LE((p.frameGeometry().center() - grande.center()).manhattanLength(), 4);
    p.hide();

    EXPECT_TRUE(Cabe_En(pagina, 30, QRect(0, 0, pagina.width(), pagina.height() + 30)));
    EXPECT_FALSE(Cabe_En(pagina, 30, QRect(0, 0, pagina.width(), pagina.height() + 29)));
    EXPECT_FALSE(Cabe_En(pagina, 0, QRect(0, 0, pagina.width() - 1, 2000)));

    const QRect chica(0, 0, 640, 480); // 1280x1024 at twice the scale
    auto marco = Muestra_En_Pantalla(p, chica);
    ASSERT_NE(marco, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(marco.get()));
    EXPECT_FALSE(p.isWindow());
    EXPECT_EQ(p.size(), pagina) << "the page keeps its own size and layout";
    EXPECT_TRUE(chica.contains(marco->frameGeometry()));
    EXPECT_GE(marco->width(), chica.width() - 8) << "the window uses the screen's width";
    EXPECT_EQ(marco->windowTitle(), p.windowTitle());
    operador->Espera_Abrir(Muestra);
    p.Menu_Click(0);
    EXPECT_EQ(marco->windowTitle(), QStringLiteral("KV73 - ") + Muestra);

    QWidget *abajo = Ultimo_Control(p);
    ASSERT_NE(abajo, nullptr);
    const auto a_la_vista = [&] {
        const QRect r(abajo->mapTo(marco->viewport(), QPoint()), abajo->size());
        return marco->viewport()->rect().contains(r);
    };
    EXPECT_FALSE(a_la_vista());
    marco->activateWindow();
    abajo->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(a_la_vista()) << qPrintable(abajo->objectName());
    EXPECT_GT(marco->verticalScrollBar()->value(), 0);

    // The page refuses (edits it asks about, say): the window stays.
    struct Rehusa : QObject {
        bool eventFilter(QObject *, QEvent *e) override {
            if (e->type() != QEvent::Close)
                return false;
            e->ignore();
            return true;
        }
    } rehusa;
    p.installEventFilter(&rehusa);
    EXPECT_FALSE(marco->close());
    EXPECT_TRUE(marco->isVisible());
    EXPECT_EQ(terminaciones, 0);
    p.removeEventFilter(&rehusa);
    EXPECT_TRUE(marco->close());
    EXPECT_EQ(terminaciones, 1) << "the page's close ends the program, as its own button does";
    marco.reset();
    EXPECT_TRUE(p.isWindow()) << "the page is back on its own, for its owner to delete";
}
