// The desktop program's event journal: what the page journals of its own relay,
// the Events window, and the lamp notifications.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "diario/Diario_Eventos.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Diario_Pagina.h"
#include "formularios/Herramientas_Pagina.h"
#include "formularios/Notificaciones.h"
#include "formularios/Ventana_Eventos.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Escritorio.h"

#include <QAction>
#include <QComboBox>
#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

// kind/what/value of each event, oldest first.
QStringList Resumen_Eventos(const QList<Evento> &eventos) {
    QStringList r;
    for (const Evento &e : eventos)
        r << e.tipo + QLatin1Char('/') + e.que + QLatin1Char('/') + e.valor;
    return r;
}

Evento Un_Evento(int direccion, const QString &tipo, const QString &que, const QDateTime &hora) {
    Evento e;
    e.hora = hora;
    e.dispositivo = QStringLiteral("/dev/ttyUSB0");
    e.direccion = direccion;
    e.tipo = tipo;
    e.que = que;
    e.fuente = QStringLiteral("kv73ctl");
    return e;
}

} // namespace

// Each test journals into a file of its own.
class Eventos_Escritorio : public Escritorio {
  protected:
    void SetUp() override {
        anterior_ = qgetenv("KV73_EVENTS");
        qputenv("KV73_EVENTS", QFile::encodeName(Ruta_Diario()));
        Escritorio::SetUp();
    }
    void TearDown() override {
        Escritorio::TearDown();
        qputenv("KV73_EVENTS", anterior_);
    }
    virtual QString Ruta_Diario() { return carpeta.filePath(QStringLiteral("events.sqlite")); }

    QList<Evento> Journal() {
        const auto eventos = host->Diario().Consulta({});
        return eventos ? *eventos : QList<Evento>{};
    }
    // A poll of the page, the link up, the relay answering.
    AVPAGE2 &Pagina_En_Vivo() {
        Conecta_Rele();
        Enlace_Arriba();
        AVPAGE2 &p = Pagina();
        p.Timer1.stop();
        p.Timer2.stop();
        // The notifications go to the status bar, whatever desktop runs the tests.
        Diario_Pagina::De(p)->Avisos().Usa_Bus(QDBusConnection(QStringLiteral("kv73-sin-bus")));
        return p;
    }

    QTemporaryDir carpeta;
    QByteArray anterior_;
};

// Lamps from consecutive good polls, the link going down on silence and on OFF
// and up again, and a lamp that lights said once however many polls see it.
TEST_F(Eventos_Escritorio, PageJournalsLampChangesAndTheLinkAndNotifiesOnce) {
    AVPAGE2 &p = Pagina_En_Vivo();
    Diario_Pagina &d = *Diario_Pagina::De(p);
    p.Timer1_Timer();
    rele.Fallos_Activos().Fallo_Sonda[0] = Codigo_Fco; // Fault lights, blinking
    for (int i = 0; i < 3; ++i)
        p.Timer1_Timer();
    EXPECT_EQ(d.Avisos().Enviadas(), 1) << "once a change, not once a poll";
    const QString dispositivo = Nombre_Dispositivo(Estado.Puerto_Com);
    EXPECT_EQ(p.Barra_Estado->currentMessage(),
              QStringLiteral("Relay 1 on %1: Fault blink").arg(dispositivo));

    puerto->al_recibir = nullptr;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    p.Timer1_Timer();
    Conecta_Rele();
    Enlace_Arriba();
    p.Timer1_Timer();
    puerto->Desaparece(); // the adapter pulled out
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    p.Timer1_Timer();
    Enlace_Arriba();
    p.Timer1_Timer();
    Estado.Comunicacion_OK = false;
    emit Avisos_Del_Dialogo().Enlace_Cortado();
    emit Avisos_Del_Dialogo().Enlace_Cortado(); // a second OFF: already down
    // OFF pressed while a poll waits for a silent relay: the poll's failure is
    // OFF's doing.
    Estado.Comunicacion_OK = true;
    p.Timer1_Timer();
    puerto->al_recibir = nullptr;
    Estado.Cancelar_Enlace = true;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    p.Timer1_Timer();
    Estado.Comunicacion_OK = false;
    emit Avisos_Del_Dialogo().Enlace_Cortado();

    const QList<Evento> eventos = Journal();
    EXPECT_EQ(Resumen_Eventos(eventos),
              (QStringList{"link/up/", "lamp/Fault/blink", "link/down/no reply", "link/up/",
                           "link/down/port lost", "link/up/", "link/down/OFF", "link/up/",
                           "link/down/OFF"}));
    ASSERT_EQ(eventos.size(), 9);
    EXPECT_EQ(eventos[1].antes, QStringLiteral("\"off\""));
    for (const Evento &e : eventos) {
        EXPECT_EQ(e.direccion, 1);
        EXPECT_EQ(e.dispositivo, dispositivo);
        EXPECT_EQ(e.fuente, QStringLiteral("kv73"));
    }
    EXPECT_EQ(d.Avisos().Enviadas(), 1) << "the lamp is still lit after the outage";
}

