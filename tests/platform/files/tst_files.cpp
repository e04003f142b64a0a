// The file library on its own, in a folder of the test's own: a save reaches the file that the
// path names and keeps all that file carries, or fails with the reason and leaves every file as it
// was and nothing behind; a read takes a regular file whole, byte for byte, and refuses the rest.

#include "readfile.h"
#include "savefile.h"
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using vornex::test::carried;
using vornex::test::readFile;

namespace {

// What every save writes: more than the file-size limit of the rows that set one.
const QByteArray kText = "new {\r\n}\r\n" + QByteArray(70000, 'x');
constexpr rlim_t kSizeLimit = 64 << 10;

// Run before every save's setup: old MODE makes t, the file the save is to reach, owned by another
// user where the test runs as root; sub is a folder.
const QString kPrelude = u"old() { printf 'old text that is longer' >t; "
                         "[ $(id -u) != 0 ] || chown 12345:23456 t; chmod $1 t; }; mkdir sub; "_s;

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> m_dir;

    QString path(const QString &name) const { return QDir(m_dir->path()).filePath(name); }
    QString shell(const QString &commands) const
    {
        return vornex::test::shell(m_dir->path(), commands);
    }
    // Every name below the folder with its kind and link target, and with contents the hash of
    // every file's bytes: a temporary file left behind, a link replaced or a file changed shows.
    QStringList listing(bool contents) const
    {
        return shell(u"LC_ALL=C find . -mindepth 1 -printf '%p %y %l\\n' | sort"_s +
                     (contents ? u"; find . -type f -exec md5sum {} + | sort -k2"_s : QString()))
            .split(u'\n', Qt::SkipEmptyParts);
    }

private slots:
    // A write past the file-size limit fails with EFBIG instead of ending the tests.
    void initTestCase() { std::signal(SIGXFSZ, SIG_IGN); }
    void init() { m_dir.emplace(); }

    void save_data()
    {
        QTest::addColumn<QString>("setup");   // shell commands run in the folder after the prelude
        QTest::addColumn<QString>("saved");   // the path the save is given
        QTest::addColumn<QString>("how");     // "limited": under the file-size limit; "killed": in
                                              // a child that the limit kills amid the write
        QTest::addColumn<QString>("failure"); // part of the reason; empty when the save succeeds
        QTest::addColumn<bool>("root");       // the setup needs root

        const QString chain = u"ln -s sub/m l; ln -s ../t sub/m; "_s;
        const auto kept = [](const char *name, const QString &setup, const QString &saved,
                             bool root = false) {
            QTest::newRow(name) << setup << saved << QString() << QString() << root;
        };
        // A replaced file keeps all it carries, its hard links too; a new one gets what any new
        // file in the folder gets (umask 077 here); links stay links.
        kept("existing, set-user-ID", u"old 04755"_s, u"t"_s);
        kept("new file", QString(), u"t"_s);
        kept("link", u"old 0644; ln -s t l"_s, u"l"_s);
        kept("chain through a folder", u"old 0644; "_s + chain, u"l"_s);
        kept("dangling link", u"ln -s t l"_s, u"l"_s);
        kept("own link in a sticky folder of another user",
             u"old 0644; "_s + chain + u"chmod 1777 sub; chown 23456 sub"_s, u"l"_s, true);
        kept("ACL with a mask and a named user", u"old 0640; setfacl -m u:12345:rw t"_s, u"t"_s);
        kept("ACL deny entry", u"old 0644; setfacl -m u:23456:- t"_s, u"t"_s);
        kept("default ACL of the folder, new file", u"setfacl -d -m u:12345:rwx ."_s, u"t"_s);
        kept("default ACL of the folder, file without ACL",
             u"old 0604; setfacl -d -m u:12345:rwx ."_s, u"t"_s);
        kept("user, security and trusted attributes",
             u"old 0644; for n in user security trusted; do setfattr -n $n.v -v kept t; done"_s,
             u"t"_s, true);
        kept("two hard links", u"old 0644; ln t h"_s, u"t"_s);

        const auto refused = [](const char *name, const QString &setup, const QString &saved,
                                const QString &failure, const QString &how = QString(),
                                bool root = false) {
            QTest::newRow(name) << setup << saved << how << failure << root;
        };
        refused("a folder", u"mkdir folder"_s, u"folder"_s, u"folder"_s);
        refused("parent missing", QString(), u"missing/x"_s, u"No such file"_s);
        refused("parent is a file", u"old 0644"_s, u"t/x"_s, u"Not a directory"_s);
        refused("a /proc file", QString(), u"/proc/self/comm"_s, u"/proc"_s);
        refused("name over 255 bytes", QString(), QString(256, u'n'), u"too long"_s);
        refused("past the file-size limit", u"old 0644"_s, u"t"_s, u"too large"_s, u"limited"_s);
        refused("a link of another user in a sticky folder",
                u"old 0644; mkdir -m 1777 sticky; ln -s ../t sticky/l; chown -h 12345 sticky/l"_s,
                u"sticky/l"_s, u"not followed"_s, QString(), true);
        // Nothing is left behind, not even by a save killed amid its write.
        refused("killed amid the write", u"old 0644"_s, u"t"_s, QString(), u"killed"_s);
    }

