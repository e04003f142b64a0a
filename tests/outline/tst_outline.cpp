#include "outline/literalscan.h"
#include "outline/scanblocks.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

using namespace Qt::StringLiterals;
using vornex::BlockList;
using vornex::kMisalignedEntry;

namespace {

// Texts in the tables are written with visible stand-ins: ⏎ is CR LF, ↵ a lone LF, ␣ a space,
// ⇥ a tab and ＂ a double quote. Everything else stands for itself, in UTF-8.
QString expandNotation(QString text)
{
    text.replace(u'⏎', u"\r\n"_s);
    text.replace(u'↵', u'\n');
    text.replace(u'␣', u' ');
    text.replace(u'⇥', u'\t');
    text.replace(u'＂', u'"');
    return text;
}

std::string bytes(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return {utf8.constData(), static_cast<std::size_t>(utf8.size())};
}

QStringList toQt(const std::vector<std::string> &entries)
{
    QStringList result;
    for (const std::string &e : entries)
        result.append(QString::fromUtf8(e.data(), static_cast<qsizetype>(e.size())));
    return result;
}

// A text as a C string literal, so that a failing random case can be pasted back in.
QByteArray escaped(std::string_view text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f)
                out += "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16) + "\"\"";
            else
                out += c;
        }
    }
    return out + '"';
}

// The entries of every scan checked against the literal scan, with the list's own view of them.
bool sameAsLiteral(std::string_view text, const BlockList &list, QByteArray *why)
{
    const std::vector<std::string> want = vornex::literal::ScanBlocks(text);
    std::vector<std::string> got;
    for (std::size_t i = 0; i < list.size(); ++i)
        got.emplace_back(list.entry(i, text));
    if (got == want && list.entries(text) == want)
        return true;
    *why = "text " + escaped(text.substr(0, 400)) + (text.size() > 400 ? "..." : "") + " of " +
           QByteArray::number(qulonglong(text.size())) + " bytes: scanner " +
           toQt(got).join(u'|').toUtf8().left(400) + " / literal " +
           toQt(want).join(u'|').toUtf8().left(400);
    return false;
}

std::string repeated(std::string_view piece, std::size_t times)
{
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

// A source of many small blocks, exactly length bytes long, whose braces balance.
std::string blocksOfLength(std::size_t length)
{
    std::string s;
    for (int i = 0; s.size() + 40 < length; ++i)
        s += "proc" + std::to_string(i) + " {\r\n  mov a, \"}\"\r\n  inc x\r\n}\r\n";
    s += "last {";
    s += std::string(length - s.size() - 1, ' ');
    s += '}';
    return s;
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
    s.reserve(length);
    while (s.size() < length) {
        if (rng() % 8 == 0)
            s += "\r\n";
        else
            s += alphabet[rng() % alphabet.size()];
    }
    s.resize(length);
    return s;
}

std::u16string utf16(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()),
            static_cast<std::size_t>(text.size())};
}

} // namespace

class TestOutline : public QObject
{
    Q_OBJECT

private slots:
    void scanner_data();
    void scanner();
    void scansOfLongTexts_data();
    void scansOfLongTexts();
    void deepNestingBeyondRange();
    void mStringMid_data();
    void mStringMid();
    void randomTextsMatchLiteralScan();
    void utf8ScanMatchesUtf16Scan_data();
    void utf8ScanMatchesUtf16Scan();
    void randomUtf8MatchesUtf16Scan();
    void reusedListMatchesFreshScan();
    void seedCorpus_data();
    void seedCorpus();
};

