// Setpoint files on disk: the bytes written, what a load does to the state, and
// the files that must be refused.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "tests/soporte/Banco.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
const QString No_Es_KV73 = QStringLiteral("It isn't KV-73 File");
const QString No_Se_Escribe = QStringLiteral("The file %1 could not be written: %2");

// What the hand-made file holds, as its README describes it.
const QByteArray Trama_Muestra = Hex("05 10 01 00 00 06 0C 00 55 00 69 00 32 00 41 00 07 5A 5A 5C 7E");
const QByteArray Actuales_Muestra = Hex("05 04 1C 00 3E 00 40 00 E7 00 3A 00 47 00 49 00 E7 00 3C"
                                        "00 00 00 00 00 22 00 00 00 00 00 00 3D 21 00");

QByteArray Lee(const QString &ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Escribe(const QString &ruta, const QByteArray &bytes) {
    QFile f(ruta);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The record with the date field (bytes 50..57) blanked out.
QByteArray Sin_Fecha(QByteArray registro) {
    if (registro.size() >= 58)
        registro.replace(50, 8, QByteArray(8, '\0'));
    return registro;
}

template <std::size_t N> QByteArray Bytes(const Imagen<N> &imagen, std::size_t desde, std::size_t n) {
    return QByteArray(reinterpret_cast<const char *>(imagen.Datos()) + desde, static_cast<qsizetype>(n));
}

template <std::size_t N> void Llena(Imagen<N> &imagen, std::size_t desde, const QByteArray &bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i)
        imagen[desde + static_cast<std::size_t>(i)] = static_cast<uint8_t>(bytes[i]);
}

// Everything a load may change, so that a refused file can be shown to change nothing.
QByteArray Foto(const Ventanas_En_Memoria &v) {
    const auto &e = Estado;
    const auto &r = e.Registro_Archivo;
    return Bytes(e.Trama_Escritura, 0, 22) + Bytes(e.Nuevos_Setpoints, 0, 22) +
           Bytes(e.Set_Setpoints, 0, 18) + Bytes(e.Valores_Actuales, 0, 35) + Bytes(r.Trama, 0, 22) +
           Bytes(r.Actuales, 0, 35) + (r.Etiqueta + r.Texto_1 + r.Texto_2 + r.Texto_3).toUtf8() +
           QByteArray::number(r.Fecha) + QByteArray::number(e.Comunicacion_OK) +
           (v.Paneles[4] + v.Paneles[5] + v.Titulo).toUtf8();
}

class Archivos : public Banco {
  protected:
    QTemporaryDir dir;
    QString Ruta(const char *nombre) const { return dir.filePath(QLatin1String(nombre)); }
};

} // namespace

TEST_F(Archivos, WritingAKnownStateGivesTheHandMadeFile) {
    Estado.Registro_Archivo.Texto_1 = QStringLiteral("UNIT 7");
    Estado.Registro_Archivo.Texto_2 = QStringLiteral("SUBSTATION NORTH");
    Estado.Registro_Archivo.Texto_3 = QStringLiteral("Transformer T2 spare relay");
    Llena(Estado.Trama_Escritura, 1, Trama_Muestra);
    Llena(Estado.Valores_Actuales, 1, Actuales_Muestra);

    const QDate antes = QDate::currentDate();
    ASSERT_TRUE(Escribir_Archivo(Ruta("a.KV73")));
    const QDate despues = QDate::currentDate();
    const QByteArray escrito = Lee(Ruta("a.KV73"));
    ASSERT_EQ(escrito.size(), 255);
    EXPECT_EQ(Sin_Fecha(escrito), Sin_Fecha(Lee(Muestra)));

    // The date is today's, whole days since 30 December 1899, little-endian double.
    double fecha = 0;
    std::memcpy(&fecha, escrito.constData() + 50, 8);
    EXPECT_TRUE(fecha == Fecha_Archivo(antes) || fecha == Fecha_Archivo(despues)) << fecha;
    EXPECT_EQ(Fecha_Archivo(QDate(2025, 3, 14)), 45730.0);
    EXPECT_EQ(Lee(Muestra).mid(50, 8), Hex("00 00 00 00 40 54 E6 40"));
    EXPECT_EQ(Dia_Archivo(45730.0), QDate(2025, 3, 14));
    EXPECT_FALSE(Dia_Archivo(std::nan("")).isValid());

    // Before any file was loaded the three texts are blanks.
    Reinicia_Estado();
    ASSERT_TRUE(Escribir_Archivo(Ruta("b.KV73")));
    EXPECT_EQ(Lee(Ruta("b.KV73")).mid(58, 140), QByteArray(140, ' '));
}

