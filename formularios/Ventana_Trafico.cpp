#include "formularios/Ventana_Trafico.h"

#include "archivos/Escritura_Segura.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "enlace/Traza_Trafico.h"
#include "formularios/Principal.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString Texto_Registrar = QStringLiteral("Log to file...");
const QString Texto_Parar = QStringLiteral("Stop logging");

QString Texto_Contadores(const Contadores_Traza &c) {
    return QStringLiteral("Requests: %1    Good replies: %2    Bad CRC: %3    Exceptions: %4    "
                          "No reply: %5    Link failures: %6")
        .arg(c.peticiones)
        .arg(c.respuestas_buenas)
        .arg(c.crc_malos)
        .arg(c.excepciones)
        .arg(c.sin_respuesta)
        .arg(c.fallos_enlace);
}

QString No_Se_Escribe(const QString &ruta, const QString &motivo) {
    return QStringLiteral("The traffic could not be written to %1: %2").arg(ruta, motivo);
}

// A file may span days: its lines carry the date.
std::optional<QString> Escribe_Lineas(const QString &ruta, const std::vector<Linea_Traza> &lineas) {
    QByteArray texto;
    for (const Linea_Traza &l : lineas)
        texto += Texto_Linea_Con_Hora(l, true).toUtf8() + '\n';
    return Escribe_Archivo_Entero(ruta, texto, Forma_Archivo::Texto);
}

} // namespace

Ventana_Trafico::Ventana_Trafico(Traza_Trafico &traza, Operador &operador, QWidget *padre)
    : QWidget(padre, Qt::Window), traza_(traza), operador_(operador) {
    setWindowTitle(QStringLiteral("KV-73 Traffic"));
    setObjectName(QStringLiteral("Ventana_Trafico"));
    // Wide enough for a whole poll reply, its time and its decoding on one line.
    resize(1100, 520);
    Crea_Controles();
    connect(Pausa, &QPushButton::toggled, this, &Ventana_Trafico::Pausa_Click);
    connect(Limpiar, &QPushButton::clicked, this, &Ventana_Trafico::Limpiar_Click);
    connect(Guardar, &QPushButton::clicked, this, &Ventana_Trafico::Guardar_Click);
    connect(Registrar, &QPushButton::toggled, this, &Ventana_Trafico::Registrar_Click);
    connect(Filtro, &QComboBox::currentIndexChanged, this, &Ventana_Trafico::Filtro_Cambiado);
    connect(Direccion, &QSpinBox::valueChanged, this, &Ventana_Trafico::Filtro_Cambiado);
    refresco_.setInterval(Refresco_ms);
    connect(&refresco_, &QTimer::timeout, this, &Ventana_Trafico::Actualiza);
    // The view starts with what the trace already holds.
    siguiente_ = 0;
}

void Ventana_Trafico::Crea_Controles() {
    Lineas = new QPlainTextEdit(this);
    Lineas->setReadOnly(true);
    Lineas->setLineWrapMode(QPlainTextEdit::NoWrap);
    Lineas->setMaximumBlockCount(static_cast<int>(Traza_Trafico::Capacidad));
    QFont letra = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    letra.setPointSize(9);
    Lineas->setFont(letra);
    Filtro = new QComboBox(this);
    Filtro->addItems({QStringLiteral("All lines"), QStringLiteral("Errors only"),
                      QStringLiteral("One address:")});
    Direccion = new QSpinBox(this);
    Direccion->setRange(Direccion_Minima, Direccion_Maxima);
    Direccion->setValue(Estado.Direccion_Rele);
    Direccion->setEnabled(false);
    Registro = new QLabel(this);
    Contadores = new QLabel(this);
    Pausa = new QPushButton(QStringLiteral("Pause"), this);
    Pausa->setCheckable(true);
    Limpiar = new QPushButton(QStringLiteral("Clear"), this);
    Guardar = new QPushButton(QStringLiteral("Save..."), this);
    Registrar = new QPushButton(Texto_Registrar, this);
    Registrar->setCheckable(true);
    Registrar->setToolTip(QStringLiteral("Append every line to a text file as it comes, for a "
                                         "trace longer than the window holds"));

    auto *arriba = new QHBoxLayout;
    arriba->addWidget(new QLabel(QStringLiteral("Show:"), this));
    arriba->addWidget(Filtro);
    arriba->addWidget(Direccion);
    arriba->addStretch(1);
    arriba->addWidget(Registro);
    auto *botones = new QHBoxLayout;
    botones->addWidget(Contadores, 1);
    for (QPushButton *b : {Pausa, Limpiar, Guardar, Registrar})
        botones->addWidget(b);
    auto *columna = new QVBoxLayout(this);
    columna->addLayout(arriba);
    columna->addWidget(Lineas, 1);
    columna->addLayout(botones);
}

QColor Ventana_Trafico::Color_De(const Linea_Traza &linea) {
    return Es_Error(linea.clase) ? QColor(0xC0, 0x00, 0x00) : QColor();
}

// The port's own events (opened, closed, lost, the link failure, modem text)
// concern every relay on the line: they stay in the view of one address.
bool Ventana_Trafico::Pasa_Filtro(const Linea_Traza &linea) const {
    switch (Filtro->currentIndex()) {
    case Solo_Errores:
        return Es_Error(linea.clase);
    case Una_Direccion:
        return linea.direccion == 0 || linea.direccion == Direccion->value();
    default:
        return true;
    }
}

