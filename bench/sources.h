#pragma once

// Deterministic VORNEX sources for the benchmarks: the same bytes on every machine and run.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vornex::bench {

// A small generator of its own, so that the sources do not depend on the standard library's
// distributions, which differ between implementations.
class SourceRandom
{
public:
    explicit SourceRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint32_t below(std::uint32_t n)
    {
        m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(m_state >> 33) % n;
    }

private:
    std::uint64_t m_state;
};

// A program as people write them: labels, instructions, data with quoted strings (some holding
// braces), comments and blocks nested up to three deep, lines ending in CR LF; about one block
// per 80 characters. The result is exactly length bytes and its braces balance whenever length
// leaves room for one block (some 12 bytes).
inline std::string realisticSource(std::size_t length)
{
    static constexpr std::string_view names[] = {"main", "loop", "data", "init",  "print",
                                                 "next", "copy", "fill", "check", "done"};
    static constexpr std::string_view instructions[] = {
        "mov a, b",   "add a, 1",   "sub r2, r3",  "inc x",    "dec count",
        "cmp a, 0",   "jmp loop",   "jz done",     "push a",   "pop b",
        "call print", "ret",        "and a, 0x0f", "shl b, 2", "out 1, a",
        "ld a, [hl]", "st [de], a", "nop",         "xor a, a", "in a, 2"};
    static constexpr std::string_view strings[] = {"\"hello, world\"", "\"{\"",    "\"}\"",
                                                   "\"value: {x}\"",   "\"done\"", "\"a; b\""};

    SourceRandom random(0x564f524e4558ull);
    std::string s;
    s.reserve(length + 64);
    int depth = 0;
    int block = 0;
    auto indent = [&] {
        s.append(static_cast<std::size_t>(2 * depth), ' ');
    };
    // Room to close every open block ("}" and CR LF with its indentation) and end the text.
    auto closing = [&] {
        return static_cast<std::size_t>(depth) * 9 + 8;
    };

    while (true) {
        const std::size_t before = s.size();
        const int depthBefore = depth;
        const std::uint32_t pick = random.below(100);
        if (pick < 17 && depth < 3) {
            indent();
            s += names[random.below(std::size(names))];
            s += std::to_string(block++);
            s += random.below(8) == 0 ? "\r\n" : " ";
            if (s.back() == '\n')
                indent();
            s += "{\r\n";
            ++depth;
        } else if (pick < 34 && depth > 0) {
            --depth;
            indent();
            s += "}\r\n";
        } else if (pick < 60) {
            s += "lbl";
            s += std::to_string(random.below(1000));
            s += ":\r\n";
        } else if (pick < 68) {
            indent();
            s += "db ";
            s += strings[random.below(std::size(strings))];
            s += "\r\n";
        } else if (pick < 72) {
            indent();
            s += "; ";
            s += instructions[random.below(std::size(instructions))];
            s += "\r\n";
        } else {
            indent();
            s += instructions[random.below(std::size(instructions))];
            s += "\r\n";
        }
        if (s.size() + closing() > length) {
            s.resize(before);
            depth = depthBefore;
            break;
        }
    }
    if (block == 0 && length >= 12) {
        s.clear();
        s += "main {\r\n";
        depth = 1;
    }
    while (depth > 0) {
        --depth;
        indent();
        s += "}\r\n";
    }
    if (s.size() < length) {
        s += ';';
        s.resize(length, ' ');
    }
    s.resize(length);
    return s;
}

// The heaviest text of the scanner's range: 16,383 "{" then 16,383 "}", where every name walk
// runs back to the start of the text.
inline std::string worstCaseSource()
{
    return std::string(16383, '{') + std::string(16383, '}');
}

} // namespace vornex::bench
