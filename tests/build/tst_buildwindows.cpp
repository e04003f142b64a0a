// The secondary windows and the Build commands on a real main window: the warnings, the windows'
// life and places, the programs started (for real, through the recorder) and what a failure says.

#include "buildcommands.h"
#include "fakes/fakeplatform.h"
#include "form2.h"
#include "form3.h"
#include "form4.h"

#include <QLineEdit>
#include <QPushButton>

using namespace Qt::StringLiterals;
using vornex::Form1;
using vornex::fakes::Ide;

namespace {

const QUrl kMakerPage(QStringLiteral(VORNEX_ABOUT_URL));

// Runs the deletions that closing a window (WA_DeleteOnClose) leaves queued.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A control of the settings window, by its name.
template <typename Control = QLineEdit> Control *control(vornex::Form4 *settings, const char *name)
{
    return settings->findChild<Control *>(QString::fromLatin1(name));
}

void setInterpreter(Form1 &ide, const QString &path, const QString &parameters)
{
    ide.SetupECop_Click();
    control(ide.settingsWindow(), "Text1")->setText(path);
    control(ide.settingsWindow(), "Text2")->setText(parameters);
}

} // namespace

class TestBuildWindows : public QObject
{
    Q_OBJECT

private slots:
    // Execute warns and shows the settings while a text is empty; View Debug Output warns unless
    // a "/" stands before the first "." of SourcePath. Neither starts or shows anything then.
    void warnings_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("first"); // the interpreter path, or SourcePath
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("warning"); // its title and text, or none
        const QString execute =
            u"Project1|Please Fill out the Paramters for calling your the interpreator"_s;
        const QString view =
            u"Vor Nex IDE|Please create a debug output file, by assembling a source module"_s;
        const auto row = [](const char *name, const char16_t *command, const QString &first,
                            const QString &parameters, const QString &warning) {
            QTest::newRow(name) << QString::fromUtf16(command) << first << parameters << warning;
        };
        row("execute, nothing set up", u"execute", {}, {}, execute);
        row("execute, parameters empty", u"execute", u"/tools/run"_s, {}, execute);
        row("execute, path empty", u"execute", {}, u"/work/prog"_s, execute);
        row("execute, one blank is filled", u"execute", u"/tools/run"_s, u" "_s, {});
        row("view, no dot", u"view", u"/work/prog"_s, {}, view);
        row("view, dot before any separator", u"view", u"a.b/p.vornex"_s, {}, view);
        row("view, backslash is no separator", u"view", u"D:\\w\\p.vornex"_s, {}, view);
        row("view, dot in a folder name", u"view", u"/my.dir/prog"_s, {}, {});
        row("view, untitled at the root", u"view", u"//Untitled.vornex"_s, {}, {});
    }

    void warnings()
    {
        QFETCH(QString, command);
        QFETCH(QString, first);
        QFETCH(QString, parameters);
        QFETCH(QString, warning);
        Ide ide;
        Form1 &w = ide.window;
        if (command == u"view") {
            w.SourcePath = first;
            w.Asmne_Click();
            QCOMPARE(bool(w.debugOutputWindow()), warning.isEmpty());
            QCOMPARE(ide.fakes.viewers.size(), warning.isEmpty() ? 1 : 0);
        } else {
            if (!first.isEmpty() || !parameters.isEmpty()) {
                setInterpreter(w, first, parameters);
                w.settingsWindow()->Command1_Click();
            }
            w.EAE_Click();
            QCOMPARE(ide.fakes.launches.size(), warning.isEmpty() ? 1 : 0);
            QCOMPARE(w.settingsWindow()->isVisible(), !warning.isEmpty());
        }
        QCOMPARE(ide.fakes.messages, warning.isEmpty() ? QStringList() : QStringList{warning});
    }

    // Each window is made on first use, without an owner, and shown; the same command brings the
    // same window back, out of the taskbar too; after its close box the next command makes the
    // window anew at its design size. The viewer windows load their page on every command, and
    // the About viewer keeps its place however the window is sized.
    void windowLife_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QList<QUrl>>("loads");
        const QUrl report(u"file:///ide%20%231%20%2541/debugasm.html"_s);
        QTest::newRow("View Debug Output") << u"view"_s << QList<QUrl>(3, report);
        QTest::newRow("About") << u"about"_s << QList<QUrl>(3, kMakerPage);
        QTest::newRow("Setup EXECUTE options") << u"settings"_s << QList<QUrl>();
    }

    void windowLife()
    {
        QFETCH(QString, command);
        QFETCH(QList<QUrl>, loads);
        Ide ide(u"/ide #1 %41"_s);
        Form1 &w = ide.window;
        w.SourcePath = u"/my.dir/prog"_s;
        w.move(200, 300);
        const auto run = [&]() -> QWidget * {
            if (command == u"view")
                return w.Asmne_Click(), w.debugOutputWindow();
            if (command == u"about")
                return w.abt_Click(), w.aboutWindow();
            return w.SetupECop_Click(), w.settingsWindow();
        };
        QPointer<QWidget> first = run();
        QVERIFY(first && first->isVisible() && !first->parentWidget());
        const QSize designSize = first->size();
        first->move(700, 5);
        w.move(30, 400);
        first->showMinimized();
        QCOMPARE(run(), first.data());
        QVERIFY(first->isVisible() && !first->isMinimized());
        if (auto *about = qobject_cast<vornex::Form3 *>(first.data())) {
            about->resize(designSize / 2);
            QCOMPARE(about->viewer()->widget()->geometry(), QRect(8, 8, 665, 473));
        }
        QVERIFY(first->close());
        flushDeletes();
        QVERIFY(!first && w.isVisible());
        QWidget *second = run();
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->size(), designSize);
        QCOMPARE(ide.fakes.viewers.size(), loads.isEmpty() ? 0 : 2);
        QCOMPARE(ide.fakes.navigations, loads);
        QVERIFY(ide.fakes.messages.isEmpty());
    }

    // The debug output window goes left 100 twips, top its own outer width + the main window's
    // top + 100 twips; where that would put part of it outside the available area of the screen
    // it is on (or nearest to), it moves just enough to lie wholly inside, else it stays there.
    void debugWindowPlace_data()
    {
        QTest::addColumn<QList<QRect>>("screens"); // their available areas
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("mainTop");
        QTest::addColumn<QPoint>("expected"); // of a window of 545 x 160 pixels at 96 dpi
        const QList<QRect> xvfb{{0, 0, 1280, 1024}};
        QTest::newRow("fits: 1280x1024") << xvfb << 96. << 309 << QPoint(7, 861);
        QTest::newRow("fits to the last pixel") << xvfb << 96. << 312 << QPoint(7, 864);
        QTest::newRow("a pixel low: up by one") << xvfb << 96. << 313 << QPoint(7, 864);
        QTest::newRow("1366x768") << QList<QRect>{{0, 0, 1366, 768}} << 96. << 300
                                  << QPoint(7, 608);
        QTest::newRow("192 dpi on 2560x1600")
            << QList<QRect>{{0, 0, 2560, 1600}} << 192. << 300 << QPoint(13, 1280);
        QTest::newRow("larger than the area below a panel: top left inside")
            << QList<QRect>{{0, 32, 400, 100}} << 96. << 0 << QPoint(0, 32);
        QTest::newRow("low on the lower of two screens")
            << QList<QRect>{xvfb[0], {0, 1024, 1280, 1024}} << 96. << 1900 << QPoint(7, 1888);
        QTest::newRow("left of the only screen")
            << QList<QRect>{{1280, 0, 1920, 1080}} << 96. << 100 << QPoint(1280, 652);
    }

    void debugWindowPlace()
    {
        QFETCH(QList<QRect>, screens);
        QFETCH(double, dpi);
        QFETCH(int, mainTop);
        QFETCH(QPoint, expected);
        QCOMPARE(vornex::debugWindowPosition(QSize(545, 160) * (dpi / 96), mainTop, dpi, screens),
                 expected);
        // In twips, summed in single precision as the window system keeps them.
        QCOMPARE(vornex::debugWindowPlacement(8175, 4500.5),
                 (vornex::DebugWindowPlacement{12775.5f, 100}));
    }

    // The settings live as long as their window: typed text counts at once, Enter and Escape do
    // nothing, Apply only hides the window, closing it forgets the texts.
    void settingsLiveWithTheirWindow()
    {
        Ide ide;
        Form1 &w = ide.window;
        w.SetupECop_Click();
        QPointer<vornex::Form4> settings = w.settingsWindow();
        QTest::keyClicks(control(settings, "Text1"), u"/tools/run"_s);
        QTest::keyClicks(control(settings, "Text2"), u"a b"_s);
        QTest::keyClick(control(settings, "Text2"), Qt::Key_Return);
        QTest::keyClick(control(settings, "Text2"), Qt::Key_Escape);
        flushDeletes();
        w.EAE_Click();
        QVERIFY(settings && settings->isVisible());
        QTest::mouseClick(control<QPushButton>(settings, "Command1"), Qt::LeftButton);
        flushDeletes();
        QVERIFY(settings && !settings->isVisible());
        w.EAE_Click();
        QVERIFY(!settings->isVisible());
        QCOMPARE(ide.fakes.launches, (QList<QStringList>(2, {u"/tools/run"_s, u"a"_s, u"b"_s})));
        QVERIFY(settings->close());
        flushDeletes();
        w.EAE_Click();
        QCOMPARE(ide.fakes.launches.size(), 2);
        QCOMPARE(control(w.settingsWindow(), "Text1")->text() +
                     control(w.settingsWindow(), "Text2")->text(),
                 u""_s);
    }

    // Without the browser engine module the About viewer shows a page of its own; the IDE says
    // nothing.
    void aboutWithoutViewerModule()
    {
        Ide ide({}, [](vornex::Platform &platform) {
            platform.viewers = vornex::makeModuleViewerFactory(platform.appDir);
        });
        ide.window.abt_Click();
        QVERIFY(ide.window.aboutWindow()->isVisible() && ide.fakes.messages.isEmpty());
    }

    // Programs really start, through the recorder: the assembler in the IDE's folder on the path
    // as one argument after the text was saved over whatever the file held; the interpreter, with
    // blanks in its path, on its parameters split into words as a shell would, but no shell. A
    // program that cannot start, or a save that fails, is named with the reason; a failed save
    // starts nothing.
    void launch_data()
    {
        QTest::addColumn<QString>("command"); // "assemble" or "execute"
        QTest::addColumn<QString>(
            "installed");                  // the program: "recorder", "missing", "not executable"
        QTest::addColumn<QString>("text"); // the source file's folder and name, or the parameters
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("fault");
        const QString recorder = u"recorder"_s;
        const auto assemble = [&](const char *name, const QString &installed, const QString &path,
                                  const QString &fault) {
            QTest::newRow(name) << u"assemble"_s << installed << path << QStringList() << fault;
        };
        assemble("assemble untitled", recorder, {}, {});
        assemble("assemble, blanks, quotes, shell characters, newlines", recorder,
                 u"my \"q\"\n/it's a;b`id`$(touch x)*# \"x\"\n.vornex"_s, {});
        assemble("assemble, save fails", recorder, u"missing/x.vornex"_s, u"Cannot save"_s);
        assemble("assemble, assembler missing", u"missing"_s, {}, u"Cannot start"_s);
        assemble("assemble, assembler not executable", u"not executable"_s, {}, u"Cannot start"_s);
        const auto execute = [&](const char *name, const QString &installed,
                                 const QString &parameters, const QStringList &arguments,
                                 const QString &fault) {
            QTest::newRow(name) << u"execute"_s << installed << parameters << arguments << fault;
        };
        execute("execute, quoted words", recorder, u"\"my prog.qvx\" -v"_s,
                {u"my prog.qvx"_s, u"-v"_s}, {});
        execute("execute, one blank gives no arguments", recorder, u" "_s, {}, {});
        execute("execute, shell characters arrive literally", recorder,
                u"a;b $(touch x) `id` * #c >out | & ' $HOME Grüße"_s,
                {u"a;b"_s, u"$(touch"_s, u"x)"_s, u"`id`"_s, u"*"_s, u"#c"_s, u">out"_s, u"|"_s,
                 u"&"_s, u"'"_s, u"$HOME"_s, u"Grüße"_s},
                {});
        execute("execute, interpreter not executable", u"not executable"_s, u"x"_s, {},
                u"Cannot start"_s);
    }

    void launch()
    {
        QFETCH(QString, command);
        QFETCH(QString, installed);
        QFETCH(QString, text);
        QFETCH(QStringList, arguments);
        QFETCH(QString, fault);
        const bool assemble = command == u"assemble", saveFails = fault == u"Cannot save";
        Ide ide(u"my ide"_s, [&](vornex::Platform &platform) {
            if (!saveFails)
                platform.launcher = vornex::makeQtProcessLauncher();
        });
        Form1 &w = ide.window;
        const QString program = ide.path(assemble ? u"my ide/cvornex.exe"_s : u"my ide/run it"_s);
        // The recorder writes its arguments beside itself.
        const QString record = ide.path(u"my ide/record"_s);
        QVERIFY(QDir().mkpath(ide.path(u"my ide"_s)));
        if (installed != u"missing") {
            QVERIFY(
                QFile::copy(QStringLiteral(VORNEX_SOURCE_DIR "/tests/build/recorder.sh"), program));
            QVERIFY(QFile::setPermissions(program, installed == u"not executable"
                                                       ? QFile::ReadOwner
                                                       : QFile::ReadOwner | QFile::ExeOwner));
        }
        if (assemble) {
            w.SourcePath = text.isEmpty() ? w.SourcePath : ide.path(text);
            QVERIFY(saveFails || QDir().mkpath(QFileInfo(w.SourcePath).path()));
            QVERIFY(saveFails || vornex::fakes::writeFile(w.SourcePath, "stale"));
            w.editor()->setRawBytes("main {\r\n}\r\n");
            w.Asm_Click();
            QVERIFY(saveFails || vornex::fakes::readFile(w.SourcePath) == "main {\r\n}\r\n");
            arguments = {w.SourcePath};
        } else {
            setInterpreter(w, program, text);
            w.EAE_Click();
        }
        if (!fault.isEmpty()) {
            const QString head =
                u"Project1|%1 \"%2\":\n"_s.arg(fault, saveFails ? w.SourcePath : program);
            QCOMPARE(ide.fakes.messages.size(), 1);
            QVERIFY2(ide.fakes.messages[0].startsWith(head) &&
                         ide.fakes.messages[0].size() > head.size() + 10,
                     qPrintable(ide.fakes.messages[0]));
            QVERIFY(ide.fakes.launches.isEmpty());
            return;
        }
        QVERIFY(ide.fakes.messages.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 20000);
        QStringList recorded;
        for (const QByteArray &argument : vornex::fakes::readFile(record).split('\0'))
            recorded << QString::fromUtf8(argument);
        QCOMPARE(recorded, arguments << QString()); // each argument ends in a NUL
    }
};

QTEST_MAIN(TestBuildWindows)
#include "tst_buildwindows.moc"
