#pragma once
// The saved properties of a control, as its container keeps them between runs
// and as the forms hand a control its design-time values. Names compare without
// regard to case. Like the container's own bag, a value equal to the property's
// default is not written, so that reading it back gives the default again.

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

class Bolsa_Propiedades {
  public:
    // The saved value, or `defecto` when the name was never written.
    QVariant Lee(const QString &clave, const QVariant &defecto = {}) const;

    // Saves `valor` under `clave` unless it equals `defecto`; a value already saved
    // under that name is then left as it is. Without a default it is always saved.
    void Escribe(const QString &clave, const QVariant &valor, const QVariant &defecto = {});

  private:
    struct Entrada {
        QString clave;
        QVariant valor;
    };
    QHash<QString, Entrada> entradas_; // by the case-folded name
};
