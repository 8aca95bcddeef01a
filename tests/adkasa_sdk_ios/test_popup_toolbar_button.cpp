// The interstitial's title bar and gradient button, drawn on cairo image
// surfaces and probed by pixel; the button's per-state values, redraws and
// touch tracking. Also writes pictures of both at 2x into the build folder.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adkasa_sdk_ios/ADKSGradientButton.h"
#include "adkasa_sdk_ios/AdkasaPopupToolbar.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIColorNames.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UIWindow.h"
#include "tests/support/cairo_canvas.h"

using namespace KelpaPlatform;
using testsupport::Canvas;
using testsupport::near;
using testsupport::Rgba;
using testsupport::solidImage;

namespace {

const std::string kAssets = std::string(KELPA_SOURCE_DIR) + "/assets/Assets.bundle";

UIColor rgb(int r, int g, int b, double a = 1) { return UIColor{r / 255.0, g / 255.0, b / 255.0, a}; }

// A flat white button without text or border, for probing one thing at a time.
std::shared_ptr<ADKSGradientButton> plainButton(const CGRect& frame) {
    auto b = std::make_shared<ADKSGradientButton>(frame, 1);
    b->setGradientEnabled(0);
    b->setTintColor(whiteColor());
    b->setBorderWidth(0);
    return b;
}

bool reddish(const Rgba& p) { return p.a > 0 && p.r > 150 && p.g < 200 && p.r - p.g > 60; }

// ---- Toolbar ----

TEST(AdkasaPopupToolbarTest, DrawsAVerticalGradient) {
    struct Case {
        const char* name;
        std::optional<UIColor> start, end;
        Rgba top, bottom;
    };
    const Case cases[] = {
        {"default", std::nullopt, std::nullopt, Rgba{107, 222, 31, 255}, Rgba{49, 172, 0, 255}},
        {"custom", rgb(255, 0, 0), rgb(0, 0, 255), Rgba{255, 0, 0, 255}, Rgba{0, 0, 255, 255}},
        {"start only", rgb(0, 0, 0), std::nullopt, Rgba{0, 0, 0, 255}, Rgba{49, 172, 0, 255}},
    };
    for (const Case& c : cases) {
        auto bar = std::make_shared<AdkasaPopupToolbar>(CGRectMake(0, 0, 310, 42));
        bar->setStartColor(c.start);
        bar->setEndColor(c.end);
        Canvas canvas(310, 42, 2, std::nullopt);
        canvas.draw(*bar);
        // The first and last pixel rows are a quarter of a point from the ends.
        EXPECT_TRUE(near(c.top, canvas.pixel(0, 0), 3)) << c.name;
        EXPECT_TRUE(near(c.top, canvas.pixel(619, 0), 3)) << c.name;
        EXPECT_TRUE(near(c.bottom, canvas.pixel(300, 83), 3)) << c.name;
        const Rgba mid = canvas.at(155, 21);
        EXPECT_NEAR((c.top.g + c.bottom.g) / 2.0, mid.g, 3) << c.name;
        EXPECT_NEAR((c.top.b + c.bottom.b) / 2.0, mid.b, 3) << c.name;
    }
}

// ---- Gradient stops ----

TEST(ADKSGradientButtonTest, GradientStopsAreFiftyStepsEitherSideOfTheTint) {
    struct Case {
        UIColor tint;
        double light[3], dark[3];
    };
    const Case cases[] = {
        // A channel above 205 gives a light stop of 1; one below 50 a dark stop of 0.
        {rgb(210, 40, 100, 0.5), {1, 90 / 255.0, 150 / 255.0}, {160 / 255.0, 0, 50 / 255.0}},
        {rgb(220, 220, 220), {1, 1, 1}, {170 / 255.0, 170 / 255.0, 170 / 255.0}},
        {rgb(0, 157, 255), {50 / 255.0, 207 / 255.0, 1}, {0, 107 / 255.0, 205 / 255.0}},
        {rgb(50, 205, 128), {100 / 255.0, 1, 178 / 255.0}, {0, 155 / 255.0, 78 / 255.0}},
    };
    for (const Case& c : cases) {
        ADKSGradientButton button(CGRectMake(0, 0, 100, 40));
        button.setTintColor(c.tint);
        cairo_pattern_t* g = button.newGradientAccordingToCurrentState(CGPoint{50, 0}, CGPoint{50, 40});
        int count = 0;
        ASSERT_EQ(CAIRO_STATUS_SUCCESS, cairo_pattern_get_color_stop_count(g, &count));
        ASSERT_EQ(3, count);
        double at[3], rgba[3][4];
        for (int i = 0; i < 3; ++i)
            cairo_pattern_get_color_stop_rgba(g, i, &at[i], &rgba[i][0], &rgba[i][1], &rgba[i][2], &rgba[i][3]);
        EXPECT_EQ(0.0, at[0]);
        EXPECT_EQ(0.5, at[1]);
        EXPECT_EQ(1.0, at[2]);
        const double tint[3] = {c.tint.r, c.tint.g, c.tint.b};
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(c.light[k], rgba[0][k], 1e-6);
            EXPECT_NEAR(tint[k], rgba[1][k], 1e-6);
            EXPECT_NEAR(c.dark[k], rgba[2][k], 1e-6);
            // Worked in single precision.
            EXPECT_EQ(rgba[0][k], double(float(rgba[0][k])));
            EXPECT_EQ(rgba[2][k], double(float(rgba[2][k])));
        }
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(c.tint.a, rgba[i][3], 1e-6);
        double x0, y0, x1, y1;
        cairo_pattern_get_linear_points(g, &x0, &y0, &x1, &y1);
        EXPECT_EQ(0, y0);
        EXPECT_EQ(40, y1);
        EXPECT_EQ(CAIRO_EXTEND_NONE, cairo_pattern_get_extend(g));
        cairo_pattern_destroy(g);
    }
}

