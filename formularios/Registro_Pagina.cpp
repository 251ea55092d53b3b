#include "formularios/Registro_Pagina.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "enlace/Comunicacion.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Ventana_Tendencia.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>

namespace {

const QString Texto_Grabar = QStringLiteral("Record values to CSV...");
const QString Texto_Parar = QStringLiteral("Stop recording");
const QString Texto_Tendencia = QStringLiteral("Trend...");

// In the page's heading, between its two titles, where nothing of the page's
// own lies and the operator looks first.
constexpr QRect Lugar_Marca(300, 62, 64, 22);

QLabel *Crea_Marca(AVPAGE2 &pagina) {
    auto *marca = new QLabel(QStringLiteral("\u25CF REC"), &pagina);
    marca->setObjectName(QStringLiteral("Marca_Grabacion"));
    marca->setGeometry(Lugar_Marca);
    marca->setStyleSheet(QStringLiteral("color: #d00000; font-weight: bold; font-size: 12pt;"));
    marca->hide();
    return marca;
}

// The page's frame titled "Actual Values", found by its title so that the page
// needs to know nothing of what is hung on it.
QFrame *Busca_Marco(AVPAGE2 &pagina) {
    for (QLabel *rotulo : pagina.findChildren<QLabel *>())
        if (rotulo->text() == QLatin1String("Actual Values"))
            return qobject_cast<QFrame *>(rotulo->parentWidget());
    return nullptr;
}

} // namespace

Registro_Pagina::Registro_Pagina(AVPAGE2 &pagina, Operador &operador)
    : QObject(&pagina), pagina_(pagina), operador_(operador) {
    setObjectName(QStringLiteral("Registro_Pagina"));
    grabar_ = new QAction(Texto_Grabar, this);
    grabar_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    grabar_->setToolTip(QStringLiteral("Record the live values to a CSV file, a row a poll "
                                       "(Ctrl+R; again to stop)"));
    tendencia_ = new QAction(Texto_Tendencia, this);
    tendencia_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    tendencia_->setToolTip(QStringLiteral("The temperatures over time, with the L1, L2 and fan "
                                          "thresholds (Ctrl+T)"));
    for (QAction *a : {grabar_, tendencia_}) {
        a->setShortcutContext(Qt::WindowShortcut);
        pagina.addAction(a);
    }
    connect(grabar_, &QAction::triggered, this, &Registro_Pagina::Alterna_Grabacion);
    connect(tendencia_, &QAction::triggered, this, &Registro_Pagina::Abre_Tendencia);

    marco_ = Busca_Marco(pagina);
    if (marco_) {
        marco_->setToolTip(QStringLiteral("Right click: record the values (Ctrl+R), trend "
                                          "(Ctrl+T)"));
        marco_->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(marco_, &QWidget::customContextMenuRequested, this, [this](const QPoint &lugar) {
            Menu_Contextual()->popup(marco_->mapToGlobal(lugar));
        });
    }
    marca_ = Crea_Marca(pagina);
    sin_enlace_.setInterval(Intervalo_Sin_Enlace_ms);
    connect(&sin_enlace_, &QTimer::timeout, this, &Registro_Pagina::Anota_Sin_Enlace);
    connect(&pagina, &AVPAGE2::Sondeo_Hecho, this, &Registro_Pagina::Al_Sondear);
    // OFF takes the link down without a failed poll: the minute's rows start.
    connect(&Avisos_Del_Dialogo(), &Avisos_Comunicacion::Enlace_Cortado, this,
            &Registro_Pagina::Vigila_Enlace);
    connect(&Avisos_Del_Dialogo(), &Avisos_Comunicacion::Enlace_Establecido, this,
            &Registro_Pagina::Vigila_Enlace);
    pagina.installEventFilter(this);
}

Registro_Pagina::~Registro_Pagina() {
    delete ventana_;
}

Registro_Pagina *Registro_Pagina::De(const AVPAGE2 &pagina) {
    return pagina.findChild<Registro_Pagina *>(QStringLiteral("Registro_Pagina"),
                                               Qt::FindDirectChildrenOnly);
}

QMenu *Registro_Pagina::Menu_Contextual() {
    if (!menu_) {
        menu_ = new QMenu(&pagina_);
        menu_->setToolTipsVisible(true);
        menu_->addAction(grabar_);
        menu_->addAction(tendencia_);
    }
    grabar_->setEnabled(Grabando() || Estado.Comunicacion_OK);
    return menu_;
}

