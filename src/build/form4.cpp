#include "form4.h"

#include "appearance.h"
#include "twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vornex {

Form4::Form4() : QWidget(nullptr)
{
    makeFixedDialog(this, QStringLiteral("Execute Interperator"), 6015, 1380);

    Label1 = new QLabel(QStringLiteral("Exe File Path"), this);
    setTwipsGeometry(Label1, 120, 240, 2055, 255);
    Text1 = new QLineEdit(this);
    setTwipsGeometry(Text1, 1800, 240, 4095, 285);
    Label2 = new QLabel(QStringLiteral("Parameters"), this);
    setTwipsGeometry(Label2, 120, 600, 2055, 255);
    Text2 = new QLineEdit(this);
    setTwipsGeometry(Text2, 1800, 600, 4095, 285);
    Command1 = new QPushButton(QStringLiteral("Apply"), this);
    setTwipsGeometry(Command1, 4800, 960, 1095, 375);
    // Neither Enter nor Escape presses Apply.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);

    // Named as in the design, so that tests and tools find them.
    Text1->setObjectName(QStringLiteral("Text1"));
    Text2->setObjectName(QStringLiteral("Text2"));
    Command1->setObjectName(QStringLiteral("Command1"));
    // The labels name their fields for screen readers.
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
}

QString Form4::exePath() const
{
    return Text1->text();
}

QString Form4::parameters() const
{
    return Text2->text();
}

void Form4::Command1_Click()
{
    hide();
}

} // namespace vornex
