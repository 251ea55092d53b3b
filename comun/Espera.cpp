#include "comun/Espera.h"

#include <QCoreApplication>
#include <QEventLoop>

void Espera_Hasta(const std::function<bool()> &condicion) {
    // Events are let through at least once, even when the condition already holds.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    while (!condicion())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}
