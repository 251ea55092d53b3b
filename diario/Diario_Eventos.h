#pragma once
// The event journal: one SQLite file (Qt SQL) that the desktop program and any
// number of kv73ctl processes write at once (WAL mode), one row an event, read
// back by time, relay and kind. A journal that cannot be opened or written is
// said once, through the failure handler, and the program goes on with its job.

#include "diario/Evento.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

struct Filtro_Eventos {
    std::optional<QDateTime> desde; // from (inclusive)
    std::optional<QDateTime> hasta; // to (inclusive)
    QList<int> direcciones;         // empty: every relay
    QStringList tipos;              // empty: every kind
    qint64 despues_de_id = 0;       // only rows written after this one (a live view)
    int limite = 0;                 // 0: all; else the newest `limite` rows
};

class Diario_Eventos {
  public:
    // KV73_EVENTS, else $XDG_DATA_HOME/KV-73/events.sqlite, else
    // ~/.local/share/KV-73/events.sqlite.
    static QString Ruta_Predeterminada();

    // Nothing is opened until the first write or read.
    explicit Diario_Eventos(const QString &ruta = Ruta_Predeterminada());
    ~Diario_Eventos();
    Diario_Eventos(const Diario_Eventos &) = delete;
    Diario_Eventos &operator=(const Diario_Eventos &) = delete;

    // Writes one event (its `id` filled in, and its time when it had none) and
    // hands it to the observers. False when the journal cannot be opened or
    // written: the reason goes to the failure handler the first time only.
    bool Anota(Evento &evento);

    // The events the filter takes, oldest first; nothing, with the reason in
    // `error`, when the journal cannot be read.
    std::optional<QList<Evento>> Consulta(const Filtro_Eventos &filtro, QString *error = nullptr);

    // Said once: "the event journal FILE cannot be written: reason".
    void Al_Fallar(std::function<void(const QString &)> manejador);
    // Every event this object writes, as it is written (the Events window, the
    // MQTT agent).
    void Al_Anotar(std::function<void(const Evento &)> observador);

    QString Ruta() const;

  private:
    struct Datos;
    Datos *d;
    static std::optional<QList<Evento>> Fallo_Lectura(Datos *d, const QString &motivo,
                                                      QString *error);
};
