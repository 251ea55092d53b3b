#include "formularios/Ventana_Trafico.h"

#include "archivos/Escritura_Segura.h"
#include "comun/Operador.h"
#include "enlace/Traza_Trafico.h"
#include "formularios/Principal.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

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

std::optional<QString> Escribe_Lineas(const QString &ruta, const std::vector<Linea_Traza> &lineas) {
    QByteArray texto;
    for (const Linea_Traza &l : lineas)
        texto += Texto_Linea(l).toUtf8() + '\n';
    return Escribe_Archivo_Entero(ruta, texto, Forma_Archivo::Texto);
}

} // namespace

Ventana_Trafico::Ventana_Trafico(Traza_Trafico &traza, Operador &operador, QWidget *padre)
    : QWidget(padre, Qt::Window), traza_(traza), operador_(operador) {
    setWindowTitle(QStringLiteral("KV-73 Traffic"));
    setObjectName(QStringLiteral("Ventana_Trafico"));
    // Wide enough for a whole poll reply and its decoding on one line.
    resize(1000, 520);
    Lineas = new QPlainTextEdit(this);
    Lineas->setReadOnly(true);
    Lineas->setLineWrapMode(QPlainTextEdit::NoWrap);
    Lineas->setMaximumBlockCount(static_cast<int>(Traza_Trafico::Capacidad));
    QFont letra = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    letra.setPointSize(9);
    Lineas->setFont(letra);
    Contadores = new QLabel(this);
    Pausa = new QPushButton(QStringLiteral("Pause"), this);
    Pausa->setCheckable(true);
    Limpiar = new QPushButton(QStringLiteral("Clear"), this);
    Guardar = new QPushButton(QStringLiteral("Save..."), this);

    auto *botones = new QHBoxLayout;
    botones->addWidget(Contadores, 1);
    botones->addWidget(Pausa);
    botones->addWidget(Limpiar);
    botones->addWidget(Guardar);
    auto *columna = new QVBoxLayout(this);
    columna->addWidget(Lineas, 1);
    columna->addLayout(botones);

    connect(Pausa, &QPushButton::toggled, this, &Ventana_Trafico::Pausa_Click);
    connect(Limpiar, &QPushButton::clicked, this, &Ventana_Trafico::Limpiar_Click);
    connect(Guardar, &QPushButton::clicked, this, &Ventana_Trafico::Guardar_Click);
    refresco_.setInterval(Refresco_ms);
    connect(&refresco_, &QTimer::timeout, this, &Ventana_Trafico::Actualiza);
    // The view starts with what the trace already holds.
    siguiente_ = 0;
}

void Ventana_Trafico::Actualiza() {
    Contadores->setText(Texto_Contadores(traza_.Contadores()));
    if (Pausa->isChecked())
        return;
    const std::vector<Linea_Traza> nuevas = traza_.Lineas_Desde(siguiente_);
    siguiente_ = traza_.Siguiente();
    if (nuevas.empty())
        return;
    // One append for the lot: the view lays itself out once.
    QStringList textos;
    textos.reserve(static_cast<qsizetype>(nuevas.size()));
    for (const Linea_Traza &l : nuevas)
        textos << Texto_Linea(l);
    Lineas->appendPlainText(textos.join(QLatin1Char('\n')));
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

// The file holds every line the trace keeps, paused or not.
void Ventana_Trafico::Guardar_Click() {
    const auto ruta = operador_.Dialogo_Guardar({QStringLiteral("Save Traffic"),
                                                 QStringLiteral("Text files|*.txt"),
                                                 QStringLiteral("kv73-traffic.txt")});
    if (!ruta)
        return;
    if (const auto motivo = Escribe_Lineas(*ruta, traza_.Lineas_Desde(0)))
        operador_.Mensaje(
            QStringLiteral("The traffic could not be written to %1: %2").arg(*ruta, *motivo),
            QStringLiteral("KV-73"), Botones::OK, Icono::Critico);
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
