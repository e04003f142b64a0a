#pragma once

#include <cstddef>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>

namespace vornex {

enum class ReadResult { Read, Failed, TooLarge };

// Which file a path led to: its device and inode, once known.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;

    friend bool operator==(const FileIdentity &, const FileIdentity &) = default;
};

// The identity of the file that st describes.
FileIdentity identityOf(const struct stat &st);

// Reads the whole file at path as raw bytes into bytes, and sets *identity, when given, to the file
// read. Only regular files are read, and a FIFO is never waited for: a folder, FIFO, device or
// socket fails with error saying which. A file of more than limit bytes, also one that grows past
// it while it is read, gives TooLarge and is not read.
ReadResult readRegularFile(const std::string &path, std::size_t limit, std::string &bytes,
                           std::string &error, FileIdentity *identity = nullptr);

// Why a file of the given mode cannot be read or written as text: "it is a folder, not a file".
std::string notRegularReason(mode_t mode);

} // namespace vornex
