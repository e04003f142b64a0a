#include "target.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace vornex {

namespace {

// "name (uid 1000)", or "the user with uid 1000" where the system knows no name.
std::string ownerName(uid_t uid)
{
    struct passwd entry;
    struct passwd *found = nullptr;
    char buffer[4096];
    const std::string number = std::to_string(uid);
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found)
        return std::string(found->pw_name) + " (uid " + number + ')';
    return "the user with uid " + number;
}

// Puts the parts of path in front of rest, which holds the parts still to walk last first. A path
// that ends in '/' or "." names a folder, and keeps a "." at the end to say so.
void prepend(std::vector<std::string> &rest, const std::string &path)
{
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start && path.compare(start, end - start, ".") != 0)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    if (rest.empty() && !path.empty() &&
        (path.back() == '/' || path == "." || path.ends_with("/.")))
        parts.emplace_back(".");
    rest.insert(rest.end(), parts.rbegin(), parts.rend());
}

// fs.protected_symlinks: in a folder that everyone may write to and that has the sticky bit
// (/tmp), anyone may have planted a link, so it is followed only when it belongs to the user or
// to the folder's owner.
bool mayFollow(int folder, const struct stat &link)
{
    struct stat st;
    return ::fstat(folder, &st) == 0 &&
           ((st.st_mode & (S_ISVTX | S_IWOTH)) != (S_ISVTX | S_IWOTH) ||
            link.st_uid == ::geteuid() || link.st_uid == st.st_uid);
}

// File systems through which the kernel shows and takes its own state: writing there is never
// saving a text.
bool holdsSystemFiles(int folder)
{
    struct statfs fs;
    if (::fstatfs(folder, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case BPF_FS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string reasonFor(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return std::string("the disk is full (") + std::strerror(error) + ')';
    case EFBIG: {
        struct rlimit limit;
        if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            return "the file would exceed the file-size limit of " +
                   std::to_string(limit.rlim_cur) + " bytes (ulimit -f)";
        return "the file would exceed the largest file its file system holds";
    }
    default:
        return std::strerror(error);
    }
}

bool failWith(std::string &error, std::string reason)
{
    error = std::move(reason);
    return false;
}

bool failWithErrno(std::string &error)
{
    return failWith(error, reasonFor(errno));
}

std::string joinedPath(const std::string &path, const std::string &name)
{
    return path.empty() ? name : path + (path.back() == '/' ? "" : "/") + name;
}

bool findTarget(const std::string &path, bool followLast, const FileIdentity *expected,
                Target &target, std::string &error)
{
    std::vector<std::string> rest;
    prepend(rest, path);
    if (rest.empty())
        return failWith(error, std::strerror(ENOENT));
    const auto startAt = [&](const std::string &from) {
        const bool absolute = from.front() == '/';
        target.folder.reset(::open(absolute ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        target.folderPath.assign(absolute ? 1 : 0, '/');
        return target.folder.valid();
    };
    if (!startAt(path))
        return failWithErrno(error);
    std::string foreignLink; // the first link on the way that belongs to another user, not root
    uid_t foreignOwner = 0;
    struct stat st;
    bool exists = true;
    for (int links = 0;;) {
        std::string part = std::move(rest.back());
        rest.pop_back();
        const bool last = rest.empty();
        // A folder on the way is opened as one, which mounts what is mounted on demand (autofs);
        // what is not a folder there may be a link.
        const int flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
        Fd next(last ? -1 : ::openat(target.folder.get(), part.c_str(), flags | O_DIRECTORY));
        if (!next.valid() && (last || errno == ENOTDIR))
            next.reset(::openat(target.folder.get(), part.c_str(), flags));
        if (!next.valid() && last && errno == ENOENT) {
            target.name = std::move(part);
            exists = false;
            break;
        }
        if (!next.valid() || ::fstat(next.get(), &st) != 0)
            return failWithErrno(error);
        if (S_ISLNK(st.st_mode) && (followLast || !last)) {
            const std::string link = joinedPath(target.folderPath, part);
            if (!mayFollow(target.folder.get(), st))
                return failWith(error,
                                "the link \"" + link + "\" belongs to " + ownerName(st.st_uid) +
                                    ", neither you nor the owner of \"" + target.shownFolder() +
                                    "\", a sticky folder open to all; such links are not "
                                    "followed");
            // Root's links are the system's own (/home -> var/home), and root may write any file.
            if (st.st_uid != ::geteuid() && st.st_uid != 0 && foreignLink.empty())
                foreignLink = link, foreignOwner = st.st_uid;
            if (++links > 40)
                return failWith(error, std::strerror(ELOOP));
            char to[PATH_MAX];
            const ssize_t size = ::readlinkat(next.get(), "", to, sizeof to);
            if (size <= 0 || std::size_t(size) == sizeof to)
                return failWith(error, size < 0 ? reasonFor(errno) : std::strerror(ENAMETOOLONG));
            const std::string destination(to, static_cast<std::size_t>(size));
            if (destination.front() == '/' && !startAt(destination))
                return failWithErrno(error);
            prepend(rest, destination);
            continue;
        }
        if (last) {
            target.name = std::move(part);
            break;
        }
        if (!S_ISDIR(st.st_mode))
            return failWith(error, std::strerror(ENOTDIR));
        target.folder = std::move(next);
        target.folderPath = joinedPath(target.folderPath, part);
    }
    if (holdsSystemFiles(target.folder.get()))
        return failWith(error, '"' + target.shownFolder() +
                                   "\" holds the system's own files, as /proc and /sys do, which "
                                   "cannot be saved over or created");
    if (expected && !foreignLink.empty() && (!exists || identityOf(st) != *expected))
        return failWith(error, "the link \"" + foreignLink + "\" belongs to " +
                                   ownerName(foreignOwner) +
                                   " and now leads to another file than the one opened or last "
                                   "saved; it is not followed");
    if (!exists || !followLast)
        return true;
    if (!S_ISREG(st.st_mode))
        return failWith(error, notRegularReason(st.st_mode));
    target.file.reset(::openat(target.folder.get(), target.name.c_str(),
                               O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!target.file.valid() || ::fstat(target.file.get(), &target.old) != 0)
        return failWithErrno(error);
    return S_ISREG(target.old.st_mode) || failWith(error, notRegularReason(target.old.st_mode));
}

} // namespace vornex
