#include "registro/Fila_Registro.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"

#include <QStringList>

QString Texto_Estado(Estado_Sondeo estado) {
    switch (estado) {
    case Estado_Sondeo::Ok:
        return QStringLiteral("ok");
    case Estado_Sondeo::Mala:
        return QStringLiteral("bad reply");
    case Estado_Sondeo::Sin_Respuesta:
        break;
    }
    return QStringLiteral("no reply");
}

const char *Nombre_Luz(Luz luz) {
    switch (luz) {
    case Luz::Apagada:
        return "off";
    case Luz::Encendida:
        return "on";
    case Luz::Parpadeo:
        return "blink";
    }
    return "off";
}

std::optional<Estado_Sondeo> Estado_Del_Sondeo(Resultado resultado) {
    switch (resultado) {
    case Resultado::Buena:
        return Estado_Sondeo::Ok;
    case Resultado::Mala:
    case Resultado::Excepcion:
        return Estado_Sondeo::Mala;
    case Resultado::Sin_Respuesta:
        return Estado_Sondeo::Sin_Respuesta;
    case Resultado::Omitida:
        // The port was found closed with the link down: the poll failed.
        if (!Estado.Comunicacion_OK)
            return Estado_Sondeo::Sin_Respuesta;
        break;
    case Resultado::Cancelada:
        break;
    }
    return std::nullopt;
}

Fila_Registro Fila_Del_Sondeo(Estado_Sondeo estado, const QDateTime &hora) {
    Fila_Registro fila;
    fila.hora = hora;
    fila.estado = estado;
    if (estado != Estado_Sondeo::Ok)
        return fila;
    const Lectura_Actual v = Lee_Lectura_Actual();
    fila.temperaturas = v.temperaturas;
    fila.maximos = v.maximos;
    fila.luces = Luces_De(v);
    return fila;
}

std::array<Luz, Cantidad_Lamparas> Luces_De(const Lectura_Actual &lectura) {
    std::array<Luz, Cantidad_Lamparas> luces{};
    for (std::size_t i = 0; i < Cantidad_Lamparas; ++i)
        luces[i] = Luz_Indicador(Mapa_Indicadores[i], lectura.encendidos, lectura.parpadeos);
    return luces;
}

QString Hora_Iso(const QDateTime &hora) {
    const int desfase = hora.offsetFromUtc() / 60;
    const int absoluto = desfase < 0 ? -desfase : desfase;
    return hora.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           (desfase < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(absoluto / 60, 2, 10, QLatin1Char('0'))
               .arg(absoluto % 60, 2, 10, QLatin1Char('0'));
}

QString Campo_Csv(const QString &campo) {
    if (!campo.contains(QLatin1Char(',')) && !campo.contains(QLatin1Char('"')) &&
        !campo.contains(QLatin1Char('\n')) && !campo.contains(QLatin1Char('\r')))
        return campo;
    QString doble = campo;
    doble.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doble + QLatin1Char('"');
}

QString Cabecera_Csv(bool con_direccion) {
    QStringList columnas{QStringLiteral("time")};
    if (con_direccion)
        columnas << QStringLiteral("address");
    for (int k = 1; k <= 4; ++k)
        columnas << QStringLiteral("Pt%1").arg(k);
    for (int k = 1; k <= 4; ++k)
        columnas << QStringLiteral("Pt%1_max").arg(k);
    for (const Indicador &ind : Mapa_Indicadores)
        columnas << QLatin1String(ind.nombre) + QStringLiteral("_lamp");
    columnas << QStringLiteral("status");
    return columnas.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

QString Linea_Csv(const Fila_Registro &fila) {
    QStringList campos{Hora_Iso(fila.hora)};
    if (fila.direccion)
        campos << QString::number(*fila.direccion);
    const bool con_valores = fila.estado == Estado_Sondeo::Ok;
    for (const QString &t : fila.temperaturas)
        campos << (con_valores ? Campo_Csv(t) : QString());
    for (int m : fila.maximos)
        campos << (con_valores ? QString::number(m) : QString());
    for (Luz luz : fila.luces)
        campos << (con_valores ? QLatin1String(Nombre_Luz(luz)) : QString());
    campos << Campo_Csv(Texto_Estado(fila.estado));
    return campos.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}
