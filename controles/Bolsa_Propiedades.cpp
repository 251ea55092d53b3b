#include "controles/Bolsa_Propiedades.h"

QVariant Bolsa_Propiedades::Lee(const QString &clave, const QVariant &defecto) const {
    const auto it = entradas_.constFind(clave.toCaseFolded());
    return it == entradas_.cend() ? defecto : it->valor;
}

void Bolsa_Propiedades::Escribe(const QString &clave, const QVariant &valor,
                                const QVariant &defecto) {
    if (defecto.isValid() && valor == defecto)
        return;
    Entrada &entrada = entradas_[clave.toCaseFolded()];
    if (entrada.clave.isEmpty())
        entrada.clave = clave;
    entrada.valor = valor;
}