// A file sent to the relay: before, what the relay held at its last good poll
// (nothing known for a relay never polled); the file in the source.
TEST_F(Eventos_Escritorio, SendSetpointsJournalsTheFileAndWhatTheRelayHeld) {
    AVPAGE2 &p = Pagina_En_Vivo();
    ASSERT_EQ(Enlace().Lee_Setpoints(1), Resultado::Buena);
    p.Timer1_Timer();
    const QString muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
    const QString guardado = Textos_Protocolo::Setpoints_Grabados;
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 1"), QStringLiteral("1"));
    operador->Espera_Mensaje(guardado, QStringLiteral("KV-73"));
    p.Menu_Click(2);
    rele = Rele_Simulado(5);
    operador->Espera_Abrir(muestra);
    operador->Espera_Entrada(QStringLiteral("Relay Direction: 1"), QStringLiteral("5"));
    operador->Espera_Mensaje(guardado, QStringLiteral("KV-73"));
    p.Menu_Click(2);

    const QList<Evento> eventos = Journal();
    ASSERT_EQ(Resumen_Eventos(eventos),
              (QStringList{"link/up/", "setpoints/Send Setpoints to Relay/",
                           "setpoints/Send Setpoints to Relay/"}));
    EXPECT_EQ(eventos[1].direccion, 1);
    EXPECT_EQ(eventos[1].antes, QStringLiteral("[90,110,60,75,11,0]"));
    EXPECT_EQ(eventos[1].despues, QStringLiteral("[85,105,50,65,7,23130]"));
    EXPECT_EQ(eventos[1].fuente, QStringLiteral("kv73 ") + muestra);
    EXPECT_EQ(eventos[2].direccion, 5);
    EXPECT_EQ(eventos[2].antes, QString()) << "relay 5 was never polled";
}

// A write the relay accepted, with the registers before and after; Clear with
// the maxima the page showed. A refused write journals nothing.
TEST_F(Eventos_Escritorio, StoreAndClearJournalWhatTheRelayAccepted) {
    AVPAGE2 &p = Pagina_En_Vivo();
    ASSERT_EQ(Enlace().Lee_Setpoints(1), Resultado::Buena);
    p.Timer1_Timer();
    const QString maximos = QStringLiteral("[%1,%2,%3,%4]")
                                .arg(p.Tmaximun[0]->text(), p.Tmaximun[1]->text(),
                                     p.Tmaximun[2]->text(), p.Tmaximun[3]->text());
    Estado.Nuevos_Setpoints[8] = 0;
    Estado.Nuevos_Setpoints[9] = 95; // L1 from 90 to 95
    Estado.Grabar_Pendiente = Estado.Reset_Tmax_Pendiente = true;
    operador->Espera_Mensaje(QStringLiteral("Command Executed"), QStringLiteral("KV-73"));
    operador->Espera_Mensaje(Textos_Protocolo::Setpoints_Grabados, QStringLiteral("KV-73"));
    p.Timer1_Timer();

    QList<Evento> eventos = Journal();
    ASSERT_EQ(Resumen_Eventos(eventos),
              (QStringList{"link/up/", "reset-max/Clear/", "setpoints/STORE/"}));
    EXPECT_EQ(eventos[1].antes, maximos);
    EXPECT_EQ(eventos[2].antes, QStringLiteral("[90,110,60,75,11,0]"));
    EXPECT_EQ(eventos[2].despues, QStringLiteral("[95,110,60,75,11,0]"));
    EXPECT_EQ(eventos[2].fuente, QStringLiteral("kv73"));

    // The relay garbles the write's answer: nothing was stored.
    puerto->al_recibir = [this](const QByteArray &peticion) {
        QByteArray r = rele.Responde(peticion);
        if (peticion.size() > 1 && static_cast<uint8_t>(peticion[1]) == 0x10)
            r[r.size() - 1] = static_cast<char>(r.back() ^ 0x55);
        puerto->Inyecta(r);
    };
    Estado.Grabar_Pendiente = true;
    operador->Espera_Mensaje(Textos_Protocolo::Error_Escritura, QStringLiteral("KV-73"));
    p.Timer1_Timer();
    EXPECT_EQ(Journal().size(), 3);
}

