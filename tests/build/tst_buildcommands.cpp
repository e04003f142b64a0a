#include "build/buildcommands.h"

#include <QTest>

namespace QTest {
template <> char *toString(const vornex::LaunchCommand &command)
{
    return toString(QStringLiteral("program %1, arguments [%2], line %3")
                        .arg(command.program, command.arguments.join(QStringLiteral("|")),
                             command.commandLine));
}
template <> char *toString(const vornex::DebugWindowPlacement &place)
{
    return toString(QStringLiteral("top %1, left %2").arg(place.top).arg(place.left));
}
} // namespace QTest

using namespace Qt::StringLiterals;
using vornex::DebugWindowPlacement;
using vornex::LaunchCommand;

class TestBuildCommands : public QObject
{
    Q_OBJECT

private slots:
    void assemble_data();
    void assemble();
    void execute_data();
    void execute();
    void pathTest_data();
    void pathTest();
    void placement_data();
    void placement();
    void reportAddress_data();
    void reportAddress();
};

void TestBuildCommands::assemble_data()
{
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("sourcePath");
    QTest::addColumn<LaunchCommand>("expected");

    const QString tools = QStringLiteral("/opt/tools");
    const QString program = QStringLiteral("/opt/tools/cvornex.exe");
    auto row = [&](const char *name, const QString &path) {
        QTest::newRow(name) << tools << path
                            << LaunchCommand{program, {path}, program + QStringLiteral(" ") + path};
    };
    row("plain path", QStringLiteral("/work/prog.vornex"));
    row("blanks stay one argument", QStringLiteral("/my work/a b.vornex"));
    row("quotes", QStringLiteral("/w/\"quoted\" 'single'.vornex"));
    row("shell metacharacters", QStringLiteral("/w/a;b$(rm -rf x)`id`*#.vornex"));
    row("newline", QStringLiteral("/w/line\nbreak.vornex"));
    row("leading blank kept", QStringLiteral(" /w/x.vornex"));
    row("empty path", QString());
    QTest::newRow("appdir at the root")
        << QStringLiteral("/") << QStringLiteral("//Untitled.vornex")
        << LaunchCommand{QStringLiteral("//cvornex.exe"),
                         {QStringLiteral("//Untitled.vornex")},
                         QStringLiteral("//cvornex.exe //Untitled.vornex")};
    QTest::newRow("appdir with blanks")
        << QStringLiteral("/my tools") << QStringLiteral("/w/p.vornex")
        << LaunchCommand{QStringLiteral("/my tools/cvornex.exe"),
                         {QStringLiteral("/w/p.vornex")},
                         QStringLiteral("/my tools/cvornex.exe /w/p.vornex")};
}

void TestBuildCommands::assemble()
{
    QFETCH(QString, appDir);
    QFETCH(QString, sourcePath);
    QFETCH(LaunchCommand, expected);
    QCOMPARE(vornex::assembleCommand(appDir, sourcePath), expected);
}

void TestBuildCommands::execute_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("one parameter")
        << QStringLiteral("/tools/run") << QStringLiteral("/work/prog")
        << QStringLiteral("/tools/run") << QStringList{QStringLiteral("/work/prog")};
    QTest::newRow("path with blanks is one program")
        << QStringLiteral("/my tools/run it") << QStringLiteral("a b")
        << QStringLiteral("/my tools/run it") << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("path not trimmed") << QStringLiteral(" /tools/run ") << QStringLiteral("x")
                                      << QStringLiteral(" /tools/run ") << QStringList{u"x"_s};
    QTest::newRow("quoted words grouped")
        << QStringLiteral("/r") << QStringLiteral("\"two words\" three") << QStringLiteral("/r")
        << QStringList{u"two words"_s, u"three"_s};
    QTest::newRow("tripled quotes give a literal quote")
        << QStringLiteral("/r") << QStringLiteral("\"a \"\"\"b\"") << QStringLiteral("/r")
        << QStringList{u"a \"b"_s};
    QTest::newRow("one blank gives no arguments")
        << QStringLiteral("/r") << QStringLiteral(" ") << QStringLiteral("/r") << QStringList{};
    QTest::newRow("shell metacharacters are plain text")
        << QStringLiteral("/r") << QStringLiteral("a;b $(id) `id` * #c >out")
        << QStringLiteral("/r")
        << QStringList{u"a;b"_s, u"$(id)"_s, u"`id`"_s, u"*"_s, u"#c"_s, u">out"_s};
}

