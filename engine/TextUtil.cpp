#include "engine/TextUtil.h"

#include <cstring>

#include "engine/Heap.h"

namespace KelpaEngine {

char* engineStrdup(const char* text) {
    if (!text) return nullptr;
    size_t n = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(engineAlloc(n));
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

uint32_t utf8Decode(const char* text) {
    if (!text) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const uint32_t b0 = p[0];
    if (b0 < 0x80) return b0;
    uint32_t cp;
    int more;
    if (b0 < 0xC0) return 0;  // a continuation byte where a sequence should start
    if (b0 < 0xE0) {
        cp = b0 & 0x1F;
        more = 1;
    } else if (b0 < 0xF0) {
        cp = b0 & 0x0F;
        more = 2;
    } else if (b0 < 0xF8) {
        cp = b0 & 0x07;
        more = 3;
    } else {
        return 0;
    }
    // Stops at the first byte that cannot continue the sequence, the NUL
    // among them, so a cut-off sequence never reads past the text.
    for (int i = 1; i <= more; ++i) {
        const uint32_t b = p[i];
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    return cp;
}

uint32_t utf8Length(uint32_t cp) {
    if (cp < 0x80) return 1;
    if (cp < 0x800) return 2;
    if (cp < 0x10000) return 3;
    return 4;
}

namespace {

bool appendLine(char**& lines, size_t& n, size_t& capacity, const char* start, const char* end) {
    if (n == capacity) {
        if (capacity > (size_t(INT32_MAX) - 4) / 2) return false;
        size_t grown = 2 * capacity + 4;
        auto** bigger = static_cast<char**>(engineAlloc(uint64_t(grown) * sizeof(char*)));
        if (!bigger) return false;
        if (n) std::memcpy(bigger, lines, n * sizeof(char*));
        engineFree(lines);
        lines = bigger;
        capacity = grown;
    }
    size_t len = size_t(end - start);
    auto* line = static_cast<char*>(engineAlloc(uint64_t(len) + 1));
    if (!line) return false;
    std::memcpy(line, start, len);
    line[len] = 0;
    lines[n++] = line;
    return true;
}

}  // namespace

int32_t splitLines(LineList* out, const char* text) {
    if (!out) return -1;
    out->count = 0;
    out->lines = nullptr;
    if (!text) return -1;

    size_t capacity = 4;
    size_t n = 0;
    auto** lines = static_cast<char**>(engineAlloc(capacity * sizeof(char*)));
    if (!lines) return -1;

    bool ok = true;
    if (*text == 0) {
        ok = appendLine(lines, n, capacity, text, text);
    } else {
        const char* start = text;
        const char* cur = text;
        // Breaks are found by their bytes: in UTF-8 a CR or LF byte is never
        // part of a longer sequence, and a byte that does not decode stays
        // in its line instead of ending the walk.
        while (ok && *cur) {
            const char c = *cur;
            if (c == '\n' || c == '\r') {
                ok = appendLine(lines, n, capacity, start, cur);
                ++cur;
                const char other = c == '\n' ? '\r' : '\n';
                if (*cur == other) ++cur;
                start = cur;
            } else {
                cur += utf8Length(utf8Decode(cur));
            }
        }
    }
    if (!ok) {
        LineList partial{int32_t(n), lines};
        freeLines(&partial);
        return -1;
    }
    out->count = int32_t(n);
    out->lines = lines;
    return out->count;
}

void freeLines(LineList* list) {
    if (!list) return;
    if (list->lines) {
        for (int32_t i = 0; i < list->count; ++i) engineFree(list->lines[i]);
        engineFree(list->lines);
    }
    list->count = 0;
    list->lines = nullptr;
}

}  // namespace KelpaEngine
