#include "engine/AssetReport.h"

#include <cstdint>
#include <cstdio>
#include <mutex>

namespace KelpaEngine {

namespace {

// Names already reported, as 64-bit hashes in a fixed table: reporting
// takes nothing from the heap, whatever the game asks for.
constexpr int kRemembered = 512;

struct Reported {
    std::mutex lock;
    uint64_t hashes[kRemembered] = {};
    int count = 0;
};

Reported& reported() {
    static Reported r;
    return r;
}

uint64_t hashOf(const char* s) {
    uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (; *s; ++s) {
        h ^= uint8_t(*s);
        h *= 1099511628211ull;
    }
    return h;
}

// True the first time a name is seen. Once the table is full, every further
// name is reported each time rather than never.
bool firstTime(Reported& r, uint64_t h) {
    for (int i = 0; i < r.count; ++i) {
        if (r.hashes[i] == h) return false;
    }
    if (r.count < kRemembered) r.hashes[r.count++] = h;
    return true;
}

}  // namespace

void reportBrokenAsset(const char* name, const char* reason) {
    if (!name || !*name) return;
    Reported& r = reported();
    std::lock_guard<std::mutex> hold(r.lock);
    if (!firstTime(r, hashOf(name))) return;
    // stderr is unbuffered: one call writes the whole line at once.
    std::fprintf(stderr, "KelpaEngine: broken asset \"%s\": %s\n", name,
                 (reason && *reason) ? reason : "cannot be used");
}

}  // namespace KelpaEngine
