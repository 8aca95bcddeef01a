#include "platform/ui/UILabel.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace KelpaPlatform {

namespace {

// Metrics that do not depend on the device scale: a text measured without a
// context lays out the same when drawn at 2x or 3x.
void prepareContext(PangoContext* ctx) {
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(ctx, o);
    cairo_font_options_destroy(o);
}

PangoContext* newMeasuringContext() {
    PangoContext* ctx = pango_font_map_create_context(pango_cairo_font_map_get_default());
    prepareContext(ctx);
    return ctx;
}

// Pango takes only valid UTF-8.
std::string validText(const std::string& s) {
    if (g_utf8_validate(s.data(), gssize(s.size()), nullptr)) return s;
    gchar* fixed = g_utf8_make_valid(s.data(), gssize(s.size()));
    std::string r = fixed;
    g_free(fixed);
    return r;
}

int toPango(double points) { return int(std::lround(std::clamp(points, 0.0, 1e6) * PANGO_SCALE)); }
double fromPango(int units) { return double(units) / PANGO_SCALE; }

bool truncating(NSLineBreakMode m) {
    return m == NSLineBreakMode::ByTruncatingHead || m == NSLineBreakMode::ByTruncatingTail ||
           m == NSLineBreakMode::ByTruncatingMiddle;
}

PangoEllipsizeMode ellipsizeFor(NSLineBreakMode m) {
    switch (m) {
    case NSLineBreakMode::ByTruncatingHead: return PANGO_ELLIPSIZE_START;
    case NSLineBreakMode::ByTruncatingTail: return PANGO_ELLIPSIZE_END;
    case NSLineBreakMode::ByTruncatingMiddle: return PANGO_ELLIPSIZE_MIDDLE;
    default: return PANGO_ELLIPSIZE_NONE;
    }
}

// The bottom of line `count` - 1, from the layout's top, in Pango units.
int bottomOfLines(PangoLayout* l, int count) {
    PangoLayoutIter* it = pango_layout_get_iter(l);
    int bottom = 0, i = 0;
    do {
        int y0 = 0, y1 = 0;
        pango_layout_iter_get_line_yrange(it, &y0, &y1);
        bottom = y1;
    } while (++i < count && pango_layout_iter_next_line(it));
    pango_layout_iter_free(it);
    return bottom;
}

PangoWrapMode wrapModeFor(NSLineBreakMode m) {
    return m == NSLineBreakMode::ByCharWrapping ? PANGO_WRAP_CHAR : PANGO_WRAP_WORD_CHAR;
}

// One line that is clipped rather than wrapped or cut.
bool clipsSingleLine(int lines, NSLineBreakMode m) {
    return lines == 1 && !truncating(m) && m != NSLineBreakMode::ByWordWrapping &&
           m != NSLineBreakMode::ByCharWrapping;
}

}  // namespace

// Where the layout of layoutFor goes.
struct UILabel::Placed {
    TextLayout info;
    double x = 0, y = 0;
    bool clipWidth = false;   // a single clipped line
    bool clipHeight = false;  // wrapped lines beyond the shown ones
};

UILabel::UILabel(const CGRect& frame) : UIView(frame), font_(UIFont::systemFontOfSize(17)) {
    setUserInteractionEnabled(false);
}

void UILabel::setText(const std::string& text) {
    text_ = text;
    attributed_.reset();
    setNeedsDisplay();
}

void UILabel::setAttributedText(const std::optional<NSAttributedString>& text) {
    attributed_ = text;
    text_ = text ? text->string() : std::string();
    setNeedsDisplay();
}

void UILabel::setFont(const UIFont& font) {
    font_ = font;
    setNeedsDisplay();
}
void UILabel::setTextColor(const UIColor& colour) {
    textColor_ = colour;
    setNeedsDisplay();
}
void UILabel::setTextAlignment(NSTextAlignment alignment) {
    alignment_ = alignment;
    setNeedsDisplay();
}
void UILabel::setLineBreakMode(NSLineBreakMode mode) {
    lineBreak_ = mode;
    setNeedsDisplay();
}
void UILabel::setNumberOfLines(int lines) {
    lines_ = std::max(lines, 0);
    setNeedsDisplay();
}
void UILabel::setMinimumFontSize(double size) {
    minimumFontSize_ = std::max(size, 0.0);
    setNeedsDisplay();
}
void UILabel::setShadowColor(const std::optional<UIColor>& colour) {
    shadowColor_ = colour;
    setNeedsDisplay();
}
void UILabel::setShadowOffset(const CGSize& offset) {
    shadowOffset_ = offset;
    setNeedsDisplay();
}

