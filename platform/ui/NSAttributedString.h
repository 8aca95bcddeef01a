// Text with attributes. The attributes are held as Pango markup, which is
// what a label draws them with (font, weight, size, colours, underline).
#pragma once

#include <optional>
#include <string>

namespace KelpaPlatform {

class NSAttributedString {
public:
    // Plain text without attributes.
    explicit NSAttributedString(const std::string& text);
    // Null when the markup does not parse.
    static std::optional<NSAttributedString> withMarkup(const std::string& markup);

    // The characters without the attributes.
    const std::string& string() const { return text_; }
    const std::string& markup() const { return markup_; }

    bool operator==(const NSAttributedString& o) const { return markup_ == o.markup_; }

private:
    NSAttributedString() = default;
    std::string text_;
    std::string markup_;
};

}  // namespace KelpaPlatform
