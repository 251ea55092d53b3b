#include "tests/soporte/Operador_Guionizado.h"

#include <gtest/gtest.h>

namespace {
const char *Nombre(int tipo) {
    static const char *nombres[] = {"message box", "input box", "open dialog", "save dialog"};
    return nombres[tipo];
}
} // namespace

Operador_Guionizado::~Operador_Guionizado() {
    for (const auto &p : guion_)
        ADD_FAILURE() << "expected " << Nombre(static_cast<int>(p.tipo)) << " never shown: \""
                      << p.texto.toStdString() << "\"";
}

Operador_Guionizado &Operador_Guionizado::Espera_Mensaje(const QString &texto,
                                                         const QString &titulo,
                                                         Respuesta respuesta) {
    guion_.push_back({Tipo::Mensaje, texto, titulo, respuesta, {}});
    return *this;
}

Operador_Guionizado &Operador_Guionizado::Espera_Entrada(const QString &pregunta,
                                                         const QString &respuesta) {
    guion_.push_back({Tipo::Entrada, pregunta, {}, Respuesta::OK, respuesta});
    return *this;
}

Operador_Guionizado &Operador_Guionizado::Espera_Abrir(std::optional<QString> ruta) {
    guion_.push_back({Tipo::Abrir, {}, {}, Respuesta::OK, std::move(ruta)});
    return *this;
}

Operador_Guionizado &Operador_Guionizado::Espera_Guardar(std::optional<QString> ruta) {
    guion_.push_back({Tipo::Guardar, {}, {}, Respuesta::OK, std::move(ruta)});
    return *this;
}

std::optional<Operador_Guionizado::Paso> Operador_Guionizado::Siguiente(Tipo tipo,
                                                                        const QString &que) {
    if (guion_.empty()) {
        ADD_FAILURE() << "unexpected " << Nombre(static_cast<int>(tipo)) << ": \""
                      << que.toStdString() << "\"";
        return std::nullopt;
    }
    Paso p = guion_.front();
    guion_.pop_front();
    if (p.tipo != tipo) {
        ADD_FAILURE() << "expected " << Nombre(static_cast<int>(p.tipo)) << " \""
                      << p.texto.toStdString() << "\", got " << Nombre(static_cast<int>(tipo))
                      << " \"" << que.toStdString() << "\"";
        return std::nullopt;
    }
    return p;
}

Respuesta Operador_Guionizado::Mensaje(const QString &texto, const QString &titulo, Botones botones,
                                       Icono) {
    vistos.push_back(texto);
    const auto p = Siguiente(Tipo::Mensaje, texto);
    if (!p)
        return botones == Botones::OK ? Respuesta::OK : Respuesta::Cancel;
    EXPECT_EQ(p->texto.toStdString(), texto.toStdString());
    EXPECT_EQ(p->titulo.toStdString(), titulo.toStdString())
        << "title of \"" << texto.toStdString() << "\"";
    return p->respuesta;
}

QString Operador_Guionizado::Caja_Entrada(const QString &pregunta, const QString &,
                                          const QString &defecto) {
    defectos_entrada.push_back(defecto);
    const auto p = Siguiente(Tipo::Entrada, pregunta);
    if (!p)
        return {};
    EXPECT_EQ(p->texto.toStdString(), pregunta.toStdString());
    return p->ruta.value_or(QString());
}

std::optional<QString> Operador_Guionizado::Dialogo_Abrir(const Peticion_Archivo &peticion) {
    peticiones.push_back(peticion);
    const auto p = Siguiente(Tipo::Abrir, peticion.filtro);
    return p ? p->ruta : std::nullopt;
}

std::optional<QString> Operador_Guionizado::Dialogo_Guardar(const Peticion_Archivo &peticion) {
    peticiones.push_back(peticion);
    const auto p = Siguiente(Tipo::Guardar, peticion.filtro);
    return p ? p->ruta : std::nullopt;
}
