#include "textlines.h"

namespace vornex {

LineBreak nextLineBreak(std::string_view text, std::size_t from)
{
    // A plain walk: find_first_of looks each byte up in the set of two with a call of its own,
    // and a search for each byte apart reads to the end of a text without it on every line.
    std::size_t at = from;
    while (at < text.size() && text[at] != '\n' && text[at] != '\r')
        ++at;
    if (at >= text.size())
        return {text.size(), 0};
    const bool crLf = text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n';
    return {at, crLf ? 2u : 1u};
}

std::size_t countLines(std::string_view text)
{
    std::size_t lines = 0;
    std::size_t start = 0;
    for (;;) {
        const LineBreak next = nextLineBreak(text, start);
        if (next.length == 0)
            return lines + (start < text.size() ? 1 : 0);
        ++lines;
        start = next.at + next.length;
    }
}

} // namespace vornex
