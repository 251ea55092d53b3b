// Setpoint files and the setpoint write: the bytes of a file, what a load does to
// the state, the files that must be refused and the dialogs that name them; the
// block write and its reply; kv73ctl's save, show, send and set, in-process and
// against kv73-sim.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_Datos.h"
#include "datos/Rangos_Setpoints.h"
#include "formularios/Operador_Qt.h"
#include "kv73ctl/Comandos.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Pty.h"
#include "tests/soporte/Simulador.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
const QString No_Es_KV73 = QStringLiteral("It isn't KV-73 File");
const QString Guardados = QStringLiteral("Setpoints were Saved to the Relay memory");
// What the hand-made file holds, as its README describes it.
const QByteArray Trama_Muestra =
    Hex("05 10 01 00 00 06 0C 00 55 00 69 00 32 00 41 00 07 5A 5A 5C 7E");
const QByteArray Actuales_Muestra = Hex("05 04 1C 00 3E 00 40 00 E7 00 3A 00 47 00 49 00 E7 00 3C"
                                        "00 00 00 00 00 22 00 00 00 00 00 00 3D 21 00");
// The relay's setpoints, and the write of them with L1 moved to 95 and L2 to 120.
const char *const Lectura = "setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, "
                            "High Fan 75, options 0x000B, 0x0105 = 0x1234";
const char *const Escritura = "setpoint write request, address 1: L1 95, L2 120, Low Fan 60, "
                              "High Fan 75, options 0x000B, 0x0105 = 0x1234";

QByteArray V(const char *descripcion) {
    return Vector(QLatin1String(descripcion));
}

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

// The hand-made file with its four temperatures (L1, L2, Low Fan, High Fan)
// replaced; its frame's CRC is not read on load.
QByteArray Con_Temperaturas(std::array<int, 4> t) {
    QByteArray archivo = Lee(Muestra);
    for (int k = 0; k < 4; ++k) {
        archivo[206 + 2 * k] = static_cast<char>(t[k] >> 8);
        archivo[207 + 2 * k] = static_cast<char>(t[k] & 0xFF);
    }
    return archivo;
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

    // A KV-73 on the in-memory port, answering with the independent frames: its
    // setpoint reply is `lectura` and its reply to a setpoint write `escrita`.
    QByteArray lectura = V(Lectura), escrita = V("setpoint write reply, address 1");
    void Conecta_Rele() {
        Enlace_Arriba();
        puerto->al_recibir = [this](const QByteArray &p) {
            const auto f = static_cast<uint8_t>(p[1]);
            puerto->Inyecta(f == 0x04   ? V("identification reply, address 1, registers 0x0002 "
                                              "0x0001 0x007F (accepted)")
                            : f == 0x03 ? lectura
                            : f == 0x05 ? p
                                        : escrita);
        };
    }
    int Set(const QStringList &argumentos) {
        Cambios_Setpoints c;
        EXPECT_FALSE(Analiza_Cambios(argumentos, c));
        return Cambia_Setpoints(*enlace, c);
    }
};

class Escritura_Setpoints : public Archivos {};

// The block after `argumentos` on a relay holding `rele`, or the refusal.
QString Aplicado(const char *argumentos, std::array<int, 6> rele = {90, 110, 60, 75, 0x0B, 0}) {
    Cambios_Setpoints c;
    if (const auto error = Analiza_Cambios(QString::fromLatin1(argumentos).split(u' '), c))
        return QStringLiteral("before the relay: ") + *error;
    Imagen_Setpoints s{rele};
    if (const auto error = Aplica_Cambios(c, s))
        return *error;
    const auto &r = s.registros;
    return QString::asprintf("%d %d %d %d %x", r[0], r[1], r[2], r[3], r[4]);
}

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
    EXPECT_EQ(Sin_Fecha(escrito), Sin_Fecha(Lee(Muestra)));
    // Today, as whole days since 30 December 1899 in a little-endian double; the
    // hand-made file's 14 March 2025 checks the encoding.
    double fecha = 0;
    std::memcpy(&fecha, escrito.constData() + 50, 8);
    EXPECT_GE(fecha, Fecha_Archivo(hoy));
    EXPECT_LE(fecha, Fecha_Archivo(hoy) + 1) << "midnight may pass during the test";
    EXPECT_EQ(Fecha_Archivo(QDate(2025, 3, 14)), 45730.0);
}

