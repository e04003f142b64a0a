#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vornex {

// The interpreter settings window: the interpreter's path and parameters, kept only as long as
// the window exists.
class Form4 : public QWidget
{
    Q_OBJECT

public:
    Form4();

    // The interpreter's path and its parameters, exactly as typed.
    QString exePath() const;
    QString parameters() const;

    // Apply: hides the window, which keeps its texts.
    void Command1_Click();

private:
    QLabel *Label1;
    QLineEdit *Text1;
    QLabel *Label2;
    QLineEdit *Text2;
    QPushButton *Command1;
};

} // namespace vornex
