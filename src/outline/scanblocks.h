#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vornex {

// The single entry the outline shows when the braces of a text do not balance.
inline constexpr std::string_view kMisalignedEntry = "code blocks misalligned";

// The outline of one text: one name per "{" in text order, or the misaligned entry alone.
// Every name is a contiguous run of the scanned text with its CR and LF characters left out, so
// the list holds only a begin and end per name and makes a name's string when it is asked for.
class BlockList
{
public:
    // A name's run in the scanned text: 0-based, from begin up to but not including end.
    struct Run
    {
        std::size_t begin;
        std::size_t end;
    };

    // True when the braces do not balance; the list then holds the misaligned entry alone.
    bool misaligned() const { return m_misaligned; }
    // The number of entries, never 0.
    std::size_t size() const { return m_misaligned ? 1 : m_runs.size(); }
    // The run of entry i; only while the braces balance.
    Run run(std::size_t i) const { return m_runs[i]; }
    // Entry i, cut from text, which must be the text this list was scanned from.
    std::string entry(std::size_t i, std::string_view text) const;
    // All entries, cut from the text this list was scanned from.
    std::vector<std::string> entries(std::string_view text) const;

private:
    friend void ScanBlocks(std::string_view text, BlockList &out);

    bool m_misaligned = true;
    std::vector<Run> m_runs;
};

// The name of the block whose run is run in text: its characters but CR and LF. A run that
// reaches past the end of text is cut to it.
std::string blockName(std::string_view text, BlockList::Run run);

// Appends to name the characters of run, a name's run in its text, that the name is made of: all
// but CR and LF. Stops once name holds limit bytes; returns how many bytes of run it read.
std::size_t appendBlockName(std::string &name, std::string_view run,
                     std::size_t limit = std::string::npos);

// Scans text (the editor's bytes, UTF-8) for code blocks into out, reusing its storage.
// Runs in time linear in the length of the text, at any length.
void ScanBlocks(std::string_view text, BlockList &out);

// Scans text for code blocks; see the overload above.
BlockList ScanBlocks(std::string_view text);

} // namespace vornex
