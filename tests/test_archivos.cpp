// Setpoint files on disk: the bytes written, what a load does to the state, and
// the files that must be refused.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "tests/soporte/Banco.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
const QString No_Es_KV73 = QStringLiteral("It isn't KV-73 File");

// What the hand-made file holds, as its README describes it.
const QByteArray Trama_Muestra =
    Hex("05 10 01 00 00 06 0C 00 55 00 69 00 32 00 41 00 07 5A 5A 5C 7E");
const QByteArray Actuales_Muestra = Hex("05 04 1C 00 3E 00 40 00 E7 00 3A 00 47 00 49 00 E7 00 3C"
                                        "00 00 00 00 00 22 00 00 00 00 00 00 3D 21 00");

QByteArray Lee(const QString &ruta) {
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Escribe(const QString &ruta, const QByteArray &bytes) {
    QFile f(ruta);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Sin_Fecha(QByteArray registro) {
    return registro.replace(50, 8, QByteArray(8, '\0'));
}

template <std::size_t N>
QByteArray Bytes(const Imagen<N> &imagen, std::size_t desde, std::size_t n) {
    return QByteArray(reinterpret_cast<const char *>(imagen.Datos()) + desde,
                      static_cast<qsizetype>(n));
}

// Everything a load may change, so that a refused file can be shown to change nothing.
QByteArray Foto(const Ventanas_En_Memoria &v) {
    const auto &r = Estado.Registro_Archivo;
    return Bytes(Estado.Trama_Escritura, 0, 22) + Bytes(Estado.Nuevos_Setpoints, 0, 22) +
           Bytes(Estado.Set_Setpoints, 0, 18) + Bytes(Estado.Valores_Actuales, 0, 35) +
           Bytes(r.Trama, 0, 22) + Bytes(r.Actuales, 0, 35) +
           (r.Etiqueta + r.Texto_1 + r.Texto_2 + r.Texto_3 + v.Paneles[4] + v.Paneles[5] + v.Titulo)
               .toUtf8() +
           QByteArray::number(r.Fecha) + QByteArray::number(Estado.Comunicacion_OK);
}

class Archivos : public Banco {
  protected:
    QTemporaryDir dir;
    QString Ruta(const char *nombre) const { return dir.filePath(QLatin1String(nombre)); }
};

} // namespace

TEST_F(Archivos, WritingAKnownStateGivesTheHandMadeFile) {
    ASSERT_TRUE(Escribir_Archivo(Ruta("blancos.KV73")));
    EXPECT_EQ(Lee(Ruta("blancos.KV73")).mid(58, 140), QByteArray(140, ' '))
        << "texts are blanks before any file was loaded";

    Estado.Registro_Archivo.Texto_1 = QStringLiteral("UNIT 7");
    Estado.Registro_Archivo.Texto_2 = QStringLiteral("SUBSTATION NORTH");
    Estado.Registro_Archivo.Texto_3 = QStringLiteral("Transformer T2 spare relay");
    for (std::size_t i = 1; i <= 21; ++i)
        Estado.Trama_Escritura[i] = static_cast<uint8_t>(Trama_Muestra[i - 1]);
    for (std::size_t i = 1; i <= 34; ++i)
        Estado.Valores_Actuales[i] = static_cast<uint8_t>(Actuales_Muestra[i - 1]);
    const QDate hoy = QDate::currentDate();
    ASSERT_TRUE(Escribir_Archivo(Ruta("a.KV73")));
    const QByteArray escrito = Lee(Ruta("a.KV73"));
    ASSERT_EQ(escrito.size(), 255);
    EXPECT_EQ(Sin_Fecha(escrito), Sin_Fecha(Lee(Muestra)));

    // Today, as whole days since 30 December 1899 in a little-endian double;
    // the hand-made file's 14 March 2025 checks the encoding.
    double fecha = 0;
    std::memcpy(&fecha, escrito.constData() + 50, 8);
    EXPECT_GE(fecha, Fecha_Archivo(hoy));
    EXPECT_LE(fecha, Fecha_Archivo(hoy) + 1) << "midnight may pass during the test";
    EXPECT_EQ(Lee(Muestra).mid(50, 8), Hex("00 00 00 00 40 54 E6 40"));
    EXPECT_EQ(Fecha_Archivo(QDate(2025, 3, 14)), 45730.0);
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
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17),
              QByteArray(3, '\0') + Trama_Muestra.mid(7, 12) + QByteArray(2, '\0'));
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 34), Actuales_Muestra);
    EXPECT_EQ(ventanas.Paneles[4].toStdString(), "Address:  3");
    EXPECT_EQ(ventanas.Paneles[5].toStdString(), "Not Communicating..");
    EXPECT_EQ(ventanas.Titulo, QStringLiteral("KV73 - ") + Muestra);
    EXPECT_EQ(Estado.Registro_Archivo.Texto_1, QStringLiteral("UNIT 7").leftJustified(20));
}

