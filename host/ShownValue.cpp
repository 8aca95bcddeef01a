#include "host/ShownValue.h"

#include <cstdio>

namespace KelpaHost {

std::string shownValue(const std::string& text, size_t maxBytes) {
    std::string out;
    size_t i = 0;
    for (; i < text.size() && out.size() < maxBytes; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02x", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    if (i == text.size()) return out;
    // Not inside a character: back off to the start of one.
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xc0) == 0x80) out.pop_back();
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xc0) out.pop_back();
    return out + "...";
}

}  // namespace KelpaHost
