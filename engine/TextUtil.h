// Text helpers shared by the font, the data tables and the text viewer.
// Text is UTF-8; CR, LF, CR LF and LF CR each make one line break.
#pragma once

#include <cstdint>

namespace KelpaEngine {

// A copy of text on the engine heap (free with engineFree); null for null
// text or when memory runs out.
char* engineStrdup(const char* text);

// The result of splitLines: count lines, each an engine-heap NUL-terminated
// string, in an engine-heap array.
struct LineList {
    int32_t count = 0;
    char** lines = nullptr;
};

// Splits text into the lines closed by a line break; text after the last
// break is not a line, and an empty text gives one empty line. Bytes that do
// not decode are kept in their line. Returns the count, or -1 (with an empty
// list) for null arguments or when memory runs out.
int32_t splitLines(LineList* out, const char* text);
// Frees the lines and the array and empties the list.
void freeLines(LineList* list);

// The code point starting at text. 0 for the terminating NUL and for bytes
// that do not start a whole sequence (a continuation byte, 0xF8 and above, or
// a lead byte not followed by all its continuation bytes); nothing past the
// first byte that is not a continuation byte (such as the NUL) is read.
// Overlong forms decode to their value.
uint32_t utf8Decode(const char* text);
inline uint32_t utf8Decode(const unsigned char* text) {
    return utf8Decode(reinterpret_cast<const char*>(text));
}

// Bytes of a code point's encoding: 1, 2, 3 or 4. A walker advances by
// utf8Length(utf8Decode(p)), so an undecodable byte (code point 0) advances
// by one.
uint32_t utf8Length(uint32_t codePoint);

}  // namespace KelpaEngine
