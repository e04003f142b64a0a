#include "scanblocks.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

// The stand-in assembler, run for real from a folder of its own, bin/, where its report lands;
// it is started from another folder, cwd/.
class TestCvornex : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    int m_status = -1;
    QByteArray m_errors;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    // Runs the assembler from cwd/, after inChild in its process; returns its report, if any.
    QByteArray run(const QStringList &arguments, const std::function<void()> &inChild = {})
    {
        QProcess process;
        process.setWorkingDirectory(path(u"cwd"_s));
        if (inChild)
            process.setChildProcessModifier(inChild);
        process.start(path(u"bin/cvornex.exe"_s), arguments);
        const bool ended = process.waitForFinished(60000);
        m_status = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        m_errors = process.readAllStandardError();
        QFile report(path(u"bin/debugasm.html"_s));
        return report.open(QIODevice::ReadOnly) ? report.readAll() : QByteArray();
    }

    QStringList files(const QString &folder) const
    {
        return QDir(path(folder)).entryList(QDir::Files | QDir::Hidden);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path(u"bin"_s)) && QDir().mkpath(path(u"cwd"_s)));
        QVERIFY(
            QFile::copy(QStringLiteral(VORNEX_BIN_DIR "/cvornex.exe"), path(u"bin/cvornex.exe"_s)));
    }

    void report_data()
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
        QTest::newRow("NUL bytes shown")
            << QByteArray("a\0b {\r\n}", 8) << 2 << QByteArrayList{"a\u2400b {"};
        QTest::newRow("invalid UTF-8") << QByteArray("x\xff\xfe {\r\n\xc3(\xed\xa0\x80}") << 2
                                       << QByteArrayList{"x\uFFFD\uFFFD {"};
        QTest::newRow("markup") << QByteArray("<script>alert(\"x\" & 'y')</script> {\r\n}") << 2
                                << QByteArrayList{"&lt;script&gt;alert(&quot;x&quot; &amp; "
                                                  "&#39;y&#39;)&lt;/script&gt; {"};
        // Names that overlap: each holds every line before it.
        QTest::newRow("nested lines without CR")
            << QByteArray("label{\n").repeated(3000) + QByteArray("}\n").repeated(3000) << 6000
            << QByteArrayList{"label{"};
        QTest::newRow("nested braces")
            << QByteArray(6000, '{') + QByteArray(6000, '}') << 1 << QByteArrayList{};
        QTest::newRow("long name") << QByteArray(500, 'n') + "{\r\n}" << 2 << QByteArrayList{};
    }

    // The report lands beside the assembler, whatever the working folder, and replaces the one
    // before. It lists the source's lines and its blocks as the outline scanner finds them, each
    // once (a long one cut), in valid UTF-8 with all markup of the source and its path escaped.
    void report()
    {
        QFETCH(QByteArray, source);
        QFETCH(int, lines);
        QFETCH(QByteArrayList, shown);
        QVERIFY(QDir().mkpath(path(u"a<b&\"c'd>"_s)));
        const QString sourcePath = path(u"a<b&\"c'd>/<i>x.vornex"_s);
        QVERIFY(writeFile(sourcePath, source));
        QVERIFY(writeFile(path(u"bin/debugasm.html"_s), "stale"));
        const QByteArray html = run({sourcePath});
        QCOMPARE(m_status, 0);
        QCOMPARE(m_errors, QByteArray());
        QCOMPARE(files(u"bin"_s), (QStringList{u"cvornex.exe"_s, u"debugasm.html"_s}));
        QVERIFY(files(u"cwd"_s).isEmpty());
        QCOMPARE(QString::fromUtf8(html).toUtf8(), html); // valid UTF-8
        QVERIFY(!html.contains("<script") && !html.contains("<i>"));
        QVERIFY(html.contains("<title>Debug output: &lt;i&gt;x.vornex</title>"));
        const auto escaped = [](const QString &text) {
            return text.toHtmlEscaped().replace(u'\'', u"&#39;"_s).toUtf8();
        };
        QVERIFY(html.contains(escaped(sourcePath)));
        QVERIFY(html.contains(QByteArray::number(lines) + (lines == 1 ? " line," : " lines,")));
        QCOMPARE(html.count("<span class=\"n\">"), lines);
        for (const QByteArray &line : shown)
            QVERIFY2(html.contains("</span>" + line + "\n"), line.constData());

        const std::string_view text(source.constData(), static_cast<std::size_t>(source.size()));
        const vornex::BlockList blocks = vornex::ScanBlocks(text);
        QCOMPARE(html.contains("<p class=\"error\">code blocks misalligned</p>"),
                 blocks.misaligned());
        QVERIFY(html.size() <= 40 * source.size() + 12 * sourcePath.toUtf8().size() + 4096);
        QByteArrayList items;
        for (const QByteArray &line : html.split('\n'))
            if (line.startsWith("<li>"))
                items << line;
        QCOMPARE(items.size(), blocks.misaligned() ? 0 : qsizetype(blocks.size()));
        // An entry is compared whole only where it is shown whole, so that the check stays linear.
        std::size_t shownTo = 0;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const vornex::BlockList::Run run = blocks.run(std::size_t(i));
            QVERIFY(items[i].size() <= 23 + 6 * 120 + 6);
            if (run.begin < shownTo || run.end - run.begin > 120)
                QVERIFY(items[i].contains("\u2026"));
            else // invalid bytes show as U+FFFD, NUL as its visible symbol
                QCOMPARE(items[i], "<li><code>" +
                                       escaped(QString::fromUtf8(blocks.entry(std::size_t(i), text))
                                                   .replace(QChar(0), QChar(0x2400))) +
                                       "</code></li>");
            shownTo = run.end;
        }
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("reportIsFolder");
        QTest::addColumn<QString>("named"); // in the message; empty where a signal ends it

        QTest::newRow("no argument") << QStringList{} << false << u"usage"_s;
        QTest::newRow("two arguments") << QStringList{u"a"_s, u"b"_s} << false << u"usage"_s;
        QTest::newRow("missing source")
            << QStringList{u"missing.vornex"_s} << false << u"missing.vornex"_s;
        QTest::newRow("empty path") << QStringList{QString()} << false << u"\"\""_s;
        QTest::newRow("source is a folder") << QStringList{u"."_s} << false << u"folder"_s;
        QTest::newRow("source is a pipe without a writer")
            << QStringList{u"../pipe"_s} << false << u"regular"_s;
        QTest::newRow("source over 32 MiB")
            << QStringList{u"../big.vornex"_s} << false << u"32 MiB"_s;
        QTest::newRow("report cannot be written")
            << QStringList{u"../src.vornex"_s} << true << u"debugasm.html"_s;
        QTest::newRow("killed amid the report by the file-size limit")
            << QStringList{u"../src.vornex"_s} << false << QString();
