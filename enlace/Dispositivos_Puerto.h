#pragma once
// "Port devices": the serial ports of this computer, and the device each of
// COM1..COM4 of the settings dialog opens. The operator picks a listed port or
// types any path (a pseudo-terminal, a /dev/serial/by-id/... link); an empty
// entry leaves the port to the platform's own device. OK keeps the choice in
// the program's settings, for this run and the next.

#include "enlace/Puertos_Maquina.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QTableWidget;

class Dispositivos_Puerto : public QDialog {
    Q_OBJECT
  public:
    explicit Dispositivos_Puerto(QWidget *padre = nullptr);

    // Writes the entries as the assignments of COM1..COM4.
    void accept() override;

    QTableWidget *Tabla;                     // the ports of this computer
    QComboBox *Dispositivo[Puertos_Dialogo]; // COM1..COM4, editable
    QLabel *Entorno[Puertos_Dialogo];        // KV73_COMn, when it overrides the entry
    QDialogButtonBox *Botones;

  private:
    void Llena_Tabla(const std::vector<Puerto_Maquina> &puertos);
};
