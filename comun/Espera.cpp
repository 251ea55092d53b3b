#include "comun/Espera.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void Espera_Hasta(const std::function<bool()> &condicion) {
    // Events are let through at least once, even when the condition already holds.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    while (!condicion())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void Espera_Hasta_O_Vence(int ms, const std::function<bool()> &condicion) {
    bool vencida = false;
    QTimer limite;
    limite.setSingleShot(true);
    limite.setTimerType(Qt::PreciseTimer);
    QObject::connect(&limite, &QTimer::timeout, [&vencida] { vencida = true; });
    limite.start(ms);
    Espera_Hasta([&] { return vencida || condicion(); });
}
