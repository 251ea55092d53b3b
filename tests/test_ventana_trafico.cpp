// The traffic window on the real host and main page, the in-memory port and the
// simulated relay underneath: opened with Ctrl+L, fed by the page's polls.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Traza_Trafico.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Ventana_Trafico.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Disco.h"
#include "tests/soporte/Escritorio.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

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
    // The view's lines, each with the colour its text is drawn in.
    static std::vector<std::pair<QString, QColor>> Vista(const Ventana_Trafico &v) {
        std::vector<std::pair<QString, QColor>> r;
        for (QTextBlock b = v.Lineas->document()->begin(); b.isValid(); b = b.next())
            if (!b.text().isEmpty())
                r.emplace_back(b.text(), b.begin().fragment().charFormat().foreground().color());
        return r;
    }
    static std::vector<QString> Textos(const Ventana_Trafico &v) {
        std::vector<QString> r;
        for (const auto &[texto, color] : Vista(v))
            r.push_back(texto.section(QLatin1Char(' '), 1).trimmed().section(QLatin1Char(' '), 1));
        return r;
    }
    // A reply whose last byte the line changed.
    static QByteArray Corrompida(QByteArray trama) {
        trama[trama.size() - 1] = static_cast<char>(trama.back() ^ 0x55);
        return trama;
    }
};

const QString Sondeo_1 = QStringLiteral("actual values read request, address 1");
const QString Sondeo_17 = QStringLiteral("actual values read request, address 17");
const QString Respuesta_1 = QStringLiteral(
    "actual values reply, address 1: Pt1..Pt4 85, 0xFFFB (-5), 0x00E7 (Fco), 0xFFF5 (Fcc); "
    "maxima 97, 65, 231, 0xFFF5 (65525); 0x0208 0, 0x0209 0, 0x020A 0x0089, 0x020B 0x0008, "
    "0x020C 0x1111, 0x020D 0x2222");
const QString Excepcion_1 = QStringLiteral(
    "exception reply to a read of input registers (function 0x84, code 02), address 1");

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
    EXPECT_EQ(lineas[0], Texto_Linea_Con_Hora(guardadas.front(), true).toUtf8());
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

TEST_F(Trafico, EachLineCarriesTheWallClockBesideItsMillisecondsAndErrorsStandOutInColour) {
    AVPAGE2 &p = Pagina_Viva();
    Ventana_Trafico *v = Abre(p);
    ASSERT_TRUE(v);
    const QDateTime antes = QDateTime::currentDateTime();
    p.Timer1_Timer();
    Traza_Trafico &t = host->Traza();
    t.Escrito(Vector(Sondeo_1));
    t.Leido(Corrompida(Vector(Respuesta_1)));
    t.Escrito(Vector(Sondeo_1));
    t.Escrito(Vector(Sondeo_1));
    t.Leido(Vector(Excepcion_1));
    v->Actualiza();
    const QDateTime despues = QDateTime::currentDateTime();

    const auto vista = Vista(*v);
    ASSERT_GE(vista.size(), 7u);
    const QRegularExpression forma(QStringLiteral(R"(^(\d\d:\d\d:\d\d\.\d\d\d) +\d+ [<>-] )"));
    for (const auto &[texto, color] : vista) {
        const auto hallado = forma.match(texto);
        ASSERT_TRUE(hallado.hasMatch()) << texto.toStdString();
        const QTime hora = QTime::fromString(hallado.captured(1), QStringLiteral("HH:mm:ss.zzz"));
        // Seconds of slack either side, and a run across midnight is no fault.
        const int desde = antes.time().msecsTo(hora), hasta = hora.msecsTo(despues.time());
        EXPECT_TRUE((desde >= -1000 && hasta >= -1000) || antes.date() != despues.date())
            << texto.toStdString();
    }
    const QColor normal = v->Lineas->palette().color(QPalette::Text);
    const auto color = [&](const char *final) {
        for (const auto &[texto, c] : vista)
            if (texto.endsWith(QLatin1String(final)))
                return c.isValid() ? c : normal;
        ADD_FAILURE() << "no line ends in " << final;
        return QColor();
    };
    const QColor rojo = color("reply 28 bytes CRC bad");
    EXPECT_NE(rojo, normal);
    EXPECT_EQ(color("< no reply"), rojo);
    EXPECT_EQ(color("exception 02"), rojo);
    EXPECT_NE(color("reply 28 bytes CRC ok"), rojo);
    EXPECT_NE(color("read input 0x0200 x14"), rojo);
}