TEST(ADKSGradientButtonTest, TintForTheState) {
    ADKSGradientButton button(CGRectMake(0, 0, 100, 40));
    button.setTintColor(rgb(10, 20, 30));
    button.setHighlightedTintColor(rgb(40, 50, 60));
    EXPECT_TRUE(colorsEqual(rgb(10, 20, 30), *button.tintColorAccordingToCurrentState()));
    button.setSelected(true);
    EXPECT_TRUE(colorsEqual(rgb(40, 50, 60), *button.tintColorAccordingToCurrentState()));
    // No highlighted tint: the normal one, not nothing.
    button.setHighlightedTintColor(std::nullopt);
    EXPECT_TRUE(colorsEqual(rgb(10, 20, 30), *button.tintColorAccordingToCurrentState()));
    // No tint at all: a transparent gradient.
    button.setTintColor(std::nullopt);
    cairo_pattern_t* g = button.newGradientAccordingToCurrentState(CGPoint{}, CGPoint{0, 1});
    double at, r, gr, b, a;
    cairo_pattern_get_color_stop_rgba(g, 1, &at, &r, &gr, &b, &a);
    EXPECT_EQ(0, a);
    cairo_pattern_destroy(g);
}

// ---- Styles ----

struct StyleColours {
    UIColor tint, highlightedTint, border, highlightedBorder, text, highlightedText, shadow, highlightedShadow;
};

StyleColours coloursOf(const ADKSGradientButton& b) {
    return {*b.tintColor(),   *b.highlightedTintColor(), *b.borderColor(),     *b.highlightedBorderColor(),
            *b.textColor(),   *b.highlightedTextColor(), *b.textShadowColor(), *b.highlightedTextShadowColor()};
}

void expectColours(const StyleColours& want, const ADKSGradientButton& b, const std::string& what) {
    const StyleColours got = coloursOf(b);
    const UIColor* w = &want.tint;
    const UIColor* g = &got.tint;
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(colorsEqual(w[i], g[i])) << what << " colour " << i;
}

const StyleColours kStyle1{rgb(220, 220, 220), rgb(0, 157, 255), darkGrayColor(), whiteColor(),
                           blackColor(),       whiteColor(),      clearColor(),    darkGrayColor()};
const StyleColours kStyle2{rgb(0, 0, 0),  rgb(3, 112, 236), whiteColor(), whiteColor(),
                           whiteColor(), whiteColor(),     clearColor(), clearColor()};
const StyleColours kStyle3{rgb(0, 0, 0, 0.7), rgb(3, 112, 236, 0.7), whiteColor(), whiteColor(),
                           whiteColor(),      whiteColor(),          clearColor(), clearColor()};

TEST(ADKSGradientButtonTest, StylesSetTheirColours) {
    struct Case {
        uint64_t style;
        const StyleColours* colours;
        Rgba middle;  // the fill at half height, flat, over white
    };
    // An unknown style keeps the class-wide defaults: style 1's colours.
    const Case cases[] = {{1, &kStyle1, Rgba{220, 220, 220, 255}},
                          {2, &kStyle2, Rgba{0, 0, 0, 255}},
                          {3, &kStyle3, Rgba{77, 77, 77, 255}},
                          {9, &kStyle1, Rgba{220, 220, 220, 255}}};
    for (const Case& c : cases) {
        auto b = std::make_shared<ADKSGradientButton>(CGRectMake(0, 0, 100, 40), c.style);
        expectColours(*c.colours, *b, "style " + std::to_string(c.style));
        EXPECT_EQ(c.style, b->style());
        EXPECT_TRUE(b->isGradientEnabled());
        EXPECT_FALSE(b->isGlossy());
        EXPECT_EQ(10, b->cornerRadius());
        EXPECT_EQ(2, b->borderWidth());
        EXPECT_FALSE(b->text());
        b->setGradientEnabled(0);
        Canvas canvas(100, 40);
        canvas.draw(*b);
        EXPECT_TRUE(near(c.middle, canvas.at(50, 20), 2)) << c.style;
    }
}

