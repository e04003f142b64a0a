#include "form4.h"

#include "platform/appearance.h"
#include "platform/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vornex {

Form4::Form4() : QWidget(nullptr)
{
    makeFixedDialog(this, QStringLiteral("Execute Interperator"), 6015, 1380);

    Label1 = new QLabel(QStringLiteral("Exe File Path"), this);
    Label1->setGeometry(twipsToPixels(this, 120), twipsToPixels(this, 240),
                        twipsToPixels(this, 2055), twipsToPixels(this, 255));
    Text1 = new QLineEdit(this);
    Text1->setGeometry(twipsToPixels(this, 1800), twipsToPixels(this, 240),
                       twipsToPixels(this, 4095), twipsToPixels(this, 285));
    Label2 = new QLabel(QStringLiteral("Parameters"), this);
    Label2->setGeometry(twipsToPixels(this, 120), twipsToPixels(this, 600),
                        twipsToPixels(this, 2055), twipsToPixels(this, 255));
    Text2 = new QLineEdit(this);
    Text2->setGeometry(twipsToPixels(this, 1800), twipsToPixels(this, 600),
                       twipsToPixels(this, 4095), twipsToPixels(this, 285));
    Command1 = new QPushButton(QStringLiteral("Apply"), this);
    Command1->setGeometry(twipsToPixels(this, 4800), twipsToPixels(this, 960),
                          twipsToPixels(this, 1095), twipsToPixels(this, 375));
    // Neither Enter nor Escape presses Apply.
    Command1->setAutoDefault(false);
    Command1->setDefault(false);
    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);

    // The labels name their fields for screen readers.
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Command1);
}

void Form4::Command1_Click()
{
    hide();
}

} // namespace vornex
