#include "scanblocks.h"

#include "scanparts.h"

#include <algorithm>

namespace vornex {

std::string BlockList::entry(std::size_t i, std::string_view text) const
{
    return m_misaligned ? std::string(kMisalignedEntry) : blockName(text, m_runs[i]);
}

std::string blockName(std::string_view text, BlockList::Run run)
{
    // The text may have changed since the scan (the list is rebuilt after the change is drawn),
    // so the run is cut to the text as it is now.
    const std::size_t end = std::min(run.end, text.size());
    const std::size_t begin = std::min(run.begin, end);
    std::string name;
    appendBlockName(name, text.substr(begin, end - begin));
    return name;
}

std::size_t appendBlockName(std::string &name, std::string_view run, std::size_t limit)
{
    std::size_t pos = 0;
    for (; pos < run.size() && name.size() < limit; ++pos) {
        if (run[pos] != '\r' && run[pos] != '\n')
            name.push_back(run[pos]);
    }
    return pos;
}

std::vector<std::string> BlockList::entries(std::string_view text) const
{
    std::vector<std::string> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        result.push_back(entry(i, text));
    return result;
}

void ScanBlocks(std::string_view text, BlockList &out)
{
    out.m_runs.clear();
    scan::NameStarts names(text.data());
    // The names are dropped when the braces do not balance; a name whose start lies before the
    // text starts with it.
    const scan::BraceCounts counts =
        scan::countBraces(text.data(), text.size(), [&](std::size_t pos) {
            const std::size_t begin = names.at(pos);
            out.m_runs.push_back({begin >= scan::kStopBefore ? 0 : begin, pos});
        });
    out.m_misaligned = counts.opening != counts.closing || counts.opening == 0;
    if (out.m_misaligned)
        out.m_runs.clear();
}

BlockList ScanBlocks(std::string_view text)
{
    BlockList list;
    ScanBlocks(text, list);
    return list;
}

} // namespace vornex
