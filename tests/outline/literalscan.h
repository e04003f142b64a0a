#pragma once

// A slow, literal transcription of the block scanner's two passes: 1-based positions, a walk
// back from every brace and a copy of every name. The tests hold the fast scanner against it.

#include "scanblocks.h"

#include <string>
#include <string_view>
#include <vector>

namespace vornex::literal {

// The scan over characters of any width: bytes for UTF-8 text, char16_t for the UTF-16 text an
// edit control returns.
template <typename Char>
std::vector<std::basic_string<Char>> ScanBlocksOf(std::basic_string_view<Char> text)
{
    const auto length = static_cast<std::ptrdiff_t>(text.size());
    auto at = [&](std::ptrdiff_t pos) {
        return text[static_cast<std::size_t>(pos - 1)];
    };

    // First pass: the braces outside quotes must balance.
    bool inside = false;
    std::ptrdiff_t opening = 0, closing = 0;
    for (std::ptrdiff_t pos = 1; pos <= length; ++pos) {
        inside = inside != (at(pos) == '"');
        opening += !inside && at(pos) == '{';
        closing += !inside && at(pos) == '}';
    }
    if (opening != closing || opening == 0)
        return {std::basic_string<Char>(kMisalignedEntry.begin(), kMisalignedEntry.end())};

    // Second pass: every "{", quoted or not, is named by the characters from the "}" or CR before
    // it that follows the name's first character, to the brace, without CR and LF.
    std::vector<std::basic_string<Char>> entries;
    for (std::ptrdiff_t p = 1; p <= length; ++p) {
        if (at(p) != '{')
            continue;
        std::ptrdiff_t s = 1;
        bool nameSeen = false;
        for (std::ptrdiff_t j = p; j >= 1; --j) {
            const Char ch = at(j);
            if (!nameSeen && ch != '\r' && ch != '\n' && ch != ' ' && ch != '{')
                nameSeen = true;
            if (nameSeen && (ch == '}' || ch == '\r')) {
                s = j;
                break;
            }
        }
        std::basic_string<Char> name;
        for (std::ptrdiff_t pos = s; pos < p; ++pos) {
            if (at(pos) != '\r' && at(pos) != '\n')
                name.push_back(at(pos));
        }
        entries.push_back(name);
    }
    return entries;
}

inline std::vector<std::string> ScanBlocks(std::string_view text)
{
    return ScanBlocksOf(text);
}

} // namespace vornex::literal
