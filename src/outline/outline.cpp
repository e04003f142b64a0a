#include "outline.h"

#include "scanparts.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace vornex {

namespace {

using scan::kNameBefore;
using scan::kNone;
using scan::kStopBefore;

constexpr std::uint32_t kNil = UINT32_MAX;

// A stretch of the text as the outline needs it: one chunk, or several in a row.
struct Summary
{
    std::size_t length = 0;
    std::size_t chunks = 0;
    // Every "{", quoted or not: the entries of a text that balances.
    std::size_t braces = 0;
    // The braces outside quotes when the stretch starts outside [0] or inside [1] them.
    std::size_t opening[2] = {};
    std::size_t closing[2] = {};
    // The last "}" or CR.
    std::size_t lastStop = kNone;
    // Where the name of a brace right after the stretch begins, as scan::NameStarts::at says.
    std::size_t nameStart = kNameBefore;
    bool oddQuotes = false;
};

// The summary of a followed by b.
Summary operator+(const Summary &a, const Summary &b)
{
    Summary s;
    s.length = a.length + b.length;
    s.chunks = a.chunks + b.chunks;
    s.braces = a.braces + b.braces;
    for (unsigned q = 0; q < 2; ++q) {
        s.opening[q] = a.opening[q] + b.opening[q ^ a.oddQuotes];
        s.closing[q] = a.closing[q] + b.closing[q ^ a.oddQuotes];
    }
    s.lastStop = b.lastStop != kNone ? a.length + b.lastStop : a.lastStop;
    if (b.nameStart < kStopBefore)
        s.nameStart = a.length + b.nameStart;
    else if (b.nameStart == kNameBefore)
        s.nameStart = a.nameStart;
    else
        s.nameStart = a.lastStop != kNone ? a.lastStop : kStopBefore;
    s.oddQuotes = a.oddQuotes != b.oddQuotes;
    return s;
}

// A name's start: a stop character, or the start of the text when no stop precedes the name.
struct Start
{
    std::size_t at;
    bool atStop;
};

// The start of a name given as start within a chunk that follows the stretch before.
Start resolve(const Summary &before, std::size_t start)
{
    if (start < kStopBefore)
        return {before.length + start, true};
    const std::size_t at = start == kStopBefore ? before.lastStop : before.nameStart;
    return at < kStopBefore ? Start{at, true} : Start{0, false};
}

// A brace of a chunk and where its name starts, both within the chunk (or a marker of
// scan::NameStarts, narrowed): chunks are small, and a text may hold millions of braces.
struct Brace
{
    std::uint32_t at;
    std::uint32_t start;
};

std::uint32_t narrow(std::size_t start)
{
    return start >= kStopBefore ? static_cast<std::uint32_t>(kNil - (kNameBefore - start))
                                : static_cast<std::uint32_t>(start);
}

std::size_t widen(std::uint32_t start)
{
    return start >= kNil - 1 ? kNameBefore - (kNil - start) : start;
}

// A chunk in the tree: its own summary, that of its subtree, and its braces. Kept in order of
// the text, and as a heap of random priorities (a treap), so that the tree stays balanced.
struct Node
{
    Summary own;
    Summary sum;
    std::vector<Brace> braces;
    std::uint32_t left = kNil;
    std::uint32_t right = kNil;
    std::uint32_t priority = 0;
};

} // namespace

class Outline::Tree
{
public:
    explicit Tree(std::size_t chunkBytes) : m_chunkBytes(std::max<std::size_t>(chunkBytes, 1)) {}

    void reset(std::string_view text)
    {
        release(m_root);
        m_root = build(text);
        m_changed = false;
    }

    void change(std::size_t position, std::size_t removed, std::size_t inserted)
    {
        // The changed range, in the text after the change; unsigned arithmetic wraps back.
        if (!m_changed) {
            m_changed = true;
            m_lo = position;
            m_hi = position + inserted;
            m_growth = inserted - removed;
            return;
        }
        m_hi = m_hi >= position + removed ? m_hi - removed + inserted : position + inserted;
        m_lo = std::min(m_lo, position);
        m_growth += inserted - removed;
    }

