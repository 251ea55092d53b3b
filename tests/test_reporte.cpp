// The printed report: what the page says, and that it reaches the printer or a
// PDF only when it should.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "reporte/Dialogo_Impresora.h"
#include "reporte/Impresion.h"
#include "reporte/REPORTE.h"
#include "tests/soporte/Banco.h"
#include "tests/soporte/Simulador.h"

#include <QDate>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLocale>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// Register 0x0200 + k of the actual-values image.
void Pon_Actual(int k, uint16_t valor) {
    Estado.Valores_Actuales[4 + 2 * k] = static_cast<uint8_t>(valor >> 8);
    Estado.Valores_Actuales[5 + 2 * k] = static_cast<uint8_t>(valor & 0xFF);
}

// Register 0x0100 + k of the setpoint image.
void Pon_Setpoint(int k, uint16_t valor) {
    Estado.Set_Setpoints[4 + 2 * k] = static_cast<uint8_t>(valor >> 8);
    Estado.Set_Setpoints[5 + 2 * k] = static_cast<uint8_t>(valor & 0xFF);
}

QStringList Textos(const std::array<QLabel *, 4> &etiquetas) {
    QStringList t;
    for (const QLabel *e : etiquetas)
        t << e->text();
    return t;
}

Textos_Pagina Pagina_De_Prueba(bool tres_sondas) {
    Textos_Pagina t;
    t.setp = {tres_sondas ? QStringLiteral("3") : QStringLiteral("4"),
              QStringLiteral("85 °C"),
              QStringLiteral("105 °C"),
              QStringLiteral("Yes"),
              QStringLiteral("50 °C"),
              QStringLiteral("65 °C"),
              QStringLiteral("3"),
              QStringLiteral("No")};
    t.tres_sondas = tres_sondas;
    return t;
}

// The text of a PDF, line by line as laid out, from poppler's pdftotext.
QString Texto_Pdf(const QString &ruta) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), ruta, QStringLiteral("-")});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext (package poppler-utils) could not read " << ruta.toStdString()
                      << ": " << p.errorString().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A row of the printed page with its words separated by single blanks.
QString Simplifica(const QString &texto) {
    return texto.simplified();
}

class Dialogo_Prueba : public Dialogo_Impresora {
  public:
    // Chooses a PDF file as the printer, or cancels when `ruta` is empty.
    explicit Dialogo_Prueba(QString ruta) : ruta_(std::move(ruta)) {}
    bool Elige(QPrinter &impresora) override {
        ++veces;
        if (ruta_.isEmpty())
            return false;
        impresora.setOutputFormat(QPrinter::PdfFormat);
        impresora.setOutputFileName(ruta_);
        return true;
    }
    int veces = 0;

  private:
    QString ruta_;
};

class Reporte : public Banco {};

} // namespace

TEST_F(Reporte, TemperaturesShowProbeCodesAndMaximaStayPlainNumbers) {
    Pon_Actual(0, 0xFFF5);
    Pon_Actual(1, 0x00E7);
    Pon_Actual(2, 0xFFFB);
    Pon_Actual(3, 0x8000);
    Pon_Actual(4, 0xFFF5);
    Pon_Actual(5, 0x00E7);
    Pon_Actual(6, 0xFFFB);
    Pon_Actual(7, 0x0055);
    const QStringList maximos = {"65525", "231", "65531", "85"};

    Estado.Comunicacion_OK = true;
    REPORTE en_linea;
    en_linea.Form_Load(Pagina_De_Prueba(false));
    EXPECT_EQ(Textos(en_linea.Actual), QStringList({"Fcc", "Fco", "-5", "32768"}));
    EXPECT_EQ(Textos(en_linea.Tmaximun), maximos);

    // With the link down nothing is measured, but the maxima still print.
    Estado.Comunicacion_OK = false;
    REPORTE sin_enlace;
    sin_enlace.Form_Load(Pagina_De_Prueba(false));
    EXPECT_EQ(Textos(sin_enlace.Actual), QStringList({"Fco", "Fco", "Fco", "Fco"}));
    EXPECT_EQ(Textos(sin_enlace.Tmaximun), maximos);

    // A report of a setpoint file prints the temperatures stored in it.
    REPORTE de_archivo;
    de_archivo.Form_Load(Pagina_De_Prueba(false), Temperaturas::Guardadas);
    EXPECT_EQ(Textos(de_archivo.Actual), QStringList({"Fcc", "Fco", "-5", "32768"}));
    EXPECT_EQ(Textos(de_archivo.Tmaximun), maximos);

    EXPECT_EQ(de_archivo.Fecha->text(),
              QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat));
}

