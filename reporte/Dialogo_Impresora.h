#pragma once
// The printer dialog, behind a seam so that a test can choose the printer (a
// PDF file), cancel, or have no printer at all, without a dialog on the screen.

class QPrinter;
class QWidget;

class Dialogo_Impresora {
  public:
    virtual ~Dialogo_Impresora() = default;
    // Whether there is a printer to choose. A dialog that chooses a file of its
    // own always has one.
    virtual bool Hay_Impresoras() const { return true; }
    // Lets the operator choose and set up `impresora`. False means do not print.
    virtual bool Elige(QPrinter &impresora) = 0;
};

// The platform's printer dialog over the installed printers, with printing to a
// PDF file as one more choice and without the selection choice: the report is
// always one whole page.
class Dialogo_Impresora_Qt : public Dialogo_Impresora {
  public:
    explicit Dialogo_Impresora_Qt(QWidget *padre = nullptr) : padre_(padre) {}
    bool Hay_Impresoras() const override;
    bool Elige(QPrinter &impresora) override;

  private:
    QWidget *padre_;
};
