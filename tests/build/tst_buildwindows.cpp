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

    // A main window on the fakes; with realLauncher programs really start (and the fake
    // launcher is gone).
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

    void executeWarning_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<bool>("warns");

        QTest::newRow("first Execute, nothing set up") << QString() << QString() << true;
        QTest::newRow("parameters empty") << u"/tools/run"_s << QString() << true;
        QTest::newRow("path empty") << QString() << u"/work/prog"_s << true;
        QTest::newRow("one blank as parameters is filled") << u"/tools/run"_s << u" "_s << false;
        QTest::newRow("one blank as path is filled") << u" "_s << u"x"_s << false;
    }

    void executeWarning()
    {
        QFETCH(QString, path);
        QFETCH(QString, parameters);
        QFETCH(bool, warns);
        auto ide = window(m_dir->path());
        if (!path.isEmpty() || !parameters.isEmpty()) {
            setInterpreter(*ide, path, parameters);
            ide->settingsWindow()->Command1_Click();
        }
        ide->EAE_Click();

        QCOMPARE(m_fakes.launches.isEmpty(), warns);
        QCOMPARE(ide->settingsWindow()->isVisible(), warns);
        QCOMPARE(shown().size(), warns ? 1 : 0);
        if (warns) {
            QCOMPARE(shown()[0].title, u"Project1"_s);
            QCOMPARE(shown()[0].text,
                     u"Please Fill out the Paramters for calling your the interpreator"_s);
        }
    }

    // The settings live as long as their window: typed text counts at once, Enter and Escape do
    // nothing, Apply only hides the window, closing it forgets the texts.
    void settingsWindowLife()
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
        QCOMPARE(m_fakes.launches.size(), 1);
        QCOMPARE(m_fakes.launches[0].first(), u"/tools/run"_s);
        QCOMPARE(m_fakes.launches[0].mid(1), (QStringList{u"a"_s, u"b"_s}));

        QTest::mouseClick(settings->Command1, Qt::LeftButton);
        flushDeletes();
        QVERIFY(settings && !settings->isVisible());
        ide->EAE_Click();
        QCOMPARE(m_fakes.launches.size(), 2);
        QVERIFY(!settings->isVisible());
        ide->SetupECop_Click();
        QCOMPARE(ide->settingsWindow(), settings.data());
        QCOMPARE(settings->Text1->text() + u'|' + settings->Text2->text(), u"/tools/run|a b"_s);

        QVERIFY(settings->close());
        flushDeletes();
        QVERIFY(!settings);
        ide->EAE_Click();
        QCOMPARE(m_fakes.launches.size(), 2);
        QCOMPARE(shown().size(), 1);
        QVERIFY(ide->settingsWindow()->isVisible());
        QVERIFY((ide->settingsWindow()->Text1->text() + ide->settingsWindow()->Text2->text())
                    .isEmpty());
    }

    void executeArguments_data()
    {
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QStringList>("arguments");

        QTest::newRow("quoted words")
            << u"\"my prog.qvx\" -v"_s << QStringList{u"my prog.qvx"_s, u"-v"_s};
        QTest::newRow("one blank gives no arguments") << u" "_s << QStringList{};
        QTest::newRow("shell metacharacters arrive literally")
            << u"a;b $(touch x) `id` * #c >out | & ' $HOME"_s
            << QStringList{u"a;b"_s,  u"$(touch"_s, u"x)"_s, u"`id`"_s, u"*"_s,    u"#c"_s,
                           u">out"_s, u"|"_s,       u"&"_s,  u"'"_s,    u"$HOME"_s};
        QTest::newRow("non-ASCII") << u"Grüße ✓"_s << QStringList{u"Grüße"_s, u"✓"_s};
    }

    // The interpreter, with blanks in its path, started for real.
    void executeArguments()
    {
        QFETCH(QString, parameters);
        QFETCH(QStringList, arguments);
        QVERIFY(QDir(m_dir->path()).mkpath(u"my tools"_s));
        const QString program = m_dir->filePath(u"my tools/run it"_s);
        QVERIFY(copyExecutable(recorder::programPath(), program));
        auto ide = window(m_dir->path(), true);
        setInterpreter(*ide, program, parameters);
        ide->EAE_Click();
        QVERIFY(shown().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record()), 20000);
        QCOMPARE(recorder::readArguments(record()), arguments);
    }

    void assemble_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");

        QTest::newRow("untitled in the IDE's folder") << QString() << QString();
        QTest::newRow("blanks") << u"my work"_s << u"a b.vornex"_s;
        QTest::newRow("quotes") << u"\"q\""_s << u"it's \"x\".vornex"_s;
        QTest::newRow("semicolon and dollar") << u"a;b"_s << u"$(touch pwned).vornex"_s;
        QTest::newRow("backquotes, star, hash") << u"`id`"_s << u"*#x.vornex"_s;
        QTest::newRow("newline") << u"line\nbreak"_s << u"x\n.vornex"_s;
    }

    // Every Assemble saves the text over whatever the file holds, then starts the assembler on
    // it with the path as one argument.
    void assemble()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        const QString appDir = m_dir->filePath(u"ide"_s);
        QVERIFY(QDir().mkpath(appDir));
        QVERIFY(copyExecutable(recorder::programPath(), appDir + u"/cvornex.exe"_s));
        auto ide = window(appDir, true);
        if (!name.isEmpty()) {
            QVERIFY(QDir(m_dir->path()).mkpath(folder));
            ide->SourcePath = m_dir->filePath(folder) + u'/' + name;
        }
        ide->RichTextBox1->setRawBytes("main {\r\n}\r\n");
        for (int round = 0; round < 2; ++round) {
            QFile file(ide->SourcePath);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("stale") == 5);
            file.close();
            QFile::remove(record());
            ide->Asm_Click();
            QVERIFY(shown().isEmpty());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("main {\r\n}\r\n"));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record()), 20000);
            QCOMPARE(recorder::readArguments(record()), QStringList{ide->SourcePath});
        }
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

    void viewDebugOutputWarning_data()
    {
        QTest::addColumn<QString>("sourcePath");
        QTest::newRow("no dot") << u"/work/prog"_s;
        QTest::newRow("bare file name") << u"prog.vornex"_s;
        QTest::newRow("first dot before any separator") << u"a.b/prog.vornex"_s;
        QTest::newRow("empty") << QString();
    }

    void viewDebugOutputWarning()
    {
        QFETCH(QString, sourcePath);
        auto ide = window(m_dir->path());
        ide->SourcePath = sourcePath;
        ide->Asmne_Click();
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown()[0].title, u"Vor Nex IDE"_s);
        QCOMPARE(shown()[0].text,
                 u"Please create a debug output file, by assembling a source module"_s);
        QVERIFY(!ide->debugOutputWindow());
        QCOMPARE(m_fakes.viewers.size(), 0);
    }

    // Each use places the window from its own outer width and the main window's top and loads
    // the report again; after a close the window is made anew.
    void viewDebugOutput()
    {
        const QString appDir = m_dir->filePath(u"dir #1 %41 x"_s);
        auto ide = window(appDir);
        if (vornex::logicalDpi(ide.get()) != 96.0)
            QSKIP("the expected positions are worked out for 96 dpi, 15 twips to the pixel");
        const auto place = [&](int ownWidth) {
            return QPoint(7, qRound(ownWidth + ide->frameGeometry().top() + 100.0 / 15.0));
        };
        QCOMPARE(m_fakes.viewers.size(), 0);
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
        QCOMPARE(ide->debugOutputWindow(), debug.data());
        QCOMPARE(debug->frameGeometry().topLeft(), place(debug->frameGeometry().width()));

        QVERIFY(debug->close());
        flushDeletes();
        QVERIFY(!debug && !ide->debugOutputWindow());
        ide->Asmne_Click();
        QVERIFY(ide->debugOutputWindow() && ide->debugOutputWindow()->isVisible());
        QVERIFY(shown().isEmpty());
        QCOMPARE(m_fakes.viewers, QList<vornex::ViewerKind>(2, vornex::ViewerKind::LocalReport));
        QCOMPARE(m_fakes.navigations.size(), 3);
        for (const QUrl &load : std::as_const(m_fakes.navigations))
            QCOMPARE(load.toLocalFile(), appDir + u"/debugasm.html"_s);
    }
};

QTEST_MAIN(TestBuildWindows)
#include "tst_buildwindows.moc"