    Change update(const Text &text)
    {
        const std::size_t length = text.length();
        const bool wasMisaligned = misaligned();
        const std::size_t before = size();
        if (!m_changed && length == sum(m_root).length)
            return {};
        const bool noted = std::exchange(m_changed, false);
        const std::size_t hi = m_hi - m_growth; // in the text before the change
        if (!noted || sum(m_root).length + m_growth != length || m_hi > length ||
            !replaceChunks(text, m_lo, hi)) {
            reset(text.bytes(0, length));
            return {0, before, size()};
        }
        return changedEntries(wasMisaligned, before);
    }

    bool misaligned() const
    {
        const Summary &all = sum(m_root);
        return all.opening[0] != all.closing[0] || all.opening[0] == 0;
    }

    std::size_t size() const { return misaligned() ? 1 : sum(m_root).braces; }

    // The run of entry i, and whether its name starts at a stop.
    std::pair<BlockList::Run, bool> locate(std::size_t i) const
    {
        Summary before;
        for (std::uint32_t t = m_root; t != kNil;) {
            const Node &node = m_nodes[t];
            const Summary &left = sum(node.left);
            if (i < left.braces) {
                t = node.left;
                continue;
            }
            i -= left.braces;
            before = before + left;
            if (i < node.braces.size()) {
                const Brace brace = node.braces[i];
                const Start start = resolve(before, widen(brace.start));
                return {{start.at, before.length + brace.at}, start.atStop};
            }
            i -= node.braces.size();
            before = before + node.own;
            t = node.right;
        }
        return {{0, 0}, false};
    }

private:
    const Summary &sum(std::uint32_t t) const
    {
        static const Summary empty;
        return t == kNil ? empty : m_nodes[t].sum;
    }

    void pull(std::uint32_t t)
    {
        Node &node = m_nodes[t];
        node.sum = sum(node.left) + node.own + sum(node.right);
    }

    std::uint32_t merge(std::uint32_t a, std::uint32_t b)
    {
        if (a == kNil || b == kNil)
            return a == kNil ? b : a;
        if (m_nodes[a].priority > m_nodes[b].priority) {
            m_nodes[a].right = merge(m_nodes[a].right, b);
            pull(a);
            return a;
        }
        m_nodes[b].left = merge(a, m_nodes[b].left);
        pull(b);
        return b;
    }

    // The first chunks chunks of t, and the rest.
    std::pair<std::uint32_t, std::uint32_t> split(std::uint32_t t, std::size_t chunks)
    {
        if (t == kNil)
            return {kNil, kNil};
        const std::size_t left = sum(m_nodes[t].left).chunks;
        if (chunks <= left) {
            const auto [a, b] = split(m_nodes[t].left, chunks);
            m_nodes[t].left = b;
            pull(t);
            return {a, t};
        }
        const auto [a, b] = split(m_nodes[t].right, chunks - left - 1);
        m_nodes[t].right = a;
        pull(t);
        return {t, b};
    }

    void release(std::uint32_t t)
    {
        if (t == kNil)
            return;
        release(m_nodes[t].left);
        release(m_nodes[t].right);
        m_free.push_back(t);
    }

    std::uint32_t allocate()
    {
        std::uint32_t t;
        if (m_free.empty()) {
            t = static_cast<std::uint32_t>(m_nodes.size());
            m_nodes.emplace_back();
        } else {
            t = m_free.back();
            m_free.pop_back();
        }
        // xorshift64*: the same tree for the same edits, run after run.
        m_random ^= m_random >> 12;
        m_random ^= m_random << 25;
        m_random ^= m_random >> 27;
        Node &node = m_nodes[t];
        node.left = node.right = kNil;
        node.priority = static_cast<std::uint32_t>((m_random * 0x2545F4914F6CDD1DULL) >> 32);
        return t;
    }

