// The Events window's table: the journal's rows, newest first.

#include "formularios/Ventana_Eventos.h"

#include "registro/Fila_Registro.h"

#include <QSet>
#include <algorithm>

QStringList Modelo_Eventos::Columnas() {
    return {QStringLiteral("time"),   QStringLiteral("device"), QStringLiteral("address"),
            QStringLiteral("kind"),   QStringLiteral("what"),   QStringLiteral("value"),
            QStringLiteral("before"), QStringLiteral("after"),  QStringLiteral("source")};
}

QStringList Modelo_Eventos::Campos(const Evento &e) {
    return {Hora_Iso(e.hora), e.dispositivo, QString::number(e.direccion),
            e.tipo,           e.que,         e.valor,
            e.antes,          e.despues,     e.fuente};
}

int Modelo_Eventos::rowCount(const QModelIndex &padre) const {
    return padre.isValid() ? 0 : static_cast<int>(filas_.size());
}

int Modelo_Eventos::columnCount(const QModelIndex &padre) const {
    return padre.isValid() ? 0 : static_cast<int>(Columnas().size());
}

QVariant Modelo_Eventos::data(const QModelIndex &indice, int rol) const {
    if (!indice.isValid() || indice.row() >= filas_.size())
        return {};
    const Evento &e = filas_.at(indice.row());
    if (rol == Qt::DisplayRole) {
        // The table reads the time without its offset and milliseconds; the
        // tooltip and the CSV carry them.
        if (indice.column() == 0)
            return e.hora.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QString campo = Campos(e).value(indice.column());
        // A lamp's state before and after reads as a word, not as JSON text.
        if (campo.size() >= 2 && campo.startsWith(QLatin1Char('"')) &&
            campo.endsWith(QLatin1Char('"')))
            campo = campo.mid(1, campo.size() - 2);
        return campo;
    }
    if (rol == Qt::ToolTipRole)
        return Campos(e).value(indice.column());
    if (rol == Qt::TextAlignmentRole && indice.column() == 2)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant Modelo_Eventos::headerData(int seccion, Qt::Orientation orientacion, int rol) const {
    if (orientacion != Qt::Horizontal || rol != Qt::DisplayRole)
        return QAbstractTableModel::headerData(seccion, orientacion, rol);
    QString nombre = Columnas().value(seccion);
    if (!nombre.isEmpty())
        nombre[0] = nombre[0].toUpper();
    return nombre;
}

void Modelo_Eventos::Pon(QList<Evento> eventos) {
    beginResetModel();
    filas_ = std::move(eventos);
    Ordena_Y_Limita();
    endResetModel();
}

void Modelo_Eventos::Agrega(const QList<Evento> &eventos) {
    if (eventos.isEmpty())
        return;
    QSet<qint64> vistos;
    for (const Evento &e : filas_)
        if (e.id != 0)
            vistos.insert(e.id);
    QList<Evento> nuevos;
    for (const Evento &e : eventos)
        if (e.id == 0 || !vistos.contains(e.id))
            nuevos.append(e);
    if (nuevos.isEmpty())
        return;
    beginResetModel();
    filas_.append(nuevos);
    Ordena_Y_Limita();
    endResetModel();
}

void Modelo_Eventos::Recorta(const QDateTime &desde) {
    // Newest first: the old rows are the last ones.
    qsizetype quedan = filas_.size();
    while (quedan > 0 && filas_.at(quedan - 1).hora < desde)
        --quedan;
    if (quedan == filas_.size())
        return;
    beginRemoveRows({}, static_cast<int>(quedan), static_cast<int>(filas_.size() - 1));
    filas_.resize(quedan);
    endRemoveRows();
}

void Modelo_Eventos::Ordena_Y_Limita() {
    // By time, then by the order the journal took them (two events of one
    // poll share its time).
    std::stable_sort(filas_.begin(), filas_.end(), [](const Evento &a, const Evento &b) {
        if (a.hora != b.hora)
            return a.hora > b.hora;
        return a.id > b.id;
    });
    if (filas_.size() > Maximo_Filas)
        filas_.resize(Maximo_Filas);
}
