#include "build/buildcommands.h"
#include "build/form2.h"
#include "build/form4.h"
#include "editor/form1.h"
#include "fakeplatform.h"
#include "platform/sourceeditor.h"
#include "platform/twips.h"
#include "recorder/record.h"

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using vornex::Form1;

namespace {

const QString kNoInterpreter = u"Please Fill out the Paramters for calling your the interpreator"_s;
const QString kNoReport = u"Please create a debug output file, by assembling a source module"_s;

std::unique_ptr<Form1> makeWindow(fake::World &world, const QString &appDir,
                                  bool realLauncher = false)
{
    vornex::Platform platform = world.platform(appDir);
    if (realLauncher)
        platform.launcher = vornex::makeQtProcessLauncher();
    return std::make_unique<Form1>(std::move(platform));
}

// Lets deferred deletes (windows closed with WA_DeleteOnClose) happen.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool copyExecutable(const QString &from, const QString &to)
{
    return QFile::copy(from, to) &&
           QFile::setPermissions(to, QFile::permissions(from) | QFile::ExeOwner);
}

} // namespace

class TestBuildWindows : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // Execute and the interpreter settings window.
    void firstExecuteWarnsThenShowsEmptySettings();
    void executeNeedsBothTexts_data();
    void executeNeedsBothTexts();
    void typedTextIsUsedWithoutApply();
    void applyHidesAndKeepsTexts();
    void closingDiscardsTexts();
    void enterAndEscapeDoNotApply();
    void executeStartFailure();
    void executeArgumentsReachProgram_data();
    void executeArgumentsReachProgram();
    void executeRealStartFailure_data();
    void executeRealStartFailure();

    // Assemble.
    void assembleSavesThenStartsAssembler_data();
    void assembleSavesThenStartsAssembler();
    void assembleFailedSaveStartsNothing();
    void assembleStartFailure_data();
    void assembleStartFailure();

    // View Debug Output.
    void viewDebugOutputWarning_data();
    void viewDebugOutputWarning();
    void viewDebugOutputPlacesShowsAndLoads();
    void viewDebugOutputAgainPlacesAndReloads();
    void closedDebugWindowIsCreatedAgain();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    fake::World m_world;
};

void TestBuildWindows::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_world = fake::World();
}

void TestBuildWindows::firstExecuteWarnsThenShowsEmptySettings()
{
    auto window = makeWindow(m_world, m_dir->path());
    bool hiddenWhileWarning = false;
    m_world.onMessage = [&] {
        hiddenWhileWarning = window->settingsWindow() && !window->settingsWindow()->isVisible();
    };
    window->EAE_Click();

    QCOMPARE(m_world.messages.size(), 1u);
    QCOMPARE(m_world.messages[0].title, u"Project1"_s);
    QCOMPARE(m_world.messages[0].text, kNoInterpreter);
    QVERIFY2(hiddenWhileWarning, "the window is created hidden and shown after the warning");
    vornex::Form4 *settings = window->settingsWindow();
    QVERIFY(settings && settings->isVisible());
    QCOMPARE(settings->Text1->text(), QString());
    QCOMPARE(settings->Text2->text(), QString());
    QVERIFY(m_world.launches.empty());
}

void TestBuildWindows::executeNeedsBothTexts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<bool>("warns");

    QTest::newRow("both empty") << QString() << QString() << true;
    QTest::newRow("parameters empty") << u"/tools/run"_s << QString() << true;
    QTest::newRow("path empty") << QString() << u"/work/prog"_s << true;
    QTest::newRow("one blank as parameters is filled") << u"/tools/run"_s << u" "_s << false;
    QTest::newRow("one blank as path is filled") << u" "_s << u"x"_s << false;
    QTest::newRow("both filled") << u"/tools/run"_s << u"/work/prog"_s << false;
}

void TestBuildWindows::executeNeedsBothTexts()
{
    QFETCH(QString, path);
    QFETCH(QString, parameters);
    QFETCH(bool, warns);
    auto window = makeWindow(m_world, m_dir->path());
    window->SetupECop_Click();
    window->settingsWindow()->Text1->setText(path);
    window->settingsWindow()->Text2->setText(parameters);
    window->settingsWindow()->Command1_Click();

    window->EAE_Click();
    QCOMPARE(m_world.messages.size(), warns ? 1u : 0u);
    QCOMPARE(m_world.launches.size(), warns ? 0u : 1u);
    QCOMPARE(window->settingsWindow()->isVisible(), warns);
    if (!warns) {
        QCOMPARE(m_world.launches[0].program, path);
        QCOMPARE(m_world.launches[0].arguments, QProcess::splitCommand(parameters));
    }
}

