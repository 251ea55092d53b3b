// Lamp notifications through a notification service on a private session bus.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Diario_Pagina.h"
#include "formularios/Notificaciones.h"
#include "tests/soporte/Escritorio.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>

namespace {

// The desktop's notification server, as far as the program sees it.
class Servidor_Notificaciones : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    QStringList resumenes;

  public slots:
    uint Notify(const QString &, uint, const QString &, const QString &resumen, const QString &,
                const QStringList &, const QVariantMap &, int) {
        resumenes << resumen;
        return static_cast<uint>(resumenes.size());
    }
};

} // namespace

class Notificaciones_DBus : public Escritorio {
  protected:
    void SetUp() override {
        Escritorio::SetUp();
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        demonio.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address")});
        ASSERT_TRUE(demonio.waitForStarted(5000));
        ASSERT_TRUE(demonio.waitForReadyRead(5000));
        direccion = QString::fromUtf8(demonio.readLine()).trimmed();
        ASSERT_FALSE(direccion.isEmpty());
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("kv73-servidor"));
        QDBusConnection::disconnectFromBus(QStringLiteral("kv73-cliente"));
        if (demonio.state() != QProcess::NotRunning) {
            demonio.kill();
            demonio.waitForFinished(5000);
        }
        Escritorio::TearDown();
    }

    QProcess demonio;
    QString direccion;
};

// With no server on the bus the status bar says it; with one, the server gets
// the notification and the status bar stays as it was.
TEST_F(Notificaciones_DBus, ALampLightingGoesToTheServiceWhenOneIsRegistered) {
    QDBusConnection cliente =
        QDBusConnection::connectToBus(direccion, QStringLiteral("kv73-cliente"));
    ASSERT_TRUE(cliente.isConnected());
    Conecta_Rele();
    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    p.Timer1.stop();
    p.Timer2.stop();
    Notificaciones &avisos = Diario_Pagina::De(p)->Avisos();
    avisos.Usa_Bus(cliente);
    p.Timer1_Timer();
    rele.Fallos_Activos().Fallo_Sonda[0] = Codigo_Fco;
    p.Timer1_Timer();
    EXPECT_FALSE(avisos.Hay_Servicio());
    EXPECT_TRUE(p.Barra_Estado->currentMessage().endsWith(QStringLiteral(": Fault blink")));
    p.Barra_Estado->clearMessage();

    Servidor_Notificaciones servidor;
    QDBusConnection lado_servidor =
        QDBusConnection::connectToBus(direccion, QStringLiteral("kv73-servidor"));
    ASSERT_TRUE(lado_servidor.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                             &servidor, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(lado_servidor.registerService(QStringLiteral("org.freedesktop.Notifications")));
    // The service came after the program: the next lamp finds it.
    rele.Fallos_Activos().Fallo_Sonda[0] = 0;
    p.Timer1_Timer();
    rele.Fallos_Activos().Fallo_Sonda[0] = Codigo_Fco;
    p.Timer1_Timer();
    p.Timer1_Timer();
    EXPECT_TRUE(avisos.Hay_Servicio());
    ASSERT_TRUE(QTest::qWaitFor([&servidor] { return !servidor.resumenes.isEmpty(); }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(servidor.resumenes, QStringList{QStringLiteral("Relay 1 on %1: Fault blink")
                                                  .arg(Nombre_Dispositivo(Estado.Puerto_Com))});
    EXPECT_TRUE(p.Barra_Estado->currentMessage().isEmpty());
}

#include "test_eventos_dbus.moc"
