// Starts a program again and again on the X display in DISPLAY and measures how long its first
// window takes to be mapped, its proportional set size once it is up, and whether Qt WebEngine
// got loaded. Usage: startup_probe RUNS PROGRAM [ARGS...]
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

long pssKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (in >> key) {
        if (key == "Pss:") {
            in >> value;
            return value;
        }
        in.ignore(1 << 20, '\n');
    }
    return -1;
}

bool mapsContain(pid_t pid, const char *needle)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    while (std::getline(in, line)) {
        if (line.find(needle) != std::string::npos)
            return true;
    }
    return false;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_probe: cannot open the X display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, True);

    std::vector<double> times;
    std::vector<double> pss;
    bool webEngine = false;
    for (int run = 0; run < runs; ++run) {
        XSync(display, True);
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execv(argv[2], argv + 2);
            _exit(127);
        }
        bool mapped = false;
        while (!mapped && Clock::now() - start < std::chrono::seconds(20)) {
            while (XPending(display)) {
                XEvent event;
                XNextEvent(display, &event);
                if (event.type == MapNotify)
                    mapped = true;
            }
            if (!mapped) {
                pollfd fd{ConnectionNumber(display), POLLIN, 0};
                poll(&fd, 1, 100);
            }
        }
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const long kib = pssKiB(pid);
        webEngine = webEngine || mapsContain(pid, "WebEngine");
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (!mapped) {
            std::fprintf(stderr, "startup_probe: no window from %s\n", argv[2]);
            return 1;
        }
        times.push_back(ms);
        pss.push_back(kib / 1024.0);
    }
    std::printf("%s: window mapped after %.1f ms (median of %d), PSS %.1f MiB, WebEngine %s\n",
                argv[2], median(times), runs, median(pss), webEngine ? "loaded" : "not loaded");
    std::printf("RESULT %.3f %.3f %d\n", median(times), median(pss), webEngine ? 1 : 0);
    return 0;
}
