#include "sourcefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vornex {

namespace {

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

// The file a save writes: the final target of a symlink, or path itself.
QString saveTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

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
    QByteArray data;
    data.resize(static_cast<qsizetype>(st.st_size));
    qsizetype filled = 0;
    for (;;) {
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
    *bytes = std::move(data);
    return true;
}

bool writeSourceFile(const QString &path, QByteArrayView bytes, QString *error)
{
    const QString target = saveTarget(path);
    struct stat old;
    const bool exists = ::stat(QFile::encodeName(target).constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        *error = notRegularReason(old.st_mode);
        return false;
    }
    if (!exists && errno != ENOENT) {
        *error = errnoText(errno);
        return false;
    }

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    // commit() can report success after a failed final write, so every step is checked here and
    // the temporary file is dropped on the first failure.
    auto fail = [&](const QString &reason) {
        file.cancelWriting();
        *error = reason;
        return false;
    };
    // A write cut short (file-size limit, disk full) returns what it wrote without an error;
    // writing the rest then fails with the reason.
    for (qsizetype written = 0; written < bytes.size();) {
        const qint64 count = file.write(bytes.data() + written, bytes.size() - written);
        if (count <= 0)
            return fail(file.errorString());
        written += count;
    }
    if (!file.flush())
        return fail(file.errorString());

    const int fd = file.handle();
    // Only root may give the file away; anyone else keeps the owner the new file got. The owner
    // goes first because a change of owner clears the set-user-ID and set-group-ID bits.
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        // not permitted: the file keeps the owner the process gives it
    }
    const mode_t mode = exists ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(fd, mode) != 0)
        return fail(errnoText(errno));

    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace vornex
