#include "textlines.h"

namespace vornex {

LineBreak nextLineBreak(std::string_view text, std::size_t from)
{
    const std::size_t at = text.find_first_of("\r\n", from);
    if (at == std::string_view::npos)
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