void TestBuildCommands::execute()
{
    QFETCH(QString, path);
    QFETCH(QString, parameters);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const LaunchCommand command = vornex::executeCommand(path, parameters);
    QCOMPARE(command.program, program);
    QCOMPARE(command.arguments, arguments);
    QCOMPARE(command.commandLine, path + QStringLiteral(" ") + parameters);
}

void TestBuildCommands::pathTest_data()
{
    QTest::addColumn<QString>("sourcePath");
    QTest::addColumn<qsizetype>("position");

    QTest::newRow("ordinary path") << QStringLiteral("/work/prog.vornex") << qsizetype(6);
    QTest::newRow("untitled at start")
        << QStringLiteral("/opt/ide/Untitled.vornex") << qsizetype(9);
    QTest::newRow("untitled at the root") << QStringLiteral("//Untitled.vornex") << qsizetype(2);
    QTest::newRow("dot in a folder name") << QStringLiteral("/my.dir/prog.vornex") << qsizetype(1);
    QTest::newRow("separator only after the first dot")
        << QStringLiteral("a.b/c/prog.vornex") << qsizetype(0);
    QTest::newRow("bare file name") << QStringLiteral("prog.vornex") << qsizetype(0);
    QTest::newRow("no dot at all") << QStringLiteral("/work/prog") << qsizetype(0);
    QTest::newRow("empty") << QString() << qsizetype(0);
    QTest::newRow("dot first") << QStringLiteral(".hidden/x") << qsizetype(0);
    QTest::newRow("backslash is no separator here")
        << QStringLiteral("D:\\work\\prog.vornex") << qsizetype(0);
    QTest::newRow("relative with folder") << QStringLiteral("sub/prog.vornex") << qsizetype(4);
    QTest::newRow("dot right after the separator") << QStringLiteral("/w/.x") << qsizetype(3);
}

void TestBuildCommands::pathTest()
{
    QFETCH(QString, sourcePath);
    QFETCH(qsizetype, position);
    QCOMPARE(vornex::lastSeparatorBeforeFirstDot(sourcePath), position);
}

void TestBuildCommands::placement_data()
{
    QTest::addColumn<double>("ownWidth");
    QTest::addColumn<double>("mainTop");
    QTest::addColumn<DebugWindowPlacement>("expected");

    QTest::newRow("own width, not the main height")
        << 8000.0 << 1000.0 << DebugWindowPlacement{9100.0f, 100.0f};
    QTest::newRow("main window at the top")
        << 8145.0 << 0.0 << DebugWindowPlacement{8245.0f, 100.0f};
    QTest::newRow("main window above the screen")
        << 8145.0 << -9000.0 << DebugWindowPlacement{-755.0f, 100.0f};
    QTest::newRow("fractional twips") << 8145.5 << 15.25 << DebugWindowPlacement{8260.75f, 100.0f};
}

void TestBuildCommands::placement()
{
    QFETCH(double, ownWidth);
    QFETCH(double, mainTop);
    QFETCH(DebugWindowPlacement, expected);
    QCOMPARE(vornex::debugWindowPlacement(ownWidth, mainTop), expected);
}

void TestBuildCommands::reportAddress_data()
{
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("localFile");

    QTest::newRow("plain") << QStringLiteral("/opt/ide")
                           << QStringLiteral("/opt/ide/debugasm.html");
    QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/debugasm.html");
    QTest::newRow("blanks") << QStringLiteral("/my ide") << QStringLiteral("/my ide/debugasm.html");
    QTest::newRow("hash, percent, question mark")
        << QStringLiteral("/dir #1 %41 x?y") << QStringLiteral("/dir #1 %41 x?y/debugasm.html");
    QTest::newRow("non-ASCII") << QStringLiteral("/Пример/ü")
                               << QStringLiteral("/Пример/ü/debugasm.html");
}

void TestBuildCommands::reportAddress()
{
    QFETCH(QString, appDir);
    QFETCH(QString, localFile);
    const QUrl address = vornex::debugReportAddress(appDir);
    QVERIFY(address.isValid());
    QCOMPARE(address.scheme(), QStringLiteral("file"));
    QVERIFY(address.host().isEmpty());
    QVERIFY(!address.hasQuery());
    QVERIFY(!address.hasFragment());
    // The address survives its text form, as the viewer receives it.
    QCOMPARE(QUrl(address.toString(QUrl::FullyEncoded)).toLocalFile(), localFile);
}

QTEST_GUILESS_MAIN(TestBuildCommands)
#include "tst_buildcommands.moc"