TEST_F(Archivos, LoadingTheHandMadeFileShowsItsValues) {
    Estado.Comunicacion_OK = true;
    Estado.Direccion_Rele = 3;
    ASSERT_TRUE(Leer_Archivo(Muestra));

    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_FALSE(Estado.Comunicacion_OK) << "a loaded file is not the relay's live state";
    EXPECT_EQ(Estado.Direccion_Rele, 3) << "the frame's address does not change the link's";
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 1, 21), Trama_Muestra);
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 1, 21), Trama_Muestra);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 4, 12), Trama_Muestra.mid(7, 12));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 3), QByteArray(3, '\0')) << "only the data are restored";
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 34), Actuales_Muestra);

    // What the page shows from it.
    EXPECT_EQ(Lee_Word_Setpoint(CByte(Posicion_Setpoint(QStringLiteral("0100")))), 85);
    EXPECT_EQ(Lee_Word_Setpoint(CByte(Posicion_Setpoint(QStringLiteral("0103")))), 65);
    EXPECT_EQ(Lee_Bit_Setpoint(2, 13), 1);
    EXPECT_EQ(Texto_Temperatura(Lee_Word_Actual(8)), QStringLiteral("Fco"));
    EXPECT_EQ(Lee_Word_Actual(4), 62);

    EXPECT_EQ(ventanas.Paneles[4].toStdString(), "Address:  3");
    EXPECT_EQ(ventanas.Paneles[5].toStdString(), "Not Communicating..");
    EXPECT_EQ(ventanas.Titulo, QStringLiteral("KV73 - ") + Muestra);

    const auto &r = Estado.Registro_Archivo;
    EXPECT_EQ(r.Texto_1, QStringLiteral("UNIT 7").leftJustified(20));
    EXPECT_EQ(r.Texto_3.trimmed(), QStringLiteral("Transformer T2 spare relay"));
    EXPECT_EQ(Dia_Archivo(r.Fecha), QDate(2025, 3, 14));
}

TEST_F(Archivos, SavedLoadedAndSavedAgainIsIdenticalButTheDate) {
    // Bytes [0] of both images are no business of the program's: carried along.
    QByteArray muestra = Lee(Muestra);
    muestra[198] = '\x42';
    muestra[220] = '\x43';
    muestra[60] = '\xE9'; // an 8-bit character in a text
    Escribe(Ruta("orig.KV73"), muestra);

    ASSERT_TRUE(Leer_Archivo(Ruta("orig.KV73")));
    ASSERT_TRUE(Escribir_Archivo(Ruta("uno.KV73")));
    ASSERT_TRUE(Leer_Archivo(Ruta("uno.KV73")));
    ASSERT_TRUE(Escribir_Archivo(Ruta("dos.KV73")));
    EXPECT_EQ(Sin_Fecha(Lee(Ruta("uno.KV73"))), Sin_Fecha(muestra));
    EXPECT_EQ(Sin_Fecha(Lee(Ruta("dos.KV73"))), Sin_Fecha(muestra));

    // Saving over an existing, longer file leaves exactly one record.
    Escribe(Ruta("largo.KV73"), QByteArray(1000, 'x'));
    ASSERT_TRUE(Escribir_Archivo(Ruta("largo.KV73")));
    EXPECT_EQ(Sin_Fecha(Lee(Ruta("largo.KV73"))), Sin_Fecha(muestra));
}

TEST_F(Archivos, TagMustBeKV73InThatCaseWithBlanksAroundIt) {
    const QByteArray muestra = Lee(Muestra);
    QByteArray minusculas = muestra;
    minusculas.replace(0, 4, "kv73");
    QByteArray con_blancos = muestra;
    con_blancos.replace(0, 50, QByteArray("   KV73").leftJustified(50, ' '));
    Escribe(Ruta("minusculas.KV73"), minusculas);
    Escribe(Ruta("blancos.KV73"), con_blancos);

    Estado.Comunicacion_OK = true;
    Estado.Archivo_Cargado = true;
    const QByteArray antes = Foto(ventanas);
    operador->Espera_Mensaje(No_Es_KV73);
    EXPECT_FALSE(Leer_Archivo(Ruta("minusculas.KV73")));
    EXPECT_FALSE(Estado.Archivo_Cargado);
    // Not even the texts: a refused file must not slip into the next save.
    EXPECT_EQ(Foto(ventanas), antes);

    EXPECT_TRUE(Leer_Archivo(Ruta("blancos.KV73")));
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 1, 21), Trama_Muestra);
}

