// The bus window: its list and its scan, the polls it takes between the page's
// own, what a silent bus relay does (and does not do) to the page, the switch
// of the page's relay by a double click, the journal and the recording.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_ActualValues.h"
#include "diario/Diario_Eventos.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Registro_Pagina.h"
#include "formularios/Ventana_Bus.h"
#include "tests/soporte/Escritorio.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <map>

namespace {

const QString Pregunta_ON = QStringLiteral("The SetPoints Will be Lost, Do You Want Save ?");

class Bus_Escritorio : public Escritorio {
  protected:
    void SetUp() override {
        ASSERT_TRUE(carpeta.isValid());
        qputenv("KV73_EVENTS", QFile::encodeName(carpeta.filePath(QStringLiteral("ev.sqlite"))));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, carpeta.path());
        Escritorio::SetUp();
        // Relay 5's first probe is open: its row reads "Fco" where the page's
        // relay reads a temperature.
        otros[5] = std::make_unique<Rele_Simulado>(5);
        otros[5]->Fallos_Activos().Fallo_Sonda[0] = Codigo_Fco;
        otros[17] = std::make_unique<Rele_Simulado>(17);
        puerto->al_recibir = [this](const QByteArray &peticion) {
            const auto d = static_cast<uint8_t>(peticion[0]);
            Rele_Simulado *r = d == rele.Direccion() ? &rele
                               : otros.count(d)      ? otros[d].get()
                                                     : nullptr;
            if (r)
                if (const QByteArray respuesta = r->Responde(peticion); !respuesta.isEmpty())
                    puerto->Inyecta(respuesta);
        };
    }
    void TearDown() override {
        Escritorio::TearDown();
        qunsetenv("KV73_EVENTS");
    }

    // The page linked to relay 1, and its bus window open on `lista`.
    Ventana_Bus &Abre_Bus(const QString &lista) {
        Enlace_Arriba();
        AVPAGE2 &p = Pagina();
        p.show();
        p.Timer1.stop(); // the test gives the ticks
        for (QAction *a : p.actions())
            if (a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_B))
                a->trigger();
        Ventana_Bus *v = Ventana_Bus_De(p);
        EXPECT_NE(v, nullptr);
        EXPECT_TRUE(v->isVisible());
        v->Lista->setText(lista);
        EXPECT_TRUE(v->Aplica_Lista());
        return *v;
    }

    // The address of each request written since `desde`.
    std::vector<int> Direcciones(std::size_t desde = 0) const {
        std::vector<int> r;
        const auto peticiones = puerto->Peticiones();
        for (std::size_t i = desde; i < peticiones.size(); ++i)
            r.push_back(static_cast<uint8_t>(peticiones[i][0]));
        return r;
    }

    QString Celda(const Ventana_Bus &v, int fila, int columna) const {
        return v.Tabla->item(fila, columna)->text();
    }

    QTemporaryDir carpeta;
    std::map<uint8_t, std::unique_ptr<Rele_Simulado>> otros;
};

} // namespace

TEST(Lista_Bus, ReadsAddressesAndRangesAndRefusesTheRest) {
    QString error;
    EXPECT_EQ(*Lee_Lista_Direcciones(QStringLiteral("1,5,17"), error), (QList<uint8_t>{1, 5, 17}));
    EXPECT_EQ(*Lee_Lista_Direcciones(QStringLiteral(" 1-4, 9 3"), error),
              (QList<uint8_t>{1, 2, 3, 4, 9}))
        << "spaces separate too, and an address already listed is not listed twice";
    EXPECT_EQ(Lee_Lista_Direcciones(QString(), error)->size(), 0);
    for (const char *malo : {"0", "248", "5-2", "1-x", "a", "1--3", "2-"}) {
        error.clear();
        EXPECT_FALSE(Lee_Lista_Direcciones(QLatin1String(malo), error)) << malo;
        EXPECT_FALSE(error.isEmpty()) << malo;
    }
    EXPECT_EQ(Texto_Lista_Direcciones({1, 2, 3, 4, 9, 10, 17}), QStringLiteral("1-4,9,10,17"));
    // A silent relay must not hold the line for seconds, nor be given up on
    // before a reply at the line's speed can have come.
    EXPECT_EQ(Espera_Bus_ms(9600), 2 * 47 + 20);
    EXPECT_EQ(Espera_Bus_ms(115200), 50);
}

