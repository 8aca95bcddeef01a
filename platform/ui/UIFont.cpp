#include "platform/ui/UIFont.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace KelpaPlatform {

namespace {

// Pango sizes are ints in 1/1024 units: keep far from overflow.
constexpr double kMinPoints = 0.5;
constexpr double kMaxPoints = 2048;

std::string resolveSystemFamily() {
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoContext* ctx = pango_font_map_create_context(map);
    pango_context_set_language(ctx, pango_language_from_string("ja"));
    PangoFontDescription* desc = pango_font_description_from_string("sans-serif");
    pango_font_description_set_absolute_size(desc, 15 * PANGO_SCALE);
    std::string family;
    // Fontconfig orders the sans families for the Japanese language; the
    // first one wins when it also covers Latin.
    if (PangoFont* font = pango_font_map_load_font(map, ctx, desc)) {
        if (pango_font_has_char(font, 'A') && pango_font_has_char(font, 0x3042)) {
            PangoFontDescription* found = pango_font_describe(font);
            if (const char* name = pango_font_description_get_family(found)) family = name;
            pango_font_description_free(found);
        }
        g_object_unref(font);
    }
    pango_font_description_free(desc);
    g_object_unref(ctx);
    return family;
}

}  // namespace

UIFont::UIFont(std::string family, double pointSize, bool bold)
    : family_(std::move(family)),
      pointSize_(std::isnan(pointSize) ? kMinPoints : std::clamp(pointSize, kMinPoints, kMaxPoints)),
      bold_(bold) {}

const std::string& UIFont::systemFamilyName() {
    static const std::string name = [] {
        std::string found = resolveSystemFamily();
        // The generic name stays behind it for what the family lacks.
        return found.empty() ? std::string("sans-serif") : found + ",sans-serif";
    }();
    return name;
}

UIFont UIFont::systemFontOfSize(double pointSize) { return UIFont(std::string(), pointSize, false); }

UIFont UIFont::boldSystemFontOfSize(double pointSize) { return UIFont(std::string(), pointSize, true); }

PangoFontDescription* UIFont::newPangoDescription() const {
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, familyName().c_str());
    pango_font_description_set_weight(d, bold_ ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_absolute_size(d, pointSize_ * PANGO_SCALE);
    return d;
}

}  // namespace KelpaPlatform
