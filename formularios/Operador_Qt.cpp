#include "formularios/Operador_Qt.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QWidget *Ventana_Activa() {
    return QApplication::activeWindow();
}

QString Titulo(const QString &titulo) {
    return titulo.isEmpty() ? Titulo_Aplicacion : titulo;
}

QMessageBox::Icon Icono_Qt(Icono icono) {
    switch (icono) {
    case Icono::Critico:
        return QMessageBox::Critical;
    case Icono::Pregunta:
        return QMessageBox::Question;
    case Icono::Exclamacion:
        return QMessageBox::Warning;
    case Icono::Informacion:
        return QMessageBox::Information;
    case Icono::Ninguno:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

Respuesta Operador_Qt::Mensaje(const QString &texto, const QString &titulo, Botones botones,
                               Icono icono) {
    QMessageBox caja(Icono_Qt(icono), Titulo(titulo), texto, QMessageBox::NoButton,
                     Ventana_Activa());
    switch (botones) {
    case Botones::OK:
        caja.setStandardButtons(QMessageBox::Ok);
        break;
    case Botones::OK_Cancel:
        caja.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Botones::Yes_No_Cancel:
        caja.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    case Botones::Yes_No:
        caja.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (caja.exec()) {
    case QMessageBox::Yes:
        return Respuesta::Yes;
    case QMessageBox::No:
        return Respuesta::No;
    case QMessageBox::Ok:
        return Respuesta::OK;
    default:
        // Escape or the window frame: the safe way out of each kind of box.
        return botones == Botones::OK       ? Respuesta::OK
               : botones == Botones::Yes_No ? Respuesta::No
                                            : Respuesta::Cancel;
    }
}

QString Operador_Qt::Caja_Entrada(const QString &pregunta, const QString &titulo,
                                  const QString &defecto) {
    bool aceptado = false;
    const QString texto = QInputDialog::getText(Ventana_Activa(), Titulo(titulo), pregunta,
                                                QLineEdit::Normal, defecto, &aceptado);
    return aceptado ? texto : QString();
}

namespace {

// The "Description|patterns" pairs of a request's filter, blank descriptions left out.
QList<std::pair<QString, QStringList>> Pares_Filtro(const QString &filtro) {
    const QStringList partes = filtro.split(QLatin1Char('|'));
    QList<std::pair<QString, QStringList>> pares;
    for (qsizetype i = 0; i + 1 < partes.size(); i += 2)
        if (!partes[i].trimmed().isEmpty())
            pares.append({partes[i].trimmed(), partes[i + 1].trimmed().split(QLatin1Char(';'))});
    return pares;
}

// Qt's file dialog for a request. An initial name with a wildcard ("*.KV73") is
// not a name anybody means to keep: it picks the filter that holds that
// pattern, whose files the dialog then shows. A plain name is proposed as it
// is. A save adds the pattern's extension to a name typed without one, before
// Qt asks about overwriting, so that the question is about the file written.
std::optional<QString> Dialogo_Archivo(const Peticion_Archivo &p, QFileDialog::AcceptMode modo) {
    QFileDialog dialogo(Ventana_Activa(), p.titulo);
    dialogo.setAcceptMode(modo);
    dialogo.setFileMode(modo == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                        : QFileDialog::ExistingFile);
    dialogo.setNameFilter(Filtro_Qt(p.filtro));

    const bool comodin = p.nombre.contains(u'*') || p.nombre.contains(u'?');
    const QString extension = QFileInfo(p.nombre).suffix();
    const QString patron = comodin ? p.nombre : QStringLiteral("*.") + extension;
    for (const auto &[descripcion, patrones] : Pares_Filtro(p.filtro))
        if (patrones.contains(patron)) {
            dialogo.selectNameFilter(descripcion);
            break;
        }
    if (!comodin && !p.nombre.isEmpty())
        dialogo.selectFile(p.nombre);
    if (modo == QFileDialog::AcceptSave && !extension.contains(u'*') && !extension.contains(u'?'))
        dialogo.setDefaultSuffix(extension);
    if (p.anade)
        dialogo.setOption(QFileDialog::DontConfirmOverwrite);

    if (dialogo.exec() != QDialog::Accepted || dialogo.selectedFiles().isEmpty())
        return std::nullopt;
    const QString ruta = dialogo.selectedFiles().constFirst();
    return ruta.isEmpty() ? std::nullopt : std::optional<QString>(ruta);
}

} // namespace

QString Filtro_Qt(const QString &filtro) {
    QStringList filtros;
    for (const auto &par : Pares_Filtro(filtro))
        filtros << par.first;
    return filtros.join(QStringLiteral(";;"));
}

std::optional<QString> Operador_Qt::Dialogo_Abrir(const Peticion_Archivo &p) {
    return Dialogo_Archivo(p, QFileDialog::AcceptOpen);
}

std::optional<QString> Operador_Qt::Dialogo_Guardar(const Peticion_Archivo &p) {
    // Qt asks before overwriting an existing file, unless the file is added to.
    return Dialogo_Archivo(p, QFileDialog::AcceptSave);
}
