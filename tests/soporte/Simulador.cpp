#include "tests/soporte/Simulador.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
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
    // It prints one line once the relay is listening on the terminal, after
    // the line of its TCP port with --tcp.
    QElapsedTimer reloj;
    reloj.start();
    bool en_terminal = false;
    while (!en_terminal && reloj.elapsed() < 5000) {
        if (!proceso_.canReadLine() && !proceso_.waitForReadyRead(5000))
            break;
        while (proceso_.canReadLine()) {
            const QString linea = QString::fromLocal8Bit(proceso_.readLine());
            static const QRegularExpression tcp(QStringLiteral("tcp://127\\.0\\.0\\.1:(\\d+)"));
            if (const auto m = tcp.match(linea); m.hasMatch())
                puerto_tcp_ = m.captured(1).toInt();
            else
                en_terminal = true;
        }
    }
    listo_ = en_terminal && QFileInfo::exists(Enlace());
    if (!listo_)
        ADD_FAILURE() << "kv73-sim did not announce its relay";
}

QString Simulador::Salida() {
    proceso_.waitForReadyRead(0);
    return QString::fromLocal8Bit(proceso_.readAllStandardOutput());
}

void Simulador::Detiene() {
    if (proceso_.state() == QProcess::NotRunning)
        return;
    proceso_.terminate();
    proceso_.waitForFinished(5000);
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

Programa_Lanzado::Programa_Lanzado(const QString &programa, const QString &dispositivo,
                                   const QStringList &argumentos, const QStringList &entorno) {
    auto variables = QProcessEnvironment::systemEnvironment();
    variables.insert(QStringLiteral("KV73_COM2"), dispositivo);
    variables.insert(QStringLiteral("KV73_STATUS_FILE"),
                     carpeta_.filePath(QStringLiteral("estado")));
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const QString &v : entorno)
        variables.insert(v.section(QLatin1Char('='), 0, 0), v.section(QLatin1Char('='), 1));
    proceso_.setProcessEnvironment(variables);
    proceso_.start(programa, argumentos);
    arrancado_ = proceso_.waitForStarted(5000);
}

Programa_Lanzado::~Programa_Lanzado() {
    proceso_.terminate();
    if (!proceso_.waitForFinished(5000))
        proceso_.kill();
    proceso_.waitForFinished(5000);
}

QByteArray Programa_Lanzado::Archivo_Estado() const {
    QFile f(carpeta_.filePath(QStringLiteral("estado")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Programa_Lanzado::Espera_Pagina(int ms, const std::function<bool()> &tambien) {
    QElapsedTimer reloj;
    reloj.start();
    QByteArray leido;
    bool visto = false;
    while (reloj.elapsed() < ms && (leido != QByteArray("\x01\x00", 2) || !visto)) {
        QThread::msleep(50);
        visto = !tambien || tambien();
        leido = Archivo_Estado();
    }
    return leido;
}
