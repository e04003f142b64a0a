// Stands in for an outside program: writes its arguments, each ended by a NUL byte, to the file
// that VORNEX_RECORD_FILE names. The file appears whole or not at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char *argv[])
{
    const char *target = std::getenv("VORNEX_RECORD_FILE");
    if (!target || !*target) {
        std::fprintf(stderr, "recorder: VORNEX_RECORD_FILE is not set\n");
        return 2;
    }
    const std::string temp = std::string(target) + ".part";
    std::FILE *file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        std::perror(temp.c_str());
        return 3;
    }
    bool ok = true;
    for (int i = 1; i < argc; ++i)
        ok = ok &&
             std::fwrite(argv[i], 1, std::strlen(argv[i]) + 1, file) == std::strlen(argv[i]) + 1;
    ok = std::fclose(file) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), target) != 0) {
        std::perror(target);
        return 3;
    }
    return 0;
}