void Ventana_Trafico::Anade_A_Vista(const std::vector<Linea_Traza> &lineas) {
    // A view the operator has scrolled back in stays where it is.
    QScrollBar *barra = Lineas->verticalScrollBar();
    const bool al_final = barra->value() == barra->maximum();
    QTextCursor cursor(Lineas->document());
    cursor.movePosition(QTextCursor::End);
    bool primera = Lineas->document()->isEmpty();
    // One edit for the lot: the view lays itself out once.
    cursor.beginEditBlock();
    for (const Linea_Traza &l : lineas) {
        if (!Pasa_Filtro(l))
            continue;
        QTextCharFormat forma;
        if (const QColor color = Color_De(l); color.isValid())
            forma.setForeground(color);
        if (!primera)
            cursor.insertBlock(QTextBlockFormat(), forma);
        primera = false;
        cursor.insertText(Texto_Linea_Con_Hora(l, false), forma);
    }
    cursor.endEditBlock();
    if (al_final)
        barra->setValue(barra->maximum());
}

void Ventana_Trafico::Actualiza() {
    Contadores->setText(Texto_Contadores(traza_.Contadores()));
    if (Pausa->isChecked())
        return;
    const std::vector<Linea_Traza> nuevas = traza_.Lineas_Desde(siguiente_);
    siguiente_ = traza_.Siguiente();
    Anade_A_Vista(nuevas);
}

void Ventana_Trafico::Filtro_Cambiado() {
    Direccion->setEnabled(Filtro->currentIndex() == Una_Direccion);
    Lineas->clear();
    std::vector<Linea_Traza> lineas = traza_.Lineas_Desde(0);
    // A paused view gets no line that came after the pause.
    const uint64_t despues = traza_.Siguiente() - siguiente_;
    lineas.resize(lineas.size() - std::min<std::size_t>(despues, lineas.size()));
    Anade_A_Vista(lineas);
}

void Ventana_Trafico::Pausa_Click(bool pausada) {
    // Back from a pause, the lines that came meanwhile (those the ring still
    // holds) follow on.
    if (!pausada)
        Actualiza();
}

void Ventana_Trafico::Limpiar_Click() {
    traza_.Limpia();
    Lineas->clear();
    siguiente_ = traza_.Siguiente();
    Actualiza();
}

// The file holds every line the trace keeps, paused or filtered or not.
void Ventana_Trafico::Guardar_Click() {
    const auto ruta = operador_.Dialogo_Guardar({QStringLiteral("Save Traffic"),
                                                 QStringLiteral("Text files|*.txt"),
                                                 QStringLiteral("kv73-traffic.txt")});
    if (!ruta)
        return;
    if (const auto motivo = Escribe_Lineas(*ruta, traza_.Lineas_Desde(0)))
        operador_.Mensaje(No_Se_Escribe(*ruta, *motivo), QStringLiteral("KV-73"), Botones::OK,
                          Icono::Critico);
}

void Ventana_Trafico::Registrar_Click(bool registrar) {
    if (registrar)
        Empieza_Registro();
    else
        Termina_Registro();
}

// The log takes every line from now on, whatever the view shows: a pause or a
// filter is for reading, the file is the whole trace.
void Ventana_Trafico::Empieza_Registro() {
    const auto ruta = operador_.Dialogo_Guardar({QStringLiteral("Log Traffic to File"),
                                                 QStringLiteral("Text files|*.txt"),
                                                 QStringLiteral("kv73-traffic.txt"), true});
    QString error;
    if (ruta && archivo_.Abre(*ruta, error)) {
        conexion_registro_ =
            connect(&traza_, &Traza_Trafico::Linea_Nueva, this, &Ventana_Trafico::Al_Linea_Nueva);
        Registrar->setText(Texto_Parar);
        Registro->setText(QStringLiteral("Logging to %1").arg(*ruta));
        return;
    }
    Termina_Registro();
    if (ruta)
        operador_.Mensaje(No_Se_Escribe(*ruta, error), QStringLiteral("KV-73"), Botones::OK,
                          Icono::Critico);
}

void Ventana_Trafico::Termina_Registro() {
    disconnect(conexion_registro_);
    archivo_.Cierra();
    const QSignalBlocker quieto(Registrar);
    Registrar->setChecked(false);
    Registrar->setText(Texto_Registrar);
    Registro->clear();
}

void Ventana_Trafico::Al_Linea_Nueva(const Linea_Traza &linea) {
    QString error;
    if (archivo_.Escribe(Texto_Linea_Con_Hora(linea, true), error))
        return;
    const QString ruta = archivo_.Ruta();
    Termina_Registro();
    // The line is made inside the port's own call: the message waits until
    // that call has returned.
    QTimer::singleShot(0, this, [this, ruta, error] {
        operador_.Mensaje(No_Se_Escribe(ruta, error), QStringLiteral("KV-73"), Botones::OK,
                          Icono::Critico);
    });
}

void Ventana_Trafico::showEvent(QShowEvent *evento) {
    QWidget::showEvent(evento);
    Actualiza();
    refresco_.start();
}

void Ventana_Trafico::hideEvent(QHideEvent *evento) {
    refresco_.stop();
    QWidget::hideEvent(evento);
}

void Instala_Ventana_Trafico(QWidget &pagina, QWidget &rotulo, Principal &host) {
    auto *atajo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), &pagina);
    rotulo.setToolTip(QStringLiteral("Ctrl+L: traffic window"));
    QObject::connect(atajo, &QShortcut::activated, &pagina, [&pagina, &host] {
        auto *ventana = pagina.findChild<Ventana_Trafico *>(QString(), Qt::FindDirectChildrenOnly);
        if (!ventana)
            ventana = new Ventana_Trafico(host.Traza(), host.Dialogo1(), &pagina);
        ventana->show();
        ventana->raise();
        ventana->activateWindow();
    });
}