// Newest first; this program's events at once, another program's at the next
// look; the filters; the export writes exactly the rows shown.
TEST_F(Eventos_Escritorio, EventsWindowShowsFiltersAndExportsWhatItShows) {
    const QDateTime ahora = QDateTime::currentDateTime();
    Diario_Eventos otro(host->Diario().Ruta()); // kv73ctl, say
    Evento viejo =
        Un_Evento(5, QStringLiteral("reset-max"), QStringLiteral("reset-max"), ahora.addDays(-2));
    viejo.antes = QStringLiteral("[80,81,82,83]");
    Evento uno = Un_Evento(1, QStringLiteral("link"), QStringLiteral("down"), ahora.addSecs(-60));
    uno.valor = QStringLiteral("port lost");
    ASSERT_TRUE(otro.Anota(viejo) && otro.Anota(uno));

    AVPAGE2 &p = Pagina();
    Diario_Pagina &d = *Diario_Pagina::De(p);
    QTest::keyClick(&p, Qt::Key_E, Qt::ControlModifier); // the page is not shown:
    d.Abre_Eventos();                                    // Ctrl+E's action
    Ventana_Eventos &v = *d.Eventos();
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(v.Reloj().isActive()) << "looks for other programs' events while shown";
    EXPECT_GE(v.width(), 1000);
    const auto filas = [&v] {
        QStringList r;
        for (const Evento &e : v.Modelo().Filas())
            r << QString::number(e.direccion) + QLatin1Char('/') + e.tipo;
        return r;
    };
    EXPECT_EQ(filas(), QStringList{"1/link"}) << "the last 24 hours by default";

    Evento nuestro = Un_Evento(5, QStringLiteral("lamp"), QStringLiteral("L2"), ahora);
    nuestro.valor = QStringLiteral("on");
    nuestro.antes = QStringLiteral("\"off\"");
    ASSERT_TRUE(host->Diario().Anota(nuestro));
    EXPECT_EQ(filas(), (QStringList{"5/lamp", "1/link"})) << "live, newest first";
    Evento suyo =
        Un_Evento(17, QStringLiteral("setpoints"), QStringLiteral("set"), ahora.addSecs(1));
    suyo.antes = QStringLiteral("[90,110,60,75,11,0]");
    suyo.despues = QStringLiteral("[95,110,60,75,11,0]");
    ASSERT_TRUE(otro.Anota(suyo));
    EXPECT_EQ(v.Modelo().Filas().size(), 2) << "another program's event waits for the look";
    v.Revisa();
    v.Revisa();
    EXPECT_EQ(filas(), (QStringList{"17/setpoints", "5/lamp", "1/link"}));

    v.Periodo->setCurrentIndex(3); // all
    EXPECT_EQ(filas(), (QStringList{"17/setpoints", "5/lamp", "1/link", "5/reset-max"}));
    v.Rele->setValue(5);
    EXPECT_EQ(filas(), (QStringList{"5/lamp", "5/reset-max"}));
    v.Tipo->setCurrentText(QStringLiteral("reset-max"));
    EXPECT_EQ(filas(), QStringList{"5/reset-max"});
    Evento otro_rele = Un_Evento(1, QStringLiteral("reset-max"), QStringLiteral("Clear"), ahora);
    ASSERT_TRUE(host->Diario().Anota(otro_rele));
    EXPECT_EQ(filas(), QStringList{"5/reset-max"}) << "a live event the filters leave out";
    v.Tipo->setCurrentIndex(0);
    v.Rele->setValue(0);
    v.Periodo->setCurrentIndex(0); // the last hour
    EXPECT_EQ(filas(), (QStringList{"17/setpoints", "1/reset-max", "5/lamp", "1/link"}))
        << "two events of one time: the later written first";

    const QString csv = carpeta.filePath(QStringLiteral("events.csv"));
    operador->Espera_Guardar(csv);
    v.Exportar->click();
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lineas = f.readAll().split('\n');
    ASSERT_EQ(lineas.size(), 1 + 4 + 1) << "header, the rows shown, the last CRLF";
    EXPECT_EQ(lineas[0], "time,device,address,kind,what,value,before,after,source\r");
    EXPECT_TRUE(lineas[1].contains(
        ",17,setpoints,set,,\"[90,110,60,75,11,0]\",\"[95,110,60,75,11,0]\",kv73ctl\r"))
        << lineas[1].toStdString();
    EXPECT_TRUE(lineas[3].contains(",5,lamp,L2,on,\"\"\"off\"\"\",,kv73ctl\r"))
        << lineas[3].toStdString();
    EXPECT_TRUE(lineas[1].startsWith(Hora_Iso(suyo.hora).toUtf8()));
    EXPECT_TRUE(v.Nota->text().contains(QStringLiteral("4 events exported")));

    // A file that cannot be written is said, naming it.
    const QString carpeta_csv = carpeta.filePath(QStringLiteral("una_carpeta"));
    ASSERT_TRUE(QDir().mkpath(carpeta_csv));
    operador->Espera_Guardar(carpeta_csv)
        .Espera_Mensaje(
            QStringLiteral("The file %1 could not be written: not a plain file").arg(carpeta_csv));
    v.Exporta();

    v.hide();
    EXPECT_FALSE(v.Reloj().isActive()) << "nothing looked for while hidden";
}

