// The stand-in assembler: writes a readable report of a source file, "debugasm.html", into the
// folder that holds this program, where the IDE looks for it.
#include "readfile.h"
#include "report.h"
#include "savefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <unistd.h>

namespace {

constexpr int kUsage = 2;
constexpr int kUnreadable = 3;
constexpr int kUnwritable = 4;
constexpr int kNoMemory = 5;

// The largest source read: twice what the IDE opens, so that whatever the IDE can hold can be
// assembled, while the report (a few times the source, at most 40 times) stays something a
// viewer can show and the memory the run takes stays far below the machine's.
constexpr std::size_t kLargestSource = std::size_t(32) << 20;
constexpr const char *kTooLarge = "larger than 32 MiB (33554432 bytes), the largest source read";

constexpr const char *kReportName = "debugasm.html";

void fail(const std::string &message)
{
    std::fprintf(stderr, "cvornex.exe: %s\n", message.c_str());
}

// The folder of this program's own executable.
bool ownFolder(std::string *folder, std::string *error)
{
    std::string path(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0 || static_cast<std::size_t>(n) >= path.size()) {
        *error = n < 0 ? std::strerror(errno) : "path too long";
        return false;
    }
    path.resize(static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    return true;
}

int assemble(int argc, char *argv[])
{
    if (argc != 2) {
        fail("usage: cvornex.exe SOURCE\nWrites the report debugasm.html beside this program.");
        return kUsage;
    }
    const char *sourcePath = argv[1];
    std::string source;
    std::string error;
    switch (vornex::readRegularFile(sourcePath, kLargestSource, source, error)) {
    case vornex::ReadResult::Read:
        break;
    case vornex::ReadResult::TooLarge:
        error = kTooLarge;
        [[fallthrough]];
    case vornex::ReadResult::Failed:
        fail("cannot read \"" + std::string(sourcePath) + "\": " + error);
        return kUnreadable;
    }
    std::string folder;
    if (!ownFolder(&folder, &error)) {
        fail("cannot find the folder of this program: " + error);
        return kUnwritable;
    }
    const std::string reportPath = folder + (folder == "/" ? "" : "/") + kReportName;
    // A reader sees the old report or the whole new one.
    if (!vornex::replaceFile(reportPath, cvornex::debugReport(sourcePath, source), error)) {
        fail("cannot write \"" + reportPath + "\": " + error);
        return kUnwritable;
    }
    return EXIT_SUCCESS;
}

} // namespace

int main(int argc, char *argv[])
{
    // Memory can run out on a machine that is short of it, or under a limit on the process; the
    // report is written whole or not at all, so the old one stays.
    try {
        return assemble(argc, argv);
    } catch (const std::bad_alloc &) {
        fail("out of memory: no report written, the old \"debugasm.html\" is kept");
        return kNoMemory;
    }
}