TEST(ADKSGradientButtonTest, ChangingStyle) {
    ADKSGradientButton b(CGRectMake(0, 0, 100, 40), 2);
    b.setStyle(9);  // unknown: every colour stays
    expectColours(kStyle2, b, "2 then 9");
    b.setStyle(3);
    expectColours(kStyle3, b, "9 then 3");
    b.setTintColor(rgb(1, 2, 3));
    const uint64_t redraws = b.redrawCount();
    b.setStyle(3);  // the same style again: nothing happens
    EXPECT_TRUE(colorsEqual(rgb(1, 2, 3), *b.tintColor()));
    EXPECT_EQ(redraws, b.redrawCount());
    b.setStyle(1);
    expectColours(kStyle1, b, "3 then 1");
}

TEST(ADKSGradientButtonTest, InitialisersAndTheirDefaults) {
    ADKSGradientButton full(CGRectMake(0, 0, 100, 40), 2, 6, 1, std::string("Go"));
    EXPECT_EQ(2u, full.style());
    EXPECT_EQ(6, full.cornerRadius());
    EXPECT_EQ(1, full.borderWidth());
    EXPECT_EQ("Go", full.text().value_or(""));
    EXPECT_EQ("Go", full.highlightedText().value_or(""));
    EXPECT_EQ("Go", full.disabledText().value_or(""));
    ADKSGradientButton styleOne(CGRectMake(0, 0, 100, 40), 4, 3, std::string("Go"));
    EXPECT_EQ(1u, styleOne.style());
    EXPECT_EQ(4, styleOne.cornerRadius());
    expectColours(kStyle1, styleOne, "style one");
    ADKSGradientButton plain;
    EXPECT_EQ(1u, plain.style());

    UILabel* label = full.titleLabel();
    EXPECT_EQ(NSTextAlignment::Center, label->textAlignment());
    EXPECT_EQ(NSLineBreakMode::ByTruncatingMiddle, label->lineBreakMode());
    EXPECT_EQ(0, label->numberOfLines());
    EXPECT_EQ(UIFont::boldSystemFontOfSize(15), label->font());
    EXPECT_EQ(12, label->minimumFontSize());
    EXPECT_EQ(-1, label->shadowOffset().height);
    EXPECT_TRUE(label->subviews().empty());
    EXPECT_TRUE(full.subviews().empty());
    EXPECT_TRUE(colorsEqual(colorWithWhite(1, 0.35), *full.glossyStartColor()));
    EXPECT_TRUE(colorsEqual(colorWithWhite(1, 0.1), *full.glossyEndColor()));
}

// ---- Fill, gloss, border, images ----

TEST(ADKSGradientButtonTest, FillGoesFromLightThroughTintToDark) {
    auto b = std::make_shared<ADKSGradientButton>(CGRectMake(0, 0, 100, 40), 1);
    b->setBorderWidth(0);
    b->setTintColor(rgb(100, 100, 100));
    Canvas canvas(100, 40, 2);
    canvas.draw(*b);
    EXPECT_NEAR(150, canvas.pixel(100, 0).g, 3);   // light stop at the top
    EXPECT_NEAR(100, canvas.at(50, 20).g, 3);      // the tint at half height
    EXPECT_NEAR(50, canvas.pixel(100, 79).g, 3);   // dark stop at the bottom
    // Outside the rounded corner: the background.
    EXPECT_TRUE(near(Rgba{255, 255, 255, 255}, canvas.at(0.5, 0.5), 1));

    b->setGlossy(1);
    Canvas glossy(100, 40, 2);
    glossy.draw(*b);
    // White at 0.35 over the top, fading to 0.1 at half height; nothing below.
    EXPECT_NEAR(150 + 0.35 * (255 - 150), glossy.pixel(100, 0).g, 4);
    EXPECT_NEAR(100 + 0.1 * (255 - 100), glossy.at(50, 19.9).g, 4);
    EXPECT_NEAR(canvas.at(50, 30).g, glossy.at(50, 30).g, 1);
}

