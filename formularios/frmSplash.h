#pragma once
// The splash shown for one second when an operator starts the program.

#include <QWidget>

class QLabel;

class frmSplash : public QWidget {
    Q_OBJECT
  public:
    frmSplash();
    void Form_Load();
    QLabel *lblVersion;

  protected:
    // A key or a click closes it early.
    void keyPressEvent(QKeyEvent *evento) override;
    void mousePressEvent(QMouseEvent *evento) override;
};

// "Version 1.2.3" from the build's version numbers.
QString Texto_Version();