void TestBuildWindows::typedTextIsUsedWithoutApply()
{
    auto window = makeWindow(m_world, m_dir->path());
    window->SetupECop_Click();
    vornex::Form4 *settings = window->settingsWindow();
    QTest::keyClicks(settings->Text1, u"/tools/run"_s);
    QTest::keyClicks(settings->Text2, u"prog.qvx"_s);

    window->EAE_Click();
    QVERIFY(m_world.messages.empty());
    QCOMPARE(m_world.launches.size(), 1u);
    QCOMPARE(m_world.launches[0].program, u"/tools/run"_s);
    QCOMPARE(m_world.launches[0].arguments, QStringList{u"prog.qvx"_s});
    QVERIFY(settings->isVisible());
}

void TestBuildWindows::applyHidesAndKeepsTexts()
{
    auto window = makeWindow(m_world, m_dir->path());
    window->SetupECop_Click();
    QPointer<vornex::Form4> settings = window->settingsWindow();
    QTest::keyClicks(settings->Text1, u"/tools/run"_s);
    QTest::keyClicks(settings->Text2, u"a b"_s);
    QTest::mouseClick(settings->Command1, Qt::LeftButton);
    flushDeletes();

    QVERIFY(settings);
    QVERIFY(!settings->isVisible());
    window->EAE_Click();
    QCOMPARE(m_world.launches.size(), 1u);
    QCOMPARE(m_world.launches[0].arguments, (QStringList{u"a"_s, u"b"_s}));
    QVERIFY2(!settings->isVisible(), "Execute with both texts filled shows nothing");

    window->SetupECop_Click();
    QCOMPARE(window->settingsWindow(), settings.data());
    QVERIFY(settings->isVisible());
    QCOMPARE(settings->Text1->text(), u"/tools/run"_s);
    QCOMPARE(settings->Text2->text(), u"a b"_s);
}

void TestBuildWindows::closingDiscardsTexts()
{
    auto window = makeWindow(m_world, m_dir->path());
    window->SetupECop_Click();
    window->settingsWindow()->Text1->setText(u"/tools/run"_s);
    window->settingsWindow()->Text2->setText(u"x"_s);
    QVERIFY(window->settingsWindow()->close());
    flushDeletes();
    QVERIFY(!window->settingsWindow());

    window->EAE_Click();
    QCOMPARE(m_world.messages.size(), 1u);
    QVERIFY(m_world.launches.empty());
    QVERIFY(window->settingsWindow()->isVisible());
    QCOMPARE(window->settingsWindow()->Text1->text(), QString());
    QCOMPARE(window->settingsWindow()->Text2->text(), QString());
}

void TestBuildWindows::enterAndEscapeDoNotApply()
{
    auto window = makeWindow(m_world, m_dir->path());
    window->SetupECop_Click();
    vornex::Form4 *settings = window->settingsWindow();
    settings->Text1->setText(u"/tools/run"_s);
    for (QLineEdit *box : {settings->Text1, settings->Text2}) {
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(box, key);
    }
    flushDeletes();
    QVERIFY(window->settingsWindow());
    QVERIFY(settings->isVisible());
    QCOMPARE(settings->Text1->text(), u"/tools/run"_s);
}

void TestBuildWindows::executeStartFailure()
{
    auto window = makeWindow(m_world, m_dir->path());
    m_world.launchFailure = u"execv: Permission denied"_s;
    window->SetupECop_Click();
    window->settingsWindow()->Text1->setText(u"/tools/run"_s);
    window->settingsWindow()->Text2->setText(u"x"_s);
    window->EAE_Click();

    QVERIFY(m_world.launches.empty());
    QCOMPARE(m_world.messages.size(), 1u);
    QVERIFY(m_world.messages[0].text.contains(u"\"/tools/run\""_s));
    QVERIFY(m_world.messages[0].text.contains(u"execv: Permission denied"_s));
}

void TestBuildWindows::executeArgumentsReachProgram_data()
{
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("one word") << u"prog.qvx"_s << QStringList{u"prog.qvx"_s};
    QTest::newRow("quoted words") << u"\"my prog.qvx\" -v"_s
                                  << QStringList{u"my prog.qvx"_s, u"-v"_s};
    QTest::newRow("one blank gives no arguments") << u" "_s << QStringList{};
    QTest::newRow("shell metacharacters arrive literally")
        << u"a;b $(touch x) `id` * #c >out | & ' $HOME"_s
        << QStringList{u"a;b"_s,  u"$(touch"_s, u"x)"_s, u"`id`"_s, u"*"_s,    u"#c"_s,
                       u">out"_s, u"|"_s,       u"&"_s,  u"'"_s,    u"$HOME"_s};
    QTest::newRow("non-ASCII") << u"Grüße ✓"_s << QStringList{u"Grüße"_s, u"✓"_s};
}

