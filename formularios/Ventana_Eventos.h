#pragma once
// The Events window (Ctrl+E): the journal as a table, newest first, with the
// relay, the kind and the time span to look at. Events this program writes
// appear as they are written; events other programs write (kv73ctl) within a
// few seconds, looked for only while the window is shown. Export CSV... writes
// exactly the rows shown.

#include "diario/Diario_Eventos.h"

#include <QAbstractTableModel>
#include <QList>
#include <QTimer>
#include <QWidget>

class Principal;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

// The rows shown, newest first, at most Maximo_Filas of them.
class Modelo_Eventos : public QAbstractTableModel {
    Q_OBJECT
  public:
    // A journal of a million events is looked at through its newest rows: the
    // table stays quick, the filters reach older ones.
    static constexpr int Maximo_Filas = 10000;

    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex &padre = {}) const override;
    int columnCount(const QModelIndex &padre = {}) const override;
    QVariant data(const QModelIndex &indice, int rol) const override;
    QVariant headerData(int seccion, Qt::Orientation orientacion, int rol) const override;

    // The rows, in any order: they are shown newest first.
    void Pon(QList<Evento> eventos);
    // More rows; those already shown (by their journal number) are left out.
    void Agrega(const QList<Evento> &eventos);
    // Drops the rows older than `desde`.
    void Recorta(const QDateTime &desde);
    const QList<Evento> &Filas() const { return filas_; }

    // The column names, as the table heads them and the CSV's header row.
    static QStringList Columnas();
    // One row's fields, as the table and the CSV write them.
    static QStringList Campos(const Evento &evento);

  private:
    void Ordena_Y_Limita();
    QList<Evento> filas_;
};

class Ventana_Eventos : public QWidget {
    Q_OBJECT
  public:
    Ventana_Eventos(Principal &host, QWidget *padre);

    // The time spans of the span list, in its order (0: all).
    static constexpr qint64 Periodos_s[] = {3600, 24 * 3600, 7 * 24 * 3600, 0};
    static constexpr int Intervalo_ms = 2000;
    static constexpr int Vueltas_Sin_Mirar = 15;

    // Reads the journal again with the filters as they are set.
    void Consulta();
    // The events written since the last look (another program's included).
    void Revisa();
    // Export CSV...: the save dialog, then the rows shown, whole or not at all.
    void Exporta();
    // The rows shown as CSV (RFC 4180), header first, lines ending in CRLF.
    QString Csv() const;
    // An event this program wrote: shown at once when the filters take it.
    void Al_Anotar(const Evento &evento);

    Modelo_Eventos &Modelo() { return modelo_; }
    const QTimer &Reloj() const { return reloj_; }

    QTableView *Tabla;
    QSpinBox *Rele;     // 0: every relay
    QComboBox *Tipo;    // "All kinds", then the kinds
    QComboBox *Periodo; // last hour, 24 h, 7 days, all
    QPushButton *Exportar;
    QLabel *Nota;

  protected:
    void showEvent(QShowEvent *evento) override;
    void hideEvent(QHideEvent *evento) override;

  private:
    void Construye();
    Filtro_Eventos Filtro() const;
    bool Pasa(const Evento &evento) const;
    void Escribe_Nota(const QString &texto = {});
    // The journal's file and write-ahead log as they stand: sizes and times.
    QString Huella_Diario() const;

    Principal &host_;
    Modelo_Eventos modelo_;
    QTimer reloj_;
    qint64 ultimo_id_ = 0;
    QString huella_;
    int vueltas_sin_consulta_ = 0;
};
