#include "savefile.h"

#include "target.h"
#include "temporaryfile.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vornex {

namespace {

// Writes all of bytes from the start of the file; false with errno set.
bool writeAll(int fd, std::string_view bytes)
{
    for (std::size_t written = 0; written < bytes.size();) {
        const ssize_t count = ::pwrite(fd, bytes.data() + written, bytes.size() - written,
                                       static_cast<off_t>(written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        written += static_cast<std::size_t>(count);
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
template <typename Call> bool queryAttributes(Call call, std::string &result)
{
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        result.resize(static_cast<std::size_t>(size));
        const ssize_t got = call(result.data(), result.size());
        if (got >= 0 && got <= size) {
            result.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (got < 0 && errno != ERANGE)
            return false;
    }
}

// The names of the extended attributes of fd: none on a file system without them.
bool attributeNames(int fd, std::vector<std::string> &names)
{
    std::string list;
    if (!queryAttributes([fd](char *to, size_t size) { return ::flistxattr(fd, to, size); }, list))
        return errno == ENOTSUP;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find('\0', start), list.size());
        if (end > start)
            names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
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
    std::vector<std::string> names;
    std::vector<std::string> given;
    if (!attributeNames(original, names) || !attributeNames(file, given))
        return false;
    for (const std::string &name : given) {
        if (std::find(names.begin(), names.end(), name) == names.end() &&
            ::fremovexattr(file, name.c_str()) != 0)
            return false;
    }
    for (const std::string &name : names) {
        std::string value;
        const auto get = [&](char *to, size_t size) {
            return ::fgetxattr(original, name.c_str(), to, size);
        };
        if (!queryAttributes(get, value) ||
            ::fsetxattr(file, name.c_str(), value.data(), value.size(), 0) != 0)
            return false;
    }
    // An ACL sets the group bits, and the kernel drops a set-group-ID bit that the process may
    // not set without saying so: only the outcome tells.
    return ::fstat(file, &now) == 0 && now.st_mode == old.st_mode && now.st_uid == old.st_uid &&
           now.st_gid == old.st_gid;
}

// Inode flags that the file system sets by itself, whatever a program asks for.
constexpr int kOwnFlags = FS_EXTENT_FL | FS_INLINE_DATA_FL | FS_HUGE_FILE_FL | FS_EOFBLOCKS_FL |
                          FS_EA_INODE_FL | FS_INDEX_FL | FS_DIRTY_FL | FS_COMPRBLK_FL |
                          FS_ENCRYPT_FL | FS_VERITY_FL | FS_CASEFOLD_FL;

// Gives file the inode flags (chattr) and the project ID of original. Done before any text,
// because some flags (no copy-on-write, compression) only take hold on an empty file. False when
// the file system or the process's rights do not allow them.
bool carryFlags(int original, int file)
{
    int flags = 0;
    int now = 0;
    if (::ioctl(original, FS_IOC_GETFLAGS, &flags) == 0) {
        if (::ioctl(file, FS_IOC_GETFLAGS, &now) != 0)
            return false;
        if ((now ^ flags) & ~kOwnFlags) {
            int wanted = (now & kOwnFlags) | (flags & ~kOwnFlags);
            if (::ioctl(file, FS_IOC_SETFLAGS, &wanted) != 0 ||
                ::ioctl(file, FS_IOC_GETFLAGS, &now) != 0 || ((now ^ flags) & ~kOwnFlags))
                return false;
        }
    }
    struct fsxattr old;
    struct fsxattr attributes;
    if (::ioctl(original, FS_IOC_FSGETXATTR, &old) != 0)
        return true;
    if (::ioctl(file, FS_IOC_FSGETXATTR, &attributes) != 0)
        return false;
    if (attributes.fsx_projid == old.fsx_projid)
        return true;
    attributes.fsx_projid = old.fsx_projid;
    return ::ioctl(file, FS_IOC_FSSETXATTR, &attributes) == 0 &&
           ::ioctl(file, FS_IOC_FSGETXATTR, &attributes) == 0 &&
           attributes.fsx_projid == old.fsx_projid;
}

// Errors by which a folder, rather than the file, refuses a new file in it or in the file's place:
// a folder the user may not write to or on a read-only mount, a sticky folder and a file of
// another user, a file mounted over (as containers do), a name on another mount.
bool refusedByFolder(int error, bool renaming)
{
    return error == EACCES || error == EPERM || error == EROFS ||
           (renaming && (error == EBUSY || error == EXDEV));
}

// Makes sure that the file system holds the blocks for size bytes of file before its text is
// written over: a write in place that ran out of space would leave neither the old text nor the
// new. False with errno set and the file's text as it was.
bool reserve(int file, const struct stat &old, std::size_t size)
{
    // Checked here because a reservation that keeps the size is not held to the limit.
    struct rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        size > limit.rlim_cur) {
        errno = EFBIG;
        return false;
    }
    if (size == 0 || ::fallocate(file, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        return true;
    int failure = errno;
    // Without a native reservation (NFS before 4.2, many FUSE file systems) posix_fallocate writes
    // a zero into every block that holds none, past the old end too.
    if (failure == EOPNOTSUPP &&
        (failure = ::posix_fallocate(file, 0, static_cast<off_t>(size))) == 0)
        return true;
    // What was reserved before the space ran out is given back, and the file keeps its time.
    struct stat now;
    if (::fstat(file, &now) == 0 &&
        (now.st_size != old.st_size || now.st_blocks != old.st_blocks) &&
        ::ftruncate(file, old.st_size) == 0) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
        static_cast<void>(::futimens(file, times));
    }
    errno = failure;
    return false;
}

// Writes bytes over the target itself, which keeps its inode with everything it carries (hard
// links above all). The text first goes whole to a synced copy beside it, where the folder takes
// one, and the space the text needs is reserved; when the write over the target still fails
// midway, that copy stays and the message names it.
bool writeInPlace(const Target &target, std::string_view bytes, std::string &error)
{
    TemporaryFile copy(target.folder.get());
    const bool copied = copy.create(0600);
    if (!copied && !refusedByFolder(errno, false))
        return failWithErrno(error);
    if (copied &&
        (!writeAll(copy.fd(), bytes) || !syncFile(copy.fd()) || !copy.giveName() || !copy.close()))
        return failWithErrno(error);
    if (!reserve(target.file.get(), target.old, bytes.size()))
        return failWithErrno(error);
    if (writeAll(target.file.get(), bytes) &&
        ::ftruncate(target.file.get(), static_cast<off_t>(bytes.size())) == 0 &&
        syncFile(target.file.get()))
        return true;
    const std::string reason = reasonFor(errno);
    if (!copied)
        return failWith(error, reason);
    copy.keep();
    return failWith(error, reason + "; the new text is kept in \"" +
                               joinedPath(target.folderPath, copy.name()) + '"');
}

enum class Replaced { Yes, Failed, CannotCarry, RefusedByFolder };

Replaced failedWith(std::string &error, bool renaming)
{
    const int failure = errno;
    error = reasonFor(failure);
    return refusedByFolder(failure, renaming) ? Replaced::RefusedByFolder : Replaced::Failed;
}

// Writes bytes to a new file that takes the place of the target's name in its folder in one
// rename, so that a failure at any step leaves the old file whole. With carry, the new file is
// given all the target's file carries, or nothing is written and the result is CannotCarry.
// Sets written to the new file.
Replaced replaceByRename(const Target &target, std::string_view bytes, bool carry,
                         FileIdentity &written, std::string &error)
{
    const int folder = target.folder.get();
    // A new file gets what the folder gives every new file: the umask, or its default ACL.
    TemporaryFile file(folder);
    if (!file.create(carry ? 0600 : 0666))
        return failedWith(error, false);
    if (carry && !carryFlags(target.file.get(), file.fd()))
        return Replaced::CannotCarry;
    if (!writeAll(file.fd(), bytes))
        return failedWith(error, false);
    // Only after the text: a write clears the set-user-ID bits and file capabilities.
    if (carry && !carryOver(target.file.get(), target.old, file.fd()))
        return Replaced::CannotCarry;
    struct stat st;
    if (!syncFile(file.fd()) || ::fstat(file.fd(), &st) != 0 || !file.giveName() || !file.close())
        return failedWith(error, false);
    if (::renameat(folder, file.name().c_str(), folder, target.name.c_str()) != 0)
        return failedWith(error, true);
    file.keep();
    written = identityOf(st);
    return Replaced::Yes;
}

} // namespace

bool saveFile(const std::string &path, std::string_view bytes, std::string &error,
              FileIdentity *identity)
{
    Target target;
    if (!findTarget(path, true, identity && identity->known ? identity : nullptr, target, error))
        return false;
    const bool exists = target.file.valid();
    FileIdentity written = identityOf(target.old);
    std::string refusal; // why the folder refused a new file in the file's place
    if (!exists || target.old.st_nlink == 1) {
        switch (replaceByRename(target, bytes, exists, written, error)) {
        case Replaced::Yes:
            if (identity)
                *identity = written;
            return true;
        case Replaced::Failed:
            return false;
        case Replaced::RefusedByFolder:
            if (!exists)
                return failWith(error, "the folder \"" + target.shownFolder() +
                                           "\" does not take new files: " + error);
            refusal = error;
            break;
        case Replaced::CannotCarry:
            break;
        }
    }
    if (!writeInPlace(target, bytes, error)) {
        if (!refusal.empty())
            error = "the folder \"" + target.shownFolder() +
                    "\" does not take a new file in this one's place (" + refusal +
                    "), and writing over the file failed: " + error;
        return false;
    }
    if (identity)
        *identity = written;
    return true;
}

bool replaceFile(const std::string &path, std::string_view bytes, std::string &error)
{
    Target target;
    FileIdentity written;
    return findTarget(path, false, nullptr, target, error) &&
           replaceByRename(target, bytes, false, written, error) == Replaced::Yes;
}

} // namespace vornex