void TestBuildWindows::executeArgumentsReachProgram()
{
    QFETCH(QString, parameters);
    QFETCH(QStringList, arguments);
    // An interpreter whose path has blanks, started for real.
    QVERIFY(QDir(m_dir->path()).mkpath(u"my tools"_s));
    const QString program = m_dir->filePath(u"my tools/run it"_s);
    QVERIFY(copyExecutable(recorder::programPath(), program));
    const QString record = m_dir->filePath(u"record"_s);
    qputenv("VORNEX_RECORD_FILE", record.toLocal8Bit());

    auto window = makeWindow(m_world, m_dir->path(), true);
    window->SetupECop_Click();
    window->settingsWindow()->Text1->setText(program);
    window->settingsWindow()->Text2->setText(parameters);
    window->EAE_Click();

    QVERIFY(m_world.messages.empty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 20000);
    QCOMPARE(recorder::readArguments(record), arguments);
    QVERIFY2(!QFile::exists(m_dir->filePath(u"x)"_s)), "no shell ran the parameters");
}

void TestBuildWindows::executeRealStartFailure_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("create");

    QTest::newRow("no such program") << u"missing"_s << false;
    QTest::newRow("not executable") << u"plain.txt"_s << true;
}

void TestBuildWindows::executeRealStartFailure()
{
    QFETCH(QString, name);
    QFETCH(bool, create);
    const QString program = m_dir->filePath(name);
    if (create) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nexit 0\n");
    }
    auto window = makeWindow(m_world, m_dir->path(), true);
    window->SetupECop_Click();
    window->settingsWindow()->Text1->setText(program);
    window->settingsWindow()->Text2->setText(u"x"_s);
    window->EAE_Click();

    QCOMPARE(m_world.messages.size(), 1u);
    const QString text = m_world.messages[0].text;
    QVERIFY2(text.startsWith(u"Cannot start \"%1\":\n"_s.arg(program)), qPrintable(text));
    QVERIFY2(text.size() > program.size() + 20, "the message gives a reason");
}

void TestBuildWindows::assembleSavesThenStartsAssembler_data()
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

void TestBuildWindows::assembleSavesThenStartsAssembler()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    const QString appDir = m_dir->filePath(u"ide"_s);
    QVERIFY(QDir().mkpath(appDir));
    QVERIFY(copyExecutable(recorder::programPath(), appDir + u"/cvornex.exe"_s));
    const QString record = m_dir->filePath(u"record"_s);
    qputenv("VORNEX_RECORD_FILE", record.toLocal8Bit());

    auto window = makeWindow(m_world, appDir, true);
    if (!name.isEmpty()) {
        QVERIFY(QDir(m_dir->path()).mkpath(folder));
        window->SourcePath = m_dir->filePath(folder) + u"/"_s + name;
    }
    const QString sourcePath = window->SourcePath;
    window->RichTextBox1->setRawBytes("main {\r\n}\r\n");
    window->Asm_Click();

    QVERIFY(m_world.messages.empty());
    QFile saved(sourcePath);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("main {\r\n}\r\n"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(record), 20000);
    QCOMPARE(recorder::readArguments(record), QStringList{sourcePath});
    QVERIFY2(!QFile::exists(u"pwned"_s) && !QFile::exists(m_dir->filePath(u"pwned"_s)),
             "no shell ran the path");
}

void TestBuildWindows::assembleFailedSaveStartsNothing()
{
    auto window = makeWindow(m_world, m_dir->path());
    window->SourcePath = m_dir->filePath(u"missing folder/prog.vornex"_s);
    window->Asm_Click();
    QVERIFY(m_world.launches.empty());
    QCOMPARE(m_world.messages.size(), 1u);
}

void TestBuildWindows::assembleStartFailure_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("assembler missing") << false;
    QTest::newRow("assembler not executable") << true;
}

void TestBuildWindows::assembleStartFailure()
{
    QFETCH(bool, present);
    const QString program = m_dir->filePath(u"cvornex.exe"_s);
    if (present) {
        QVERIFY(QFile::copy(recorder::programPath(), program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner));
    }
    auto window = makeWindow(m_world, m_dir->path(), true);
    window->Asm_Click();

    QVERIFY(QFile::exists(window->SourcePath));
    QCOMPARE(m_world.messages.size(), 1u);
    const QString text = m_world.messages[0].text;
    QVERIFY2(text.startsWith(u"Cannot start \"%1\":\n"_s.arg(program)), qPrintable(text));
    QVERIFY2(text.size() > program.size() + 20, "the message gives a reason");
}

