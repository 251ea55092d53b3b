// The traffic window on the real host and main page, the in-memory port and the
// simulated relay underneath: opened with Ctrl+L, fed by the page's polls.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Traza_Trafico.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Ventana_Trafico.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Disco.h"
#include "tests/soporte/Escritorio.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

namespace {

class Trafico : public Escritorio {
  protected:
    // The page shown and active, the link up with the relay answering.
    AVPAGE2 &Pagina_Viva() {
        Conecta_Rele();
        Enlace_Arriba();
        AVPAGE2 &p = Pagina();
        // Polls come faster than the page's half second: the view is what is tested.
        p.Timer1.setInterval(60);
        p.show();
        p.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
        return p;
    }
    Ventana_Trafico *Abre(AVPAGE2 &p) {
        QTest::keyClick(&p, Qt::Key_L, Qt::ControlModifier);
        auto *v = p.findChild<Ventana_Trafico *>();
        EXPECT_TRUE(v && v->isVisible()) << "Ctrl+L opens the traffic window";
        return v;
    }
    static int Lineas_Vistas(const Ventana_Trafico &v) {
        const QString texto = v.Lineas->toPlainText();
        return texto.isEmpty() ? 0 : static_cast<int>(texto.count(u'\n')) + 1;
    }
};

} // namespace

TEST_F(Trafico, CtrlLShowsThePollsLiveAndPauseHoldsTheViewButNotTheCounters) {
    AVPAGE2 &p = Pagina_Viva();
    EXPECT_EQ(p.Barra_Estado->toolTip(), QStringLiteral("Ctrl+L: traffic window"));
    Ventana_Trafico *v = Abre(p);
    ASSERT_TRUE(v);
    p.Arranca_Sondeo();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return v->Lineas->toPlainText().contains(QStringLiteral("reply 28 bytes CRC ok")); },
        5000));
    EXPECT_TRUE(v->Lineas->toPlainText().contains(
        QStringLiteral("> 01 04 02 00 00 0E 70 76  read input 0x0200 x14")));
    EXPECT_TRUE(v->Contadores->text().contains(QStringLiteral("Good replies: ")));
    EXPECT_FALSE(v->Contadores->text().contains(QStringLiteral("Requests: 0 ")));

    QTest::mouseClick(v->Pausa, Qt::LeftButton);
    const int vistas = Lineas_Vistas(*v);
    const QString contadores = v->Contadores->text();
    const uint64_t hasta = host->Traza().Siguiente() + 4;
    ASSERT_TRUE(QTest::qWaitFor([&] { return host->Traza().Siguiente() >= hasta; }, 5000));
    QTest::qWait(2 * Ventana_Trafico::Refresco_ms);
    EXPECT_EQ(Lineas_Vistas(*v), vistas) << "paused: no line added to the view";
    EXPECT_NE(v->Contadores->text(), contadores) << "the counters go on";

    QTest::mouseClick(v->Pausa, Qt::LeftButton);
    EXPECT_GE(Lineas_Vistas(*v), vistas + 4) << "the lines of the pause follow on";

    // Closing and opening again costs the poll nothing and keeps the window.
    v->close();
    p.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&p));
    EXPECT_EQ(Abre(p), v);
    p.Timer1.stop();
}

TEST_F(Trafico, OpeningWhileAPollWaitsLetsThePollFinish) {
    AVPAGE2 &p = Pagina_Viva();
    // The relay answers only once the window is open: the poll that waits for
    // its reply gets it only if Ctrl+L worked inside its wait.
    Ventana_Trafico *abierta = nullptr;
    puerto->al_recibir = [&](const QByteArray &peticion) {
        if (abierta)
            puerto->Inyecta(rele.Responde(peticion));
    };
    QTimer::singleShot(5, &p, [&] { abierta = Abre(p); });
    const uint64_t buenas = host->Traza().Contadores().respuestas_buenas;
    p.Timer1_Timer();
    ASSERT_TRUE(abierta) << "the window opened inside the poll's wait";
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(host->Traza().Contadores().respuestas_buenas, buenas + 1);
    abierta->Actualiza();
    EXPECT_TRUE(abierta->Lineas->toPlainText().contains(QStringLiteral("reply 28 bytes CRC ok")));
}