    std::uint32_t scanChunk(std::string_view bytes)
    {
        const std::uint32_t t = allocate();
        Node &node = m_nodes[t];
        node.braces.clear();
        // Chunks of a text are alike: room for as many braces as the last one had, and some.
        node.braces.reserve(m_lastBraces + m_lastBraces / 4 + 8);
        scan::NameStarts names(bytes.data());
        const scan::BraceCounts counts =
            scan::countBraces(bytes.data(), bytes.size(), [&](std::size_t pos) {
                node.braces.push_back({static_cast<std::uint32_t>(pos), narrow(names.at(pos))});
            });
        m_lastBraces = node.braces.size();
        Summary &own = node.own;
        own.length = bytes.size();
        own.chunks = 1;
        own.braces = node.braces.size();
        own.opening[0] = counts.opening;
        own.opening[1] = own.braces - counts.opening;
        own.closing[0] = counts.closing;
        own.closing[1] = counts.allClosing - counts.closing;
        own.nameStart = names.at(bytes.size());
        own.lastStop = names.lastStop(bytes.size());
        own.oddQuotes = counts.inside;
        node.sum = own;
        return t;
    }

    // A tree of the chunks of bytes, all about equally long and none longer than m_chunkBytes.
    // Each chunk goes to the right edge of the tree, below the last node there of a higher
    // priority, and takes the nodes it passes as its left subtree; a node leaves the right edge
    // complete.
    std::uint32_t build(std::string_view bytes)
    {
        const std::size_t n = bytes.size();
        const std::size_t chunks = (n + m_chunkBytes - 1) / m_chunkBytes;
        m_edge.clear();
        for (std::size_t i = 0; i < chunks; ++i) {
            const std::size_t from = n * i / chunks;
            const std::uint32_t t = scanChunk(bytes.substr(from, n * (i + 1) / chunks - from));
            std::uint32_t passed = kNil;
            while (!m_edge.empty() && m_nodes[m_edge.back()].priority < m_nodes[t].priority) {
                passed = m_edge.back();
                m_edge.pop_back();
                pull(passed);
            }
            m_nodes[t].left = passed;
            if (!m_edge.empty())
                m_nodes[m_edge.back()].right = t;
            m_edge.push_back(t);
        }
        for (auto t = m_edge.rbegin(); t != m_edge.rend(); ++t)
            pull(*t);
        return m_edge.empty() ? kNil : m_edge.front();
    }

    // Scans anew the chunks that held bytes [lo, hi) of the text before the change; false when
    // the text cannot give them.
    bool replaceChunks(const Text &text, std::size_t lo, std::size_t hi)
    {
        const std::size_t first = chunkAt(lo).index;
        const std::size_t last = hi > lo ? chunkAt(hi - 1).index : first;
        auto [before, rest] = split(m_root, first);
        auto [touched, after] = split(rest, last - first + 1);
        std::size_t from = sum(before).length;
        std::size_t length = sum(touched).length + m_growth;
        // A chunk shorter than half the most bytes takes in a neighbour.
        if (length < m_chunkBytes / 2 && after != kNil) {
            const auto [next, others] = split(after, 1);
            length += sum(next).length;
            release(next);
            after = others;
        } else if (length < m_chunkBytes / 2 && before != kNil) {
            const auto [others, previous] = split(before, sum(before).chunks - 1);
            from -= sum(previous).length;
            length += sum(previous).length;
            release(previous);
            before = others;
        }
        release(touched);
        const std::string_view bytes = text.bytes(from, length);
        if (bytes.size() != length)
            return false;
        m_root = merge(merge(before, build(bytes)), after);
        return true;
    }

    // A chunk: its node, its index, where it starts and the braces before it.
    struct Place
    {
        std::uint32_t node = kNil;
        std::size_t index = 0;
        std::size_t start = 0;
        std::size_t braces = 0;
    };