TEST_F(Bus_Escritorio, PageRelayKeepsItsPollWhileBusRelaysTakeOneTurnEachAndItsImage) {
    Ventana_Bus &v = Abre_Bus(QStringLiteral("1, 5, 17"));
    ASSERT_EQ(v.Tabla->rowCount(), 3);
    EXPECT_EQ(v.Lista->text(), QStringLiteral("1,5,17"));
    AVPAGE2 &p = Pagina();
    const std::size_t antes = puerto->Peticiones().size();
    for (int i = 0; i < 4; ++i) {
        p.Timer1_Timer();
        // Right after a bus poll the run's image is the page relay's: the page,
        // a recording, Save and the report read it as theirs.
        const Lectura_Actual l = Lee_Lectura_Actual();
        EXPECT_EQ(l.temperaturas[0], QString::number(rele.Temperatura(1))) << i;
        EXPECT_EQ(p.Actual[0]->text(), QString::number(rele.Temperatura(1))) << i;
    }
    EXPECT_EQ(Direcciones(antes), (std::vector<int>{1, 5, 1, 17, 1, 5, 1, 17}))
        << "the page's relay every tick, then one bus relay in turn, the page's own skipped";
    EXPECT_EQ(p.Timer1.interval(), 500);
    const auto resumen = Resumen(puerto->Peticiones());
    for (std::size_t i = antes; i < resumen.size(); ++i)
        EXPECT_EQ(resumen[i].toStdString(), "04/0200") << "actual values only";

    EXPECT_EQ(Celda(v, 1, Ventana_Bus::Pt1), QStringLiteral("Fco"));
    EXPECT_EQ(Celda(v, 1, Ventana_Bus::Fault), QStringLiteral("blink"));
    EXPECT_EQ(Celda(v, 2, Ventana_Bus::Pt1 + 1), QString::number(otros[17]->Temperatura(2)));
    EXPECT_EQ(Celda(v, 2, Ventana_Bus::Enlace), QStringLiteral("ok"));
    EXPECT_FALSE(Celda(v, 2, Ventana_Bus::Ultima).isEmpty());
    EXPECT_TRUE(Celda(v, 0, Ventana_Bus::Enlace).contains(QStringLiteral("page's relay")));
    EXPECT_EQ(Celda(v, 0, Ventana_Bus::Pt1), QString::number(rele.Temperatura(1)));
    EXPECT_TRUE(v.Vuelta->text().contains(QStringLiteral(" s"))) << "two passes over relay 5";
    EXPECT_EQ(v.Sondeo().Vueltas(), 1);

    // Closed, the window takes no turn.
    v.close();
    const std::size_t cerrada = puerto->Peticiones().size();
    p.Timer1_Timer();
    EXPECT_EQ(Direcciones(cerrada), (std::vector<int>{1}));
}

TEST_F(Bus_Escritorio, SilentOrGarbledBusRelayIsMarkedAndThePageStaysLinked) {
    otros[17]->Fallos_Activos().Silencioso = true;
    otros[5]->Fallos_Activos().CRC_Malo_Cada = 1;
    Ventana_Bus &v = Abre_Bus(QStringLiteral("5,17"));
    AVPAGE2 &p = Pagina();
    Estado.Errores_CRC = 3;
    const QString panel = host->Panel(6);
    const std::size_t antes = puerto->Peticiones().size();
    // No message box: the scripted operator fails the test on any.
    for (int i = 0; i < 4; ++i)
        p.Timer1_Timer();
    EXPECT_EQ(Direcciones(antes), (std::vector<int>{1, 5, 1, 17, 1, 5, 1, 17}))
        << "asked once a poll, no resend, and again the next round";
    EXPECT_EQ(Celda(v, 0, Ventana_Bus::Enlace), QStringLiteral("bad reply"));
    EXPECT_EQ(Celda(v, 1, Ventana_Bus::Enlace), QStringLiteral("no reply"));
    EXPECT_TRUE(Celda(v, 1, Ventana_Bus::Ultima).isEmpty());
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Ocupado);
    EXPECT_TRUE(puerto->PortOpen());
    EXPECT_EQ(host->Panel(6), panel);
    EXPECT_EQ(Enlace().Cuentas().Fallos_Enlace, 0u);
    EXPECT_EQ(Estado.Errores_CRC, 0) << "the page relay's good polls clear its count, "
                                        "another relay's bad replies add nothing";
    // An exception reply ends the short wait at once, as a bad reply.
    otros[5]->Fallos_Activos().CRC_Malo_Cada = 0;
    otros[5]->Fallos_Activos().Excepcion = true;
    p.Timer1_Timer();
    EXPECT_EQ(Celda(v, 0, Ventana_Bus::Enlace), QStringLiteral("bad reply"));
    EXPECT_TRUE(Estado.Comunicacion_OK);
    // The page's own relay keeps its link failure.
    rele.Fallos_Activos().Silencioso = true;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    const std::size_t muda = puerto->Peticiones().size();
    p.Timer1_Timer();
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_EQ(Direcciones(muda), std::vector<int>(4, 1)) << "no bus turn with the link down";
}

