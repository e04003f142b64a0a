#include "sourcefile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vornex {

namespace {

// What the editor shows within a quarter of a second on the 2-core build machine, a second with
// headroom for a slower or busier one (bench_files): every line on the screen is laid out whole,
// at 1.0 µs per byte of code (BM_ShowLongLine), and a text of short lines takes 15 ms per MiB
// (BM_ShowSize). Memory does not limit: 3.6 bytes per byte of text, 8 per byte of a long line.
constexpr qint64 kLargestSource = qint64(16) << 20;
constexpr qsizetype kLargestScreen = 245000;
// The lines a screen shows: a 2160-pixel screen holds 144 lines of the editor's font.
constexpr int kScreenLines = 150;

// Why the editor cannot show bytes within about a second, or an empty string when it can: no
// screenful of lines may hold more than kLargestScreen bytes.
QString tooLongLines(QByteArrayView bytes)
{
    const QLocale numbers(QLocale::English);
    std::array<qsizetype, kScreenLines> lengths{}; // of the last lines, a ring
    std::size_t slot = 0;
    qsizetype onScreen = 0;
    for (qsizetype start = 0, line = 1;; ++line) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        const qsizetype length = end - start;
        onScreen += length;
        if (length > kLargestScreen)
            return QStringLiteral("line %1 is %2 bytes long, longer than %3 bytes, the longest "
                                  "line the editor shows")
                .arg(numbers.toString(line), numbers.toString(length),
                     numbers.toString(kLargestScreen));
        if (onScreen > kLargestScreen)
            return QStringLiteral("lines %1 to %2 hold %3 bytes, more than %4 bytes, the most "
                                  "the editor shows in %5 lines")
                .arg(numbers.toString(qMax<qsizetype>(line - kScreenLines + 1, 1)),
                     numbers.toString(line), numbers.toString(onScreen),
                     numbers.toString(kLargestScreen), numbers.toString(kScreenLines));
        if (end == bytes.size())
            return {};
        start =
            end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
        lengths[slot] = length;
        slot = (slot + 1) % kScreenLines;
        onScreen -= lengths[slot];
    }
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString notRegularReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("it is a folder, not a file");
    if (S_ISFIFO(mode))
        return QStringLiteral("it is a pipe, not a regular file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("it is a device, not a regular file");
    return QStringLiteral("it is not a regular file");
}

// Closes the descriptor when it goes out of scope.
struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    void reset(int other)
    {
        if (fd >= 0)
            ::close(fd);
        fd = other;
    }
};

// Fails with reason.
bool failWith(QString *error, const QString &reason)
{
    *error = reason;
    return false;
}

// Writes all of bytes from the start of the file; false with errno set.
bool writeAll(int fd, QByteArrayView bytes)
{
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t count = ::pwrite(fd, bytes.data() + written,
                                       static_cast<size_t>(bytes.size() - written), written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        written += count;
    }
    return true;
}

// A file system that cannot sync says EINVAL and is trusted as it is.
bool syncFile(int fd)
{
    return ::fsync(fd) == 0 || errno == EINVAL;
}

// Runs call(buffer, size), an extended-attribute call that tells the size it needs when given
// none, until its result fits; false with errno set.
template <typename Call> bool queryAttributes(Call call, QByteArray *result)
{
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        result->resize(size);
        const ssize_t got = call(result->data(), static_cast<size_t>(size));
        if (got >= 0 && got <= size) {
            result->resize(got);
            return true;
        }
        if (got < 0 && errno != ERANGE)
            return false;
    }
}

// The names of the extended attributes of fd: none on a file system without them.
bool attributeNames(int fd, QByteArrayList *names)
{
    QByteArray list;
    if (!queryAttributes([fd](char *to, size_t size) { return ::flistxattr(fd, to, size); }, &list))
        return errno == ENOTSUP;
    *names = list.split('\0');
    names->removeAll(QByteArray());
    return true;
}

// Gives file everything original carries besides its text: owner and group, permission bits,
// extended attributes (the POSIX ACLs, user.*, security.* among them), and takes away what the
// folder gave it (an inherited default ACL). False when any of it cannot be given: an owner the
// process may not set, an attribute the process or the file system refuses.
bool carryOver(int original, const struct stat &old, int file)
{
    struct stat now;
    if (::fstat(file, &now) != 0)
        return false;
    // The owner goes first: a change of owner clears the set-user-ID bits and file capabilities.
    if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(file, old.st_uid, old.st_gid) != 0)
        return false;
    if (::fchmod(file, old.st_mode & 07777) != 0)
        return false;
    QByteArrayList names;
    QByteArrayList given;
    if (!attributeNames(original, &names) || !attributeNames(file, &given))
        return false;
    for (const QByteArray &name : given) {
        if (!names.contains(name) && ::fremovexattr(file, name.constData()) != 0)
            return false;
    }
    for (const QByteArray &name : names) {
        QByteArray value;
        const auto get = [&](char *to, size_t size) {
            return ::fgetxattr(original, name.constData(), to, size);
        };
        if (!queryAttributes(get, &value) ||
            ::fsetxattr(file, name.constData(), value.constData(), size_t(value.size()), 0) != 0)
            return false;
    }
    // An ACL sets the group bits, and the kernel drops a set-group-ID bit that the process may
    // not set without saying so: only the outcome tells.
    return ::fstat(file, &now) == 0 && now.st_mode == old.st_mode && now.st_uid == old.st_uid &&
           now.st_gid == old.st_gid;
}

