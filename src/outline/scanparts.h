#pragma once

// The one pass of the block scan over a run of bytes, shared by the scan of a whole text and the
// outline's scans of its chunks: the brace counts and the start of every name.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vornex::scan {

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Where a name begins when its start lies before the scanned bytes: no name character stands
// before the brace in them, or the name's last character does but no stop before it.
inline constexpr std::size_t kNameBefore = kNone;
inline constexpr std::size_t kStopBefore = kNone - 1;

inline constexpr std::size_t kBlock = 16;

inline bool isStop(char c)
{
    return c == '}' || c == '\r';
}
// Characters the name walk passes over before it has seen the name.
inline bool isSkip(char c)
{
    return c == '\r' || c == '\n' || c == ' ' || c == '{';
}

// Bit b of the result is set when byte b of the block at p equals one of the given characters.
#if defined(__SSE2__)
template <char... Cs> std::uint32_t blockMask(const char *p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    __m128i hits = _mm_setzero_si128();
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, _mm_set1_epi8(Cs)))), ...);
    return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
}
#else
template <char... Cs> std::uint32_t blockMask(const char *p)
{
    std::uint32_t mask = 0;
    for (std::size_t b = 0; b < kBlock; ++b)
        mask |= static_cast<std::uint32_t>(((p[b] == Cs) || ...)) << b;
    return mask;
}
#endif

// Set bits of a block mask. std::popcount of the baseline x86-64 target is a library call.
inline constexpr auto kBitCounts = [] {
    std::array<std::uint8_t, 256> counts{};
    for (unsigned i = 0; i < 256; ++i)
        counts[i] = static_cast<std::uint8_t>(std::popcount(i));
    return counts;
}();

inline unsigned bitCount(std::uint32_t mask)
{
    return kBitCounts[mask & 0xFFu] + kBitCounts[(mask >> 8) & 0xFFu];
}

// Finds the last stop character ("}" or CR) before a position. The positions asked for never go
// back, so a walk back ends where the one before it started, and a scan reads each byte here at
// most once.
class LastStop
{
public:
    explicit LastStop(const char *p) : m_p(p) {}

    std::size_t before(std::size_t pos)
    {
        std::size_t j = pos;
        for (; j >= m_reached + kBlock; j -= kBlock) {
            if (const std::uint32_t stops = blockMask<'}', '\r'>(m_p + j - kBlock))
                return found(pos,
                             j - kBlock + 31u - static_cast<unsigned>(std::countl_zero(stops)));
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

// Where names begin. The walk back from a brace passes over CR, LF, blanks and further braces to
// the name's last character; the name then starts at the last stop before that character, or at
// the character itself when it is a "}". Only the part of the walk since the position asked for
// before is new: before it, that walk gave the answer. Positions asked for never go back.
class NameStarts
{
public:
    explicit NameStarts(const char *p) : m_p(p), m_stops(p) {}

    // The start of the name of a brace at pos: a position, kNameBefore or kStopBefore.
    std::size_t at(std::size_t pos)
    {
        for (std::size_t j = pos; j > m_walked;) {
            if (!isSkip(m_p[--j])) {
                m_nameEnd = j;
                break;
            }
        }
        m_walked = pos;
        if (m_nameEnd == kNone)
            return kNameBefore;
        const std::size_t stop = m_stops.before(m_p[m_nameEnd] == '}' ? m_nameEnd + 1 : m_nameEnd);
        return stop == kNone ? kStopBefore : stop;
    }

    // The last stop before pos, which is not before any position asked for so far.
    std::size_t lastStop(std::size_t pos) { return m_stops.before(pos); }

private:
    const char *m_p;
    LastStop m_stops;
    std::size_t m_walked = 0;
    std::size_t m_nameEnd = kNone;
};

// The braces of a run of bytes: those outside quotes when the run starts outside them, and all
// closing ones; whether the run ends inside quotes.
struct BraceCounts
{
    std::size_t opening = 0;
    std::size_t closing = 0;
    std::size_t allClosing = 0;
    bool inside = false;
};

// One pass over n bytes at p: counts the braces (quotes flip a state that hides them) and calls
// brace(pos) for every "{", quoted or not, in order. Each block of bytes is read once, while it
// is in the cache.
template <typename OnBrace> BraceCounts countBraces(const char *p, std::size_t n, OnBrace &&brace)
{
    BraceCounts counts;
    auto count = [&](char c) {
        if (c == '"')
            counts.inside = !counts.inside;
        else if (!counts.inside)
            counts.opening += c == '{', counts.closing += c == '}';
    };
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        const std::uint32_t opens = blockMask<'{'>(p + i);
        const std::uint32_t closes = blockMask<'}'>(p + i);
        const std::uint32_t quotes = blockMask<'"'>(p + i);
        counts.allClosing += bitCount(closes);
        if (quotes == 0) {
            if (!counts.inside) {
                counts.opening += bitCount(opens);
                counts.closing += bitCount(closes);
            }
        } else {
            for (std::uint32_t m = quotes | opens | closes; m; m &= m - 1)
                count(p[i + static_cast<unsigned>(std::countr_zero(m))]);
        }
        for (std::uint32_t m = opens; m; m &= m - 1)
            brace(i + static_cast<unsigned>(std::countr_zero(m)));
    }
    for (; i < n; ++i) {
        count(p[i]);
        counts.allClosing += p[i] == '}';
        if (p[i] == '{')
            brace(i);
    }
    return counts;
}

} // namespace vornex::scan
