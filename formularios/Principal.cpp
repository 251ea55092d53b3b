#include "formularios/Principal.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "diario/Diario_Eventos.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Puerto_Sistema.h"
#include "enlace/Puerto_Trazado.h"
#include "formularios/Operador_Qt.h"

#include <QApplication>
#include <QSessionManager>
#include <QWidget>

namespace {
void Fin_Inmediato(Puerto_Serie &puerto);
}

Principal::Principal(Plataforma p)
    : puerto_(p.puerto ? std::move(p.puerto) : std::make_unique<Puerto_Sistema>()),
      operador_(p.operador ? std::move(p.operador) : std::make_unique<Operador_Qt>()),
      impresora_(p.impresora ? std::move(p.impresora) : std::make_unique<Dialogo_Impresora_Qt>()),
      fin_(std::move(p.fin)) {
    // The trace sees every byte, whichever port was handed in.
    trazado_ = std::make_unique<Puerto_Trazado>(*puerto_, traza_);
    Ventanas &textos = *this;
    enlace_ = std::make_unique<Enlace_Rele>(*trazado_, Timer_Comunicacion, *operador_, textos);
    enlace_->Set_Traza(&traza_);
    if (!fin_)
        fin_ = [this] { Fin_Inmediato(*trazado_); };
    diario_ = std::make_unique<Diario_Eventos>();
    diario_->Al_Fallar([this](const QString &texto) {
        fallo_diario_ = texto;
        emit Diario_Fallido(texto);
    });
    diario_->Al_Anotar([this](const Evento &evento) {
        fallo_diario_.clear();
        emit Evento_Anotado(evento);
    });
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Principal::Al_Pedir_Cierre);
}

Principal::~Principal() = default;

void Principal::Termina_Programa() {
    fin_();
}

Diario_Eventos &Principal::Diario() {
    return *diario_;
}

Puerto_Serie &Principal::MSComm1() {
    return *trazado_;
}

void Principal::Form_Load() {
    Reiniciar_Enlace(*enlace_);
    if (!Estado.Modo_Linea_Comandos) {
        Estado.Puerto_Com = 2;
        Estado.Direccion_Rele = 1;
        Estado.Velocidad = 9600;
    }
    Estado.Posicion_Estado = CByte(Posicion_Actual(QStringLiteral("0208")));
    // The operator sees these panels on the main page: they start with the
    // settings in force rather than the form's design texts.
    Escribe_Panel(3, QStringLiteral("COM:") + Str(Estado.Puerto_Com));
    Escribe_Panel(4, QStringLiteral("Baud Rate: ") + Str(Estado.Velocidad));
    Escribe_Panel(5, QStringLiteral("Address: ") + Str(Estado.Direccion_Rele));
}

bool Principal::Form_QueryUnload() {
    const Respuesta r =
        operador_->Mensaje(QStringLiteral(" Are You Sure ?"), QStringLiteral("Exit KV-72"),
                           Botones::Yes_No, Icono::Pregunta);
    if (r != Respuesta::Yes)
        return false;
    if (trazado_->PortOpen())
        trazado_->Output(QByteArray(1, '\0'));
    Termina_Programa();
    return true;
}

void Principal::Al_Pedir_Cierre(QSessionManager &sesion) {
    if (sesion.allowsInteraction() && !Form_QueryUnload())
        sesion.cancel();
}

void Principal::Escribe_Estado_Enlace(const QString &texto) {
    emit Estado_Enlace_Escrito(texto);
}

void Principal::Escribe_Panel(int panel, const QString &texto) {
    if (panel < 1 || panel > 6)
        return;
    paneles_[static_cast<std::size_t>(panel - 1)] = texto;
    emit Panel_Cambiado(panel, texto);
}

void Principal::Escribe_Titulo(const QString &texto) {
    caption_ = texto;
    emit Caption_Cambiado(texto);
}

namespace {

// Once the end is asked, the operator's hands and the window system's requests
// are no longer acted upon, whatever is still unwinding below the caller.
class Sin_Entradas : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject *, QEvent *evento) override {
        switch (evento->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Close:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }
};

// The program ends through the return of its event loop, so that main's objects
// are destroyed in order (and a sanitizer build checks for leaks). The end is at
// once all the same: every window goes, nothing more reaches the line, and the
// event loops, nested ones included, return.
void Fin_Inmediato(Puerto_Serie &puerto) {
    static bool pedido = false;
    if (pedido)
        return;
    pedido = true;
    // The caller has said its goodbye on the line; whatever still unwinds below
    // it (a poll that was waiting for its reply) must not send after it.
    if (puerto.PortOpen())
        puerto.Set_PortOpen(false);
    qApp->installEventFilter(new Sin_Entradas(qApp));
    for (QWidget *ventana : QApplication::topLevelWidgets())
        ventana->hide();
    QCoreApplication::exit(0);
}

} // namespace
