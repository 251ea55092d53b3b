#include "diario/Diario_Eventos.h"

#include "diario/Esquema_Diario.h"
#include "registro/Fila_Registro.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace {

QString Nombre_Conexion() {
    static QAtomicInteger<quint64> cuenta = 0;
    return QStringLiteral("kv73diario-%1").arg(cuenta.fetchAndAddRelaxed(1));
}

QString Motivo(const QSqlError &error) {
    const QString texto = error.databaseText().trimmed();
    return texto.isEmpty() ? error.text().trimmed() : texto;
}

const QString Insercion = QStringLiteral(
    "INSERT INTO events (time, ms, device, address, kind, what, value, before, after, source) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

// The columns take no NULL: a string never set is stored empty.
QString Texto(const QString &texto) {
    return texto.isNull() ? QStringLiteral("") : texto;
}

} // namespace

struct Diario_Eventos::Datos {
    QString ruta;
    QString conexion;
    QSqlDatabase base;
    bool abierta = false;
    bool fallo_dicho = false;
    std::function<void(const QString &)> al_fallar;
    QList<std::function<void(const Evento &)>> observadores;

    bool Abre(bool crear, QString &error) {
        if (abierta)
            return true;
        abierta = Abre_Diario(base, ruta, crear, error);
        return abierta;
    }
    void Cierra() {
        base.close();
        abierta = false;
    }
    // Only the first failure is said: a journal that fails and comes back
    // (a disk that fills and empties) would otherwise say it at every poll.
    void Falla(const QString &motivo) {
        Cierra();
        if (fallo_dicho)
            return;
        fallo_dicho = true;
        if (al_fallar)
            al_fallar(QStringLiteral("the event journal %1 cannot be written: %2")
                          .arg(QDir::toNativeSeparators(ruta), motivo));
    }
};

QString Diario_Eventos::Ruta_Predeterminada() {
    const QString elegida = qEnvironmentVariable("KV73_EVENTS");
    if (!elegida.isEmpty())
        return elegida;
    QString datos = qEnvironmentVariable("XDG_DATA_HOME");
    if (datos.isEmpty() || QDir::isRelativePath(datos))
        datos = QDir::homePath() + QStringLiteral("/.local/share");
    return datos + QStringLiteral("/KV-73/events.sqlite");
}

Diario_Eventos::Diario_Eventos(const QString &ruta) : d(new Datos) {
    d->ruta = ruta;
    d->conexion = Nombre_Conexion();
    d->base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d->conexion);
}

Diario_Eventos::~Diario_Eventos() {
    d->Cierra();
    d->base = QSqlDatabase();
    QSqlDatabase::removeDatabase(d->conexion);
    delete d;
}

bool Diario_Eventos::Anota(Evento &evento) {
    QString error;
    if (!d->Abre(true, error)) {
        d->Falla(error);
        return false;
    }
    // An event nobody timed happened now.
    if (!evento.hora.isValid())
        evento.hora = QDateTime::currentDateTime();
    QSqlQuery consulta(d->base);
    consulta.prepare(Insercion);
    consulta.addBindValue(Hora_Iso(evento.hora));
    consulta.addBindValue(evento.hora.toMSecsSinceEpoch());
    consulta.addBindValue(Texto(evento.dispositivo));
    consulta.addBindValue(evento.direccion);
    for (const QString *texto :
         {&evento.tipo, &evento.que, &evento.valor, &evento.antes, &evento.despues, &evento.fuente})
        consulta.addBindValue(Texto(*texto));
    if (!consulta.exec()) {
        d->Falla(Motivo(consulta.lastError()));
        return false;
    }
    evento.id = consulta.lastInsertId().toLongLong();
    for (const auto &observador : d->observadores)
        observador(evento);
    return true;
}

void Diario_Eventos::Al_Fallar(std::function<void(const QString &)> manejador) {
    d->al_fallar = std::move(manejador);
}

void Diario_Eventos::Al_Anotar(std::function<void(const Evento &)> observador) {
    d->observadores.append(std::move(observador));
}

QString Diario_Eventos::Ruta() const {
    return d->ruta;
}