TEST(ADKSGradientButtonTest, BorderShowsOnlyItsInnerHalf) {
    struct Case {
        double width;
        double inner;  // points of border colour inside the edge
    };
    for (const Case& c : {Case{2, 1}, Case{6, 3}, Case{0, 0}}) {
        auto b = plainButton(CGRectMake(0, 0, 100, 40));
        b->setBorderWidth(c.width);
        b->setBorderColor(UIColor{1, 0, 0, 1});
        Canvas canvas(100, 40, 2);
        canvas.draw(*b);
        // Along the left edge at half height, pixel by pixel (half a point each).
        for (int px = 0; px < 10; ++px) {
            const bool inBorder = px < int(c.inner * 2);
            const Rgba p = canvas.pixel(px, 40);
            EXPECT_TRUE(near(inBorder ? Rgba{255, 0, 0, 255} : Rgba{255, 255, 255, 255}, p, 2))
                << "width " << c.width << " pixel " << px;
        }
        // Outside the rounded corner the outer half of the line would show, were it not clipped.
        EXPECT_TRUE(near(Rgba{255, 255, 255, 255}, canvas.at(1, 1), 2)) << "width " << c.width;
    }
}

TEST(ADKSGradientButtonTest, HighlightedWithoutItsOwnBorderUsesTheNormalOne) {
    auto b = plainButton(CGRectMake(0, 0, 100, 40));
    b->setBorderWidth(4);
    b->setBorderColor(UIColor{1, 0, 0, 1});
    b->setHighlightedBorderColor(std::nullopt);
    b->setHighlightedTintColor(whiteColor());
    b->setHighlighted(true);
    Canvas canvas(100, 40, 2);
    canvas.draw(*b);
    EXPECT_TRUE(near(Rgba{255, 0, 0, 255}, canvas.at(1, 20), 2));
    b->setHighlightedBorderColor(UIColor{0, 0, 1, 1});
    Canvas blue(100, 40, 2);
    blue.draw(*b);
    EXPECT_TRUE(near(Rgba{0, 0, 255, 255}, blue.at(1, 20), 2));
}

TEST(ADKSGradientButtonTest, AccessoryImagesFitTheAvailableHeight) {
    // Border 2: inset 6, so 32 of the 44 points are available.
    auto b = plainButton(CGRectMake(0, 0, 120, 44));
    b->setBorderWidth(2);
    b->setBorderColor(clearColor());
    b->setLeftAccessoryImage(solidImage(20, 40, UIColor{0, 0, 1, 1}));   // taller: 16 x 32
    b->setRightAccessoryImage(solidImage(10, 10, UIColor{0, 1, 0, 1}));  // lower: 10 x 10
    Canvas canvas(120, 44, 2);
    canvas.draw(*b);
    const auto blue = canvas.ink(b->bounds(), [](const Rgba& p) { return p.b > 200 && p.r < 50 && p.g < 50; });
    EXPECT_DOUBLE_EQ(6, blue.minX);
    EXPECT_DOUBLE_EQ(22, blue.maxX);
    EXPECT_DOUBLE_EQ(6, blue.minY);
    EXPECT_DOUBLE_EQ(38, blue.maxY);
    const auto green = canvas.ink(b->bounds(), [](const Rgba& p) { return p.g > 200 && p.r < 50 && p.b < 50; });
    EXPECT_DOUBLE_EQ(104, green.minX);
    EXPECT_DOUBLE_EQ(114, green.maxX);
    EXPECT_DOUBLE_EQ(17, green.minY);
    EXPECT_DOUBLE_EQ(27, green.maxY);

    // Highlighted: the highlighted image where there is one, else the normal one.
    b->setLeftAccessoryImage(solidImage(16, 16, UIColor{1, 0, 0, 1}), UIControlStateHighlighted);
    b->setHighlighted(true);
    EXPECT_EQ(b->leftHighlightedAccessoryImage(), b->leftAccessoryImageAccordingToCurrentState());
    EXPECT_EQ(b->rightAccessoryImage(), b->rightAccessoryImageAccordingToCurrentState());
}

// The bounds of the red text that the button draws.
testsupport::InkBox textInk(ADKSGradientButton& b, double scale = 2) {
    Canvas canvas(int(b.frame().size.width), int(b.frame().size.height), scale);
    canvas.draw(b);
    return canvas.ink(b.bounds(), reddish);
}

TEST(ADKSGradientButtonTest, TextStaysInsideTheInset) {
    struct Case {
        double border;
        double inset;
    };
    for (const Case& c : {Case{0, 4}, Case{2, 6}, Case{6, 10}}) {
        auto b = plainButton(CGRectMake(0, 0, 140, 40));
        b->setBorderWidth(c.border);
        b->setBorderColor(clearColor());
        b->setTextColor(UIColor{1, 0, 0, 1});
        b->setText(std::string("iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"));
        const auto ink = textInk(*b);
        ASSERT_GT(ink.count, 0);
        // Cut to the area: it fills it to within a glyph or so on each side.
        EXPECT_GE(ink.minX, c.inset) << c.border;
        EXPECT_LE(ink.minX, c.inset + 4) << c.border;
        EXPECT_LE(ink.maxX, 140 - c.inset) << c.border;
        EXPECT_GE(ink.maxX, 140 - c.inset - 4) << c.border;
    }
}

