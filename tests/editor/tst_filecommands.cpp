// The File menu's New, Open, Save and Save As against a real main window and a scripted file
// dialog: what reaches the disk, SourcePath, the caption, and what a failure leaves behind.

#include "fakes/fakeplatform.h"

#include <QComboBox>
#include <QWindow>

#include <unistd.h>

using namespace vornex;
using namespace Qt::StringLiterals;
using FileMap = QMap<QString, QByteArray>;

class TestFileCommands : public QObject
{
    Q_OBJECT

    static inline const QString kPreset = u"*.vornex"_s;
    QString path(const QString &name) const { return m_ide->path(name); }
    QString caption() { return form().windowHandle()->title(); }
    Form1 &form() { return m_ide->window; }
    void choose(void (Form1::*command)(), const QString &answer)
    {
        m_ide->fakes.dialogAnswers.enqueue(answer == kPreset ? answer : path(answer));
        (form().*command)();
    }
    void type(const QString &text) { QTest::keyClicks(form().editor(), text); }
    // The names in the folder, hidden ones included: a leftover temporary file shows up.
    QStringList entries()
    {
        return vornex::test::shell(m_ide->folder.path(), u"LC_ALL=C ls -A"_s)
            .split(u'\n', Qt::SkipEmptyParts);
    }

    std::optional<fakes::Ide> m_ide;

private slots:
    void init() { m_ide.emplace(); }

    // Steps: "type TEXT", "open NAME", "saveas NAME", with NAME "cancel" for a dialog closed with
    // its preset, or a key for the editor, the menu's among them ("Ctrl+S" saves). %1 in the title
    // is AppDir. The folder ends up holding exactly the files in "after".
    void sequences_data()
    {
        QTest::addColumn<FileMap>("before");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("sourcePath");
        QTest::addColumn<QString>("title");
        QTest::addColumn<FileMap>("after");

        const FileMap a{{u"a.vornex"_s, "one {\r\n}\r\n"}};
        const QString untitled = u"VORNEX IDE - %1/Untitled.vornex"_s;
        QTest::newRow("Enter gives CR LF at the start, a cancelled open changes nothing")
            << a << u"type typed, Return, open cancel, Ctrl+S"_s << u"Untitled.vornex"_s << untitled
            << FileMap{{u"a.vornex"_s, "one {\r\n}\r\n"}, {u"Untitled.vornex"_s, "typed\r\n"}};
        QTest::newRow("cancelled save as changes nothing, save writes back after open")
            << a << u"open a.vornex, type X, saveas cancel, Ctrl+S"_s << u"a.vornex"_s
            << u"KELD IDE - %1/a.vornex"_s << FileMap{{u"a.vornex"_s, "Xone {\r\n}\r\n"}};
        QTest::newRow("new then save replaces an untitled file")
            << FileMap{{u"Untitled.vornex"_s, "old text\r\n"}} << u"type text, Ctrl+N, Ctrl+S"_s
            << u"Untitled.vornex"_s << untitled << FileMap{{u"Untitled.vornex"_s, ""}};
        QTest::newRow("new keeps the caption, and Enter then inserts CR LF")
            << FileMap{{u"lf"_s, "x\n"}} << u"open lf, Ctrl+N, type a, Return, Ctrl+S"_s
            << u"Untitled.vornex"_s << u"KELD IDE - %1/lf"_s
            << FileMap{{u"lf"_s, "x\n"}, {u"Untitled.vornex"_s, "a\r\n"}};
        QTest::newRow("a name without extension is used as is")
            << FileMap{} << u"type x, saveas program"_s << u"program"_s
            << u"KELD IDE - %1/program"_s << FileMap{{u"program"_s, "x"}};
        QTest::newRow("undo after open does not bring back the text before")
            << a << u"type typed, open a.vornex, Ctrl+Z, Ctrl+Z, Ctrl+S"_s << u"a.vornex"_s
            << u"KELD IDE - %1/a.vornex"_s << a;

        // Open, Save and Save As hand back every byte as it was read; typing "ab", Enter, "cd" at
        // the end adds only that, with the first line break the file holds (CR LF when none).
        QByteArray large;
        while (large.size() < 1024 * 1024)
            large +=
                QByteArray("b {\r\n mov \xe9\xff\0\n}\r", 16) + QByteArray::number(large.size());
        const QList<std::tuple<const char *, QByteArray, QByteArray>> files{
            {"CR LF", "start {\r\n  mov a, b\r\n}\r\n", "\r\n"},
            {"LF", "start {\n  mov a, b\n}\n", "\n"},
            {"CR", "start {\r  mov a, b\r}\r", "\r"},
            {"mixed", "a\nb\r\nc\rd\n\re\r\r\n", "\n"},
            {"no final line break", "x\r\nlast {}", "\r\n"},
            {"empty", "", "\r\n"},
            {"UTF-8 with BOM", "\xef\xbb\xbf\xc3\xa4 {\r\n}\r\n", "\r\n"},
            {"Latin-1, cut UTF-8", "caf\xe9 \xff\xfe\n\xe2\x82", "\n"},
            {"NUL bytes", QByteArray("a\0b\r\n\0\0{\0}\r\n\0", 13), "\r\n"},
            {"rich-text markup", "{\\rtf1\\ansi\\f0 x}\r\n", "\r\n"},
            {"1 MiB", large, "\r\n"}};
        for (const auto &[name, bytes, eol] : files)
            QTest::addRow("round trip, %s", name)
                << FileMap{{u"in"_s, bytes}}
                << u"open in, Ctrl+S, saveas out, Ctrl+End, type ab, Return, type cd, Ctrl+S"_s
                << u"out"_s << u"KELD IDE - %1/out"_s
                << FileMap{{u"in"_s, bytes}, {u"out"_s, bytes + "ab" + eol + "cd"}};
    }

