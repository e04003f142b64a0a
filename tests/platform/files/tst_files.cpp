// The file library on its own, in a folder of the test's own: a save reaches the file that the
// path names and keeps all that file carries, or fails with the reason and leaves every file as it
// was and nothing behind; a read takes a regular file whole, byte for byte, and refuses the rest.

#include "readfile.h"
#include "savefile.h"
#include "support.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>
#include <cstddef>
#include <cstring>
#include <optional>

#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// Makes every ftruncate of this process fail as a broken disk would: of a save, only a write in
// place truncates, after its copy and reservation.
void failTruncate()
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ftruncate, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    const struct sock_fprog program = {std::size(filter), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
        ::_exit(1);
}

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
    // What carried() shows, and the inode flags of the file that name leads to.
    QString carries(const QString &name) const
    {
        return carried(m_dir->path(), name) +
               shell(u"lsattr \"$(realpath '%1')\" 2>&1 | cut -d' ' -f1"_s.arg(name));
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
    // Whatever a row mounted in the folder goes with it.
    void cleanup()
    {
        shell(u"d=$PWD; cd /; awk -v d=\"$d\" 'index($2, d) == 1 { print $2 }' /proc/self/mounts "
              "| sort -r | xargs -r umount"_s);
    }

    void save_data()
    {
        QTest::addColumn<QString>("setup");   // shell commands run in the folder after the prelude
        QTest::addColumn<QString>("saved");   // the path the save is given
        QTest::addColumn<QString>("opened");  // the file the save expects, as Open left it
        QTest::addColumn<QString>("how");     // "limited": under the file-size limit; "killed": by
                                              // it, amid the write; "as user": as uid 12345;
                                              // "truncate fails": every ftruncate fails;
                                              // "as user, limited": both
        QTest::addColumn<QString>("failure"); // part of the reason; empty when the save succeeds

        const QString chain = u"ln -s sub/m l; ln -s ../t sub/m; "_s;
        const QString sticky =
            u"mkdir -m 1777 sticky; ln -s ../t sticky/l; chown -h 12345 sticky/l"_s;
        const auto row = [](const char *name, const QString &setup, const QString &saved,
                            const QString &failure = {}, const QString &how = {},
                            const QString &opened = {}) {
            QTest::newRow(name) << setup << saved << opened << how << failure;
        };
        // A replaced file keeps all it carries, its hard links too; a new one gets what any new
        // file in the folder gets (umask 077 here); links stay links.
        row("existing, set-user-ID", u"old 04755"_s, u"t"_s);
        row("new file", QString(), u"t"_s);
        row("link", u"old 0644; ln -s t l"_s, u"l"_s);
        row("chain through a folder", u"old 0644; "_s + chain, u"l"_s);
        row("dangling link", u"ln -s t l"_s, u"l"_s);
        row("own link in a sticky folder of another user",
            u"old 0644; "_s + chain + u"chmod 1777 sub; chown 23456 sub"_s, u"l"_s);
        row("link of the sticky folder's owner",
            u"old 0644; "_s + sticky + u"; chown 12345 sticky"_s, u"sticky/l"_s);
        row("ACL with a mask and a named user", u"old 0640; setfacl -m u:12345:rw t"_s, u"t"_s);
        row("ACL deny entry", u"old 0644; setfacl -m u:23456:- t"_s, u"t"_s);
        row("default ACL of the folder, new file", u"setfacl -d -m u:12345:rwx ."_s, u"t"_s);
        row("default ACL of the folder, file without ACL",
            u"old 0604; setfacl -d -m u:12345:rwx ."_s, u"t"_s);
        row("user, security and trusted attributes",
            u"old 0644; for n in user security trusted; do setfattr -n $n.v -v kept t; done"_s,
            u"t"_s);
        row("inode flags", u"old 0644; chattr +d +A t"_s, u"t"_s);
        row("two hard links", u"old 0644; ln t h"_s, u"t"_s);
        // Save writes the file opened, through the user's own links, or the file that another
        // program's save put in its place.
        row("replaced by another program after Open", u"old 0644; ln t o; cp -p t n; mv n t"_s,
            u"t"_s, {}, {}, u"o"_s);
        row("own link swapped in after Open", u"old 0644; mv t o; cp -p o sub/t; ln -s sub/t t"_s,
            u"t"_s, {}, {}, u"o"_s);
        // What the folder refuses is written in place.
        row("read-only folder", u"old 0644; chmod 755 ."_s, u"t"_s, {}, u"as user"_s);
        row("file mounted over", u"old 0644; mount --bind t t"_s, u"t"_s);

        row("a folder", u"mkdir folder"_s, u"folder"_s, u"folder"_s);
        row("parent missing", QString(), u"missing/x"_s, u"No such file"_s);
        row("parent is a file", u"old 0644"_s, u"t/x"_s, u"Not a directory"_s);
        row("a /proc file", QString(), u"/proc/self/comm"_s, u"system's own files"_s);
        row("a cgroup file",
            u"ln -s \"$(awk '$3 ~ /^cgroup/ { print $2; exit }' /proc/self/mounts)\" cg"_s,
            u"cg/t"_s, u"system's own files"_s);
        row("name over 255 bytes", QString(), QString(256, u'n'), u"too long"_s);
        row("past the file-size limit", u"old 0644"_s, u"t"_s, u"file-size limit"_s, u"limited"_s);
        row("read-only folder, past the file-size limit", u"old 0644; chmod 755 ."_s, u"t"_s,
            u"file-size limit"_s, u"as user, limited"_s);
        row("read-only file, saved by its owner", u"old 0444; chown 12345 ."_s, u"t"_s,
            u"Permission denied"_s, u"as user"_s);
        row("a link of another user in a sticky folder", u"old 0644; "_s + sticky, u"sticky/l"_s,
            u"12345"_s);
        row("a folder link of another user in a sticky folder",
            u"old 0644; mkdir -m 1777 sticky; ln -s .. sticky/x; chown -h 12345 sticky/x"_s,
            u"sticky/x/t"_s, u"not followed"_s);
        row("a link of another user swapped in after Open",
            u"old 0644; mv t o; echo secret >s; ln -s s t; chown -h 12345 t"_s, u"t"_s, u"12345"_s,
            {}, u"o"_s);
        row("in place on a full disk",
            u"mount -t tmpfs -o size=100k,mode=700 tmpfs \"$PWD\"; cd \"$PWD\"; old 0644; ln t h"_s,
            u"t"_s, u"disk is full"_s);
        // Nothing is left behind, not even by a save killed amid its write; a write in place that
        // fails leaves the copy it names.
        row("killed amid the write", u"old 0644"_s, u"t"_s, {}, u"killed"_s);
        row("in place, the write fails", u"old 0644; ln t h"_s, u"t"_s, u"kept in"_s,
            u"truncate fails"_s);
    }

    void save()
    {
        QFETCH(QString, setup);
        QFETCH(QString, saved);
        QFETCH(QString, opened);
        QFETCH(QString, how);
        QFETCH(QString, failure);
        if ((how.contains(u"as user") ||
             setup.contains(QRegularExpression(u"chown|trusted|mount"_s))) &&
            ::geteuid() != 0)
            VORNEX_SKIP("only root may give files away, set trusted attributes, mount or save as "
                        "another user");
        // .ref is made as any new file in the folder.
        const QString made = shell(kPrelude + setup + u"\n(umask 077; : >.ref)"_s);
        if (made.startsWith(u"chattr:"))
            VORNEX_SKIP("the file system here has no inode flags");
        QCOMPARE(made, QString());
        const bool existed = QFileInfo::exists(path(u"t"_s));
        const QString before = carries(u"t"_s);
        const QStringList names = listing(false), everything = listing(true);
        struct stat st;
        vornex::FileIdentity identity;
        if (!opened.isEmpty() && ::stat(QFile::encodeName(path(opened)), &st) == 0)
            identity = vornex::identityOf(st);

        // Saved in a child process, which may change its user, limits and system calls.
        int channel[2];
        QCOMPARE(::pipe(channel), 0);
        const std::string target = QFile::encodeName(path(saved)).toStdString();
        const pid_t child = ::fork();
        if (child == 0) {
            ::umask(077);
            const struct rlimit limit = {kSizeLimit, kSizeLimit};
            if (how.contains(u"limited") || how == u"killed")
                ::setrlimit(RLIMIT_FSIZE, &limit);
            if (how == u"killed")
                std::signal(SIGXFSZ, [](int) { ::raise(SIGKILL); });
            if (how.contains(u"as user") &&
                (::setgroups(0, nullptr) != 0 || ::setresgid(23456, 23456, 23456) != 0 ||
                 ::setresuid(12345, 12345, 12345) != 0))
                ::_exit(1);
            if (how == u"truncate fails")
                failTruncate();
            std::string error;
            const char ok = vornex::saveFile(target, kText.toStdString(), error, &identity);
            std::string said =
                ok + std::string(reinterpret_cast<char *>(&identity), sizeof identity) + error;
            ::_exit(::write(channel[1], said.data(), said.size()) == ssize_t(said.size()) ? 0 : 1);
        }
        ::close(channel[1]);
        QFile reader;
        QVERIFY(reader.open(channel[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        const QByteArray said = reader.readAll();
        int status = 0;
        ::waitpid(child, &status, 0);

        if (how == u"killed") {
            QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
            QCOMPARE(listing(true), everything);
            return;
        }
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                said.size() > qsizetype(sizeof identity));
        std::memcpy(&identity, said.constData() + 1, sizeof identity);
        const QString error = QString::fromUtf8(said.mid(1 + sizeof identity));
        QVERIFY2(bool(said[0]) == failure.isEmpty() && error.contains(failure), qPrintable(error));
        // The copy that a failed write in place names holds the new text; the file is not whole.
        const QString copy = error.section(u'"', -2, -2);
        if (how == u"truncate fails")
            QVERIFY(readFile(copy) == kText && QFile::remove(copy));
        if (!failure.isEmpty()) {
            QCOMPARE(how == u"truncate fails" ? listing(false) : listing(true),
                     how == u"truncate fails" ? names : everything);
            return;
        }
        QStringList expected = names;
        if (!existed)
            expected = (expected << u"./t f "_s), expected.sort();
        QCOMPARE(listing(false), expected);
        QCOMPARE(readFile(path(u"t"_s)), kText);
        QVERIFY(!QFileInfo::exists(path(u"h"_s)) || readFile(path(u"h"_s)) == kText);
        QCOMPARE(carries(u"t"_s), existed ? before : carries(u".ref"_s));
        QVERIFY(::stat(target.c_str(), &st) == 0 && identity == vornex::identityOf(st));
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