TEST_F(Archivos, SavedLoadedAndSavedAgainIsIdenticalButTheDate) {
    // Bytes [0] of both images and 8-bit text characters belong to the file's
    // maker: carried along.
    QByteArray muestra = Lee(Muestra);
    muestra[198] = '\x42';
    muestra[220] = '\x43';
    muestra[60] = '\xE9';
    Escribe(Ruta("orig.KV73"), muestra);

    ASSERT_TRUE(Leer_Archivo(Ruta("orig.KV73")));
    ASSERT_TRUE(Escribir_Archivo(Ruta("uno.KV73")));
    ASSERT_TRUE(Leer_Archivo(Ruta("uno.KV73")));
    Escribe(Ruta("dos.KV73"), QByteArray(1000, 'x')); // an old, longer file is replaced whole
    ASSERT_TRUE(Escribir_Archivo(Ruta("dos.KV73")));
    EXPECT_EQ(Sin_Fecha(Lee(Ruta("uno.KV73"))), Sin_Fecha(muestra));
    EXPECT_EQ(Sin_Fecha(Lee(Ruta("dos.KV73"))), Sin_Fecha(muestra));
}

TEST_F(Archivos, RefusedFilesChangeNothing) {
    const QByteArray muestra = Lee(Muestra);
    Escribe(Ruta("minusculas.KV73"), QByteArray(muestra).replace(0, 4, "kv73"));
    Escribe(Ruta("corto.KV73"), muestra.left(254));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("carpeta.KV73")));

    Estado.Comunicacion_OK = true;
    const QByteArray antes = Foto(ventanas);
    operador->Espera_Mensaje(No_Es_KV73)
        .Espera_Mensaje(No_Es_KV73)
        .Espera_Mensaje(QStringLiteral("The file %1 does not exist").arg(Ruta("falta.KV73")))
        .Espera_Mensaje(QStringLiteral("The file %1 could not be read: not a plain file")
                            .arg(Ruta("carpeta.KV73")));
    for (const char *nombre : {"minusculas.KV73", "corto.KV73", "falta.KV73", "carpeta.KV73"}) {
        Estado.Archivo_Cargado = true;
        EXPECT_FALSE(Leer_Archivo(Ruta(nombre))) << nombre;
        EXPECT_FALSE(Estado.Archivo_Cargado) << nombre;
        // Not even the texts: a refused file must not slip into the next save.
        EXPECT_EQ(Foto(ventanas), antes) << nombre;
    }
    EXPECT_FALSE(QFile::exists(Ruta("falta.KV73"))) << "a missing name is not created";

    // Blanks around the tag are trimmed; a longer file is read from its first record.
    Escribe(Ruta("otro.KV73"),
            QByteArray(muestra).replace(0, 50, QByteArray("   KV73").leftJustified(50)) +
                QByteArray(300, '\x7F'));
    EXPECT_TRUE(Leer_Archivo(Ruta("otro.KV73")));
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 34), Actuales_Muestra);
}

TEST_F(Archivos, FailedSaveIsReportedAndLeavesTheOldFileWhole) {
    const QByteArray viejo = Lee(Muestra);
    Escribe(Ruta("viejo.KV73"), viejo);
    const QString no_se_escribe = QStringLiteral("The file %1 could not be written: %2");

    // A disk that fills up after 100 bytes of the record.
    rlimit limite{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limite), 0);
    rlimit corto = limite;
    corto.rlim_cur = 100;
    const auto senal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &corto), 0);
    operador->Espera_Mensaje(no_se_escribe.arg(Ruta("viejo.KV73"), qt_error_string(EFBIG)));
    const bool escrito = Escribir_Archivo(Ruta("viejo.KV73"));
    setrlimit(RLIMIT_FSIZE, &limite);
    std::signal(SIGXFSZ, senal);
    EXPECT_FALSE(escrito);
    EXPECT_EQ(Lee(Ruta("viejo.KV73")), viejo);

    operador->Espera_Mensaje(no_se_escribe.arg(Ruta("falta/a.KV73"), qt_error_string(ENOENT)));
    EXPECT_FALSE(Escribir_Archivo(Ruta("falta/a.KV73")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("viejo.KV73")})
        << "no temporary file is left behind";
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
    EXPECT_EQ(operador->archivos_pedidos[0].nombre.toStdString(), "*.KV73");
    EXPECT_EQ(operador->archivos_pedidos[1].nombre.toStdString(), "*.KV73");
    EXPECT_TRUE(Estado.Archivo_Cargado);

    // Cancel: nothing written, read or said; the last load's outcome stands.
    Estado.Comunicacion_OK = true;
    const QByteArray antes = Foto(ventanas);
    operador->Espera_Guardar(std::nullopt).Espera_Abrir(std::nullopt);
    Guardar_Archivo();
    Abrir_Archivo();
    EXPECT_EQ(Foto(ventanas), antes);
    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("a.KV73")});
}
