#include "kv73ctl/Servicio_Mensajes.h"

#include "kv73ctl/Salida.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

QJsonArray Nulos(int n) {
    QJsonArray a;
    for (int k = 0; k < n; ++k)
        a.append(QJsonValue::Null);
    return a;
}

// The node of a relay in Home Assistant: the topic prefix and the address, in
// the letters a discovery topic allows.
QString Nodo(const QString &prefijo, int direccion) {
    QString nodo = prefijo;
    nodo.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    return QStringLiteral("%1_%2").arg(nodo).arg(direccion);
}

// The maximum register as degrees: words from 0xFF00 are below zero; a faulty
// probe's maximum is its fault code, no temperature.
QString Plantilla_Maximo(int k) {
    return QStringLiteral("{% set m = value_json.maxima[%1] %}"
                          "{% if m is none or value_json.probe_faults[%1] %}None"
                          "{% elif m >= 65280 %}{{ m - 65536 }}{% else %}{{ m }}{% endif %}")
        .arg(k);
}

QString Plantilla_Lampara(const char *lampara) {
    return QStringLiteral("{% set l = value_json.lamps['%1'] %}"
                          "{% if l is none %}None{% elif l == 'off' %}OFF{% else %}ON{% endif %}")
        .arg(QLatin1String(lampara));
}

} // namespace

QJsonObject Json_Estado(int direccion, Estado_Sondeo estado, const Lectura_Actual *lectura,
                        const QDateTime &hora) {
    QJsonObject o;
    if (lectura && estado == Estado_Sondeo::Ok) {
        o = Json_Valores(*lectura);
        o.insert(QStringLiteral("temperatures"), Json_Celsius(*lectura));
        o.insert(QStringLiteral("probe_faults"), Json_Fallos_Sonda(*lectura));
    } else {
        QJsonObject luces;
        for (const auto &ind : Mapa_Indicadores)
            luces.insert(QLatin1String(ind.nombre), QJsonValue::Null);
        o = {{QStringLiteral("temperatures"), Nulos(4)},
             {QStringLiteral("probe_faults"), Nulos(4)},
             {QStringLiteral("maxima"), Nulos(4)},
             {QStringLiteral("lamps"), luces}};
    }
    o.insert(QStringLiteral("time"), Hora_Iso(hora));
    o.insert(QStringLiteral("address"), direccion);
    o.insert(QStringLiteral("status"), Texto_Estado(estado));
    return o;
}

QList<Config_Discovery> Configs_Discovery(const QString &prefijo, int direccion) {
    const QString nodo = Nodo(prefijo, direccion);
    const QString base = QStringLiteral("%1/%2/").arg(prefijo).arg(direccion);
    const QJsonObject dispositivo{
        {QStringLiteral("identifiers"), QJsonArray{nodo}},
        {QStringLiteral("name"), QStringLiteral("KV-73 relay %1").arg(direccion)},
        {QStringLiteral("manufacturer"), QStringLiteral("KV-73")},
        {QStringLiteral("model"), QStringLiteral("KV-73 temperature relay")}};
    const QJsonArray disponible{
        QJsonObject{{QStringLiteral("topic"), base + QStringLiteral("availability")}},
        QJsonObject{{QStringLiteral("topic"), prefijo + QStringLiteral("/agent")}}};
    QList<Config_Discovery> configs;
    const auto agrega = [&](const char *componente, const QString &objeto, const QString &nombre,
                            const QString &plantilla, QJsonObject config) {
        config.insert(QStringLiteral("name"), nombre);
        config.insert(QStringLiteral("unique_id"), nodo + QLatin1Char('_') + objeto);
        config.insert(QStringLiteral("object_id"), nodo + QLatin1Char('_') + objeto);
        config.insert(QStringLiteral("device"), dispositivo);
        config.insert(QStringLiteral("state_topic"), base + QStringLiteral("state"));
        config.insert(QStringLiteral("value_template"), plantilla);
        config.insert(QStringLiteral("availability"), disponible);
        config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
        config.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
        config.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
        configs.append({QStringLiteral("homeassistant/%1/%2/%3/config")
                            .arg(QLatin1String(componente), nodo, objeto),
                        config});
    };
    const QJsonObject temperatura{{QStringLiteral("unit_of_measurement"), QStringLiteral("°C")},
                                  {QStringLiteral("device_class"), QStringLiteral("temperature")},
                                  {QStringLiteral("state_class"), QStringLiteral("measurement")}};
    for (int k = 0; k < 4; ++k) {
        agrega("sensor", QStringLiteral("pt%1").arg(k + 1), QStringLiteral("Pt%1").arg(k + 1),
               QStringLiteral("{{ value_json.temperatures[%1] }}").arg(k), temperatura);
        agrega("sensor", QStringLiteral("pt%1_max").arg(k + 1),
               QStringLiteral("Pt%1 maximum").arg(k + 1), Plantilla_Maximo(k), temperatura);
    }
    for (const auto &ind : Mapa_Indicadores) {
        QJsonObject lampara{{QStringLiteral("payload_on"), QStringLiteral("ON")},
                            {QStringLiteral("payload_off"), QStringLiteral("OFF")}};
        const QString nombre = QLatin1String(ind.nombre);
        // The alarm, the trip and a probe fault are what a plant's panel flags.
        if (nombre == QLatin1String("L1") || nombre == QLatin1String("L2") ||
            nombre == QLatin1String("Fault"))
            lampara.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        agrega("binary_sensor", QStringLiteral("lamp_") + nombre.toLower(),
               nombre + QStringLiteral(" lamp"), Plantilla_Lampara(ind.nombre), lampara);
    }
    return configs;
}