    void sequences()
    {
        QFETCH(FileMap, before);
        QFETCH(QString, steps);
        QFETCH(QString, sourcePath);
        QFETCH(QString, title);
        QFETCH(FileMap, after);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY(fakes::writeFile(path(it.key()), it.value()));

        for (const QString &step : steps.split(u", "_s)) {
            const QString verb = step.section(u' ', 0, 0);
            const QString arg = step.section(u' ', 1);
            if (verb == u"type")
                type(arg);
            else if (verb == u"open" || verb == u"saveas")
                choose(verb == u"open" ? &Form1::LoadS_Click : &Form1::SaveAss_Click,
                       arg == u"cancel" ? kPreset : arg);
            else
                QTest::keySequence(form().editor(), QKeySequence(step));
        }

        QCOMPARE(form().SourcePath, path(sourcePath));
        QCOMPARE(caption(), title.arg(m_ide->folder.path()));
        // The dialog is preset with the pattern every time, never with an earlier choice.
        QCOMPARE(m_ide->fakes.dialogPresets,
                 QStringList(steps.count(u"open "_s) + steps.count(u"saveas "_s), kPreset));
        QCOMPARE(entries(), after.keys());
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            QVERIFY2(fakes::readFile(path(it.key())) == it.value(), qPrintable(it.key()));
        QCOMPARE(m_ide->fakes.messages.size(), 0);
    }

    // A failure is reported with the file and a reason and changes nothing: not the text, the
    // block list, SourcePath, the caption, nor the folder. What the editor cannot show within
    // about a second is refused at open, naming the limit.
    void failures_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("save, a folder") << u"save"_s << u"folder"_s << u"folder"_s;
        QTest::newRow("save as, parent missing")
            << u"save as"_s << u"missing/x"_s << u"No such file"_s;
        QTest::newRow("save as, a name whose bytes the dialog could not pass on")
            << u"save as"_s << u"caf\uFFFD.vornex"_s << u"not UTF-8"_s;
        // Save writes the file opened, not the one a link of another user now leads to.
        QTest::newRow("save, a link of another user in place of the file opened")
            << u"save"_s << u"current"_s << u"12345"_s;
        QTest::newRow("open, a folder") << u"open"_s << u"folder"_s << u"folder"_s;
        QTest::newRow("open, a long line")
            << u"open"_s << u"long line"_s
            << u"line 2 is 245,001 bytes long, longer than 245,000 bytes"_s;
        QTest::newRow("open, long lines on a screen")
            << u"open"_s << u"long lines on a screen"_s
            << u"lines 99,996 to 100,145 hold 246,500 bytes, more than 245,000 bytes"_s;
        QTest::newRow("open, over 16 MiB")
            << u"open"_s << u"16 MiB"_s
            << u"larger than 16 MiB (16,777,216 bytes), the largest file the editor opens"_s;
    }

    void failures()
    {
        QFETCH(QString, command);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QCOMPARE(vornex::test::shell(m_ide->folder.path(),
                                     u"mkdir folder; truncate -s 16777217 '16 MiB'"_s),
                 QString());
        QVERIFY(fakes::writeFile(
            path(u"current"_s), "main {\r\n}\r\n" + (QByteArray(1000, 'x') + "\r\n").repeated(70)));
        QVERIFY(fakes::writeFile(path(u"long line"_s), "a\r\n" + QByteArray(245001, 'x') + "\r\n"));
        QVERIFY(fakes::writeFile(path(u"long lines on a screen"_s),
                                 QByteArray(100000, '\n') +
                                     (QByteArray(1700, 'x') + "\r\n").repeated(150)));
        choose(&Form1::LoadS_Click, u"current"_s);
        type(u"unsaved "_s);
        if (target == u"current") {
            if (::geteuid() != 0)
                VORNEX_SKIP("only root may give a link away");
            QCOMPARE(vornex::test::shell(m_ide->folder.path(), u"mv current opened; : >other; "
                                                               "ln -s other current; chown -h "
                                                               "12345 current"_s),
                     QString());
        }
        const QString file = path(target);
        if (command == u"save")
            form().SourcePath = file;
        const auto state = [&] {
            return QStringList{QString::number(qHash(m_ide->bytes())),
                               QString::number(form().blockList()->count()), form().SourcePath,
                               caption(), entries().join(u'|')};
        };
        const QStringList before = state();

        if (command == u"save")
            QVERIFY(!form().Saves_Click());
        else
            choose(command == u"open" ? &Form1::LoadS_Click : &Form1::SaveAss_Click, file);

        const QString head =
            u"Project1|Cannot %1 \"%2\":\n"_s.arg(command == u"open" ? u"open"_s : u"save"_s, file);
        QCOMPARE(m_ide->fakes.messages.size(), 1);
        const QString &text = m_ide->fakes.messages[0];
        QVERIFY2(text.startsWith(head) && text.mid(head.size()).contains(reason), qPrintable(text));
        QCOMPARE(state(), before);
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
