// Holds the block scanner against its literal transcription on every input the fuzzer makes,
// scanning into one list that lives across inputs so that storage reuse is exercised too.

#include "outline/literalscan.h"
#include "scanblocks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void report(std::string_view what, std::string_view text, const std::vector<std::string> &got,
            const std::vector<std::string> &want)
{
    std::fprintf(stderr, "%.*s: text of %zu bytes\n", static_cast<int>(what.size()), what.data(),
                 text.size());
    std::fprintf(stderr, "scanner (%zu entries):\n", got.size());
    for (const std::string &e : got)
        std::fprintf(stderr, "  [%s]\n", e.c_str());
    std::fprintf(stderr, "literal (%zu entries):\n", want.size());
    for (const std::string &e : want)
        std::fprintf(stderr, "  [%s]\n", e.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static vornex::BlockList reused;
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    const std::vector<std::string> want = vornex::literal::ScanBlocks(text);
    const std::vector<std::string> fresh = vornex::ScanBlocks(text).entries(text);
    if (fresh != want)
        report("fresh scan differs", text, fresh, want);

    vornex::ScanBlocks(text, reused);
    const std::vector<std::string> again = reused.entries(text);
    if (again != want)
        report("scan into a reused list differs", text, again, want);
    // A text may hold a single block named like the misaligned entry, so the flag is checked
    // apart from the entries: set only when the braces do not balance, else one entry per "{".
    const auto braces = static_cast<std::size_t>(std::count(text.begin(), text.end(), '{'));
    if (reused.misaligned() ? want.size() != 1 || want[0] != vornex::kMisalignedEntry
                            : reused.size() != braces)
        report("misaligned flag or entry count wrong", text, again, want);
    return 0;
}
