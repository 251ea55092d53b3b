// The trend window for hours of watching: round ticks, the date when the view
// needs it, thresholds as the relay held them, the lamps' changes, the cursor,
// lines shown or hidden, and a value log opened from a file.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_Datos.h"
#include "formularios/AVPAGE2.h"
#include "formularios/Registro_Pagina.h"
#include "formularios/Ventana_Tendencia.h"
#include "registro/Lectura_Registro.h"
#include "tests/soporte/Escritorio.h"

#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <gtest/gtest.h>

namespace {

Fila_Registro Fila(qint64 ms, int direccion, Estado_Sondeo estado, int pt1, Luz l1) {
    Fila_Registro f;
    f.hora = QDateTime::fromMSecsSinceEpoch(ms);
    f.estado = estado;
    f.temperaturas = {QString::number(pt1), QStringLiteral("70"), QStringLiteral("Fco"),
                      QStringLiteral("-5")};
    f.luces.fill(Luz::Apagada);
    f.luces[6] = l1; // L1 in the log's column order
    f.direccion = direccion;
    return f;
}

} // namespace

TEST(Tendencia_Ejes, RoundTicksAndTheDateWhenTheViewNeedsIt) {
    for (const auto &[bajo, alto] :
         {std::pair{35.0, 80.0}, {60.0, 64.0}, {-11.0, 230.0}, {85.0, 85.0}, {-40.0, -38.0}}) {
        SCOPED_TRACE(bajo);
        const Escala_Temperatura e = Escala_Redonda(bajo, alto);
        EXPECT_LE(e.minimo, bajo - e.paso / 2);
        EXPECT_GE(e.maximo, alto + e.paso / 2);
        EXPECT_EQ(std::fmod(e.minimo, e.paso), 0.0) << "ticks anchored at 0 land on round values";
        EXPECT_LE((e.maximo - e.minimo) / e.paso, 10.0);
    }
    EXPECT_EQ(Escala_Redonda(35, 80).paso, 10.0) << "35/57/80 is what the operator was shown";
    EXPECT_EQ(Escala_Redonda(60, 64).paso, 5.0);

    const qint64 mediodia = QDateTime(QDate(2025, 3, 9), QTime(12, 0)).toMSecsSinceEpoch();
    const qint64 hora = 3600 * 1000;
    EXPECT_EQ(Formato_Hora(mediodia, mediodia + 300000), QStringLiteral("HH:mm:ss"));
    EXPECT_EQ(Formato_Hora(mediodia, mediodia + 2 * hora), QStringLiteral("HH:mm"));
    EXPECT_TRUE(
        Formato_Hora(mediodia + 11 * hora, mediodia + 13 * hora).contains(QLatin1String("dd")))
        << "across midnight";
    EXPECT_TRUE(Formato_Hora(mediodia - 12 * hora, mediodia + hora).contains(QLatin1String("dd")));
}

TEST(Memoria_Tendencia, ThresholdStepsAndLampChangesAsTheRelayHeldThem) {
    Memoria_Tendencia m(10);
    const auto umbrales = [](int l1) { return Umbrales_Tendencia{l1, 100, 60, 80}; };
    m.Agrega_Umbrales(0, umbrales(90));
    for (int i = 0; i < 8; ++i) {
        Punto_Tendencia p{
            i * 1000LL, {70, 0, 0, 0}, i == 4 ? Estado_Sondeo::Mala : Estado_Sondeo::Ok};
        Pon_Lampara(p, 0, i >= 3 ? Luz::Encendida : Luz::Apagada);
        Pon_Lampara(p, 3, Luz::Parpadeo);
        m.Agrega(p);
        m.Agrega_Umbrales(i * 1000LL, umbrales(i < 5 ? 90 : 95));
    }
    EXPECT_EQ(sizeof(Punto_Tendencia), 24u) << "the lamps ride in the padding";
    EXPECT_EQ(Lampara(m[3], 0), Luz::Encendida);
    EXPECT_EQ(Lampara(m[3], 3), Luz::Parpadeo);
    const std::vector<QPointF> l1 = Escalones_Umbral(m, 0, 0, 7000);
    EXPECT_EQ(l1, (std::vector<QPointF>{{0, 90}, {5000, 90}, {5000, 95}, {7000, 95}}));
    EXPECT_EQ(Escalones_Umbral(m, 1, 2000, 7000), (std::vector<QPointF>{{2000, 100}, {7000, 100}}))
        << "an unchanged threshold is one level line";
    // A failed poll has no lamps: L1 lit at 3 s, not again after the bad reply.
    EXPECT_EQ(Cambios_Lampara(m, 0, 0, 7000, 400), (std::vector<qint64>{3000}));
    EXPECT_TRUE(Cambios_Lampara(m, 3, 0, 7000, 400).empty());

    // The oldest points go, and the thresholds before them with them, but
    // never the ones the oldest point was polled under.
    for (int i = 8; i < 20; ++i)
        m.Agrega({i * 1000LL, {70, 0, 0, 0}, Estado_Sondeo::Ok});
    ASSERT_EQ(m.Umbrales().size(), 1u);
    EXPECT_EQ(Escalones_Umbral(m, 0, 10000, 19000).front(), QPointF(10000, 95));
}

