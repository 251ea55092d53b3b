#include "formularios/Diario_Pagina.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_ActualValues.h"
#include "diario/Diario_Eventos.h"
#include "enlace/Comunicacion.h"
#include "enlace/Puerto_Serie.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Aviso_Enlace.h"
#include "formularios/Notificaciones.h"
#include "formularios/Principal.h"
#include "formularios/Ventana_Eventos.h"

#include <QAction>
#include <QStatusBar>
#include <QStringList>

namespace {

const QString Programa = QStringLiteral("kv73");
const QString Envio = QStringLiteral("Send Setpoints to Relay");
// The host's caption after a file is loaded: this, then the file's path.
const QString &Titulo_Archivo = Textos_Archivos::Titulo_Host;

// Six 16-bit words of an image from byte `primero` (the first word's high
// half), as a JSON array: "[90,110,60,75,11,0]".
template <std::size_t N> QString Palabras_Json(const Imagen<N> &imagen, std::size_t primero) {
    QStringList palabras;
    for (std::size_t k = 0; k < 6; ++k)
        palabras << QString::number(imagen[primero + 2 * k] * 256 + imagen[primero + 2 * k + 1]);
    return QLatin1Char('[') + palabras.join(QLatin1Char(',')) + QLatin1Char(']');
}

// The registers as the relay's setpoint read put them (bytes 4..15) and as
// the write frame sent them (bytes 8..19).
QString Setpoints_Leidos() {
    return Palabras_Json(Estado.Set_Setpoints, 4);
}
QString Setpoints_Escritos() {
    return Palabras_Json(Estado.Trama_Escritura, 8);
}

QString Maximos_Json() {
    QStringList maximos;
    for (int m : Lee_Lectura_Actual().maximos)
        maximos << QString::number(m);
    return QLatin1Char('[') + maximos.join(QLatin1Char(',')) + QLatin1Char(']');
}

} // namespace

Diario_Pagina::Diario_Pagina(AVPAGE2 &pagina, Principal &host)
    : QObject(&pagina), pagina_(pagina), host_(host) {
    setObjectName(QStringLiteral("Diario_Pagina"));
    avisos_ = new Notificaciones(*pagina.Barra_Estado, this);
    eventos_ = new QAction(QStringLiteral("Events..."), this);
    eventos_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    eventos_->setShortcutContext(Qt::WindowShortcut);
    eventos_->setToolTip(QStringLiteral("The journal of lamps, link losses, setpoint writes and "
                                        "maxima resets of every watched relay (Ctrl+E)"));
    pagina.addAction(eventos_);
    connect(eventos_, &QAction::triggered, this, &Diario_Pagina::Abre_Eventos);

    connect(&pagina, &AVPAGE2::Sondeo_Hecho, this, &Diario_Pagina::Al_Sondear);
    connect(&Avisos_Del_Dialogo(), &Avisos_Comunicacion::Enlace_Cortado, this,
            &Diario_Pagina::Al_Cortar);
    connect(&Avisos_Del_Dialogo(), &Avisos_Comunicacion::Enlace_Establecido, this,
            [this] { puerto_ = -1; });
    connect(&host, &Principal::Caption_Cambiado, this, &Diario_Pagina::Al_Titular);
    connect(&host, &Principal::Evento_Anotado, avisos_, &Notificaciones::Al_Anotar);
    // Beside the panels, as the page's other notes: the panels keep their texts.
    connect(&host, &Principal::Diario_Fallido, this,
            [this](const QString &texto) { pagina_.Barra_Estado->showMessage(texto, 30000); });
}

Diario_Pagina::~Diario_Pagina() {
    delete ventana_;
}

Diario_Pagina *Diario_Pagina::De(const AVPAGE2 &pagina) {
    return pagina.findChild<Diario_Pagina *>(QStringLiteral("Diario_Pagina"),
                                             Qt::FindDirectChildrenOnly);
}

QString Diario_Pagina::Dispositivo() {
    if (puerto_ != Estado.Puerto_Com) {
        puerto_ = Estado.Puerto_Com;
        dispositivo_puerto_ = Nombre_Dispositivo(Estado.Puerto_Com);
    }
    return dispositivo_puerto_;
}