TEST_F(Archivos, LoadedShowsItsValuesAndSavedAgainIsIdenticalButTheDate) {
    Estado.Comunicacion_OK = true;
    Estado.Direccion_Rele = 3;
    ASSERT_TRUE(Leer_Archivo(Muestra));
    EXPECT_FALSE(Estado.Comunicacion_OK) << "a loaded file is not the relay's live state";
    EXPECT_EQ(Estado.Direccion_Rele, 3) << "the frame's address does not change the link's";
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 1, 21), Trama_Muestra);
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17),
              QByteArray(3, '\0') + Trama_Muestra.mid(7, 12) + QByteArray(2, '\0'));
    EXPECT_EQ(Bytes(Estado.Valores_Actuales, 1, 34), Actuales_Muestra);
    EXPECT_EQ(ventanas.Paneles[4].toStdString(), "Address:  3");
    EXPECT_EQ(ventanas.Paneles[5].toStdString(), "Not Communicating..");
    EXPECT_EQ(ventanas.Titulo, QStringLiteral("KV73 - ") + Muestra);

    // Bytes [0] of both images and 8-bit text characters belong to the file's
    // maker: carried along. An old, longer file is replaced whole.
    QByteArray muestra = Lee(Muestra);
    muestra[198] = '\x42';
    muestra[220] = '\x43';
    muestra[60] = '\xE9';
    Escribe(Ruta("otra.KV73"), QByteArray(1000, 'x'));
    ASSERT_TRUE(Leer_Archivo_Bytes(muestra, Ruta("orig.KV73")));
    ASSERT_TRUE(Escribir_Archivo(Ruta("otra.KV73")));
    EXPECT_EQ(Sin_Fecha(Lee(Ruta("otra.KV73"))), Sin_Fecha(muestra));

    // A tag written with blanks before it is still the tag.
    EXPECT_TRUE(Leer_Archivo_Bytes(QByteArray(muestra).replace(0, 8, "   KV73 "), Ruta("b.KV73")));
}

TEST_F(Archivos, RefusedFilesChangeNothing) {
    const QByteArray muestra = Lee(Muestra);
    Escribe(Ruta("minusculas.KV73"), QByteArray(muestra).replace(0, 4, "kv73"));
    Escribe(Ruta("corto.KV73"), muestra.left(254));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("carpeta.KV73")));
    Escribe(Ruta("fuera.KV73"), Con_Temperaturas({65535, 105, 50, 65}));
    Estado.Comunicacion_OK = true;
    const QByteArray antes = Foto(ventanas);
    operador->Espera_Mensaje(No_Es_KV73)
        .Espera_Mensaje(No_Es_KV73)
        .Espera_Mensaje(QStringLiteral("The file %1 does not exist").arg(Ruta("falta.KV73")))
        .Espera_Mensaje(QStringLiteral("The file %1 could not be read: not a plain file")
                            .arg(Ruta("carpeta.KV73")))
        .Espera_Mensaje(QStringLiteral("The file %1 holds a setpoint out of range: L1 65535 is "
                                       "outside 0 to 220")
                            .arg(Ruta("fuera.KV73")));
    for (const char *nombre :
         {"minusculas.KV73", "corto.KV73", "falta.KV73", "carpeta.KV73", "fuera.KV73"}) {
        Estado.Archivo_Cargado = true;
        EXPECT_FALSE(Leer_Archivo(Ruta(nombre))) << nombre;
        EXPECT_FALSE(Estado.Archivo_Cargado) << nombre;
        // Not even the texts: a refused file must not slip into the next save.
        EXPECT_EQ(Foto(ventanas), antes) << nombre;
    }
    EXPECT_FALSE(QFile::exists(Ruta("falta.KV73"))) << "a missing name is not created";

    // Only to look at it: loaded as it is.
    ASSERT_TRUE(Leer_Archivo_Para_Ver(Ruta("fuera.KV73")));
    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_EQ(Lee_Word_Setpoint(4), 65535);
}

