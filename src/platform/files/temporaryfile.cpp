#include "temporaryfile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace vornex {

namespace {

// Tries attempt(name) with fresh temporary names until one is free; false with errno set.
template <typename Attempt> bool withFreeName(std::string &name, Attempt attempt)
{
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int tries = 0; tries < 100; ++tries) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != sizeof random)
            return false;
        // Short, so that a file whose name has the longest length allowed can be saved too.
        std::string candidate = ".vornex-save-";
        for (const unsigned char r : random)
            candidate += kLetters[r % (sizeof kLetters - 1)];
        if (attempt(candidate.c_str())) {
            name = std::move(candidate);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

} // namespace

TemporaryFile::~TemporaryFile()
{
    m_fd.reset();
    if (!m_kept && !m_name.empty())
        ::unlinkat(m_folder, m_name.c_str(), 0);
}

bool TemporaryFile::create(mode_t mode)
{
    // An unnamed file is named later through /proc, or by root through its descriptor.
    static const bool canName = ::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0;
    if (canName) {
        m_fd.reset(::openat(m_folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
        if (m_fd.valid())
            return true;
    }
    return withFreeName(m_name, [&](const char *candidate) {
        m_fd.reset(::openat(m_folder, candidate, O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC,
                            mode));
        return m_fd.valid();
    });
}

bool TemporaryFile::giveName()
{
    if (!m_name.empty())
        return true;
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd.get());
    return withFreeName(m_name, [&](const char *candidate) {
        return ::linkat(AT_FDCWD, self.c_str(), m_folder, candidate, AT_SYMLINK_FOLLOW) == 0 ||
               (errno == ENOENT &&
                ::linkat(m_fd.get(), "", m_folder, candidate, AT_EMPTY_PATH) == 0);
    });
}

bool TemporaryFile::close()
{
    return ::close(m_fd.release()) == 0;
}

} // namespace vornex
