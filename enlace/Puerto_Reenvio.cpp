#include "enlace/Puerto_Reenvio.h"

Puerto_Reenvio::Puerto_Reenvio(Puerto_Serie &interno, QObject *padre)
    : Puerto_Serie(padre), interno_(&interno) {
    aviso_ = connect(interno_, &Puerto_Serie::Llegan_Datos, this, &Puerto_Serie::Llegan_Datos);
}

void Puerto_Reenvio::Cambia_Interno(Puerto_Serie &interno) {
    if (&interno == interno_)
        return;
    disconnect(aviso_);
    interno_ = &interno;
    // Whoever waits on this port must wake when the new one's input comes.
    aviso_ = connect(interno_, &Puerto_Serie::Llegan_Datos, this, &Puerto_Serie::Llegan_Datos);
}