#ifndef __SANITIZE_ADDRESS__ // whose allocator ends a program itself when memory runs out
        QTest::newRow("out of memory")
            << QStringList{u"../big.vornex"_s} << false << u"out of memory"_s;
#endif
    }

    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, reportIsFolder);
        QFETCH(QString, named);
        QVERIFY(writeFile(path(u"src.vornex"_s), "a {\r\n}"));
        QCOMPARE(::mkfifo(QFile::encodeName(path(u"pipe"_s)).constData(), 0600), 0);
        // Over 32 MiB, or just under it where memory is to run out.
        const bool memory = named == u"out of memory";
        QFile big(path(u"big.vornex"_s));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize((32 << 20) + (memory ? -1 : 1)));
        if (reportIsFolder)
            QVERIFY(QDir().mkpath(path(u"bin/debugasm.html/inside"_s)));
        else
            QVERIFY(writeFile(path(u"bin/debugasm.html"_s), "old"));
        const QByteArray report = run(arguments, [killed = named.isEmpty(), memory] {
            const struct rlimit none = {0, 0}, small = {256, 256}, data = {8 << 20, 8 << 20};
            ::setrlimit(RLIMIT_CORE, &none);
            if (killed)
                ::setrlimit(RLIMIT_FSIZE, &small);
            if (memory)
                ::setrlimit(RLIMIT_DATA, &data);
        });
        QVERIFY(named.isEmpty() ? m_status == -1 : memory ? m_status == 5 : m_status > 0);
        QVERIFY2(QString::fromUtf8(m_errors).contains(named), m_errors.constData());
        QCOMPARE(report, reportIsFolder ? QByteArray() : QByteArray("old"));
        QCOMPARE(files(u"bin"_s).size(), reportIsFolder ? 1 : 2);
    }
};

QTEST_GUILESS_MAIN(TestCvornex)
#include "tst_cvornex.moc"
