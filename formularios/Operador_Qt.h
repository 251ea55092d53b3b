#pragma once
// The operator in front of the screen: message boxes, the input box and the
// file dialogs as Qt shows them.

#include "comun/Operador.h"

class QWidget;

class Operador_Qt : public Operador {
  public:
    Respuesta Mensaje(const QString &texto, const QString &titulo, Botones botones,
                      Icono icono) override;
    QString Caja_Entrada(const QString &pregunta, const QString &titulo,
                         const QString &defecto) override;
    std::optional<QString> Dialogo_Abrir(const Peticion_Archivo &peticion) override;
    std::optional<QString> Dialogo_Guardar(const Peticion_Archivo &peticion) override;
};

// The title a message box without one of its own shows.
inline const QString Titulo_Aplicacion = QStringLiteral("KV-73");

// "Name (*.a)|*.a|Other (*.*)|*.*|" as Qt's file dialogs take it: "Name (*.a);;Other (*.*)".
QString Filtro_Qt(const QString &filtro);
