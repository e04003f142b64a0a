#include "about/form3.h"
#include "build/form4.h"
#include "editor/form1.h"
#include "editor/resizerule.h"
#include "fakes/fakeplatform.h"
#include "platform/sourceeditor.h"
#include "platform/twips.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

using namespace vornex;

namespace {

QByteArray bytesOf(const Form1 &window)
{
    return window.RichTextBox1->rawBytes();
}

QStringList blockEntries(const Form1 &window)
{
    QStringList entries;
    for (int i = 0; i < window.Combo1->count(); ++i)
        entries << window.Combo1->itemText(i);
    return entries;
}

// A main window on fakes, shown offscreen with the editor focused.
struct Ide
{
    explicit Ide(const QString &appDir = QString())
    {
        if (appDir.isEmpty())
            QVERIFY(folder.isValid());
        window = std::make_unique<Form1>(fakes.make(appDir.isEmpty() ? folder.path() : appDir));
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        window->RichTextBox1->setFocus();
    }

    QTemporaryDir folder;
    fakes::FakePlatform fakes;
    std::unique_ptr<Form1> window;
};

int px(const QWidget *widget, double twips)
{
    return twipsToPixels(twips, logicalDpi(widget));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startState_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("sourcePath");
        QTest::newRow("folder") << u"/opt/vornex ide"_qs << u"/opt/vornex ide/Untitled.vornex"_qs;
        QTest::newRow("root-keeps-its-separator") << u"/"_qs << u"//Untitled.vornex"_qs;
        QTest::newRow("placeholder-shown-as-is")
            << u"/tmp/a[*]b"_qs << u"/tmp/a[*]b/Untitled.vornex"_qs;
    }