TEST_F(Reporte, ProbeCountDecidesTheFourthRowAndSetpointsAreCopied) {
    REPORTE tres;
    tres.Form_Load(Pagina_De_Prueba(true));
    EXPECT_FALSE(tres.Sonda_4->isVisibleTo(&tres));
    EXPECT_EQ(tres.RTD->text(), "3");

    REPORTE cuatro;
    cuatro.Form_Load(Pagina_De_Prueba(false));
    EXPECT_TRUE(cuatro.Sonda_4->isVisibleTo(&cuatro));
    EXPECT_EQ(cuatro.RTD->text(), "4");
    const auto esperado = Pagina_De_Prueba(false).setp;
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(cuatro.SETP[k]->text(), esperado[k]) << "SETP " << k;
    // Rows 4..7 are printed even without a fan.
    EXPECT_TRUE(cuatro.Frame3->isVisibleTo(&cuatro));
}

TEST_F(Reporte, TextsFromTheSetpointImageReadAsTheMainPageShowsThem) {
    Pon_Setpoint(0, 85);
    Pon_Setpoint(1, 220);
    Pon_Setpoint(2, 0);
    Pon_Setpoint(3, 1234);
    // High byte and bits 4..7 are not options: they must not change a text.
    Pon_Setpoint(4, 0xFFFB); // low byte 1111 1011: bits 0, 1, 3 set, bit 2 clear
    Pon_Setpoint(5, 0xFFFF);
    Textos_Pagina t = Textos_Desde_Imagenes();
    EXPECT_EQ(t.setp, (std::array<QString, 8>{"4", "85 °C", "220 °C", "Yes", "0 °C", "1234 °C", "3",
                                              "Yes"}));
    EXPECT_FALSE(t.tres_sondas);

    Pon_Setpoint(4, 0x0004); // three probes, no fan, fan on four probes, no weekly run
    t = Textos_Desde_Imagenes();
    EXPECT_EQ(t.setp[0], "3");
    EXPECT_EQ(t.setp[3], "No");
    EXPECT_EQ(t.setp[6], "4");
    EXPECT_EQ(t.setp[7], "No");
    EXPECT_TRUE(t.tres_sondas);
}

