#include "readfile.h"

#include "fd.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vornex {

std::string notRegularReason(mode_t mode)
{
    if (S_ISDIR(mode))
        return "it is a folder, not a file";
    if (S_ISFIFO(mode))
        return "it is a pipe, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a regular file";
    return "it is not a regular file";
}

FileIdentity identityOf(const struct stat &st)
{
    return {st.st_dev, st.st_ino, true};
}

ReadResult readRegularFile(const std::string &path, std::size_t limit, std::string &bytes,
                           std::string &error, FileIdentity *identity)
{
    // Non-blocking, so that opening a FIFO never waits for a writer.
    const Fd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st;
    if (!file.valid() || ::fstat(file.get(), &st) != 0) {
        error = std::strerror(errno);
        return ReadResult::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = notRegularReason(st.st_mode);
        return ReadResult::Failed;
    }
    if (static_cast<std::size_t>(st.st_size) > limit)
        return ReadResult::TooLarge;
    std::string data(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t filled = 0;
    for (;;) {
        // The file may have grown since it was measured.
        if (filled > limit)
            return ReadResult::TooLarge;
        if (filled == data.size())
            data.resize(filled + 65536);
        const ssize_t got = ::read(file.get(), data.data() + filled, data.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = std::strerror(errno);
            return ReadResult::Failed;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    data.resize(filled);
    bytes = std::move(data);
    if (identity)
        *identity = identityOf(st);
    return ReadResult::Read;
}

} // namespace vornex
