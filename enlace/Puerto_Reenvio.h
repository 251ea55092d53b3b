#pragma once
// A port that hands every operation to another one: the base of the ports that
// stand between the program and the port doing the work (the trace that records
// the bytes, the production port that picks a serial device or a network
// connection by the device's name). A subclass overrides only what it adds to.

#include "enlace/Puerto_Serie.h"

class Puerto_Reenvio : public Puerto_Serie {
    Q_OBJECT
  public:
    // `interno` must outlive this port.
    explicit Puerto_Reenvio(Puerto_Serie &interno, QObject *padre = nullptr);

    void Set_CommPort(int16_t puerto) override { Interno().Set_CommPort(puerto); }
    int16_t CommPort() const override { return Interno().CommPort(); }
    bool Set_Settings(const QString &texto) override { return Interno().Set_Settings(texto); }
    QString Settings() const override { return Interno().Settings(); }

    bool Set_PortOpen(bool abierto) override { return Interno().Set_PortOpen(abierto); }
    bool PortOpen() const override { return Interno().PortOpen(); }
    QString Error_Texto() const override { return Interno().Error_Texto(); }

    void Set_DTREnable(bool activo) override { Interno().Set_DTREnable(activo); }
    void Set_InputLen(int longitud) override { Interno().Set_InputLen(longitud); }

    int InBufferCount() override { return Interno().InBufferCount(); }
    QByteArray Input() override { return Interno().Input(); }
    void Output(const QByteArray &bytes) override { Interno().Output(bytes); }

    bool Perdido() const override { return Interno().Perdido(); }

  protected:
    // The port the operations go to; a subclass may change it between openings.
    virtual Puerto_Serie &Interno() const { return *interno_; }
    void Cambia_Interno(Puerto_Serie &interno);

  private:
    Puerto_Serie *interno_;
    QMetaObject::Connection aviso_;
};