    void save()
    {
        QFETCH(QString, setup);
        QFETCH(QString, saved);
        QFETCH(QString, how);
        QFETCH(QString, failure);
        QFETCH(bool, root);
        if (root && ::geteuid() != 0)
            VORNEX_SKIP("only root may give files away or set trusted attributes");
        // .ref is made as any new file in the folder.
        QCOMPARE(shell(kPrelude + setup + u"\n(umask 077; : >.ref)"_s), QString());
        const bool existed = QFileInfo::exists(path(u"t"_s));
        const QString before = carried(m_dir->path(), u"t"_s);
        const QStringList names = listing(false), everything = listing(true);

        const mode_t oldMask = ::umask(077);
        struct rlimit old;
        ::getrlimit(RLIMIT_FSIZE, &old);
        const struct rlimit limit = {how.isEmpty() ? old.rlim_cur : kSizeLimit, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        bool ok = false;
        int status = 0;
        const std::string target = QFile::encodeName(path(saved)).toStdString();
        if (how == u"killed") {
            const pid_t child = ::fork();
            if (child == 0) {
                std::signal(SIGXFSZ, [](int) { ::raise(SIGKILL); });
                vornex::saveFile(target, kText.toStdString(), error);
                ::_exit(0);
            }
            ::waitpid(child, &status, 0);
        } else {
            ok = vornex::saveFile(target, kText.toStdString(), error);
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::umask(oldMask);

        if (how == u"killed") {
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        } else if (!failure.isEmpty()) {
            QVERIFY(!ok);
            QVERIFY2(QString::fromStdString(error).contains(failure), error.c_str());
        }
        if (how == u"killed" || !failure.isEmpty()) {
            QCOMPARE(listing(true), everything);
            return;
        }
        QVERIFY2(ok, error.c_str());
        QStringList expected = names;
        if (!existed)
            expected = (expected << u"./t f "_s), expected.sort();
        QCOMPARE(listing(false), expected);
        QCOMPARE(readFile(path(u"t"_s)), kText);
        QVERIFY(!QFileInfo::exists(path(u"h"_s)) || readFile(path(u"h"_s)) == kText);
        QCOMPARE(carried(m_dir->path(), u"t"_s),
                 existed ? before : carried(m_dir->path(), u".ref"_s));
    }

    void read_data()
    {
        QTest::addColumn<QString>("setup");      // shell commands run in the folder
        QTest::addColumn<QByteArray>("content"); // of the file "f", written first unless null
        QTest::addColumn<QString>("read");       // the path read
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("failure"); // part of the reason, "<too large>", or empty

        const QByteArray bytes("a\0b\r\n\xff\xe9{\r}\n", 12);
        QTest::newRow("NUL, CR, LF and invalid UTF-8 as they are")
            << QString() << bytes << u"f"_s << 100 << QString();
        QTest::newRow("empty") << QString() << QByteArray("") << u"f"_s << 100 << QString();
        QTest::newRow("through a link") << u"ln -s f l"_s << bytes << u"l"_s << 100 << QString();
        QTest::newRow("at the limit")
            << QString() << QByteArray(100, 'x') << u"f"_s << 100 << QString();
        QTest::newRow("past the limit")
            << QString() << QByteArray(101, 'x') << u"f"_s << 100 << u"<too large>"_s;
        // A /proc file says it is empty and then gives more than that.
        QTest::newRow("grows past the limit while read")
            << QString() << QByteArray() << u"/proc/self/maps"_s << 100 << u"<too large>"_s;
        QTest::newRow("missing") << QString() << QByteArray() << u"m"_s << 100 << u"No such file"_s;
        QTest::newRow("a folder") << u"mkdir d"_s << QByteArray() << u"d"_s << 100 << u"folder"_s;
        QTest::newRow("a pipe without a writer, not waited for")
            << u"mkfifo p"_s << QByteArray() << u"p"_s << 100 << u"pipe"_s;
        QTest::newRow("a device") << QString() << QByteArray() << u"/dev/null"_s << 100
                                  << u"device"_s;
    }

    void read()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, content);
        QFETCH(QString, read);
        QFETCH(int, limit);
        QFETCH(QString, failure);
        QVERIFY(content.isNull() || vornex::test::writeFile(path(u"f"_s), content));
        QCOMPARE(shell(setup), QString());
        std::string bytes = "unchanged", error;
        const vornex::ReadResult result = vornex::readRegularFile(
            QFile::encodeName(path(read)).toStdString(), std::size_t(limit), bytes, error);
        if (failure.isEmpty()) {
            QCOMPARE(int(result), int(vornex::ReadResult::Read));
            QCOMPARE(QByteArray::fromStdString(bytes), content);
            return;
        }
        QCOMPARE(int(result), int(failure == u"<too large>" ? vornex::ReadResult::TooLarge
                                                            : vornex::ReadResult::Failed));
        QCOMPARE(bytes, "unchanged");
        QVERIFY2(failure.startsWith(u'<') || QString::fromStdString(error).contains(failure),
                 error.c_str());
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