void TestOutline::scanner_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");

    const QStringList misaligned{QString::fromLatin1(kMisalignedEntry)};
    QTest::newRow("empty text") << u""_s << misaligned;
    QTest::newRow("no braces") << u"no␣braces"_s << misaligned;
    QTest::newRow("one block") << u"main␣{⏎␣␣mov␣a,␣b⏎}"_s << QStringList{u"main␣"_s};
    QTest::newRow("two blocks") << u"main␣{⏎}⏎loop␣{⏎␣␣inc␣x⏎}"_s
                                << QStringList{u"main␣"_s, u"loop␣"_s};
    QTest::newRow("nested blocks keep indentation")
        << u"outer␣{⏎␣␣inner␣{⏎␣␣}⏎}"_s << QStringList{u"outer␣"_s, u"␣␣inner␣"_s};
    QTest::newRow("name on the line above") << u"data⏎{⏎}"_s << QStringList{u"data"_s};
    QTest::newRow("empty block, empty name") << u"{}"_s << QStringList{u""_s};
    QTest::newRow("close brace starts the next name") << u"a{}{}"_s << QStringList{u"a"_s, u"}"_s};
    QTest::newRow("else between braces") << u"}␣else␣{"_s << QStringList{u"}␣else␣"_s};
    QTest::newRow("close before open balances") << u"}a{"_s << QStringList{u"}a"_s};
    QTest::newRow("blank lines between name and brace")
        << u"x{⏎⏎␣␣}⏎⏎␣␣{⏎}"_s << QStringList{u"x"_s, u"}␣␣"_s};
    QTest::newRow("quoted brace gets an entry")
        << u"code␣{⏎␣␣db␣＂{＂⏎}"_s << QStringList{u"code␣"_s, u"␣␣db␣＂"_s};
    QTest::newRow("both braces quoted") << u"a␣＂{␣}＂"_s << misaligned;
    QTest::newRow("unmatched quote hides the rest") << u"p␣＂x␣{⏎}"_s << misaligned;
    QTest::newRow("more closing than opening") << u"a␣{␣}␣}"_s << misaligned;
    QTest::newRow("lone LF does not stop the walk")
        << u"a{↵b{↵}↵}"_s << QStringList{u"a"_s, u"a{b"_s};
    QTest::newRow("tabs are part of the name") << u"⇥name⇥{⏎}"_s << QStringList{u"⇥name⇥"_s};
    QTest::newRow("double open brace") << u"a{{}}"_s << QStringList{u"a"_s, u"a{"_s};

    QTest::newRow("duplicate names stay")
        << u"main␣{⏎}⏎main␣{⏎}⏎main␣{⏎}"_s << QStringList{u"main␣"_s, u"main␣"_s, u"main␣"_s};
    QTest::newRow("blank-only name") << u"␣␣␣{}"_s << QStringList{u"␣␣␣"_s};
    QTest::newRow("only breaks and braces before the first")
        << u"⏎{⏎{␣↵}}"_s << QStringList{u""_s, u"{"_s};
    QTest::newRow("adjacent quotes cancel") << u"a␣＂＂{␣}"_s << QStringList{u"a␣＂＂"_s};
    QTest::newRow("quote state spans lines") << u"s␣＂⏎}⏎＂␣{⏎}"_s << QStringList{u"＂␣"_s};
    QTest::newRow("single quote is ordinary")
        << u"c␣'{'␣{}}"_s << QStringList{u"c␣'"_s, u"c␣'{'␣"_s};
    QTest::newRow("lone CR stops the walk") << u"a\rb␣{\r}"_s << QStringList{u"b␣"_s};
    QTest::newRow("only open braces") << u"{{{"_s << misaligned;
    QTest::newRow("only close braces") << u"}}"_s << misaligned;
    QTest::newRow("name named like the misaligned entry")
        << u"code␣blocks␣misalligned{}"_s << QStringList{u"code␣blocks␣misalligned"_s};
    QTest::newRow("brace on a chunk edge")
        << u"abcdefghijklmno{⏎}abcdefghijklm{}"_s
        << QStringList{u"abcdefghijklmno"_s, u"}abcdefghijklm"_s};
    QTest::newRow("CR LF split by a chunk edge")
        << u"abcdefghijklmno⏎name␣{⏎}"_s << QStringList{u"name␣"_s};
}

void TestOutline::scanner()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    const std::string source = bytes(expandNotation(text));
    QStringList expected;
    for (const QString &e : entries)
        expected.append(expandNotation(e));

    const BlockList list = vornex::ScanBlocks(source);
    QCOMPARE(toQt(list.entries(source)), expected);
    QCOMPARE(toQt(vornex::literal::ScanBlocks(source)), expected);
    // A single block may be named like the misaligned entry; only the flag tells them apart.
    const bool balanced = expected != QStringList{QString::fromLatin1(kMisalignedEntry)} ||
                          source.find("misalligned{") != std::string::npos;
    QCOMPARE(list.misaligned(), !balanced);
    QCOMPARE(list.size(), static_cast<std::size_t>(expected.size()));
}