TEST(Rangos_Setpoints, TheEditorsRangesAndTheFloorsOfL2AndHighFan) {
    const auto problemas = [](std::array<int, 4> t, int opciones = 0x0007, int r0105 = 0x5A5A) {
        Imagen<21> trama;
        const QByteArray archivo = Con_Temperaturas(t);
        for (std::size_t i = 1; i <= 21; ++i)
            trama[i] = static_cast<uint8_t>(archivo[static_cast<qsizetype>(198 + i)]);
        trama[16] = static_cast<uint8_t>(opciones >> 8);
        trama[17] = static_cast<uint8_t>(opciones);
        trama[18] = static_cast<uint8_t>(r0105 >> 8);
        trama[19] = static_cast<uint8_t>(r0105);
        QStringList textos;
        for (const Setpoint_Fuera_De_Rango &p : Revisa_Setpoints(trama))
            textos << QStringLiteral("%1:%2 %3").arg(p.setpoint).arg(p.valor).arg(p.texto);
        return textos;
    };
    EXPECT_EQ(problemas({85, 105, 50, 65}), QStringList());
    // The ends the editors reach: L2 may equal L1, and High Fan Low Fan.
    EXPECT_EQ(problemas({220, 220, 0, 0}), QStringList());
    // Register 0x0104 and 0x0105 are carried as they are.
    EXPECT_EQ(problemas({85, 105, 50, 65}, 0xFFFF, 0xFFFF), QStringList());
    // L1 out of range is the fault; L2 is not also said to be below it.
    EXPECT_EQ(problemas({65535, 100, 50, 65}),
              QStringList{QStringLiteral("0:65535 L1 65535 is outside 0 to 220")});
    EXPECT_EQ(problemas({120, 100, 50, 65}),
              QStringList{QStringLiteral("1:100 L2 100 is below L1 120")});
    // The high byte counts: 256 is not 0.
    EXPECT_EQ(problemas({85, 105, 256, 0}),
              QStringList{QStringLiteral("2:256 Low Fan 256 is outside 0 to 220")});
    EXPECT_EQ(problemas({85, 221, 50, 40}),
              (QStringList{QStringLiteral("1:221 L2 221 is outside 0 to 220"),
                           QStringLiteral("3:40 High Fan 40 is below Low Fan 50")}));
}

TEST_F(Archivos, FailedSaveIsReportedAndLeavesTheOldFileWhole) {
    const QByteArray viejo = Lee(Muestra);
    Escribe(Ruta("viejo.KV73"), viejo);
    // A disk that fills up after 100 bytes of the record.
    rlimit limite{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limite), 0);
    const rlimit corto{100, limite.rlim_max};
    const auto senal = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &corto), 0);
    operador->Espera_Mensaje(QStringLiteral("The file %1 could not be written: %2")
                                 .arg(Ruta("viejo.KV73"), qt_error_string(EFBIG)));
    const bool escrito = Escribir_Archivo(Ruta("viejo.KV73"));
    setrlimit(RLIMIT_FSIZE, &limite);
    std::signal(SIGXFSZ, senal);
    EXPECT_FALSE(escrito);
    EXPECT_EQ(Lee(Ruta("viejo.KV73")), viejo);

    // Cancel in the dialogs: nothing written, read or said; the last load stands.
    ASSERT_TRUE(Leer_Archivo(Muestra));
    operador->Espera_Guardar(std::nullopt).Espera_Abrir(std::nullopt);
    Guardar_Archivo();
    Abrir_Archivo();
    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("viejo.KV73")})
        << "no temporary file is left behind";
}

