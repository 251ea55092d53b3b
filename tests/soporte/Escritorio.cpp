#include "tests/soporte/Escritorio.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Conexiones.h"

#include <QCoreApplication>

int Escritorio::terminaciones = 0;

void Escritorio::SetUp() {
    Reinicia_Estado();
    terminaciones = 0;
    auto p = std::make_unique<Puerto_Memoria>();
    auto o = std::make_unique<Operador_Guionizado>();
    auto i = std::make_unique<Impresora_Guionizada>();
    puerto = p.get();
    operador = o.get();
    impresora = i.get();
    host = std::make_unique<Principal>(
        Principal::Plataforma{std::move(p), std::move(o), std::move(i), [] { ++terminaciones; }});
    Conecta_Host(*host);
    host->Timer_Comunicacion.Set_Interval(Tick_ms);
    host->Form_Load();
}

void Escritorio::TearDown() {
    pagina.reset();
    Comunicacion::Descarga();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    host.reset();
}

void Escritorio::Conecta_Rele() {
    puerto->al_recibir = [this](const QByteArray &peticion) {
        const QByteArray respuesta = rele.Responde(peticion);
        if (!respuesta.isEmpty())
            puerto->Inyecta(respuesta);
    };
}

AVPAGE2 &Escritorio::Pagina() {
    if (!pagina) {
        pagina = std::make_unique<AVPAGE2>(*host);
        Conecta_Pagina(*pagina, *host);
        pagina->Form_Load();
    }
    return *pagina;
}

void Escritorio::Enlace_Arriba() {
    ASSERT_TRUE(puerto->Set_PortOpen(true));
    Estado.Comunicacion_OK = true;
}

std::vector<QString> Resumen(const std::vector<QByteArray> &peticiones) {
    std::vector<QString> r;
    for (const QByteArray &p : peticiones)
        if (p.size() >= 4)
            r.push_back(QStringLiteral("%1/%2%3")
                            .arg(static_cast<uint8_t>(p[1]), 2, 16, QLatin1Char('0'))
                            .arg(static_cast<uint8_t>(p[2]), 2, 16, QLatin1Char('0'))
                            .arg(static_cast<uint8_t>(p[3]), 2, 16, QLatin1Char('0')));
    return r;
}
