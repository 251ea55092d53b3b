// What one write into the event journal costs: COUNT lamp events written one
// by one (each its own transaction, as a poll writes them) into FILE, made
// fresh; prints the median, the 99th percentile and the worst in microseconds.
// With --other-writer, a second process writes into the same file the whole
// time, as the desktop program and kv73ctl do.
#include "diario/Diario_Eventos.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int Escribe(const QString &ruta, int cuenta, std::vector<qint64> *tiempos) {
    Diario_Eventos diario(ruta);
    int fallos = 0;
    for (int i = 0; i < cuenta; ++i) {
        Evento evento;
        evento.hora = QDateTime::currentDateTime();
        evento.dispositivo = QStringLiteral("/dev/ttyUSB0");
        evento.direccion = 1 + i % 3;
        evento.tipo = QStringLiteral("lamp");
        evento.que = QStringLiteral("L1");
        evento.valor = i % 2 ? QStringLiteral("on") : QStringLiteral("off");
        evento.antes = i % 2 ? QStringLiteral("\"off\"") : QStringLiteral("\"on\"");
        evento.fuente = QStringLiteral("diario_bench");
        QElapsedTimer reloj;
        reloj.start();
        fallos += !diario.Anota(evento);
        if (tiempos)
            tiempos->push_back(reloj.nsecsElapsed() / 1000);
    }
    return fallos;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication aplicacion(argc, argv);
    QStringList argumentos = aplicacion.arguments().mid(1);
    const bool otro = argumentos.removeAll(QStringLiteral("--other-writer")) > 0;
    const bool solo_escribe = argumentos.removeAll(QStringLiteral("--quiet")) > 0;
    if (argumentos.size() != 2) {
        std::fprintf(stderr, "usage: diario_bench [--other-writer] FILE COUNT\n");
        return 1;
    }
    const QString ruta = argumentos[0];
    const int cuenta = argumentos[1].toInt();
    if (solo_escribe)
        return Escribe(ruta, cuenta, nullptr) == 0 ? 0 : 2;
    QFile::remove(ruta);
    QProcess otro_escritor;
    if (otro)
        otro_escritor.start(aplicacion.applicationFilePath(),
                            {QStringLiteral("--quiet"), ruta, QString::number(cuenta * 4)});
    std::vector<qint64> tiempos;
    const int fallos = Escribe(ruta, cuenta, &tiempos);
    if (otro)
        otro_escritor.waitForFinished(-1);
    std::sort(tiempos.begin(), tiempos.end());
    std::printf("%d writes%s: median %lld us, 99th percentile %lld us, worst %lld us, %d failed\n",
                cuenta, otro ? " (another process writing)" : "",
                static_cast<long long>(tiempos[tiempos.size() / 2]),
                static_cast<long long>(tiempos[tiempos.size() * 99 / 100]),
                static_cast<long long>(tiempos.back()), fallos);
    return fallos == 0 ? 0 : 2;
}
