#include "enlace/Puerto_Serie.h"

#include <QRegularExpression>
#include <QtGlobal>

std::optional<Formato_Linea> Analiza_Settings(const QString &texto) {
    static const QRegularExpression forma(
        QStringLiteral(R"(^\s*(\d{1,7})\s*,\s*([NEOMSneoms])\s*,\s*([5-8])\s*,\s*(1|1\.5|2)\s*$)"));
    const auto m = forma.match(texto);
    if (!m.hasMatch())
        return std::nullopt;
    Formato_Linea f;
    f.velocidad = m.captured(1).toInt();
    if (f.velocidad <= 0)
        return std::nullopt;
    switch (m.captured(2).toUpper().at(0).unicode()) {
    case 'E': f.paridad = QSerialPort::EvenParity; break;
    case 'O': f.paridad = QSerialPort::OddParity; break;
    case 'M': f.paridad = QSerialPort::MarkParity; break;
    case 'S': f.paridad = QSerialPort::SpaceParity; break;
    default: f.paridad = QSerialPort::NoParity; break;
    }
    f.datos = static_cast<QSerialPort::DataBits>(m.captured(3).toInt());
    const QString parada = m.captured(4);
    f.parada = parada == QLatin1String("2")     ? QSerialPort::TwoStop
               : parada == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                : QSerialPort::OneStop;
    return f;
}

QString Nombre_Dispositivo(int16_t puerto) {
    const QByteArray variable = "KV73_COM" + QByteArray::number(puerto);
    if (qEnvironmentVariableIsSet(variable.constData()))
        return qEnvironmentVariable(variable.constData());
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(puerto);
#else
    return QStringLiteral("/dev/ttyS%1").arg(puerto - 1);
#endif
}
