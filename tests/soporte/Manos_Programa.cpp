// The operator's hands inside the desktop program, for the tests that run it
// whole: linked beside the program's own start into a copy of it, they wait for
// the main page and then take the steps KV73_MANOS lists, separated by commas:
//   ventanas  the traffic window (Ctrl+L) and the trend window (Ctrl+T) opened
//   salir     the menu's Exit, its question answered Yes
//   cerrar    the page's window closed from its frame
// Every question on the way is answered Yes. A line on standard output tells
// the test that the process ended through the return of main (or exit), where
// the objects of main are destroyed and a sanitizer build looks for leaks.

#include "formularios/AVPAGE2.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>

namespace {

void Al_Salir() {
    std::fputs("kv73: ended through main\n", stdout);
    std::fflush(stdout);
}

AVPAGE2 *Pagina_Visible() {
    for (QWidget *ventana : QApplication::topLevelWidgets())
        if (auto *pagina = qobject_cast<AVPAGE2 *>(ventana); pagina && pagina->isVisible())
            return pagina;
    return nullptr;
}

void Da_Paso(AVPAGE2 &pagina, const QByteArray &paso) {
    if (paso == "ventanas") {
        QTest::keyClick(&pagina, Qt::Key_L, Qt::ControlModifier);
        QTest::keyClick(&pagina, Qt::Key_T, Qt::ControlModifier);
        pagina.activateWindow();
    } else if (paso == "salir") {
        QTest::mouseClick(pagina.Menu[5], Qt::LeftButton);
    } else if (paso == "cerrar") {
        pagina.windowHandle()->close();
    } else {
        std::fprintf(stderr, "kv73: no such step for the hands: %s\n", paso.constData());
    }
}

void Pon_Manos() {
    const QByteArray guion = qgetenv("KV73_MANOS");
    if (guion.isEmpty())
        return;
    std::atexit(Al_Salir);
    // Two timers: the one that acted is still inside its click while the
    // question waits, and a timer does not fire again inside its own slot.
    auto *respuestas = new QTimer(qApp);
    QObject::connect(respuestas, &QTimer::timeout, respuestas, [] {
        if (auto *caja = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            if (QAbstractButton *si = caja->button(QMessageBox::Yes))
                QTest::mouseClick(si, Qt::LeftButton);
    });
    respuestas->start(50);
    auto *accion = new QTimer(qApp);
    QObject::connect(accion, &QTimer::timeout, accion,
                     [accion, pasos = guion.split(','), paso = qsizetype(0)]() mutable {
                         AVPAGE2 *pagina = Pagina_Visible();
                         if (!pagina || QApplication::activeModalWidget())
                             return;
                         if (paso + 1 >= pasos.size())
                             accion->stop();
                         Da_Paso(*pagina, pasos.at(paso++));
                     });
    accion->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Pon_Manos)
