#pragma once
// The operator is told when an alarm or trip lamp lights on any relay the
// program watches (L1, L2 or Fault going from off to on or blinking): a
// desktop notification through the session's notification service, or, where
// none runs, a line on the page's status bar. Each lamp event is one change,
// so each lighting is said once, never at every poll.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

struct Evento;
class QStatusBar;

class Notificaciones : public QObject {
    Q_OBJECT
  public:
    // `barra`: where the program says it when no notification service runs.
    Notificaciones(QStatusBar &barra, QObject *padre);

    // An event the journal took: said when it is one of the lamps that light.
    void Al_Anotar(const Evento &evento);

    // What the notification says of an event, or nothing when it says nothing:
    // "Relay 5 on /dev/ttyUSB0: L2 on".
    static QString Texto(const Evento &evento);

    // Whether a notification service answers on the session bus: looked up at
    // a lamp until one is found (the desktop may start its service after the
    // program), then taken as there.
    bool Hay_Servicio();
    // Another bus than the session's (a test's own).
    void Usa_Bus(const QDBusConnection &bus);
    // How many notifications went out, by either way (for the tests).
    int Enviadas() const { return enviadas_; }

  private:
    bool Envia_Escritorio(const QString &texto);

    QDBusConnection Bus() const;

    QStatusBar &barra_;
    std::optional<QDBusConnection> bus_;
    int enviadas_ = 0;
    bool servicio_ = false; // found on the bus
};
