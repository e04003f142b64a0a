#include "scanblocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vornex {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::size_t kChunk = 16;

bool isBreak(char c)
{
    return c == '\r' || c == '\n';
}
bool isStop(char c)
{
    return c == '}' || c == '\r';
}
// Characters the name walk passes over before it has seen the name.
bool isSkip(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '{';
}

// Bit b of the result is set when byte b of the chunk at p equals one of the given characters.
#if defined(__SSE2__)
template <char... Cs> std::uint32_t chunkMask(const char *p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i hits = _mm_setzero_si128();
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, _mm_set1_epi8(Cs)))), ...);
    return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
}
#else
template <char... Cs> std::uint32_t chunkMask(const char *p)
{
    std::uint32_t mask = 0;
    for (std::size_t b = 0; b < kChunk; ++b)
        mask |= static_cast<std::uint32_t>(((p[b] == Cs) || ...)) << b;
    return mask;
}
#endif

// Set bits of a chunk mask. std::popcount of the baseline x86-64 target is a library call.
constexpr auto kBitCounts = [] {
    std::array<std::uint8_t, 256> counts{};
    for (unsigned i = 0; i < 256; ++i)
        counts[i] = static_cast<std::uint8_t>(std::popcount(i));
    return counts;
}();

unsigned bitCount(std::uint32_t mask)
{
    return kBitCounts[mask & 0xFFu] + kBitCounts[(mask >> 8) & 0xFFu];
}

// Finds the last stop character ("}" or CR) before a position. The positions asked for never go
// back, so a walk back ends where the one before it started, and the whole scan reads each byte
// here at most once.
class LastStop
{
public:
    explicit LastStop(std::string_view text) : m_p(text.data()) {}

    std::size_t before(std::size_t pos)
    {
        std::size_t j = pos;
        for (; j >= m_reached + kChunk; j -= kChunk) {
            if (const std::uint32_t stops = chunkMask<'}', '\r'>(m_p + j - kChunk))
                return found(pos,
                             j - kChunk + 31u - static_cast<unsigned>(std::countl_zero(stops)));
        }
        while (j > m_reached) {
            if (isStop(m_p[--j]))
                return found(pos, j);
        }
        m_reached = pos;
        return m_last;
    }

private:
    std::size_t found(std::size_t pos, std::size_t stop)
    {
        m_reached = pos;
        m_last = stop;
        return stop;
    }

    const char *m_p;
    std::size_t m_reached = 0;
    std::size_t m_last = kNone;
};

} // namespace

std::string BlockList::entry(std::size_t i, std::string_view text) const
{
    if (m_misaligned)
        return std::string(kMisalignedEntry);
    // The text may have changed since the scan (the list is rebuilt after the change is drawn),
    // so the run is cut to the text as it is now.
    const std::size_t end = std::min(m_runs[i].end, text.size());
    const std::size_t begin = std::min(m_runs[i].begin, end);
    std::string name;
    appendBlockName(name, text.substr(begin, end - begin));
    return name;
}

void appendBlockName(std::string &name, std::string_view run, std::size_t limit)
{
    for (std::size_t pos = 0; pos < run.size() && name.size() < limit; ++pos) {
        if (!isBreak(run[pos]))
            name.push_back(run[pos]);
    }
}

std::vector<std::string> BlockList::entries(std::string_view text) const
{
    std::vector<std::string> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        result.push_back(entry(i, text));
    return result;
}

namespace {

// The names of one scan. Every "{" gets a name, also one inside quotes. The walk back from a
// brace passes over CR, LF, blanks and further braces to the name's last character; the name
// then starts at the last stop before that character, or at the character itself when it is a
// "}", or at the start of the text. Only the part of the walk since the previous brace is new:
// before it, the previous brace's walk gave the answer.
class Names
{
public:
    Names(std::string_view text, std::vector<BlockList::Run> &runs)
        : m_p(text.data()), m_stops(text), m_runs(runs)
    {}

    void brace(std::size_t pos)
    {
        const std::size_t low = m_prevBrace == kNone ? 0 : m_prevBrace + 1;
        std::size_t nameEnd = m_prevNameEnd;
        for (std::size_t j = pos; j > low;) {
            if (!isSkip(m_p[--j])) {
                nameEnd = j;
                break;
            }
        }
        std::size_t begin = 0;
        if (nameEnd != kNone) {
            const std::size_t stop = m_stops.before(m_p[nameEnd] == '}' ? nameEnd + 1 : nameEnd);
            if (stop != kNone)
                begin = stop;
        }
        m_runs.push_back({begin, pos});
        m_prevBrace = pos;
        m_prevNameEnd = nameEnd;
    }

private:
    const char *m_p;
    LastStop m_stops;
    std::vector<BlockList::Run> &m_runs;
    std::size_t m_prevBrace = kNone;
    std::size_t m_prevNameEnd = kNone;
};

} // namespace

void ScanBlocks(std::string_view text, BlockList &out)
{
    out.m_runs.clear();
    const char *p = text.data();
    const std::size_t n = text.size();
    Names names(text, out.m_runs);

    // One pass over the text does both: the count test (quotes flip a state that hides braces;
    // the counts must be equal and non-zero) and the names, which are dropped when the test
    // fails. Each chunk is read once, while it is in the cache.
    bool inside = false;
    std::size_t opening = 0;
    std::size_t closing = 0;
    auto count = [&](char c) {
        if (c == '"')
            inside = !inside;
        else if (!inside)
            opening += c == '{', closing += c == '}';
    };
    std::size_t i = 0;
    for (; i + kChunk <= n; i += kChunk) {
        const std::uint32_t opens = chunkMask<'{'>(p + i);
        const std::uint32_t quotes = chunkMask<'"'>(p + i);
        if (quotes == 0) {
            if (!inside) {
                opening += bitCount(opens);
                closing += bitCount(chunkMask<'}'>(p + i));
            }
        } else {
            for (std::uint32_t m = quotes | opens | chunkMask<'}'>(p + i); m; m &= m - 1)
                count(p[i + static_cast<unsigned>(std::countr_zero(m))]);
        }
        for (std::uint32_t m = opens; m; m &= m - 1)
            names.brace(i + static_cast<unsigned>(std::countr_zero(m)));
    }
    for (; i < n; ++i) {
        count(p[i]);
        if (p[i] == '{')
            names.brace(i);
    }
    out.m_misaligned = opening != closing || opening == 0;
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