PangoLayout* UILabel::newLayout(PangoContext* ctx, double size) const {
    PangoLayout* l = pango_layout_new(ctx);
    PangoFontDescription* d = font_.fontWithSize(size).newPangoDescription();
    pango_layout_set_font_description(l, d);
    pango_font_description_free(d);
    if (attributed_) {
        pango_layout_set_markup(l, attributed_->markup().c_str(), -1);
    } else {
        std::string t = validText(text_);
        pango_layout_set_text(l, t.c_str(), int(t.size()));
    }
    pango_layout_set_auto_dir(l, FALSE);
    pango_layout_set_alignment(l, alignment_ == NSTextAlignment::Center  ? PANGO_ALIGN_CENTER
                                  : alignment_ == NSTextAlignment::Right ? PANGO_ALIGN_RIGHT
                                                                         : PANGO_ALIGN_LEFT);
    return l;
}

// Whether the whole text fits at this size, neither cut nor clipped.
bool UILabel::fitsAt(PangoContext* ctx, double size, const CGRect& rect) const {
    const int width = toPango(rect.size.width);
    PangoLayout* l = newLayout(ctx, size);
    PangoRectangle r;
    bool ok;
    if (lines_ == 1) {
        pango_layout_get_extents(l, nullptr, &r);
        ok = r.width <= width;
    } else {
        pango_layout_set_width(l, width);
        pango_layout_set_wrap(l, wrapModeFor(lineBreak_));
        pango_layout_get_extents(l, nullptr, &r);
        int lines = pango_layout_get_line_count(l);
        ok = r.width <= width && (lines_ == 0 || lines <= lines_) &&
             (lines == 1 || r.height <= toPango(rect.size.height));
    }
    g_object_unref(l);
    return ok;
}

double UILabel::fittedFontSize(PangoContext* ctx, const CGRect& rect) const {
    double size = font_.pointSize();
    if (minimumFontSize_ > 0 && minimumFontSize_ < size && !fitsAt(ctx, size, rect)) {
        // The largest size that fits, to a tenth of a point; the minimum
        // when none does.
        double lo = minimumFontSize_, hi = size;
        while (hi - lo > 0.1) {
            double mid = (lo + hi) / 2;
            if (fitsAt(ctx, mid, rect)) lo = mid; else hi = mid;
        }
        size = lo;
    }
    return size;
}

// Sets the layout's wrapping, cutting and clipping for rect; returns the
// number of lines shown.
int UILabel::breakLines(PangoLayout* l, const CGRect& rect, Placed* out) const {
    const int width = toPango(rect.size.width);
    const int height = toPango(rect.size.height);
    if (truncating(lineBreak_)) {
        pango_layout_set_width(l, width);
        pango_layout_set_wrap(l, wrapModeFor(lineBreak_));
        pango_layout_set_ellipsize(l, ellipsizeFor(lineBreak_));
        // Pango keeps at least one line however low the height.
        pango_layout_set_height(l, lines_ == 1 ? -1 : lines_ > 1 ? -lines_ : height);
        return pango_layout_get_line_count(l);
    }
    if (clipsSingleLine(lines_, lineBreak_)) {
        out->clipWidth = true;
        return pango_layout_get_line_count(l);
    }
    pango_layout_set_width(l, width);
    pango_layout_set_wrap(l, wrapModeFor(lineBreak_));
    const int all = pango_layout_get_line_count(l);
    int shown = lines_ > 0 ? std::min(all, lines_) : all;
    // The lines that the height holds, at least one.
    while (shown > 1 && bottomOfLines(l, shown) > height) --shown;
    out->clipHeight = shown < all;
    return shown;
}

