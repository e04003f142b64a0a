#include "outline/literalscan.h"
#include "outline/scanblocks.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdint>
#include <iterator>
#include <random>

using namespace Qt::StringLiterals;
using vornex::BlockList;

namespace {

// Texts in the tables are written with visible stand-ins: ⏎ is CR LF, ↵ a lone LF, ␣ a space,
// ⇥ a tab and ＂ a double quote. Everything else stands for itself, in UTF-8.
QString expand(QString text)
{
    return text.replace(u'⏎', u"\r\n"_s)
        .replace(u'↵', u'\n')
        .replace(u'␣', u' ')
        .replace(u'⇥', u'\t')
        .replace(u'＂', u'"');
}

QStringList expand(QStringList texts)
{
    for (QString &text : texts)
        text = expand(text);
    return texts;
}

QStringList toQt(const std::vector<std::string> &entries)
{
    QStringList result;
    for (const std::string &entry : entries)
        result.append(QString::fromStdString(entry));
    return result;
}

// The entries of the literal scan of the UTF-16 text, character by character.
QStringList scanUtf16(const QString &text)
{
    QStringList result;
    const std::u16string_view view(reinterpret_cast<const char16_t *>(text.utf16()),
                                   static_cast<std::size_t>(text.size()));
    for (const std::u16string &entry : vornex::literal::ScanBlocksOf(view))
        result.append(QString::fromStdU16String(entry));
    return result;
}

std::string repeated(std::string_view piece, std::size_t times)
{
    std::string text;
    while (times-- > 0)
        text += piece;
    return text;
}

// A source of many small blocks, exactly length bytes long, whose braces balance.
std::string blocksOfLength(std::size_t length)
{
    std::string s;
    for (int i = 0; s.size() + 40 < length; ++i)
        s += "proc" + std::to_string(i) + " {\r\n  mov a, \"}\"\r\n  inc x\r\n}\r\n";
    s += "last {";
    return s + std::string(length - s.size() - 1, ' ') + '}';
}

std::string randomText(std::mt19937_64 &rng, std::size_t length)
{
    // Alphabets of different mixes: some hold no CR or no "}" so that name walks run far back.
    static const std::string_view alphabets[] = {
        "{}\"\r\n \tab",   "{{}}\"\r\n\r\n  \t\tabcxyz",
        "{}\n \tab",       "{}{}\" \t\nab",
        "{}\r\n   abc",    "{\r\n \tname",
        "{}\"\"\"\r\n ab",
    };
    const std::string_view alphabet = alphabets[rng() % std::size(alphabets)];
    std::string s;
    while (s.size() < length)
        s += rng() % 8 == 0 ? std::string("\r\n")
                            : std::string(1, alphabet[rng() % alphabet.size()]);
    s.resize(length);
    return s;
}

} // namespace

class TestOutline : public QObject
{
    Q_OBJECT

private slots:
    void scanner_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");

