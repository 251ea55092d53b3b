// Start-up: the command line a launching program gives, and the program run as
// that program runs it.

#include "comun/Linea_Comandos.h"
#include "comun/Version.h"
#include "tests/soporte/Simulador.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
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
