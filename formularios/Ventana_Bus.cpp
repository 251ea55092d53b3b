#include "formularios/Ventana_Bus.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "controles/Byte_UnR.h"
#include "diario/Diario_Eventos.h"
#include "enlace/Comunicacion.h"
#include "enlace/Puerto_Serie.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Principal.h"
#include "formularios/Registro_Pagina.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// The program's settings, where the port assignments are kept too.
QSettings Ajustes() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("KV-73"),
                     QStringLiteral("kv73"));
}

QStringList Cabeceras() {
    return {QStringLiteral("Address"), QStringLiteral("Pt1"),     QStringLiteral("Pt2"),
            QStringLiteral("Pt3"),     QStringLiteral("Pt4"),     QStringLiteral("Pt1 max"),
            QStringLiteral("Pt2 max"), QStringLiteral("Pt3 max"), QStringLiteral("Pt4 max"),
            QStringLiteral("L1"),      QStringLiteral("L2"),      QStringLiteral("FAN"),
            QStringLiteral("Fault"),   QStringLiteral("Link"),    QStringLiteral("Last good poll")};
}

// The lamp of column `columna` among the relay's, by the page's names.
std::size_t Lampara_De(int columna) {
    static const char *const nombres[] = {"L1", "L2", "FAN", "Fault"};
    const char *nombre = nombres[columna - Ventana_Bus::L1];
    for (std::size_t k = 0; k < Cantidad_Lamparas; ++k)
        if (qstrcmp(Mapa_Indicadores[k].nombre, nombre) == 0)
            return k;
    return 0;
}

// A cell is touched only when what it shows changes: every change costs the
// table a repaint, twice a second while the window is open.
void Pon_Texto(QTableWidgetItem *celda, const QString &texto) {
    if (celda->text() != texto)
        celda->setText(texto);
}

// A lamp as a coloured cell: the lamp's own colour when lit, paler blinking.
void Pinta_Lampara(QTableWidgetItem *celda, int columna, Luz luz) {
    static const QColor colores[] = {QColor(0xf0, 0xc0, 0x00), QColor(0xe0, 0x20, 0x20),
                                     QColor(0x20, 0xa0, 0x40), QColor(0xe0, 0x20, 0x20)};
    const QColor color = colores[columna - Ventana_Bus::L1];
    Pon_Texto(celda, QLatin1String(Nombre_Luz(luz)));
    const QBrush fondo = luz == Luz::Apagada    ? QBrush()
                         : luz == Luz::Parpadeo ? QBrush(color.lighter(150))
                                                : QBrush(color);
    if (celda->background() != fondo)
        celda->setBackground(fondo);
}

} // namespace

Ventana_Bus::Ventana_Bus(AVPAGE2 &pagina, Principal &host)
    : QWidget(&pagina, Qt::Window), pagina_(pagina), host_(host), sondeo_(host.Enlace()) {
    setObjectName(QStringLiteral("Ventana_Bus"));
    setWindowTitle(QStringLiteral("Bus"));
    Construye();
    paso_.setSingleShot(true);
    connect(&paso_, &QTimer::timeout, this, &Ventana_Bus::Paso_Exploracion);
    connect(&pagina, &AVPAGE2::Turno_Bus, this, &Ventana_Bus::Al_Turno);
    connect(&pagina, &AVPAGE2::Sondeo_Hecho, this, &Ventana_Bus::Al_Sondeo_Pagina);
    resize(980, 420);
}

Ventana_Bus::~Ventana_Bus() = default;