TEST_F(Archivos, SaveRefusesWhatIsNotAPlainFileAndWritesThroughALinkToOne) {
    // The save renames a new file over the name: over a pipe (or a device) that
    // would leave a plain file where the pipe was. A link to a pipe is no better.
    const QString tubo = Ruta("tubo.KV73"), al_tubo = Ruta("al_tubo.KV73");
    ASSERT_EQ(::mkfifo(QFile::encodeName(tubo).constData(), 0600), 0) << std::strerror(errno);
    ASSERT_TRUE(QFile::link(tubo, al_tubo));
    for (const QString &ruta : {tubo, al_tubo}) {
        operador->Espera_Mensaje(
            QStringLiteral("The file %1 could not be written: not a plain file").arg(ruta));
        EXPECT_FALSE(Escribir_Archivo(ruta)) << ruta.toStdString();
    }
    struct stat datos {};
    ASSERT_EQ(::lstat(QFile::encodeName(tubo).constData(), &datos), 0);
    EXPECT_TRUE(S_ISFIFO(datos.st_mode)) << "the pipe is still a pipe";
    EXPECT_EQ(QFileInfo(al_tubo).symLinkTarget(), tubo);

    // A link to a plain file stays a link, to the file now saved.
    const QString archivo = Ruta("real.KV73"), enlace = Ruta("enlace.KV73");
    Escribe(archivo, QByteArray("old"));
    ASSERT_TRUE(QFile::link(archivo, enlace));
    ASSERT_TRUE(Leer_Archivo(Muestra));
    ASSERT_TRUE(Escribir_Archivo(enlace));
    EXPECT_TRUE(QFileInfo(enlace).isSymLink());
    EXPECT_EQ(QFileInfo(enlace).symLinkTarget(), archivo);
    EXPECT_EQ(Sin_Fecha(Lee(archivo)), Sin_Fecha(Lee(Muestra)));
}

TEST_F(Archivos, ANameSavedWithoutExtensionIsOneTheOpenDialogShows) {
    operador->Espera_Guardar(Ruta("a"))
        .Espera_Guardar(Ruta("b.dat"))
        .Espera_Guardar(Ruta("c."))
        .Espera_Abrir(Ruta("a.KV73"));
    Guardar_Archivo();
    Guardar_Archivo();
    Guardar_Archivo();
    Abrir_Archivo();
    EXPECT_TRUE(Estado.Archivo_Cargado);
    EXPECT_EQ(
        QDir(dir.path()).entryList(QDir::Files),
        (QStringList{QStringLiteral("a.KV73"), QStringLiteral("b.dat"), QStringLiteral("c.KV73")}));
    // Both dialogs are asked to open on the KV73 files.
    ASSERT_EQ(operador->peticiones.size(), 4u);
    for (const Peticion_Archivo &p : operador->peticiones)
        EXPECT_EQ(p.nombre, QStringLiteral("*.KV73")) << p.filtro.toStdString();
}

namespace {

// The operator's hand on the next file dialog. It moves once the dialog is up
// and waiting in its own loop: the dialog's show is caught, and the hand acts at
// that loop's first turn, never after a guessed delay. It works the dialog's
// own controls; a dialog still open afterwards fails the test and is closed, so
// that a wrong script cannot hang it.
class Mano_Archivo : public QObject {
  public:
    explicit Mano_Archivo(std::function<void(QFileDialog &)> hace) : hace_(std::move(hace)) {
        qApp->installEventFilter(this);
    }
    ~Mano_Archivo() override { qApp->removeEventFilter(this); }

    QStringList filtros; // the name filter each dialog showed when it came up

  protected:
    bool eventFilter(QObject *objeto, QEvent *evento) override {
        auto *dialogo = qobject_cast<QFileDialog *>(objeto);
        if (dialogo && evento->type() == QEvent::Show)
            Actua_En_Su_Bucle(dialogo, QThread::currentThread()->loopLevel());
        return false;
    }

