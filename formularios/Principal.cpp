#include "formularios/Principal.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Puerto_Sistema.h"
#include "enlace/Puerto_Trazado.h"
#include "formularios/Operador_Qt.h"

#include <QApplication>
#include <QSessionManager>
#include <cstdlib>

namespace {
Principal *instancia = nullptr;
}

Principal *Principal::Instancia() {
    return instancia;
}

Principal::Principal(std::unique_ptr<Puerto_Serie> puerto, std::unique_ptr<Operador> operador)
    : puerto_(puerto ? std::move(puerto) : std::make_unique<Puerto_Sistema>()),
      operador_(operador ? std::move(operador) : std::make_unique<Operador_Qt>()) {
    instancia = this;
    // The trace sees every byte, whichever port was handed in.
    trazado_ = std::make_unique<Puerto_Trazado>(*puerto_, traza_);
    Host() = Recursos_Host{trazado_.get(), &Timer_Comunicacion, operador_.get(), this};
    connect(qApp, &QGuiApplication::commitDataRequest, this, &Principal::Al_Pedir_Cierre);
}

Principal::~Principal() {
    Host() = Recursos_Host{};
    if (instancia == this)
        instancia = nullptr;
}

Puerto_Serie &Principal::MSComm1() {
    return *trazado_;
}

void Principal::Form_Load() {
    Reiniciar_Enlace();
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
// The port and the files are closed by the system; nothing else needs an orderly end.
void Fin_Inmediato() {
    std::_Exit(0);
}
} // namespace

void (*Terminador)() = Fin_Inmediato;

void Termina_Programa() {
    Terminador();
}
