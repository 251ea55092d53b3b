#pragma once
// The host of the run, never shown: it owns the serial port, the one-second tick,
// the operator's dialogs, the printer dialog and the status bar texts, the one
// link object of the run made of them, and the program's end.

#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "diario/Evento.h"
#include "enlace/Puerto_Serie.h"
#include "enlace/Traza_Trafico.h"
#include "protocolo/Enlace_Rele.h"
#include "reporte/Dialogo_Impresora.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class Diario_Eventos;
class Puerto_Trazado;
class QSessionManager;

class Principal : public QObject, private Ventanas {
    Q_OBJECT
  public:
    // The platform the program runs on: the serial port, Qt's dialogs, the
    // printer dialog and the end through the event loop, unless a test hands in
    // its own.
    struct Plataforma {
        std::unique_ptr<Puerto_Serie> puerto;
        std::unique_ptr<Operador> operador;
        std::unique_ptr<Dialogo_Impresora> impresora;
        std::function<void()> fin;
    };
    explicit Principal(Plataforma plataforma = {});
    ~Principal() override;

    // No transaction busy, tick off; the link defaults of an interactive start;
    // where the status words sit in the actual values.
    void Form_Load();

    // The system asks the program to close (log-off, shutdown): " Are You Sure ?".
    // True when the operator lets it close.
    bool Form_QueryUnload();

    // Text of status bar panel n (1..6), and the host's caption.
    QString Panel(int n) const { return paneles_.at(static_cast<std::size_t>(n - 1)); }
    QString Caption() const { return caption_; }

    // The port the program uses: the one handed in, traced.
    Puerto_Serie &MSComm1();
    // The bytes on the line, for the traffic window.
    Traza_Trafico &Traza() { return traza_; }
    Temporizador_Comunicacion Timer_Comunicacion;
    Operador &Dialogo1() { return *operador_; }
    Dialogo_Impresora &Impresora() { return *impresora_; }
    // The conversation with the relay, for the whole run.
    Enlace_Rele &Enlace() { return *enlace_; }
    // The run's event journal: the page and the bus window write to it, the
    // Events window reads it. A journal that cannot be written is said once in
    // the status bar.
    Diario_Eventos &Diario();
    // Why the journal could not take the last event, while it cannot (empty
    // once a write works again).
    QString Fallo_Diario() const { return fallo_diario_; }

    // Ends the whole program at once, from wherever it is.
    void Termina_Programa();

  signals:
    void Panel_Cambiado(int panel, const QString &texto);
    void Caption_Cambiado(const QString &texto);
    // The core wrote the settings dialog's status label.
    void Estado_Enlace_Escrito(const QString &texto);
    // The journal took an event this program wrote (the Events window, the
    // lamp notifications).
    void Evento_Anotado(const Evento &evento);
    // The journal cannot be opened or written: said once a run.
    void Diario_Fallido(const QString &texto);

  private:
    void Escribe_Estado_Enlace(const QString &texto) override;
    void Escribe_Panel(int panel, const QString &texto) override;
    void Escribe_Titulo(const QString &texto) override;
    void Al_Pedir_Cierre(QSessionManager &sesion);

    std::unique_ptr<Puerto_Serie> puerto_;
    std::unique_ptr<Operador> operador_;
    Traza_Trafico traza_;
    std::unique_ptr<Puerto_Trazado> trazado_;
    std::unique_ptr<Dialogo_Impresora> impresora_;
    std::function<void()> fin_;
    std::unique_ptr<Enlace_Rele> enlace_;
    std::unique_ptr<Diario_Eventos> diario_;
    QString fallo_diario_;
    std::array<QString, 6> paneles_{QString(),
                                    QString(),
                                    QStringLiteral("COM: 4"),
                                    QString(),
                                    QStringLiteral("Address: 255"),
                                    QStringLiteral("Not Communicating....")};
    QString caption_ = QStringLiteral("KV72");
};