        // Entries are separated by "|"; "!" is the one entry of a misaligned text.
        const auto row = [](const char *name, const char16_t *text, const char16_t *entries) {
            const QString list = QString::fromUtf16(entries);
            QTest::newRow(name) << QString::fromUtf16(text)
                                << (list == u"!"
                                        ? QStringList{QString::fromLatin1(vornex::kMisalignedEntry)}
                                        : list.split(u'|'));
        };
        row("empty text", u"", u"!");
        row("no braces", u"no␣braces", u"!");
        row("one block", u"main␣{⏎␣␣mov␣a,␣b⏎}", u"main␣");
        row("two blocks", u"main␣{⏎}⏎loop␣{⏎␣␣inc␣x⏎}", u"main␣|loop␣");
        row("nested blocks keep indentation", u"outer␣{⏎␣␣inner␣{⏎␣␣}⏎}", u"outer␣|␣␣inner␣");
        row("name on the line above", u"data⏎{⏎}", u"data");
        row("empty block, empty name", u"{}", u"");
        row("close brace starts the next name", u"a{}{}", u"a|}");
        row("else between braces", u"}␣else␣{", u"}␣else␣");
        row("close before open balances", u"}a{", u"}a");
        row("blank lines between name and brace", u"x{⏎⏎␣␣}⏎⏎␣␣{⏎}", u"x|}␣␣");
        row("quoted brace gets an entry", u"code␣{⏎␣␣db␣＂{＂⏎}", u"code␣|␣␣db␣＂");
        row("both braces quoted", u"a␣＂{␣}＂", u"!");
        row("unmatched quote hides the rest", u"p␣＂x␣{⏎}", u"!");
        row("more closing than opening", u"a␣{␣}␣}", u"!");
        row("lone LF does not stop the walk", u"a{↵b{↵}↵}", u"a|a{b");
        row("tabs are part of the name", u"⇥name⇥{⏎}", u"⇥name⇥");
        row("double open brace", u"a{{}}", u"a|a{");
        row("duplicate names stay", u"main␣{⏎}⏎main␣{⏎}⏎main␣{⏎}", u"main␣|main␣|main␣");
        row("blank-only name", u"␣␣␣{}", u"␣␣␣");
        row("only breaks and braces before the first", u"⏎{⏎{␣↵}}", u"|{");
        row("adjacent quotes cancel", u"a␣＂＂{␣}", u"a␣＂＂");
        row("quote state spans lines", u"s␣＂⏎}⏎＂␣{⏎}", u"＂␣");
        row("single quote is ordinary", u"c␣'{'␣{}}", u"c␣'|c␣'{'␣");
        row("lone CR stops the walk", u"a\rb␣{\r}", u"b␣");
        row("only open braces", u"{{{", u"!");
        row("only close braces", u"}}", u"!");
        row("name named like the misaligned entry", u"code␣blocks␣misalligned{}",
            u"code␣blocks␣misalligned");
        row("brace on a chunk edge", u"abcdefghijklmno{⏎}abcdefghijklm{}",
            u"abcdefghijklmno|}abcdefghijklm");
        row("CR LF split by a chunk edge", u"abcdefghijklmno⏎name␣{⏎}", u"name␣");
        row("Cyrillic names", u"главная␣{⏎␣␣mov␣а,␣б⏎}⏎цикл⇥{⏎}", u"главная␣|цикл⇥");
        row("Cyrillic name on the line above", u"данные⏎{⏎}", u"данные");
        row("CJK and emoji", u"主程序␣{⏎}⏎😀␣{␣}", u"主程序␣|😀␣");
        row("quoted non-ASCII with brace", u"строка␣{⏎␣␣db␣＂ё{ж＂⏎}", u"строка␣|␣␣db␣＂ё");
        row("non-ASCII across chunk edges", u"ääääääää{}ööööööö{}", u"ääääääää|}ööööööö");
    }

    void scanner()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        const std::string source = expand(text).toStdString();
        const QStringList expected = expand(entries);
        const BlockList list = vornex::ScanBlocks(source);
        QCOMPARE(toQt(list.entries(source)), expected);
        QCOMPARE(toQt(vornex::literal::ScanBlocks(source)), expected);
        // The editor hands the scanner UTF-8 bytes; the entries are those of the UTF-16 text.
        QCOMPARE(scanUtf16(expand(text)), expected);
        QCOMPARE(list.size(), std::size_t(expected.size()));
        // A single block may be named like the misaligned entry; only the flag tells them apart.
        const QStringList misaligned{QString::fromLatin1(vornex::kMisalignedEntry)};
        QCOMPARE(list.misaligned(), expected == misaligned && !text.contains(u"misalligned{"_s));
    }

    // Long texts, past the 32,766 bytes a 16-bit count holds, and the fuzzing corpus, in an order
    // that makes the reused list grow and shrink.
    void againstLiteral_data()
    {
        QTest::addColumn<QByteArray>("text");

        auto add = [](const char *name, const std::string &s) {
            QTest::newRow(name) << QByteArray::fromStdString(s);
        };
        add("blocks, exactly 32,766", blocksOfLength(32766));
        add("blocks, 32,767", blocksOfLength(32767));
        add("blocks, 32,768", blocksOfLength(32768));
        add("blocks, 100,000", blocksOfLength(100000));
        add("one block spanning 32,766", std::string("{").append(32764, 'x').append("}"));
        add("one block spanning 70,000", std::string("n{").append(69997, ' ').append("}"));
        add("one name of 40,000 LF lines", repeated("n\n", 20000) + "{}");
        add("name walk across 40,000 blanks and breaks",
            std::string("}name").append(repeated(" \r\n\n", 10000)).append("{"));
        add("quoted braces past 32,767",
            std::string(32000, 'a') + "\"" + repeated("{", 100) + "\" b {\r\n}");
        add("unmatched quote past 32,767", blocksOfLength(40000) + "\"{");
        add("nesting 300 deep past 32,767",
            std::string(32766, ' ') + repeated("{", 300) + repeated("}", 300));

        const QDir corpus(QStringLiteral(VORNEX_SOURCE_DIR "/fuzz/corpus"));
        const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
        QVERIFY2(names.size() >= 20, qPrintable(corpus.path()));
        for (const QString &name : names) {
            QFile file(corpus.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QTest::newRow(qPrintable(u"corpus "_s + name)) << file.readAll();
        }
    }

    void againstLiteral()
    {
        QFETCH(QByteArray, text);
        const std::string_view source(text.constData(), static_cast<std::size_t>(text.size()));
        const QStringList want = toQt(vornex::literal::ScanBlocks(source));
        QCOMPARE(toQt(vornex::ScanBlocks(source).entries(source)), want);
        // One list scanned again and again, as the editor does on every keystroke, whether the
        // text grows, shrinks or stops balancing.
        static BlockList reused;
        vornex::ScanBlocks(source, reused);
        QCOMPARE(toQt(reused.entries(source)), want);
    }

    // Too deep for the literal scan, which walks back to the start from every brace; brace i is
    // named by the i - 1 braces before it.
    void deepNesting()
    {
        for (const std::size_t depth : {std::size_t(16383), std::size_t(50000)}) {
            const std::string text = std::string(depth, '{') + std::string(depth, '}');
            const BlockList list = vornex::ScanBlocks(text);
            QVERIFY(!list.misaligned());
            QCOMPARE(list.size(), depth);
            for (std::size_t i = 0; i < depth; ++i) {
                if (list.entry(i, text) != std::string_view(text).substr(0, i))
                    QFAIL(qPrintable(u"depth %1: entry %2 wrong"_s.arg(depth).arg(i)));
            }
        }
    }

    void mStringMid_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("startx");
        QTest::addColumn<int>("stopx");
        QTest::addColumn<QString>("result");

        QTest::newRow("middle") << u"abcdef"_s << 2 << 5 << u"bcd"_s;
        QTest::newRow("whole") << u"abcdef"_s << 1 << 7 << u"abcdef"_s;
        QTest::newRow("Startx 0 copies from the start") << u"abcdef"_s << 0 << 3 << u"ab"_s;
        QTest::newRow("negative Startx") << u"abcdef"_s << -32768 << 4 << u"abc"_s;
        QTest::newRow("Stopx past the end") << u"abcdef"_s << 4 << 32767 << u"def"_s;
        QTest::newRow("both outside") << u"abc"_s << -5 << 100 << u"abc"_s;
        QTest::newRow("Startx equal to Stopx") << u"abcdef"_s << 3 << 3 << u""_s;
        QTest::newRow("Startx above Stopx") << u"abcdef"_s << 5 << 2 << u""_s;
        QTest::newRow("both below 1") << u"abcdef"_s << -3 << 1 << u""_s;
        QTest::newRow("Startx past the end") << u"abc"_s << 4 << 10 << u""_s;
        QTest::newRow("empty source") << u""_s << 1 << 5 << u""_s;
        QTest::newRow("CR and LF dropped") << u"a⏎b↵c\rd"_s << 1 << 9 << u"abcd"_s;
        QTest::newRow("only breaks") << u"⏎⏎↵"_s << 1 << 6 << u""_s;
        QTest::newRow("tabs, quotes, braces, blanks kept")
            << u"⇥＂{␣}＂⇥"_s << 1 << 8 << u"⇥＂{␣}＂⇥"_s;
        QTest::newRow("stop before a break") << u"ab⏎cd"_s << 2 << 4 << u"b"_s;
    }

    void mStringMid()
    {
        QFETCH(QString, source);
        QFETCH(int, startx);
        QFETCH(int, stopx);
        QFETCH(QString, result);
        const std::string text = expand(source).toStdString();
        QCOMPARE(QString::fromStdString(vornex::mStringMid(text, startx, stopx)), expand(result));
        QCOMPARE(QString::fromStdString(vornex::literal::mStringMid(text, startx, stopx)),
                 expand(result));
    }

    // Many short texts and some of a few thousand bytes, across the scanner's chunk edges, each
    // scanned afresh and into one reused list and held against the literal scan. Set
    // VORNEX_OUTLINE_SEED to replay another run.
    void randomTexts()
    {
        std::uint64_t seed = 20240601;
        if (const QByteArray env = qgetenv("VORNEX_OUTLINE_SEED"); !env.isEmpty())
            seed = env.toULongLong();
        BlockList reused;
        for (std::uint64_t i = 0; i < 24000; ++i) {
            std::mt19937_64 rng(seed + i);
            const std::size_t length = i % 100 == 99 ? 300 + rng() % 4000 : rng() % 301;
            const std::string text = randomText(rng, length);
            const std::vector<std::string> want = vornex::literal::ScanBlocks(text);
            vornex::ScanBlocks(text, reused);
            if (vornex::ScanBlocks(text).entries(text) != want || reused.entries(text) != want)
                QFAIL(qPrintable(u"differs from the literal scan for seed %1"_s.arg(seed + i)));
        }
    }

    void randomUtf8MatchesUtf16()
    {
        const QStringList pieces = {u"{"_s,  u"}"_s, u"\""_s, u"\r\n"_s, u"\r"_s, u"\n"_s, u" "_s,
                                    u"\t"_s, u"ж"_s, u"Ё"_s,  u"主"_s,   u"😀"_s,  u"ä"_s,  u"a"_s};
        std::mt19937_64 rng(77);
        for (int i = 0; i < 3000; ++i) {
            QString text;
            const auto length = qsizetype(rng() % 200);
            while (text.size() < length)
                text += pieces[qsizetype(rng() % std::uint64_t(pieces.size()))];
            const std::string narrow = text.toStdString();
            if (toQt(vornex::ScanBlocks(narrow).entries(narrow)) != scanUtf16(text))
                QFAIL(qPrintable(u"case %1 differs: "_s.arg(i) + text.toHtmlEscaped()));
        }
    }
};

QTEST_GUILESS_MAIN(TestOutline)
#include "tst_outline.moc"
