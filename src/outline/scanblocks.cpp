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

// The number of bits set in a chunk mask. The x86-64 baseline has no POPCNT instruction, and
// std::popcount then calls a library routine that costs more than the rest of the scan.
constexpr auto kByteBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v)
        table[v] = static_cast<std::uint8_t>(std::popcount(v));
    return table;
}();

unsigned bits(std::uint32_t mask)
{
    return kByteBits[mask & 0xffu] + kByteBits[(mask >> 8) & 0xffu];
}

std::uint32_t below(std::uint32_t mask, unsigned bit)
{
    return mask & ((1u << bit) - 1u);
}

// Counts "{" and "}" over whole chunks. With SSE2 the counts gather in byte lanes and are added
// up every 255 chunks, before a lane can overflow.
class ChunkBraceCounter
{
public:
#if defined(__SSE2__)
    void add(const char *p)
    {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        m_opening = _mm_sub_epi8(m_opening, _mm_cmpeq_epi8(v, _mm_set1_epi8('{')));
        m_closing = _mm_sub_epi8(m_closing, _mm_cmpeq_epi8(v, _mm_set1_epi8('}')));
        if (++m_pending == 255)
            flush();
    }
    std::size_t opening()
    {
        flush();
        return m_openingTotal;
    }
    std::size_t closing()
    {
        flush();
        return m_closingTotal;
    }

private:
    static std::size_t sum(__m128i lanes)
    {
        const __m128i halves = _mm_sad_epu8(lanes, _mm_setzero_si128());
        return static_cast<std::size_t>(_mm_cvtsi128_si32(halves)) +
               static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(halves, halves)));
    }
    void flush()
    {
        m_openingTotal += sum(m_opening);
        m_closingTotal += sum(m_closing);
        m_opening = m_closing = _mm_setzero_si128();
        m_pending = 0;
    }

    __m128i m_opening = _mm_setzero_si128();
    __m128i m_closing = _mm_setzero_si128();
    unsigned m_pending = 0;
#else
    void add(const char *p)
    {
        m_openingTotal += bits(chunkMask<'{'>(p));
        m_closingTotal += bits(chunkMask<'}'>(p));
    }
    std::size_t opening() const
    {
        return m_openingTotal;
    }
    std::size_t closing() const
    {
        return m_closingTotal;
    }

private:
#endif
    std::size_t m_openingTotal = 0;
    std::size_t m_closingTotal = 0;
};

// The count test: quotes flip a state that hides braces; the counts must be equal and non-zero.
bool bracesBalance(std::string_view text)
{
    const char *p = text.data();
    const std::size_t n = text.size();
    bool inside = false;
    std::size_t opening = 0;
    std::size_t closing = 0;
    ChunkBraceCounter chunks;
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
            if (!inside)
                chunks.add(p + i);
            continue;
        }
        for (std::uint32_t m = quotes | chunkMask<'{', '}'>(p + i); m; m &= m - 1)
            one(p[i + std::countr_zero(m)]);
    }
    for (; i < n; ++i)
        one(p[i]);
    opening += chunks.opening();
    closing += chunks.closing();
    return opening == closing && opening != 0;
}

// The characters of one chunk that the name pass looks at, one bit per byte.
struct ChunkMasks
{
    std::uint32_t breaks; // CR and LF: left out of the names
    std::uint32_t braces; // "{"
    std::uint32_t stops;  // "}" and CR: where a name walk stops once it has seen the name
    std::uint32_t names;  // all but CR, LF, space and "{": what the walk takes for the name
};

