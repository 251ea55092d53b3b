#pragma once
// A port that tells a traffic trace what went through the port it wraps: the
// bytes written and read, and when it opened or closed. Everything else passes
// through untouched.

#include "enlace/Puerto_Reenvio.h"

class Traza_Trafico;

class Puerto_Trazado : public Puerto_Reenvio {
    Q_OBJECT
  public:
    // `interno` and `traza` must outlive this port.
    Puerto_Trazado(Puerto_Serie &interno, Traza_Trafico &traza, QObject *padre = nullptr);

    bool Set_PortOpen(bool abierto) override;
    QByteArray Input() override;
    void Output(const QByteArray &bytes) override;

  private:
    // The device went away and the port closed itself.
    void Mira_Perdida();

    Traza_Trafico &traza_;
    bool abierto_ = false;
};
