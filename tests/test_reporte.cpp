// The printed report: what the page says, and that it reaches the printer or a
// PDF only when it should; then kv73ctl's report of a file and of the relay,
// drawn without widgets and yet the same page as the print.

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "reporte/Dialogo_Impresora.h"
#include "reporte/Impresion.h"
#include "reporte/REPORTE.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Disco.h"
#include "tests/soporte/Simulador.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <cerrno>

namespace {

// Register k of an image whose registers start at byte 4.
template <std::size_t N> void Pon(Imagen<N> &imagen, int k, uint16_t valor) {
    imagen[4 + 2 * k] = static_cast<uint8_t>(valor >> 8);
    imagen[5 + 2 * k] = static_cast<uint8_t>(valor & 0xFF);
}

QStringList Textos(const std::array<Control_Reporte *, 4> &etiquetas) {
    return {etiquetas[0]->texto, etiquetas[1]->texto, etiquetas[2]->texto, etiquetas[3]->texto};
}

Textos_Pagina Pagina_De_Prueba(bool tres_sondas) {
    return {{tres_sondas ? "3" : "4", "85 °C", "105 °C", "Yes", "50 °C", "65 °C", "3", "No"},
            tres_sondas};
}

// The text of a PDF (poppler's pdftotext) with its words separated by single
// blanks, checked to hold each of `lineas`.
QString Texto_Pdf(const QString &ruta, const QStringList &lineas) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), ruta, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(20000) && p.exitCode() == 0) << "pdftotext (poppler-utils)";
    const QString plano = QString::fromUtf8(p.readAllStandardOutput()).simplified();
    for (const QString &l : lineas)
        EXPECT_TRUE(plano.contains(l)) << l.toStdString() << "\n" << plano.toStdString();
    return plano;
}

// Chooses a PDF file as the printer, or cancels when `ruta` is empty; or
// stands for a machine without printers.
struct Dialogo_Prueba : Dialogo_Impresora {
    explicit Dialogo_Prueba(QString r, bool hay = true) : ruta(std::move(r)), impresoras(hay) {}
    bool Hay_Impresoras() const override { return impresoras; }
    bool Elige(QPrinter &impresora) override {
        EXPECT_TRUE(impresoras) << "a printer dialog without printers";
        impresora.setOutputFormat(QPrinter::PdfFormat);
        impresora.setOutputFileName(ruta);
        return !ruta.isEmpty();
    }
    QString ruta;
    bool impresoras;
};

class Reporte : public Banco {};

const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");

Salida_Programa Ctl(const QStringList &argumentos) {
    return Ejecuta(QStringLiteral(KV73CTL), argumentos, {QStringLiteral("KV73_TICK_MS=20")});
}

} // namespace

TEST_F(Reporte, TemperaturesShowProbeCodesAndMaximaStayPlainNumbers) {
    const uint16_t registros[] = {0xFFF5, 0x00E7, 0xFFFB, 0x8000, 0xFFF5, 0x00E7, 0xFFFB, 0x0055};
    for (int k = 0; k < 8; ++k)
        Pon(Estado.Valores_Actuales, k, registros[k]);
    const auto actuales = [](bool enlace, Temperaturas origen) {
        Estado.Comunicacion_OK = enlace;
        REPORTE pagina;
        pagina.Form_Load(Pagina_De_Prueba(false), origen);
        EXPECT_EQ(Textos(pagina.Tmaximun), QStringList({"65525", "231", "65531", "85"}));
        return Textos(pagina.Actual);
    };
    const QStringList medidas = {"Fcc", "Fco", "-5", "32768"};
    EXPECT_EQ(actuales(true, Temperaturas::Segun_Enlace), medidas);
    // With the link down nothing is measured, but the maxima still print; a report
    // of a setpoint file prints the temperatures stored in it.
    EXPECT_EQ(actuales(false, Temperaturas::Segun_Enlace), QStringList(4, QStringLiteral("Fco")));
    EXPECT_EQ(actuales(false, Temperaturas::Guardadas), medidas);
}