TEST(ADKSGradientButtonTest, TextNeverRunsOverTheRightImage) {
    auto b = plainButton(CGRectMake(0, 0, 140, 40));
    b->setTextColor(UIColor{1, 0, 0, 1});
    b->setText(std::string("iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"));
    // A clear image: anything red over its place would be text.
    b->setRightAccessoryImage(solidImage(20, 20, clearColor()));
    const auto ink = textInk(*b);
    ASSERT_GT(ink.count, 0);
    const double imageLeft = 140 - 20 - 4;
    EXPECT_LE(ink.maxX, imageLeft);
    EXPECT_GE(ink.maxX, imageLeft - 4);

    b->setLeftAccessoryImage(solidImage(30, 20, clearColor()));
    const auto both = textInk(*b);
    EXPECT_GE(both.minX, 4 + 30);
    EXPECT_LE(both.maxX, imageLeft);
}

TEST(ADKSGradientButtonTest, DisabledTextAtHalfAlpha) {
    auto b = plainButton(CGRectMake(0, 0, 140, 40));
    b->setTextColor(UIColor{1, 0, 0, 1});
    b->setText(std::string("Close"));
    b->setDisabledText(std::string("Closed for now"));
    auto strongest = [&] {
        Canvas canvas(140, 40, 2);
        canvas.draw(*b);
        const auto ink = canvas.ink(b->bounds(), reddish);
        int minGreen = 255;
        for (int y = 0; y < canvas.pixelHeight(); ++y)
            for (int x = 0; x < canvas.pixelWidth(); ++x) minGreen = std::min(minGreen, canvas.pixel(x, y).g);
        return std::make_pair(ink, minGreen);
    };
    const auto [normalInk, normalGreen] = strongest();
    EXPECT_LT(normalGreen, 20);  // full red at the glyphs' cores
    b->setEnabled(false);
    EXPECT_EQ("Closed for now", b->textAccordingToCurrentState().value_or(""));
    EXPECT_NEAR(0.5, b->textColorAccordingToCurrentState()->a, 1e-9);
    const auto [disabledInk, disabledGreen] = strongest();
    EXPECT_NEAR(128, disabledGreen, 6);  // red at half alpha over white
    EXPECT_GT(disabledInk.maxX - disabledInk.minX, normalInk.maxX - normalInk.minX + 20);  // the longer text
    // Without a disabled text: the text for the other bits.
    b->setDisabledText(std::nullopt);
    EXPECT_EQ("Close", b->textAccordingToCurrentState().value_or(""));
    b->setHighlightedText(std::string("Closing"));
    b->setHighlighted(true);
    EXPECT_EQ("Closing", b->textAccordingToCurrentState().value_or(""));
}

TEST(ADKSGradientButtonTest, HighlightedWithoutItsOwnTextShowsTheNormalText) {
    ADKSGradientButton b(CGRectMake(0, 0, 140, 40), 2);
    b.setText(std::string("Close"));
    b.setHighlightedText(std::nullopt);
    b.setHighlightedTextColor(std::nullopt);
    b.setHighlighted(true);
    EXPECT_EQ("Close", b.textAccordingToCurrentState().value_or(""));
    EXPECT_TRUE(colorsEqual(whiteColor(), *b.textColorAccordingToCurrentState()));
}

TEST(ADKSGradientButtonTest, AttributedTextIsPreferred) {
    auto b = plainButton(CGRectMake(0, 0, 140, 40));
    b->setTextColor(blackColor());
    b->setText(std::string("plain"));
    b->setAttributedText(NSAttributedString::withMarkup("<span foreground=\"#ff0000\">marked</span>"));
    ASSERT_TRUE(b->attributedText());
    EXPECT_EQ("marked", b->attributedText()->string());
    EXPECT_GT(textInk(*b).count, 20);
    EXPECT_FALSE(NSAttributedString::withMarkup("<span>broken"));
}

// ---- State-addressed setters ----

