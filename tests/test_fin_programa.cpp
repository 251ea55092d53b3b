// The desktop program's end, the program run whole as a launcher runs it, with
// the operator's hands inside it: Exit and the page's window end it at once, and
// through the return of main, so that its objects are destroyed in order and a
// sanitizer build finds nothing left behind.

#include "tests/soporte/Simulador.h"

#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

// The sanitizer options of the suite, with leak detection on: a leak found at
// the end makes the program's exit status non-zero.
QString Opciones_Asan() {
    const QString previas = qEnvironmentVariable("ASAN_OPTIONS");
    return QStringLiteral("ASAN_OPTIONS=") + previas + (previas.isEmpty() ? "" : ":") +
           QStringLiteral("detect_leaks=1");
}

} // namespace

TEST(Fin_Programa, ExitAndClosingThePageReturnFromMainWithNothingLeft) {
    // The traffic and trend windows are open at the end, the settings dialog
    // loaded after a launcher's ON.
    for (const char *manos : {"ventanas,salir", "ventanas,cerrar"})
        for (const bool lanzado : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << manos << (lanzado ? ", launched with a link" : ", interactive"));
            Simulador sim;
            ASSERT_TRUE(sim.Listo());
            const QStringList linea = lanzado
                                          ? QStringList{QStringLiteral("9600,N,8,1"),
                                                        QStringLiteral("2"), QStringLiteral("1")}
                                          : QStringList{};
            Programa_Lanzado kv73(
                QStringLiteral(KV73_MANOS_PROGRAMA), sim.Enlace(), linea,
                {QStringLiteral("KV73_MANOS=") + QLatin1String(manos), Opciones_Asan()});
            ASSERT_TRUE(kv73.Arrancado());
            ASSERT_TRUE(kv73.Proceso().waitForFinished(60000)) << "the program did not end";
            const QString errores = QString::fromLocal8Bit(kv73.Proceso().readAllStandardError());
            EXPECT_EQ(kv73.Proceso().exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(kv73.Proceso().exitCode(), 0) << errores.toStdString();
            EXPECT_TRUE(kv73.Proceso().readAllStandardOutput().contains("ended through main"));
            // A launcher learns that the page is gone; an interactive run leaves
            // the file alone.
            EXPECT_EQ(kv73.Archivo_Estado(), lanzado ? QByteArray("\x02\x00", 2) : QByteArray());
        }
}