TEST_F(Reporte, TextsFromTheSetpointImageReadAsTheMainPageShowsThem) {
    // High byte and bits 4..7 of the options are not options: they change no text.
    const uint16_t registros[] = {85, 220, 0, 1234, 0xFFFB, 0xFFFF};
    for (int k = 0; k < 6; ++k)
        Pon(Estado.Set_Setpoints, k, registros[k]);
    Textos_Pagina t = Textos_Desde_Imagenes();
    EXPECT_EQ(t.setp, (std::array<QString, 8>{"4", "85 °C", "220 °C", "Yes", "0 °C", "1234 °C", "3",
                                              "Yes"}));
    Pon(Estado.Set_Setpoints, 4, 0x0004); // three probes, no fan, fan on four, no weekly run
    t = Textos_Desde_Imagenes();
    EXPECT_EQ(t.setp,
              (std::array<QString, 8>{"3", "85 °C", "220 °C", "No", "0 °C", "1234 °C", "4", "No"}));
    EXPECT_TRUE(t.tres_sondas);
}

TEST_F(Reporte, PrintGoesOutOnlyWhenThePrinterIsChosen) {
    // With printers installed the printer dialog is all the operator sees.
    QTemporaryDir dir;
    Dialogo_Prueba cancela{QString()};
    EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), cancela, *operador));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
    // Three probes: the Pt4 row does not reach the paper.
    Dialogo_Prueba elige(dir.filePath(QStringLiteral("printed.pdf")));
    EXPECT_TRUE(Impresion(Pagina_De_Prueba(true), elige, *operador));
    const QString plano = Texto_Pdf(elige.ruta, {"Temperature Pt1 : Fco °C 0 °C"});
    EXPECT_FALSE(plano.contains(QStringLiteral("Pt4"))) << plano.toStdString();
    EXPECT_EQ(plano.count(QStringLiteral("RTD Quantity : 3")), 2) << plano.toStdString();
}

TEST_F(Reporte, WithoutAPrinterTheOperatorMaySaveThePageAsAPdf) {
    namespace T = Textos_Reporte;
    QTemporaryDir dir;
    Estado.Comunicacion_OK = true;
    Pon(Estado.Valores_Actuales, 1, 62); // Pt2 now, and its maximum
    Pon(Estado.Valores_Actuales, 5, 71);
    Dialogo_Prueba sin_impresoras(dir.filePath(QStringLiteral("nunca.pdf")), false);

    operador->Espera_Mensaje(T::Sin_Impresora, {}, Respuesta::No);
    EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), sin_impresoras, *operador));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // A name typed without an extension is saved as a PDF file all the same.
    operador->Espera_Mensaje(T::Sin_Impresora, {}, Respuesta::Yes)
        .Espera_Guardar(dir.filePath(QStringLiteral("informe")));
    EXPECT_TRUE(Impresion(Pagina_De_Prueba(false), sin_impresoras, *operador));
    ASSERT_EQ(operador->peticiones.size(), 1u);
    EXPECT_EQ(operador->peticiones[0].filtro, QStringLiteral("PDF Files (*.pdf)|*.pdf|"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("informe.pdf")});
    Texto_Pdf(dir.filePath(QStringLiteral("informe.pdf")),
              {"Alarm Temperature \"L1\" : 85 °C", "Trip Temperature \"L2\" : 105 °C",
               "Start Fan Temperatue \"High Fan\" : 65 °C", "Temperature Pt2 : 62 °C 71 °C",
               "RTD Quantity : 4"});

    const QString perdido = dir.filePath(QStringLiteral("no/informe.pdf"));
    operador->Espera_Mensaje(T::Sin_Impresora, {}, Respuesta::Yes)
        .Espera_Guardar(perdido)
        .Espera_Mensaje(T::Pdf_No_Escrito.arg(perdido, qt_error_string(ENOENT)));
    EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), sin_impresoras, *operador));
}

