// The File menu's New, Open, Save and Save As against a real main window and a scripted file
// dialog: what reaches the disk, SourcePath, the caption, and what a failure leaves behind.

#include "fakes/fakeplatform.h"

#include <QComboBox>
#include <QProcess>
#include <QWindow>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    // What the commands print, run in the folder, with "<failed>" added where they fail.
    QString shell(const QString &commands)
    {
        QProcess sh;
        sh.setWorkingDirectory(m_ide->folder.path());
        sh.setProcessChannelMode(QProcess::MergedChannels);
        sh.start(u"sh"_s, {u"-ec"_s, commands});
        const bool ok =
            sh.waitForFinished() && sh.exitStatus() == QProcess::NormalExit && !sh.exitCode();
        return QString::fromLocal8Bit(sh.readAll()) + (ok ? QString() : u"<failed>"_s);
    }
    // What a file carries besides its text: mode, owner, group, link count, extended attributes.
    QString carried(const QString &name)
    {
        return shell(
            u"stat -c '%f %u:%g %h' %1; getfattr -dm- -ehex %1 | sed /^#/d | sort"_s.arg(name));
    }

    // The names in the folder, hidden ones included: a leftover temporary file shows up.
    QStringList entries() { return shell(u"LC_ALL=C ls -A"_s).split(u'\n', Qt::SkipEmptyParts); }

    std::optional<fakes::Ide> m_ide;

