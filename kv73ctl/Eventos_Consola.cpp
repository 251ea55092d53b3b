#include "kv73ctl/Eventos_Consola.h"

#include "diario/Diario_Eventos.h"
#include "kv73ctl/Salida.h"
#include "registro/Fila_Registro.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace {

const QStringList Tipos = {QStringLiteral("lamp"), QStringLiteral("link"),
                           QStringLiteral("setpoints"), QStringLiteral("reset-max")};

// "90m": that long before `ahora`; at most 100 years back.
std::optional<QDateTime> Hace(const QString &texto, const QDateTime &ahora) {
    static const QRegularExpression forma(QStringLiteral("^(\\d{1,9})([smhd])$"));
    const QRegularExpressionMatch partes = forma.match(texto);
    if (!partes.hasMatch())
        return std::nullopt;
    const qint64 cantidad = partes.captured(1).toLongLong();
    const char unidad = partes.captured(2).at(0).toLatin1();
    const qint64 segundos = cantidad * (unidad == 'd'   ? 86400
                                        : unidad == 'h' ? 3600
                                        : unidad == 'm' ? 60
                                                        : 1);
    if (segundos > 100LL * 366 * 86400)
        return std::nullopt;
    return ahora.addSecs(-segundos);
}

// `texto` as JSON, when it is JSON: "\"off\"" is the string off, "[1,2]" an array.
QJsonValue Valor_Json(const QString &texto) {
    if (texto.isEmpty())
        return QJsonValue::Null;
    QJsonParseError error{};
    const QJsonDocument documento = QJsonDocument::fromJson('[' + texto.toUtf8() + ']', &error);
    if (error.error != QJsonParseError::NoError || documento.array().size() != 1)
        return texto;
    return documento.array().first();
}

QJsonValue Texto_O_Nulo(const QString &texto) {
    return texto.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(texto);
}

// A string as JSON writes it.
void Cadena_Json(QString &linea, const QString &texto) {
    linea += QLatin1Char('"');
    for (const QChar c : texto) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            linea += QLatin1Char('\\');
        if (c.unicode() < 0x20)
            linea += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            linea += c;
    }
    linea += QLatin1Char('"');
}

// What the journal writes in before and after: a word in quotes, or an
// array of whole numbers. Those go out as they are; anything else is read
// as JSON first.
bool Json_Sencillo(const QString &texto) {
    const qsizetype n = texto.size();
    if (n >= 2 && texto.front() == QLatin1Char('"') && texto.back() == QLatin1Char('"'))
        return std::all_of(texto.begin() + 1, texto.end() - 1,
                           [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char(' '); });
    if (n >= 2 && texto.front() == QLatin1Char('[') && texto.back() == QLatin1Char(']')) {
        const QStringView dentro = QStringView(texto).mid(1, n - 2);
        for (const QStringView numero : dentro.split(QLatin1Char(',')))
            if (numero.isEmpty() || !std::all_of(numero.begin(), numero.end(), [](QChar c) {
                    return c.isDigit() || c == QLatin1Char('-');
                }))
                return n == 2;
        return true;
    }
    return false;
}

void Valor_En_Linea(QString &linea, const QString &texto) {
    if (texto.isEmpty())
        linea += QLatin1String("null");
    else if (Json_Sencillo(texto))
        linea += texto;
    else
        linea += QString::fromUtf8(QJsonDocument(QJsonArray{Valor_Json(texto)})
                                       .toJson(QJsonDocument::Compact)
                                       .chopped(1)
                                       .mid(1));
}

} // namespace

QString Linea_Json_Evento(const Evento &evento) {
    QString linea;
    linea.reserve(256);
    const auto texto = [&](const char *clave, const QString &valor, bool nulo_si_vacio) {
        linea += QLatin1String(clave);
        if (nulo_si_vacio && valor.isEmpty())
            linea += QLatin1String("null");
        else
            Cadena_Json(linea, valor);
    };
    texto("{\"time\":", Hora_Iso(evento.hora), false);
    texto(",\"device\":", evento.dispositivo, false);
    linea += QStringLiteral(",\"address\":%1").arg(evento.direccion);
    texto(",\"kind\":", evento.tipo, false);
    texto(",\"what\":", evento.que, false);
    texto(",\"value\":", evento.valor, true);
    linea += QLatin1String(",\"before\":");
    Valor_En_Linea(linea, evento.antes);
    linea += QLatin1String(",\"after\":");
    Valor_En_Linea(linea, evento.despues);
    texto(",\"source\":", evento.fuente, true);
    return linea + QLatin1Char('}');
}

