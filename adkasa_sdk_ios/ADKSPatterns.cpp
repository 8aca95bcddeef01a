#include "adkasa_sdk_ios/ADKSPatterns.h"

#include <glib.h>

namespace adks {

namespace {

bool isAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Length of the line terminator that the pattern's "." refuses at `i`,
// other than CR and LF, or 0.
size_t otherTerminatorAt(std::string_view s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == 0x0B || c == 0x0C) return 1;
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85) return 2;
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9))
        return 3;
    return 0;
}

bool isLineBreak(char c) { return c == '\n' || c == '\r' || c == 0x0B || c == 0x0C; }

}  // namespace

std::optional<std::string> quotedValueForKey(std::string_view text, std::string_view key) {
    if (key.empty()) return std::nullopt;
    for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
        size_t i = at + key.size();
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size() || text[i] != ':') continue;
        ++i;
        while (i < text.size() && text[i] == ' ') ++i;
        if (i >= text.size() || text[i] != '"') continue;
        size_t start = ++i;
        while (i < text.size() && isAlnum(text[i])) ++i;
        if (i == start || i >= text.size() || text[i] != '"') continue;
        return std::string(text.substr(start, i - start));
    }
    return std::nullopt;
}

std::optional<std::string> leadboltBlock(std::string_view html) {
    static constexpr std::string_view open = "<leadbolt>";
    static constexpr std::string_view close = "</leadbolt>";
    size_t at = html.find(open);
    while (at != std::string_view::npos) {
        size_t start = at + open.size();
        // The block may run up to the first terminator the pattern refuses.
        size_t limit = start;
        while (limit < html.size() && otherTerminatorAt(html, limit) == 0) ++limit;
        std::string_view reach = html.substr(0, limit);
        size_t end = reach.rfind(close);
        if (end != std::string_view::npos && end >= start) return std::string(html.substr(start, end - start));
        // Any later opening tag before `limit` reaches no further.
        at = html.find(open, limit);
    }
    return std::nullopt;
}

std::string withoutAtSuffix(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '@' && i + 1 < text.size() && !isLineBreak(text[i + 1])) {
            ++i;
            while (i < text.size() && !isLineBreak(text[i])) ++i;
            continue;
        }
        out += text[i++];
    }
    return out;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    size_t i = 0;
    for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, i)) {
        out.append(text.substr(i, at - i));
        out.append(to);
        i = at + from.size();
    }
    out.append(text.substr(i));
    return out;
}

std::string htmlEscape(std::string_view text) {
    gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    std::string out = escaped ? escaped : "";
    g_free(escaped);
    return out;
}

bool isHexColor(std::string_view text) {
    if (text.size() != 6) return false;
    for (char c : text) {
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
    }
    return true;
}

}  // namespace adks
