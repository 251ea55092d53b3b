#include "enlace/Puerto_Trazado.h"

#include "enlace/Traza_Trafico.h"

Puerto_Trazado::Puerto_Trazado(Puerto_Serie &interno, Traza_Trafico &traza, QObject *padre)
    : Puerto_Reenvio(interno, padre), traza_(traza), abierto_(interno.PortOpen()) {
    // The port that closes itself says so by waking whoever waits.
    connect(this, &Puerto_Serie::Llegan_Datos, this, &Puerto_Trazado::Mira_Perdida);
}

bool Puerto_Trazado::Set_PortOpen(bool abierto) {
    Mira_Perdida();
    const bool estaba = Interno().PortOpen();
    const bool ok = Puerto_Reenvio::Set_PortOpen(abierto);
    if (abierto && ok && !estaba)
        traza_.Abierto(Interno().Settings());
    else if (abierto && !ok)
        traza_.No_Abre(Interno().Error_Texto());
    else if (!abierto && estaba)
        traza_.Cerrado(false);
    abierto_ = Interno().PortOpen();
    return ok;
}

QByteArray Puerto_Trazado::Input() {
    QByteArray bytes = Puerto_Reenvio::Input();
    traza_.Leido(bytes);
    return bytes;
}

void Puerto_Trazado::Output(const QByteArray &bytes) {
    Puerto_Reenvio::Output(bytes);
    traza_.Escrito(bytes);
}

void Puerto_Trazado::Mira_Perdida() {
    if (abierto_ && !Interno().PortOpen()) {
        abierto_ = false;
        traza_.Cerrado(true);
    }
}
