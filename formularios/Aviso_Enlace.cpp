#include "formularios/Aviso_Enlace.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Principal.h"

#include <QEvent>
#include <QLabel>
#include <QLocale>

namespace {

// Under the "Actual Values" frame, whose temperatures it explains, in the strip
// the page leaves free above its status bar.
constexpr QRect Lugar_Rotulo(358, 562, 417, 22);

const QString Consejo =
    QStringLiteral("The relay is not polled: the temperatures read Fco until Communication's "
                   "ON brings the link back.");

} // namespace

Aviso_Enlace::Aviso_Enlace(AVPAGE2 &pagina, Principal &host)
    : QObject(&pagina), pagina_(pagina), host_(host) {
    setObjectName(QStringLiteral("Aviso_Enlace"));
    rotulo_ = new QLabel(&pagina);
    rotulo_->setObjectName(QStringLiteral("Rotulo_Enlace"));
    rotulo_->setGeometry(Lugar_Rotulo);
    rotulo_->setStyleSheet(QStringLiteral("color: #a00000; font-weight: bold;"));
    rotulo_->setToolTip(Consejo);
    // Every way the link goes down writes the status bar's last panel (a failed
    // exchange before its message, OFF, a loaded file); every way up emits ON.
    connect(&host, &Principal::Panel_Cambiado, this, &Aviso_Enlace::Revisa);
    connect(&pagina, &AVPAGE2::Sondeo_Hecho, this, &Aviso_Enlace::Revisa);
    connect(&Avisos_Del_Dialogo(), &Avisos_Comunicacion::Enlace_Establecido, this,
            &Aviso_Enlace::Revisa);
    connect(&Avisos_Del_Dialogo(), &Avisos_Comunicacion::Enlace_Cortado, this,
            &Aviso_Enlace::Revisa);
    pagina.installEventFilter(this);
    Revisa();
}

Aviso_Enlace *Aviso_Enlace::De(const AVPAGE2 &pagina) {
    return pagina.findChild<Aviso_Enlace *>(QStringLiteral("Aviso_Enlace"),
                                            Qt::FindDirectChildrenOnly);
}

QString Aviso_Enlace::Titulo_En_Vivo() {
    return QStringLiteral("KV73 - relay %1 on COM%2, live")
        .arg(int{Estado.Direccion_Rele})
        .arg(int{Estado.Puerto_Com});
}

QString Aviso_Enlace::Titulo_Caido() {
    return QStringLiteral("KV73 - relay %1 on COM%2, link down")
        .arg(int{Estado.Direccion_Rele})
        .arg(int{Estado.Puerto_Com});
}

void Aviso_Enlace::Revisa() {
    // Writing the title or a panel brings the host's signals back here.
    if (revisando_)
        return;
    revisando_ = true;
    const bool arriba = Estado.Comunicacion_OK;
    if (arriba)
        desde_ = QDateTime();
    else if (arriba_)
        desde_ = QDateTime::currentDateTime();
    arriba_ = arriba;
    Escribe_Rotulo();
    Escribe_Titulo();
    revisando_ = false;
}

void Aviso_Enlace::Escribe_Rotulo() {
    rotulo_->setVisible(!arriba_);
    if (arriba_)
        return;
    if (!desde_.isValid()) {
        rotulo_->setText(QStringLiteral("Link down: no live values"));
        return;
    }
    // Hours and minutes are enough to find the outage in a log; one seen the
    // next morning needs its day.
    QString hora = desde_.time().toString(QStringLiteral("HH:mm"));
    if (desde_.date() != QDate::currentDate())
        hora = QLocale::system().toString(desde_.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
               hora;
    rotulo_->setText(QStringLiteral("Link down since %1").arg(hora));
}

// The page's title follows the host's caption once the page is loaded; until
// then the caption is written again at each look, so that a link a launcher
// brought up before the page was made is named once it shows.
void Aviso_Enlace::Escribe_Titulo() {
    const QString vivo = Titulo_En_Vivo();
    if (arriba_ && pagina_.windowTitle() != vivo)
        host_.Enlace().Textos().Escribe_Titulo(vivo);
    else if (!arriba_ && pagina_.windowTitle() == vivo)
        host_.Enlace().Textos().Escribe_Titulo(Titulo_Caido());
}

bool Aviso_Enlace::eventFilter(QObject *objeto, QEvent *evento) {
    if (objeto == &pagina_ && evento->type() == QEvent::Show)
        Revisa();
    return QObject::eventFilter(objeto, evento);
}
