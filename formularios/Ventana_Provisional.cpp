#include "formularios/Ventana_Provisional.h"

#include <QLabel>
#include <QVBoxLayout>

QWidget *Crea_Ventana_Provisional() {
    auto *ventana = new QWidget;
    ventana->setWindowTitle(QStringLiteral("KV-73"));
    auto *capa = new QVBoxLayout(ventana);
    auto *texto = new QLabel(QStringLiteral("KV-73 relay: not connected"), ventana);
    texto->setAlignment(Qt::AlignCenter);
    capa->addWidget(texto);
    ventana->resize(400, 200);
    return ventana;
}
