#include "formularios/Ventana_Eventos.h"

#include "archivos/Escritura_Segura.h"
#include "comun/Operador.h"
#include "formularios/Principal.h"
#include "registro/Fila_Registro.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QStringList Tipos = {QStringLiteral("lamp"), QStringLiteral("link"),
                           QStringLiteral("setpoints"), QStringLiteral("reset-max")};

QComboBox *Lista(QWidget *padre, const QStringList &textos, const QString &nombre) {
    auto *lista = new QComboBox(padre);
    lista->setObjectName(nombre);
    lista->addItems(textos);
    return lista;
}

} // namespace

Ventana_Eventos::Ventana_Eventos(Principal &host, QWidget *padre)
    : QWidget(padre, Qt::Window), host_(host) {
    setObjectName(QStringLiteral("Ventana_Eventos"));
    setWindowTitle(QStringLiteral("Events"));
    Construye();
    reloj_.setInterval(Intervalo_ms);
    connect(&reloj_, &QTimer::timeout, this, &Ventana_Eventos::Revisa);
    connect(&host, &Principal::Evento_Anotado, this, &Ventana_Eventos::Al_Anotar);
    for (QComboBox *lista : {Tipo, Periodo})
        connect(lista, &QComboBox::currentIndexChanged, this, &Ventana_Eventos::Consulta);
    connect(Rele, &QSpinBox::valueChanged, this, &Ventana_Eventos::Consulta);
    connect(Exportar, &QPushButton::clicked, this, &Ventana_Eventos::Exporta);
    // Wide enough for every column of a lamp or link row, tall enough for a
    // shift's worth of them.
    resize(1100, 540);
    Consulta();
}

void Ventana_Eventos::Construye() {
    auto *pila = new QVBoxLayout(this);
    auto *filtros = new QHBoxLayout;
    Rele = new QSpinBox(this);
    Rele->setObjectName(QStringLiteral("Rele"));
    Rele->setRange(0, 255);
    Rele->setSpecialValueText(QStringLiteral("All"));
    // A typed address is looked up once it is complete (Enter, or the focus
    // leaving), not at each digit; the arrows look at once.
    Rele->setKeyboardTracking(false);
    Rele->setToolTip(QStringLiteral("The relay's address; All for every relay"));
    Rele->setMinimumWidth(Rele->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 40);
    Tipo = Lista(this, QStringList{QStringLiteral("All kinds")} + Tipos, QStringLiteral("Tipo"));
    Periodo = Lista(this,
                    {QStringLiteral("Last hour"), QStringLiteral("Last 24 hours"),
                     QStringLiteral("Last 7 days"), QStringLiteral("All")},
                    QStringLiteral("Periodo"));
    Periodo->setCurrentIndex(1);
    Exportar = new QPushButton(QStringLiteral("Export CSV..."), this);
    Exportar->setToolTip(QStringLiteral("Write the rows shown to a CSV file"));
    filtros->addWidget(new QLabel(QStringLiteral("Relay:"), this));
    filtros->addWidget(Rele);
    filtros->addWidget(new QLabel(QStringLiteral("Kind:"), this));
    filtros->addWidget(Tipo);
    filtros->addWidget(new QLabel(QStringLiteral("Span:"), this));
    filtros->addWidget(Periodo);
    filtros->addStretch();
    filtros->addWidget(Exportar);
    pila->addLayout(filtros);

    Tabla = new QTableView(this);
    Tabla->setObjectName(QStringLiteral("Tabla_Eventos"));
    Tabla->setModel(&modelo_);
    Tabla->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tabla->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabla->setWordWrap(false);
    Tabla->verticalHeader()->hide();
    Tabla->verticalHeader()->setDefaultSectionSize(Tabla->fontMetrics().height() + 6);
    const int anchos[] = {140, 110, 60, 72, 160, 80, 140, 140};
    for (int c = 0; c < 8; ++c)
        Tabla->setColumnWidth(c, anchos[c]);
    Tabla->horizontalHeader()->setStretchLastSection(true);
    pila->addWidget(Tabla, 1);
    Nota = new QLabel(this);
    Nota->setObjectName(QStringLiteral("Nota_Eventos"));
    pila->addWidget(Nota);
}

Filtro_Eventos Ventana_Eventos::Filtro() const {
    Filtro_Eventos f;
    if (const qint64 s = Periodos_s[Periodo->currentIndex()]; s > 0)
        f.desde = QDateTime::currentDateTime().addSecs(-s);
    if (Rele->value() > 0)
        f.direcciones = {Rele->value()};
    if (Tipo->currentIndex() > 0)
        f.tipos = {Tipo->currentText()};
    f.limite = Modelo_Eventos::Maximo_Filas;
    return f;
}

