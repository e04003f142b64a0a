// What a screen reader is told about the controls, read through QAccessible.

#include "about/form3.h"
#include "build/form4.h"
#include "editor/form1.h"
#include "fakes/fakeplatform.h"
#include "platform/sourceeditor.h"

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace vornex;
using namespace Qt::StringLiterals;

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void nameAndRole_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::newRow("editor") << u"editor"_s << u"Source"_s << QAccessible::EditableText;
        QTest::newRow("block list") << u"list"_s << u"Blocks"_s << QAccessible::ComboBox;
        QTest::newRow("settings path field named by its label")
            << u"Text1"_s << u"Exe File Path"_s << QAccessible::EditableText;
        QTest::newRow("settings parameters field named by its label")
            << u"Text2"_s << u"Parameters"_s << QAccessible::EditableText;
        QTest::newRow("Apply button") << u"Apply"_s << u"Apply"_s << QAccessible::PushButton;
        QTest::newRow("About viewer") << u"viewer"_s << u"About page"_s << QAccessible::Client;
    }

    void nameAndRole()
    {
        QFETCH(QString, control);
        fakes::FakePlatform fakes;
        Form1 ide(fakes.make(u"/nonexistent"_s));
        ide.show();
        ide.abt_Click();
        ide.SetupECop_Click();
        const QHash<QString, QWidget *> controls{
            {u"editor"_s, ide.RichTextBox1},
            {u"list"_s, ide.Combo1},
            {u"Text1"_s, ide.settingsWindow()->Text1},
            {u"Text2"_s, ide.settingsWindow()->Text2},
            {u"Apply"_s, ide.settingsWindow()->Command1},
            {u"viewer"_s, ide.aboutWindow()->WebBrowser1->widget()},
        };
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(controls[control]);
        QVERIFY(iface);
        QTEST(iface->text(QAccessible::Name), "name");
        QTEST(iface->role(), "role");
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
