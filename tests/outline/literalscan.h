#pragma once

// A slow, literal transcription of the block scanner's two passes: 1-based positions, a walk
// back from every brace and a copy of every name. The tests hold the fast scanner against it.

#include "outline/scanblocks.h"

#include <string>
#include <string_view>
#include <vector>

namespace vornex::literal {

// The characters of Source at the positions Startx to Stopx - 1, one by one, leaving out
// positions outside Source and every CR and LF.
template <typename Char>
std::basic_string<Char> mStringMidOf(std::basic_string_view<Char> Source, std::ptrdiff_t Startx,
                                     std::ptrdiff_t Stopx)
{
    std::basic_string<Char> result;
    const auto length = static_cast<std::ptrdiff_t>(Source.size());
    for (std::ptrdiff_t pos = Startx; pos < Stopx; ++pos) {
        if (pos < 1 || pos > length)
            continue;
        const Char ch = Source[static_cast<std::size_t>(pos - 1)];
        if (ch != '\r' && ch != '\n')
            result.push_back(ch);
    }
    return result;
}

// The scan over characters of any width: bytes for UTF-8 text, char16_t for the UTF-16 text an
// edit control returns.
template <typename Char>
std::vector<std::basic_string<Char>> ScanBlocksOf(std::basic_string_view<Char> text)
{
    const auto length = static_cast<std::ptrdiff_t>(text.size());
    auto at = [&](std::ptrdiff_t pos) {
        return text[static_cast<std::size_t>(pos - 1)];
    };

    bool inside = false;
    std::ptrdiff_t opening = 0;
    std::ptrdiff_t closing = 0;
    for (std::ptrdiff_t pos = 1; pos <= length; ++pos) {
        const Char ch = at(pos);
        if (ch == '"')
            inside = !inside;
        if (!inside) {
            if (ch == '{')
                ++opening;
            if (ch == '}')
                ++closing;
        }
    }
    if (opening != closing || opening == 0 || closing == 0)
        return {std::basic_string<Char>(kMisalignedEntry.begin(), kMisalignedEntry.end())};

    std::vector<std::basic_string<Char>> entries;
    auto next = [&](std::ptrdiff_t from) -> std::ptrdiff_t {
        for (std::ptrdiff_t pos = from; pos <= length; ++pos) {
            if (at(pos) == '{')
                return pos;
        }
        return 0;
    };
    for (std::ptrdiff_t p = next(1); p != 0; p = next(p + 1)) {
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
        entries.push_back(mStringMidOf(text, s, p));
    }
    return entries;
}

inline std::vector<std::string> ScanBlocks(std::string_view text)
{
    return ScanBlocksOf(text);
}

} // namespace vornex::literal