void Registro_Pagina::Alterna_Grabacion() {
    if (Grabando()) {
        Detiene_Grabacion();
        return;
    }
    Operador &op = operador_;
    if (!Estado.Comunicacion_OK) {
        op.Mensaje(QStringLiteral("The link is down: there are no live values to record."));
        return;
    }
    const auto ruta = op.Dialogo_Guardar({QStringLiteral("Record values"),
                                          QStringLiteral("CSV files (*.csv)|*.csv"),
                                          QStringLiteral("kv73-values.csv"), true});
    if (!ruta)
        return;
    QString error;
    con_direccion_ = bus_abierto_;
    if (!archivo_.Abre(*ruta, con_direccion_, error)) {
        op.Mensaje(QStringLiteral("The values cannot be recorded to %1: %2").arg(*ruta, error), {},
                   Botones::OK, Icono::Exclamacion);
        return;
    }
    Muestra_Estado_Grabacion();
}

void Registro_Pagina::Detiene_Grabacion() {
    archivo_.Cierra();
    Muestra_Estado_Grabacion();
}

void Registro_Pagina::Muestra_Estado_Grabacion() {
    const bool grabando = Grabando();
    grabar_->setText(grabando ? Texto_Parar : Texto_Grabar);
    if (!grabando) {
        sin_enlace_.stop();
        marca_->hide();
        return;
    }
    QString consejo =
        QStringLiteral("Recording the values to %1 (Ctrl+R stops)").arg(archivo_.Ruta());
    if (!Estado.Comunicacion_OK)
        consejo += QStringLiteral("\nThe link is down: a \"no reply\" row a minute until ON "
                                  "brings it back");
    // Every poll comes here: only a change touches the page, whose repaint
    // would otherwise cost the recording twice a second.
    if (marca_->toolTip() != consejo)
        marca_->setToolTip(consejo);
    if (!marca_->isVisible()) {
        marca_->show();
        marca_->raise();
    }
}

bool Registro_Pagina::Escribe_Fila(const Fila_Registro &fila) {
    QString error;
    if (archivo_.Escribe(fila, error))
        return true;
    const QString ruta = archivo_.Ruta();
    Detiene_Grabacion();
    operador_.Mensaje(
        QStringLiteral("Recording stopped: %1 cannot be written: %2").arg(ruta, error), {},
        Botones::OK, Icono::Exclamacion);
    return false;
}

void Registro_Pagina::Al_Sondear(Estado_Sondeo estado, const QDateTime &hora) {
    memoria_.Agrega_Sondeo(estado, hora.toMSecsSinceEpoch());
    if (!Grabando())
        return;
    Fila_Registro fila = Fila_Del_Sondeo(estado, hora);
    if (con_direccion_)
        fila.direccion = Estado.Direccion_Rele;
    if (Escribe_Fila(fila))
        Vigila_Enlace();
}

void Registro_Pagina::Al_Sondear_Bus(const Fila_Registro &fila) {
    if (Graba_Direcciones())
        Escribe_Fila(fila);
}

// A link that stays down gets a row a minute rather than one a poll: the file
// shows the outage and how long it lasted without an hour of empty rows twice
// a second. The minute counts from the moment the page saw the link go down.
void Registro_Pagina::Vigila_Enlace() {
    const bool caido = Grabando() && !Estado.Comunicacion_OK;
    if (caido && !sin_enlace_.isActive())
        sin_enlace_.start();
    else if (!caido)
        sin_enlace_.stop();
    if (Grabando())
        Muestra_Estado_Grabacion();
}

void Registro_Pagina::Anota_Sin_Enlace() {
    if (!Grabando() || Estado.Comunicacion_OK) {
        Vigila_Enlace();
        return;
    }
    Fila_Registro fila =
        Fila_Del_Sondeo(Estado_Sondeo::Sin_Respuesta, QDateTime::currentDateTime());
    if (con_direccion_)
        fila.direccion = Estado.Direccion_Rele;
    Escribe_Fila(fila);
}

Ventana_Tendencia *Registro_Pagina::Tendencia() const {
    return ventana_;
}

void Registro_Pagina::Abre_Tendencia() {
    if (!ventana_) {
        ventana_ = new Ventana_Tendencia(memoria_, operador_);
        ventana_->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    ventana_->show();
    ventana_->raise();
    ventana_->activateWindow();
}

// The page closing ends the recording and takes the trend window with it.
bool Registro_Pagina::eventFilter(QObject *objeto, QEvent *evento) {
    if (objeto == &pagina_ && evento->type() == QEvent::Hide && !evento->spontaneous()) {
        Detiene_Grabacion();
        if (ventana_)
            ventana_->close();
    }
    return QObject::eventFilter(objeto, evento);
}
