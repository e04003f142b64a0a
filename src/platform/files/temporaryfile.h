#pragma once

#include "fd.h"

#include <string>

#include <sys/types.h>

namespace vornex {

// A file that a save writes before it takes its place, in the same folder. Where the file system
// allows it has no name until it is complete, so that a crash leaves nothing behind.
// Closed, and removed when it has a name, when it goes out of scope, unless kept.
class TemporaryFile
{
public:
    // A file in the folder that the descriptor folder names.
    explicit TemporaryFile(int folder) : m_folder(folder) {}
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    // Creates the file with mode, less the umask or as the folder's default ACL says; false with
    // errno set.
    bool create(mode_t mode);
    // Gives the complete file a free temporary name, when it has none; false with errno set.
    bool giveName();
    // Closes the file; false with errno set when the last of its text could not be written.
    bool close();
    // Leaves the named file in place when this goes out of scope.
    void keep() { m_kept = true; }

    int fd() const { return m_fd.get(); }
    // The file's name in its folder; empty while it has none.
    const std::string &name() const { return m_name; }

private:
    int m_folder;
    Fd m_fd;
    std::string m_name;
    bool m_kept = false;
};

} // namespace vornex
