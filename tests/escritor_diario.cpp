// A program that writes COUNT lamp events of relay ADDRESS into the journal
// FILE as fast as it can, for the tests of several writers at once. Exit 0
// when every event went in.
#include "diario/Diario_Eventos.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv) {
    QCoreApplication aplicacion(argc, argv);
    const QStringList argumentos = aplicacion.arguments();
    if (argumentos.size() != 4) {
        std::fprintf(stderr, "usage: escritor_diario FILE COUNT ADDRESS\n");
        return 1;
    }
    Diario_Eventos diario(argumentos[1]);
    diario.Al_Fallar(
        [](const QString &motivo) { std::fprintf(stderr, "%s\n", qPrintable(motivo)); });
    int perdidos = 0;
    const int cuenta = argumentos[2].toInt();
    for (int i = 0; i < cuenta; ++i) {
        Evento evento;
        evento.hora = QDateTime::currentDateTime();
        evento.dispositivo = QStringLiteral("/dev/ttyUSB0");
        evento.direccion = argumentos[3].toInt();
        evento.tipo = QStringLiteral("lamp");
        evento.que = QStringLiteral("L1");
        evento.valor = i % 2 ? QStringLiteral("on") : QStringLiteral("off");
        evento.fuente = QStringLiteral("escritor_diario");
        if (!diario.Anota(evento))
            ++perdidos;
    }
    return perdidos == 0 ? 0 : 2;
}