TEST(ADKSGradientButtonTest, StateAddressedSettersPickTheValue) {
    struct Case {
        UIControlState state;
        bool normal, highlighted, disabled;  // which text the setter sets
    };
    const Case cases[] = {
        {UIControlStateNormal, true, false, false},
        {UIControlStateHighlighted, false, true, false},
        {UIControlStateSelected, false, true, false},
        {UIControlStateDisabled, false, false, true},
        {UIControlStateHighlighted | UIControlStateDisabled, false, true, true},
        {8, false, false, false},  // neither bit: nothing
    };
    for (const Case& c : cases) {
        ADKSGradientButton b(CGRectMake(0, 0, 100, 40), 2, 10, 2, std::string("old"));
        b.setText(std::string("new"), c.state);
        EXPECT_EQ(c.normal ? "new" : "old", b.text().value_or("")) << c.state;
        EXPECT_EQ(c.highlighted ? "new" : "old", b.highlightedText().value_or("")) << c.state;
        EXPECT_EQ(c.disabled ? "new" : "old", b.disabledText().value_or("")) << c.state;

        const UIColor red{1, 0, 0, 1};
        b.setTintColor(red, c.state);
        b.setBorderColor(red, c.state);
        b.setTextColor(red, c.state);
        b.setTextShadowColor(red, c.state);
        // Colours have no disabled value.
        EXPECT_EQ(c.normal, colorsEqual(red, *b.tintColor())) << c.state;
        EXPECT_EQ(c.highlighted, colorsEqual(red, *b.highlightedTintColor())) << c.state;
        EXPECT_EQ(c.normal, colorsEqual(red, *b.borderColor())) << c.state;
        EXPECT_EQ(c.highlighted, colorsEqual(red, *b.highlightedBorderColor())) << c.state;
        EXPECT_EQ(c.normal, colorsEqual(red, *b.textColor())) << c.state;
        EXPECT_EQ(c.highlighted, colorsEqual(red, *b.highlightedTextColor())) << c.state;
        EXPECT_EQ(c.normal, colorsEqual(red, *b.textShadowColor())) << c.state;
        EXPECT_EQ(c.highlighted, colorsEqual(red, *b.highlightedTextShadowColor())) << c.state;

        auto image = solidImage(4, 4, red);
        b.setRightAccessoryImage(image, c.state);
        b.setLeftAccessoryImage(image, c.state);
        EXPECT_EQ(c.normal, b.rightAccessoryImage() == image) << c.state;
        EXPECT_EQ(c.highlighted, b.rightHighlightedAccessoryImage() == image) << c.state;
        EXPECT_EQ(c.normal, b.leftAccessoryImage() == image) << c.state;
        EXPECT_EQ(c.highlighted, b.leftHighlightedAccessoryImage() == image) << c.state;
    }
}

// ---- Redraws ----

TEST(ADKSGradientButtonTest, RedrawsOnlyWhenWhatShowsChanges) {
    struct Case {
        const char* name;
        UIControlState state;
        std::function<void(ADKSGradientButton&)> change;
        bool redraws;
    };
    const Case cases[] = {
        {"equal text", 0, [](ADKSGradientButton& b) { b.setText(std::string("Close")); }, false},
        {"new text", 0, [](ADKSGradientButton& b) { b.setText(std::string("Shut")); }, true},
        {"highlighted text while normal", 0, [](ADKSGradientButton& b) { b.setHighlightedText(std::string("X")); }, false},
        {"highlighted text while highlighted", 1, [](ADKSGradientButton& b) { b.setHighlightedText(std::string("X")); },
         true},
        {"highlighted text while selected", 4, [](ADKSGradientButton& b) { b.setHighlightedText(std::string("X")); },
         true},
        {"disabled text while enabled", 0, [](ADKSGradientButton& b) { b.setDisabledText(std::string("X")); }, false},
        {"disabled text while disabled", 2, [](ADKSGradientButton& b) { b.setDisabledText(std::string("X")); }, true},
        {"tint while highlighted", 1, [](ADKSGradientButton& b) { b.setTintColor(UIColor{1, 0, 0, 1}); }, false},
        // A disabled button shows its normal colours: a change must show.
        {"tint while disabled", 2, [](ADKSGradientButton& b) { b.setTintColor(UIColor{1, 0, 0, 1}); }, true},
        {"equal tint", 0, [](ADKSGradientButton& b) { b.setTintColor(rgb(220, 220, 220)); }, false},
        {"border while highlighted", 1, [](ADKSGradientButton& b) { b.setHighlightedBorderColor(rgb(1, 2, 3)); }, true},
        {"same image", 0, [](ADKSGradientButton& b) { b.setLeftAccessoryImage(b.leftAccessoryImage()); }, false},
        {"corner radius", 0, [](ADKSGradientButton& b) { b.setCornerRadius(3); }, false},
        {"border width", 0, [](ADKSGradientButton& b) { b.setBorderWidth(5); }, false},
        {"gradient off", 0, [](ADKSGradientButton& b) { b.setGradientEnabled(0); }, true},
        {"gradient on again", 0, [](ADKSGradientButton& b) { b.setGradientEnabled(1); }, false},
        {"gloss on", 0, [](ADKSGradientButton& b) { b.setGlossy(1); }, true},
    };
    for (const Case& c : cases) {
        ADKSGradientButton b(CGRectMake(0, 0, 100, 40), 1, 10, 2, std::string("Close"));
        b.setLeftAccessoryImage(solidImage(4, 4, whiteColor()));
        b.setHighlighted(c.state & UIControlStateHighlighted);
        b.setSelected(c.state & UIControlStateSelected);
        b.setEnabled(!(c.state & UIControlStateDisabled));
        const uint64_t before = b.redrawCount();
        c.change(b);
        EXPECT_EQ(c.redraws, b.redrawCount() > before) << c.name;
    }
}