  private:
    // The show comes before the dialog's loop starts; a dialog closed then
    // would leave that loop running for ever.
    void Actua_En_Su_Bucle(QFileDialog *dialogo, int nivel_al_mostrarse) {
        QTimer::singleShot(0, dialogo, [this, dialogo, nivel_al_mostrarse] {
            if (QThread::currentThread()->loopLevel() <= nivel_al_mostrarse) {
                Actua_En_Su_Bucle(dialogo, nivel_al_mostrarse);
                return;
            }
            filtros << dialogo->selectedNameFilter();
            hace_(*dialogo);
            EXPECT_FALSE(dialogo->isVisible()) << "the file dialog is still open";
            if (dialogo->isVisible())
                dialogo->reject();
        });
    }

    std::function<void(QFileDialog &)> hace_;
};

QPushButton *Boton_Dialogo(QFileDialog &d, QDialogButtonBox::StandardButton cual) {
    auto *botones = d.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    return botones ? botones->button(cual) : nullptr;
}

} // namespace

TEST_F(Archivos, TheDesktopDialogsOpenOnKV73FilesAndASaveNamesOne) {
    Operador_Qt qt;
    {
        Mano_Archivo mano([](QFileDialog &d) {
            QPushButton *cancelar = Boton_Dialogo(d, QDialogButtonBox::Cancel);
            ASSERT_NE(cancelar, nullptr);
            QTest::mouseClick(cancelar, Qt::LeftButton);
        });
        EXPECT_EQ(qt.Dialogo_Abrir({QString(), Textos_Archivos::Filtro_Abrir, "*.KV73"}),
                  std::nullopt);
        EXPECT_EQ(mano.filtros, QStringList{QStringLiteral("KV73 Files (*.KV73)")});
    }
    // The operator goes to the folder, types a name without its extension into
    // the name box and presses Save. Typed, because the dialog's own selectFile
    // leaves the box alone once it has the focus, which comes when it comes; a
    // name only, because a path typed letter by letter selects each folder on
    // the way, and Save would open the first of them.
    Mano_Archivo mano([this](QFileDialog &d) {
        d.setDirectory(dir.path());
        auto *nombre = d.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nombre, nullptr);
        QTest::keyClicks(nombre, QStringLiteral("a"));
        QPushButton *guardar = Boton_Dialogo(d, QDialogButtonBox::Save);
        ASSERT_NE(guardar, nullptr);
        QTest::mouseClick(guardar, Qt::LeftButton); // the dialog's own checks run
    });
    EXPECT_EQ(qt.Dialogo_Guardar({QString(), Textos_Archivos::Filtro_Guardar, "*.KV73"}),
              Ruta("a.KV73"));
    EXPECT_EQ(mano.filtros, QStringList{QStringLiteral("KV73 Files (*.KV73)")});
}

TEST_F(Escritura_Setpoints, ExceptionReplyIsAWriteErrorAfterTheSecondSend) {
    // The relay's setpoints read and L1 and L2 edited as the main page's editors do.
    Conecta_Rele();
    Lee_Setpoints(Estado.Direccion_Rele);
    Escribe_Word_Setpoint(QStringLiteral("95"), 4);
    Escribe_Word_Setpoint(QStringLiteral("120"), 6);
    puerto->escrituras.clear();
    escrita = V("exception reply to a write of multiple registers (function 0x90, code 02), "
                "address 1");
    operador->Espera_Mensaje(QStringLiteral("Write Error SetPoints"), QStringLiteral("KV-73"));
    Escribe_Setpoints(Estado.Direccion_Rele);
    // Five bytes do not end the wait; the resend at tick 2 brings the input to
    // ten, and the first eight fail the CRC test.
    EXPECT_EQ(puerto->Peticiones(), (std::vector<QByteArray>{V(Escritura), V(Escritura)}));
    EXPECT_EQ(Estado.Segundos, 2);
    EXPECT_EQ(enlace->Cuentas().Respuestas_Malas, 1u);
    // Frame and read image back to the relay's values; the edits wait in the edit image.
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 8, 12), V(Lectura).mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 4, 12), V(Lectura).mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 8, 12), V(Escritura).mid(7, 12));
}