// Tries attempt(name) with fresh temporary names until one is free; false with errno set.
template <typename Attempt> bool withFreeName(QByteArray *name, Attempt attempt)
{
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int tries = 0; tries < 100; ++tries) {
        // Short, so that a file whose name has the longest length allowed can be saved too.
        QByteArray candidate = QByteArrayLiteral(".vornex-save-");
        for (int i = 0; i < 6; ++i)
            candidate += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters) - 1)];
        if (attempt(candidate.constData())) {
            *name = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// A temporary file of a save in the target's folder. Where the file system allows it has no
// name (O_TMPFILE) until it is complete, so that a crashed save leaves nothing behind. Closed,
// and removed when it has a name, when it goes out of scope, unless kept.
class TemporaryFile
{
public:
    explicit TemporaryFile(int folder) : m_folder(folder) {}
    ~TemporaryFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!m_kept && !name.isEmpty())
            ::unlinkat(m_folder, name.constData(), 0);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Creates the file with mode, less the umask or as the folder's default ACL says; false with
    // errno set.
    bool create(mode_t mode)
    {
        // An unnamed file is named later through /proc, or by root through its descriptor.
        static const bool canName = ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0;
        if (canName) {
            fd = ::openat(m_folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
            if (fd >= 0)
                return true;
        }
        return withFreeName(&name, [&](const char *candidate) {
            fd = ::openat(m_folder, candidate, O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC,
                          mode);
            return fd >= 0;
        });
    }
    // Gives the complete file a temporary name, when it has none; false with errno set.
    bool giveName()
    {
        if (!name.isEmpty())
            return true;
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
        return withFreeName(&name, [&](const char *candidate) {
            return ::linkat(AT_FDCWD, self.constData(), m_folder, candidate, AT_SYMLINK_FOLLOW) ==
                       0 ||
                   (errno == ENOENT && ::linkat(fd, "", m_folder, candidate, AT_EMPTY_PATH) == 0);
        });
    }
    // Closes the file; false with errno set when the last of its text could not be written.
    bool close()
    {
        const int descriptor = fd;
        fd = -1;
        return ::close(descriptor) == 0;
    }
    void keep() { m_kept = true; }

    int fd = -1;
    QByteArray name;

private:
    int m_folder;
    bool m_kept = false;
};

// The file a save writes, held by descriptors from the start, so that nothing can be swapped
// between the checks and the write.
struct Target
{
    Fd folder{-1};         // the folder that holds it
    QByteArray folderPath; // that folder, for messages
    QByteArray name;       // its name in the folder
    Fd file{-1};           // the file, opened for writing; -1 for a new file
    struct stat old = {};  // of file
};

// fs.protected_symlinks: in a folder that everyone may write to and that has the sticky bit
// (/tmp), anyone may have planted a link, so it is followed only when it belongs to the user or
// to the folder's owner. The rule holds here whatever the system's setting.
bool mayFollow(int folder, const struct stat &link)
{
    struct stat st;
    return ::fstat(folder, &st) == 0 &&
           ((st.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) ||
            link.st_uid == ::geteuid() || link.st_uid == st.st_uid);
}

// Finds the file that path names: the kernel follows the links in its folders, and links at its
// end are followed here under the kernel's rule (mayFollow), each relative to the folder that
// holds it; a dangling one names the new file. Opens an existing file for writing: a file the
// user may not write is not replaced behind its back, although the folder would allow it.
bool findTarget(const QByteArray &path, Target *target, QString *error)
{
    const auto failed = [error] {
        return failWith(error, errnoText(errno));
    };
    QByteArray rest = path;
    struct stat st;
    bool exists = true;
    for (int links = 0;; ++links) {
        const qsizetype slash = rest.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : rest.left(qMax(slash, 1));
        const int from = target->folder.fd >= 0 ? target->folder.fd : AT_FDCWD;
        const int next = ::openat(from, folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0)
            return failed();
        target->folder.reset(next);
        if (folder.startsWith('/') || target->folderPath.isEmpty())
            target->folderPath = folder;
        else if (folder != ".")
            target->folderPath += '/' + folder;
        target->name = slash + 1 == rest.size() ? QByteArray(".") : rest.mid(slash + 1);
        if (::fstatat(target->folder.fd, target->name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return failed();
            exists = false;
            break;
        }
        if (!S_ISLNK(st.st_mode))
            break;
        if (links == 40)
            return failWith(error, errnoText(ELOOP));
        if (!mayFollow(target->folder.fd, st))
            return failWith(error, QStringLiteral("it is a link owned by another user in \"%1\", "
                                                  "a sticky folder open to all; such links are "
                                                  "not followed")
                                       .arg(QFile::decodeName(target->folderPath)));
        char link[PATH_MAX];
        const ssize_t size =
            ::readlinkat(target->folder.fd, target->name.constData(), link, sizeof link);
        if (size < 0)
            return failed();
        rest = QByteArray(link, size);
    }
    struct statfs fs;
    if (::fstatfs(target->folder.fd, &fs) == 0 &&
        (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC))
        return failWith(error, QStringLiteral("/proc and /sys hold the system's own files, which "
                                              "cannot be saved over or created"));
    if (!exists)
        return true;
    if (!S_ISREG(st.st_mode))
        return failWith(error, notRegularReason(st.st_mode));
    target->file.reset(::openat(target->folder.fd, target->name.constData(),
                                O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (target->file.fd < 0 || ::fstat(target->file.fd, &target->old) != 0)
        return failed();
    return S_ISREG(target->old.st_mode) || failWith(error, notRegularReason(target->old.st_mode));
}

// Writes bytes over the target itself, which keeps its inode with everything it carries (hard
// links above all). The text first goes whole to a synced copy beside it; when the write over the
// target fails midway, that copy stays and the message names it.
bool writeInPlace(const Target &target, QByteArrayView bytes, QString *error)
{
    TemporaryFile copy(target.folder.fd);
    if (!copy.create(0600) || !writeAll(copy.fd, bytes) || !syncFile(copy.fd) || !copy.giveName() ||
        !copy.close())
        return failWith(error, errnoText(errno));
    if (writeAll(target.file.fd, bytes) && ::ftruncate(target.file.fd, bytes.size()) == 0 &&
        syncFile(target.file.fd))
        return true;
    const QString reason = errnoText(errno);
    copy.keep();
    return failWith(error,
                    QStringLiteral("%1; the new text is kept in \"%2\"")
                        .arg(reason, QFile::decodeName(target.folderPath + '/' + copy.name)));
}

// Writes bytes to a new file that takes the target's place in one rename, so that a failure at
// any step leaves the old file whole. Fails with *carried false, and nothing written, when the
// new file could not be given everything the old one carries.
bool replaceByRename(const Target &target, QByteArrayView bytes, bool *carried, QString *error)
{
    const bool exists = target.file.fd >= 0;
    // A new file gets what the folder gives every new file: the umask, or its default ACL.
    TemporaryFile file(target.folder.fd);
    if (!file.create(exists ? 0600 : 0666) || !writeAll(file.fd, bytes))
        return failWith(error, errnoText(errno));
    // Only after the text: a write clears the set-user-ID bits and file capabilities.
    if (exists && !carryOver(target.file.fd, target.old, file.fd)) {
        *carried = false;
        return false;
    }
    if (!syncFile(file.fd) || !file.giveName() || !file.close() ||
        ::renameat(target.folder.fd, file.name.constData(), target.folder.fd,
                   target.name.constData()) != 0)
        return failWith(error, errnoText(errno));
    file.keep();
    return true;
}

} // namespace

bool readSourceFile(const QString &path, QByteArray *bytes, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so that opening a FIFO never waits for a writer.
    Fd file{::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    struct stat st;
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
        *error = errnoText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = notRegularReason(st.st_mode);
        return false;
    }
    const auto tooLarge = [error] {
        *error = QStringLiteral("it is larger than 16 MiB (16,777,216 bytes), the largest file "
                                "the editor opens");
        return false;
    };
    if (st.st_size > kLargestSource)
        return tooLarge();
    QByteArray data;
    data.resize(static_cast<qsizetype>(st.st_size));
    qsizetype filled = 0;
    for (;;) {
        if (filled > kLargestSource)
            return tooLarge();
        if (filled == data.size())
            data.resize(filled + 65536);
        const ssize_t got =
            ::read(file.fd, data.data() + filled, static_cast<size_t>(data.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = errnoText(errno);
            return false;
        }
        if (got == 0)
            break;
        filled += got;
    }
    data.truncate(filled);
    if (const QString lines = tooLongLines(data); !lines.isEmpty()) {
        *error = lines;
        return false;
    }
    *bytes = std::move(data);
    return true;
}

bool writeSourceFile(const QString &path, QByteArrayView bytes, QString *error)
{
    Target target;
    if (!findTarget(QFile::encodeName(path), &target, error))
        return false;
    if (target.file.fd < 0 || target.old.st_nlink == 1) {
        bool carried = true;
        const bool replaced = replaceByRename(target, bytes, &carried, error);
        if (replaced || carried)
            return replaced;
    }
    return writeInPlace(target, bytes, error);
}

} // namespace vornex
