#include "scanblocks.h"

#include <algorithm>
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

std::uint32_t below(std::uint32_t mask, unsigned bit)
{
    return mask & ((1u << bit) - 1u);
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
                opening += std::popcount(chunkMask<'{'>(p + i));
                closing += std::popcount(chunkMask<'}'>(p + i));
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

// Walks forward over the text and remembers the last stop character ("}" or CR) before the
// position it has reached, with its index in the CR/LF-free copy. The names are found in text
// order and the positions asked for never go back, so the whole scan reads each byte once here.
class StopCursor
{
public:
    explicit StopCursor(std::string_view text) : m_p(text.data()) {}

    void advanceTo(std::size_t target)
    {
        for (; m_pos + kChunk <= target; m_pos += kChunk) {
            const std::uint32_t breaks = chunkMask<'\r', '\n'>(m_p + m_pos);
            const std::uint32_t stops = chunkMask<'\r', '}'>(m_p + m_pos);
            if (stops) {
                const unsigned last = 31u - static_cast<unsigned>(std::countl_zero(stops));
                m_lastStop = m_pos + last;
                m_lastStopMapped = m_mapped + last - std::popcount(below(breaks, last));
            }
            m_mapped += kChunk - std::popcount(breaks);
        }
        for (; m_pos < target; ++m_pos) {
            const char c = m_p[m_pos];
            if (isStop(c)) {
                m_lastStop = m_pos;
                m_lastStopMapped = m_mapped;
            }
            m_mapped += !isBreak(c);
        }
    }

    bool hasStop() const { return m_lastStop != kNone; }
    std::size_t lastStopMapped() const { return m_lastStopMapped; }

private:
    const char *m_p;
    std::size_t m_pos = 0;
    std::size_t m_mapped = 0;
    std::size_t m_lastStop = kNone;
    std::size_t m_lastStopMapped = 0;
};

} // namespace

std::string_view BlockList::entry(std::size_t i) const
{
    if (m_misaligned)
        return kMisalignedEntry;
    const Run &run = m_runs[i];
    return {m_names.get() + run.begin, run.end - run.begin};
}

std::vector<std::string> BlockList::entries() const
{
    std::vector<std::string> result;
    result.reserve(size());
    for (std::size_t i = 0; i < size(); ++i)
        result.emplace_back(entry(i));
    return result;
}

void ScanBlocks(std::string_view text, BlockList &out)
{
    out.m_runs.clear();
    out.m_misaligned = !bracesBalance(text);
    if (out.m_misaligned)
        return;

    // Names end before their "{", so nothing after the last one is copied.
    const std::size_t end = text.rfind('{') + 1;
    if (out.m_namesCapacity < end + kChunk || out.m_namesCapacity > 4 * (end + kChunk) + 65536) {
        out.m_namesCapacity = end + kChunk;
        out.m_names = std::make_unique_for_overwrite<char[]>(out.m_namesCapacity);
    }
    const char *p = text.data();
    char *names = out.m_names.get();
    std::size_t mapped = 0;

    std::size_t prevBrace = kNone;
    std::size_t prevNameEnd = kNone;
    StopCursor stops(text);

    // The name of the "{" at pos starts after the last stop before the last character that is
    // not passed over by the walk back (its last "name" character), or at that character when it
    // is a "}" itself, or at the start of the text.
    auto brace = [&](std::size_t pos, std::size_t posMapped) {
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
            stops.advanceTo(p[nameEnd] == '}' ? nameEnd + 1 : nameEnd);
            if (stops.hasStop())
                begin = stops.lastStopMapped();
        }
        out.m_runs.push_back({begin, posMapped});
        prevBrace = pos;
        prevNameEnd = nameEnd;
    };

    std::size_t i = 0;
    for (; i + kChunk <= end; i += kChunk) {
        const std::uint32_t breaks = chunkMask<'\r', '\n'>(p + i);
        const std::uint32_t braces = chunkMask<'{'>(p + i);
        if (breaks == 0) {
            std::memcpy(names + mapped, p + i, kChunk);
        } else {
            std::size_t m = mapped;
            for (unsigned b = 0; b < kChunk; ++b) {
                names[m] = p[i + b];
                m += ((breaks >> b) & 1u) ^ 1u;
            }
        }
        for (std::uint32_t m = braces; m; m &= m - 1) {
            const unsigned b = static_cast<unsigned>(std::countr_zero(m));
            brace(i + b, mapped + b - std::popcount(below(breaks, b)));
        }
        mapped += kChunk - std::popcount(breaks);
    }
    for (; i < end; ++i) {
        const char c = p[i];
        if (c == '{')
            brace(i, mapped);
        names[mapped] = c;
        mapped += !isBreak(c);
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
