#pragma once

#include "scanblocks.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vornex {

// The outline of a text that changes, kept up to date by what changed: the same entries as
// ScanBlocks of the whole text, at a cost in proportion to the change (and the logarithm of the
// text) instead of the text.
//
// The text is held as summaries of chunks of a few KiB in a balanced tree: per chunk its length,
// its braces with where their names begin (or that a name begins before the chunk), and the brace
// counts for both quote states at its start, so that a quote typed early in the text changes only
// its own chunk. A change rescans only the chunks it touches.
class Outline
{
public:
    // The text as the outline reads it: its length, and up to length bytes from position on. A
    // view read stays valid until the next read or change of the text.
    struct Text
    {
        std::function<std::size_t()> length;
        std::function<std::string_view(std::size_t position, std::size_t length)> bytes;
    };

    // What an update changed: entries [first, first + removed) of the list before it gave way to
    // entries [first, first + inserted) of the list after it; every other entry is as it was.
    struct Change
    {
        std::size_t first = 0;
        std::size_t removed = 0;
        std::size_t inserted = 0;
    };

    // The most bytes a chunk holds by default.
    static constexpr std::size_t kChunkBytes = 4096;

    // The outline of the empty text, with chunks of at most chunkBytes.
    explicit Outline(std::size_t chunkBytes = kChunkBytes);
    ~Outline();
    Outline(Outline &&) noexcept;
    Outline &operator=(Outline &&) noexcept;

    // Scans text whole.
    void reset(std::string_view text);
    // Notes a change of the text: at position, removed bytes gave way to inserted bytes. The
    // outline follows at the next update.
    void change(std::size_t position, std::size_t removed, std::size_t inserted);
    // Rescans what changed since the last reset or update; the whole text when its length does
    // not match the changes noted.
    Change update(const Text &text);

    // As BlockList: true when the braces do not balance, the entry count (never 0), the run of
    // entry i in the text and entry i itself; the runs are those of the last update.
    bool misaligned() const;
    std::size_t size() const;
    BlockList::Run run(std::size_t i) const;
    std::string entry(std::size_t i, std::string_view text) const;

private:
    class Tree;
    std::unique_ptr<Tree> m_tree;
};

} // namespace vornex