TEST_F(Bus_Escritorio, ScanFillsTheListAndCancelStopsIt) {
    Ventana_Bus &v = Abre_Bus(QStringLiteral("17"));
    v.Desde->setValue(1);
    v.Hasta->setValue(8);
    QTest::mouseClick(v.Explorar, Qt::LeftButton);
    EXPECT_TRUE(v.Explorando());
    EXPECT_FALSE(v.Explorar->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&v] { return !v.Explorando(); }, 5000));
    EXPECT_EQ(v.Lista->text(), QStringLiteral("1,5"));
    EXPECT_EQ(v.Tabla->rowCount(), 2);
    EXPECT_TRUE(v.Aviso->text().contains(QStringLiteral("2 relay(s)")));

    v.Hasta->setValue(200);
    QTest::mouseClick(v.Explorar, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&v] { return v.Progreso->value() >= 3; }, 5000));
    EXPECT_TRUE(v.Progreso->text().contains(QStringLiteral(" of 200")));
    QTest::mouseClick(v.Cancelar, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&v] { return !v.Explorando(); }, 1000));
    const std::size_t parada = puerto->Peticiones().size();
    QTest::qWait(300);
    EXPECT_EQ(puerto->Peticiones().size(), parada) << "no address asked after Cancel";
    EXPECT_LT(parada, 20u);
    EXPECT_EQ(v.Lista->text(), QStringLiteral("1,5")) << "a cancelled scan leaves the list";
    EXPECT_TRUE(v.Explorar->isEnabled());
    EXPECT_FALSE(v.Cancelar->isEnabled());
}

TEST_F(Bus_Escritorio, ListIsKeptPerPort) {
    Estado.Puerto_Com = 1;
    Ventana_Bus &v = Abre_Bus(QStringLiteral("5-7,17"));
    v.close();
    Estado.Puerto_Com = 2;
    v.show();
    EXPECT_TRUE(v.Lista->text().isEmpty());
    EXPECT_EQ(v.Tabla->rowCount(), 0);
    v.close();
    Estado.Puerto_Com = 1;
    v.show();
    EXPECT_EQ(v.Lista->text(), QStringLiteral("5-7,17"));
    EXPECT_EQ(v.Tabla->rowCount(), 4);
    // A list that does not read is said and changes nothing.
    v.Lista->setText(QStringLiteral("5,300"));
    EXPECT_FALSE(v.Aplica_Lista());
    EXPECT_TRUE(v.Aviso->text().contains(QStringLiteral("\"300\"")));
    EXPECT_EQ(v.Tabla->rowCount(), 4);
    EXPECT_EQ(QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("KV-73"),
                        QStringLiteral("kv73"))
                  .value(Ventana_Bus::Clave_Lista(1))
                  .toString(),
              QStringLiteral("5-7,17"));
}

TEST_F(Bus_Escritorio, DoubleClickSwitchesThePageToThatRelayAsOnDoes) {
    Ventana_Bus &v = Abre_Bus(QStringLiteral("1,17"));
    operador->Espera_Mensaje(Pregunta_ON, QStringLiteral("KV-73"), Respuesta::No);
    const std::size_t antes = puerto->Peticiones().size();
    v.Cambia_Rele(1);
    EXPECT_EQ(Estado.Direccion_Rele, 17);
    EXPECT_EQ(host->Panel(5).simplified().toStdString(), "Address: 17");
    EXPECT_EQ(Resumen(puerto->Peticiones()).at(antes), QStringLiteral("04/0000"))
        << "identified as ON identifies";
    EXPECT_TRUE(Estado.Comunicacion_OK);
    AVPAGE2 &p = Pagina();
    p.Timer1.stop();
    const std::size_t despues = puerto->Peticiones().size();
    p.Timer1_Timer();
    p.Timer1_Timer();
    EXPECT_EQ(Direcciones(despues), (std::vector<int>{17, 1, 17, 1}))
        << "relay 1 is now a bus relay, 17 the page's";
    EXPECT_EQ(p.Actual[1]->text(), QString::number(otros[17]->Temperatura(2)));
}

