#include "sourcefile.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
};

// The file a save writes: path with every symlink on it followed to the end, which need not
// exist yet. False for a chain of links too long to follow (a loop).
bool resolveLinks(const QString &path, QString *target)
{
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink(); ++depth) {
        if (depth == 40)
            return false;
        info.setFile(info.symLinkTarget());
    }
    *target = info.filePath();
    return true;
}

// The temporary file of a save: closed and removed when it goes out of scope, unless it was
// kept because it has become the saved file.
class TemporaryFile
{
public:
    // name is the file mkostemp made for descriptor; nothing is removed when it made none.
    TemporaryFile(int descriptor, const QByteArray &name)
        : fd(descriptor), m_name(descriptor >= 0 ? name : QByteArray())
    {}
    ~TemporaryFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!m_kept && !m_name.isEmpty())
            ::unlink(m_name.constData());
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Closes the file; false with errno set when the last of its text could not be written.
    bool close()
    {
        const int descriptor = fd;
        fd = -1;
        return ::close(descriptor) == 0;
    }
    void keep() { m_kept = true; }

    int fd;

private:
    QByteArray m_name;
    bool m_kept = false;
};

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
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
    const auto fail = [error](const QString &reason) {
        *error = reason;
        return false;
    };
    QString target;
    if (!resolveLinks(path, &target))
        return fail(errnoText(ELOOP));
    const QByteArray targetName = QFile::encodeName(target);
    struct stat old;
    const bool exists = ::stat(targetName.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return fail(errnoText(errno));
    if (exists && !S_ISREG(old.st_mode))
        return fail(notRegularReason(old.st_mode));
    // A file the user may not write is not replaced behind its back, even though the folder
    // would allow it.
    if (exists && ::faccessat(AT_FDCWD, targetName.constData(), W_OK, AT_EACCESS) != 0)
        return fail(errnoText(errno));

    // The text goes to a temporary file beside the target that then replaces it in one rename,
    // so a failure at any step leaves the old file whole. Its name is short, so that a target
    // whose name has the longest length allowed can be replaced too.
    const qsizetype slash = targetName.lastIndexOf('/');
    QByteArray temporary = (slash < 0 ? QByteArray() : targetName.left(slash + 1)) +
                           QByteArrayLiteral(".vornex-save-XXXXXX");
    TemporaryFile file{::mkostemp(temporary.data(), O_CLOEXEC), temporary};
    if (file.fd < 0)
        return fail(errnoText(errno));

    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t count =
            ::write(file.fd, bytes.data() + written, static_cast<size_t>(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return fail(errnoText(errno));
        written += count;
    }
    // Only root may give the file away; anyone else keeps the owner the new file got. The owner
    // goes first because a change of owner clears the set-user-ID and set-group-ID bits.
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(file.fd, old.st_uid, old.st_gid) != 0) {
        // not permitted: the file keeps the owner the process gives it
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(file.fd, mode) != 0)
        return fail(errnoText(errno));
    // The text must be on the disk before the new file takes the old one's place; a file system
    // that cannot sync says EINVAL and is trusted as it is.
    if (::fsync(file.fd) != 0 && errno != EINVAL)
        return fail(errnoText(errno));
    if (!file.close())
        return fail(errnoText(errno));
    if (::rename(temporary.constData(), targetName.constData()) != 0)
        return fail(errnoText(errno));
    file.keep();
    return true;
}

} // namespace vornex
