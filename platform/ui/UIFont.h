// A font: a family, a size in points and a weight, turned into a Pango font
// description when text is laid out. The system font is the sans family
// that fontconfig picks for Japanese and that also has Latin glyphs, so a
// mixed text is drawn in one face.
#pragma once

#include <string>

typedef struct _PangoFontDescription PangoFontDescription;

namespace KelpaPlatform {

class UIFont {
public:
    UIFont(std::string family, double pointSize, bool bold = false);

    static UIFont systemFontOfSize(double pointSize);
    static UIFont boldSystemFontOfSize(double pointSize);
    // The system font's family, resolved once ("sans-serif" when no
    // installed family has both Latin and Japanese glyphs).
    static const std::string& systemFamilyName();

    // The system font's family is looked up when it is first needed, not
    // when the font is made: the lookup loads fontconfig's whole set-up.
    const std::string& familyName() const { return family_.empty() ? systemFamilyName() : family_; }
    double pointSize() const { return pointSize_; }
    bool isBold() const { return bold_; }
    UIFont fontWithSize(double pointSize) const { return UIFont(family_, pointSize, bold_); }

    // A new description (the caller frees it with pango_font_description_free),
    // sized in user-space units so that one point is one unit of the cairo
    // context it draws on.
    PangoFontDescription* newPangoDescription() const;

    bool operator==(const UIFont& o) const {
        if (pointSize_ != o.pointSize_ || bold_ != o.bold_) return false;
        return family_.empty() == o.family_.empty() ? family_ == o.family_ : familyName() == o.familyName();
    }

private:
    std::string family_;  // empty: the system font's
    double pointSize_;
    bool bold_;
};

}  // namespace KelpaPlatform
