#include "platform/StartupTimeline.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace KelpaPlatform {

namespace {

constexpr int kMaxSteps = 16;

struct Step {
    const char* name;
    double ms;      // on the boot-time clock
    long peakKiB;   // the process's peak resident memory then
};

std::mutex gLock;
Step gSteps[kMaxSteps];
int gCount = 0;

double bootMs() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The kernel's record of the process's start, on the same clock, to its
// tick (10 ms here): the loader and the libraries' initialisers run
// before anything of ours can take the time.
double processStartMs() {
    static const double start = [] {
        char buf[1024];
        FILE* f = std::fopen("/proc/self/stat", "r");
        if (!f) return -1.0;
        size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        buf[n] = '\0';
        // Field 22, counted after the command's closing parenthesis.
        const char* p = std::strrchr(buf, ')');
        for (int field = 2; p && field < 22; ++field) p = std::strchr(p + 1, ' ');
        if (!p) return -1.0;
        long long ticks = std::atoll(p + 1);
        long hz = sysconf(_SC_CLK_TCK);
        return hz > 0 ? double(ticks) * 1e3 / double(hz) : -1.0;
    }();
    return start;
}

// VmHWM from /proc/self/status; -1 when it cannot be read.
long peakResidentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            kib = std::atol(line + 6);
            break;
        }
    }
    std::fclose(f);
    return kib;
}

}  // namespace

void markStartup(const char* step) {
    double now = bootMs();
    long peak = peakResidentKiB();
    processStartMs();
    std::lock_guard<std::mutex> guard(gLock);
    for (int i = 0; i < gCount; ++i) {
        if (std::strcmp(gSteps[i].name, step) == 0) return;
    }
    if (gCount < kMaxSteps) gSteps[gCount++] = Step{step, now, peak};
}

double startupMs(const char* step) {
    double start = processStartMs();
    std::lock_guard<std::mutex> guard(gLock);
    for (int i = 0; i < gCount; ++i) {
        if (std::strcmp(gSteps[i].name, step) == 0) return start < 0 ? -1.0 : gSteps[i].ms - start;
    }
    return -1.0;
}

std::string startupReport(const char* prefix) {
    double start = processStartMs();
    std::lock_guard<std::mutex> guard(gLock);
    std::string out;
    // Without the kernel's record, the times count from the first mark.
    double origin = start >= 0 ? start : (gCount > 0 ? gSteps[0].ms : 0);
    double last = origin;
    for (int i = 0; i < gCount; ++i) {
        char line[200];
        std::snprintf(line, sizeof line, "%s%-24s %8.1f ms  (at %8.1f ms, peak memory %6.1f MiB)\n", prefix,
                      gSteps[i].name, gSteps[i].ms - last, gSteps[i].ms - origin, double(gSteps[i].peakKiB) / 1024.0);
        out += line;
        last = gSteps[i].ms;
    }
    return out;
}

}  // namespace KelpaPlatform
