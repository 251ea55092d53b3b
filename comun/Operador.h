#pragma once
// The operator seam. Every message box, question, input box and file dialog of
// the program goes through an Operador, and every text the core writes into a
// window (the settings dialog's status label, the host's status bar panels and
// caption) goes through a Ventanas. The desktop program plugs in Qt dialogs and
// its forms; kv73ctl prints; tests script the answers and record the texts.

#include <QString>
#include <QStringList>
#include <optional>

enum class Botones { OK, OK_Cancel, Yes_No_Cancel, Yes_No };
enum class Icono { Ninguno, Critico, Pregunta, Exclamacion, Informacion };
enum class Respuesta { OK, Cancel, Yes, No };

// A file dialog as the program asks for it. `filtro` uses the platform's
// "Description|*.ext" pairs; `nombre` is the initial file name.
struct Peticion_Archivo {
    QString titulo;
    QString filtro;
    QString nombre;
    // A save that adds to an existing file (a value log) rather than replacing
    // it: no "replace it?" question for a file that is there.
    bool anade = false;
};

class Operador {
  public:
    virtual ~Operador() = default;

    // `titulo` empty means the application's own title.
    virtual Respuesta Mensaje(const QString &texto, const QString &titulo = {},
                              Botones botones = Botones::OK, Icono icono = Icono::Ninguno) = 0;

    // The answer typed, or an empty text when the operator cancels.
    virtual QString Caja_Entrada(const QString &pregunta, const QString &titulo,
                                 const QString &defecto) = 0;

    // The chosen path, or nothing when the operator cancels.
    virtual std::optional<QString> Dialogo_Abrir(const Peticion_Archivo &peticion) = 0;
    virtual std::optional<QString> Dialogo_Guardar(const Peticion_Archivo &peticion) = 0;
};

class Ventanas {
  public:
    virtual ~Ventanas() = default;
    // Label6 of the communication settings dialog.
    virtual void Escribe_Estado_Enlace(const QString &texto) = 0;
    // Panel n (1..6) of the host form's status bar.
    virtual void Escribe_Panel(int panel, const QString &texto) = 0;
    // Caption of the host form.
    virtual void Escribe_Titulo(const QString &texto) = 0;
};

// Keeps the last text of each window so that a program without windows (kv73ctl)
// can show them, and so that the desktop program can read them back.
class Ventanas_En_Memoria : public Ventanas {
  public:
    void Escribe_Estado_Enlace(const QString &texto) override { Label6 = texto; }
    void Escribe_Panel(int panel, const QString &texto) override {
        if (panel >= 1 && panel <= 6)
            Paneles[panel - 1] = texto;
    }
    void Escribe_Titulo(const QString &texto) override { Titulo = texto; }

    QString Label6;
    QString Paneles[6];
    QString Titulo;
};