    // The chunk that holds byte pos; the last chunk when pos is past the end.
    Place chunkAt(std::size_t pos) const
    {
        Place place;
        pos = std::min(pos, sum(m_root).length - 1);
        for (std::uint32_t t = m_root; t != kNil;) {
            const Node &node = m_nodes[t];
            const Summary &left = sum(node.left);
            if (pos < place.start + left.length) {
                t = node.left;
                continue;
            }
            place.start += left.length;
            place.index += left.chunks;
            place.braces += left.braces;
            if (pos < place.start + node.own.length) {
                place.node = t;
                break;
            }
            place.start += node.own.length;
            ++place.index;
            place.braces += node.braces.size();
            t = node.right;
        }
        return place;
    }

    // The number of braces before byte pos.
    std::size_t bracesBefore(std::size_t pos) const
    {
        if (pos >= sum(m_root).length)
            return sum(m_root).braces;
        const Place place = chunkAt(pos);
        const std::vector<Brace> &braces = m_nodes[place.node].braces;
        return place.braces +
               std::size_t(std::partition_point(braces.begin(), braces.end(),
                                                [&](Brace b) { return b.at < pos - place.start; }) -
                           braces.begin());
    }

    // Which entries the change of bytes [m_lo, m_hi) made anew. Those of braces before it are as
    // they were, and so are those whose names start at a stop after it: such a name is the same
    // bytes as before, found by the same walk. Names start in the order of their braces.
    Change changedEntries(bool wasMisaligned, std::size_t before) const
    {
        const bool isMisaligned = misaligned();
        const std::size_t after = size();
        if (wasMisaligned || isMisaligned)
            return wasMisaligned && isMisaligned ? Change{} : Change{0, before, after};
        const std::size_t first = bracesBefore(m_lo);
        std::size_t lo = first;
        std::size_t hi = after;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            const auto [run, atStop] = locate(mid);
            if (atStop && run.begin >= m_hi)
                hi = mid;
            else
                lo = mid + 1;
        }
        const std::size_t kept = after - lo;
        if (first + kept > before)
            return {0, before, after};
        return {first, before - first - kept, lo - first};
    }

    const std::size_t m_chunkBytes;
    std::vector<Node> m_nodes;
    std::vector<std::uint32_t> m_free;
    std::size_t m_lastBraces = 0;
    std::vector<std::uint32_t> m_edge;
    std::uint32_t m_root = kNil;
    std::uint64_t m_random = 0x9E3779B97F4A7C15ULL;
    // The bytes changed since the last update, [m_lo, m_hi) in the text as it is now, and how
    // many bytes it grew by (modulo the size type).
    bool m_changed = false;
    std::size_t m_lo = 0;
    std::size_t m_hi = 0;
    std::size_t m_growth = 0;
};

Outline::Outline(std::size_t chunkBytes) : m_tree(std::make_unique<Tree>(chunkBytes)) {}
Outline::~Outline() = default;
Outline::Outline(Outline &&) noexcept = default;
Outline &Outline::operator=(Outline &&) noexcept = default;

void Outline::reset(std::string_view text)
{
    m_tree->reset(text);
}

void Outline::change(std::size_t position, std::size_t removed, std::size_t inserted)
{
    m_tree->change(position, removed, inserted);
}

Outline::Change Outline::update(const Text &text)
{
    return m_tree->update(text);
}

bool Outline::misaligned() const
{
    return m_tree->misaligned();
}

std::size_t Outline::size() const
{
    return m_tree->size();
}

BlockList::Run Outline::run(std::size_t i) const
{
    return m_tree->locate(i).first;
}

std::string Outline::entry(std::size_t i, std::string_view text) const
{
    return misaligned() ? std::string(kMisalignedEntry) : blockName(text, run(i));
}

} // namespace vornex