void Ventana_Bus::Construye() {
    auto *pila = new QVBoxLayout(this);
    auto *fila_lista = new QHBoxLayout;
    fila_lista->addWidget(new QLabel(QStringLiteral("Relays:"), this));
    Lista = new QLineEdit(this);
    Lista->setPlaceholderText(QStringLiteral("addresses, as in 1,5,17 or 1-10"));
    Lista->setToolTip(QStringLiteral("The relays of this line to watch, kept for this port"));
    fila_lista->addWidget(Lista, 1);
    Aplicar = new QPushButton(QStringLiteral("Apply"), this);
    fila_lista->addWidget(Aplicar);
    connect(Aplicar, &QPushButton::clicked, this, &Ventana_Bus::Aplica_Lista);
    connect(Lista, &QLineEdit::returnPressed, this, &Ventana_Bus::Aplica_Lista);
    pila->addLayout(fila_lista);

    auto *exploracion = new QWidget(this);
    Construye_Exploracion(exploracion);
    pila->addWidget(exploracion);

    Tabla = new QTableWidget(0, Columnas, this);
    Tabla->setHorizontalHeaderLabels(Cabeceras());
    Tabla->verticalHeader()->hide();
    Tabla->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabla->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tabla->setSelectionMode(QAbstractItemView::SingleSelection);
    Tabla->setToolTip(QStringLiteral("Double click: the page switches to this relay"));
    // Sized to the texts when the list changes, not at each poll: wide enough
    // from the start for any temperature the relay sends.
    Tabla->horizontalHeader()->setStretchLastSection(true);
    Tabla->horizontalHeader()->setMinimumSectionSize(
        Tabla->fontMetrics().horizontalAdvance(QStringLiteral("-888")) + 16);
    connect(Tabla, &QTableWidget::cellDoubleClicked, this,
            [this](int fila, int) { Cambia_Rele(fila); });
    pila->addWidget(Tabla, 1);

    Vuelta = new QLabel(this);
    Vuelta->setObjectName(QStringLiteral("Vuelta"));
    Aviso = new QLabel(this);
    Aviso->setObjectName(QStringLiteral("Aviso"));
    Aviso->setWordWrap(true);
    pila->addWidget(Vuelta);
    pila->addWidget(Aviso);
    Muestra_Vuelta();
}

void Ventana_Bus::Construye_Exploracion(QWidget *fila) {
    auto *caja = new QHBoxLayout(fila);
    caja->setContentsMargins(0, 0, 0, 0);
    caja->addWidget(new QLabel(QStringLiteral("Scan from"), fila));
    Desde = new QSpinBox(fila);
    Hasta = new QSpinBox(fila);
    for (QSpinBox *caja_numero : {Desde, Hasta})
        caja_numero->setRange(Direccion_Minima, Direccion_Bus_Maxima);
    Desde->setValue(Direccion_Minima);
    Hasta->setValue(Direccion_Bus_Maxima);
    caja->addWidget(Desde);
    caja->addWidget(new QLabel(QStringLiteral("to"), fila));
    caja->addWidget(Hasta);
    Explorar = new QPushButton(QStringLiteral("Scan"), fila);
    Explorar->setToolTip(QStringLiteral("Ask each address once; the relays that answer become "
                                        "the list"));
    Progreso = new QProgressBar(fila);
    Progreso->setTextVisible(true);
    Progreso->setFormat(QString());
    Progreso->setValue(0);
    Cancelar = new QPushButton(QStringLiteral("Cancel"), fila);
    Cancelar->setEnabled(false);
    caja->addWidget(Explorar);
    caja->addWidget(Progreso, 1);
    caja->addWidget(Cancelar);
    connect(Explorar, &QPushButton::clicked, this, &Ventana_Bus::Explora_Click);
    connect(Cancelar, &QPushButton::clicked, this, &Ventana_Bus::Cancela_Exploracion);
}

QString Ventana_Bus::Clave_Lista(int puerto) {
    return QStringLiteral("Bus/COM%1").arg(puerto);
}

void Ventana_Bus::Carga_Lista() {
    const QString texto = Ajustes().value(Clave_Lista(Estado.Puerto_Com)).toString();
    QString error;
    const auto lista = Lee_Lista_Direcciones(texto, error);
    Lista->setText(texto);
    Pon_Lista(lista.value_or(QList<uint8_t>{}));
    Aviso->setText(lista && !lista->isEmpty()
                       ? QString()
                       : QStringLiteral("Type the relays' addresses, or scan the line."));
}

