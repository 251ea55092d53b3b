#include "formularios/Ventana_Provisional.h"

#include <QApplication>
#include <memory>

int main(int argc, char **argv) {
    QApplication aplicacion(argc, argv);
    std::unique_ptr<QWidget> ventana(Crea_Ventana_Provisional());
    ventana->show();
    return QApplication::exec();
}
