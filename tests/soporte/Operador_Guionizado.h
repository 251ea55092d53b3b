#pragma once
// A scripted operator: every dialog the program opens must have been announced
// by the test, with its exact text and title; the answer comes from the script.
// Anything unexpected fails the running test. Every message and every file
// dialog's request is recorded.

#include "comun/Operador.h"

#include <deque>
#include <vector>

class Operador_Guionizado : public Operador {
  public:
    ~Operador_Guionizado() override;

    // The next dialog is this message box; the operator answers `respuesta`.
    Operador_Guionizado &Espera_Mensaje(const QString &texto, const QString &titulo = {},
                                        Respuesta respuesta = Respuesta::OK);
    // The next dialog is an input box with this question; the operator types `respuesta`.
    Operador_Guionizado &Espera_Entrada(const QString &pregunta, const QString &respuesta);
    // The next dialog is a file dialog; the operator picks `ruta` (nothing: Cancel).
    Operador_Guionizado &Espera_Abrir(std::optional<QString> ruta);
    Operador_Guionizado &Espera_Guardar(std::optional<QString> ruta);

    Respuesta Mensaje(const QString &texto, const QString &titulo, Botones botones,
                      Icono icono) override;
    QString Caja_Entrada(const QString &pregunta, const QString &titulo,
                         const QString &defecto) override;
    std::optional<QString> Dialogo_Abrir(const Peticion_Archivo &peticion) override;
    std::optional<QString> Dialogo_Guardar(const Peticion_Archivo &peticion) override;

    std::vector<QString> vistos;              // texts of the message boxes shown
    std::vector<QString> defectos_entrada;    // default answers the input boxes offered
    std::vector<Peticion_Archivo> peticiones; // file dialogs as the program asked for them

  private:
    enum class Tipo { Mensaje, Entrada, Abrir, Guardar };
    struct Paso {
        Tipo tipo;
        QString texto;
        QString titulo;
        Respuesta respuesta = Respuesta::OK;
        std::optional<QString> ruta;
    };
    std::optional<Paso> Siguiente(Tipo tipo, const QString &que);
    std::deque<Paso> guion_;
};