TEST_F(Reporte, PrintGoesOutOnlyWhenThePrinterIsChosen) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const QString cancelado = dir.filePath(QStringLiteral("never.pdf"));
    Dialogo_Prueba cancela{QString()};
    EXPECT_FALSE(Impresion(Pagina_De_Prueba(false), cancela));
    EXPECT_EQ(cancela.veces, 1);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // The production entry point goes through the dialog a test puts in place.
    const QString hoja = dir.filePath(QStringLiteral("printed.pdf"));
    Dialogo_Prueba elige(hoja);
    Usa_Dialogo_Impresora(&elige);
    Pon_Actual(0, 0x0055);
    Pon_Actual(4, 0xFFF5);
    Estado.Comunicacion_OK = true;
    const bool impreso = Impresion(Pagina_De_Prueba(true));
    Usa_Dialogo_Impresora(nullptr);
    EXPECT_TRUE(impreso);
    EXPECT_EQ(elige.veces, 1);

    QFile f(hoja);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.size(), 2000);

    // Every part of the page reached the paper, the hidden Pt4 row did not.
    const QString texto = Texto_Pdf(hoja);
    const QString plano = Simplifica(texto);
    for (const char *esperado :
         {"VELTRA SISTEMI", "Relay Type: KV - 73", "Print Date:", "Actual Values", "Set Points",
          "Actual Tmaximun", "Temperature Pt1 : 85 °C 65525 °C", "Temperature Pt3 : 0 °C 0 °C",
          "Alarm Temperature \"L1\" : 85 °C", "Trip Temperature \"L2\" : 105 °C",
          "Stop Fan Temperatue \"Low Fan\" : 50 °C", "Start Fan Temperatue \"High Fan\" : 65 °C",
          "Probe Quantity For Command Fan : 3", "Weekly Automatic Activation Fan: No",
          "Fan Presence : Yes"})
        EXPECT_TRUE(plano.contains(QString::fromUtf8(esperado))) << esperado << "\n"
                                                                 << texto.toStdString();
    EXPECT_TRUE(
        plano.contains(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)));
    EXPECT_FALSE(plano.contains(QStringLiteral("Pt4"))) << texto.toStdString();
    EXPECT_EQ(plano.count(QStringLiteral("RTD Quantity : 3")), 2) << texto.toStdString();
}

TEST_F(Reporte, PdfReportsWhetherItWasWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ruta = dir.filePath(QStringLiteral("report.pdf"));
    ASSERT_TRUE(Reporte_Pdf(ruta, Pagina_De_Prueba(false)));
    const QString plano = Simplifica(Texto_Pdf(ruta));
    EXPECT_TRUE(plano.contains(QStringLiteral("Temperature Pt4 : Fco °C 0 °C")))
        << plano.toStdString();

    EXPECT_FALSE(
        Reporte_Pdf(dir.filePath(QStringLiteral("missing/report.pdf")), Pagina_De_Prueba(false)));
    EXPECT_FALSE(Reporte_Pdf(dir.path(), Pagina_De_Prueba(false)));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing"))));
}

// --- kv73ctl report ------------------------------------------------------------

namespace {

const QString Muestra = QStringLiteral(KV73_VECTORS "/sample.KV73");
const QStringList Tick_Rapido = {QStringLiteral("KV73_TICK_MS=50")};

Salida_Programa Ctl(const QStringList &argumentos) {
    return Ejecuta(QStringLiteral(KV73CTL), argumentos, Tick_Rapido);
}

} // namespace

