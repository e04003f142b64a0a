#include "outline/editedtext.h"
#include "outline/literalscan.h"
#include "scanblocks.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdint>
#include <iterator>
#include <random>

using namespace Qt::StringLiterals;
using vornex::BlockList;
using vornex::Outline;
using vornex::test::EditedText;

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

QStringList toQt(const std::vector<std::string> &entries)
{
    QStringList result;
    for (const std::string &entry : entries)
        result.append(QString::fromStdString(entry));
    return result;
}

// The pieces random texts and edits are made of: what the scanner tests, and characters of one to
// four bytes.
const std::string_view kPieces[] = {"{",  "}", "\"", "\r\n", "\r", "\n", " ",
                                    "\t", "a", "bc", "ж",    "主", "😀"};

QByteArrayList corpus()
{
    QByteArrayList texts;
    const QDir folder(QStringLiteral(VORNEX_SOURCE_DIR "/fuzz/corpus"));
    for (const QString &name : folder.entryList(QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            texts << file.readAll();
    }
    return texts;
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
            const QString list = expand(QString::fromUtf16(entries));
            QTest::newRow(name) << expand(QString::fromUtf16(text))
                                << (list == u"!"
                                        ? QStringList{QString::fromLatin1(vornex::kMisalignedEntry)}
                                        : list.split(u'|'));
        };
        row("empty text", u"", u"!");
        row("one block", u"main␣{⏎␣␣mov␣a,␣b⏎}", u"main␣");
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
        row("only breaks and braces before the first", u"⏎{⏎{␣↵}}", u"|{");
        row("adjacent quotes cancel", u"a␣＂＂{␣}", u"a␣＂＂");
        row("quote state spans lines", u"s␣＂⏎}⏎＂␣{⏎}", u"＂␣");
        row("single quote is ordinary", u"c␣'{'␣{}}", u"c␣'|c␣'{'␣");
        row("lone CR stops the walk", u"a\rb␣{\r}", u"b␣");
        row("name named like the misaligned entry", u"code␣blocks␣misalligned{}",
            u"code␣blocks␣misalligned");
        row("brace on a chunk edge", u"abcdefghijklmno{⏎}abcdefghijklm{}",
            u"abcdefghijklmno|}abcdefghijklm");
        row("CR LF split by a chunk edge", u"abcdefghijklmno⏎name␣{⏎}", u"name␣");
        row("Cyrillic names", u"главная␣{⏎␣␣mov␣а,␣б⏎}⏎цикл⇥{⏎}", u"главная␣|цикл⇥");
        row("quoted non-ASCII with brace", u"строка␣{⏎␣␣db␣＂ё{ж＂⏎}", u"строка␣|␣␣db␣＂ё");
    }

    // The scanner and the literal scan give the table's entries; the editor hands the scanner
    // UTF-8 bytes, and the entries are those of the UTF-16 text.
    void scanner()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        const std::string source = text.toStdString();
        const BlockList list = vornex::ScanBlocks(source);
        QCOMPARE(toQt(list.entries(source)), entries);
        QCOMPARE(toQt(vornex::literal::ScanBlocks(source)), entries);
        QStringList utf16; // the literal scan of the UTF-16 text, character by character
        for (const std::u16string &entry : vornex::literal::ScanBlocksOf(std::u16string_view(
                 reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size()))))
            utf16 << QString::fromStdU16String(entry);
        QCOMPARE(utf16, entries);
        // A single block may be named like the misaligned entry; only the flag tells them apart.
        const QStringList misaligned{QString::fromLatin1(vornex::kMisalignedEntry)};
        QCOMPARE(list.misaligned(), entries == misaligned && !text.contains(u"misalligned{"_s));

        // The outline of the text typed out of order into chunks of three bytes, then hidden
        // whole by a quote before it and shown again.
        EditedText edited(3);
        const std::string_view half = std::string_view(source).substr(source.size() / 2);
        for (const auto &[at, removed, inserted] :
             {std::tuple(0, 0, half),
              {0, 0, std::string_view(source).substr(0, source.size() / 2)},
              {0, 0, "\""},
              {0, 1, ""}}) {
            edited.replace(std::size_t(at), std::size_t(removed), inserted);
            QCOMPARE(edited.check(), std::string());
        }
    }

    // Too deep for the literal scan: brace i is named by the i braces before it. A sample of
    // entries keeps the check linear in the depth.
    void deepNesting()
    {
        const std::size_t depth = 50000;
        const std::string text = std::string(depth, '{') + std::string(depth, '}');
        const BlockList list = vornex::ScanBlocks(text);
        QVERIFY(!list.misaligned());
        QCOMPARE(list.size(), depth);
        for (std::size_t i = 0; i < depth; i += i < 40 ? 1 : 4999)
            QCOMPARE(list.entry(i, text).size(), i);
        QCOMPARE(list.entry(depth - 1, text), std::string(depth - 1, '{'));
    }

    // Texts past the 32,767 bytes a 16-bit count holds, the fuzzing corpus, then random texts of
    // short and multi-chunk lengths, many with non-ASCII characters: each held against the
    // literal scan, scanned afresh and into one reused list that grows and shrinks, as on every
    // keystroke. VORNEX_OUTLINE_SEED replays another run of random texts.
    void againstLiteral()
    {
        BlockList reused;
        const auto check = [&](const std::string &text, const QString &what) {
            const std::vector<std::string> want = vornex::literal::ScanBlocks(text);
            vornex::ScanBlocks(text, reused);
            if (vornex::ScanBlocks(text).entries(text) != want || reused.entries(text) != want)
                QFAIL(qPrintable(u"differs from the literal scan: "_s + what));
        };
        check(QByteArray("proc {\r\n  mov a, \"}\"\r\n}\r\n").repeated(1500).toStdString(),
              u"blocks past 32,767"_s);
        check(std::string("n{").append(69997, ' ').append("}"), u"one block of 70,000"_s);
        check("}name" + QByteArray(" \r\n\n").repeated(10000).toStdString() + "{", u"far walk"_s);
        check(std::string(32000, 'a') + "\"" + std::string(100, '{') + "\" b {\r\n}", u"quotes"_s);
        const QByteArrayList texts = corpus();
        QVERIFY(texts.size() >= 20);
        for (const QByteArray &text : texts)
            check(text.toStdString(), QString::fromUtf8(text.left(40)));

        const int replay = qEnvironmentVariableIntValue("VORNEX_OUTLINE_SEED");
        const std::uint64_t seed = replay ? std::uint64_t(replay) : 20240601;
        for (std::uint64_t i = 0; i < 12000; ++i) {
            std::mt19937_64 rng(seed + i);
            // Each text draws from a few pieces of its own, so that some hold no CR and the name
            // walks run far back.
            const std::size_t kinds = 3 + rng() % 6, length = i % 100 == 99 ? 4000 : rng() % 300;
            std::vector<std::string_view> alphabet{"{", "}"};
            while (alphabet.size() < kinds)
                alphabet.push_back(kPieces[rng() % std::size(kPieces)]);
            std::string text;
            while (text.size() < length)
                text += alphabet[rng() % kinds];
            check(text, u"seed %1"_s.arg(seed + i));
        }
    }

    // The outline after edits at random places, against a fresh scan: insertions and deletions
    // of what the scanner tests and pastes from the fuzzing corpus, in chunks of one to 64 bytes
    // and of the default size; some edits come a few at a time before the outline follows.
    // VORNEX_OUTLINE_SEED replays another run.
    void outlineFollowsEdits()
    {
        const QByteArrayList pastes = corpus();
        const int replay = qEnvironmentVariableIntValue("VORNEX_OUTLINE_SEED");
        const std::uint64_t seed = replay ? std::uint64_t(replay) : 20240601;
        for (std::uint64_t i = 0; i < 200; ++i) {
            std::mt19937_64 rng(seed + i);
            EditedText edited(i % 40 == 39 ? Outline::kChunkBytes : 1 + rng() % 64);
            for (int step = 0; step < 40; ++step) {
                const std::size_t at = rng() % (edited.text().size() + 1);
                const std::size_t removed =
                    std::min(edited.text().size() - at, rng() % 4 ? rng() % 3 : rng() % 64);
                std::string inserted =
                    rng() % 12 ? std::string() : pastes[int(rng() % pastes.size())].toStdString();
                for (std::size_t n = inserted.empty() ? rng() % 4 : 0; n > 0; --n)
                    inserted += kPieces[rng() % 9];
                edited.replace(at, removed, inserted);
                const std::string differs = rng() % 3 ? edited.check() : std::string();
                if (!differs.empty())
                    QFAIL(qPrintable(u"seed %1, step %2: "_s.arg(seed + i).arg(step) +
                                     QString::fromStdString(differs)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestOutline)
#include "tst_outline.moc"
