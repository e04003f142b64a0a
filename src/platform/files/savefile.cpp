#include "savefile.h"

#include "fd.h"
#include "readfile.h"
#include "temporaryfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vornex {

namespace {

bool failWith(std::string &error, std::string reason)
{
    error = std::move(reason);
    return false;
}

bool failWithErrno(std::string &error)
{
    return failWith(error, std::strerror(errno));
}

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

// The file a save writes, held by descriptors from the start, so that nothing can be swapped
// between the checks and the write.
struct Target
{
    Fd folder;              // the folder that holds it
    std::string folderPath; // that folder, for messages
    std::string name;       // its name in the folder
    Fd file;                // the file, opened for writing; not valid for a new file
    struct stat old = {};   // of file
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

// Opens the folder that holds the last component of path and splits off that component.
bool openFolder(const std::string &path, int from, Target &target)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : path.substr(0, std::max<std::size_t>(slash, 1));
    target.folder.reset(::openat(from, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!target.folder.valid())
        return false;
    if (folder.front() == '/' || target.folderPath.empty())
        target.folderPath = folder;
    else if (folder != ".")
        target.folderPath += '/' + folder;
    target.name = slash + 1 == path.size() ? "." : path.substr(slash + 1);
    return true;
}

// Finds the file that path names: the kernel follows the links in its folders, and links at its
// end are followed here under the kernel's rule (mayFollow), each relative to the folder that
// holds it; a dangling one names the new file. Opens an existing file for writing: a file the
// user may not write is not replaced behind its back, although the folder would allow it.
bool findTarget(const std::string &path, Target &target, std::string &error)
{
    std::string rest = path;
    struct stat st;
    bool exists = true;
    for (int links = 0;; ++links) {
        if (!openFolder(rest, target.folder.valid() ? target.folder.get() : AT_FDCWD, target))
            return failWithErrno(error);
        if (::fstatat(target.folder.get(), target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return failWithErrno(error);
            exists = false;
            break;
        }
        if (!S_ISLNK(st.st_mode))
            break;
        if (links == 40)
            return failWith(error, std::strerror(ELOOP));
        if (!mayFollow(target.folder.get(), st))
            return failWith(error, "it is a link owned by another user in \"" + target.folderPath +
                                       "\", a sticky folder open to all; such links are not "
                                       "followed");
        char link[PATH_MAX];
        const ssize_t size =
            ::readlinkat(target.folder.get(), target.name.c_str(), link, sizeof link);
        if (size < 0)
            return failWithErrno(error);
        rest.assign(link, static_cast<std::size_t>(size));
    }
    struct statfs fs;
    if (::fstatfs(target.folder.get(), &fs) == 0 &&
        (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC))
        return failWith(error, "/proc and /sys hold the system's own files, which cannot be saved "
                               "over or created");
    if (!exists)
        return true;
    if (!S_ISREG(st.st_mode))
        return failWith(error, notRegularReason(st.st_mode));
    target.file.reset(::openat(target.folder.get(), target.name.c_str(),
                               O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!target.file.valid() || ::fstat(target.file.get(), &target.old) != 0)
        return failWithErrno(error);
    return S_ISREG(target.old.st_mode) || failWith(error, notRegularReason(target.old.st_mode));
}

// Writes bytes over the target itself, which keeps its inode with everything it carries (hard
// links above all). The text first goes whole to a synced copy beside it; when the write over the
// target fails midway, that copy stays and the message names it.
bool writeInPlace(const Target &target, std::string_view bytes, std::string &error)
{
    TemporaryFile copy(target.folder.get());
    if (!copy.create(0600) || !writeAll(copy.fd(), bytes) || !syncFile(copy.fd()) ||
        !copy.giveName() || !copy.close())
        return failWithErrno(error);
    if (writeAll(target.file.get(), bytes) &&
        ::ftruncate(target.file.get(), static_cast<off_t>(bytes.size())) == 0 &&
        syncFile(target.file.get()))
        return true;
    const std::string reason = std::strerror(errno);
    copy.keep();
    return failWith(error, reason + "; the new text is kept in \"" + target.folderPath + '/' +
                               copy.name() + '"');
}

enum class Replaced { Yes, Failed, CannotCarry };

// Writes bytes to a new file that takes the place of name in folder in one rename, so that a
// failure at any step leaves the old file whole. With an original, the new file is given all it
// carries, or nothing is written and the result is CannotCarry.
Replaced replaceByRename(int folder, const std::string &name, std::string_view bytes,
                         const Target *original, std::string &error)
{
    // A new file gets what the folder gives every new file: the umask, or its default ACL.
    TemporaryFile file(folder);
    if (!file.create(original ? 0600 : 0666) || !writeAll(file.fd(), bytes)) {
        failWithErrno(error);
        return Replaced::Failed;
    }
    // Only after the text: a write clears the set-user-ID bits and file capabilities.
    if (original && !carryOver(original->file.get(), original->old, file.fd()))
        return Replaced::CannotCarry;
    if (!syncFile(file.fd()) || !file.giveName() || !file.close() ||
        ::renameat(folder, file.name().c_str(), folder, name.c_str()) != 0) {
        failWithErrno(error);
        return Replaced::Failed;
    }
    file.keep();
    return Replaced::Yes;
}

} // namespace

bool saveFile(const std::string &path, std::string_view bytes, std::string &error)
{
    Target target;
    if (!findTarget(path, target, error))
        return false;
    const bool exists = target.file.valid();
    if (!exists || target.old.st_nlink == 1) {
        const Replaced replaced = replaceByRename(target.folder.get(), target.name, bytes,
                                                  exists ? &target : nullptr, error);
        if (replaced != Replaced::CannotCarry)
            return replaced == Replaced::Yes;
    }
    return writeInPlace(target, bytes, error);
}

bool replaceFile(const std::string &path, std::string_view bytes, std::string &error)
{
    Target target;
    if (!openFolder(path, AT_FDCWD, target))
        return failWithErrno(error);
    return replaceByRename(target.folder.get(), target.name, bytes, nullptr, error) ==
           Replaced::Yes;
}

} // namespace vornex
