#include "enlace/Puerto_Serie.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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
    case 'E':
        f.paridad = QSerialPort::EvenParity;
        break;
    case 'O':
        f.paridad = QSerialPort::OddParity;
        break;
    case 'M':
        f.paridad = QSerialPort::MarkParity;
        break;
    case 'S':
        f.paridad = QSerialPort::SpaceParity;
        break;
    default:
        f.paridad = QSerialPort::NoParity;
        break;
    }
    f.datos = static_cast<QSerialPort::DataBits>(m.captured(3).toInt());
    const QString parada = m.captured(4);
    f.parada = parada == QLatin1String("2")     ? QSerialPort::TwoStop
               : parada == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                : QSerialPort::OneStop;
    return f;
}

namespace {

QString Clave_Puerto(int16_t puerto) {
    return QStringLiteral("Puertos/COM%1").arg(puerto);
}

// Named in full rather than taken from the application: kv73 and kv73ctl call
// themselves differently and must read the same assignments.
QSettings Ajustes() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("KV-73"),
                     QStringLiteral("kv73"));
}

} // namespace

QString Dispositivo_Por_Defecto(int16_t puerto) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(puerto);
#else
    return QStringLiteral("/dev/ttyS%1").arg(puerto - 1);
#endif
}

QString Dispositivo_Asignado(int16_t puerto) {
    return Ajustes().value(Clave_Puerto(puerto)).toString().trimmed();
}

void Asigna_Dispositivo(int16_t puerto, const QString &dispositivo) {
    QSettings ajustes = Ajustes();
    if (dispositivo.trimmed().isEmpty())
        ajustes.remove(Clave_Puerto(puerto));
    else
        ajustes.setValue(Clave_Puerto(puerto), dispositivo.trimmed());
}

Dispositivo_Puerto Dispositivo_De(int16_t puerto) {
    const QByteArray variable = "KV73_COM" + QByteArray::number(puerto);
    if (qEnvironmentVariableIsSet(variable.constData()))
        return {qEnvironmentVariable(variable.constData()), Origen_Dispositivo::Entorno};
    if (QString asignado = Dispositivo_Asignado(puerto); !asignado.isEmpty())
        return {asignado, Origen_Dispositivo::Asignado};
    return {Dispositivo_Por_Defecto(puerto), Origen_Dispositivo::Defecto};
}

QString Nombre_Dispositivo(int16_t puerto) {
    return Dispositivo_De(puerto).dispositivo;
}

bool Acceso_Dispositivo(const QString &dispositivo) {
    // A connection to a device server or a gateway is no file: no rights of this
    // user apply.
    const QString nombre = dispositivo.trimmed();
    if (nombre.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive) ||
        nombre.startsWith(QLatin1String("modbus-tcp://"), Qt::CaseInsensitive))
        return true;
#ifdef Q_OS_UNIX
    // access(2) answers for this very user, its groups included: what open() will meet.
    return ::access(QFile::encodeName(dispositivo).constData(), R_OK | W_OK) == 0;
#else
    // Windows has no per-user rights on a COM port; a refusal there means it is in use.
    return true;
#endif
}
