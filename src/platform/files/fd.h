#pragma once

#include <unistd.h>

#include <utility>

namespace vornex {

// Owns a file descriptor and closes it when it goes out of scope. It moves but does not copy, so
// that no descriptor is closed twice.
class Fd
{
public:
    explicit Fd(int fd = -1) noexcept : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept : m_fd(other.release()) {}
    Fd &operator=(Fd &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes the descriptor held, if any, and holds fd instead.
    void reset(int fd = -1) noexcept
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

} // namespace vornex