void TestOutline::scansOfLongTexts_data()
{
    QTest::addColumn<QByteArray>("text");

    auto add = [](const char *name, const std::string &s) {
        QTest::newRow(name) << QByteArray(s.data(), static_cast<qsizetype>(s.size()));
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
}

void TestOutline::scansOfLongTexts()
{
    QFETCH(QByteArray, text);
    const std::string_view source(text.constData(), static_cast<std::size_t>(text.size()));
    QByteArray why;
    QVERIFY2(sameAsLiteral(source, vornex::ScanBlocks(source), &why), why.constData());
}

// The literal scan walks back to the start of the text from every brace here, too slow to run
// at this size; the entries follow directly: brace i is named by the i - 1 braces before it.
void TestOutline::deepNestingBeyondRange()
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

void TestOutline::mStringMid_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("startx");
    QTest::addColumn<int>("stopx");
    QTest::addColumn<QString>("result");

    QTest::newRow("middle") << u"abcdef"_s << 2 << 5 << u"bcd"_s;
    QTest::newRow("whole") << u"abcdef"_s << 1 << 7 << u"abcdef"_s;
    QTest::newRow("Startx 0 copies from the start") << u"abcdef"_s << 0 << 3 << u"ab"_s;
    QTest::newRow("negative Startx copies from the start")
        << u"abcdef"_s << -32768 << 4 << u"abc"_s;
    QTest::newRow("Stopx past the end copies to the end") << u"abcdef"_s << 4 << 32767 << u"def"_s;
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

void TestOutline::mStringMid()
{
    QFETCH(QString, source);
    QFETCH(int, startx);
    QFETCH(int, stopx);
    QFETCH(QString, result);
    const std::string text = bytes(expandNotation(source));
    const QString expected = expandNotation(result);

    QCOMPARE(QString::fromStdString(vornex::mStringMid(text, startx, stopx)), expected);
    QCOMPARE(QString::fromStdString(vornex::literal::mStringMid(text, startx, stopx)), expected);
}

// Many short texts and some longer ones over the characters the scanner tests, each held
// against the literal scan. Set VORNEX_OUTLINE_SEED to replay another run.
void TestOutline::randomTextsMatchLiteralScan()
{
    std::uint64_t seed = 20240601;
    if (const QByteArray env = qgetenv("VORNEX_OUTLINE_SEED"); !env.isEmpty())
        seed = env.toULongLong();
    qInfo("seed %llu", static_cast<unsigned long long>(seed));

    BlockList reused;
    for (int i = 0; i < 24000; ++i) {
        std::mt19937_64 rng(seed + static_cast<std::uint64_t>(i));
        const std::size_t length = i % 100 == 99 ? 300 + rng() % 4000 : rng() % 301;
        const std::string text = randomText(rng, length);
        QByteArray why;
        if (!sameAsLiteral(text, vornex::ScanBlocks(text), &why))
            QFAIL(
                qPrintable(u"case %1 (seed %2): "_s.arg(i).arg(seed + i) + QString::fromUtf8(why)));
        vornex::ScanBlocks(text, reused);
        if (!sameAsLiteral(text, reused, &why))
            QFAIL(qPrintable(u"case %1 (seed %2), reused list: "_s.arg(i).arg(seed + i) +
                             QString::fromUtf8(why)));
    }
}

void TestOutline::utf8ScanMatchesUtf16Scan_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("Cyrillic names")
        << u"главная␣{⏎␣␣mov␣а,␣б⏎}⏎цикл⇥{⏎}"_s << QStringList{u"главная␣"_s, u"цикл⇥"_s};
    QTest::newRow("Cyrillic name on the line above") << u"данные⏎{⏎}"_s << QStringList{u"данные"_s};
    QTest::newRow("CJK and emoji") << u"主程序␣{⏎}⏎😀␣{␣}"_s << QStringList{u"主程序␣"_s, u"😀␣"_s};
    QTest::newRow("quoted non-ASCII with brace")
        << u"строка␣{⏎␣␣db␣＂ё{ж＂⏎}"_s << QStringList{u"строка␣"_s, u"␣␣db␣＂ё"_s};
    QTest::newRow("non-ASCII across chunk edges")
        << u"ääääääää{}ööööööö{}"_s << QStringList{u"ääääääää"_s, u"}ööööööö"_s};
}

