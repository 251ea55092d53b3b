// The serial layer on a real pseudo-terminal, where the kernel refuses the
// modem-line calls a real port takes.

#include "enlace/Puerto_QSerialPort.h"
#include "tests/soporte/Pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// Lets the event loop run until `condicion` holds or `ms` pass.
template <typename F> bool Hasta(F condicion, int ms = 2000) {
    QElapsedTimer reloj;
    reloj.start();
    while (!condicion() && reloj.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return condicion();
}

void Apunta(int16_t puerto, const QString &ruta) {
    qputenv(QByteArray("KV73_COM" + QByteArray::number(puerto)).constData(), ruta.toLocal8Bit());
}

// The program's settings in a folder of the test's own, never the user's.
struct Ajustes_De_Prueba {
    Ajustes_De_Prueba() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, carpeta.path());
    }
    QTemporaryDir carpeta;
};

} // namespace

TEST(Settings, TextIsReadBackIntoTheLineFormat) {
    const auto f = Analiza_Settings(QStringLiteral(" 9600,N,8,1"));
    const auto g = Analiza_Settings(QStringLiteral("1200,e,7,2"));
    ASSERT_TRUE(f && g);
    EXPECT_EQ(std::tie(f->velocidad, f->paridad, f->datos, f->parada),
              std::tuple(9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop));
    EXPECT_EQ(std::tie(g->velocidad, g->paridad, g->datos, g->parada),
              std::tuple(1200, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop));
    for (const char *malo :
         {"9600", "", " ,N,8,1", "9600,X,8,1", "9600,N,9,1", "0,N,8,1", "9600,N,8,3"})
        EXPECT_FALSE(Analiza_Settings(QLatin1String(malo))) << malo;
}

TEST(Puerto, PseudoTerminalCarriesRawBytesAndAHangUpClosesThePort) {
    Pty pty;
    Apunta(7, pty.Esclavo());
    pty.Escribe("left over"); // before the opening: must not reach the program

    Puerto_QSerialPort puerto;
    puerto.Set_CommPort(7);
    ASSERT_TRUE(puerto.Set_PortOpen(true)) << puerto.Error_Texto().toStdString();
    puerto.Set_DTREnable(true);
    puerto.Set_DTREnable(false); // refused by a pseudo-terminal: not a failure

    puerto.Output(QByteArray(1, '\0'));
    EXPECT_EQ(pty.Lee(1, 1000), QByteArray(1, '\0'));

    QSignalSpy llegan(&puerto, &Puerto_Serie::Llegan_Datos);
    const QByteArray crudo("\x00\xFF\x80\x0D\x0A\x7F", 6);
    pty.Escribe(crudo);
    ASSERT_TRUE(Hasta([&] { return puerto.InBufferCount() >= crudo.size(); }));
    EXPECT_GE(llegan.count(), 1);
    EXPECT_EQ(puerto.Input(), crudo);

    // A read length of 1 (left by remote modem programming) goes back to
    // "everything" when the port opens again.
    puerto.Set_InputLen(1);
    pty.Escribe("ab");
    ASSERT_TRUE(Hasta([&] { return puerto.InBufferCount() >= 2; }));
    EXPECT_EQ(puerto.Input(), QByteArray("a"));
    puerto.Set_PortOpen(false);
    ASSERT_TRUE(puerto.Set_PortOpen(true));
    pty.Escribe("cd");
    ASSERT_TRUE(Hasta([&] { return puerto.InBufferCount() >= 2; }));
    EXPECT_EQ(puerto.Input(), QByteArray("cd"));

    // The device goes away: the port closes instead of spinning on errors.
    llegan.clear();
    pty.Cierra();
    EXPECT_TRUE(Hasta([&] { return !puerto.PortOpen(); }));
    EXPECT_GE(llegan.count(), 1) << "whoever waits is woken";
    puerto.Output("x"); // harmless on a closed port
}

TEST(Puerto, APortOpensItsVariableElseItsAssignedDeviceElseThePlatformsOwn) {
    const Ajustes_De_Prueba ajustes;
    qunsetenv("KV73_COM3");
    qunsetenv("KV73_COM4");
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/ttyS2");
    EXPECT_EQ(Dispositivo_De(3).origen, Origen_Dispositivo::Defecto);

    Asigna_Dispositivo(3, QStringLiteral(" /dev/ttyUSB0 "));
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/ttyUSB0");
    EXPECT_EQ(Dispositivo_De(3).origen, Origen_Dispositivo::Asignado);
    EXPECT_EQ(Nombre_Dispositivo(4).toStdString(), "/dev/ttyS3") << "one port's device is its own";
    // Where kv73ctl, another program, finds it.
    EXPECT_TRUE(QFile::exists(ajustes.carpeta.filePath(QStringLiteral("KV-73/kv73.conf"))));

    Apunta(3, QStringLiteral("/dev/pts/9"));
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/pts/9");
    EXPECT_EQ(Dispositivo_De(3).origen, Origen_Dispositivo::Entorno);
    qunsetenv("KV73_COM3");
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/ttyUSB0")
        << "the assignment outlives the variable";

    Asigna_Dispositivo(3, QString());
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/ttyS2");
}

TEST(Puerto, AFailedOpeningSaysWhyInPlainWords) {
    const QTemporaryDir carpeta;
    const QString falta = carpeta.filePath(QStringLiteral("ttyUSB9"));
    Apunta(8, falta);
    Puerto_QSerialPort puerto;
    puerto.Set_CommPort(8);
    EXPECT_FALSE(puerto.Set_PortOpen(true));
    EXPECT_FALSE(puerto.PortOpen());
    EXPECT_EQ(puerto.Error_Texto(), QStringLiteral("no such device: ") + falta);

    // A second program's port (here a second port object) holds the line.
    Pty pty;
    Apunta(8, pty.Esclavo());
    Puerto_QSerialPort primero;
    primero.Set_CommPort(8);
    ASSERT_TRUE(primero.Set_PortOpen(true)) << primero.Error_Texto().toStdString();
    EXPECT_FALSE(puerto.Set_PortOpen(true));
    EXPECT_EQ(puerto.Error_Texto(),
              pty.Esclavo() + QStringLiteral(" is in use by another program"));
    primero.Set_PortOpen(false);
    EXPECT_TRUE(puerto.Set_PortOpen(true)) << "free again once the other lets go";
    EXPECT_TRUE(puerto.Error_Texto().isEmpty());

    // The rights on the device tell a refusal from a lock held elsewhere; root
    // passes every right, so the refusal is judged here, not met on a device.
    const auto razon = [](const QString &dispositivo, bool accesible) {
        return Razon_Apertura(QSerialPort::PermissionError, dispositivo, accesible, {});
    };
    EXPECT_EQ(razon(pty.Esclavo(), false),
              QStringLiteral("permission denied on %1: add your user to the dialout group")
                  .arg(pty.Esclavo()));
    EXPECT_EQ(razon(falta, false), QStringLiteral("no such device: ") + falta);
    EXPECT_EQ(
        Razon_Apertura(QSerialPort::UnsupportedOperationError, falta, true, QStringLiteral("odd")),
        falta + QStringLiteral(": odd"));
}
