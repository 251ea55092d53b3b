#include "formularios/Operador_Qt.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QWidget *Ventana_Activa() { return QApplication::activeWindow(); }

QString Titulo(const QString &titulo) { return titulo.isEmpty() ? Titulo_Aplicacion : titulo; }

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
    QMessageBox caja(Icono_Qt(icono), Titulo(titulo), texto, QMessageBox::NoButton, Ventana_Activa());
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
        return botones == Botones::OK ? Respuesta::OK
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

QString Filtro_Qt(const QString &filtro) {
    const QStringList partes = filtro.split(QLatin1Char('|'));
    QStringList filtros;
    for (qsizetype i = 0; i + 1 < partes.size(); i += 2)
        if (!partes[i].trimmed().isEmpty())
            filtros << partes[i].trimmed();
    return filtros.join(QStringLiteral(";;"));
}

std::optional<QString> Operador_Qt::Dialogo_Abrir(const Peticion_Archivo &p) {
    const QString ruta = QFileDialog::getOpenFileName(Ventana_Activa(), p.titulo, QString(),
                                                      Filtro_Qt(p.filtro));
    return ruta.isEmpty() ? std::nullopt : std::optional<QString>(ruta);
}

std::optional<QString> Operador_Qt::Dialogo_Guardar(const Peticion_Archivo &p) {
    // Qt asks before overwriting an existing file.
    const QString ruta = QFileDialog::getSaveFileName(Ventana_Activa(), p.titulo, QString(),
                                                      Filtro_Qt(p.filtro));
    return ruta.isEmpty() ? std::nullopt : std::optional<QString>(ruta);
}
