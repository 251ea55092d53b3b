#include "tests/soporte/Simulador.h"

#include <QFileInfo>
#include <gtest/gtest.h>

Simulador::Simulador(const QStringList &opciones) {
    proceso_.setProgram(QStringLiteral(KV73_SIM));
    proceso_.setArguments(QStringList{QStringLiteral("--link"), Enlace()} + opciones);
    proceso_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proceso_.start();
    if (!proceso_.waitForStarted(5000)) {
        ADD_FAILURE() << "kv73-sim did not start: " << proceso_.errorString().toStdString();
        return;
    }
    // It prints one line once the relay is listening.
    while (!proceso_.canReadLine() && proceso_.waitForReadyRead(5000)) {
    }
    listo_ = proceso_.canReadLine() && QFileInfo::exists(Enlace());
    if (!listo_)
        ADD_FAILURE() << "kv73-sim did not announce its relay";
}

Simulador::~Simulador() {
    if (proceso_.state() == QProcess::NotRunning)
        return;
    proceso_.terminate();
    if (!proceso_.waitForFinished(5000)) {
        proceso_.kill();
        proceso_.waitForFinished(5000);
    }
}

Salida_Programa Ejecuta(const QString &programa, const QStringList &argumentos,
                        const QStringList &entorno, int ms) {
    QProcess proceso;
    auto variables = QProcessEnvironment::systemEnvironment();
    for (const QString &v : entorno)
        variables.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    proceso.setProcessEnvironment(variables);
    proceso.start(programa, argumentos);
    Salida_Programa r;
    if (!proceso.waitForFinished(ms)) {
        ADD_FAILURE() << programa.toStdString() << " did not finish in " << ms << " ms";
        proceso.kill();
        proceso.waitForFinished();
    }
    r.estado = proceso.exitStatus() == QProcess::NormalExit ? proceso.exitCode() : -1;
    r.salida = QString::fromUtf8(proceso.readAllStandardOutput());
    r.errores = QString::fromUtf8(proceso.readAllStandardError());
    return r;
}
