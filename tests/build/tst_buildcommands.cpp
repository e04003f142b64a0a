#include "build/buildcommands.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestBuildCommands : public QObject
{
    Q_OBJECT

private slots:
    void assemble_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("sourcePath");
        QTest::addColumn<QString>("program");

        auto row = [](const char *name, const QString &path) {
            QTest::newRow(name) << u"/opt/tools"_s << path << u"/opt/tools/cvornex.exe"_s;
        };
        row("plain path", u"/work/prog.vornex"_s);
        row("blanks", u"/my work/a b.vornex"_s);
        row("quotes", u"/w/\"quoted\" 'single'.vornex"_s);
        row("shell metacharacters", u"/w/a;b$(rm -rf x)`id`*#.vornex"_s);
        row("newline", u"/w/line\nbreak.vornex"_s);
        row("leading blank kept", u" /w/x.vornex"_s);
        row("empty path", QString());
        QTest::newRow("appdir at the root")
            << u"/"_s << u"//Untitled.vornex"_s << u"//cvornex.exe"_s;
        QTest::newRow("appdir with blanks")
            << u"/my tools"_s << u"/w/p.vornex"_s << u"/my tools/cvornex.exe"_s;
    }

    void assemble()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, sourcePath);
        QFETCH(QString, program);
        const vornex::LaunchCommand command = vornex::assembleCommand(appDir, sourcePath);
        QCOMPARE(command.program, program);
        QCOMPARE(command.arguments, QStringList{sourcePath});
        QCOMPARE(command.commandLine, program + u' ' + sourcePath);
    }

    void execute_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QStringList>("arguments");

        QTest::newRow("one parameter")
            << u"/tools/run"_s << u"/work/prog"_s << QStringList{u"/work/prog"_s};
        QTest::newRow("path with blanks is one program")
            << u"/my tools/run it"_s << u"a b"_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("path not trimmed") << u" /tools/run "_s << u"x"_s << QStringList{u"x"_s};
        QTest::newRow("quoted words grouped")
            << u"/r"_s << u"\"two words\" three"_s << QStringList{u"two words"_s, u"three"_s};
        QTest::newRow("tripled quotes give a literal quote")
            << u"/r"_s << u"\"a \"\"\"b\""_s << QStringList{u"a \"b"_s};
        QTest::newRow("one blank gives no arguments") << u"/r"_s << u" "_s << QStringList{};
        QTest::newRow("shell metacharacters are plain text")
            << u"/r"_s << u"a;b $(id) `id` * #c >out"_s
            << QStringList{u"a;b"_s, u"$(id)"_s, u"`id`"_s, u"*"_s, u"#c"_s, u">out"_s};
    }

    void execute()
    {
        QFETCH(QString, path);
        QFETCH(QString, parameters);
        QFETCH(QStringList, arguments);
        const vornex::LaunchCommand command = vornex::executeCommand(path, parameters);
        QCOMPARE(command.program, path);
        QCOMPARE(command.arguments, arguments);
        QCOMPARE(command.commandLine, path + u' ' + parameters);
    }

    void pathTest_data()
    {
        QTest::addColumn<QString>("sourcePath");
        QTest::addColumn<qsizetype>("position");

        QTest::newRow("ordinary path") << u"/work/prog.vornex"_s << qsizetype(6);
        QTest::newRow("untitled") << u"/opt/ide/Untitled.vornex"_s << qsizetype(9);
        QTest::newRow("untitled at the root") << u"//Untitled.vornex"_s << qsizetype(2);
        QTest::newRow("dot in a folder name") << u"/my.dir/prog.vornex"_s << qsizetype(1);
        QTest::newRow("separator only after the first dot")
            << u"a.b/c/prog.vornex"_s << qsizetype(0);
        QTest::newRow("bare file name") << u"prog.vornex"_s << qsizetype(0);
        QTest::newRow("no dot at all") << u"/work/prog"_s << qsizetype(0);
        QTest::newRow("empty") << QString() << qsizetype(0);
        QTest::newRow("dot first") << u".hidden/x"_s << qsizetype(0);
        QTest::newRow("backslash is no separator") << u"D:\\work\\prog.vornex"_s << qsizetype(0);
        QTest::newRow("relative with folder") << u"sub/prog.vornex"_s << qsizetype(4);
        QTest::newRow("dot right after the separator") << u"/w/.x"_s << qsizetype(3);
    }

    void pathTest()
    {
        QFETCH(QString, sourcePath);
        QFETCH(qsizetype, position);
        QCOMPARE(vornex::lastSeparatorBeforeFirstDot(sourcePath), position);
    }

    void placement_data()
    {
        QTest::addColumn<double>("ownWidth");
        QTest::addColumn<double>("mainTop");
        QTest::addColumn<float>("top");

        QTest::newRow("own width, not the main height") << 8000.0 << 1000.0 << 9100.0f;
        QTest::newRow("main window at the top") << 8145.0 << 0.0 << 8245.0f;
        QTest::newRow("main window above the screen") << 8145.0 << -9000.0 << -755.0f;
        QTest::newRow("fractional twips") << 8145.5 << 15.25 << 8260.75f;
    }

    void placement()
    {
        QFETCH(double, ownWidth);
        QFETCH(double, mainTop);
        QFETCH(float, top);
        const vornex::DebugWindowPlacement place = vornex::debugWindowPlacement(ownWidth, mainTop);
        QCOMPARE(place.top, top);
        QCOMPARE(place.left, 100.0f);
    }

    void reportAddress_data()
    {
        QTest::addColumn<QString>("appDir");
        QTest::addColumn<QString>("localFile");

        QTest::newRow("plain") << u"/opt/ide"_s << u"/opt/ide/debugasm.html"_s;
        QTest::newRow("root") << u"/"_s << u"/debugasm.html"_s;
        QTest::newRow("hash, percent, question mark, blanks")
            << u"/dir #1 %41 x?y"_s << u"/dir #1 %41 x?y/debugasm.html"_s;
        QTest::newRow("non-ASCII") << u"/Пример/ü"_s << u"/Пример/ü/debugasm.html"_s;
    }

    void reportAddress()
    {
        QFETCH(QString, appDir);
        QFETCH(QString, localFile);
        const QUrl address = vornex::debugReportAddress(appDir);
        QVERIFY(address.isLocalFile() && !address.hasQuery() && !address.hasFragment());
        // The address survives its text form, as the viewer receives it.
        QCOMPARE(QUrl(address.toString(QUrl::FullyEncoded)).toLocalFile(), localFile);
    }
};

QTEST_GUILESS_MAIN(TestBuildCommands)
#include "tst_buildcommands.moc"
