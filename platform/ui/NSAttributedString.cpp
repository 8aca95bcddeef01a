#include "platform/ui/NSAttributedString.h"

#include <pango/pango.h>

namespace KelpaPlatform {

NSAttributedString::NSAttributedString(const std::string& text) : text_(text) {
    gchar* escaped = g_markup_escape_text(text.c_str(), gssize(text.size()));
    markup_ = escaped;
    g_free(escaped);
}

std::optional<NSAttributedString> NSAttributedString::withMarkup(const std::string& markup) {
    char* plain = nullptr;
    if (!pango_parse_markup(markup.c_str(), int(markup.size()), 0, nullptr, &plain, nullptr, nullptr)) return std::nullopt;
    NSAttributedString s;
    s.text_ = plain ? plain : "";
    s.markup_ = markup;
    g_free(plain);
    return s;
}

}  // namespace KelpaPlatform