bool Ventana_Eventos::Pasa(const Evento &e) const {
    const Filtro_Eventos f = Filtro();
    return (!f.desde || e.hora >= *f.desde) &&
           (f.direcciones.isEmpty() || f.direcciones.contains(e.direccion)) &&
           (f.tipos.isEmpty() || f.tipos.contains(e.tipo));
}

void Ventana_Eventos::Consulta() {
    QString error;
    const std::optional<QList<Evento>> eventos = host_.Diario().Consulta(Filtro(), &error);
    if (!eventos) {
        modelo_.Pon({});
        Escribe_Nota(error);
        return;
    }
    ultimo_id_ = 0;
    for (const Evento &e : *eventos)
        ultimo_id_ = std::max(ultimo_id_, e.id);
    modelo_.Pon(*eventos);
    Escribe_Nota();
}

QString Ventana_Eventos::Huella_Diario() const {
    QString huella;
    for (const QString &ruta :
         {host_.Diario().Ruta(), host_.Diario().Ruta() + QStringLiteral("-wal")}) {
        const QFileInfo archivo(ruta);
        huella += QStringLiteral("%1:%2;")
                      .arg(archivo.size())
                      .arg(archivo.lastModified().toMSecsSinceEpoch());
    }
    return huella;
}

void Ventana_Eventos::Revisa() {
    // Another program's write changes the journal's file or its write-ahead
    // log: looking at both costs a shown window far less than a query every
    // two seconds. Every Vueltas_Sin_Mirar looks, the query runs all the same,
    // for two writes in one millisecond that leave the same size.
    const QString huella = Huella_Diario();
    if (huella == huella_ && ++vueltas_sin_consulta_ < Vueltas_Sin_Mirar)
        return;
    huella_ = huella;
    vueltas_sin_consulta_ = 0;
    Filtro_Eventos f = Filtro();
    f.despues_de_id = ultimo_id_;
    const std::optional<QList<Evento>> eventos = host_.Diario().Consulta(f);
    if (!eventos)
        return;
    for (const Evento &e : *eventos)
        ultimo_id_ = std::max(ultimo_id_, e.id);
    const auto antes = modelo_.Filas().size();
    modelo_.Agrega(*eventos);
    // The span moves on with the clock.
    if (f.desde)
        modelo_.Recorta(*f.desde);
    if (!eventos->isEmpty() || modelo_.Filas().size() != antes)
        Escribe_Nota();
}

void Ventana_Eventos::Al_Anotar(const Evento &evento) {
    if (Pasa(evento)) {
        modelo_.Agrega({evento});
        Escribe_Nota();
    }
}

void Ventana_Eventos::Escribe_Nota(const QString &error) {
    if (!error.isEmpty()) {
        Nota->setText(error);
        return;
    }
    const auto n = modelo_.Filas().size();
    QString texto =
        n >= Modelo_Eventos::Maximo_Filas
            ? QStringLiteral("The newest %1 events; narrow the filters for older ones").arg(n)
            : QStringLiteral("%1 events").arg(n);
    // The events the journal refused are not in it.
    if (const QString fallo = host_.Fallo_Diario(); !fallo.isEmpty())
        texto += QStringLiteral(" (%1)").arg(fallo);
    Nota->setText(texto);
}

QString Ventana_Eventos::Csv() const {
    QString texto = Modelo_Eventos::Columnas().join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (const Evento &e : modelo_.Filas()) {
        QStringList campos;
        for (const QString &c : Modelo_Eventos::Campos(e))
            campos << Campo_Csv(c);
        texto += campos.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return texto;
}

void Ventana_Eventos::Exporta() {
    Operador &op = host_.Dialogo1();
    const auto ruta = op.Dialogo_Guardar({QStringLiteral("Export events"),
                                          QStringLiteral("CSV files (*.csv)|*.csv"),
                                          QStringLiteral("kv73-events.csv")});
    if (!ruta)
        return;
    if (const auto motivo = Escribe_Archivo_Entero(*ruta, Csv().toUtf8())) {
        op.Mensaje(QStringLiteral("The file %1 could not be written: %2").arg(*ruta, *motivo));
        return;
    }
    Nota->setText(
        QStringLiteral("%1 events exported to %2").arg(modelo_.Filas().size()).arg(*ruta));
}

void Ventana_Eventos::showEvent(QShowEvent *evento) {
    // What other programs wrote while the window was hidden comes in at once.
    Revisa();
    reloj_.start();
    QWidget::showEvent(evento);
}

void Ventana_Eventos::hideEvent(QHideEvent *evento) {
    reloj_.stop();
    QWidget::hideEvent(evento);
}
