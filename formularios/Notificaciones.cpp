#include "formularios/Notificaciones.h"

#include "diario/Evento.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStatusBar>
#include <QVariantMap>

namespace {

const QString Servicio = QStringLiteral("org.freedesktop.Notifications");
const QString Objeto = QStringLiteral("/org/freedesktop/Notifications");

// The alarm, the trip and the probe fault: what the operator must not miss.
bool Lampara_De_Alarma(const QString &lampara) {
    return lampara == QLatin1String("L1") || lampara == QLatin1String("L2") ||
           lampara == QLatin1String("Fault");
}

// A lamp's state as the journal writes it: the JSON text "\"off\"" or the
// bare word.
QString Sin_Comillas(QString estado) {
    estado = estado.trimmed();
    if (estado.size() >= 2 && estado.startsWith(QLatin1Char('"')) &&
        estado.endsWith(QLatin1Char('"')))
        estado = estado.mid(1, estado.size() - 2);
    return estado;
}

} // namespace

Notificaciones::Notificaciones(QStatusBar &barra, QObject *padre) : QObject(padre), barra_(barra) {
    setObjectName(QStringLiteral("Notificaciones"));
}

QString Notificaciones::Texto(const Evento &evento) {
    if (evento.tipo != QLatin1String("lamp") || !Lampara_De_Alarma(evento.que))
        return {};
    const QString ahora = Sin_Comillas(evento.valor);
    const QString antes = Sin_Comillas(evento.antes);
    // Lit from off; a lamp going from steady to blinking or back is not news.
    if (ahora == QLatin1String("off") || (!antes.isEmpty() && antes != QLatin1String("off")))
        return {};
    return QStringLiteral("Relay %1 on %2: %3 %4")
        .arg(evento.direccion)
        .arg(evento.dispositivo, evento.que, ahora);
}

void Notificaciones::Al_Anotar(const Evento &evento) {
    const QString texto = Texto(evento);
    if (texto.isEmpty())
        return;
    ++enviadas_;
    if (Hay_Servicio() && Envia_Escritorio(texto))
        return;
    barra_.showMessage(texto, 30000);
}

bool Notificaciones::Hay_Servicio() {
    if (!servicio_) {
        // A server running now, or one the bus starts on the first call.
        const QDBusConnection bus = Bus();
        QDBusConnectionInterface *interfaz = bus.isConnected() ? bus.interface() : nullptr;
        servicio_ = interfaz && (interfaz->isServiceRegistered(Servicio).value() ||
                                 interfaz->activatableServiceNames().value().contains(Servicio));
    }
    return servicio_;
}

bool Notificaciones::Envia_Escritorio(const QString &texto) {
    QDBusMessage llamada =
        QDBusMessage::createMethodCall(Servicio, Objeto, Servicio, QStringLiteral("Notify"));
    // app name, replaces id, icon, summary, body, actions, hints, timeout (the
    // server's default). The summary says it all; the body, what kind of news.
    llamada << QStringLiteral("kv73") << 0u << QStringLiteral("kv73") << texto
            << QStringLiteral("A lamp of a watched KV-73 relay lit") << QStringList()
            << QVariantMap() << -1;
    // Sent without waiting for the answer: a poll never waits on the desktop.
    return Bus().send(llamada);
}

QDBusConnection Notificaciones::Bus() const {
    return bus_ ? *bus_ : QDBusConnection::sessionBus();
}

void Notificaciones::Usa_Bus(const QDBusConnection &bus) {
    bus_ = bus;
    servicio_ = false;
}
