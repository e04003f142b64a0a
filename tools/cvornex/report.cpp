#include "report.h"

#include "scanblocks.h"
#include "textlines.h"

#include <algorithm>
#include <cstdint>

namespace cvornex {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
// The bytes shown of each end of a long block name.
constexpr std::size_t kEntryEnd = 60;

// The length of the valid UTF-8 sequence at the start of text, or 0 when it is not one.
std::size_t validSequence(std::string_view text)
{
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t min = 0;
    std::uint32_t code = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, min = 0x80, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, min = 0x800, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, min = 0x10000, code = lead & 0x07;
    else
        return 0;
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

// The control picture for a C0 control character or DEL: U+2400 + c, U+2421 for DEL.
void appendControlPicture(std::string &html, unsigned char c)
{
    const std::uint32_t code = c == 0x7F ? 0x2421 : 0x2400 + c;
    html += static_cast<char>(0xE0 | (code >> 12));
    html += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    html += static_cast<char>(0x80 | (code & 0x3F));
}

std::string_view fileName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Appends text to html as HTML character data: markup characters escaped, bytes that are not
// valid UTF-8 shown as U+FFFD and control characters as their visible symbols.
void appendEscaped(std::string &html, std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '&':
            html += "&amp;";
            break;
        case '<':
            html += "&lt;";
            break;
        case '>':
            html += "&gt;";
            break;
        case '"':
            html += "&quot;";
            break;
        case '\'':
            html += "&#39;";
            break;
        case '\t':
            html += '\t';
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                appendControlPicture(html, c);
                break;
            }
            const std::size_t length = validSequence(text.substr(i));
            if (length == 0) {
                html += kReplacement;
                break;
            }
            html += text.substr(i, length);
            i += length;
            continue;
        }
        ++i;
    }
}

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>)";

constexpr std::string_view kStyle = R"(</title>
<style>
body { font-family: monospace; margin: 1em; color: #000; background: #fff; }
h1 { font-size: 1.3em; } h2 { font-size: 1.1em; margin-top: 1.5em; }
.error { color: #b00000; font-weight: bold; }
pre { border: 1px solid #ccc; padding: 0.5em; overflow-x: auto; }
.n { color: #888; user-select: none; }
</style>
</head>
<body>
)";

// Appends the part of a block's name that follows the name before it, so that names that overlap
// (nested blocks on lines without CR) are shown once: "…" first when the name begins earlier,
// and a long part cut to its first and last kEntryEnd bytes around "…". scratch is reused.
void appendEntry(std::string &html, std::string_view run, bool continued, std::string &scratch)
{
    scratch.clear();
    vornex::appendBlockName(scratch, run);
    const std::string_view name = scratch;
    if (continued)
        html += kEllipsis;
    if (name.size() <= 2 * kEntryEnd) {
        appendEscaped(html, name);
        return;
    }
    // Cut between characters, not inside one.
    const auto isContinuation = [&](std::size_t i) {
        return (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80;
    };
    std::size_t head = kEntryEnd;
    for (int back = 0; back < 3 && isContinuation(head); ++back)
        --head;
    std::size_t tail = name.size() - kEntryEnd;
    for (int ahead = 0; ahead < 3 && isContinuation(tail); ++ahead)
        ++tail;
    appendEscaped(html, name.substr(0, head));
    html += kEllipsis;
    appendEscaped(html, name.substr(tail));
}

} // namespace

std::string debugReport(std::string_view sourcePath, std::string_view source)
{
    std::string html;
    html.reserve(source.size() * 2 + 4096);
    html += kHead;
    html += "Debug output: ";
    appendEscaped(html, fileName(sourcePath));
    html += kStyle;

    html += "<h1>Debug output</h1>\n<p>Source: <code>";
    appendEscaped(html, sourcePath);
    const std::size_t lines = vornex::countLines(source);
    html += "</code></p>\n<p>Size: " + std::to_string(lines) + (lines == 1 ? " line" : " lines") +
            ", " + std::to_string(source.size()) + (source.size() == 1 ? " byte" : " bytes") +
            "</p>\n";

    html += "<h2>Blocks</h2>\n";
    const vornex::BlockList blocks = vornex::ScanBlocks(source);
    if (blocks.misaligned()) {
        html += "<p class=\"error\">";
        appendEscaped(html, vornex::kMisalignedEntry);
        html += "</p>\n<p>The braces &quot;{&quot; and &quot;}&quot; outside double quotes do "
                "not balance, or there are none.</p>\n";
    } else {
        html += "<ol class=\"blocks\">\n";
        std::size_t shownTo = 0;
        std::string entry;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const vornex::BlockList::Run run = blocks.run(i);
            const std::size_t from = std::min(std::max(run.begin, shownTo), run.end);
            html += "<li><code>";
            appendEntry(html, source.substr(from, run.end - from), run.begin < shownTo, entry);
            html += "</code></li>\n";
            shownTo = run.end;
        }
        html += "</ol>\n";
    }

    html += "<h2>Source</h2>\n<pre class=\"source\">";
    const std::size_t width = std::to_string(lines).size();
    std::size_t number = 0;
    for (std::size_t start = 0; start < source.size();) {
        const vornex::LineBreak end = vornex::nextLineBreak(source, start);
        const std::string label = std::to_string(++number);
        html += "<span class=\"n\">";
        html.append(width - label.size(), ' ');
        html += label;
        html += "  </span>";
        appendEscaped(html, source.substr(start, end.at - start));
        html += '\n';
        start = end.at + end.length;
    }
    html += "</pre>\n</body>\n</html>\n";
    return html;
}

} // namespace cvornex