namespace {

// The WHERE clause of a filter, its values in `valores` in order.
QString Condiciones(const Filtro_Eventos &filtro, QVariantList &valores) {
    QStringList condiciones;
    if (filtro.desde) {
        condiciones << QStringLiteral("ms >= ?");
        valores << filtro.desde->toMSecsSinceEpoch();
    }
    if (filtro.hasta) {
        condiciones << QStringLiteral("ms <= ?");
        valores << filtro.hasta->toMSecsSinceEpoch();
    }
    if (filtro.despues_de_id > 0) {
        condiciones << QStringLiteral("id > ?");
        valores << filtro.despues_de_id;
    }
    const auto lista = [&](const QString &columna, const QVariantList &elegidos) {
        if (elegidos.isEmpty())
            return;
        QStringList marcas(elegidos.size(), QStringLiteral("?"));
        condiciones << QStringLiteral("%1 IN (%2)").arg(columna, marcas.join(QLatin1Char(',')));
        valores << elegidos;
    };
    QVariantList direcciones, tipos;
    for (int direccion : filtro.direcciones)
        direcciones << direccion;
    for (const QString &tipo : filtro.tipos)
        tipos << tipo;
    lista(QStringLiteral("address"), direcciones);
    lista(QStringLiteral("kind"), tipos);
    return condiciones.isEmpty()
               ? QString()
               : QStringLiteral(" WHERE ") + condiciones.join(QStringLiteral(" AND "));
}

Evento Evento_De(const QSqlQuery &fila) {
    Evento evento;
    evento.id = fila.value(0).toLongLong();
    // The time as the writer saw it, offset included; the milliseconds if
    // the text was ever unreadable.
    evento.hora = QDateTime::fromString(fila.value(1).toString(), Qt::ISODateWithMs);
    if (!evento.hora.isValid())
        evento.hora = QDateTime::fromMSecsSinceEpoch(fila.value(2).toLongLong());
    evento.dispositivo = fila.value(3).toString();
    evento.direccion = fila.value(4).toInt();
    evento.tipo = fila.value(5).toString();
    evento.que = fila.value(6).toString();
    evento.valor = fila.value(7).toString();
    evento.antes = fila.value(8).toString();
    evento.despues = fila.value(9).toString();
    evento.fuente = fila.value(10).toString();
    return evento;
}

} // namespace

std::optional<QList<Evento>> Diario_Eventos::Fallo_Lectura(Datos *d, const QString &motivo,
                                                           QString *error) {
    d->Cierra();
    if (error)
        *error = QStringLiteral("the event journal %1 cannot be read: %2")
                     .arg(QDir::toNativeSeparators(d->ruta), motivo);
    return std::nullopt;
}

std::optional<QList<Evento>> Diario_Eventos::Consulta(const Filtro_Eventos &filtro,
                                                      QString *error) {
    // A journal nobody has written yet holds no events; reading does not make it.
    if (!d->abierta && !QFileInfo::exists(d->ruta))
        return QList<Evento>{};
    QVariantList valores;
    QString orden = QStringLiteral("SELECT id, time, ms, device, address, kind, what, value, "
                                   "before, after, source FROM events") +
                    Condiciones(filtro, valores);
    orden += filtro.limite > 0
                 ? QStringLiteral(" ORDER BY ms DESC, id DESC LIMIT %1").arg(filtro.limite)
                 : QStringLiteral(" ORDER BY ms, id");
    QString motivo;
    if (!d->Abre(false, motivo))
        return Fallo_Lectura(d, motivo, error);
    QSqlQuery consulta(d->base);
    consulta.setForwardOnly(true);
    bool bien = consulta.prepare(orden);
    for (const QVariant &valor : valores)
        consulta.addBindValue(valor);
    if (!bien || !consulta.exec())
        return Fallo_Lectura(d, Motivo(consulta.lastError()), error);
    QList<Evento> eventos;
    while (consulta.next())
        eventos.append(Evento_De(consulta));
    if (filtro.limite > 0)
        std::reverse(eventos.begin(), eventos.end());
    return eventos;
}
