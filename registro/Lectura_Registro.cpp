#include "registro/Lectura_Registro.h"

#include <QStringList>
#include <algorithm>

namespace {

// One CSV line's fields, quotes as RFC 4180 writes them.
QStringList Campos(const QString &linea) {
    QStringList campos;
    QString campo;
    bool entre_comillas = false;
    for (qsizetype i = 0; i < linea.size(); ++i) {
        const QChar c = linea[i];
        if (entre_comillas && c == QLatin1Char('"')) {
            if (i + 1 < linea.size() && linea[i + 1] == QLatin1Char('"'))
                campo += linea[++i];
            else
                entre_comillas = false;
        } else if (c == QLatin1Char('"')) {
            entre_comillas = true;
        } else if (c == QLatin1Char(',') && !entre_comillas) {
            campos << campo;
            campo.clear();
        } else {
            campo += c;
        }
    }
    campos << campo;
    return campos;
}

// A temperature as the page writes it, back into the word the relay sent.
int16_t Palabra(const QString &texto) {
    if (texto == QLatin1String("Fco"))
        return Temperatura_Fco;
    if (texto == QLatin1String("Fcc"))
        return Temperatura_Fcc;
    return static_cast<int16_t>(texto.toInt());
}

Luz Luz_De(const QString &texto) {
    if (texto == QLatin1String("on"))
        return Luz::Encendida;
    if (texto == QLatin1String("blink"))
        return Luz::Parpadeo;
    return Luz::Apagada;
}

Estado_Sondeo Estado_De(const QString &texto) {
    if (texto == QLatin1String("ok"))
        return Estado_Sondeo::Ok;
    if (texto == QLatin1String("bad reply"))
        return Estado_Sondeo::Mala;
    return Estado_Sondeo::Sin_Respuesta;
}

struct Columnas_Registro {
    qsizetype hora = -1, direccion = -1, estado = -1;
    qsizetype sondas[4] = {-1, -1, -1, -1};
    qsizetype lamparas[4] = {-1, -1, -1, -1};
};

} // namespace

std::optional<QString> Lee_Registro(const QByteArray &texto, Registro_Leido &leido) {
    QStringList lineas = QString::fromUtf8(texto).split(QLatin1Char('\n'));
    if (lineas.isEmpty())
        return QStringLiteral("the file is empty");
    const QStringList cabecera = Campos(lineas[0].trimmed());
    Columnas_Registro c;
    c.hora = cabecera.indexOf(QStringLiteral("time"));
    c.direccion = cabecera.indexOf(QStringLiteral("address"));
    c.estado = cabecera.indexOf(QStringLiteral("status"));
    for (int k = 0; k < 4; ++k) {
        c.sondas[k] = cabecera.indexOf(QStringLiteral("Pt%1").arg(k + 1));
        c.lamparas[k] =
            cabecera.indexOf(QLatin1String(Lamparas_Tendencia[k]) + QStringLiteral("_lamp"));
    }
    if (c.hora != 0 || c.estado < 0 || std::count(c.sondas, c.sondas + 4, -1) > 0)
        return QStringLiteral("it is not a value log (no time, Pt1..Pt4 and status columns)");
    const qsizetype ancho = cabecera.size();
    for (qsizetype n = 1; n < lineas.size(); ++n) {
        const QStringList f = Campos(lineas[n].trimmed());
        if (f.size() != ancho)
            continue;
        const QDateTime hora = QDateTime::fromString(f[c.hora], Qt::ISODateWithMs);
        if (!hora.isValid())
            continue;
        Punto_Tendencia p;
        p.ms = hora.toMSecsSinceEpoch();
        p.estado = Estado_De(f[c.estado]);
        if (p.estado == Estado_Sondeo::Ok)
            for (int k = 0; k < 4; ++k) {
                p.palabras[k] = Palabra(f[c.sondas[k]]);
                if (c.lamparas[k] >= 0)
                    Pon_Lampara(p, k, Luz_De(f[c.lamparas[k]]));
            }
        const int direccion = c.direccion >= 0 ? f[c.direccion].toInt() : 0;
        if (std::find(leido.direcciones.begin(), leido.direcciones.end(), direccion) ==
            leido.direcciones.end())
            leido.direcciones.push_back(direccion);
        leido.filas.emplace_back(direccion, p);
    }
    if (leido.filas.empty())
        return QStringLiteral("it holds no rows");
    return std::nullopt;
}

Memoria_Tendencia Memoria_Del_Registro(const Registro_Leido &leido, int direccion) {
    const auto cuantas = static_cast<std::size_t>(
        std::count_if(leido.filas.begin(), leido.filas.end(),
                      [&](const auto &f) { return f.first == direccion; }));
    Memoria_Tendencia memoria(cuantas);
    std::vector<qint64> pasos;
    for (const auto &[d, p] : leido.filas)
        if (d == direccion) {
            if (memoria.Cuantos() > 0)
                pasos.push_back(p.ms - memoria[memoria.Cuantos() - 1].ms);
            memoria.Agrega(p);
        }
    // kv73ctl log polls at the interval it was given: a gap is three polls
    // missed at that pace, the median of the steps, which a night with the
    // relay away does not stretch.
    if (!pasos.empty()) {
        std::nth_element(pasos.begin(), pasos.begin() + static_cast<long>(pasos.size() / 2),
                         pasos.end());
        memoria.Pon_Hueco(std::max(Hueco_ms, 3 * pasos[pasos.size() / 2]));
    }
    return memoria;
}
