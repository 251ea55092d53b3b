// The trend window's redraw with a full 24-hour memory: 172 800 polls of
// synthetic temperatures (a slow swing, noise, and a failed poll now and then),
// the lamps changing every five minutes and a STORE that moves the thresholds
// every four hours, drawn offscreen several times into a picture the window's
// size. Prints the median of the redraws (cutting the runs, the threshold steps
// and the lamps' marks, and painting the chart), and the memory's size.
// Target: under 50 ms. On the 2-core build machine: 1.8 to 3.3 ms before the
// steps, the lamps and the round ticks (no lamps, flat thresholds); 4.0 to 4.2 ms
// after, with them.

#include "formularios/Operador_Qt.h"
#include "formularios/Ventana_Tendencia.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Memoria_Tendencia memoria;
    const qint64 inicio = QDateTime::currentMSecsSinceEpoch() - 24LL * 3600 * 1000;
    for (std::size_t i = 0; i < Memoria_Tendencia::Tope_24_Horas; ++i) {
        Punto_Tendencia p;
        p.ms = inicio + static_cast<qint64>(i) * Memoria_Tendencia::Sondeo_ms;
        p.estado = i % 5000 == 0 ? Estado_Sondeo::Sin_Respuesta : Estado_Sondeo::Ok;
        for (int k = 0; k < 4; ++k)
            p.palabras[k] =
                static_cast<int16_t>(80 + 30 * std::sin(static_cast<double>(i) / 20000 + k) +
                                     static_cast<int>((i * 7919 + k * 31) % 5) - 2);
        for (int l = 0; l < 4; ++l)
            Pon_Lampara(p, l, (i / 600 + l) % 3 ? Luz::Apagada : Luz::Encendida);
        memoria.Agrega_Umbrales(p.ms, {90 + static_cast<int>(i / 28800), 100, 60, 80});
        memoria.Agrega(p);
    }
    Operador_Qt operador;
    Ventana_Tendencia ventana(memoria, operador);
    ventana.show();
    // The view is laid out in the window once the events of the show are done.
    QApplication::processEvents();
    QImage imagen(ventana.Vista()->size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> ms;
    for (int vez = 0; vez < 15; ++vez) {
        ventana.Sigue_En_Vivo(); // forces the runs to be cut again
        QElapsedTimer reloj;
        reloj.start();
        ventana.Redibuja();
        QPainter pintor(&imagen);
        ventana.Vista()->render(&pintor);
        pintor.end();
        ms.push_back(static_cast<double>(reloj.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("24 h trend: %zu points held, %zu bytes (%zu bytes a point)\n", memoria.Cuantos(),
                memoria.Capacidad() * sizeof(Punto_Tendencia), sizeof(Punto_Tendencia));
    std::printf("redraw with a %dx%d view, %zu runs: median %.1f ms, min %.1f ms, max %.1f ms"
                "   target < 50 ms\n",
                ventana.Vista()->width(), ventana.Vista()->height(), ms.size(), ms[ms.size() / 2],
                ms.front(), ms.back());
    return 0;
}