TEST_F(Escritura_Setpoints, Kv73ctlSetSendsCommandOneTheWriteAndCommandTwo) {
    ASSERT_TRUE(puerto->Set_PortOpen(true));
    Escribe_Setpoints(Estado.Direccion_Rele); // link flag down: nothing at all
    EXPECT_TRUE(puerto->escrituras.empty());
    Conecta_Rele();
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    EXPECT_EQ(Set({"L1=95", "L2=120"}), 0);
    const QByteArray ident = V("identification read request, address 1"),
                     leer = V("setpoint read request, address 1");
    EXPECT_EQ(puerto->Peticiones(),
              (std::vector<QByteArray>{
                  ident, leer, V("command 1 request (and its echo reply), address 1"), V(Escritura),
                  V("command 2 request (and its echo reply), address 1")}));
    // Register 0x0105 goes back as it was read, whatever was edited; the written
    // values are shown without a new read.
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17),
              V(Lectura).left(3) + V(Escritura).mid(7, 12) + V(Lectura).right(2));
    // A rule broken only against the relay's values: read, then nothing more.
    puerto->escrituras.clear();
    EXPECT_EQ(Set({"L2=50"}), 1);
    EXPECT_EQ(puerto->Peticiones(), (std::vector<QByteArray>{ident, leer}));
    // The high byte and bits 4..7 of register 0x0104 are the relay's own.
    lectura = Hex("01 03 0C 00 5A 00 6E 00 3C 00 4B A5 FF 12 34 10 4D");
    puerto->escrituras.clear();
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    EXPECT_EQ(Set({"RTD=3", "Weekly=no"}), 0);
    ASSERT_EQ(puerto->Peticiones().size(), 5u);
    EXPECT_EQ(puerto->Peticiones()[3].mid(7, 12), Hex("00 5A 00 6E 00 3C 00 4B A5 F2 12 34"))
        << "bits 0 and 3 as asked, bit 2 cleared by three probes";
}

TEST(Kv73ctl_Set, FollowsTheMainPageRules) {
    EXPECT_EQ(Aplicado("L1=120"), "120 121 60 75 b");
    EXPECT_EQ(Aplicado("LowFan=80 L1=120 L2=120"), "120 120 80 81 b");
    EXPECT_EQ(Aplicado("RTD=3", {90, 110, 60, 75, 0x0F, 0}), "90 110 60 75 a");
    EXPECT_EQ(Aplicado("L2=80"), "L2=80 is below L1 (90)");
    EXPECT_EQ(Aplicado("FanProbes=4", {90, 110, 60, 75, 0x0A, 0}), "FanProbes=4 needs RTD=4");
    EXPECT_EQ(Aplicado("L1=220"), "220 220 60 75 b") << "pushed no further than the top";
    EXPECT_EQ(Aplicado("LowFan=220"), "90 110 220 220 b");
}