TEST_F(Trafico, TheFilterShowsErrorsOnlyOrOneAddressAndAPauseStillHolds) {
    AVPAGE2 &p = Pagina_Viva();
    Ventana_Trafico *v = Abre(p);
    ASSERT_TRUE(v);
    QTest::mouseClick(v->Limpiar, Qt::LeftButton);
    Traza_Trafico &t = host->Traza();
    t.Escrito(Vector(Sondeo_1));
    t.Leido(Vector(Respuesta_1));
    t.Escrito(Vector(Sondeo_17));
    t.Escrito(Vector(Sondeo_1)); // relay 17 did not answer
    t.Leido(Vector(Respuesta_1));
    t.Cerrado(true);
    v->Actualiza();
    ASSERT_EQ(Lineas_Vistas(*v), 7);
    EXPECT_FALSE(v->Direccion->isEnabled());

    QTest::keyClick(v->Filtro, Qt::Key_Down);
    EXPECT_EQ(v->Filtro->currentText(), QStringLiteral("Errors only"));
    EXPECT_EQ(Textos(*v),
              (std::vector<QString>{QStringLiteral("< no reply"),
                                    QStringLiteral("- port lost: the device went away")}));

    // One relay: its frames, its missing reply, and what befell the whole line.
    QTest::keyClick(v->Filtro, Qt::Key_Down);
    ASSERT_TRUE(v->Direccion->isEnabled());
    v->Direccion->selectAll();
    QTest::keyClicks(v->Direccion, QStringLiteral("17"));
    EXPECT_EQ(Textos(*v), (std::vector<QString>{
                              QStringLiteral("> 11 04 02 00 00 0E 72 E6  read input 0x0200 x14"),
                              QStringLiteral("< no reply"),
                              QStringLiteral("- port lost: the device went away")}));
    t.Abierto(QStringLiteral("9600,N,8,1"));
    t.Escrito(Vector(Sondeo_1));
    t.Escrito(Vector(Sondeo_17));
    v->Actualiza();
    EXPECT_EQ(Lineas_Vistas(*v), 5) << "live lines pass the same filter";

    // Paused, another filter shows the lines held up to the pause only.
    QTest::mouseClick(v->Pausa, Qt::LeftButton);
    t.Escrito(Vector(Sondeo_17));
    QTest::keyClick(v->Filtro, Qt::Key_Up);
    QTest::keyClick(v->Filtro, Qt::Key_Up);
    EXPECT_EQ(Lineas_Vistas(*v), 11);
    QTest::mouseClick(v->Pausa, Qt::LeftButton);
    EXPECT_EQ(Lineas_Vistas(*v), 13) << "the pause's lines follow on: a no reply and a request";
}

TEST_F(Trafico, LogToFileAppendsEveryLineAsItComesUntilStoppedOrTheDiskIsFull) {
    AVPAGE2 &p = Pagina_Viva();
    Ventana_Trafico *v = Abre(p);
    ASSERT_TRUE(v);
    QTemporaryDir carpeta;
    const QString ruta = carpeta.filePath(QStringLiteral("traza.txt"));
    const QByteArray antes("yesterday's trace, its last line cut short");
    {
        QFile viejo(ruta);
        ASSERT_TRUE(viejo.open(QIODevice::WriteOnly) && viejo.write(antes) == antes.size());
    }
    const auto contenido = [&] {
        QFile archivo(ruta);
        return archivo.open(QIODevice::ReadOnly) ? archivo.readAll() : QByteArray("unreadable");
    };
    operador->Espera_Guardar(ruta);
    QTest::mouseClick(v->Registrar, Qt::LeftButton);
    ASSERT_TRUE(v->Registrar->isChecked());
    EXPECT_TRUE(operador->peticiones.back().anade) << "no \"replace it?\" for a log";
    EXPECT_EQ(v->Registrar->text(), QStringLiteral("Stop logging"));
    EXPECT_TRUE(v->Registro->text().contains(ruta));

    // Paused and filtered, the view reads what it likes; the file takes every line.
    QTest::mouseClick(v->Pausa, Qt::LeftButton);
    QTest::keyClick(v->Filtro, Qt::Key_Down);
    p.Timer1_Timer();
    const QList<QByteArray> lineas = contenido().split('\n');
    ASSERT_EQ(lineas.size(), 4) << contenido().toStdString();
    EXPECT_EQ(lineas[0], antes) << "the old lines stay, the new start on a line of their own";
    const QRegularExpression fecha(
        QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} +\d+ )"));
    EXPECT_TRUE(fecha.match(QString::fromUtf8(lineas[1])).hasMatch()) << lineas[1].toStdString();
    EXPECT_TRUE(lineas[1].endsWith("> 01 04 02 00 00 0E 70 76  read input 0x0200 x14"));
    EXPECT_TRUE(lineas[2].endsWith("reply 28 bytes CRC ok"));
    EXPECT_TRUE(lineas[3].isEmpty());

    QTest::mouseClick(v->Registrar, Qt::LeftButton);
    EXPECT_EQ(v->Registrar->text(), QStringLiteral("Log to file..."));
    EXPECT_TRUE(v->Registro->text().isEmpty());
    const QByteArray parado = contenido();
    p.Timer1_Timer();
    EXPECT_EQ(contenido(), parado) << "stopped: nothing more is written";

    // The disk fills up in the middle of a line: the lines before stay whole,
    // the log stops and the operator is told which file.
    {
        const Disco_Lleno disco(static_cast<rlim_t>(parado.size() + 100));
        operador->Espera_Guardar(ruta).Espera_Mensaje(
            QStringLiteral("The traffic could not be written to %1: %2")
                .arg(ruta, qt_error_string(EFBIG)),
            QStringLiteral("KV-73"));
        QTest::mouseClick(v->Registrar, Qt::LeftButton);
        p.Timer1_Timer();
        QTest::qWait(1);
    }
    EXPECT_FALSE(v->Registrar->isChecked());
    const QByteArray lleno = contenido();
    EXPECT_EQ(lleno.count('\n'), parado.count('\n') + 1);
    EXPECT_TRUE(lleno.endsWith("read input 0x0200 x14\n"));

    operador->Espera_Guardar(carpeta.path())
        .Espera_Mensaje(QStringLiteral("The traffic could not be written to %1: %1 is a folder")
                            .arg(carpeta.path()),
                        QStringLiteral("KV-73"));
    QTest::mouseClick(v->Registrar, Qt::LeftButton);
    EXPECT_FALSE(v->Registrar->isChecked());
}
