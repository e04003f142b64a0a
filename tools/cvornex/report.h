#pragma once

#include <string>
#include <string_view>

namespace cvornex {

// The whole debug report for the source at sourcePath with the given bytes: path, size in
// lines, block outline or brace error, and the numbered source. Each block name is shown once,
// from where the name before it ends, cut to its first and last 60 bytes when longer, so that the
// report grows linearly: at most 40 bytes per source byte, 12 per byte of the path, and 4 KiB.
std::string debugReport(std::string_view sourcePath, std::string_view source);

} // namespace cvornex
