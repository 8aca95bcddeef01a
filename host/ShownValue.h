// A value as the host's messages and output lines show it.
#pragma once

#include <cstddef>
#include <string>

namespace KelpaHost {

// Control characters escaped as \xNN, so that a value cannot break a line
// of output or forge one of its own; cut to about maxBytes (on a
// character's boundary) with "..." when longer.
std::string shownValue(const std::string& text, size_t maxBytes = 60);

// The whole value, escaped the same way.
inline std::string shownWhole(const std::string& text) { return shownValue(text, std::string::npos); }

}  // namespace KelpaHost