TEST_F(Trafico, SaveWritesTheTraceThroughTheOperatorAndTheViewStaysBounded) {
    AVPAGE2 &p = Pagina_Viva();
    Ventana_Trafico *v = Abre(p);
    ASSERT_TRUE(v);
    p.Timer1_Timer();
    p.Timer1_Timer();

    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath(QStringLiteral("traza.txt"));
    operador->Espera_Guardar(ruta);
    QTest::mouseClick(v->Guardar, Qt::LeftButton);
    QFile archivo(ruta);
    ASSERT_TRUE(archivo.open(QIODevice::ReadOnly));
    const QList<QByteArray> lineas = archivo.readAll().split('\n');
    // What the page read when it was shown, then the two polls.
    const auto guardadas = host->Traza().Lineas_Desde(0);
    ASSERT_GE(guardadas.size(), 4u);
    ASSERT_EQ(lineas.size(), static_cast<qsizetype>(guardadas.size()) + 1);
    EXPECT_EQ(lineas[0], Texto_Linea(guardadas.front()).toUtf8());
    const qsizetype n = lineas.size() - 1;
    EXPECT_TRUE(lineas[n - 2].endsWith("> 01 04 02 00 00 0E 70 76  read input 0x0200 x14"));
    EXPECT_TRUE(lineas[n - 1].endsWith("reply 28 bytes CRC ok"));
    EXPECT_TRUE(lineas[n].isEmpty()) << "every line ends in a newline";
    ASSERT_FALSE(operador->peticiones.empty());
    EXPECT_EQ(operador->peticiones.back().filtro, QStringLiteral("Text files|*.txt"));

    // A folder that cannot take the file: the operator is told, nothing breaks.
    const QString mala = carpeta.filePath(QStringLiteral("no/such/folder/traza.txt"));
    operador->Espera_Guardar(mala).Espera_Mensaje(
        QStringLiteral("The traffic could not be written to %1: %2")
            .arg(mala, qt_error_string(ENOENT)),
        QStringLiteral("KV-73"));
    QTest::mouseClick(v->Guardar, Qt::LeftButton);
    operador->Espera_Guardar(std::nullopt);
    QTest::mouseClick(v->Guardar, Qt::LeftButton);

    // Hours of polling: the view keeps as many lines as the trace does.
    const QByteArray sondeo = Vector(QStringLiteral("actual values read request, address 1"));
    for (std::size_t i = 0; i < Traza_Trafico::Capacidad + 500; ++i)
        host->Traza().Escrito(sondeo);
    v->Actualiza();
    EXPECT_EQ(v->Lineas->blockCount(), static_cast<int>(Traza_Trafico::Capacidad));

    QTest::mouseClick(v->Limpiar, Qt::LeftButton);
    EXPECT_TRUE(v->Lineas->toPlainText().isEmpty());
    EXPECT_TRUE(v->Contadores->text().startsWith(QStringLiteral("Requests: 0 ")));
}

TEST_F(Trafico, ASaveThatCannotBeWrittenWholeLeavesTheOldFileAndIsReported) {
    AVPAGE2 &p = Pagina_Viva();
    Ventana_Trafico *v = Abre(p);
    ASSERT_TRUE(v);
    // Enough lines that the trace outgrows the room left on the disk.
    for (int i = 0; i < 40; ++i)
        p.Timer1_Timer();
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath(QStringLiteral("traza.txt"));
    const QByteArray antes("yesterday's trace\n");
    {
        QFile viejo(ruta);
        ASSERT_TRUE(viejo.open(QIODevice::WriteOnly) && viejo.write(antes) == antes.size());
    }
    const auto mensaje = [](const QString &archivo, const QString &motivo) {
        return QStringLiteral("The traffic could not be written to %1: %2").arg(archivo, motivo);
    };
    {
        const Disco_Lleno disco(1024);
        operador->Espera_Guardar(ruta).Espera_Mensaje(mensaje(ruta, qt_error_string(EFBIG)),
                                                      QStringLiteral("KV-73"));
        QTest::mouseClick(v->Guardar, Qt::LeftButton);
    }
    QFile viejo(ruta);
    ASSERT_TRUE(viejo.open(QIODevice::ReadOnly));
    EXPECT_EQ(viejo.readAll(), antes);
    EXPECT_EQ(QDir(carpeta.path()).entryList(QDir::Files),
              QStringList{QStringLiteral("traza.txt")});

    // A pipe stays a pipe, with nothing written into it.
    const QString tubo = carpeta.filePath(QStringLiteral("tubo"));
    Tubo pipa(tubo);
    ASSERT_TRUE(pipa.Listo());
    operador->Espera_Guardar(tubo).Espera_Mensaje(mensaje(tubo, QStringLiteral("not a plain file")),
                                                  QStringLiteral("KV-73"));
    QTest::mouseClick(v->Guardar, Qt::LeftButton);
    EXPECT_TRUE(pipa.Intacto());
}
