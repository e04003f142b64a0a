#include "outline/scanblocks.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int status = -1;
    QByteArray errors;
};

QByteArray htmlEscaped(QByteArrayView text)
{
    QByteArray out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

// The stand-in assembler, run for real from a folder of its own so that its report lands there.
class TestCvornex : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void report_data();
    void report();
    void escapesMarkup();
    void reportGoesBesideProgram();
    void failures_data();
    void failures();

private:
    Run run(const QStringList &arguments, const QString &workingDirectory = {});
    bool writeSource(const QString &path, const QByteArray &bytes);
    QByteArray readReport();

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program;
};

void TestCvornex::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkpath(u"bin"_s));
    m_program = m_dir->filePath(u"bin/cvornex.exe"_s);
    QVERIFY(QFile::copy(QStringLiteral(VORNEX_BIN_DIR "/cvornex.exe"), m_program));
}

Run TestCvornex::run(const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory.isEmpty() ? m_dir->path() : workingDirectory);
    process.start(m_program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), process.readAllStandardError()};
}

bool TestCvornex::writeSource(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray TestCvornex::readReport()
{
    QFile file(m_dir->filePath(u"bin/debugasm.html"_s));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestCvornex::report_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArrayList>("shown");

    QTest::newRow("empty") << QByteArray() << 0 << QByteArrayList{};
    QTest::newRow("one block, CR LF")
        << QByteArray("main {\r\n  x\r\n}\r\n") << 3 << QByteArrayList{"main {", "  x", "}"};
    QTest::newRow("nested blocks, LF only")
        << QByteArray("outer {\n  inner {\n  }\n}") << 4 << QByteArrayList{"  inner {"};
    QTest::newRow("unbalanced") << QByteArray("a {\r\n") << 1 << QByteArrayList{"a {"};
    QTest::newRow("brace in quotes")
        << QByteArray("s \"{\" {\r\n}") << 2 << QByteArrayList{"s &quot;{&quot; {"};
    QTest::newRow("lone CRs") << QByteArray("a {\rb\r}") << 3 << QByteArrayList{"b"};
    QTest::newRow("blank lines") << QByteArray("\r\n\n\r") << 3 << QByteArrayList{};
    QTest::newRow("NUL bytes kept") << QByteArray("a\0b {\r\n}", 8) << 2
                                    << QByteArrayList{"a\xE2\x90\x80"
                                                      "b {"};
    QTest::newRow("invalid UTF-8") << QByteArray("x\xff\xfe {\r\n\xc3(\xed\xa0\x80}") << 2
                                   << QByteArrayList{"x\xEF\xBF\xBD\xEF\xBF\xBD {"};
    QTest::newRow("non-ASCII") << QByteArray("Grüße ✓ {\r\n}") << 2 << QByteArrayList{"Grüße ✓ {"};
}

void TestCvornex::report()
{
    QFETCH(QByteArray, source);
    QFETCH(int, lines);
    QFETCH(QByteArrayList, shown);
    const QString sourcePath = m_dir->filePath(u"prog.vornex"_s);
    QVERIFY(writeSource(sourcePath, source));

    const Run result = run({sourcePath});
    QCOMPARE(result.status, 0);
    QCOMPARE(result.errors, QByteArray());
    const QByteArray report = readReport();
    QVERIFY(report.contains("<meta charset=\"utf-8\">"));

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(report);
    QVERIFY2(!utf8.hasError(), "the report is valid UTF-8 whatever the source holds");

    QVERIFY(report.contains("<code>" + htmlEscaped(sourcePath.toUtf8()) + "</code>"));
    QVERIFY(report.contains(QByteArray::number(lines) + (lines == 1 ? " line," : " lines,")));
    QCOMPARE(report.count("<span class=\"n\">"), lines);
    for (const QByteArray &line : shown)
        QVERIFY2(report.contains("</span>" + line + "\n"), line.constData());

    const std::string_view sourceText(source.constData(), static_cast<std::size_t>(source.size()));
    const vornex::BlockList blocks = vornex::ScanBlocks(sourceText);
    if (blocks.misaligned()) {
        QVERIFY(report.contains("<p class=\"error\">code blocks misalligned</p>"));
        QVERIFY(!report.contains("<li>"));
    } else {
        QCOMPARE(report.count("<li>"), qsizetype(blocks.size()));
        for (const std::string &entry : blocks.entries(sourceText)) {
            // Invalid bytes show as U+FFFD, NUL as its visible symbol.
            const QByteArray name =
                htmlEscaped(QString::fromUtf8(entry).toUtf8()).replace('\0', "\xE2\x90\x80");
            QVERIFY2(report.contains("<li><code>" + name + "</code></li>"), name.constData());
        }
    }
}

void TestCvornex::escapesMarkup()
{
    const QString folder = m_dir->filePath(u"a<b&\"c'd>"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString sourcePath = folder + u"/<i>x.vornex"_s;
    QVERIFY(writeSource(sourcePath, "<script>alert(\"x\" & 'y')</script> {\r\n}\r\n"));

    QCOMPARE(run({sourcePath}).status, 0);
    const QByteArray report = readReport();
    QVERIFY(!report.contains("<script"));
    QVERIFY(!report.contains("<i>"));
    QVERIFY(report.contains("&lt;script&gt;alert(&quot;x&quot; &amp; &#39;y&#39;)&lt;/script&gt;"));
    QVERIFY(report.contains("a&lt;b&amp;&quot;c&#39;d&gt;/&lt;i&gt;x.vornex"));
    QVERIFY(report.contains("<title>Debug output: &lt;i&gt;x.vornex</title>"));
}

void TestCvornex::reportGoesBesideProgram()
{
    QVERIFY(QDir(m_dir->path()).mkpath(u"work"_s));
    QVERIFY(QDir(m_dir->path()).mkpath(u"cwd"_s));
    const QString sourcePath = m_dir->filePath(u"work/p.vornex"_s);
    QVERIFY(writeSource(sourcePath, "old {\r\n}"));
    QCOMPARE(run({sourcePath}, m_dir->filePath(u"cwd"_s)).status, 0);
    QVERIFY(writeSource(sourcePath, "new {\r\n}"));
    QCOMPARE(run({sourcePath}, m_dir->filePath(u"cwd"_s)).status, 0);

    QVERIFY(readReport().contains("new {"));
    QVERIFY(!readReport().contains("old {"));
    QCOMPARE(QDir(m_dir->filePath(u"bin"_s)).entryList(QDir::Files | QDir::Hidden),
             (QStringList{u"cvornex.exe"_s, u"debugasm.html"_s}));
    QVERIFY(QDir(m_dir->filePath(u"cwd"_s)).isEmpty());
    QCOMPARE(QDir(m_dir->filePath(u"work"_s)).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"p.vornex"_s});
}

void TestCvornex::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("reportIsDirectory");
    QTest::addColumn<QString>("named");

    QTest::newRow("no argument") << QStringList{} << false << u"usage"_s;
    QTest::newRow("two arguments") << QStringList{u"a"_s, u"b"_s} << false << u"usage"_s;
    QTest::newRow("missing source")
        << QStringList{u"missing.vornex"_s} << false << u"missing.vornex"_s;
    QTest::newRow("empty path") << QStringList{QString()} << false << u"\"\""_s;
    QTest::newRow("source is a folder") << QStringList{u"."_s} << false << u"directory"_s;
    QTest::newRow("report cannot be written")
        << QStringList{u"src.vornex"_s} << true << u"debugasm.html"_s;
}

void TestCvornex::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, reportIsDirectory);
    QFETCH(QString, named);
    QVERIFY(writeSource(m_dir->filePath(u"src.vornex"_s), "a {\r\n}"));
    const QString report = m_dir->filePath(u"bin/debugasm.html"_s);
    if (reportIsDirectory)
        QVERIFY(QDir().mkpath(report + u"/inside"_s));

    const Run result = run(arguments);
    QVERIFY(result.status > 0);
    QVERIFY2(QString::fromUtf8(result.errors).contains(named), result.errors.constData());
    QCOMPARE(QFileInfo(report).isFile(), false);
    QCOMPARE(QDir(m_dir->filePath(u"bin"_s)).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"cvornex.exe"_s});
}

QTEST_GUILESS_MAIN(TestCvornex)
#include "tst_cvornex.moc"