bool Ventana_Bus::Aplica_Lista() {
    QString error;
    const auto lista = Lee_Lista_Direcciones(Lista->text(), error);
    if (!lista) {
        Aviso->setText(error);
        return false;
    }
    Pon_Lista(*lista);
    const QString texto = Texto_Lista_Direcciones(*lista);
    Lista->setText(texto);
    Ajustes().setValue(Clave_Lista(Estado.Puerto_Com), texto);
    Aviso->setText(lista->isEmpty() ? QStringLiteral("No relay in the list.") : QString());
    // The list is set: the operator watches the rows now.
    if (!lista->isEmpty() && Lista->hasFocus())
        Tabla->setFocus();
    return true;
}

void Ventana_Bus::Pon_Lista(const QList<uint8_t> &direcciones) {
    sondeo_.Pon_Lista(direcciones, Nombre_Dispositivo(Estado.Puerto_Com));
    Tabla->setRowCount(static_cast<int>(direcciones.size()));
    for (int k = 0; k < Tabla->rowCount(); ++k) {
        for (int c = 0; c < Columnas; ++c)
            if (!Tabla->item(k, c))
                Tabla->setItem(k, c, new QTableWidgetItem);
        Muestra_Fila(k);
    }
    Tabla->resizeColumnsToContents();
    Muestra_Vuelta();
}

void Ventana_Bus::Muestra_Fila(int k) {
    const Rele_Bus &r = sondeo_.Reles().at(static_cast<std::size_t>(k));
    Pon_Texto(Tabla->item(k, Direccion), QString::number(r.direccion));
    const bool valores = r.ultima_buena.isValid();
    for (int p = 0; p < 4; ++p) {
        const auto i = static_cast<std::size_t>(p);
        Tabla->item(k, Pt1 + p)->setText(valores ? r.lectura.temperaturas[i] : QString());
        Tabla->item(k, Max1 + p)
            ->setText(valores ? Texto_Temperatura(r.lectura.maximos[i]) : QString());
    }
    for (int c = L1; c <= Fault; ++c)
        Pinta_Lampara(Tabla->item(k, c), c, valores ? r.luces[Lampara_De(c)] : Luz::Apagada);
    QString enlace = r.estado ? Texto_Estado(*r.estado) : QStringLiteral("waiting");
    if (r.direccion == Estado.Direccion_Rele)
        enlace = QStringLiteral("%1 (the page's relay)").arg(enlace);
    QTableWidgetItem *estado = Tabla->item(k, Enlace);
    Pon_Texto(estado, enlace);
    const bool falla = r.estado && *r.estado != Estado_Sondeo::Ok;
    const QBrush tinta = falla ? QBrush(QColor(0xd0, 0, 0)) : QBrush();
    if (estado->foreground() != tinta)
        estado->setForeground(tinta);
    Pon_Texto(Tabla->item(k, Ultima),
              valores ? r.ultima_buena.time().toString(QStringLiteral("HH:mm:ss")) : QString());
}

void Ventana_Bus::Muestra_Vuelta() {
    const auto vuelta = sondeo_.Vuelta_ms();
    const QString texto = vuelta ? QStringLiteral("A round of the bus takes %1 s")
                                       .arg(QLocale::system().toString(*vuelta / 1000.0, 'f', 1))
                                 : QStringLiteral("A round of the bus takes: not measured yet");
    if (Vuelta->text() != texto)
        Vuelta->setText(texto);
}

void Ventana_Bus::Al_Turno() {
    if (!isVisible() || Explorando())
        return;
    const QDateTime hora = QDateTime::currentDateTime();
    Fila_Registro fila;
    const int k = sondeo_.Sondea_Siguiente(hora, fila);
    if (k < 0 || k >= Tabla->rowCount())
        return;
    Rele_Bus &rele = sondeo_.Rele(static_cast<std::size_t>(k));
    Anota_Diario(rele, fila);
    if (Registro_Pagina *registro = Registro_Pagina::De(pagina_))
        registro->Al_Sondear_Bus(fila);
    Muestra_Fila(k);
    Muestra_Vuelta();
}

