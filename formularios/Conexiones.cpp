#include "formularios/Conexiones.h"

#include "controles/UserControl1.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Aviso_Enlace.h"
#include "formularios/Diario_Pagina.h"
#include "formularios/Principal.h"
#include "formularios/Registro_Pagina.h"

#include <QLabel>

void Conecta_Host(Principal &host) {
    QObject::connect(&host, &Principal::Estado_Enlace_Escrito, &host,
                     [&host](const QString &texto) {
                         Comunicacion::Cargada(host.Enlace()).Label6->setText(texto);
                     });
}

void Conecta_Pagina(AVPAGE2 &pagina, Principal &host) {
    Avisos_Comunicacion &avisos = Avisos_Del_Dialogo();
    QObject::connect(&avisos, &Avisos_Comunicacion::Enlace_Establecido, &pagina,
                     &AVPAGE2::Arranca_Timers);
    QObject::connect(&avisos, &Avisos_Comunicacion::Enlace_Cortado, &pagina,
                     [&pagina] { pagina.UserControl11->Desactivar(); });
    new Registro_Pagina(pagina, host.Dialogo1());
    new Aviso_Enlace(pagina, host);
    new Diario_Pagina(pagina, host);
}
