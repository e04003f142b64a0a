// Holds the outline that follows edits against a fresh scan after each update. An input is a
// series of edits of a text that starts empty: one byte for the chunk size, then per edit two
// bytes of position, one of bytes removed (its lowest bit: the outline follows now, or after the
// next edits too), one of bytes inserted, and those bytes.

#include "outline/editedtext.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    vornex::test::EditedText edited(1 + data[0] % 64);
    std::size_t step = 0;
    for (std::size_t i = 1; i + 4 <= size; ++step) {
        const std::string &text = edited.text();
        const std::size_t at = (data[i] | std::size_t(data[i + 1]) << 8) % (text.size() + 1);
        const std::size_t removed = std::min<std::size_t>(data[i + 2] >> 1, text.size() - at);
        const bool follow = data[i + 2] & 1;
        const std::size_t length = std::min<std::size_t>(data[i + 3], size - i - 4);
        edited.replace(at, removed,
                       std::string_view(reinterpret_cast<const char *>(data + i + 4), length));
        i += 4 + length;
        const std::string differs = follow || i + 4 > size ? edited.check() : std::string();
        if (!differs.empty()) {
            std::fprintf(stderr, "edit %zu, text of %zu bytes: %s differs from a fresh scan\n",
                         step, edited.text().size(), differs.c_str());
            std::abort();
        }
    }
    return 0;
}