private slots:
    // A write past the file-size limit fails with EFBIG instead of ending the tests.
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }
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

    void keptOnSave_data()
    {
        QTest::addColumn<QString>("mode");  // of t, none for no file
        QTest::addColumn<QString>("setup"); // shell commands run in the folder first
        const QString chain = u"ln -s sub/m l; ln -s ../t sub/m"_s;
        QTest::newRow("existing 04755") << u"04755"_s << QString();
        QTest::newRow("new file") << QString() << QString();
        QTest::newRow("link") << u"0644"_s << u"ln -s t l"_s;
        QTest::newRow("chain through a folder") << u"0644"_s << chain;
        QTest::newRow("dangling link") << QString() << u"ln -s t l"_s;
        QTest::newRow("own link in a sticky folder of another user")
            << u"0644"_s << chain + u"; chmod 1777 sub; chown 23456 sub"_s;
        QTest::newRow("ACL with a mask and a named user")
            << u"0640"_s << u"setfacl -m u:12345:rw t"_s;
        QTest::newRow("ACL deny entry") << u"0644"_s << u"setfacl -m u:23456:- t"_s;
        QTest::newRow("default ACL of the folder, new file")
            << QString() << u"setfacl -d -m u:12345:rwx ."_s;
        QTest::newRow("default ACL of the folder, file without ACL")
            << u"0604"_s << u"setfacl -d -m u:12345:rwx ."_s;
        QTest::newRow("user, security and trusted attributes")
            << u"0644"_s
            << u"for n in user security trusted; do setfattr -n $n.v -v kept t; done"_s;
        QTest::newRow("two hard links") << u"0644"_s << u"ln t h"_s;
    }

    // A save through links writes the file at their end and leaves every link a link; a replaced
    // file keeps all it carries, its hard links too; a new one gets what any new file in the
    // folder gets (umask 077 here).
    void keptOnSave()
    {
        QFETCH(QString, mode);
        QFETCH(QString, setup);
        const bool root = ::geteuid() == 0;
        if (!root && (setup.contains(u"chown"_s) || setup.contains(u"trusted"_s)))
            QSKIP("only root may give a folder away or set trusted attributes");
        const QString file = u"printf 'old text that is longer' >t; %1chmod %2 t; "_s.arg(
            root ? u"chown 12345:23456 t; "_s : QString(), mode);
        // ref: a new file as any other.
        QCOMPARE(shell(u"mkdir sub; "_s + (mode.isEmpty() ? QString() : file) + setup +
                       u"\n(umask 077; : >ref)"_s),
                 QString());
        const QString before = carried(u"t"_s);
        const bool linked = QFileInfo(path(u"l"_s)).isSymLink();
        const QString saved = path(linked ? u"l"_s : u"t"_s);
        type(u"new {}"_s);
        const mode_t oldMask = ::umask(077);
        choose(&Form1::SaveAss_Click, saved);
        QTest::keySequence(form().editor(), QKeySequence(u"Ctrl+S"_s));
        ::umask(oldMask);

        QCOMPARE(m_ide->fakes.messages.size(), 0);
        QCOMPARE(form().SourcePath, saved);
        QCOMPARE(caption(), u"KELD IDE - "_s + saved);
        QCOMPARE(fakes::readFile(path(u"t"_s)), QByteArray("new {}"));
        QVERIFY(!QFile::exists(path(u"h"_s)) || fakes::readFile(path(u"h"_s)) == "new {}");
        QCOMPARE(QFileInfo(path(u"l"_s)).isSymLink(), linked);
        QCOMPARE(QFileInfo(path(u"sub/m"_s)).isSymLink(), setup.startsWith(u"ln -s sub"_s));
        QVERIFY(QFileInfo(path(u"t"_s)).isFile() && !QFileInfo(path(u"t"_s)).isSymLink());
        QCOMPARE(carried(u"t"_s), mode.isEmpty() ? carried(u"ref"_s) : before);
    }

    // A failure is reported with the file and a reason and changes nothing: not the text, the
    // block list, SourcePath, the caption, nor any file; no temporary file is left, not even by
    // a save killed amid its write.
    void failures_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        const QList<std::tuple<const char *, QString, QString>> saveTargets{
            {"a folder", u"folder"_s, u"folder"_s},
            {"parent missing", u"missing/x"_s, u"No such file"_s},
            {"parent is a file", u"plain/x"_s, u"Not a directory"_s},
            {"a /proc file", u"/proc/self/comm"_s, u"/proc"_s},
            {"name over 255 bytes", QString(256, u'n'), u"too long"_s},
            {"past the file-size limit", u"plain"_s, u"too large"_s},
            {"a link of another user in a sticky folder", u"sticky/l"_s, u"not followed"_s},
        };
        for (const char *command : {"save", "save as"}) {
            for (const auto &[name, target, reason] : saveTargets)
                QTest::newRow((std::string(command) + ", " + name).c_str())
                    << QString::fromLatin1(command) << target << reason;
        }
        QTest::newRow("save killed amid the write") << u"save killed"_s << u"plain"_s << QString();
        // What the editor cannot show within about a second is refused, naming the limit.
        for (const auto &[target, reason] :
             {std::pair(u"folder"_s, u"folder"_s),
              {u"fifo"_s, u"pipe"_s},
              {u"/dev/null"_s, u"device"_s},
              {u"long line"_s, u"line 2 is 245,001 bytes long, longer than 245,000 bytes"_s},
              {u"long lines on a screen"_s,
               u"lines 99,996 to 100,145 hold 246,500 bytes, more than 245,000 bytes"_s},
              {u"16 MiB"_s, u"16 MiB"_s}})
            QTest::addRow("open, %s", qPrintable(target)) << u"open"_s << target << reason;
    }

    void failures()
    {
        QFETCH(QString, command);
        QFETCH(QString, target);
        QFETCH(QString, reason);
        const bool planted = target.startsWith(u"sticky/"_s);
        if (planted && ::geteuid() != 0)
            QSKIP("only root may give a link away");
        const QString sticky = u"mkdir -m 1777 sticky; ln -s ../plain sticky/l; "
                               "chown -h 12345 sticky/l; "_s;
        QCOMPARE(shell((planted ? sticky : QString()) +
                       u"mkdir folder; mkfifo fifo; truncate -s 16777217 '16 MiB'; "
                       "printf 'the old text stays whole' >plain"_s),
                 QString());
        QVERIFY(fakes::writeFile(
            path(u"current"_s), "main {\r\n}\r\n" + (QByteArray(1000, 'x') + "\r\n").repeated(70)));
        QVERIFY(fakes::writeFile(path(u"long line"_s), "a\r\n" + QByteArray(245001, 'x') + "\r\n"));
        QVERIFY(fakes::writeFile(path(u"long lines on a screen"_s),
                                 QByteArray(100000, '\n') +
                                     (QByteArray(1700, 'x') + "\r\n").repeated(150)));
        choose(&Form1::LoadS_Click, u"current"_s);
        type(u"unsaved "_s);
        const QString file = path(target);
        if (command == u"save" || command == u"save killed")
            form().SourcePath = file;
        const auto state = [&] {
            return QStringList{QString::number(qHash(m_ide->bytes())),
                               QString::number(form().blockList()->count()), form().SourcePath,
                               caption(), entries().join(u'|')};
        };
        const QStringList before = state();

        // A file-size limit of 64 KiB stops a write to plain: EFBIG, or SIGKILL for the child.
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        const struct rlimit limit = {target == u"plain" ? 64 << 10 : old.rlim_cur, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        bool saved = false;
        int status = 0;
        if (command == u"save killed") {
            const pid_t child = ::fork();
            if (child == 0) {
                std::signal(SIGXFSZ, [](int) { ::raise(SIGKILL); });
                form().Saves_Click();
                ::_exit(0);
            }
            ::waitpid(child, &status, 0);
        } else if (command == u"save")
            saved = form().Saves_Click();
        else
            choose(command == u"open" ? &Form1::LoadS_Click : &Form1::SaveAss_Click, file);
        ::setrlimit(RLIMIT_FSIZE, &old);

        QVERIFY(!saved);
        const QString head =
            u"Project1|Cannot %1 \"%2\":\n"_s.arg(command == u"open" ? u"open"_s : u"save"_s, file);
        const QString text = m_ide->fakes.messages.join(u"\n---\n"_s);
        QVERIFY2(reason.isEmpty()
                     ? text.isEmpty() && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL
                     : m_ide->fakes.messages.size() == 1 && text.startsWith(head) &&
                           text.mid(head.size()).contains(reason),
                 qPrintable(text));
        QCOMPARE(state(), before);
        QCOMPARE(fakes::readFile(path(u"plain"_s)), QByteArray("the old text stays whole"));
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