    // At start: the untitled path in AppDir, the caption, an empty editor with the focus and an
    // empty block list that selects nothing. No scan runs and nothing is written.
    void startState()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, sourcePath);
        Ide ide(appDir);
        Form1 &w = *ide.window;
        QCOMPARE(w.SourcePath, sourcePath);
        QCOMPARE(w.windowHandle()->title(), u"VORNEX IDE - "_qs + sourcePath);
        QVERIFY(bytesOf(w).isEmpty());
        QCOMPARE(QApplication::focusWidget(), w.RichTextBox1);
        QCOMPARE(w.Combo1->count(), 0);
        QCOMPARE(w.Combo1->currentIndex(), -1);
        QVERIFY(!QFileInfo::exists(sourcePath) || appDir == u"/"_qs);
    }

    // The controls stand where the design puts them, the label left of the list.
    void designGeometry()
    {
        Ide ide;
        Form1 &w = *ide.window;
        QCOMPARE(w.Label1->text(), u"Blocks"_qs);
        QCOMPARE(w.Label1->geometry(), QRect(px(&w, 120), px(&w, 120), px(&w, 1215), px(&w, 255)));
        QCOMPARE(w.Combo1->pos(), QPoint(px(&w, 1320), px(&w, 120)));
        QCOMPARE(w.Combo1->height(), px(&w, 360));
        QCOMPARE(w.RichTextBox1->pos(), QPoint(px(&w, 120), px(&w, 600)));
        QCOMPARE(w.centralWidget()->size(), QSize(px(&w, 6990), px(&w, 5415)));
        QVERIFY(w.Label1->focusPolicy() == Qt::NoFocus);
        QWidget *next = w.RichTextBox1->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus) || w.RichTextBox1->isAncestorOf(next))
            next = next->nextInFocusChain();
        QCOMPARE(next, w.Combo1);
    }

    void resizeLaysOut_data()
    {
        QTest::addColumn<QSize>("outerTwips");
        QTest::newRow("9000x7000") << QSize(9000, 7000);
        QTest::newRow("list-skipped-below-1600") << QSize(1200, 7000);
        QTest::newRow("editor-height-skipped-below-1400") << QSize(9000, 1200);
        QTest::newRow("everything-skipped") << QSize(300, 900);
    }

    // The window's outer size in twips drives the rule; a control whose assignment is skipped
    // keeps the size it had.
    void resizeLaysOut()
    {
        QFETCH(QSize, outerTwips);
        Ide ide;
        Form1 &w = *ide.window;
        w.resize(px(&w, 8000), px(&w, 6000));
        const QSize editorBefore = w.RichTextBox1->size();
        const int listBefore = w.Combo1->width();

        w.setMinimumSize(1, 1);
        const QSize frame = w.frameGeometry().size() - w.size();
        w.resize(QSize(px(&w, outerTwips.width()), px(&w, outerTwips.height())) - frame);
        QTRY_COMPARE(w.frameGeometry().size(),
                     QSize(px(&w, outerTwips.width()), px(&w, outerTwips.height())));
        const double dpi = logicalDpi(&w);
        const ResizeResult rule = resizeRule(pixelsToTwips(w.frameGeometry().width(), dpi),
                                             pixelsToTwips(w.frameGeometry().height(), dpi));
        QCOMPARE(w.RichTextBox1->width(),
                 rule.editorWidth ? px(&w, *rule.editorWidth) : editorBefore.width());
        QCOMPARE(w.RichTextBox1->height(),
                 rule.editorHeight ? px(&w, *rule.editorHeight) : editorBefore.height());
        QCOMPARE(w.Combo1->width(), rule.listWidth ? px(&w, *rule.listWidth) : listBefore);
        QCOMPARE(w.Combo1->height(), px(&w, 360));
        QCOMPARE(w.RichTextBox1->pos(), QPoint(px(&w, 120), px(&w, 600)));
        QCOMPARE(w.Combo1->pos(), QPoint(px(&w, 1320), px(&w, 120)));
    }

    void shortcutsWinOverTheEditor_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("effect");
        QTest::newRow("Ctrl+N new") << QKeySequence(Qt::CTRL | Qt::Key_N) << u"new"_qs;
        QTest::newRow("Ctrl+L open, not line cut")
            << QKeySequence(Qt::CTRL | Qt::Key_L) << u"dialog"_qs;
        QTest::newRow("Ctrl+S save") << QKeySequence(Qt::CTRL | Qt::Key_S) << u"saved"_qs;
        QTest::newRow("Ctrl+A save as, not select all")
            << QKeySequence(Qt::CTRL | Qt::Key_A) << u"dialog"_qs;
        QTest::newRow("Ctrl+E exit") << QKeySequence(Qt::CTRL | Qt::Key_E) << u"exit"_qs;
        QTest::newRow("F4 assemble") << QKeySequence(Qt::Key_F4) << u"assembler"_qs;
        QTest::newRow("F6 view debug output") << QKeySequence(Qt::Key_F6) << u"debug window"_qs;
        QTest::newRow("F5 execute") << QKeySequence(Qt::Key_F5) << u"settings window"_qs;
        QTest::newRow("Ctrl+O setup")
            << QKeySequence(Qt::CTRL | Qt::Key_O) << u"settings window"_qs;
        QTest::newRow("Ctrl+H about") << QKeySequence(Qt::CTRL | Qt::Key_H) << u"about window"_qs;
    }

    // Every menu key runs its command while the editor has the focus, and the editor does not
    // also act on it: the text, caret and selection stay as they were.
    void shortcutsWinOverTheEditor()
    {
        QFETCH(QKeySequence, key);
        QFETCH(QString, effect);
        Ide ide;
        Form1 &w = *ide.window;
        QTest::keyClicks(w.RichTextBox1, u"main {"_qs);
        QTest::keyClick(w.RichTextBox1, Qt::Key_Return);
        QTest::keyClicks(w.RichTextBox1, u"}"_qs);
        const QByteArray before = bytesOf(w);
        QCOMPARE(before, QByteArray("main {\r\n}"));
        int line = 0;
        int index = 0;
        w.RichTextBox1->getCursorPosition(&line, &index);

        QTest::keySequence(w.RichTextBox1, key);

        if (effect == u"new"_qs) {
            QVERIFY(bytesOf(w).isEmpty());
            return;
        }
        QCOMPARE(bytesOf(w), before);
        QVERIFY(!w.RichTextBox1->hasSelectedText());
        int lineAfter = 0;
        int indexAfter = 0;
        w.RichTextBox1->getCursorPosition(&lineAfter, &indexAfter);
        QCOMPARE(lineAfter, line);
        QCOMPARE(indexAfter, index);
        if (effect == u"dialog"_qs) {
            QCOMPARE(ide.fakes.dialog->presetsSeen, QStringList{u"*.vornex"_qs});
        } else if (effect == u"saved"_qs) {
            QFile file(w.SourcePath);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), before);
        } else if (effect == u"exit"_qs) {
            QCOMPARE(*ide.fakes.exits, QList<int>{0});
        } else if (effect == u"assembler"_qs) {
            QCOMPARE(ide.fakes.launcher->started.size(), 1);
        } else if (effect == u"debug window"_qs) {
            QVERIFY(w.debugOutputWindow());
        } else if (effect == u"settings window"_qs) {
            QTRY_VERIFY(w.settingsWindow() && w.settingsWindow()->isVisible());
        } else if (effect == u"about window"_qs) {
            QVERIFY(w.aboutWindow() && w.aboutWindow()->isVisible());
        }
    }

    // A new text takes CR LF for Enter; so does one after New.
    void enterInsertsCrLf()
    {
        Ide ide;
        Form1 &w = *ide.window;
        QTest::keyClicks(w.RichTextBox1, u"a"_qs);
        QTest::keyClick(w.RichTextBox1, Qt::Key_Return);
        QCOMPARE(bytesOf(w), QByteArray("a\r\n"));
        w.RichTextBox1->setRawBytes("x\ny");
        w.CNSF_Click();
        QTest::keyClick(w.RichTextBox1, Qt::Key_Return);
        QCOMPARE(bytesOf(w), QByteArray("\r\n"));
    }

    // The block list is rebuilt on every change of the text, selects nothing, and a long name
    // never widens the list or the window.
    void listFollowsTyping()
    {
        Ide ide;
        Form1 &w = *ide.window;
        const int listWidth = w.Combo1->width();
        const int windowWidth = w.width();

        QTest::keyClicks(w.RichTextBox1, u"main {"_qs);
        QCOMPARE(blockEntries(w), QStringList{u"code blocks misalligned"_qs});
        QTest::keyClick(w.RichTextBox1, Qt::Key_Return);
        QTest::keyClicks(w.RichTextBox1, u"}"_qs);
        QCOMPARE(blockEntries(w), QStringList{u"main "_qs});
        QCOMPARE(w.Combo1->currentIndex(), -1);

        QTest::keyClick(w.RichTextBox1, Qt::Key_Return);
        const QString longName = QString(300, u'n') + u"\u0436"_qs;
        QTest::keyClicks(w.RichTextBox1, QString(300, u'n'));
        QTest::sendKeyEvent(QTest::Click, w.RichTextBox1, Qt::Key_unknown, u"\u0436"_qs,
                            Qt::NoModifier);
        QTest::keyClicks(w.RichTextBox1, u"{"_qs);
        QTest::keyClick(w.RichTextBox1, Qt::Key_Return);
        QTest::keyClicks(w.RichTextBox1, u"}"_qs);
        QCOMPARE(blockEntries(w), (QStringList{u"main "_qs, longName}));
        QCOMPARE(w.Combo1->currentIndex(), -1);
        QCOMPARE(w.Combo1->currentText(), QString());
        QApplication::processEvents();
        QCOMPARE(w.Combo1->width(), listWidth);
        QCOMPARE(w.width(), windowWidth);

        QTest::keyClick(w.RichTextBox1, Qt::Key_Backspace);
        QCOMPARE(blockEntries(w), QStringList{u"code blocks misalligned"_qs});
    }

    // Choosing an entry changes nothing in the editor.
    void choosingAnEntryDoesNothing()
    {
        Ide ide;
        Form1 &w = *ide.window;
        w.RichTextBox1->setRawBytes("a {\r\n}\r\nb {\r\n}");
        w.RichTextBox1->setCursorPosition(0, 1);
        w.Combo1->setCurrentIndex(1);
        emit w.Combo1->activated(1);
        int line = -1;
        int index = -1;
        w.RichTextBox1->getCursorPosition(&line, &index);
        QCOMPARE(line, 0);
        QCOMPARE(index, 1);
        QCOMPARE(bytesOf(w), QByteArray("a {\r\n}\r\nb {\r\n}"));
    }

    void endsTheProcessAtOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Ctrl+E with another window open") << u"exit"_qs;
        QTest::newRow("close box of the main window") << u"close"_qs;
    }

    // Exit and the main window's close box end the whole process at once with status 0, while
    // the About window is open and the text is unsaved.
    void endsTheProcessAtOnce()
    {
        QFETCH(QString, how);
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({u"--end-process-child"_qs, how});
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start();
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput(), QByteArray("ready\n"));
    }
};

// The child of endsTheProcessAtOnce: the real desktop platform, so that the process really ends.
static int endProcessChild(int argc, char **argv, const QString &how)
{
    QApplication app(argc, argv);
    QTemporaryDir folder;
    Platform platform = makeDesktopPlatform();
    platform.appDir = folder.path();
    Form1 window(std::move(platform));
    window.show();
    if (!QTest::qWaitForWindowActive(&window))
        return 4;
    window.abt_Click();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 5;
    QTest::keyClicks(window.RichTextBox1, u"unsaved {"_qs);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    if (how == u"exit"_qs)
        QTest::keySequence(window.RichTextBox1, QKeySequence(Qt::CTRL | Qt::Key_E));
    else
        window.close();
    return 3;
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--end-process-child") == 0)
        return endProcessChild(1, argv, QString::fromLocal8Bit(argv[2]));
    QApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
