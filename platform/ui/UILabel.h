// A label: text drawn with Pango on the view's cairo context. Laid out as
// the phone's label lays out: centred vertically, aligned horizontally,
// wrapped or truncated by its line-break mode within numberOfLines, and
// shrunk towards minimumFontSize before it is truncated.
#pragma once

#include <optional>
#include <string>

#include "platform/ui/NSAttributedString.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIView.h"

typedef struct _PangoContext PangoContext;
typedef struct _PangoLayout PangoLayout;

namespace KelpaPlatform {

enum class NSTextAlignment { Left = 0, Center = 1, Right = 2 };

enum class NSLineBreakMode {
    ByWordWrapping = 0,
    ByCharWrapping = 1,
    ByClipping = 2,
    ByTruncatingHead = 3,
    ByTruncatingTail = 4,
    ByTruncatingMiddle = 5,
};

class UILabel : public UIView {
public:
    explicit UILabel(const CGRect& frame = CGRect());

    const std::string& text() const { return text_; }
    // Also drops any attributed text.
    void setText(const std::string& text);
    const std::optional<NSAttributedString>& attributedText() const { return attributed_; }
    // Drawn instead of text, over the label's font and colour; text becomes its characters.
    void setAttributedText(const std::optional<NSAttributedString>& text);

    const UIFont& font() const { return font_; }
    void setFont(const UIFont& font);
    const UIColor& textColor() const { return textColor_; }
    void setTextColor(const UIColor& colour);
    NSTextAlignment textAlignment() const { return alignment_; }
    void setTextAlignment(NSTextAlignment alignment);
    NSLineBreakMode lineBreakMode() const { return lineBreak_; }
    void setLineBreakMode(NSLineBreakMode mode);
    // 0: as many lines as the height holds.
    int numberOfLines() const { return lines_; }
    void setNumberOfLines(int lines);
    // Above 0: the text shrinks to fit, down to this size, before it is cut.
    double minimumFontSize() const { return minimumFontSize_; }
    void setMinimumFontSize(double size);
    const std::optional<UIColor>& shadowColor() const { return shadowColor_; }
    void setShadowColor(const std::optional<UIColor>& colour);
    const CGSize& shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(const CGSize& offset);

    // What drawing the text into a rectangle comes to.
    struct TextLayout {
        double fontSize = 0;    // after any shrinking
        int lineCount = 0;      // lines shown
        bool truncated = false; // an ellipsis stands for cut text
        std::string shownText;  // the shown characters, "…" where text was cut
        CGSize size;            // of the shown lines, in points
    };
    TextLayout textLayoutInRect(const CGRect& rect) const;

    // Draws the label's text into rect (in cr's coordinates) without the
    // background: a button uses this for a label it does not show as a view.
    void drawTextInRect(cairo_t* cr, const CGRect& rect) const;
    void drawRect(cairo_t* cr) override;

    // The size of one line of text in the font, in points, rounded up.
    static CGSize sizeOfText(const std::string& text, const UIFont& font);

private:
    struct Placed;
    // The text laid out for rect (a new layout on ctx).
    PangoLayout* layoutFor(PangoContext* ctx, const CGRect& rect, Placed* out) const;
    PangoLayout* newLayout(PangoContext* ctx, double size) const;
    bool fitsAt(PangoContext* ctx, double size, const CGRect& rect) const;
    double fittedFontSize(PangoContext* ctx, const CGRect& rect) const;
    int breakLines(PangoLayout* l, const CGRect& rect, Placed* out) const;

    std::string text_;
    std::optional<NSAttributedString> attributed_;
    UIFont font_;
    UIColor textColor_{0, 0, 0, 1};
    NSTextAlignment alignment_ = NSTextAlignment::Left;
    NSLineBreakMode lineBreak_ = NSLineBreakMode::ByTruncatingTail;
    int lines_ = 1;
    double minimumFontSize_ = 0;
    std::optional<UIColor> shadowColor_;
    CGSize shadowOffset_{0, -1};
};

}  // namespace KelpaPlatform