TEST_F(Bus_Escritorio, LampChangeOnABusRelayGoesIntoTheJournal) {
    otros[5]->Fallos_Activos().Fallo_Sonda[0] = 0;
    Abre_Bus(QStringLiteral("5"));
    AVPAGE2 &p = Pagina();
    p.Timer1_Timer();
    otros[5]->Fallos_Activos().Fallo_Sonda[0] = Codigo_Fco;
    p.Timer1_Timer();
    Diario_Eventos diario(qEnvironmentVariable("KV73_EVENTS"));
    Filtro_Eventos filtro;
    filtro.direcciones = {5};
    const auto eventos = diario.Consulta(filtro);
    ASSERT_TRUE(eventos);
    QStringList vistos;
    for (const Evento &e : *eventos) {
        vistos << e.tipo + QLatin1Char(' ') + e.que + QLatin1Char(' ') + e.valor;
        EXPECT_EQ(e.fuente, QStringLiteral("kv73"));
        EXPECT_FALSE(e.dispositivo.isEmpty());
    }
    EXPECT_TRUE(vistos.contains(QStringLiteral("lamp Fault blink")))
        << vistos.join(u'|').toStdString();
    EXPECT_TRUE(vistos.contains(QStringLiteral("link up ")) ||
                vistos.contains(QStringLiteral("link up")))
        << vistos.join(u'|').toStdString();
}

TEST_F(Bus_Escritorio, RecordingStartedWithTheWindowOpenTakesEveryRelay) {
    // One begun before the window opened stays the page relay's alone.
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    Registro_Pagina &registro = *Registro_Pagina::De(p);
    const QString antes = carpeta.filePath(QStringLiteral("antes.csv"));
    operador->Espera_Guardar(antes);
    registro.Alterna_Grabacion();
    Abre_Bus(QStringLiteral("1,5"));
    p.Timer1_Timer();
    p.Timer1_Timer();
    registro.Alterna_Grabacion();
    const auto lineas = [](const QString &ruta) {
        QFile f(ruta);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    };
    QStringList l = lineas(antes);
    ASSERT_EQ(l.size(), 3);
    EXPECT_TRUE(l[0].startsWith(QStringLiteral("time,Pt1,")));

    const QString con_bus = carpeta.filePath(QStringLiteral("bus.csv"));
    operador->Espera_Guardar(con_bus);
    registro.Alterna_Grabacion();
    p.Timer1_Timer();
    p.Timer1_Timer();
    registro.Alterna_Grabacion();
    l = lineas(con_bus);
    ASSERT_EQ(l.size(), 5);
    EXPECT_TRUE(l[0].startsWith(QStringLiteral("time,address,Pt1,")));
    QStringList direcciones;
    for (int i = 1; i < l.size(); ++i)
        direcciones << l[i].section(u',', 1, 1);
    EXPECT_EQ(direcciones, (QStringList{"1", "5", "1", "5"}));
    EXPECT_TRUE(l[2].contains(QStringLiteral(",Fco,"))) << l[2].toStdString();
}

// OFF pressed while a bus relay's reply is awaited: the switch-off command
// reaches the page's relay inside that wait, the bus poll ends as no reply with
// no message, and the line is left free.
TEST_F(Bus_Escritorio, OffDuringABusPollSwitchesThePageRelayOffAndFreesTheLine) {
    Ventana_Bus &v = Abre_Bus(QStringLiteral("17"));
    AVPAGE2 &p = Pagina();
    const auto responde = puerto->al_recibir;
    puerto->al_recibir = [&](const QByteArray &peticion) {
        const auto d = static_cast<uint8_t>(peticion[0]);
        if (d == 17) {
            // Silent; OFF meanwhile.
            QTimer::singleShot(10, [this] { Comunicacion::Cargada(Enlace()).Command2_Click(); });
        } else {
            responde(peticion);
        }
    };
    const uint32_t antes = Enlace().Cuentas().Intercambios;
    p.Timer1_Timer();
    EXPECT_EQ(Enlace().Cuentas().Intercambios, antes + 2) << "the page poll and OFF's command";
    EXPECT_EQ(Resumen(puerto->Peticiones()).back(), QStringLiteral("05/0002"));
    EXPECT_EQ(Celda(v, 0, Ventana_Bus::Enlace), QStringLiteral("no reply"));
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(Estado.Ocupado);
    EXPECT_EQ(Estado.Intercambios_En_Curso, 0);
}
