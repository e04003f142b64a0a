// The main window on fakes: its start state, the resize rule, the menu keys against the editor,
// the block list while typing and after every kind of change, and Exit.

#include "appearance.h"
#include "blocklistmodel.h"
#include "fakes/fakeplatform.h"
#include "form3.h"
#include "form4.h"
#include "scanblocks.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QProxyStyle>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWindow>

using namespace vornex;
using namespace Qt::StringLiterals;

using fakes::Ide;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startState_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("sourcePath");
        QTest::newRow("folder") << u"/opt/vornex ide"_s << u"/opt/vornex ide/Untitled.vornex"_s;
        QTest::newRow("root keeps its separator") << u"/"_s << u"//Untitled.vornex"_s;
        QTest::newRow("placeholder shown as is") << u"/a[*]b"_s << u"/a[*]b/Untitled.vornex"_s;
    }

    // The untitled path in AppDir, its caption, an empty block list that selects nothing, and an
    // icon drawn for sizes up to 256 pixels.
    void startState()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, sourcePath);
        Ide ide(appDir);
        QCOMPARE(ide.window.SourcePath, sourcePath);
        QCOMPARE(ide.window.windowHandle()->title(), u"VORNEX IDE - "_s + sourcePath);
        QCOMPARE(ide.window.blockList()->count(), 0);
        QCOMPARE(ide.window.blockList()->currentIndex(), -1);
        QCOMPARE(ide.window.windowIcon().pixmap(256).size(), QSize(256, 256));
    }

    // The window's outer size in twips drives the layout: the editor is 370 narrower and 1400
    // lower, the list 1600 narrower; a size that would be negative is skipped and that control
    // keeps the size it had. -1 stands for "kept".
    void resize_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QSize>("editor");
        QTest::addColumn<int>("list");
        QTest::newRow("9000x7000") << QSize(9000, 7000) << QSize(8630, 5600) << 7400;
        QTest::newRow("list skipped below 1600") << QSize(1500, 7000) << QSize(1130, 5600) << -1;
        QTest::newRow("zero-width list") << QSize(1600, 7000) << QSize(1230, 5600) << 0;
        QTest::newRow("editor height skipped below 1400")
            << QSize(9000, 1200) << QSize(8630, -1) << 7400;
        QTest::newRow("everything skipped") << QSize(300, 1000) << QSize(-1, -1) << -1;
    }

    void resize()
    {
        QFETCH(QSize, outer);
        QFETCH(QSize, editor);
        QFETCH(int, list);
        Ide ide;
        Form1 &w = ide.window;
        const auto px = [&](double twips) {
            return twipsToPixels(twips, logicalDpi(&w));
        };
        w.setMinimumSize(1, 1);
        w.resize(px(8000), px(6000));
        const QSize editorBefore = w.editor()->size();
        const int listBefore = w.blockList()->width();
        const QSize outerPx(px(outer.width()), px(outer.height()));
        w.resize(outerPx - (w.frameGeometry().size() - w.size()));
        QTRY_COMPARE(w.frameGeometry().size(), outerPx);
        // A pixel holds 15 twips at 96 dpi, so the sizes may be a pixel off the exact twips.
        const auto near = [&](int got, int twips, int before) {
            return twips < 0 ? got == before : qAbs(got - px(twips)) <= 1;
        };
        QVERIFY(near(w.editor()->width(), editor.width(), editorBefore.width()));
        QVERIFY(near(w.editor()->height(), editor.height(), editorBefore.height()));
        QVERIFY(near(w.blockList()->width(), list, listBefore));
    }

    void shortcuts_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("effect");
        QTest::newRow("Ctrl+N new") << QKeySequence(u"Ctrl+N"_s) << u"new"_s;
        QTest::newRow("Ctrl+L open, not line cut") << QKeySequence(u"Ctrl+L"_s) << u"dialog"_s;
        QTest::newRow("Ctrl+S save") << QKeySequence(u"Ctrl+S"_s) << u"saved"_s;
        QTest::newRow("Ctrl+A save as, not select all") << QKeySequence(u"Ctrl+A"_s) << u"dialog"_s;
        QTest::newRow("Ctrl+E exit") << QKeySequence(u"Ctrl+E"_s) << u"exit"_s;
        QTest::newRow("close box ends the IDE") << QKeySequence() << u"exit"_s;
        QTest::newRow("F4 assemble") << QKeySequence(u"F4"_s) << u"launch"_s;
        QTest::newRow("F6 debug output") << QKeySequence(u"F6"_s) << u"debug output"_s;
        QTest::newRow("F5 execute") << QKeySequence(u"F5"_s) << u"settings"_s;
        QTest::newRow("Ctrl+O setup") << QKeySequence(u"Ctrl+O"_s) << u"settings"_s;
        QTest::newRow("Ctrl+H about") << QKeySequence(u"Ctrl+H"_s) << u"about"_s;
        QTest::newRow("Ctrl+Tab to the list") << QKeySequence(u"Ctrl+Tab"_s) << u"list focused"_s;
    }

    // Every menu key runs its command while the editor has the focus, and the editor does not
    // also act on it: the text stays, nothing gets selected. Ctrl+Tab moves to the block list,
    // which shows that it has the focus.
    void shortcuts()
    {
        QFETCH(QKeySequence, key);
        QFETCH(QString, effect);
        Ide ide;
        Form1 &w = ide.window;
        w.editor()->setRawBytes("main {\r\n}");
        w.editor()->setCursorPosition(1, 0);
        const QImage list = w.blockList()->grab().toImage();

        if (key.isEmpty())
            w.close();
        else
            QTest::keySequence(w.editor(), key);

        QCOMPARE(ide.bytes(), effect == u"new" ? QByteArray() : QByteArray("main {\r\n}"));
        QVERIFY(!w.editor()->hasSelectedText());
        const QMap<QString, bool> happened{
            {u"new"_s, true},
            {u"dialog"_s, ide.fakes.dialogPresets.size() == 1},
            {u"saved"_s, QFileInfo(w.SourcePath).size() == 9},
            {u"exit"_s, ide.fakes.exits == QList<int>{0}},
            {u"launch"_s, ide.fakes.launches.size() == 1},
            {u"debug output"_s, w.debugOutputWindow() != nullptr},
            {u"settings"_s, w.settingsWindow() && w.settingsWindow()->isVisible()},
            {u"about"_s, w.aboutWindow() && w.aboutWindow()->isVisible()},
            {u"list focused"_s,
             w.blockList()->hasFocus() && w.blockList()->grab().toImage() != list},
        };
        QVERIFY(happened.value(effect));
    }

    void look_data()
    {
        QTest::addColumn<QPalette>("theme"); // as the desktop's theme hands it to the application
        QTest::addColumn<bool>("live");      // chosen while the window is open
        QTest::addColumn<QColor>("caret");
        QPalette light = QApplication::palette(), dark = light, faint = light;
        dark.setColor(QPalette::Text, Qt::white); // qt6ct's "darker"
        dark.setColor(QPalette::Base, QColor::fromRgb(0x3d3d3d));
        dark.setColor(QPalette::Highlight, QColor::fromRgb(0x12608a));
        faint.setColor(QPalette::Text, QColor::fromRgb(0x777777));
        faint.setColor(QPalette::Base, QColor::fromRgb(0x555555));
        QTest::newRow("light") << light << false << light.color(QPalette::Text);
        QTest::newRow("dark, chosen while running") << dark << true << QColor(Qt::white);
        QTest::newRow("faint text, a white caret") << faint << false << QColor(Qt::white);
    }

    // The editor in the theme's colours, the caret in its text colour where that stands out; no
    // margin; a horizontal scroll bar only once a line wider than the editor has shown; a whole
    // frame at scale 1.5.
    void look()
    {
        QFETCH(QPalette, theme);
        QFETCH(bool, live);
        QFETCH(QColor, caret);
        const auto restore =
            qScopeGuard([light = QApplication::palette()] { QApplication::setPalette(light); });
        QApplication::setPalette(live ? QApplication::palette() : theme);
        Ide ide;
        QApplication::setPalette(theme);
        QCoreApplication::processEvents(); // the windows hear of a theme from the event loop
        SourceEditor *editor = ide.window.editor();
        const long bgr = editor->SendScintilla(SourceEditor::SCI_GETCARETFORE);
        QCOMPARE(QColor(bgr & 0xff, bgr >> 8 & 0xff, bgr >> 16 & 0xff), caret);
        QVERIFY(contrastRatio(caret, theme.color(QPalette::Base)) >= 4.5);
        // At scale 1.5 the frame keeps its four lines (the window drawn as for such a screen).
        QPixmap scaled(ide.window.size() * 3 / 2);
        scaled.setDevicePixelRatio(1.5);
        ide.window.render(&scaled);
        const QImage shown = scaled.toImage();
        const QRect at(editor->mapTo(&ide.window, QPoint()) * 1.5, editor->size() * 1.5);
        const QPoint middle = at.center();
        for (const auto &[edge, in] : {std::pair(QPoint(middle.x(), at.top()), QPoint(0, 1)),
                                       {{middle.x(), at.bottom()}, {0, -1}},
                                       {{at.left(), middle.y()}, {1, 0}},
                                       {{at.right(), middle.y()}, {-1, 0}}})
            QVERIFY(shown.pixel(edge) == theme.color(QPalette::Mid).rgb() ||
                    shown.pixel(edge + in) == theme.color(QPalette::Mid).rgb());
        for (int margin = 0; margin < editor->SendScintilla(SourceEditor::SCI_GETMARGINS); ++margin)
            QCOMPARE(editor->SendScintilla(SourceEditor::SCI_GETMARGINWIDTHN, margin), 0);
        for (const std::string &text :
             {std::string("m"), std::string(400, 'm'), std::string("m")}) {
            editor->setRawBytes(text);
            editor->selectAll();
            QCOMPARE(editor->viewport()->grab().toImage().pixelColor(2, 1),
                     theme.color(QPalette::Highlight));
            QTRY_COMPARE(editor->horizontalScrollBar()->isVisible(), text.size() > 100);
        }
    }

    void popupOfNestedText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("found"); // the first entry that starts with "l", or -1
        QTest::newRow("nested label lines")
            << QByteArray("label{\n").repeated(2000) + QByteArray("}\n").repeated(2000) << 0;
        QTest::newRow("label lines after CR LF")
            << "x{\r\n" + QByteArray("label{\n").repeated(1999) + QByteArray("}\n").repeated(2000)
            << 1;
        QTest::newRow("braces on one line") << QByteArray(4000, '{') + QByteArray(4000, '}') << -1;
    }

    // The popup opens on the longest entries with the box's width and rows of one size; an entry
    // stays whole in the list, is drawn elided from a screenful of its characters, and carries a
    // tool tip of a sane length, which is also the box's name when it is chosen. A letter typed
    // in the open list goes to the first entry that starts with it, if any.
    void popupOfNestedText()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, found);
        struct Recorder : QProxyStyle
        {
            void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                             const QWidget *widget) const override
            {
                if (const auto *item = qstyleoption_cast<const QStyleOptionViewItem *>(option))
                    drawn << item->text;
                QProxyStyle::drawControl(element, option, painter, widget);
            }
            mutable QStringList drawn;
        } recorder;
        Ide ide;
        QComboBox *box = ide.window.blockList();
        QAbstractItemView *view = box->view();
        view->setStyle(&recorder);
        ide.window.editor()->setRawBytes(text.toStdString());
        QCoreApplication::sendPostedEvents(); // as the event loop does after every input event
        const std::string_view bytes(text.constData(), std::size_t(text.size()));
        const BlockList blocks = ScanBlocks(bytes);
        const std::size_t longest = blocks.size() - 1; // nested: each entry holds those before
        const QModelIndex lastIndex = box->model()->index(int(longest), 0);
        box->setCurrentIndex(lastIndex.row());
        QCOMPARE(box->itemText(lastIndex.row()).toStdString(), blocks.entry(longest, bytes));
        QVERIFY(lastIndex.data(Qt::ToolTipRole).toString().size() <= BlockListModel::kLongestTip);
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name),
                 lastIndex.data(Qt::ToolTipRole).toString());

        box->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(view->window()));
        view->viewport()->repaint();
        QCOMPARE(view->window()->width(), box->width());
        QCOMPARE(view->visualRect(lastIndex).size(),
                 view->visualRect(box->model()->index(0, 0)).size().expandedTo({1, 1}));
        QVERIFY(!recorder.drawn.isEmpty());
        for (const QString &drawn : std::as_const(recorder.drawn))
            QVERIFY2(drawn.size() <= view->viewport()->width(), qPrintable(drawn.left(20)));
        QVERIFY(recorder.drawn.join(QString()).contains(QChar(0x2026)));
        QTest::keyClick(view, Qt::Key_L);
        QCOMPARE(view->currentIndex().row(), found < 0 ? lastIndex.row() : found);
        box->hidePopup();
    }

    void listMatchesText_data()
    {
        QTest::addColumn<QString>("keys"); // "|" lets the list be rebuilt
        QTest::addColumn<int>("events");   // that the list sends for the last key
        for (const auto &[name, keys, events] : {std::tuple("type", "{", 1),
                                                 {"type what no entry holds", "x", 0},
                                                 {"paste", "Ctrl+V", 1},
                                                 {"undo", "Ctrl+Z", 1},
                                                 {"redo", "Ctrl+Z|Ctrl+Y", 1},
                                                 {"new", "Ctrl+N", 1},
                                                 {"open", "Ctrl+L", 1}})
            QTest::newRow(name) << QString::fromLatin1(keys) << events;
    }

    // Every kind of change leaves the list equal to a fresh scan of the text when the next input
    // event arrives (a click on the list, which opens it), told to a screen reader by one event
    // of the list's if the entries changed and by none if not; it selects nothing, a long name
    // widens neither the list nor the window, and choosing an entry leaves the text alone.
    void listMatchesText()
    {
        QFETCH(QString, keys);
        QFETCH(int, events);
        Ide ide;
        Form1 &w = ide.window;
        SourceEditor *editor = w.editor();
        QComboBox *box = w.blockList();
        const QSize listSize = box->size(), windowSize = w.size();
        QVERIFY(fakes::writeFile(ide.path(u"open.vornex"_s), "one {\n}\ntwo {\n}"));
        ide.fakes.dialogAnswers.enqueue(ide.path(u"open.vornex"_s));
        QGuiApplication::clipboard()->setText(u"pasted {\r\n}\r\n"_s);
        QTest::keyClicks(editor, u"main {\r}\r"_s + QString(300, u'n') + u" {\r}"_s);
        editor->setCursorPosition(1, 1);
        QCoreApplication::sendPostedEvents(); // as the event loop does after every input event
        // What a screen reader is told of the list: the changes of the model's entries and of
        // the box's choice.
        int told = 0;
        const auto tell = [&] {
            ++told;
        };
        QAbstractItemModel *model = box->model();
        for (const auto &changed : {connect(model, &QAbstractItemModel::modelReset, this, tell),
                                    connect(model, &QAbstractItemModel::rowsInserted, this, tell),
                                    connect(model, &QAbstractItemModel::rowsRemoved, this, tell),
                                    connect(model, &QAbstractItemModel::dataChanged, this, tell),
                                    connect(model, &QAbstractItemModel::layoutChanged, this, tell),
                                    connect(box, &QComboBox::currentIndexChanged, this, tell)})
            QVERIFY(changed);
        struct AtPress : QObject
        {
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::MouseButtonPress)
                    check();
                return false;
            }
            std::function<void()> check;
        } atPress;
        bool current = false;
        int toldAtPress = 0;
        atPress.check = [&] {
            const std::string_view text = editor->bytesView();
            const BlockList fresh = ScanBlocks(text);
            current = std::size_t(box->count()) == fresh.size();
            for (int i = 0; current && i < box->count(); ++i)
                current = box->itemText(i).toStdString() == fresh.entry(std::size_t(i), text);
            toldAtPress = told;
        };
        box->installEventFilter(&atPress);
        for (const QString &key : keys.split(u'|')) {
            told = 0;
            QTest::keySequence(editor, QKeySequence(key));
            // Read before the rebuild, as a screen reader may: nothing past the text is read.
            for (int i = 0; i < box->count(); ++i)
                (void)box->itemText(i);
            QTest::mouseClick(box, Qt::LeftButton);
            QVERIFY(current);
            box->hidePopup();
        }
        QCOMPARE(toldAtPress, events);
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box->size(), listSize);
        QCOMPARE(w.size(), windowSize);
        const QByteArray bytes = ide.bytes();
        emit box->activated(0);
        QCOMPARE(ide.bytes(), bytes);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