TEST(Kv73ctl_Archivos, ShowMarksSetpointsOutOfRangeAndSendRefusesThem) {
    QTemporaryDir dir;
    const QString fuera = dir.filePath("fuera.KV73");
    Escribe(fuera, Con_Temperaturas({120, 100, 50, 300}));
    const auto ctl = [](const QStringList &argumentos) {
        return Ejecuta(QStringLiteral(KV73CTL), argumentos, {"KV73_TICK_MS=20"});
    };
    auto r = ctl({"show", fuera});
    EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.contains("L1 alarm temperature (register 0x0100): 120 °C\n"));
    EXPECT_TRUE(r.salida.contains("L2 trip temperature (register 0x0101): 100 °C"
                                  "  (out of range: L2 100 is below L1 120)\n"))
        << r.salida.toStdString();
    EXPECT_TRUE(r.salida.contains("High Fan, start-fan temperature (register 0x0103): 300 °C"
                                  "  (out of range: High Fan 300 is outside 0 to 220)\n"))
        << r.salida.toStdString();
    const auto json = [&](const QStringList &argumentos) {
        return QJsonDocument::fromJson(ctl(QStringList{"--json"} + argumentos).salida.toUtf8());
    };
    const QJsonDocument j = json({"show", fuera});
    EXPECT_EQ(j["setpoints"]["high_fan"], 300);
    EXPECT_EQ(
        j["problems"].toArray(),
        (QJsonArray{
            QJsonObject{{"setpoint", "L2"}, {"value", 100}, {"text", "L2 100 is below L1 120"}},
            QJsonObject{{"setpoint", "high_fan"},
                        {"value", 300},
                        {"text", "High Fan 300 is outside 0 to 220"}}}));
    EXPECT_EQ(json({"show", Muestra})["problems"].toArray(), QJsonArray());

    // Refused before the port opens: not a byte on the line.
    Pty linea;
    r = ctl({"--device", linea.Esclavo(), "send", fuera});
    EXPECT_EQ(r.estado, 4);
    EXPECT_EQ(r.errores.trimmed(),
              QStringLiteral("The file %1 holds a setpoint out of range: L2 100 is below L1 120")
                  .arg(fuera));
    EXPECT_TRUE(linea.Lee(1, 200).isEmpty()) << "nothing went on the line";
}

TEST(Kv73ctl_Archivos, SaveSetSendAndShowAndWhatTheyRefuse) {
    Simulador sim;
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    const QString a = dir.filePath("a.KV73"), corto = dir.filePath("corto.KV73");
    const auto ctl = [](const QStringList &argumentos) {
        return Ejecuta(QStringLiteral(KV73CTL), argumentos, {"KV73_TICK_MS=20"});
    };
    const QStringList rele = {"--device", sim.Enlace()};
    auto r = ctl(rele + QStringList{"save", a});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    for (const QStringList &orden :
         {QStringList{"set", "L1=95", "L2=120"}, QStringList{"send", a}}) {
        r = ctl(rele + orden);
        EXPECT_EQ(r.estado, 0) << r.errores.toStdString();
        EXPECT_EQ(r.errores.trimmed(), Guardados);
    }
    const auto json = [&](const QStringList &argumentos) {
        return QJsonDocument::fromJson(ctl(QStringList{"--json"} + argumentos).salida.toUtf8());
    };
    EXPECT_EQ(json(rele + QStringList{"setpoints"})["L2"], 110) << "the file's";
    // show needs no relay.
    EXPECT_EQ(json({"show", Muestra})["date"].toString(), "2025-03-14");

    // A short file is refused before the port opens (this device would give 2); a
    // file that cannot be written, after the read; a bad value touches no line.
    Escribe(corto, QByteArray("KV73").leftJustified(200, ' '));
    EXPECT_EQ(ctl({"--device", "/nonexistent", "send", corto}).estado, 4);
    EXPECT_EQ(ctl(rele + QStringList{"save", dir.filePath("falta/a.KV73")}).estado, 4);
    const QString tubo = dir.filePath("tubo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(tubo).constData(), 0600), 0);
    r = ctl(rele + QStringList{"save", tubo});
    EXPECT_EQ(r.estado, 4);
    EXPECT_EQ(r.errores.trimmed(),
              QStringLiteral("The file %1 could not be written: not a plain file").arg(tubo));
    EXPECT_FALSE(QFileInfo(tubo).isFile()) << "the pipe is not replaced";
    Pty linea;
    r = ctl({"--device", linea.Esclavo(), "set", "L1=221"});
    EXPECT_EQ(r.estado, 1);
    EXPECT_TRUE(r.errores.contains("out of range")) << r.errores.toStdString();
    EXPECT_TRUE(linea.Lee(1, 200).isEmpty()) << "nothing went on the line";
}