// Ctrl+E is in the Tools menu and in the keys list.
TEST_F(Eventos_Escritorio, EventsIsAmongTheTools) {
    AVPAGE2 &p = Pagina();
    QStringList textos;
    for (QAction *a : Herramientas_Pagina::De(p)->Menu()->actions())
        textos << a->text().section(QLatin1Char('\t'), 0, 0) + QLatin1Char('|') +
                      a->shortcut().toString();
    EXPECT_TRUE(textos.contains(QStringLiteral("Events...|Ctrl+E")))
        << textos.join(' ').toStdString();
}

// A journal whose folder cannot be made: said once in the status bar, and the
// page polls on, its lamp notified all the same.
class Eventos_Sin_Diario : public Eventos_Escritorio {
  protected:
    QString Ruta_Diario() override {
        // A file where the journal's folder should be.
        const QString archivo = carpeta.filePath(QStringLiteral("no_folder"));
        QFile f(archivo);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return archivo + QStringLiteral("/events.sqlite");
    }
};

TEST_F(Eventos_Sin_Diario, AJournalThatCannotBeWrittenIsSaidOnceAndPollingGoesOn) {
    int dichos = 0;
    QObject::connect(host.get(), &Principal::Diario_Fallido, [&dichos] { ++dichos; });
    AVPAGE2 &p = Pagina_En_Vivo();
    p.Timer1_Timer();
    EXPECT_TRUE(p.Barra_Estado->currentMessage().contains(QStringLiteral("cannot be written")))
        << p.Barra_Estado->currentMessage().toStdString();
    EXPECT_TRUE(Estado.Comunicacion_OK);
    rele.Fallos_Activos().Fallo_Sonda[1] = Codigo_Fcc;
    puerto->escrituras.clear();
    for (int i = 0; i < 3; ++i)
        p.Timer1_Timer();
    EXPECT_EQ(puerto->Peticiones().size(), 3u) << "every poll went out";
    EXPECT_EQ(dichos, 1);
    EXPECT_EQ(Diario_Pagina::De(p)->Avisos().Enviadas(), 1);
    EXPECT_TRUE(p.Barra_Estado->currentMessage().endsWith(QStringLiteral(": Fault blink")));
    // The Events window says why it has nothing to show.
    Diario_Pagina::De(p)->Abre_Eventos();
    const QString nota = Diario_Pagina::De(p)->Eventos()->Nota->text();
    EXPECT_TRUE(nota.contains(QStringLiteral("events.sqlite"))) << nota.toStdString();
}

// Which lamp events the operator is told of, and in what words.
TEST(Notificaciones_Texto, OnlyAnAlarmTripOrFaultLightingFromOffIsSaid) {
    Evento e = Un_Evento(5, QStringLiteral("lamp"), QStringLiteral("L2"), QDateTime());
    e.antes = QStringLiteral("\"off\"");
    e.valor = QStringLiteral("on");
    EXPECT_EQ(Notificaciones::Texto(e), QStringLiteral("Relay 5 on /dev/ttyUSB0: L2 on"));
    e.valor = QStringLiteral("blink");
    e.que = QStringLiteral("L1");
    EXPECT_EQ(Notificaciones::Texto(e), QStringLiteral("Relay 5 on /dev/ttyUSB0: L1 blink"));
    e.antes = QStringLiteral("\"on\""); // steady to blinking: lit already
    EXPECT_TRUE(Notificaciones::Texto(e).isEmpty());
    e.antes = QStringLiteral("\"blink\"");
    e.valor = QStringLiteral("off");
    EXPECT_TRUE(Notificaciones::Texto(e).isEmpty());
    e.antes = QStringLiteral("\"off\"");
    e.valor = QStringLiteral("on");
    for (const char *otra : {"FAN", "Pt1", "Tmax", "Prog"}) {
        e.que = QLatin1String(otra);
        EXPECT_TRUE(Notificaciones::Texto(e).isEmpty()) << otra;
    }
    e.que = QStringLiteral("Fault");
    e.tipo = QStringLiteral("link");
    EXPECT_TRUE(Notificaciones::Texto(e).isEmpty());
}
