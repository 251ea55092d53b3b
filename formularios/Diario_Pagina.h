#pragma once
// The page's share of the event journal: its own relay's lamps and link as its
// polls and OFF show them, the setpoints STORE and Send Setpoints to Relay
// wrote, the maxima Clear reset. Beside it on the page: the Events window
// (Ctrl+E), the lamp notifications, and the status bar line that says once
// that the journal cannot be written.

#include "diario/Vigia_Rele.h"
#include "protocolo/Lectura_Escritura.h"
#include "registro/Fila_Registro.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class AVPAGE2;
class Notificaciones;
class Principal;
class QAction;
class Ventana_Eventos;

class Diario_Pagina : public QObject {
    Q_OBJECT
  public:
    Diario_Pagina(AVPAGE2 &pagina, Principal &host);
    ~Diario_Pagina() override;

    // The one a page was given, or null.
    static Diario_Pagina *De(const AVPAGE2 &pagina);

    // A setpoint write `que` ("STORE", "Send Setpoints to Relay"): runs it and,
    // when the relay accepted it, journals the six registers the program held
    // for the relay before and the six written. The write's result.
    static Resultado Escritura(AVPAGE2 &pagina, const QString &que,
                               const std::function<Resultado()> &escribe);
    // Clear: runs the reset and, when the relay accepted it, journals the
    // maxima the page showed before.
    static Resultado Reinicio_Maximos(AVPAGE2 &pagina, const std::function<Resultado()> &reinicia);

    // A poll of the page ended: lamp changes and the link, for the journal.
    void Al_Sondear(Estado_Sondeo estado, const QDateTime &hora);
    // OFF took the link down.
    void Al_Cortar();

    // Ctrl+E: the Events window, made once and raised after.
    void Abre_Eventos();
    Ventana_Eventos *Eventos() const;
    Notificaciones &Avisos() const { return *avisos_; }

  private:
    // The watch over the relay the page polls now: a new one when the address
    // or the port changed.
    Vigia_Rele &Vigia();
    void Anota(QList<Evento> eventos);
    Evento Evento_Pagina(const QString &tipo, const QString &que);
    // The device the page's port opens, looked up again when the port number
    // changes or ON brings the link up (the operator may have mapped another).
    QString Dispositivo();
    // The host's caption changed: a loaded file's path is kept for a send.
    void Al_Titular(const QString &titulo);

    AVPAGE2 &pagina_;
    Principal &host_;
    std::unique_ptr<Vigia_Rele> vigia_;
    QString dispositivo_;
    int direccion_ = -1;
    QString dispositivo_puerto_;
    int puerto_ = -1;
    QString archivo_; // the setpoint file last loaded
    // The relay's setpoint registers at its last good poll, and its address:
    // what a send from a file replaced.
    QString setpoints_rele_;
    int direccion_setpoints_ = -1;
    QAction *eventos_ = nullptr;
    Notificaciones *avisos_ = nullptr;
    QPointer<Ventana_Eventos> ventana_;
};
