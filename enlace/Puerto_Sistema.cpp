#include "enlace/Puerto_Sistema.h"

#include "enlace/Puerto_Modbus_Tcp.h"
#include "enlace/Puerto_QSerialPort.h"
#include "enlace/Puerto_Tcp.h"

Puerto_Sistema::Puerto_Sistema(QObject *padre)
    : Puerto_Reenvio(*new Puerto_QSerialPort, padre),
      serie_(static_cast<Puerto_QSerialPort *>(&Interno())), tcp_(new Puerto_Tcp(this)),
      modbus_(new Puerto_Modbus_Tcp(this)) {
    serie_->setParent(this);
}

void Puerto_Sistema::Set_CommPort(int16_t puerto) {
    serie_->Set_CommPort(puerto);
    tcp_->Set_CommPort(puerto);
    modbus_->Set_CommPort(puerto);
}

bool Puerto_Sistema::Set_Settings(const QString &texto) {
    tcp_->Set_Settings(texto);
    modbus_->Set_Settings(texto);
    return serie_->Set_Settings(texto);
}

bool Puerto_Sistema::Set_PortOpen(bool abierto) {
    if (!abierto || Interno().PortOpen())
        return Interno().Set_PortOpen(abierto);
    if (Es_Dispositivo_Modbus_Tcp(Dispositivo()))
        Cambia_Interno(*modbus_);
    else if (Es_Dispositivo_Tcp(Dispositivo()))
        Cambia_Interno(*tcp_);
    else
        Cambia_Interno(*serie_);
    return Interno().Set_PortOpen(true);
}

void Puerto_Sistema::Set_Dispositivo(const QString &dispositivo) {
    dispositivo_ = dispositivo;
    serie_->Set_Dispositivo(dispositivo);
    tcp_->Set_Dispositivo(dispositivo);
    modbus_->Set_Dispositivo(dispositivo);
}

QString Puerto_Sistema::Dispositivo() const {
    return dispositivo_.isEmpty() ? Nombre_Dispositivo(CommPort()) : dispositivo_;
}

bool Puerto_Sistema::En_Red() const {
    return &Interno() == tcp_ || &Interno() == modbus_;
}