TEST(Lectura_Registro, ALogReadsBackIntoPollsPerRelay) {
    QString csv = Cabecera_Csv(true);
    for (int i = 0; i < 4; ++i) {
        csv += Linea_Csv(
            Fila(1000LL * i, 1, Estado_Sondeo::Ok, 80 + i, i > 1 ? Luz::Parpadeo : Luz::Apagada));
        csv += Linea_Csv(Fila(1000LL * i + 10, 5,
                              i == 2 ? Estado_Sondeo::Sin_Respuesta : Estado_Sondeo::Ok, -3,
                              Luz::Encendida));
    }
    csv += QStringLiteral("1970-01-01T01:00:09.000+01:00,1,8"); // cut short by a crash
    Registro_Leido leido;
    ASSERT_EQ(Lee_Registro(csv.toUtf8(), leido), std::nullopt);
    EXPECT_EQ(leido.direcciones, (std::vector<int>{1, 5}));
    const Memoria_Tendencia uno = Memoria_Del_Registro(leido, 1);
    ASSERT_EQ(uno.Cuantos(), 4u);
    EXPECT_EQ(uno[3].ms, 3000);
    EXPECT_EQ(uno[3].palabras, (std::array<int16_t, 4>{83, 70, Temperatura_Fco, -5}));
    EXPECT_EQ(Lampara(uno[3], 0), Luz::Parpadeo);
    const Memoria_Tendencia cinco = Memoria_Del_Registro(leido, 5);
    ASSERT_EQ(cinco.Cuantos(), 4u);
    EXPECT_EQ(cinco[2].estado, Estado_Sondeo::Sin_Respuesta);
    EXPECT_EQ(cinco[3].palabras[0], -3);

    Registro_Leido otro;
    EXPECT_NE(Lee_Registro("L1 90\r\nL2 100\r\n", otro), std::nullopt) << "not a log";
    EXPECT_NE(Lee_Registro(Cabecera_Csv(false).toUtf8(), otro), std::nullopt) << "no rows";
}

class Tendencia_Escritorio : public Escritorio {
  protected:
    Ventana_Tendencia &Abre() {
        AVPAGE2 &p = Pagina();
        p.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&p));
        p.Timer1.stop();
        QTest::keyClick(&p, Qt::Key_T, Qt::ControlModifier);
        return *Registro_Pagina::De(p)->Tendencia();
    }
};