namespace {

// The characters of the first `lines` lines, "…" where Pango cut text.
std::string shownTextOf(PangoLayout* l, int lines) {
    std::string shown;
    const char* chars = pango_layout_get_text(l);
    for (int i = 0; i < lines; ++i) {
        PangoLayoutLine* line = pango_layout_get_line_readonly(l, i);
        if (!line) break;
        if (i > 0) shown += '\n';
        for (GSList* r = line->runs; r; r = r->next) {
            auto* run = static_cast<PangoGlyphItem*>(r->data);
            if (run->item->analysis.flags & PANGO_ANALYSIS_FLAG_IS_ELLIPSIS)
                shown += "\u2026";
            else
                shown.append(chars + run->item->offset, size_t(run->item->length));
        }
    }
    return shown;
}

}  // namespace

PangoLayout* UILabel::layoutFor(PangoContext* ctx, const CGRect& rect, Placed* out) const {
    const double size = fittedFontSize(ctx, rect);
    PangoLayout* l = newLayout(ctx, size);
    const bool singleClip = clipsSingleLine(lines_, lineBreak_);
    const int shownLines = breakLines(l, rect, out);

    PangoRectangle logical;
    pango_layout_get_extents(l, nullptr, &logical);
    const double shownHeight = fromPango(bottomOfLines(l, shownLines));
    TextLayout& info = out->info;
    info.fontSize = size;
    info.lineCount = shownLines;
    info.truncated = pango_layout_is_ellipsized(l);
    info.size = CGSize{std::min(fromPango(logical.width), singleClip ? 1e9 : rect.size.width), shownHeight};
    info.shownText = shownTextOf(l, shownLines);

    out->y = rect.origin.y + (rect.size.height - shownHeight) / 2;
    out->x = rect.origin.x;
    if (singleClip) {
        const double w = fromPango(logical.width);
        if (alignment_ == NSTextAlignment::Center) out->x += (rect.size.width - w) / 2;
        if (alignment_ == NSTextAlignment::Right) out->x += rect.size.width - w;
    }
    return l;
}

UILabel::TextLayout UILabel::textLayoutInRect(const CGRect& rect) const {
    PangoContext* ctx = newMeasuringContext();
    Placed placed;
    g_object_unref(layoutFor(ctx, rect, &placed));
    g_object_unref(ctx);
    return placed.info;
}

void UILabel::drawTextInRect(cairo_t* cr, const CGRect& rect) const {
    if (text_.empty()) return;
    cairo_save(cr);
    PangoContext* ctx = pango_cairo_create_context(cr);
    prepareContext(ctx);
    Placed placed;
    PangoLayout* l = layoutFor(ctx, rect, &placed);
    if (placed.clipWidth || placed.clipHeight) {
        const double far = 1e6;
        double x0 = placed.clipWidth ? rect.origin.x : -far;
        double w = placed.clipWidth ? rect.size.width : 2 * far;
        double y0 = placed.clipHeight ? placed.y : -far;
        double h = placed.clipHeight ? placed.info.size.height : 2 * far;
        cairo_rectangle(cr, x0, y0, w, h);
        cairo_clip(cr);
    }
    if (shadowColor_ && shadowColor_->a > 0) {
        cairo_set_source_rgba(cr, shadowColor_->r, shadowColor_->g, shadowColor_->b, shadowColor_->a);
        cairo_move_to(cr, placed.x + shadowOffset_.width, placed.y + shadowOffset_.height);
        pango_cairo_show_layout(cr, l);
    }
    cairo_set_source_rgba(cr, textColor_.r, textColor_.g, textColor_.b, textColor_.a);
    cairo_move_to(cr, placed.x, placed.y);
    pango_cairo_show_layout(cr, l);
    g_object_unref(l);
    g_object_unref(ctx);
    cairo_restore(cr);
}

void UILabel::drawRect(cairo_t* cr) {
    UIView::drawRect(cr);
    drawTextInRect(cr, bounds());
}

CGSize UILabel::sizeOfText(const std::string& text, const UIFont& font) {
    PangoContext* ctx = newMeasuringContext();
    PangoLayout* l = pango_layout_new(ctx);
    PangoFontDescription* d = font.newPangoDescription();
    pango_layout_set_font_description(l, d);
    pango_font_description_free(d);
    std::string t = validText(text);
    pango_layout_set_text(l, t.c_str(), int(t.size()));
    PangoRectangle r;
    pango_layout_get_extents(l, nullptr, &r);
    g_object_unref(l);
    g_object_unref(ctx);
    return CGSize{std::ceil(fromPango(r.width)), std::ceil(fromPango(r.height))};
}

}  // namespace KelpaPlatform
