#include "diario/Esquema_Diario.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>

namespace {

// How long a write waits for another program's to end before it fails.
constexpr int Espera_Ocupada_ms = 2000;

// What SQLite said, without Qt's "Unable to execute statement" around it.
QString Motivo(const QSqlError &error) {
    const QString texto = error.databaseText().trimmed();
    return texto.isEmpty() ? error.text().trimmed() : texto;
}

bool Ejecuta(QSqlDatabase &base, const QString &orden, QString &error, QVariant *valor = nullptr,
             bool *ocupada = nullptr) {
    QSqlQuery consulta(base);
    if (!consulta.exec(orden)) {
        error = Motivo(consulta.lastError());
        // SQLITE_BUSY and SQLITE_LOCKED, with or without their extended codes.
        const int codigo = consulta.lastError().nativeErrorCode().toInt() & 0xFF;
        if (ocupada)
            *ocupada = codigo == 5 || codigo == 6;
        return false;
    }
    if (valor && consulta.next())
        *valor = consulta.value(0);
    return true;
}

// The folder is made on first use; a folder that cannot be made or written is
// said as such, which SQLite's "unable to open database file" does not say.
bool Prepara_Carpeta(const QString &ruta, bool crear, QString &error) {
    const QFileInfo archivo(ruta);
    if (archivo.exists()) {
        if (archivo.isDir()) {
            error = QStringLiteral("it is a folder");
            return false;
        }
        return true;
    }
    if (!crear) {
        error = QStringLiteral("no such file");
        return false;
    }
    const QString carpeta = archivo.absolutePath();
    if (!QDir().mkpath(carpeta)) {
        error =
            QStringLiteral("the folder %1 cannot be made").arg(QDir::toNativeSeparators(carpeta));
        return false;
    }
    if (!QFileInfo(carpeta).isWritable()) {
        error = QStringLiteral("the folder %1 is read-only").arg(QDir::toNativeSeparators(carpeta));
        return false;
    }
    return true;
}

const QStringList Esquema = {
    QStringLiteral("CREATE TABLE IF NOT EXISTS events ("
                   "id INTEGER PRIMARY KEY, time TEXT NOT NULL, ms INTEGER NOT NULL, "
                   "device TEXT NOT NULL, address INTEGER NOT NULL, kind TEXT NOT NULL, "
                   "what TEXT NOT NULL, value TEXT NOT NULL, before TEXT NOT NULL, "
                   "after TEXT NOT NULL, source TEXT NOT NULL)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS events_ms ON events(ms)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS events_address_ms ON events(address, ms)"),
};

// The table and its version, in one transaction that waits for any other
// program making them at the same moment.
bool Prepara_Esquema(QSqlDatabase &base, QString &error) {
    if (!Ejecuta(base, QStringLiteral("BEGIN IMMEDIATE"), error))
        return false;
    QVariant version;
    bool bien = Ejecuta(base, QStringLiteral("PRAGMA user_version"), error, &version);
    if (bien && version.toInt() > Version_Diario) {
        error = QStringLiteral("it was written by a newer kv73 (journal version %1, this program "
                               "knows %2)")
                    .arg(version.toInt())
                    .arg(Version_Diario);
        bien = false;
    } else if (bien && version.toInt() < Version_Diario) {
        for (const QString &orden : Esquema)
            bien = bien && Ejecuta(base, orden, error);
        bien = bien &&
               Ejecuta(base, QStringLiteral("PRAGMA user_version = %1").arg(Version_Diario), error);
    }
    QString sin_uso;
    if (!bien || !Ejecuta(base, QStringLiteral("COMMIT"), error)) {
        Ejecuta(base, QStringLiteral("ROLLBACK"), sin_uso);
        return false;
    }
    return true;
}

// WAL mode, once for the file. Switching a new file to it needs the file to
// itself, and SQLite answers "database is locked" at once, without waiting,
// while another program is making the same file: that is waited for here.
bool Pon_Wal(QSqlDatabase &base, QString &error) {
    QElapsedTimer reloj;
    reloj.start();
    for (;;) {
        QVariant modo;
        bool ocupada = false;
        if (Ejecuta(base, QStringLiteral("PRAGMA journal_mode=WAL"), error, &modo, &ocupada)) {
            if (modo.toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
                return true;
            error = QStringLiteral("it cannot be put in WAL mode (%1)").arg(modo.toString());
            return false;
        }
        if (!ocupada || reloj.elapsed() > Espera_Ocupada_ms)
            return false;
        QThread::msleep(5);
    }
}

} // namespace

bool Abre_Diario(QSqlDatabase &base, const QString &ruta, bool crear, QString &error) {
    if (!Prepara_Carpeta(ruta, crear, error))
        return false;
    base.setDatabaseName(ruta);
    // Another program's insert holds the file for a moment: wait for it rather
    // than lose the row.
    base.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(Espera_Ocupada_ms));
    if (!base.open()) {
        error = Motivo(base.lastError());
        return false;
    }
    // WAL lets readers and writers of several programs work at once; NORMAL
    // syncs at checkpoints only, which WAL keeps safe against a crash.
    const bool bien = Pon_Wal(base, error) &&
                      Ejecuta(base, QStringLiteral("PRAGMA synchronous=NORMAL"), error) &&
                      Prepara_Esquema(base, error);
    if (!bien)
        base.close();
    return bien;
}