void TestBuildWindows::viewDebugOutputWarning_data()
{
    QTest::addColumn<QString>("sourcePath");
    QTest::newRow("no dot") << u"/work/prog"_s;
    QTest::newRow("bare file name") << u"prog.vornex"_s;
    QTest::newRow("first dot before any separator") << u"a.b/prog.vornex"_s;
    QTest::newRow("empty") << QString();
}

void TestBuildWindows::viewDebugOutputWarning()
{
    QFETCH(QString, sourcePath);
    auto window = makeWindow(m_world, m_dir->path());
    window->SourcePath = sourcePath;
    window->Asmne_Click();

    QCOMPARE(m_world.messages.size(), 1u);
    QCOMPARE(m_world.messages[0].title, u"Vor Nex IDE"_s);
    QCOMPARE(m_world.messages[0].text, kNoReport);
    QVERIFY(!window->debugOutputWindow());
    QCOMPARE(m_world.viewersCreated, 0);
    QVERIFY(m_world.navigations.empty());
}

// The debug window's expected position at 96 dpi, where 15 twips make one pixel.
static QPoint expectedPlace(int ownWidthPx, int mainTopPx)
{
    const double top = ownWidthPx * 15.0 + mainTopPx * 15.0 + 100.0;
    return {qRound(100.0 / 15.0), qRound(top / 15.0)};
}

void TestBuildWindows::viewDebugOutputPlacesShowsAndLoads()
{
    const QString appDir = m_dir->filePath(u"dir #1 %41 x"_s);
    auto window = makeWindow(m_world, appDir);
    if (vornex::logicalDpi(window.get()) != 96.0)
        QSKIP("the expected positions are worked out for 96 dpi");
    window->show();
    window->move(200, 300);
    QCOMPARE(m_world.viewersCreated, 0);
    window->SourcePath = u"/my.dir/prog"_s;
    window->Asmne_Click();

    QVERIFY(m_world.messages.empty());
    vornex::Form2 *debug = window->debugOutputWindow();
    QVERIFY(debug && debug->isVisible());
    // Before its first show the window has no frame yet: its outer width is its client width.
    QCOMPARE(debug->frameGeometry().topLeft(),
             expectedPlace(debug->width(), window->frameGeometry().top()));
    QCOMPARE(m_world.viewersCreated, 1);
    QCOMPARE(m_world.viewerKinds, std::vector{vornex::ViewerKind::LocalReport});
    QCOMPARE(m_world.navigations.size(), 1u);
    QCOMPARE(m_world.navigations[0], vornex::debugReportAddress(appDir));
    QCOMPARE(m_world.navigations[0].toLocalFile(), appDir + u"/debugasm.html"_s);
}

void TestBuildWindows::viewDebugOutputAgainPlacesAndReloads()
{
    auto window = makeWindow(m_world, m_dir->path());
    if (vornex::logicalDpi(window.get()) != 96.0)
        QSKIP("the expected positions are worked out for 96 dpi");
    window->show();
    window->move(10, 20);
    window->Asmne_Click();
    QPointer<vornex::Form2> debug = window->debugOutputWindow();
    QVERIFY(debug);
    debug->move(700, 5);
    window->move(30, 400);
    window->Asmne_Click();

    QCOMPARE(window->debugOutputWindow(), debug.data());
    QVERIFY(debug->isVisible());
    QCOMPARE(debug->frameGeometry().topLeft(),
             expectedPlace(debug->frameGeometry().width(), window->frameGeometry().top()));
    QCOMPARE(m_world.viewersCreated, 1);
    QCOMPARE(m_world.navigations.size(), 2u);
    QCOMPARE(m_world.navigations[1], m_world.navigations[0]);
}

void TestBuildWindows::closedDebugWindowIsCreatedAgain()
{
    auto window = makeWindow(m_world, m_dir->path());
    window->Asmne_Click();
    QVERIFY(window->debugOutputWindow()->close());
    flushDeletes();
    QVERIFY(!window->debugOutputWindow());

    window->Asmne_Click();
    QVERIFY(window->debugOutputWindow() && window->debugOutputWindow()->isVisible());
    QCOMPARE(m_world.viewersCreated, 2);
    QCOMPARE(m_world.navigations.size(), 2u);
}

QTEST_MAIN(TestBuildWindows)
#include "tst_buildwindows.moc"