TEST(Kv73ctl_Report, AFileReportPrintsWhatTheFileHolds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("sample.pdf"));
    const auto r = Ctl({QStringLiteral("report"), Muestra, QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    EXPECT_TRUE(r.salida.isEmpty());

    // The values the file was made with, temperatures included: a file is never
    // the live relay, but its reader wants what it stored, not "Fco" everywhere.
    const QString plano = Simplifica(Texto_Pdf(pdf));
    for (const char *esperado :
         {"RTD Quantity : 4", "Temperature Pt1 : 62 °C 71 °C", "Temperature Pt2 : 64 °C 73 °C",
          "Temperature Pt3 : Fco °C 231 °C", "Temperature Pt4 : 58 °C 60 °C",
          "Alarm Temperature \"L1\" : 85 °C", "Trip Temperature \"L2\" : 105 °C",
          "Fan Presence : Yes", "Stop Fan Temperatue \"Low Fan\" : 50 °C",
          "Start Fan Temperatue \"High Fan\" : 65 °C", "Probe Quantity For Command Fan : 4",
          "Weekly Automatic Activation Fan: No"})
        EXPECT_TRUE(plano.contains(QString::fromUtf8(esperado))) << esperado << "\n"
                                                                 << plano.toStdString();
}

TEST(Kv73ctl_Report, RefusesWhatItCannotReadOrWrite) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    const QString ajeno = dir.filePath(QStringLiteral("other.KV73"));
    {
        QFile f(ajeno);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(255, 'x'));
    }
    const QString falta = dir.filePath(QStringLiteral("missing.KV73"));
    EXPECT_EQ(Ctl({QStringLiteral("report"), falta, QStringLiteral("--pdf"), pdf}).estado, 4);
    const auto r = Ctl({QStringLiteral("report"), ajeno, QStringLiteral("--pdf"), pdf});
    EXPECT_EQ(r.estado, 4);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("It isn't KV-73 File")))
        << r.errores.toStdString();
    EXPECT_FALSE(QFile::exists(pdf));

    const QString sin_carpeta = dir.filePath(QStringLiteral("no/such/dir/out.pdf"));
    EXPECT_EQ(Ctl({QStringLiteral("report"), Muestra, QStringLiteral("--pdf"), sin_carpeta}).estado,
              4);

    EXPECT_EQ(Ctl({QStringLiteral("report"), Muestra}).estado, 1);
    EXPECT_EQ(
        Ctl({QStringLiteral("report"), Muestra, Muestra, QStringLiteral("--pdf"), pdf}).estado, 1);
    EXPECT_EQ(Ctl({QStringLiteral("show"), Muestra, QStringLiteral("--pdf"), pdf}).estado, 1);
    EXPECT_FALSE(QFile::exists(pdf));
}

TEST(Kv73ctl_Report, ARelayReportPrintsItsSetpointsAndOnePoll) {
    Simulador sim({QStringLiteral("--probe-fault"), QStringLiteral("1:-11"),
                   QStringLiteral("--probe-fault"), QStringLiteral("3:231")});
    ASSERT_TRUE(sim.Listo());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("relay.pdf"));
    const QStringList enlace = {QStringLiteral("--device"), sim.Enlace()};

    auto r = Ctl(enlace + QStringList{QStringLiteral("report"), QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    r = Ctl(enlace + QStringList{QStringLiteral("--json"), QStringLiteral("setpoints")});
    ASSERT_EQ(r.estado, 0) << r.errores.toStdString();
    const QJsonObject s = QJsonDocument::fromJson(r.salida.toUtf8()).object();

    const QString plano = Simplifica(Texto_Pdf(pdf));
    const auto contiene = [&plano](const QString &t) {
        EXPECT_TRUE(plano.contains(t)) << t.toStdString() << "\n" << plano.toStdString();
    };
    contiene(
        QStringLiteral("Alarm Temperature \"L1\" : %1 °C").arg(s[QStringLiteral("L1")].toInt()));
    contiene(
        QStringLiteral("Trip Temperature \"L2\" : %1 °C").arg(s[QStringLiteral("L2")].toInt()));
    contiene(QStringLiteral("RTD Quantity : %1").arg(s[QStringLiteral("rtd_quantity")].toInt()));
    // The link is up, so the probe codes and measured values print as such.
    contiene(QStringLiteral("Temperature Pt1 : Fcc °C"));
    contiene(QStringLiteral("Temperature Pt3 : Fco °C"));
    EXPECT_TRUE(
        plano.contains(QRegularExpression(QStringLiteral("Temperature Pt2 : -?\\d+ °C \\d+ °C"))))
        << plano.toStdString();

    // No relay, no report.
    Simulador mudo({QStringLiteral("--silent")});
    ASSERT_TRUE(mudo.Listo());
    const QString nada = dir.filePath(QStringLiteral("none.pdf"));
    r = Ctl({QStringLiteral("--device"), mudo.Enlace(), QStringLiteral("report"),
             QStringLiteral("--pdf"), nada});
    EXPECT_EQ(r.estado, 2);
    EXPECT_TRUE(r.errores.contains(QStringLiteral("Relay Not Response")));
    EXPECT_FALSE(QFile::exists(nada));
}