// The editor hands the scanner its UTF-8 bytes; the entries must be those of a scan of the
// UTF-16 text character by character.
void TestOutline::utf8ScanMatchesUtf16Scan()
{
    QFETCH(QString, text);
    QFETCH(QStringList, entries);
    const QString source = expandNotation(text);
    QStringList expected;
    for (const QString &e : entries)
        expected.append(expandNotation(e));

    QStringList wide;
    for (const std::u16string &e :
         vornex::literal::ScanBlocksOf(std::u16string_view(utf16(source))))
        wide.append(QString::fromStdU16String(e));
    QCOMPARE(wide, expected);
    const std::string narrow = bytes(source);
    QCOMPARE(toQt(vornex::ScanBlocks(narrow).entries(narrow)), expected);
}

void TestOutline::randomUtf8MatchesUtf16Scan()
{
    const QStringList pieces = {u"{"_s,  u"}"_s, u"\""_s, u"\r\n"_s, u"\r"_s, u"\n"_s, u" "_s,
                                u"\t"_s, u"ж"_s, u"Ё"_s,  u"主"_s,   u"😀"_s,  u"ä"_s,  u"a"_s};
    std::mt19937_64 rng(77);
    for (int i = 0; i < 3000; ++i) {
        QString text;
        const qsizetype length = static_cast<qsizetype>(rng() % 200);
        while (text.size() < length)
            text +=
                pieces[static_cast<qsizetype>(rng() % static_cast<std::uint64_t>(pieces.size()))];
        QStringList wide;
        for (const std::u16string &e :
             vornex::literal::ScanBlocksOf(std::u16string_view(utf16(text))))
            wide.append(QString::fromStdU16String(e));
        const std::string textBytes = bytes(text);
        const QStringList narrow = toQt(vornex::ScanBlocks(textBytes).entries(textBytes));
        if (narrow != wide)
            QFAIL(qPrintable(u"case %1: "_s.arg(i) + QString::fromUtf8(escaped(bytes(text)))));
    }
}

// One list scanned again and again, as the editor does on every keystroke: each scan must
// equal a fresh one, whether the text grows, shrinks or stops balancing.
void TestOutline::reusedListMatchesFreshScan()
{
    const std::vector<std::string> texts = {
        blocksOfLength(2000),
        "a{}",
        "",
        blocksOfLength(32766),
        "no braces",
        "}x{",
        blocksOfLength(1 << 20),
        "{}",
        std::string(5000, '{') + std::string(5000, '}'),
        "main {\r\n}",
        blocksOfLength(300000),
        blocksOfLength(100),
        "p \"x {\r\n}",
        blocksOfLength(50000),
    };
    BlockList reused;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::string &text = texts[i];
        vornex::ScanBlocks(text, reused);
        const BlockList fresh = vornex::ScanBlocks(text);
        QCOMPARE(reused.misaligned(), fresh.misaligned());
        QCOMPARE(reused.size(), fresh.size());
        for (std::size_t e = 0; e < fresh.size(); ++e) {
            if (reused.entry(e, text) != fresh.entry(e, text))
                QFAIL(qPrintable(u"text %1, entry %2 differs"_s.arg(i).arg(e)));
        }
        if (text.size() <= 60000 && text.find("{{{") == std::string::npos) {
            QByteArray why;
            QVERIFY2(sameAsLiteral(text, reused, &why), why.constData());
        }
    }
}

void TestOutline::seedCorpus_data()
{
    QTest::addColumn<QString>("path");
    const QDir corpus(QStringLiteral(VORNEX_SOURCE_DIR "/fuzz/corpus"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY2(names.size() >= 20, qPrintable(corpus.path()));
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void TestOutline::seedCorpus()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const QByteArray text = file.readAll();
    const std::string_view source(text.constData(), static_cast<std::size_t>(text.size()));
    QByteArray why;
    QVERIFY2(sameAsLiteral(source, vornex::ScanBlocks(source), &why), why.constData());
}

QTEST_GUILESS_MAIN(TestOutline)
#include "tst_outline.moc"