void Ventana_Bus::Anota_Diario(Rele_Bus &rele, const Fila_Registro &fila) {
    for (Evento evento : rele.vigia->Tras_Sondeo(fila.estado, fila.luces, fila.hora))
        host_.Diario().Anota(evento);
}

// The page shows its relay twice a second; its row here follows at most every
// few seconds, at once when the poll's outcome changes: a row repainted at
// each poll would cost the window as much as the bus polls' own rows.
void Ventana_Bus::Al_Sondeo_Pagina(Estado_Sondeo estado, const QDateTime &hora) {
    if (!isVisible())
        return;
    const int k = sondeo_.Toma_Pagina(estado, hora);
    if (k < 0 || k >= Tabla->rowCount())
        return;
    if (pagina_mostrada_ == estado && refresco_pagina_.isValid() &&
        refresco_pagina_.elapsed() < Refresco_Pagina_ms)
        return;
    pagina_mostrada_ = estado;
    refresco_pagina_.start();
    Muestra_Fila(k);
}

void Ventana_Bus::Cambia_Rele(int fila) {
    if (fila < 0 || fila >= Tabla->rowCount())
        return;
    const uint8_t direccion = sondeo_.Reles()[static_cast<std::size_t>(fila)].direccion;
    if (direccion == Estado.Direccion_Rele)
        return;
    if (Estado.Modo_Linea_Comandos) {
        Aviso->setText(QStringLiteral("The relay was given on the command line: the page "
                                      "stays on it."));
        return;
    }
    Comunicacion &dialogo = Comunicacion::Cargada(host_.Enlace());
    if (dialogo.En_Curso())
        return;
    dialogo.Byte_UnR1->Set_Value(direccion);
    dialogo.Byte_UnR1->Set_Text(QString::number(direccion) + QLatin1Char(' '));
    dialogo.Command1_Click();
    for (int k = 0; k < Tabla->rowCount(); ++k)
        Muestra_Fila(k);
}

void Ventana_Bus::showEvent(QShowEvent *evento) {
    if (!Explorando())
        Carga_Lista();
    // A window that is watched, not typed in, has no blinking caret to redraw
    // twice a second: the focus is on the list box only while it is empty.
    if (Tabla->rowCount() == 0)
        Lista->setFocus();
    else
        Tabla->setFocus();
    if (Registro_Pagina *registro = Registro_Pagina::De(pagina_))
        registro->Bus_Abierto(true);
    QWidget::showEvent(evento);
}

void Ventana_Bus::hideEvent(QHideEvent *evento) {
    Cancela_Exploracion();
    if (Registro_Pagina *registro = Registro_Pagina::De(pagina_))
        registro->Bus_Abierto(false);
    QWidget::hideEvent(evento);
}

Ventana_Bus *Ventana_Bus_De(const AVPAGE2 &pagina) {
    return pagina.findChild<Ventana_Bus *>(QStringLiteral("Ventana_Bus"),
                                           Qt::FindDirectChildrenOnly);
}

void Instala_Ventana_Bus(AVPAGE2 &pagina, Principal &host) {
    auto *accion = new QAction(QStringLiteral("Bus..."), &pagina);
    accion->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    accion->setShortcutContext(Qt::WindowShortcut);
    accion->setToolTip(QStringLiteral("Every relay of the line in one window (Ctrl+B)"));
    pagina.addAction(accion);
    QObject::connect(accion, &QAction::triggered, &pagina, [&pagina, &host] {
        Ventana_Bus *ventana = Ventana_Bus_De(pagina);
        if (!ventana)
            ventana = new Ventana_Bus(pagina, host);
        ventana->show();
        ventana->raise();
        ventana->activateWindow();
    });
}