TEST_F(Reporte, APdfReplacesTheOldFileWholeOrLeavesItAndSaysWhy) {
    namespace T = Textos_Reporte;
    QTemporaryDir dir;
    const QString viejo = dir.filePath(QStringLiteral("viejo.pdf"));
    const QByteArray antes("the report of last week");
    const auto pon_viejo = [&] {
        QFile f(viejo);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(antes) == antes.size());
    };
    const auto contenido = [](const QString &ruta) {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    pon_viejo();
    Dialogo_Prueba elige(viejo), sin_impresoras(QString(), false);

    // The disk fills up a few kilobytes into the page, on the printer dialog's
    // "Print to File" and on the save offered without a printer alike.
    {
        const Disco_Lleno disco(4096);
        operador->Espera_Mensaje(T::Pdf_No_Escrito.arg(viejo, qt_error_string(EFBIG)));
        EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), elige, *operador));
        operador->Espera_Mensaje(T::Sin_Impresora, {}, Respuesta::Yes)
            .Espera_Guardar(viejo)
            .Espera_Mensaje(T::Pdf_No_Escrito.arg(viejo, qt_error_string(EFBIG)));
        EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), sin_impresoras, *operador));
    }
    EXPECT_EQ(contenido(viejo), antes);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("viejo.pdf")})
        << "no piece of a PDF is left behind";

    // A pipe, or a link to one, is no file to keep a report in.
    const QString tubo = dir.filePath(QStringLiteral("tubo.pdf"));
    const QString al_tubo = dir.filePath(QStringLiteral("al_tubo.pdf"));
    Tubo pipa(tubo);
    ASSERT_TRUE(pipa.Listo());
    ASSERT_TRUE(QFile::link(tubo, al_tubo));
    for (const QString &ruta : {tubo, al_tubo}) {
        SCOPED_TRACE(ruta.toStdString());
        Dialogo_Prueba a_la_pipa(ruta);
        operador->Espera_Mensaje(T::Pdf_No_Escrito.arg(ruta, QStringLiteral("not a plain file")));
        EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), a_la_pipa, *operador));
        operador->Espera_Mensaje(T::Sin_Impresora, {}, Respuesta::Yes)
            .Espera_Guardar(ruta)
            .Espera_Mensaje(T::Pdf_No_Escrito.arg(ruta, QStringLiteral("not a plain file")));
        EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), sin_impresoras, *operador));
        EXPECT_TRUE(pipa.Intacto());
    }

    // With room on the disk the whole page takes the old file's place.
    EXPECT_TRUE(Impresion(Pagina_De_Prueba(false), elige, *operador));
    const QByteArray pdf = contenido(viejo);
    EXPECT_TRUE(pdf.startsWith("%PDF-") && pdf.trimmed().endsWith("%%EOF"));
}

TEST_F(Reporte, Kv73ctlDrawsThePrintedPageWithoutWidgets) {
    // The other commands must run where Qt's GUI libraries are missing, and
    // where no display platform can start, and must not pay for loading them:
    // only the report module, loaded by `report` alone, links QtGui.
    const auto enlazadas = [](const QString &archivo) {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {archivo});
        EXPECT_TRUE(ldd.waitForFinished(20000) && ldd.exitCode() == 0) << archivo.toStdString();
        return QString::fromUtf8(ldd.readAllStandardOutput());
    };
    const QString programa = QStringLiteral(KV73CTL);
    const QString del_programa = enlazadas(programa);
    const QString del_modulo =
        enlazadas(QFileInfo(programa).dir().filePath(QStringLiteral("kv73ctl-reporte.so")));
    EXPECT_FALSE(del_programa.contains(QStringLiteral("libQt6Gui"))) << del_programa.toStdString();
    EXPECT_TRUE(del_modulo.contains(QStringLiteral("libQt6Gui")));
    EXPECT_FALSE(
        (del_programa + del_modulo).contains(QStringLiteral("Widgets"), Qt::CaseInsensitive))
        << del_modulo.toStdString();
    const auto sin_pantalla =
        Ejecuta(programa, {"show", Muestra}, {QStringLiteral("QT_QPA_PLATFORM=no-such-platform")});
    EXPECT_EQ(sin_pantalla.estado, 0) << sin_pantalla.errores.toStdString();

    // A program whose module is missing still does all the rest; its report
    // fails as a PDF that cannot be written, and says which file is missing.
    QTemporaryDir aparte;
    const QString copia = aparte.filePath(QStringLiteral("kv73ctl"));
    ASSERT_TRUE(QFile::copy(programa, copia));
    EXPECT_EQ(Ejecuta(copia, {"show", Muestra}).estado, 0);
    const QString huerfano = aparte.filePath(QStringLiteral("x.pdf"));
    const auto sin_modulo = Ejecuta(copia, {"report", Muestra, "--pdf", huerfano});
    EXPECT_EQ(sin_modulo.estado, 4);
    EXPECT_TRUE(sin_modulo.errores.contains(QStringLiteral("kv73ctl-reporte.so")))
        << sin_modulo.errores.toStdString();
    EXPECT_FALSE(QFile::exists(huerfano));

    // A file's page from kv73ctl and the same data printed by the desktop
    // program with the link up: one page, word for word.
    QTemporaryDir dir;
    const QString de_ctl = dir.filePath("ctl.pdf");
    const auto r = Ctl({"report", Muestra, "--pdf", de_ctl});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    ASSERT_TRUE(Leer_Archivo(Muestra));
    Estado.Comunicacion_OK = true;
    Dialogo_Prueba elige(dir.filePath("printed.pdf"));
    ASSERT_TRUE(Impresion(Textos_Desde_Imagenes(), elige, *operador));
    const QString impreso = Texto_Pdf(elige.ruta, {"Temperature Pt4 : 58 °C 60 °C"});
    EXPECT_EQ(Texto_Pdf(de_ctl, {}), impreso);
}

