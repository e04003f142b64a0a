#include "sourcefile.h"

#include "readfile.h"
#include "savefile.h"
#include "textlines.h"

#include <QFile>
#include <QLocale>

#include <array>

namespace vornex {

namespace {

// What the editor shows within a quarter of a second on the 2-core build machine, a second with
// headroom for a slower or busier one (bench_files): every line on the screen is laid out whole,
// at 1.0 µs per byte of code (BM_ShowLongLine), and a text of short lines takes 15 ms per MiB
// (BM_ShowSize). Memory does not limit: 3.6 bytes per byte of text, 8 per byte of a long line.
constexpr std::size_t kLargestSource = std::size_t(16) << 20;
constexpr std::size_t kLargestScreen = 245000;
// The lines a screen shows: a 2160-pixel screen holds 144 lines of the editor's font.
constexpr std::size_t kScreenLines = 150;

QString number(std::size_t value)
{
    return QLocale(QLocale::English).toString(qulonglong(value));
}

// Why the editor cannot show bytes within about a second, or an empty string when it can: no
// screenful of lines may hold more than kLargestScreen bytes.
QString tooLongLines(std::string_view bytes)
{
    std::array<std::size_t, kScreenLines> lengths{}; // of the last lines, a ring
    std::size_t slot = 0;
    std::size_t onScreen = 0;
    for (std::size_t start = 0, line = 1;; ++line) {
        const LineBreak end = nextLineBreak(bytes, start);
        const std::size_t length = end.at - start;
        onScreen += length;
        if (length > kLargestScreen)
            return QStringLiteral("line %1 is %2 bytes long, longer than %3 bytes, the longest "
                                  "line the editor shows")
                .arg(number(line), number(length), number(kLargestScreen));
        if (onScreen > kLargestScreen)
            return QStringLiteral("lines %1 to %2 hold %3 bytes, more than %4 bytes, the most "
                                  "the editor shows in %5 lines")
                .arg(number(line < kScreenLines ? 1 : line - kScreenLines + 1), number(line),
                     number(onScreen), number(kLargestScreen), number(kScreenLines));
        if (end.length == 0)
            return {};
        start = end.at + end.length;
        lengths[slot] = length;
        slot = (slot + 1) % kScreenLines;
        onScreen -= lengths[slot];
    }
}

// The bytes that name the file at path, or false with *error set where path may stand for other
// bytes than its own (see the header).
bool encodedPath(const QString &path, std::string *bytes, QString *error)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (path.contains(QChar::ReplacementCharacter) || encoded.contains('\0') ||
        QFile::decodeName(encoded) != path) {
        *error = QStringLiteral(u"the name holds bytes that are not UTF-8 (shown as \uFFFD), which "
                                u"the IDE cannot pass on exactly; give the file a UTF-8 name");
        return false;
    }
    *bytes = encoded.toStdString();
    return true;
}

} // namespace

bool readSourceFile(const QString &path, std::string *bytes, QString *error, FileIdentity *identity)
{
    std::string name;
    std::string data;
    std::string reason;
    if (!encodedPath(path, &name, error))
        return false;
    switch (readRegularFile(name, kLargestSource, data, reason, identity)) {
    case ReadResult::Failed:
        *error = QFile::decodeName(QByteArray::fromStdString(reason));
        return false;
    case ReadResult::TooLarge:
        *error = QStringLiteral("it is larger than %1 MiB (%2 bytes), the largest file the editor "
                                "opens")
                     .arg(number(kLargestSource >> 20), number(kLargestSource));
        return false;
    case ReadResult::Read:
        break;
    }
    if (const QString lines = tooLongLines(data); !lines.isEmpty()) {
        *error = lines;
        return false;
    }
    *bytes = std::move(data);
    return true;
}

bool writeSourceFile(const QString &path, std::string_view bytes, QString *error,
                     FileIdentity *identity)
{
    std::string name;
    std::string reason;
    if (!encodedPath(path, &name, error))
        return false;
    if (saveFile(name, bytes, reason, identity))
        return true;
    *error = QFile::decodeName(QByteArray::fromStdString(reason));
    return false;
}

} // namespace vornex
