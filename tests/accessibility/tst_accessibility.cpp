#include "about/form3.h"
#include "build/form4.h"
#include "editor/form1.h"
#include "platform/htmlviewer.h"
#include "platform/sourceeditor.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <algorithm>

using namespace vornex;

namespace {

class FakeViewer final : public HtmlViewer
{
public:
    explicit FakeViewer(QWidget *parent) : m_widget(new QWidget(parent)) {}
    QWidget *widget() override { return m_widget; }
    void navigate(const QUrl &) override {}

private:
    QWidget *m_widget;
};

class FakeViewerFactory final : public HtmlViewerFactory
{
public:
    HtmlViewer *create(QWidget *parent, ViewerKind) override { return new FakeViewer(parent); }
};

std::unique_ptr<Form1> makeIde()
{
    Platform platform;
    platform.appDir = QStringLiteral("/nonexistent");
    platform.viewers = std::make_unique<FakeViewerFactory>();
    platform.endProcess = [](int) {
    };
    auto window = std::make_unique<Form1>(std::move(platform));
    window->show();
    return window;
}

QAccessibleInterface *accessible(QObject *object)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(object);
    if (!iface)
        qFatal("no accessible interface for %s", object->metaObject()->className());
    return iface;
}

// Where a widget sits in the accessible tree, for failure messages.
QString describe(QAccessibleInterface *iface)
{
    QStringList path;
    for (QAccessibleInterface *i = iface; i; i = i->parent()) {
        const QObject *object = i->object();
        path.prepend(object ? QString::fromLatin1(object->metaObject()->className()) : u"?"_qs);
    }
    return path.join(u" > "_qs);
}

// Every node a user can reach with the keyboard or the mouse must be announced by name: the
// parts of a control that a screen reader speaks through the control itself (an editor's
// scroll bars, a combo box's popup) are left to that control.
void checkEveryReachableNodeIsNamed(QAccessibleInterface *iface)
{
    const QAccessible::Role role = iface->role();
    QVERIFY2(role != QAccessible::NoRole, qPrintable(describe(iface)));
    const bool reachable = iface->state().focusable || role == QAccessible::MenuItem ||
                           role == QAccessible::PushButton || role == QAccessible::Window;
    if (reachable) {
        QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(),
                 qPrintable(u"no accessible name: "_qs + describe(iface)));
    }
    if (role == QAccessible::ComboBox || role == QAccessible::EditableText)
        return;
    for (int c = 0; c < iface->childCount(); ++c) {
        checkEveryReachableNodeIsNamed(iface->child(c));
        if (QTest::currentTestFailed())
            return;
    }
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void controlsAnnounceNameAndRole_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QAccessible::Role>("role");
        QTest::newRow("main-window") << u"Form1"_qs << QString() << QAccessible::Window;
        QTest::newRow("editor") << u"RichTextBox1"_qs << u"Source"_qs << QAccessible::EditableText;
        QTest::newRow("block-list") << u"Combo1"_qs << u"Blocks"_qs << QAccessible::ComboBox;
        QTest::newRow("block-list-label")
            << u"Label1"_qs << u"Blocks"_qs << QAccessible::StaticText;
        QTest::newRow("about-window") << u"Form3"_qs << u"About"_qs << QAccessible::Window;
        QTest::newRow("about-viewer")
            << u"WebBrowser1"_qs << u"About page"_qs << QAccessible::Client;
    }

    void controlsAnnounceNameAndRole()
    {
        QFETCH(QString, control);
        QFETCH(QString, name);
        QFETCH(QAccessible::Role, role);
        auto ide = makeIde();
        ide->abt_Click();
        const QHash<QString, QWidget *> controls = {
            {u"Form1"_qs, ide.get()},
            {u"RichTextBox1"_qs, static_cast<QWidget *>(ide->RichTextBox1)},
            {u"Combo1"_qs, ide->Combo1},
            {u"Label1"_qs, ide->Label1},
            {u"Form3"_qs, ide->aboutWindow()},
            {u"WebBrowser1"_qs, ide->aboutWindow()->WebBrowser1->widget()},
        };
        QAccessibleInterface *iface = accessible(controls.value(control));
        QCOMPARE(iface->role(), role);
        if (name.isNull())
            QVERIFY(iface->text(QAccessible::Name).startsWith(u"VORNEX IDE - "_qs));
        else
            QCOMPARE(iface->text(QAccessible::Name), name);
    }

    void everyReachableNodeIsNamed_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("main-window") << u"Form1"_qs;
        QTest::newRow("about-window") << u"Form3"_qs;
    }

    void everyReachableNodeIsNamed()
    {
        QFETCH(QString, window);
        auto ide = makeIde();
        ide->abt_Click();
        QWidget *top = window == u"Form1" ? static_cast<QWidget *>(ide.get()) : ide->aboutWindow();
        checkEveryReachableNodeIsNamed(accessible(top));
    }

    void menuItemsAnnounceTheirShortcuts()
    {
        auto ide = makeIde();
        int items = 0;
        for (QMenu *menu : {ide->File, ide->Build, ide->Opt, ide->Hlp}) {
            QAccessibleInterface *popup = accessible(menu);
            for (int c = 0; c < popup->childCount(); ++c) {
                QAccessibleInterface *child = popup->child(c);
                if (child->role() == QAccessible::Separator)
                    continue;
                ++items;
                const auto *item = qobject_cast<QAction *>(child->object());
                QVERIFY(item);
                QCOMPARE(child->role(), QAccessible::MenuItem);
                QCOMPARE(child->text(QAccessible::Name), item->text());
                QCOMPARE(child->text(QAccessible::Accelerator),
                         item->shortcut().toString(QKeySequence::NativeText));
                QVERIFY2(!item->shortcut().isEmpty(), qPrintable(item->text()));
            }
        }
        QCOMPARE(items, 10);
    }

    // The settings window's fields are named by the labels beside them.
    void settingsWindowAnnouncesItsFields()
    {
        auto ide = makeIde();
        ide->SetupECop_Click();
        Form4 *settings = ide->settingsWindow();
        QList<QLineEdit *> fields =
            settings ? settings->findChildren<QLineEdit *>() : QList<QLineEdit *>();
        if (fields.size() != 2)
            QSKIP("the settings window has no text boxes yet");
        std::sort(fields.begin(), fields.end(),
                  [](QWidget *a, QWidget *b) { return a->y() < b->y(); });
        QCOMPARE(accessible(fields[0])->text(QAccessible::Name), u"Exe File Path"_qs);
        QCOMPARE(accessible(fields[0])->role(), QAccessible::EditableText);
        QCOMPARE(accessible(fields[1])->text(QAccessible::Name), u"Parameters"_qs);
        QCOMPARE(accessible(fields[1])->role(), QAccessible::EditableText);
        auto *apply = settings->findChild<QPushButton *>();
        QVERIFY(apply);
        QCOMPARE(accessible(apply)->text(QAccessible::Name), u"Apply"_qs);
        QCOMPARE(accessible(apply)->role(), QAccessible::PushButton);
        checkEveryReachableNodeIsNamed(accessible(settings));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
