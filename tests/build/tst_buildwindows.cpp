// The secondary windows and the Build commands on a real main window: the warnings, the windows'
// life, the programs started (for real, through the recorder) and what a failure says.

#include "about/form3.h"
#include "build/form2.h"
#include "build/form4.h"
#include "editor/form1.h"
#include "fakes/fakeplatform.h"
#include "platform/sourceeditor.h"
#include "platform/twips.h"
#include "recorder/record.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using vornex::Form1;

namespace {

const QUrl kMakerPage(QStringLiteral(VORNEX_ABOUT_URL));

// Runs the deletions that closing a window (WA_DeleteOnClose) leaves queued.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool copyExecutable(const QString &from, const QString &to)
{
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::permissions(from) | QFile::ExeOwner);
}

void setInterpreter(Form1 &ide, const QString &path, const QString &parameters)
{
    ide.SetupECop_Click();
    ide.settingsWindow()->Text1->setText(path);
    ide.settingsWindow()->Text2->setText(parameters);
}

} // namespace

class TestBuildWindows : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    vornex::fakes::FakePlatform m_fakes;

    QString record() const { return m_dir->filePath(u"record"_s); }
    const QList<vornex::fakes::Message> &shown() const { return m_fakes.messages; }

    // A main window on the fakes; with realLauncher programs really start.
    std::unique_ptr<Form1> window(const QString &appDir, bool realLauncher = false)
    {
        vornex::Platform platform = m_fakes.make(appDir);
        if (realLauncher)
            platform.launcher = vornex::makeQtProcessLauncher();
        return std::make_unique<Form1>(std::move(platform));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_fakes = {};
        qputenv("VORNEX_RECORD_FILE", record().toLocal8Bit());
    }

    void cleanup() { QVERIFY2(m_fakes.exits.isEmpty(), "a command ended the process"); }

    // Execute warns and shows the settings while a text is empty; View Debug Output warns unless
    // a "/" stands before the first "." of SourcePath. Neither starts or shows anything then.
    void warnings_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("first"); // the interpreter path, or SourcePath
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<bool>("warns");
        const auto execute = [](const char *name, const QString &path, const QString &parameters,
                                bool warns) {
            QTest::newRow(name) << u"execute"_s << path << parameters << warns;
        };
        execute("execute, nothing set up", {}, {}, true);
        execute("execute, parameters empty", u"/tools/run"_s, {}, true);
        execute("execute, path empty", {}, u"/work/prog"_s, true);
        execute("execute, one blank as parameters is filled", u"/tools/run"_s, u" "_s, false);
        const auto view = [](const char *name, const QString &sourcePath, bool warns) {
            QTest::newRow(name) << u"view"_s << sourcePath << QString() << warns;
        };
        view("view, no dot", u"/work/prog"_s, true);
        view("view, first dot before any separator", u"a.b/prog.vornex"_s, true);
        view("view, backslash is no separator", u"D:\\work\\prog.vornex"_s, true);
        view("view, dot in a folder name", u"/my.dir/prog"_s, false);
        view("view, untitled at the root", u"//Untitled.vornex"_s, false);
    }

    void warnings()
    {
        QFETCH(QString, command);
        QFETCH(QString, first);
        QFETCH(QString, parameters);
        QFETCH(bool, warns);
        auto ide = window(m_dir->path());
        if (command == u"view") {
            ide->SourcePath = first;
            ide->Asmne_Click();
            QCOMPARE(bool(ide->debugOutputWindow()), !warns);
            QCOMPARE(m_fakes.viewers.size(), warns ? 0 : 1);
        } else {
            if (!first.isEmpty() || !parameters.isEmpty()) {
                setInterpreter(*ide, first, parameters);
                ide->settingsWindow()->Command1_Click();
            }
            ide->EAE_Click();
            QCOMPARE(m_fakes.launches.isEmpty(), warns);
            QCOMPARE(ide->settingsWindow()->isVisible(), warns);
        }
        QCOMPARE(shown().size(), warns ? 1 : 0);
        if (warns && command == u"view") {
            QCOMPARE(shown()[0].title, u"Vor Nex IDE"_s);
            QCOMPARE(shown()[0].text,
                     u"Please create a debug output file, by assembling a source module"_s);
        } else if (warns) {
            QCOMPARE(shown()[0].title, u"Project1"_s);
            QCOMPARE(shown()[0].text,
                     u"Please Fill out the Paramters for calling your the interpreator"_s);
        }
    }

    // Each window is made on first use, without an owner, and shown; the same command brings the
    // same window back, out of the taskbar too; after its close box the next command makes it
    // anew, at its design size. The viewer windows load their page on every command.
    void windowLife_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QList<QUrl>>("loads");
        const QUrl report = QUrl::fromLocalFile(u"/ide #1 %41/debugasm.html"_s);
        QTest::newRow("View Debug Output") << u"view"_s << QList<QUrl>(3, report);
        QTest::newRow("About") << u"about"_s << QList<QUrl>(3, kMakerPage);
        QTest::newRow("Setup EXECUTE options") << u"settings"_s << QList<QUrl>();
    }

    void windowLife()
    {
        QFETCH(QString, command);
        QFETCH(QList<QUrl>, loads);
        auto ide = window(u"/ide #1 %41"_s);
        ide->SourcePath = u"/my.dir/prog"_s;
        ide->show();
        const auto run = [&]() -> QWidget * {
            if (command == u"view")
                return ide->Asmne_Click(), ide->debugOutputWindow();
            if (command == u"about")
                return ide->abt_Click(), ide->aboutWindow();
            return ide->SetupECop_Click(), ide->settingsWindow();
        };
        QPointer<QWidget> first = run();
        QVERIFY(first && first->isVisible() && !first->parentWidget());
        const QSize designSize = first->size();
        first->showMinimized();
        QCOMPARE(run(), first.data());
        QVERIFY(first->isVisible() && !first->isMinimized());
        if (command == u"about")
            first->resize(designSize / 2);
        QVERIFY(first->close());
        flushDeletes();
        QVERIFY(!first && ide->isVisible());
        QWidget *second = run();
        QVERIFY(second && second->isVisible());
        QCOMPARE(second->size(), designSize);
        QCOMPARE(m_fakes.viewers.size(), loads.isEmpty() ? 0 : 2);
        QCOMPARE(m_fakes.navigations, loads);
        QVERIFY(shown().isEmpty());
    }

    // The settings live as long as their window: typed text counts at once, Enter and Escape do
    // nothing, Apply only hides the window, closing it forgets the texts.
    void settingsLiveWithTheirWindow()
    {
        auto ide = window(m_dir->path());
        ide->SetupECop_Click();
        QPointer<vornex::Form4> settings = ide->settingsWindow();
        QTest::keyClicks(settings->Text1, u"/tools/run"_s);
        QTest::keyClicks(settings->Text2, u"a b"_s);
        QTest::keyClick(settings->Text2, Qt::Key_Return);
        QTest::keyClick(settings->Text2, Qt::Key_Escape);
        flushDeletes();
        ide->EAE_Click();
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(m_fakes.launches, (QList<QStringList>{{u"/tools/run"_s, u"a"_s, u"b"_s}}));

        QTest::mouseClick(settings->Command1, Qt::LeftButton);
        flushDeletes();
        QVERIFY(settings && !settings->isVisible());
        ide->EAE_Click();
        QCOMPARE(m_fakes.launches.size(), 2);
        QVERIFY(!settings->isVisible());

        QVERIFY(settings->close());
        flushDeletes();
        ide->EAE_Click();
        QCOMPARE(m_fakes.launches.size(), 2);
        QVERIFY((ide->settingsWindow()->Text1->text() + ide->settingsWindow()->Text2->text())
                    .isEmpty());
    }

    // The About viewer keeps its place and size however the window is sized; without the
    // browser engine module the viewer shows a page of its own and the IDE says nothing.
    void aboutViewer()
    {
        auto ide = window(m_dir->path());
        ide->abt_Click();
        vornex::Form3 *about = ide->aboutWindow();
        const QRect place = about->WebBrowser1->widget()->geometry();
        QCOMPARE(place, QRect(8, 8, 665, 473)); // 120, 120, 9975, 7095 twips at 96 dpi
        for (const QSize size : {QSize(1600, 1200), QSize(120, 90), QSize(200, 700)}) {
            about->resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(about->WebBrowser1->widget()->geometry(), place);
        }
        about->setWindowState(Qt::WindowMaximized);
        QCoreApplication::processEvents();
        QCOMPARE(about->WebBrowser1->widget()->geometry(), place);

        vornex::Platform platform = m_fakes.make(m_dir->path());
        platform.viewers = vornex::makeModuleViewerFactory(m_dir->path());
        Form1 withoutModule(std::move(platform));
        withoutModule.abt_Click();
        QVERIFY(withoutModule.aboutWindow()->isVisible());
        QVERIFY(shown().isEmpty());
    }

    // Programs really start, through the recorder: the assembler in the IDE's folder on the path
    // as one argument after the text was saved over whatever the file held; the interpreter, with
    // blanks in its path, on its parameters split into words as a shell would, but no shell.
    void launch_data()
    {
        QTest::addColumn<QString>("text"); // the source file's folder and name, or the parameters
        QTest::addColumn<QStringList>("arguments");
        const auto assemble = [](const char *name, const QString &path) {
            QTest::newRow(name) << path << QStringList{path};
        };
        assemble("assemble untitled", {});
        assemble("assemble, blanks and quotes", u"my \"q\"/it's a \"x\".vornex"_s);
        assemble("assemble, shell characters", u"a;b`id`/$(touch x)*#.vornex"_s);
        assemble("assemble, newline", u"line\nbreak/x\n.vornex"_s);
        QTest::newRow("execute, quoted words")
            << u"\"my prog.qvx\" -v"_s << QStringList{u"my prog.qvx"_s, u"-v"_s};
        QTest::newRow("execute, one blank gives no arguments") << u" "_s << QStringList{};
        QTest::newRow("execute, shell characters arrive literally")
            << u"a;b $(touch x) `id` * #c >out | & ' $HOME Grüße"_s
            << QStringList{u"a;b"_s,  u"$(touch"_s, u"x)"_s, u"`id`"_s, u"*"_s,     u"#c"_s,
                           u">out"_s, u"|"_s,       u"&"_s,  u"'"_s,    u"$HOME"_s, u"Grüße"_s};
    }

    void launch()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, arguments);
        const QString appDir = m_dir->filePath(u"my ide"_s);
        QVERIFY(QDir().mkpath(appDir));
        QVERIFY(copyExecutable(recorder::programPath(), appDir + u"/cvornex.exe"_s));
        auto ide = window(appDir, true);
        if (qstrncmp(QTest::currentDataTag(), "execute", 7) == 0) {
            setInterpreter(*ide, appDir + u"/cvornex.exe"_s, text);
            ide->EAE_Click();
        } else {
            if (!text.isEmpty()) {
                QVERIFY(QDir(m_dir->path()).mkpath(text.section(u'/', 0, 0)));
                ide->SourcePath = arguments[0] = m_dir->filePath(text);
            }
            ide->RichTextBox1->setRawBytes("main {\r\n}\r\n");
            QFile file(ide->SourcePath);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("stale") == 5);
            file.close();
            ide->Asm_Click();
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("main {\r\n}\r\n"));
            if (text.isEmpty())
                arguments = QStringList{appDir + u"/Untitled.vornex"_s};
        }
        QVERIFY(shown().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record()), 20000);
        QCOMPARE(recorder::readArguments(record()), arguments);
    }

    void failure_data()
    {
        QTest::addColumn<bool>("assemble");
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("message");
        QTest::newRow("save fails") << true << u"missing/x.vornex"_s << false << u"Cannot save"_s;
        QTest::newRow("assembler missing")
            << true << u"cvornex.exe"_s << false << u"Cannot start"_s;
        QTest::newRow("assembler not executable")
            << true << u"cvornex.exe"_s << true << u"Cannot start"_s;
        QTest::newRow("interpreter missing") << false << u"run"_s << false << u"Cannot start"_s;
        QTest::newRow("interpreter not executable")
            << false << u"run"_s << true << u"Cannot start"_s;
    }

    // A failure names the file or program and gives the reason; a failed save starts nothing.
    void failure()
    {
        QFETCH(bool, assemble);
        QFETCH(QString, program);
        QFETCH(bool, present);
        QFETCH(QString, message);
        program = m_dir->filePath(program);
        if (present) {
            QVERIFY(QFile::copy(recorder::programPath(), program));
            QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner));
        }
        const bool saveFails = message == u"Cannot save";
        auto ide = window(m_dir->path(), !saveFails);
        if (saveFails)
            ide->SourcePath = program;
        if (!assemble)
            setInterpreter(*ide, program, u"x"_s);
        assemble ? ide->Asm_Click() : ide->EAE_Click();
        QCOMPARE(shown().size(), 1);
        QVERIFY2(shown()[0].text.startsWith(u"%1 \"%2\":\n"_s.arg(message, program)),
                 qPrintable(shown()[0].text));
        QVERIFY2(shown()[0].text.size() > program.size() + 20, "the message gives a reason");
        if (saveFails)
            QVERIFY(m_fakes.launches.isEmpty());
        else if (assemble)
            QVERIFY(QFile::exists(ide->SourcePath));
    }

    // Each use places the window from its own outer width and the main window's top.
    void viewDebugOutputPlacement()
    {
        auto ide = window(m_dir->path());
        if (vornex::logicalDpi(ide.get()) != 96.0)
            QSKIP("the expected positions are worked out for 96 dpi, 15 twips to the pixel");
        const auto place = [&](int ownWidth) {
            return QPoint(7, qRound(ownWidth + ide->frameGeometry().top() + 100.0 / 15.0));
        };
        ide->show();
        ide->move(200, 300);
        ide->SourcePath = u"/my.dir/prog"_s;
        ide->Asmne_Click();
        QPointer<vornex::Form2> debug = ide->debugOutputWindow();
        QVERIFY(debug && debug->isVisible());
        // Placed again by its outer width once it has its frame, which it gets only when shown.
        QVERIFY(debug->frameGeometry().width() > debug->width());
        QCOMPARE(debug->frameGeometry().topLeft(), place(debug->frameGeometry().width()));
        debug->move(700, 5);
        ide->move(30, 400);
        ide->Asmne_Click();
        QCOMPARE(debug->frameGeometry().topLeft(), place(debug->frameGeometry().width()));
    }
};

QTEST_MAIN(TestBuildWindows)
#include "tst_buildwindows.moc"