void Diario_Pagina::Al_Titular(const QString &titulo) {
    // A file's title is "KV73 - " and its path; the page's live and link-down
    // titles start the same way and name no file.
    if (titulo.startsWith(Titulo_Archivo) && titulo != Aviso_Enlace::Titulo_En_Vivo() &&
        titulo != Aviso_Enlace::Titulo_Caido())
        archivo_ = titulo.mid(Titulo_Archivo.size());
}

Vigia_Rele &Diario_Pagina::Vigia() {
    const QString dispositivo = Dispositivo();
    const int direccion = Estado.Direccion_Rele;
    if (!vigia_ || dispositivo != dispositivo_ || direccion != direccion_) {
        vigia_ = std::make_unique<Vigia_Rele>(dispositivo, direccion, Programa);
        dispositivo_ = dispositivo;
        direccion_ = direccion;
    }
    return *vigia_;
}

Evento Diario_Pagina::Evento_Pagina(const QString &tipo, const QString &que) {
    Evento e;
    e.hora = QDateTime::currentDateTime();
    e.dispositivo = Dispositivo();
    e.direccion = Estado.Direccion_Rele;
    e.tipo = tipo;
    e.que = que;
    e.fuente = Programa;
    return e;
}

void Diario_Pagina::Anota(QList<Evento> eventos) {
    // A journal that cannot be written takes nothing, and tells nobody: the
    // lamp that lit is said all the same.
    for (Evento &e : eventos)
        if (!host_.Diario().Anota(e))
            avisos_->Al_Anotar(e);
}

void Diario_Pagina::Al_Sondear(Estado_Sondeo estado, const QDateTime &hora) {
    Vigia_Rele &vigia = Vigia();
    if (estado == Estado_Sondeo::Ok) {
        setpoints_rele_ = Setpoints_Leidos();
        direccion_setpoints_ = Estado.Direccion_Rele;
        Anota(vigia.Tras_Sondeo(estado, Fila_Del_Sondeo(estado, hora).luces, hora));
        return;
    }
    // OFF takes the link down before it says so, and an adapter pulled out
    // fails the poll as silence does: the journal says why.
    if (Estado.Cancelar_Enlace)
        Anota(vigia.Enlace_Caido(QStringLiteral("OFF"), hora));
    else if (host_.MSComm1().Perdido())
        Anota(vigia.Enlace_Caido(QStringLiteral("port lost"), hora));
    Anota(vigia.Tras_Sondeo(estado, {}, hora));
}

void Diario_Pagina::Al_Cortar() {
    Anota(Vigia().Enlace_Caido(QStringLiteral("OFF"), QDateTime::currentDateTime()));
}

Resultado Diario_Pagina::Escritura(AVPAGE2 &pagina, const QString &que,
                                   const std::function<Resultado()> &escribe) {
    Diario_Pagina *diario = De(pagina);
    // STORE writes over what the relay holds now; a send has already put its
    // file over the program's image, so what the relay held is the image of
    // its last good poll, when that was this relay.
    QString antes = Setpoints_Leidos();
    if (que == Envio)
        antes = diario && diario->direccion_setpoints_ == Estado.Direccion_Rele
                    ? diario->setpoints_rele_
                    : QString();
    const Resultado r = escribe();
    if (!diario || r != Resultado::Buena)
        return r;
    Evento e = diario->Evento_Pagina(QStringLiteral("setpoints"), que);
    e.antes = antes;
    e.despues = Setpoints_Escritos();
    if (que == Envio && Estado.Archivo_Cargado && !diario->archivo_.isEmpty())
        e.fuente += QLatin1Char(' ') + diario->archivo_;
    diario->host_.Diario().Anota(e);
    return r;
}

Resultado Diario_Pagina::Reinicio_Maximos(AVPAGE2 &pagina,
                                          const std::function<Resultado()> &reinicia) {
    const QString antes = Maximos_Json();
    const Resultado r = reinicia();
    Diario_Pagina *diario = De(pagina);
    if (!diario || r != Resultado::Buena)
        return r;
    Evento e = diario->Evento_Pagina(QStringLiteral("reset-max"), QStringLiteral("Clear"));
    e.antes = antes;
    diario->host_.Diario().Anota(e);
    return r;
}

void Diario_Pagina::Abre_Eventos() {
    if (!ventana_)
        ventana_ = new Ventana_Eventos(host_, &pagina_);
    ventana_->show();
    ventana_->raise();
    ventana_->activateWindow();
}

Ventana_Eventos *Diario_Pagina::Eventos() const {
    return ventana_;
}
