// The bus window's scan: each address from Desde to Hasta asked once, between
// the page's polls (one address a step, never while another exchange holds the
// line), with its progress on the bar; Cancel stops it before the next address.
// The KV-73 relays that answered become the list.

#include "formularios/Ventana_Bus.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Puerto_Serie.h"
#include "formularios/Principal.h"
#include "protocolo/Exploracion.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

namespace {

// A KV-73 by the identification registers' low bytes, as ON judges it.
bool Es_KV73(const std::array<uint16_t, 3> &registros) {
    return (registros[0] & 0xFF) == 2 && (registros[1] & 0xFF) == 1;
}

// How often a step that found the line held looks again.
constexpr int Reintento_ms = 10;

} // namespace

void Ventana_Bus::Explora_Click() {
    if (Explorando())
        return;
    if (!Estado.Comunicacion_OK || !host_.MSComm1().PortOpen()) {
        Aviso->setText(QStringLiteral("The page is not linked: switch the link ON to scan its "
                                      "line."));
        return;
    }
    if (Desde->value() > Hasta->value()) {
        Aviso->setText(QStringLiteral("The scan's first address is above its last."));
        return;
    }
    siguiente_ = Desde->value();
    cancelada_ = false;
    halladas_.clear();
    Progreso->setRange(0, Hasta->value() - Desde->value() + 1);
    Progreso->setValue(0);
    Explorar->setEnabled(false);
    Aplicar->setEnabled(false);
    Cancelar->setEnabled(true);
    Aviso->setText(QStringLiteral("Scanning the line..."));
    paso_.start(0);
}

void Ventana_Bus::Cancela_Exploracion() {
    if (!Explorando())
        return;
    cancelada_ = true;
    // A step waiting for its address's reply ends it; none waits: now.
    if (paso_.isActive()) {
        paso_.stop();
        Paso_Exploracion();
    }
}

void Ventana_Bus::Paso_Exploracion() {
    if (!Explorando())
        return;
    if (cancelada_) {
        Termina_Exploracion(QStringLiteral("Scan cancelled before address %1.").arg(siguiente_),
                            false);
        return;
    }
    Puerto_Serie &puerto = host_.MSComm1();
    if (!Estado.Comunicacion_OK || !puerto.PortOpen()) {
        Termina_Exploracion(
            QStringLiteral("The link went down: the scan stopped at address %1.").arg(siguiente_),
            false);
        return;
    }
    if (Estado.Ocupado || Estado.Intercambios_En_Curso > 0) {
        paso_.start(Reintento_ms);
        return;
    }
    const int direccion = siguiente_;
    const int hechas = direccion - Desde->value() + 1;
    Progreso->setValue(hechas);
    Progreso->setFormat(QStringLiteral("address %1 of %2").arg(hechas).arg(Progreso->maximum()));
    Respuesta_Exploracion r;
    {
        // The page's polls that fall inside the wait find the line held.
        const Linea_Reservada reservada;
        r = Explora_Direccion(puerto, static_cast<uint8_t>(direccion),
                              Espera_Exploracion_ms(Estado.Velocidad));
    }
    if (r.tipo == Respuesta_Exploracion::Tipo::Rele && Es_KV73(r.registros))
        halladas_.append(static_cast<uint8_t>(direccion));
    if (direccion >= Hasta->value()) {
        Termina_Exploracion(QString(), true);
        return;
    }
    // A Cancel pressed during the wait is seen by the next step, before it asks.
    siguiente_ = direccion + 1;
    paso_.start(0);
}

void Ventana_Bus::Termina_Exploracion(const QString &aviso, bool aplica) {
    const int desde = Desde->value();
    const int hasta = Hasta->value();
    siguiente_ = 0;
    cancelada_ = false;
    paso_.stop();
    Explorar->setEnabled(true);
    Aplicar->setEnabled(true);
    Cancelar->setEnabled(false);
    Progreso->setFormat(QString());
    Progreso->setValue(0);
    QList<uint8_t> halladas = halladas_;
    halladas_.clear();
    if (!aplica) {
        Aviso->setText(aviso + QStringLiteral(" The list is as it was."));
        return;
    }
    if (halladas.isEmpty()) {
        Aviso->setText(QStringLiteral("No KV-73 relay answered from address %1 to %2: the list "
                                      "is as it was.")
                           .arg(desde)
                           .arg(hasta));
        return;
    }
    Lista->setText(Texto_Lista_Direcciones(halladas));
    Aplica_Lista();
    Aviso->setText(QStringLiteral("%1 relay(s) answered from address %2 to %3.")
                       .arg(halladas.size())
                       .arg(desde)
                       .arg(hasta));
}