// ---- Touches and accessibility ----

TEST(ADKSGradientButtonTest, TouchesHighlightAndCloseInside) {
    struct Step {
        UITouchPhase phase;
        double x, y;
        bool highlighted;  // after the step
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int closes;
    };
    using P = UITouchPhase;
    const Case cases[] = {
        {"tap", {{P::Began, 250, 20, true}, {P::Ended, 250, 20, false}}, 1},
        {"out and back", {{P::Began, 250, 20, true}, {P::Moved, 100, 20, false}, {P::Moved, 230, 60, true},
                          {P::Ended, 230, 60, false}}, 1},
        {"lifted outside", {{P::Began, 250, 20, true}, {P::Moved, 250, 200, false}, {P::Ended, 250, 200, false}}, 0},
        {"cancelled", {{P::Began, 250, 20, true}, {P::Cancelled, 250, 20, false}}, 0},
    };
    for (const Case& c : cases) {
        UIWindow window(CGRectMake(0, 0, 320, 480));
        auto frame = std::make_shared<UIView>(CGRectMake(0, 0, 320, 480));
        window.addSubview(frame);
        auto close = std::make_shared<ADKSGradientButton>(CGRectMake(0, 255, 300, 40), 1);
        close->setFrame(CGRectMake(220, 0, 100, 70));
        frame->addSubview(close);
        int closes = 0;
        close->addTarget([&](UIControl*) { ++closes; }, UIControlEventTouchUpInside);
        for (const Step& s : c.steps) {
            const uint64_t before = close->redrawCount();
            window.sendTouches(s.phase, {UITouch{3, CGPoint{s.x, s.y}, s.phase}});
            EXPECT_EQ(s.highlighted, close->isHighlighted()) << c.name;
            EXPECT_GT(close->redrawCount(), before) << c.name;
        }
        EXPECT_EQ(c.closes, closes) << c.name;
    }
}

TEST(ADKSGradientButtonTest, AccessibilityFollowsTheState) {
    ADKSGradientButton b(CGRectMake(0, 0, 100, 40), 1, 10, 2, std::string("Close"));
    b.setHighlightedText(std::string("Closing"));
    b.setDisabledText(std::string("Closed"));
    EXPECT_TRUE(b.isAccessibilityElement());
    EXPECT_EQ("Close", b.accessibilityLabel().value_or(""));
    EXPECT_EQ("Close", b.accessibilityHint().value_or(""));
    EXPECT_EQ(UIAccessibilityTraitButton, b.accessibilityTraits());
    b.setSelected(true);
    EXPECT_EQ("Closing", b.accessibilityLabel().value_or(""));
    EXPECT_EQ(UIAccessibilityTraitButton | UIAccessibilityTraitSelected, b.accessibilityTraits());
    b.setEnabled(false);
    EXPECT_EQ("Closed", b.accessibilityHint().value_or(""));
    EXPECT_EQ(UIAccessibilityTraitButton | UIAccessibilityTraitSelected | UIAccessibilityTraitNotEnabled,
              b.accessibilityTraits());
}

// ---- The interstitial's pieces together, at 2x ----

// The framed layout's title bar: the toolbar, the title "おすすめ" and the
// close button with its image, or with the text "閉じる" when there is none.
std::shared_ptr<AdkasaPopupToolbar> titleBar(bool withImage) {
    auto bar = std::make_shared<AdkasaPopupToolbar>(CGRectMake(0, 0, 310, 42));
    auto title = std::make_shared<UILabel>(CGRectMake(4, 5, 220, 33));
    title->setText("おすすめ");
    title->setFont(UIFont::boldSystemFontOfSize(15));
    title->setTextColor(whiteColor());
    bar->addSubview(title);
    auto close = UIButton::buttonWithType(UIButtonType::Custom);
    auto image = withImage ? UIImage::imageNamed("adksinters_close.png") : nullptr;
    if (image) {
        close->setImage(image, UIControlStateNormal);
        close->setFrame(CGRectMake(268, 5, 37, 33));
    } else {
        close->setFrame(CGRectMake(248, 5, 57, 33));
        close->setTitle(std::string("閉じる"), UIControlStateNormal);
        close->setTitleColor(grayColor(), UIControlStateNormal);
    }
    bar->addSubview(close);
    return bar;
}

