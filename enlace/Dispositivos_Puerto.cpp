#include "enlace/Dispositivos_Puerto.h"

#include "enlace/Puerto_Serie.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

Dispositivos_Puerto::Dispositivos_Puerto(QWidget *padre) : QDialog(padre) {
    setWindowTitle(QStringLiteral("Port devices"));
    auto *columna = new QVBoxLayout(this);

    columna->addWidget(new QLabel(QStringLiteral("Serial ports of this computer:"), this));
    Tabla = new QTableWidget(0, 6, this);
    Tabla->setHorizontalHeaderLabels(
        {QStringLiteral("Device"), QStringLiteral("Description"), QStringLiteral("Manufacturer"),
         QStringLiteral("Serial number"), QStringLiteral("Access"), QStringLiteral("Port")});
    Tabla->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Tabla->setSelectionBehavior(QAbstractItemView::SelectRows);
    Tabla->verticalHeader()->hide();
    Tabla->setFocusPolicy(Qt::NoFocus);
    Tabla->horizontalHeader()->setStretchLastSection(true);
    columna->addWidget(Tabla);

    columna->addWidget(new QLabel(
        QStringLiteral("Device of each port (empty: the computer's own device):"), this));
    auto *rejilla = new QGridLayout;
    const std::vector<Puerto_Maquina> puertos = Puertos_Maquina();
    for (int16_t n = 1; n <= Puertos_Dialogo; ++n) {
        const int i = n - 1;
        rejilla->addWidget(new QLabel(QStringLiteral("COM%1").arg(n), this), i, 0);
        Dispositivo[i] = new QComboBox(this);
        Dispositivo[i]->setEditable(true);
        Dispositivo[i]->setInsertPolicy(QComboBox::NoInsert);
        Dispositivo[i]->addItem(QString());
        for (const Puerto_Maquina &p : puertos)
            Dispositivo[i]->addItem(p.dispositivo);
        Dispositivo[i]->setCurrentText(Dispositivo_Asignado(n));
        Dispositivo[i]->lineEdit()->setPlaceholderText(Dispositivo_Por_Defecto(n));
        Dispositivo[i]->setMinimumWidth(260);
        rejilla->addWidget(Dispositivo[i], i, 1);
        // The environment wins over the entry; the operator should not wonder why.
        const Dispositivo_Puerto efectivo = Dispositivo_De(n);
        Entorno[i] = new QLabel(this);
        if (efectivo.origen == Origen_Dispositivo::Entorno)
            Entorno[i]->setText(
                QStringLiteral("KV73_COM%1 in force: %2").arg(n).arg(efectivo.dispositivo));
        rejilla->addWidget(Entorno[i], i, 2);
    }
    rejilla->setColumnStretch(2, 1);
    columna->addLayout(rejilla);
    columna->addWidget(
        new QLabel(QStringLiteral("A relay behind a serial device server: type tcp://HOST:PORT; "
                                  "behind a Modbus TCP gateway: modbus-tcp://HOST[:PORT]."),
                   this));

    Botones = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(Botones, &QDialogButtonBox::accepted, this, &Dispositivos_Puerto::accept);
    connect(Botones, &QDialogButtonBox::rejected, this, &Dispositivos_Puerto::reject);
    columna->addWidget(Botones);

    Llena_Tabla(puertos);
    resize(700, 380);
}

void Dispositivos_Puerto::Llena_Tabla(const std::vector<Puerto_Maquina> &puertos) {
    Tabla->setRowCount(static_cast<int>(puertos.size()));
    for (int fila = 0; fila < static_cast<int>(puertos.size()); ++fila) {
        const Puerto_Maquina &p = puertos[static_cast<std::size_t>(fila)];
        QStringList com;
        for (int16_t n : p.com)
            com << QStringLiteral("COM%1").arg(n);
        const QString textos[] = {p.dispositivo,
                                  p.descripcion,
                                  p.fabricante,
                                  p.numero_serie,
                                  p.red      ? QStringLiteral("network")
                                  : p.acceso ? QStringLiteral("yes")
                                             : QStringLiteral("no"),
                                  com.join(QStringLiteral(", "))};
        for (int c = 0; c < 6; ++c)
            Tabla->setItem(fila, c, new QTableWidgetItem(textos[c]));
        if (p.red)
            Tabla->item(fila, 4)->setToolTip(
                QStringLiteral("reached over TCP: no file permission applies"));
        else if (!p.acceso)
            Tabla->item(fila, 4)->setToolTip(QStringLiteral("add your user to the dialout group"));
    }
    Tabla->resizeColumnsToContents();
}

void Dispositivos_Puerto::accept() {
    for (int16_t n = 1; n <= Puertos_Dialogo; ++n)
        Asigna_Dispositivo(n, Dispositivo[n - 1]->currentText());
    QDialog::accept();
}
