#include "enlace/Puertos_Maquina.h"

#include "enlace/Puerto_Modbus_Tcp.h"
#include "enlace/Puerto_Serie.h"
#include "enlace/Puerto_Tcp.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

bool Mismo_Dispositivo(const QString &a, const QString &b) {
    if (a == b)
        return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

std::vector<Puerto_Maquina> Puertos_Maquina() {
    std::vector<Puerto_Maquina> puertos;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        Puerto_Maquina p;
#ifdef Q_OS_WIN
        // COMn is the name a port number maps to, not \\.\COMn.
        p.dispositivo = info.portName();
#else
        p.dispositivo = info.systemLocation();
#endif
        p.descripcion = info.description();
        p.fabricante = info.manufacturer();
        p.numero_serie = info.serialNumber();
        p.acceso = Acceso_Dispositivo(p.dispositivo);
        puertos.push_back(p);
    }
    std::sort(puertos.begin(), puertos.end(), [](const Puerto_Maquina &a, const Puerto_Maquina &b) {
        return a.dispositivo < b.dispositivo;
    });
    for (int16_t n = 1; n <= Puertos_Dialogo; ++n) {
        const QString dispositivo = Nombre_Dispositivo(n);
        auto p = std::find_if(puertos.begin(), puertos.end(), [&](const Puerto_Maquina &q) {
            return Mismo_Dispositivo(q.dispositivo, dispositivo);
        });
        if (p == puertos.end()) {
            const bool modbus = Es_Dispositivo_Modbus_Tcp(dispositivo);
            const bool red = modbus || Es_Dispositivo_Tcp(dispositivo);
            if (!red && !QFileInfo::exists(dispositivo))
                continue;
            Puerto_Maquina nuevo;
            nuevo.dispositivo = dispositivo;
            nuevo.red = red;
            if (red)
                nuevo.descripcion = modbus ? QStringLiteral("Modbus TCP gateway")
                                           : QStringLiteral("serial device server (RTU over TCP)");
            nuevo.acceso = Acceso_Dispositivo(dispositivo);
            puertos.push_back(nuevo);
            p = std::prev(puertos.end());
        }
        p->com.append(n);
    }
    return puertos;
}
