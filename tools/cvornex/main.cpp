// The stand-in assembler: writes a readable report of a source file, "debugasm.html", into the
// folder that holds this program, where the IDE looks for it.
#include "report.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kUsage = 2;
constexpr int kUnreadable = 3;
constexpr int kUnwritable = 4;
constexpr int kNoMemory = 5;

// The largest source read: twice what the IDE opens, so that whatever the IDE can hold can be
// assembled, while the report (a few times the source, at most 40 times) stays something a
// viewer can show and the memory the run takes stays far below the machine's.
constexpr std::size_t kLargestSource = std::size_t(32) << 20;
constexpr const char *kTooLarge = "larger than 32 MiB (33554432 bytes), the largest source read";

constexpr const char *kReportName = "debugasm.html";

void fail(const std::string &message)
{
    std::fprintf(stderr, "cvornex.exe: %s\n", message.c_str());
}

std::string reason(int error)
{
    return std::strerror(error);
}

// Reads the whole file as raw bytes; only regular files, so a FIFO or device cannot hang it
// (opened without blocking, so that a FIFO with no writer is refused, not waited for).
bool readSource(const char *path, std::string *bytes, std::string *error)
{
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = reason(errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        *error = reason(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file";
        ::close(fd);
        return false;
    }
    if (static_cast<std::size_t>(info.st_size) > kLargestSource) {
        *error = kTooLarge;
        ::close(fd);
        return false;
    }
    char buffer[65536];
    for (;;) {
        // The file may have grown since it was measured.
        if (bytes->size() > kLargestSource) {
            *error = kTooLarge;
            ::close(fd);
            return false;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = reason(errno);
            ::close(fd);
            return false;
        }
        bytes->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

// The folder of this program's own executable.
bool ownFolder(std::string *folder, std::string *error)
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0 || static_cast<std::size_t>(n) >= path.size()) {
        *error = n < 0 ? reason(errno) : "path too long";
        return false;
    }
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    return true;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Gives the complete, unnamed file fd the free name that temp's last six characters vary; false
// with errno set.
bool giveName(int fd, std::string *temp)
{
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int tries = 0; tries < 100; ++tries) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != sizeof random)
            return false;
        for (std::size_t i = 0; i < sizeof random; ++i)
            (*temp)[temp->size() - sizeof random + i] = kLetters[random[i] % (sizeof kLetters - 1)];
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp->c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, temp->c_str(), AT_EMPTY_PATH) == 0))
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

// Replaces path with bytes through a temporary file in the same folder, so that a reader sees
// either the old report or the whole new one. Where the file system allows, the temporary file
// has no name (O_TMPFILE) until it is complete, so that a crash leaves nothing behind.
bool writeReport(const std::string &folder, const std::string &path, std::string_view bytes,
                 std::string *error)
{
    std::string temp = folder + (folder == "/" ? "" : "/") + ".debugasm.html.XXXXXX";
    // An unnamed file is named through /proc, or by root through its descriptor. It gets the
    // mode of any new file (0666 less the umask, or the folder's default ACL).
    int fd = ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0
                 ? ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666)
                 : -1;
    const bool unnamed = fd >= 0;
    if (!unnamed) {
        fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) {
            *error = reason(errno);
            return false;
        }
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = (unnamed || ::fchmod(fd, 0666 & ~mask) == 0) && writeAll(fd, bytes) &&
              ::fsync(fd) == 0 && (!unnamed || giveName(fd, &temp));
    const bool named = !unnamed || ok;
    int saved = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        if (named)
            ::unlink(temp.c_str());
        *error = reason(saved);
    }
    return ok;
}

int assemble(int argc, char *argv[])
{
    if (argc != 2) {
        fail("usage: cvornex.exe SOURCE\nWrites the report debugasm.html beside this program.");
        return kUsage;
    }
    const char *sourcePath = argv[1];
    std::string source;
    std::string error;
    if (!readSource(sourcePath, &source, &error)) {
        fail("cannot read \"" + std::string(sourcePath) + "\": " + error);
        return kUnreadable;
    }
    std::string folder;
    if (!ownFolder(&folder, &error)) {
        fail("cannot find the folder of this program: " + error);
        return kUnwritable;
    }
    const std::string reportPath = folder + (folder == "/" ? "" : "/") + kReportName;
    if (!writeReport(folder, reportPath, cvornex::debugReport(sourcePath, source), &error)) {
        fail("cannot write \"" + reportPath + "\": " + error);
        return kUnwritable;
    }
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char *argv[])
{
    // Memory can run out on a machine that is short of it, or under a limit on the process; the
    // report is written whole or not at all, so the old one stays.
    try {
        return assemble(argc, argv);
    } catch (const std::bad_alloc &) {
        fail("out of memory: no report written, the old \"debugasm.html\" is kept");
        return kNoMemory;
    }
}
