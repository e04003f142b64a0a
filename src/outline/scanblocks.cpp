#include "scanblocks.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

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

// The count test: quotes flip a state that hides braces; the counts must be equal and non-zero.
bool bracesBalance(std::string_view text)
{
    const char *p = text.data();
    const std::size_t n = text.size();
    bool inside = false;
    std::size_t opening = 0;
    std::size_t closing = 0;
    auto one = [&](char c) {
        if (c == '"')
            inside = !inside;
        else if (!inside)
            opening += c == '{', closing += c == '}';
    };
    std::size_t i = 0;
    for (; i + kChunk <= n; i += kChunk) {
        const std::uint32_t quotes = chunkMask<'"'>(p + i);
        if (quotes == 0) {
            if (!inside) {
                opening += bitCount(chunkMask<'{'>(p + i));
                closing += bitCount(chunkMask<'}'>(p + i));
            }
            continue;
        }
        for (std::uint32_t m = quotes | chunkMask<'{', '}'>(p + i); m; m &= m - 1)
            one(p[i + std::countr_zero(m)]);
    }
    for (; i < n; ++i)
        one(p[i]);
    return opening == closing && opening != 0;
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
    const Run run = m_runs[i];
    std::string name;
    name.reserve(run.end - run.begin);
    for (std::size_t pos = run.begin; pos < run.end; ++pos) {
        if (!isBreak(text[pos]))
            name.push_back(text[pos]);
    }
    return name;
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
    out.m_misaligned = !bracesBalance(text);
    if (out.m_misaligned)
        return;

    const char *p = text.data();
    const std::size_t n = text.size();
    LastStop stops(text);
    std::size_t prevBrace = kNone;
    std::size_t prevNameEnd = kNone;
    // Every "{" gets a name, also one inside quotes. The walk back from a brace passes over CR,
    // LF, blanks and further braces to the name's last character; the name then starts at the
    // last stop before that character, or at the character itself when it is a "}", or at the
    // start of the text. Only the part of the walk since the previous brace is new: before it,
    // the previous brace's walk gave the answer.
    for (const char *hit = static_cast<const char *>(std::memchr(p, '{', n)); hit;) {
        const auto pos = static_cast<std::size_t>(hit - p);
        const std::size_t low = prevBrace == kNone ? 0 : prevBrace + 1;
        std::size_t nameEnd = prevNameEnd;
        for (std::size_t j = pos; j > low;) {
            if (!isSkip(p[--j])) {
                nameEnd = j;
                break;
            }
        }
        std::size_t begin = 0;
        if (nameEnd != kNone) {
            const std::size_t stop = stops.before(p[nameEnd] == '}' ? nameEnd + 1 : nameEnd);
            if (stop != kNone)
                begin = stop;
        }
        out.m_runs.push_back({begin, pos});
        prevBrace = pos;
        prevNameEnd = nameEnd;
        // Runs of braces are common ("{{", "{ {"): look at the next few bytes before memchr.
        const char *next = hit + 1;
        const char *near = p + std::min(n, pos + 4);
        while (next < near && *next != '{')
            ++next;
        hit =
            next < near ? next : static_cast<const char *>(std::memchr(next, '{', n - (next - p)));
    }
}

BlockList ScanBlocks(std::string_view text)
{
    BlockList list;
    ScanBlocks(text, list);
    return list;
}

std::string mStringMid(std::string_view Source, std::ptrdiff_t Startx, std::ptrdiff_t Stopx)
{
    std::string result;
    const auto length = static_cast<std::ptrdiff_t>(Source.size());
    for (std::ptrdiff_t pos = std::max<std::ptrdiff_t>(Startx, 1); pos < Stopx && pos <= length;
         ++pos) {
        const char c = Source[static_cast<std::size_t>(pos - 1)];
        if (!isBreak(c))
            result.push_back(c);
    }
    return result;
}

} // namespace vornex