TEST(Kv73ctl_Report, PrintsWhatAFileHoldsOrOnePollOfTheRelayAndNothingItCannotUse) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf"), otro = dir.filePath("otro.pdf");
    // A file is never the live relay, but its reader wants what it stored, not "Fco".
    auto r = Ctl({"report", Muestra, "--pdf", pdf});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    Texto_Pdf(pdf, {"Temperature Pt3 : Fco °C 231 °C", "Temperature Pt4 : 58 °C 60 °C",
                    "Alarm Temperature \"L1\" : 85 °C"});
    EXPECT_EQ(Ctl({"report", pdf, "--pdf", otro}).estado, 4);
    EXPECT_EQ(Ctl({"report", Muestra, "--pdf", dir.filePath("no/dir/out.pdf")}).estado, 4);

    // The relay's setpoints, and the probe codes as such since the link is up.
    Simulador sim({"--probe-fault", "1:-11", "--probe-fault", "3:231"});
    ASSERT_TRUE(sim.Listo());
    r = Ctl({"--device", sim.Enlace(), "report", "--pdf", pdf});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    Texto_Pdf(pdf, {"Alarm Temperature \"L1\" : 90 °C", "Temperature Pt1 : Fcc °C",
                    "Temperature Pt3 : Fco °C"});
    // No relay, no report.
    Simulador mudo({"--silent"});
    ASSERT_TRUE(mudo.Listo());
    r = Ctl({"--device", mudo.Enlace(), "report", "--pdf", otro});
    EXPECT_EQ(r.estado, 2);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("Relay Not Response")));
    EXPECT_FALSE(QFile::exists(otro));
}

TEST(Kv73ctl_Report, APdfThatCannotBeWrittenWholeLeavesTheOldFileAndFails) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("out.pdf");
    {
        QFile viejo(pdf);
        ASSERT_TRUE(viejo.open(QIODevice::WriteOnly) && viejo.write("last week's") == 11);
    }
    // A disk that fills up a few kilobytes into the PDF.
    Salida_Programa r;
    {
        const Disco_Lleno disco(4096);
        r = Ctl({"report", Muestra, "--pdf", pdf});
    }
    EXPECT_EQ(r.estado, 4);
    EXPECT_TRUE(r.errores.contains(
        QStringLiteral("kv73ctl: cannot write %1: %2\n").arg(pdf, qt_error_string(EFBIG))))
        << r.errores.toStdString();
    QFile viejo(pdf);
    ASSERT_TRUE(viejo.open(QIODevice::ReadOnly));
    EXPECT_EQ(viejo.readAll(), "last week's");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.pdf")});

    // A pipe (as a device, /dev/full run as root) would be replaced by a plain file.
    const QString tubo = dir.filePath("tubo");
    Tubo pipa(tubo);
    ASSERT_TRUE(pipa.Listo());
    r = Ctl({"report", Muestra, "--pdf", tubo});
    EXPECT_EQ(r.estado, 4);
    EXPECT_TRUE(r.errores.contains(
        QStringLiteral("kv73ctl: cannot write %1: not a plain file\n").arg(tubo)))
        << r.errores.toStdString();
    EXPECT_TRUE(pipa.Intacto());
}
