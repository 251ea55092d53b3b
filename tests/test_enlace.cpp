// The serial layer on a real pseudo-terminal, where the kernel refuses the
// modem-line calls a real port takes.

#include "enlace/Puerto_QSerialPort.h"
#include "tests/soporte/Pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <gtest/gtest.h>

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

} // namespace

TEST(Settings, TextIsReadBackIntoTheLineFormat) {
    const auto f = Analiza_Settings(QStringLiteral(" 9600,N,8,1"));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->velocidad, 9600);
    EXPECT_EQ(f->paridad, QSerialPort::NoParity);
    EXPECT_EQ(f->datos, QSerialPort::Data8);
    EXPECT_EQ(f->parada, QSerialPort::OneStop);
    const auto g = Analiza_Settings(QStringLiteral("1200,e,7,2"));
    ASSERT_TRUE(g);
    EXPECT_EQ(g->paridad, QSerialPort::EvenParity);
    EXPECT_EQ(g->datos, QSerialPort::Data7);
    EXPECT_EQ(g->parada, QSerialPort::TwoStop);
    for (const char *malo : {"9600", "", " ,N,8,1", "9600,X,8,1", "9600,N,9,1", "0,N,8,1", "9600,N,8,3"})
        EXPECT_FALSE(Analiza_Settings(QLatin1String(malo))) << malo;
}

TEST(Settings, PortNumbersNameTheirDevice) {
    qunsetenv("KV73_COM3");
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/ttyS2");
    Apunta(3, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(Nombre_Dispositivo(3).toStdString(), "/dev/ttyUSB0");
    qunsetenv("KV73_COM3");
}

TEST(Puerto, PseudoTerminalOpensAndCarriesRawBytes) {
    Pty pty;
    Apunta(7, pty.Esclavo());
    pty.Escribe("left over"); // before the opening: must not reach the program

    Puerto_QSerialPort puerto;
    puerto.Set_CommPort(7);
    ASSERT_TRUE(puerto.Set_Settings(QStringLiteral(" 9600,N,8,1")));
    ASSERT_TRUE(puerto.Set_PortOpen(true)) << puerto.Error_Texto().toStdString();
    puerto.Set_DTREnable(true);
    puerto.Set_DTREnable(false); // refused by a pseudo-terminal: not a failure
    EXPECT_TRUE(puerto.PortOpen());
    QCoreApplication::processEvents();
    EXPECT_EQ(puerto.InBufferCount(), 0);

    puerto.Output(QByteArray(1, '\0'));
    EXPECT_EQ(pty.Lee(1, 1000), QByteArray(1, '\0'));

    QSignalSpy llegan(&puerto, &Puerto_Serie::Llegan_Datos);
    const QByteArray crudo("\x00\xFF\x80\x0D\x0A\x7F", 6);
    pty.Escribe(crudo);
    ASSERT_TRUE(Hasta([&] { return puerto.InBufferCount() >= crudo.size(); }));
    EXPECT_GE(llegan.count(), 1);
    EXPECT_EQ(puerto.InBufferCount(), 6);
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
}

TEST(Puerto, MissingDeviceFailsToOpenWithAReason) {
    Apunta(8, QStringLiteral("/nonexistent/tty"));
    Puerto_QSerialPort puerto;
    puerto.Set_CommPort(8);
    EXPECT_FALSE(puerto.Set_PortOpen(true));
    EXPECT_FALSE(puerto.PortOpen());
    EXPECT_FALSE(puerto.Error_Texto().isEmpty());
    EXPECT_FALSE(puerto.Set_Settings(QStringLiteral("fast")));
    EXPECT_EQ(puerto.Settings().toStdString(), " 9600,N,8,1");
}

TEST(Puerto, HangUpClosesThePortInsteadOfSpinning) {
    Pty pty;
    Apunta(9, pty.Esclavo());
    Puerto_QSerialPort puerto;
    puerto.Set_CommPort(9);
    ASSERT_TRUE(puerto.Set_PortOpen(true));
    QSignalSpy llegan(&puerto, &Puerto_Serie::Llegan_Datos);
    pty.Cierra();
    EXPECT_TRUE(Hasta([&] { return !puerto.PortOpen(); }));
    EXPECT_GE(llegan.count(), 1) << "whoever waits is woken";
    EXPECT_EQ(puerto.InBufferCount(), 0);
    EXPECT_TRUE(puerto.Input().isEmpty());
    puerto.Output("x"); // harmless on a closed port
}
