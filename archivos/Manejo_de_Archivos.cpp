#include "archivos/Manejo_de_Archivos.h"

#include "archivos/Escritura_Segura.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Operador.h"
#include "comun/Texto.h"
#include "datos/Rangos_Setpoints.h"
#include "protocolo/Enlace_Rele.h"
#include "protocolo/Lectura_Escritura.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <optional>

namespace T = Textos_Archivos;

namespace {

// Where each field of the record starts, and its width in bytes.
constexpr qsizetype Largo_Registro = 255;
struct Campo {
    qsizetype inicio;
    qsizetype ancho;
};
constexpr Campo Campo_Etiqueta{0, 50};
constexpr Campo Campo_Fecha{50, 8};
constexpr Campo Campo_Texto_1{58, 20};
constexpr Campo Campo_Texto_2{78, 20};
constexpr Campo Campo_Texto_3{98, 100};
constexpr Campo Campo_Trama{198, 22};
constexpr Campo Campo_Actuales{220, 35};

const QDate Dia_Cero(1899, 12, 30);

// Texts are one byte a character. Latin-1 gives every byte a character of its
// own, so texts made by other programs come back unchanged when saved again.
void Pon_Texto(QByteArray &registro, Campo campo, const QString &texto) {
    registro.replace(campo.inicio, campo.ancho,
                     Ajusta(texto, static_cast<int>(campo.ancho)).toLatin1());
}

QString Toma_Texto(const QByteArray &registro, Campo campo) {
    return QString::fromLatin1(registro.mid(campo.inicio, campo.ancho));
}

template <std::size_t N>
void Pon_Imagen(QByteArray &registro, Campo campo, const Imagen<N> &imagen) {
    for (qsizetype i = 0; i < campo.ancho; ++i)
        registro[campo.inicio + i] = static_cast<char>(imagen[static_cast<std::size_t>(i)]);
}

template <std::size_t N>
void Toma_Imagen(const QByteArray &registro, Campo campo, Imagen<N> &imagen) {
    for (qsizetype i = 0; i < campo.ancho; ++i)
        imagen[static_cast<std::size_t>(i)] = static_cast<uint8_t>(registro[campo.inicio + i]);
}

QByteArray Bytes_De_Registro(const Registro_KV73 &r) {
    QByteArray registro(Largo_Registro, ' ');
    Pon_Texto(registro, Campo_Etiqueta, r.Etiqueta);
    uint64_t bits = 0;
    std::memcpy(&bits, &r.Fecha, sizeof bits);
    qToLittleEndian(bits, registro.data() + Campo_Fecha.inicio);
    Pon_Texto(registro, Campo_Texto_1, r.Texto_1);
    Pon_Texto(registro, Campo_Texto_2, r.Texto_2);
    Pon_Texto(registro, Campo_Texto_3, r.Texto_3);
    Pon_Imagen(registro, Campo_Trama, r.Trama);
    Pon_Imagen(registro, Campo_Actuales, r.Actuales);
    return registro;
}

Registro_KV73 Registro_De_Bytes(const QByteArray &registro) {
    Registro_KV73 r;
    r.Etiqueta = Toma_Texto(registro, Campo_Etiqueta);
    const uint64_t bits = qFromLittleEndian<uint64_t>(registro.constData() + Campo_Fecha.inicio);
    std::memcpy(&r.Fecha, &bits, sizeof bits);
    r.Texto_1 = Toma_Texto(registro, Campo_Texto_1);
    r.Texto_2 = Toma_Texto(registro, Campo_Texto_2);
    r.Texto_3 = Toma_Texto(registro, Campo_Texto_3);
    Toma_Imagen(registro, Campo_Trama, r.Trama);
    Toma_Imagen(registro, Campo_Actuales, r.Actuales);
    return r;
}

// Only blanks are trimmed, so a tag "KV73" preceded by blanks is a KV-73 file
// and one in other letter case is not.
bool Etiqueta_Correcta(const QString &etiqueta) {
    qsizetype desde = 0;
    qsizetype hasta = etiqueta.size();
    while (desde < hasta && etiqueta[desde] == u' ')
        ++desde;
    while (hasta > desde && etiqueta[hasta - 1] == u' ')
        --hasta;
    return etiqueta.mid(desde, hasta - desde) == T::Etiqueta;
}

void Avisa(Enlace_Rele &e, const QString &texto) {
    e.Dialogos().Mensaje(texto);
}

// The record in the bytes of a file, or nothing (the operator told why) when
// they are too short or not tagged "KV73". Bytes past the first record are not
// the program's.
std::optional<Registro_KV73> Registro_Leido(Enlace_Rele &e, const QByteArray &bytes) {
    // A short file would load its missing setpoints as 0 degrees.
    if (bytes.size() < Largo_Registro || !Etiqueta_Correcta(Toma_Texto(bytes, Campo_Etiqueta))) {
        Avisa(e, T::No_Es_KV73);
        return std::nullopt;
    }
    return Registro_De_Bytes(bytes);
}

// The record of a file, or nothing (the operator told why) when it cannot be
// one: missing, not a plain file, unreadable, too short or not tagged "KV73".
// A longer file is read from its first record.
std::optional<Registro_KV73> Lee_Registro(Enlace_Rele &e, const QString &ruta) {
    const QFileInfo info(ruta);
    if (!info.exists()) {
        Avisa(e, T::No_Existe.arg(ruta));
        return std::nullopt;
    }
    // A device or a pipe could block the program or never end.
    if (!info.isFile()) {
        Avisa(e, T::No_Se_Lee.arg(ruta, No_Es_Archivo_Simple));
        return std::nullopt;
    }
    QFile archivo(ruta);
    if (!archivo.open(QIODevice::ReadOnly)) {
        Avisa(e, T::No_Se_Lee.arg(ruta, archivo.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = archivo.read(Largo_Registro);
    if (archivo.error() != QFileDevice::NoError) {
        Avisa(e, T::No_Se_Lee.arg(ruta, archivo.errorString()));
        return std::nullopt;
    }
    return Registro_Leido(e, bytes);
}

// A loaded file replaces what the program shows; the relay's address stays the
// one of the link settings, whatever the frame in the file says.
void Aplica_Registro(Enlace_Rele &e, const Registro_KV73 &r, const QString &ruta) {
    Estado.Registro_Archivo = r;
    Estado.Comunicacion_OK = false;
    Estado.Trama_Escritura.Copia(1, r.Trama, 1, 21);
    Estado.Nuevos_Setpoints.Copia(1, r.Trama, 1, 21);
    Estado.Edicion_Pendiente = false;
    Estado.Valores_Actuales.Copia(1, r.Actuales, 1, 34);
    Restaura_Set_Setpoints(Estado.Direccion_Rele);
    e.Textos().Escribe_Panel(5, T::Direccion + Str(Estado.Direccion_Rele));
    e.Textos().Escribe_Panel(6, T::No_Comunicando);
    Estado.Archivo_Cargado = true;
    e.Textos().Escribe_Titulo(T::Titulo_Host + ruta);
}

Peticion_Archivo Peticion(const QString &filtro) {
    return {QString(), filtro, T::Nombre_Inicial};
}

} // namespace

double Fecha_Archivo(const QDate &dia) {
    return static_cast<double>(Dia_Cero.daysTo(dia));
}

QDate Dia_Archivo(double fecha) {
    // Beyond a few million days no calendar date is meant.
    if (!std::isfinite(fecha) || std::fabs(fecha) > 3.0e6)
        return {};
    return Dia_Cero.addDays(static_cast<qint64>(std::floor(fecha)));
}

QString Con_Extension(const QString &ruta, const QString &extension) {
    if (!QFileInfo(ruta).suffix().isEmpty())
        return ruta;
    return ruta.endsWith(u'.') ? ruta + extension : ruta + u'.' + extension;
}

bool Escribir_Archivo(Enlace_Rele &e, const QString &ruta) {
    Registro_KV73 r = Estado.Registro_Archivo;
    r.Etiqueta = Ajusta(T::Etiqueta, static_cast<int>(Campo_Etiqueta.ancho));
    r.Fecha = Fecha_Archivo(QDate::currentDate());
    // Bytes [0] of both images are not the program's: they keep what the last
    // loaded file had there.
    r.Trama.Copia(1, Estado.Trama_Escritura, 1, 21);
    r.Actuales.Copia(1, Estado.Valores_Actuales, 1, 34);

    if (const auto motivo = Escribe_Archivo_Entero(ruta, Bytes_De_Registro(r))) {
        Avisa(e, T::No_Se_Escribe.arg(ruta, *motivo));
        return false;
    }
    Estado.Registro_Archivo = r;
    return true;
}

namespace {
// A file's setpoints reach the editors and the next write as they are, so ones
// no editor could have set are refused here, before either sees them.
bool En_Rango(Enlace_Rele &e, const Registro_KV73 &r, const QString &ruta) {
    const auto problemas = Revisa_Setpoints(r.Trama);
    if (problemas.isEmpty())
        return true;
    Avisa(e, T::Fuera_De_Rango.arg(ruta, problemas.first().texto));
    return false;
}

enum class Revision { Completa, Solo_Formato };

bool Carga(Enlace_Rele &e, const std::optional<Registro_KV73> &registro, const QString &ruta,
           Revision revision) {
    if (!registro || (revision == Revision::Completa && !En_Rango(e, *registro, ruta))) {
        Estado.Archivo_Cargado = false;
        return false;
    }
    Aplica_Registro(e, *registro, ruta);
    return true;
}
} // namespace

bool Leer_Archivo(Enlace_Rele &e, const QString &ruta) {
    return Carga(e, Lee_Registro(e, ruta), ruta, Revision::Completa);
}

bool Leer_Archivo_Para_Ver(Enlace_Rele &e, const QString &ruta) {
    return Carga(e, Lee_Registro(e, ruta), ruta, Revision::Solo_Formato);
}

bool Leer_Archivo_Bytes(Enlace_Rele &e, const QByteArray &bytes, const QString &ruta) {
    return Carga(e, Registro_Leido(e, bytes), ruta, Revision::Completa);
}

void Guardar_Archivo(Enlace_Rele &e) {
    const auto ruta = e.Dialogos().Dialogo_Guardar(Peticion(T::Filtro_Guardar));
    if (ruta && !ruta->isEmpty())
        Escribir_Archivo(e, Con_Extension(*ruta, T::Extension));
}

void Abrir_Archivo(Enlace_Rele &e) {
    const auto ruta = e.Dialogos().Dialogo_Abrir(Peticion(T::Filtro_Abrir));
    if (ruta && !ruta->isEmpty())
        Leer_Archivo(e, *ruta);
}