ChunkMasks chunkMasks(const char *p)
{
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i cr = _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'));
    const __m128i breaks = _mm_or_si128(cr, _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')));
    const __m128i braces = _mm_cmpeq_epi8(v, _mm_set1_epi8('{'));
    const __m128i stops = _mm_or_si128(cr, _mm_cmpeq_epi8(v, _mm_set1_epi8('}')));
    const __m128i skips =
        _mm_or_si128(_mm_or_si128(breaks, braces), _mm_cmpeq_epi8(v, _mm_set1_epi8(' ')));
    auto mask = [](__m128i hits) {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
    };
    return {mask(breaks), mask(braces), mask(stops), mask(skips) ^ 0xffffu};
#else
    ChunkMasks m{0, 0, 0, 0};
    for (unsigned b = 0; b < kChunk; ++b) {
        m.breaks |= static_cast<std::uint32_t>(isBreak(p[b])) << b;
        m.braces |= static_cast<std::uint32_t>(p[b] == '{') << b;
        m.stops |= static_cast<std::uint32_t>(isStop(p[b])) << b;
        m.names |= static_cast<std::uint32_t>(!isSkip(p[b])) << b;
    }
    return m;
#endif
}

unsigned highest(std::uint32_t mask)
{
    return 31u - static_cast<unsigned>(std::countl_zero(mask));
}

// Bits 0 to bit of a mask.
std::uint32_t upTo(std::uint32_t mask, unsigned bit)
{
    return mask & ((2u << bit) - 1u);
}

// A position of the text by its chunk: its index in the CR/LF-free copy is worked out only when
// a name needs it. The default is the start of the text.
struct Mark
{
    std::size_t chunkMapped = 0;
    unsigned bit = 0;
    std::uint32_t breaks = 0;

    std::size_t mapped() const { return chunkMapped + bit - bits(below(breaks, bit)); }
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

    // The walk back from a "{" passes over CR, LF, space and "{", and then stops at the first
    // "}" or CR. Going forward instead, the name of a "{" starts at the last stop at or before
    // the last character before the brace that the walk does not pass over (the name's last
    // character), or at the start of the text when there is none. So two marks suffice: the
    // last stop so far, and the last stop as of the last name character so far.
    Mark lastStop;
    Mark nameStart;

    std::size_t i = 0;
    for (; i + kChunk <= end; i += kChunk) {
        const ChunkMasks chunk = chunkMasks(p + i);
        for (std::uint32_t m = chunk.braces; m; m &= m - 1) {
            const unsigned b = static_cast<unsigned>(std::countr_zero(m));
            std::size_t begin = nameStart.mapped();
            if (const std::uint32_t before = below(chunk.names, b)) {
                const std::uint32_t stops = upTo(chunk.stops, highest(before));
                begin =
                    stops ? Mark{mapped, highest(stops), chunk.breaks}.mapped() : lastStop.mapped();
            }
            out.m_runs.push_back({begin, mapped + b - bits(below(chunk.breaks, b))});
        }
        if (chunk.names) {
            const std::uint32_t stops = upTo(chunk.stops, highest(chunk.names));
            nameStart = stops ? Mark{mapped, highest(stops), chunk.breaks} : lastStop;
        }
        if (chunk.stops)
            lastStop = Mark{mapped, highest(chunk.stops), chunk.breaks};

        if (chunk.breaks == 0) {
            std::memcpy(names + mapped, p + i, kChunk);
            mapped += kChunk;
        } else if (i + 2 * kChunk <= text.size()) {
            // The runs between the line breaks move 16 bytes at a time: each copy may spill past
            // its run into bytes that the next copy overwrites, and the text and the buffer have
            // room for that.
            unsigned from = 0;
            for (std::uint32_t k = chunk.breaks; k; k &= k - 1) {
                const unsigned b = static_cast<unsigned>(std::countr_zero(k));
                std::memcpy(names + mapped, p + i + from, kChunk);
                mapped += b - from;
                from = b + 1;
            }
            std::memcpy(names + mapped, p + i + from, kChunk);
            mapped += kChunk - from;
        } else {
            for (unsigned b = 0; b < kChunk; ++b) {
                names[mapped] = p[i + b];
                mapped += ((chunk.breaks >> b) & 1u) ^ 1u;
            }
        }
    }
    for (; i < end; ++i) {
        const char c = p[i];
        if (c == '{')
            out.m_runs.push_back({nameStart.mapped(), mapped});
        if (isStop(c))
            lastStop = Mark{mapped, 0, 0};
        if (!isSkip(c))
            nameStart = lastStop;
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
