#include "kv73ctl/Puertos.h"

#include "enlace/Puerto_Serie.h"
#include "enlace/Puertos_Maquina.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <cstdio>

namespace {

QString Origen(const Dispositivo_Puerto &d, int16_t n) {
    switch (d.origen) {
    case Origen_Dispositivo::Entorno:
        return QStringLiteral("KV73_COM%1").arg(n);
    case Origen_Dispositivo::Asignado:
        return QStringLiteral("assigned");
    case Origen_Dispositivo::Defecto:
        break;
    }
    return QStringLiteral("default");
}

QString Lista_Com(const QList<int16_t> &com) {
    QStringList nombres;
    for (int16_t n : com)
        nombres << QStringLiteral("COM%1").arg(n);
    return nombres.join(QLatin1Char(','));
}

// A network device has no file rights to show.
QString Texto_Acceso(const Puerto_Maquina &p) {
    if (p.red)
        return QStringLiteral("network");
    return p.acceso ? QStringLiteral("yes") : QStringLiteral("no");
}

void Imprime(const QString &linea) {
    std::fputs(linea.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

void Imprime_Json(const std::vector<Puerto_Maquina> &puertos) {
    QJsonArray lista;
    for (const Puerto_Maquina &p : puertos) {
        QJsonArray com;
        for (int16_t n : p.com)
            com.append(n);
        lista.append(QJsonObject{{QStringLiteral("device"), p.dispositivo},
                                 {QStringLiteral("description"), p.descripcion},
                                 {QStringLiteral("manufacturer"), p.fabricante},
                                 {QStringLiteral("serial_number"), p.numero_serie},
                                 {QStringLiteral("access"), p.acceso},
                                 {QStringLiteral("network"), p.red},
                                 {QStringLiteral("com"), com}});
    }
    QJsonArray mapa;
    for (int16_t n = 1; n <= Puertos_Dialogo; ++n) {
        const Dispositivo_Puerto d = Dispositivo_De(n);
        mapa.append(QJsonObject{{QStringLiteral("com"), n},
                                {QStringLiteral("device"), d.dispositivo},
                                {QStringLiteral("source"), Origen(d, n)}});
    }
    const QJsonObject todo{{QStringLiteral("ports"), lista}, {QStringLiteral("mapping"), mapa}};
    Imprime(QString::fromUtf8(QJsonDocument(todo).toJson(QJsonDocument::Compact)));
}

// One line a port, in columns; an empty field shows as "-".
void Imprime_Texto(const std::vector<Puerto_Maquina> &puertos) {
    std::vector<QStringList> filas{{QStringLiteral("DEVICE"), QStringLiteral("DESCRIPTION"),
                                    QStringLiteral("MANUFACTURER"), QStringLiteral("SERIAL"),
                                    QStringLiteral("ACCESS"), QStringLiteral("COM")}};
    const auto o_guion = [](const QString &t) { return t.isEmpty() ? QStringLiteral("-") : t; };
    for (const Puerto_Maquina &p : puertos)
        filas.push_back({p.dispositivo, o_guion(p.descripcion), o_guion(p.fabricante),
                         o_guion(p.numero_serie), Texto_Acceso(p), o_guion(Lista_Com(p.com))});
    std::vector<qsizetype> ancho(filas.front().size(), 0);
    for (const QStringList &f : filas)
        for (qsizetype c = 0; c < f.size(); ++c)
            ancho[static_cast<std::size_t>(c)] =
                std::max(ancho[static_cast<std::size_t>(c)], f[c].size());
    for (const QStringList &f : filas) {
        QString linea;
        for (qsizetype c = 0; c + 1 < f.size(); ++c)
            linea += f[c].leftJustified(ancho[static_cast<std::size_t>(c)] + 2);
        Imprime(linea + f.last());
    }
    Imprime(QString());
    for (int16_t n = 1; n <= Puertos_Dialogo; ++n) {
        const Dispositivo_Puerto d = Dispositivo_De(n);
        Imprime(QStringLiteral("COM%1: %2 (%3)").arg(n).arg(d.dispositivo, Origen(d, n)));
    }
}

} // namespace

int Comando_Ports(bool json) {
    const std::vector<Puerto_Maquina> puertos = Puertos_Maquina();
    if (json)
        Imprime_Json(puertos);
    else
        Imprime_Texto(puertos);
    std::fflush(stdout);
    return 0;
}
