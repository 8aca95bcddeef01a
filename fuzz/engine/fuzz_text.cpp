// UTF-8 text as the tables, notices and labels hold it: decoded code point by
// code point and split into lines.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/TextUtil.h"

namespace {

using namespace KelpaEngine;

bool isBreak(char c) { return c == '\n' || c == '\r'; }

// The lines must be the text's pieces between breaks, in order, each break
// being CR, LF, CR LF or LF CR; what follows the last break is no line.
void checkLines(const LineList& list, const char* text, size_t length) {
    if (length == 0) {
        if (list.count != 1 || list.lines[0][0] != 0) std::abort();
        return;
    }
    size_t at = 0;
    for (int32_t i = 0; i < list.count; ++i) {
        const size_t n = std::strlen(list.lines[i]);
        if (at + n >= length || std::memcmp(text + at, list.lines[i], n) != 0) std::abort();
        at += n;
        const char c = text[at++];
        if (!isBreak(c)) std::abort();
        if (text[at] == (c == '\n' ? '\r' : '\n')) ++at;
    }
    for (; at < length; ++at) {
        if (isBreak(text[at])) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The loaders hand text over with one NUL after the bytes.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = 0;
    const size_t length = std::strlen(text.get());

    // A walk by decode and length lands exactly on the NUL.
    size_t at = 0;
    while (text[at] != 0) {
        const uint32_t cp = utf8Decode(text.get() + at);
        const uint32_t n = utf8Length(cp);
        if (n < 1 || n > 4 || at + n > length) std::abort();
        at += n;
    }
    if (at != length) std::abort();

    LineList lines;
    const int32_t count = splitLines(&lines, text.get());
    if (count < 0) return 0;  // out of memory
    if (count != lines.count || !lines.lines) std::abort();
    checkLines(lines, text.get(), length);
    freeLines(&lines);
    if (lines.count != 0 || lines.lines) std::abort();
    return 0;
}
