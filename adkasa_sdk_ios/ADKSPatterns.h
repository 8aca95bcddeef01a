// The few text patterns the ad client looks for in ad tags, matched by
// plain scans: each runs in time linear in the tag and in constant stack,
// whatever the tag holds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace adks {

// The value of the first `key( *):( *)"([0-9a-zA-Z]+)"` in `text` (the key
// anywhere, also inside a longer word), or none.
std::optional<std::string> quotedValueForKey(std::string_view text, std::string_view key);

// What lies between the first "<leadbolt>" and the last "</leadbolt>" that
// can be reached from it without crossing a line terminator other than CR
// or LF (vertical tab, form feed, NEL, U+2028, U+2029), or none.
std::optional<std::string> leadboltBlock(std::string_view html);

// The text with every "@" and what follows it up to the end of its line
// removed (an "@" at the very end of a line stays).
std::string withoutAtSuffix(std::string_view text);

// Every occurrence of `from` replaced by `to` (none when `from` is empty).
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// Text for an HTML attribute value or element content.
std::string htmlEscape(std::string_view text);

// True for exactly six hexadecimal digits.
bool isHexColor(std::string_view text);

}  // namespace adks