std::optional<QDateTime> Lee_Cuando(const QString &texto, bool hasta, const QDateTime &ahora) {
    const QString limpio = texto.trimmed();
    if (const auto atras = Hace(limpio, ahora))
        return atras;
    // QDate takes the date at the front of a whole time too: only a date alone here.
    const QDate dia = limpio.size() == 10 ? QDate::fromString(limpio, Qt::ISODate) : QDate();
    if (dia.isValid())
        return hasta ? dia.startOfDay().addDays(1).addMSecs(-1) : dia.startOfDay();
    const QDateTime hora = QDateTime::fromString(limpio, Qt::ISODateWithMs);
    if (hora.isValid() && limpio.contains(QLatin1Char('T')))
        return hora;
    return std::nullopt;
}

std::optional<QString> Revisa_Eventos(const Opciones &op) {
    const QString forma = QStringLiteral(
        "give an ISO 8601 time (2024-05-01T14:00, 2024-05-01T14:00:00+02:00), a date "
        "(2024-05-01) or a time back from now (90m, 24h, 7d, 30s)");
    const QDateTime ahora = QDateTime::currentDateTime();
    std::optional<QDateTime> desde, hasta;
    if (!op.desde.isNull() && !(desde = Lee_Cuando(op.desde, false, ahora)))
        return QStringLiteral("--since %1: %2").arg(op.desde, forma);
    if (!op.hasta.isNull() && !(hasta = Lee_Cuando(op.hasta, true, ahora)))
        return QStringLiteral("--until %1: %2").arg(op.hasta, forma);
    if (desde && hasta && *desde > *hasta)
        return QStringLiteral("--since %1 is after --until %2").arg(op.desde, op.hasta);
    for (const QString &tipo : op.tipos)
        if (!Tipos.contains(tipo))
            return QStringLiteral("--kind %1: give lamp, link, setpoints or reset-max, or several "
                                  "joined by commas")
                .arg(op.tipos.join(QLatin1Char(',')));
    return std::nullopt;
}

// Before or after as a reader takes it: a lamp's "off" bare, the registers as
// they are, "-" for nothing.
static QString Texto_Legible(const QString &texto) {
    if (texto.isEmpty())
        return QStringLiteral("-");
    const QJsonValue valor = Valor_Json(texto);
    return valor.isString() ? valor.toString() : texto;
}

QString Texto_Evento(const Evento &evento) {
    QStringList partes{Hora_Iso(evento.hora), evento.dispositivo,
                       QStringLiteral("address %1").arg(evento.direccion), evento.tipo, evento.que};
    if (!evento.valor.isEmpty())
        partes << evento.valor;
    if (!evento.antes.isEmpty() || !evento.despues.isEmpty())
        partes << QStringLiteral("%1 -> %2")
                      .arg(Texto_Legible(evento.antes), Texto_Legible(evento.despues));
    if (!evento.fuente.isEmpty())
        partes << QStringLiteral("(%1)").arg(evento.fuente);
    return partes.join(QStringLiteral("  "));
}

QJsonObject Json_Evento(const Evento &evento) {
    return {{QStringLiteral("time"), Hora_Iso(evento.hora)},
            {QStringLiteral("device"), evento.dispositivo},
            {QStringLiteral("address"), evento.direccion},
            {QStringLiteral("kind"), evento.tipo},
            {QStringLiteral("what"), evento.que},
            {QStringLiteral("value"), Texto_O_Nulo(evento.valor)},
            {QStringLiteral("before"), Valor_Json(evento.antes)},
            {QStringLiteral("after"), Valor_Json(evento.despues)},
            {QStringLiteral("source"), Texto_O_Nulo(evento.fuente)}};
}

int Comando_Events(const Opciones &op, Enlace_Rele &) {
    const QDateTime ahora = QDateTime::currentDateTime();
    Filtro_Eventos filtro;
    if (!op.desde.isNull())
        filtro.desde = Lee_Cuando(op.desde, false, ahora);
    if (!op.hasta.isNull())
        filtro.hasta = Lee_Cuando(op.hasta, true, ahora);
    if (op.direccion_dada)
        filtro.direcciones = op.direcciones;
    filtro.tipos = op.tipos;
    Diario_Eventos diario;
    QString error;
    const auto eventos = diario.Consulta(filtro, &error);
    if (!eventos) {
        std::fprintf(stderr, "kv73ctl: %s\n", qPrintable(error));
        return 4;
    }
    // Written in blocks rather than a flush a line: a month of events is
    // tens of thousands of lines.
    QByteArray bloque;
    for (const Evento &evento : *eventos) {
        bloque += (op.json ? Linea_Json_Evento(evento) : Texto_Evento(evento)).toUtf8() + '\n';
        if (bloque.size() > 65536) {
            std::fwrite(bloque.constData(), 1, static_cast<std::size_t>(bloque.size()), stdout);
            bloque.clear();
        }
    }
    std::fwrite(bloque.constData(), 1, static_cast<std::size_t>(bloque.size()), stdout);
    std::fflush(stdout);
    return 0;
}
