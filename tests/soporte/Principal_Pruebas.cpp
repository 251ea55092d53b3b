// Test main: one application object for the whole run, headless.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // Every test, and every program a test starts, journals its events into a
    // folder of this run, never into the user's own journal.
    QTemporaryDir carpeta_diario;
    if (qEnvironmentVariableIsEmpty("KV73_EVENTS"))
        qputenv("KV73_EVENTS", QFile::encodeName(carpeta_diario.filePath("events.sqlite")));
    QApplication aplicacion(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
