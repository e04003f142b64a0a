#pragma once

#include <cstddef>
#include <string_view>

namespace vornex {

// A line break of a text: CR LF, a lone LF or a lone CR.
struct LineBreak
{
    std::size_t at;     // where it starts; the text's length when there is none
    std::size_t length; // 2 for CR LF, 1 for a lone CR or LF, 0 when there is none
};

// The first line break of text at or after from.
LineBreak nextLineBreak(std::string_view text, std::size_t from);

// The number of lines of text: each line break ends one, and a last line without one counts too.
std::size_t countLines(std::string_view text);

} // namespace vornex