std::shared_ptr<ADKSGradientButton> fullScreenClose() {
    auto close = std::make_shared<ADKSGradientButton>(CGRectMake(0, 255, 300, 40), 1);
    close->setText(std::string("閉じる"));
    close->setFrame(CGRectMake(220, 0, 100, 70));
    close->setText(std::string("X 閉じる"));
    close->setBorderColor(clearColor());
    close->setTextColor(whiteColor());
    close->setTintColor(blackColor());
    close->setHighlightedBorderColor(clearColor());
    close->setHighlightedTintColor(blackColor());
    close->setHighlightedTextColor(rgb(0, 157, 255));
    close->titleLabel()->setFont(UIFont::boldSystemFontOfSize(20));
    return close;
}

class PicturesTest : public ::testing::Test {
protected:
    void SetUp() override { UIImage::setResourceFolder(kAssets); }
    static std::string out(const std::string& name) { return std::string(KELPA_BINARY_DIR) + "/" + name; }
};

TEST_F(PicturesTest, TitleBarWithImageAndTextClose) {
    for (bool withImage : {true, false}) {
        auto bar = titleBar(withImage);
        Canvas canvas(310, 42, 2, std::nullopt);
        canvas.draw(*bar);
        EXPECT_TRUE(canvas.writePng(out(withImage ? "popup_toolbar_image_close.png" : "popup_toolbar_text_close.png")));
        // The title in white ink within its label, from its left edge.
        const auto title = canvas.ink(CGRectMake(4, 5, 220, 33), [](const Rgba& p) { return p.r > 230 && p.g > 230 && p.b > 230; });
        EXPECT_GT(title.count, 200);
        EXPECT_NEAR(4, title.minX, 2.5);
        EXPECT_GT(title.maxX - title.minX, 50);  // four full-width kana at 15 points
        EXPECT_NEAR(21.5, (title.minY + title.maxY) / 2, 3);
        // The close button: the image's own pink, or gray text centred in its frame.
        if (withImage) {
            EXPECT_GT(canvas.ink(CGRectMake(268, 5, 37, 33), [](const Rgba& p) { return p.r > 200 && p.g < 120; }).count, 50);
        } else {
            const auto gray = canvas.ink(CGRectMake(248, 5, 57, 33), [](const Rgba& p) {
                return std::abs(p.r - 128) < 20 && std::abs(p.g - 128) < 20 && std::abs(p.b - 128) < 20;
            });
            EXPECT_GT(gray.count, 50);
            EXPECT_NEAR(248 + 57 / 2.0, (gray.minX + gray.maxX) / 2, 2);
        }
    }
}

TEST_F(PicturesTest, CloseButtonNormalAndHighlighted) {
    struct Case {
        const char* file;
        std::function<std::shared_ptr<ADKSGradientButton>()> make;
        Rgba normalText, highlightedText;
    };
    const Case cases[] = {
        // As the full-screen layout sets it up.
        {"gradient_button_close", fullScreenClose, Rgba{255, 255, 255, 255}, Rgba{0, 157, 255, 255}},
        // Style 1 as it comes.
        {"gradient_button_style1",
         [] {
             auto b = std::make_shared<ADKSGradientButton>(CGRectMake(0, 0, 100, 70), 1);
             b->setText(std::string("X 閉じる"));
             b->titleLabel()->setFont(UIFont::boldSystemFontOfSize(20));
             return b;
         },
         Rgba{0, 0, 0, 255}, Rgba{255, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        for (bool highlighted : {false, true}) {
            auto close = c.make();
            close->setFrame(CGRectMake(0, 0, 100, 70));
            close->setHighlighted(highlighted);
            Canvas canvas(100, 70, 2, UIColor{0.5, 0.5, 0.5, 1});
            canvas.draw(*close);
            const std::string name = std::string(c.file) + (highlighted ? "_highlighted.png" : "_normal.png");
            EXPECT_TRUE(canvas.writePng(out(name)));
            const Rgba want = highlighted ? c.highlightedText : c.normalText;
            const auto text = canvas.ink(CGRectMake(6, 6, 88, 58), [&](const Rgba& p) { return near(want, p, 40); });
            EXPECT_GT(text.count, 200) << name;
            // One line, centred both ways.
            EXPECT_NEAR(50, (text.minX + text.maxX) / 2, 3) << name;
            EXPECT_NEAR(35, (text.minY + text.maxY) / 2, 3) << name;
            EXPECT_LT(text.maxY - text.minY, 25) << name;
        }
    }
}

}  // namespace
