#pragma once

#include "readfile.h"

#include <string>
#include <string_view>

namespace vornex {

// Replaces the file at path with bytes and keeps all the old file carries: in one rename where the
// new file can carry it and the folder allows it, else written over in place after a synced copy
// and a reservation of the space. Links are followed under the kernel's protected_symlinks rule.
// A known *identity is the file that path led to when it was opened or last saved: a link of
// another user than root that now leads elsewhere is refused. On success *identity, when given, is
// set to the file written. On failure returns false and sets error to the reason; the old file
// stays whole, or after a failed write in place the reason names the copy.
bool saveFile(const std::string &path, std::string_view bytes, std::string &error,
              FileIdentity *identity = nullptr);

// Replaces the file at path, a link itself rather than what it names, with a new file that holds
// bytes and gets what any new file in its folder gets, in one rename, so that a reader sees the
// old file or the whole new one. On failure returns false, sets error, and the old file stays.
bool replaceFile(const std::string &path, std::string_view bytes, std::string &error);

} // namespace vornex