TEST_F(Tendencia_Escritorio, EmptyThenStepsWhereAStoreChangedTheSetpointsAndACursor) {
    Conecta_Rele();
    Ventana_Tendencia &v = Abre();
    EXPECT_TRUE(v.Aviso_Vacio()->isVisible());
    EXPECT_EQ(v.Aviso_Vacio()->text(), QStringLiteral("No values yet"));
    EXPECT_FALSE(v.Vista()->isVisible()) << "no axis of nothing";

    Enlace_Arriba();
    AVPAGE2 &p = Pagina();
    const int l1 = Lee_Word_Setpoint(4);
    for (int i = 0; i < 3; ++i) {
        p.Timer1_Timer();
        QTest::qWait(30);
    }
    // What a STORE leaves when the relay took the new L1.
    Estado.Set_Setpoints[5] = static_cast<uint8_t>(Estado.Set_Setpoints[5] + 5);
    for (int i = 0; i < 3; ++i) {
        p.Timer1_Timer();
        QTest::qWait(30);
    }
    v.Redibuja();
    EXPECT_FALSE(v.Aviso_Vacio()->isVisible());
    const QList<QPointF> escalones = v.Umbral(0)->points();
    ASSERT_EQ(escalones.size(), 4);
    EXPECT_EQ(escalones[0].y(), l1);
    EXPECT_EQ(escalones[1].x(), escalones[2].x()) << "a step, not a slope";
    EXPECT_EQ(escalones[3].y(), l1 + 5);
    EXPECT_EQ(std::fmod(v.Eje_Temperatura()->min(), v.Eje_Temperatura()->tickInterval()), 0.0);
    EXPECT_NE(v.Umbral(3)->pen().color(), v.Eje_Tiempo()->gridLineColor())
        << "High Fan is not drawn in the grid's colour";

    // The mouse over the newest poll: its time and every value under it.
    const Memoria_Tendencia &m = Registro_Pagina::De(p)->Memoria();
    const Punto_Tendencia &ultimo = m[m.Cuantos() - 1];
    QChartView *vista = v.Vista();
    const QPointF en_grafico = vista->chart()->mapToPosition(
        QPointF(static_cast<double>(ultimo.ms), v.Eje_Temperatura()->min() + 1), v.Umbral(0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    const QPoint lugar = vista->mapFromScene(vista->chart()->mapToScene(en_grafico));
    // The mouse moved with no button down: QTest would only set the cursor's
    // place, which the offscreen platform never turns into an event.
    QMouseEvent movida(QEvent::MouseMove, lugar, vista->viewport()->mapToGlobal(lugar),
                       Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(vista->viewport(), &movida);
    const QString texto = v.Texto_Cursor()->text();
    ASSERT_FALSE(texto.isEmpty());
    EXPECT_TRUE(texto.startsWith(
        QDateTime::fromMSecsSinceEpoch(ultimo.ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))))
        << texto.toStdString();
    EXPECT_TRUE(texto.contains(QStringLiteral("Pt1 %1 °C").arg(rele.Temperatura(1))))
        << texto.toStdString();
    EXPECT_TRUE(texto.contains(QStringLiteral("L1 %1").arg(l1 + 5))) << texto.toStdString();

    // A line hidden is out of the chart and out of the height.
    QCheckBox *pt1 = v.Casillas()[0];
    EXPECT_EQ(pt1->text(), QStringLiteral("Pt1"));
    QTest::mouseClick(pt1, Qt::LeftButton, {}, QPoint(5, pt1->height() / 2));
    ASSERT_FALSE(pt1->isChecked());
    for (QLineSeries *s : v.Series_Con_Puntos(0))
        EXPECT_FALSE(s->isVisible());
    EXPECT_TRUE(v.Series_Con_Puntos(1).front()->isVisible());
}

TEST_F(Tendencia_Escritorio, OpenLogAsksWhichRelayAndLiveComesBack) {
    Conecta_Rele();
    Ventana_Tendencia &v = Abre();
    QTemporaryDir dir;
    const QString ruta = dir.filePath(QStringLiteral("noche.csv"));
    const qint64 ayer = QDateTime(QDate(2025, 3, 8), QTime(20, 0)).toMSecsSinceEpoch();
    {
        QFile f(ruta);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QString csv = Cabecera_Csv(true);
        for (int i = 0; i < 16 * 60; ++i) { // sixteen hours, a poll a minute, two relays
            const Luz l1 = (i / 100) % 2 ? Luz::Encendida : Luz::Apagada;
            csv += Linea_Csv(Fila(ayer + i * 60000LL, 3, Estado_Sondeo::Ok, 60 + i % 40, l1));
            csv += Linea_Csv(Fila(ayer + i * 60000LL + 50, 7, Estado_Sondeo::Ok, 20, l1));
        }
        f.write(csv.toUtf8());
    }
    QPushButton *abrir = nullptr;
    for (QPushButton *b : v.findChildren<QPushButton *>())
        if (b->text() == QLatin1String("Open log..."))
            abrir = b;
    ASSERT_NE(abrir, nullptr);
    operador->Espera_Abrir(ruta).Espera_Entrada(
        QStringLiteral("The log holds relays 3, 7. Which address?"), QStringLiteral("3"));
    QTest::mouseClick(abrir, Qt::LeftButton);
    EXPECT_EQ(v.windowTitle(), QStringLiteral("KV-73 Trend - noche.csv (relay 3)"));
    const auto series = v.Series_Con_Puntos(0);
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(series[0]->at(0).x(), double(ayer));
    EXPECT_EQ(v.Eje_Tiempo()->format(), QStringLiteral("dd MMM HH:mm")) << "over midnight";
    EXPECT_EQ(v.Marcas_Lampara(0)->count(), 9) << "L1 changed every 100 minutes";
    EXPECT_EQ(v.Umbral(0)->count(), 0) << "a log holds no setpoints";

    operador->Espera_Abrir(dir.filePath(QStringLiteral("nada.csv")))
        .Espera_Mensaje(QStringLiteral("The log %1 cannot be shown: No such file or directory")
                            .arg(dir.filePath(QStringLiteral("nada.csv"))));
    QTest::mouseClick(abrir, Qt::LeftButton);
    EXPECT_EQ(v.windowTitle(), QStringLiteral("KV-73 Trend - noche.csv (relay 3)"));

    v.Sigue_En_Vivo();
    EXPECT_EQ(v.windowTitle(), QStringLiteral("KV-73 Trend"));
    EXPECT_TRUE(v.Aviso_Vacio()->isVisible()) << "the page has polled nothing yet";
}
