#pragma once

#include "outline.h"
#include "scanblocks.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace vornex::test {

// A text edited step by step and its outline, which follows the edits and is held against a
// fresh scan after each update: the same runs, and every entry outside the change it reports as
// it was. Each check is linear in the text.
class EditedText
{
public:
    explicit EditedText(std::size_t chunkBytes) : m_outline(chunkBytes) {}

    void replace(std::size_t at, std::size_t removed, std::string_view inserted)
    {
        m_outline.change(at, removed, inserted.size());
        m_text.replace(at, removed, inserted);
    }
    const std::string &text() const { return m_text; }

    // Updates the outline; what differs, or an empty string.
    std::string check()
    {
        const Outline::Change change = m_outline.update(
            {[&] { return m_text.size(); },
             [&](std::size_t at, std::size_t length) {
                 return std::string_view(m_text).substr(std::min(at, m_text.size()), length);
             }});
        const BlockList fresh = ScanBlocks(m_text);
        if (m_outline.misaligned() != fresh.misaligned() || m_outline.size() != fresh.size())
            return "the entry count";
        std::vector<BlockList::Run> runs;
        for (std::size_t i = 0; i < fresh.size() && !fresh.misaligned(); ++i) {
            runs.push_back(m_outline.run(i));
            if (runs[i].begin != fresh.run(i).begin || runs[i].end != fresh.run(i).end)
                return "the run of entry " + std::to_string(i);
        }
        const std::size_t before = m_misaligned ? 1 : m_runs.size(), after = fresh.size();
        if (change.first + change.removed > before ||
            before - change.removed != after - change.inserted)
            return "the change's counts";
        // Entries are compared as strings only where their runs do not show them equal: both
        // before the first byte that changed, or both after the last.
        const std::size_t same = std::size_t(
            std::mismatch(m_text.begin(), m_text.end(), m_before.begin(), m_before.end()).first -
            m_text.begin());
        std::size_t sameEnd = 0;
        while (sameEnd < std::min(m_text.size(), m_before.size()) - same &&
               m_text.rbegin()[sameEnd] == m_before.rbegin()[sameEnd])
            ++sameEnd;
        const auto kept = [&](std::size_t was, std::size_t is) {
            if (m_misaligned || fresh.misaligned())
                return m_misaligned == fresh.misaligned();
            const BlockList::Run a = m_runs[was], b = runs[is];
            if (a.begin == b.begin && a.end == b.end && b.end <= same)
                return true;
            if (b.begin >= m_text.size() - sameEnd &&
                a.begin + m_text.size() == b.begin + m_before.size() &&
                a.end - a.begin == b.end - b.begin)
                return true;
            return blockName(m_before, a) == blockName(m_text, b);
        };
        for (std::size_t i = 0; i < change.first; ++i) {
            if (!kept(i, i))
                return "entry " + std::to_string(i) + " before the change";
        }
        for (std::size_t k = 1; k <= before - change.first - change.removed; ++k) {
            if (!kept(before - k, after - k))
                return "entry " + std::to_string(after - k) + " after the change";
        }
        m_before = m_text;
        m_runs = std::move(runs);
        m_misaligned = fresh.misaligned();
        return {};
    }

private:
    std::string m_text;
    std::string m_before;
    Outline m_outline;
    // The runs of the last check; none while the text is misaligned.
    std::vector<BlockList::Run> m_runs;
    bool m_misaligned = true;
};

} // namespace vornex::test
