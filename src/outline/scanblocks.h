#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vornex {

// The single entry the outline shows when the braces of a text do not balance.
inline constexpr std::string_view kMisalignedEntry = "code blocks misalligned";

// The outline of one text: one name per "{" in text order, or the misaligned entry alone.
// Every name is a contiguous run of the text with its CR and LF characters left out, so the
// list keeps one CR/LF-free copy of the text and a begin and end per name.
class BlockList
{
public:
    BlockList() = default;
    BlockList(const BlockList &) = delete;
    BlockList &operator=(const BlockList &) = delete;
    BlockList(BlockList &&) noexcept = default;
    BlockList &operator=(BlockList &&) noexcept = default;

    // True when the braces do not balance; the list then holds the misaligned entry alone.
    bool misaligned() const { return m_misaligned; }
    // The number of entries, never 0.
    std::size_t size() const { return m_misaligned ? 1 : m_runs.size(); }
    // Entry i (0-based) as UTF-8 bytes; valid until the next scan into this list.
    std::string_view entry(std::size_t i) const;
    // All entries as strings, for tests and tools.
    std::vector<std::string> entries() const;

private:
    friend void ScanBlocks(std::string_view text, BlockList &out);

    struct Run
    {
        std::size_t begin;
        std::size_t end;
    };

    bool m_misaligned = true;
    std::unique_ptr<char[]> m_names;
    std::size_t m_namesCapacity = 0;
    std::vector<Run> m_runs;
};

// Scans text (the editor's bytes, UTF-8) for code blocks into out, reusing its storage.
// Runs in time linear in the length of the text, at any length.
void ScanBlocks(std::string_view text, BlockList &out);

// Scans text for code blocks; see the overload above.
BlockList ScanBlocks(std::string_view text);

// The characters of Source at the 1-based positions p with Startx <= p < Stopx, leaving out
// positions outside Source and every CR and LF.
std::string mStringMid(std::string_view Source, std::ptrdiff_t Startx, std::ptrdiff_t Stopx);

} // namespace vornex
