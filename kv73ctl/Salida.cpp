#include "kv73ctl/Salida.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "datos/Rangos_Setpoints.h"

#include "registro/Fila_Registro.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

namespace {

struct Setpoint {
    const char *clave;
    const char *texto;
};
const Setpoint Setpoints_Temperatura[] = {
    {"L1", "L1 alarm temperature"},
    {"L2", "L2 trip temperature"},
    {"low_fan", "Low Fan, stop-fan temperature"},
    {"high_fan", "High Fan, start-fan temperature"},
};

struct Opcion {
    const char *clave;
    const char *texto;
    const char *valores[2];
};
// Bits 0..3 of register 0x0104.
const Opcion Opciones_0104[] = {
    {"rtd_quantity", "RTD quantity", {"3", "4"}},
    {"fan_presence", "Fan presence", {"No", "Yes"}},
    {"fan_command_probes", "Probe quantity for fan command", {"3", "4"}},
    {"weekly_fan_activation", "Weekly automatic fan activation", {"No", "Yes"}},
};

QJsonValue Json_Fecha(double fecha) {
    const QDate dia = Dia_Archivo(fecha);
    return dia.isValid() ? QJsonValue(dia.toString(Qt::ISODate)) : QJsonValue();
}

} // namespace

void Imprime(const QString &texto) {
    std::fputs(qPrintable(texto), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Imprime_Json(const QJsonObject &objeto) {
    Imprime(QString::fromUtf8(QJsonDocument(objeto).toJson(QJsonDocument::Compact)));
}

void Imprime_Resultado(bool json, const QStringList &lineas, const QJsonObject &objeto) {
    if (json)
        Imprime_Json(objeto);
    else
        for (const QString &linea : lineas)
            Imprime(linea);
}

QString Hex4(int valor) {
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(valor, 4, 16, QLatin1Char('0')).toUpper();
}

Imagen_Setpoints Lee_Imagen_Setpoints() {
    Imagen_Setpoints s;
    for (int k = 0; k < 6; ++k)
        s.registros[k] = Lee_Word_Setpoint(static_cast<uint8_t>(4 + 2 * k));
    return s;
}

QStringList Texto_Setpoints(const Imagen_Setpoints &s) {
    QStringList lineas;
    for (int k = 0; k < 4; ++k)
        lineas << QStringLiteral("%1 (register 0x%2): %3 °C")
                      .arg(QLatin1String(Setpoints_Temperatura[k].texto))
                      .arg(0x0100 + k, 4, 16, QLatin1Char('0'))
                      .arg(s.registros[k]);
    lineas << QStringLiteral("options (register 0x0104): %1").arg(Hex4(s.registros[4]));
    for (int b = 0; b < 4; ++b)
        lineas << QStringLiteral("  %1: %2")
                      .arg(QLatin1String(Opciones_0104[b].texto),
                           QLatin1String(Opciones_0104[b].valores[(s.registros[4] >> b) & 1]));
    lineas << QStringLiteral("register 0x0105: %1").arg(Hex4(s.registros[5]));
    return lineas;
}

QJsonObject Json_Setpoints(const Imagen_Setpoints &s) {
    QJsonObject o;
    for (int k = 0; k < 4; ++k)
        o.insert(QLatin1String(Setpoints_Temperatura[k].clave), s.registros[k]);
    o.insert(QStringLiteral("options"), s.registros[4]);
    for (int b = 0; b < 4; ++b) {
        const QString valor = QLatin1String(Opciones_0104[b].valores[(s.registros[4] >> b) & 1]);
        if (valor == QLatin1String("Yes") || valor == QLatin1String("No"))
            o.insert(QLatin1String(Opciones_0104[b].clave), valor == QLatin1String("Yes"));
        else
            o.insert(QLatin1String(Opciones_0104[b].clave), valor.toInt());
    }
    o.insert(QStringLiteral("register_0105"), s.registros[5]);
    return o;
}

QString Texto_Valores(const Lectura_Actual &v) {
    QStringList partes;
    for (int k = 0; k < 4; ++k)
        partes << QStringLiteral("Pt%1 %2 (max %3)")
                      .arg(k + 1)
                      .arg(v.temperaturas[k])
                      .arg(v.maximos[k]);
    QStringList luces;
    for (const auto &ind : Mapa_Indicadores)
        luces << QStringLiteral("%1 %2").arg(
            QLatin1String(ind.nombre),
            QLatin1String(Nombre_Luz(Luz_Indicador(ind, v.encendidos, v.parpadeos))));
    return partes.join(QStringLiteral("  ")) + QStringLiteral(" | ") +
           luces.join(QStringLiteral(", "));
}

QJsonObject Json_Valores(const Lectura_Actual &v) {
    QJsonArray temperaturas, maximos;
    for (int k = 0; k < 4; ++k) {
        temperaturas.append(v.temperaturas[k]);
        maximos.append(v.maximos[k]);
    }
    QJsonObject luces;
    for (const auto &ind : Mapa_Indicadores)
        luces.insert(QLatin1String(ind.nombre),
                     QLatin1String(Nombre_Luz(Luz_Indicador(ind, v.encendidos, v.parpadeos))));
    return {{QStringLiteral("temperatures"), temperaturas},
            {QStringLiteral("maxima"), maximos},
            {QStringLiteral("lamps"), luces}};
}

std::optional<double> Celsius_Sonda(const QString &temperatura) {
    bool numero = false;
    const double c = temperatura.toDouble(&numero);
    if (!numero)
        return std::nullopt;
    return c;
}

QString Fallo_Sonda(const QString &temperatura) {
    if (temperatura == QLatin1String("Fco"))
        return QStringLiteral("open");
    if (temperatura == QLatin1String("Fcc"))
        return QStringLiteral("short");
    return {};
}

QJsonArray Json_Celsius(const Lectura_Actual &v) {
    QJsonArray celsius;
    for (const QString &t : v.temperaturas) {
        const std::optional<double> c = Celsius_Sonda(t);
        celsius.append(c ? QJsonValue(*c) : QJsonValue());
    }
    return celsius;
}

QJsonArray Json_Fallos_Sonda(const Lectura_Actual &v) {
    QJsonArray fallos;
    for (const QString &t : v.temperaturas) {
        const QString fallo = Fallo_Sonda(t);
        fallos.append(fallo.isEmpty() ? QJsonValue() : QJsonValue(fallo));
    }
    return fallos;
}

QStringList Texto_Archivo(const QString &ruta) {
    const auto &r = Estado.Registro_Archivo;
    const QDate dia = Dia_Archivo(r.Fecha);
    QStringList lineas;
    lineas << QStringLiteral("file: ") + ruta << QStringLiteral("tag: ") + r.Etiqueta.trimmed()
           << QStringLiteral("saved: ") +
                  (dia.isValid() ? dia.toString(Qt::ISODate) : QStringLiteral("not a date"))
           << QStringLiteral("relay address in the file: %1").arg(r.Trama[1]);
    // A value the program would refuse to load or send is marked on its own line.
    QStringList setpoints = Texto_Setpoints(Lee_Imagen_Setpoints());
    for (const Setpoint_Fuera_De_Rango &p : Revisa_Setpoints(r.Trama))
        setpoints[p.setpoint] += QStringLiteral("  (out of range: %1)").arg(p.texto);
    lineas << setpoints;
    lineas << QStringLiteral("actual values: ") + Texto_Valores(Lee_Lectura_Actual());
    return lineas;
}

QJsonObject Json_Archivo(const QString &ruta) {
    const auto &r = Estado.Registro_Archivo;
    QJsonArray problemas;
    for (const Setpoint_Fuera_De_Rango &p : Revisa_Setpoints(r.Trama))
        problemas.append(QJsonObject{
            {QStringLiteral("setpoint"), QLatin1String(Setpoints_Temperatura[p.setpoint].clave)},
            {QStringLiteral("value"), p.valor},
            {QStringLiteral("text"), p.texto}});
    return {{QStringLiteral("file"), ruta},
            {QStringLiteral("tag"), r.Etiqueta.trimmed()},
            {QStringLiteral("date"), Json_Fecha(r.Fecha)},
            {QStringLiteral("address"), r.Trama[1]},
            {QStringLiteral("setpoints"), Json_Setpoints(Lee_Imagen_Setpoints())},
            {QStringLiteral("problems"), problemas},
            {QStringLiteral("values"), Json_Valores(Lee_Lectura_Actual())}};
}
