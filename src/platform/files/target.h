#pragma once

#include "fd.h"
#include "readfile.h"

#include <string>

#include <sys/stat.h>

namespace vornex {

// The file a save writes, held by descriptors from the start, so that nothing can be swapped
// between the checks and the write.
struct Target
{
    Fd folder;              // the folder that holds it
    std::string folderPath; // that folder, for messages
    std::string name;       // its name in the folder
    Fd file;                // the file, opened for writing; not valid for a new file
    struct stat old = {};   // of file

    // The folder as messages name it.
    std::string shownFolder() const { return folderPath.empty() ? "." : folderPath; }
};

// Finds the file that path names, walking it part by part from a folder descriptor, so that the
// kernel never follows a link on its own. Every link on the way, and one at the end when
// followLast, is followed under the kernel's protected_symlinks rule whatever the system's
// setting: not a link in a sticky folder open to all that belongs neither to the user nor to the
// folder's owner. With an expected file (the one opened or last saved), a link of another user
// than root that now leads elsewhere is refused too. Refuses the system's own files (/proc, /sys,
// cgroups) and what is not a regular file; opens an existing file for writing, so that a file the
// user may not write is not replaced behind its back, although the folder would allow it. Without
// followLast only the folder and the name are found, whatever the name holds. On failure returns
// false and sets error to the reason.
bool findTarget(const std::string &path, bool followLast, const FileIdentity *expected,
                Target &target, std::string &error);

// Why a call failed with the error number given, as the user reads it: a full disk, the
// file-size limit, else the system's text.
std::string reasonFor(int error);

// Sets error to reason and returns false.
bool failWith(std::string &error, std::string reason);
// Sets error to reasonFor(errno) and returns false.
bool failWithErrno(std::string &error);

// path joined to name with one '/'; an empty path is the working folder.
std::string joinedPath(const std::string &path, const std::string &name);

} // namespace vornex