TEST_F(Archivos, DamagedMissingOrUnreadableFilesChangeNothing) {
    const QByteArray muestra = Lee(Muestra);
    Escribe(Ruta("corto.KV73"), muestra.left(254));
    Escribe(Ruta("vacio.KV73"), {});
    Escribe(Ruta("largo.KV73"), muestra + QByteArray(300, '\x7F'));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("carpeta.KV73")));

    Estado.Comunicacion_OK = true;
    Llena(Estado.Trama_Escritura, 1, Hex("01 10 01 00 00 06 0C 00 5A 00 6E"));
    const QByteArray antes = Foto(ventanas);
    operador->Espera_Mensaje(No_Es_KV73)
        .Espera_Mensaje(No_Es_KV73)
        .Espera_Mensaje(QStringLiteral("The file %1 does not exist").arg(Ruta("falta.KV73")))
        .Espera_Mensaje(QStringLiteral("The file %1 could not be read: not a plain file")
                            .arg(Ruta("carpeta.KV73")));
    for (const char *nombre : {"corto.KV73", "vacio.KV73", "falta.KV73", "carpeta.KV73"}) {
        Estado.Archivo_Cargado = true;
        EXPECT_FALSE(Leer_Archivo(Ruta(nombre))) << nombre;
        EXPECT_FALSE(Estado.Archivo_Cargado) << nombre;
        EXPECT_EQ(Foto(ventanas), antes) << nombre;
    }
    EXPECT_FALSE(QFile::exists(Ruta("falta.KV73"))) << "a missing name is not created";

    // A longer file is read from its first record.
    EXPECT_TRUE(Leer_Archivo(Ruta("largo.KV73")));
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 34), Actuales_Muestra);
}

TEST_F(Archivos, FailedSaveIsReportedAndLeavesTheOldFileWhole) {
    const QByteArray viejo = Lee(Muestra);
    Escribe(Ruta("viejo.KV73"), viejo);
    Llena(Estado.Trama_Escritura, 1, Hex("01 10 01 00 00 06 0C 00 5F 00 78"));

    // A disk that fills up half way through the record: the limit on file size
    // makes the write fail after 100 bytes.
    rlimit limite{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limite), 0);
    rlimit corto = limite;
    corto.rlim_cur = 100;
    const auto senal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &corto), 0);
    operador->Espera_Mensaje(No_Se_Escribe.arg(Ruta("viejo.KV73"), qt_error_string(EFBIG)));
    const bool escrito = Escribir_Archivo(Ruta("viejo.KV73"));
    setrlimit(RLIMIT_FSIZE, &limite);
    std::signal(SIGXFSZ, senal);

    EXPECT_FALSE(escrito);
    EXPECT_EQ(Lee(Ruta("viejo.KV73")), viejo);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("viejo.KV73")})
        << "no temporary file is left behind";

    // A folder that is not there, and a name that is a folder.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("carpeta")));
    operador->Espera_Mensaje(No_Se_Escribe.arg(Ruta("falta/a.KV73"), qt_error_string(ENOENT)))
        .Espera_Mensaje(No_Se_Escribe.arg(Ruta("carpeta"), QStringLiteral("Filename refers to a directory")));
    EXPECT_FALSE(Escribir_Archivo(Ruta("falta/a.KV73")));
    EXPECT_FALSE(Escribir_Archivo(Ruta("carpeta")));
    EXPECT_TRUE(QFileInfo(Ruta("carpeta")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("viejo.KV73")});
}

TEST_F(Archivos, DialogsOfferTheFiltersAndCancelDoesNothing) {
    operador->Espera_Guardar(Ruta("a.KV73")).Espera_Abrir(Ruta("a.KV73"));
    Guardar_Archivo();
    Abrir_Archivo();
    ASSERT_EQ(operador->archivos_pedidos.size(), 2u);
    EXPECT_EQ(operador->archivos_pedidos[0].filtro.toStdString(),
              "KV73 Files (*.KV73)|*.KV73| All Files (*.*)|*.*|");
    EXPECT_EQ(operador->archivos_pedidos[1].filtro.toStdString(),
              "KV73 Files (*.KV73)|*.KV73|All Files (*.*)|*.*|");
    for (const auto &p : operador->archivos_pedidos)
        EXPECT_EQ(p.nombre.toStdString(), "*.KV73");
    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_EQ(ventanas.Titulo, QStringLiteral("KV73 - ") + Ruta("a.KV73"));

    // Cancel: nothing written, nothing read, nothing said, the last outcome kept.
    Estado.Comunicacion_OK = true;
    const QByteArray antes = Foto(ventanas);
    operador->Espera_Guardar(std::nullopt).Espera_Abrir(std::nullopt);
    Guardar_Archivo();
    Abrir_Archivo();
    EXPECT_EQ(Foto(ventanas), antes);
    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_TRUE(operador->vistos.empty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.KV73")});
}
