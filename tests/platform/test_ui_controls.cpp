// Fonts, labels, images, controls and buttons of the UI stand-in, drawn on
// cairo image surfaces and probed by pixel.
#include <gtest/gtest.h>

#include <cairo.h>
#include <pango/pangocairo.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIColorNames.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIWindow.h"
#include "tests/support/cairo_canvas.h"

using namespace KelpaPlatform;
using testsupport::Canvas;
using testsupport::Rgba;
using testsupport::solidImage;

namespace {

const std::string kAssets = std::string(KELPA_SOURCE_DIR) + "/assets/Assets.bundle";

bool dark(const Rgba& p) { return p.a > 0 && p.r + p.g + p.b < 3 * 128; }

// ---- Fonts and text ----

TEST(UIFontTest, SystemFontIsOneFamilyWithLatinAndJapaneseGlyphs) {
    const UIFont font = UIFont::boldSystemFontOfSize(15);
    EXPECT_TRUE(font.isBold());
    EXPECT_EQ(15, font.pointSize());
    // A family of its own, not the generic name alone.
    EXPECT_NE("sans-serif", font.familyName());

    PangoContext* ctx = pango_font_map_create_context(pango_cairo_font_map_get_default());
    PangoFontDescription* d = font.newPangoDescription();
    for (const char* text : {"おすすめ", "読み込み中...", "閉じる", "Loading... Close"}) {
        PangoLayout* l = pango_layout_new(ctx);
        pango_layout_set_font_description(l, d);
        pango_layout_set_text(l, text, -1);
        EXPECT_EQ(0, pango_layout_get_unknown_glyphs_count(l)) << text;
        g_object_unref(l);
    }
    pango_font_description_free(d);
    g_object_unref(ctx);
}

TEST(UIFontTest, PointsAreUserSpaceUnits) {
    // Full-width kana and kanji are one em wide: five of them at 16 points
    // take 80 points, whatever the screen's resolution.
    const CGSize s = UILabel::sizeOfText("読み込み中", UIFont::boldSystemFontOfSize(16));
    EXPECT_EQ(80, s.width);
    EXPECT_GE(s.height, 16);
    EXPECT_LE(s.height, 32);
    const CGSize loading = UILabel::sizeOfText("Loading...", UIFont::boldSystemFontOfSize(16));
    EXPECT_EQ(loading.width, std::ceil(loading.width));
    EXPECT_GT(loading.width, 50);
    EXPECT_LT(loading.width, 110);
    EXPECT_EQ(CGSize().width, UILabel::sizeOfText("", UIFont::systemFontOfSize(16)).width);
}

TEST(UILabelTest, JapaneseTextDrawsInk) {
    for (const char* text : {"おすすめ", "読み込み中...", "閉じる"}) {
        UILabel label(CGRectMake(0, 0, 120, 30));
        label.setText(text);
        label.setFont(UIFont::boldSystemFontOfSize(15));
        Canvas canvas(120, 30, 2);
        canvas.draw(label);
        const auto box = canvas.ink(label.frame(), dark);
        EXPECT_GT(box.count, 100) << text;
        // Several glyphs side by side, not one box.
        EXPECT_GT(box.maxX - box.minX, 40) << text;
    }
}

struct FitCase {
    const char* name;
    std::string text;
    double width, height;
    double minimum;
    NSLineBreakMode mode;
    int lines;
    // Expected:
    double fontAtLeast, fontAtMost;
    bool truncated;
    int lineCount;
};

class UILabelFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(UILabelFitTest, ShrinksThenCuts) {
    const FitCase& c = GetParam();
    UILabel label;
    label.setText(c.text);
    label.setFont(UIFont::boldSystemFontOfSize(15));
    label.setMinimumFontSize(c.minimum);
    label.setLineBreakMode(c.mode);
    label.setNumberOfLines(c.lines);
    const CGRect rect = CGRectMake(0, 0, c.width, c.height);
    const UILabel::TextLayout t = label.textLayoutInRect(rect);
    EXPECT_GE(t.fontSize, c.fontAtLeast);
    EXPECT_LE(t.fontSize, c.fontAtMost);
    EXPECT_EQ(c.truncated, t.truncated) << t.shownText;
    EXPECT_EQ(c.lineCount, t.lineCount) << t.shownText;
    EXPECT_LE(t.size.width, c.width + 0.01);
    if (!c.truncated && c.lineCount == 1) {
        EXPECT_EQ(c.text, t.shownText);
    }

    const std::string ellipsis = "\u2026";
    const std::string& shown = t.shownText;
    if (c.truncated && c.mode == NSLineBreakMode::ByTruncatingMiddle) {
        // The head and the tail stay; the middle goes.
        EXPECT_EQ(c.text.substr(0, 2), shown.substr(0, 2));
        EXPECT_EQ(c.text.substr(c.text.size() - 2), shown.substr(shown.size() - 2));
        EXPECT_NE(std::string::npos, shown.find(ellipsis));
    }
    if (c.truncated && c.mode == NSLineBreakMode::ByTruncatingTail) {
        EXPECT_EQ(ellipsis, shown.substr(shown.size() - ellipsis.size()));
    }
    if (c.truncated && c.mode == NSLineBreakMode::ByTruncatingHead) {
        EXPECT_EQ(0u, shown.find(ellipsis));
    }
}

const std::string kLong = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

INSTANTIATE_TEST_SUITE_P(
    Cases, UILabelFitTest,
    ::testing::Values(
        FitCase{"fits", "Close", 100, 40, 12, NSLineBreakMode::ByTruncatingMiddle, 1, 15, 15, false, 1},
        // About 13 points wide enough: shrunk, not cut.
        FitCase{"shrinks", "Close window", UILabel::sizeOfText("Close window", UIFont::boldSystemFontOfSize(13.5)).width,
                40, 12, NSLineBreakMode::ByTruncatingMiddle, 1, 12.5, 14.5, false, 1},
        FitCase{"middle", kLong, 100, 40, 12, NSLineBreakMode::ByTruncatingMiddle, 1, 12, 12.1, true, 1},
        FitCase{"tail", kLong, 100, 40, 0, NSLineBreakMode::ByTruncatingTail, 1, 15, 15, true, 1},
        FitCase{"head", kLong, 100, 40, 0, NSLineBreakMode::ByTruncatingHead, 1, 15, 15, true, 1},
        FitCase{"two lines cut", kLong, 100, 60, 0, NSLineBreakMode::ByTruncatingTail, 2, 15, 15, true, 2},
        // No limit on lines: the three wrapped lines that the text needs, or
        // as many as the height holds.
        FitCase{"wrap", "one two three four five six", 100, 80, 0, NSLineBreakMode::ByWordWrapping, 0, 15, 15, false, 3},
        FitCase{"wrap cut by height", "one two three four five six", 100, 50, 0, NSLineBreakMode::ByWordWrapping, 0, 15,
                15, false, 2},
        FitCase{"never below minimum", kLong, 20, 40, 12, NSLineBreakMode::ByTruncatingTail, 1, 12, 12.1, true, 1}),
    [](const ::testing::TestParamInfo<FitCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(UILabelTest, AlignsHorizontallyAndCentresVertically) {
    struct Case {
        NSTextAlignment alignment;
        double expectedLeft;  // where the ink begins, roughly
    };
    const CGSize text = UILabel::sizeOfText("Hello", UIFont::boldSystemFontOfSize(15));
    for (const Case& c : {Case{NSTextAlignment::Left, 0}, Case{NSTextAlignment::Center, (200 - text.width) / 2},
                          Case{NSTextAlignment::Right, 200 - text.width}}) {
        UILabel label(CGRectMake(0, 0, 200, 60));
        label.setText("Hello");
        label.setFont(UIFont::boldSystemFontOfSize(15));
        label.setTextAlignment(c.alignment);
        Canvas canvas(200, 60, 2);
        canvas.draw(label);
        const auto box = canvas.ink(label.frame(), dark);
        ASSERT_GT(box.count, 0);
        EXPECT_NEAR(c.expectedLeft, box.minX, 3) << int(c.alignment);
        EXPECT_NEAR(30, (box.minY + box.maxY) / 2, 4) << int(c.alignment);
    }
}

TEST(UILabelTest, ShadowIsDrawnAtItsOffset) {
    UILabel label(CGRectMake(0, 0, 100, 40));
    label.setText("I");
    label.setFont(UIFont::boldSystemFontOfSize(30));
    label.setTextColor(whiteColor());
    label.setShadowColor(blackColor());
    label.setShadowOffset(CGSize{0, -3});
    Canvas canvas(100, 40, 1, whiteColor());
    canvas.draw(label);
    // White text on white: only the shadow shows, and only above the glyph.
    const auto shadow = canvas.ink(label.frame(), dark);
    ASSERT_GT(shadow.count, 0);
    EXPECT_LE(shadow.maxY - shadow.minY, 4.5);
}

// ---- Images ----

class UIImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("ui-images-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        saved_ = UIImage::resourceFolder();
    }
    void TearDown() override {
        UIImage::setResourceFolder(saved_);
        std::filesystem::remove_all(dir_);
    }
    void write(const std::string& name, const std::vector<char>& bytes) {
        std::ofstream(dir_ / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    static std::vector<char> closePng() {
        std::ifstream in(kAssets + "/adksinters_close.png", std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    }
    std::filesystem::path dir_;
    std::string saved_;
};

TEST_F(UIImageTest, NamedImageComesFromTheResourceFolder) {
    UIImage::setResourceFolder(kAssets);
    for (const char* name : {"adksinters_close.png", "adksinters_close"}) {
        auto image = UIImage::imageNamed(name);
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(37, image->size().width);
        EXPECT_EQ(33, image->size().height);
        EXPECT_EQ(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_format(image->surface()));
    }
    EXPECT_FALSE(UIImage::imageNamed("no_such_image.png"));
    EXPECT_FALSE(UIImage::imageNamed(""));
}

TEST_F(UIImageTest, BrokenFilesGiveNoImage) {
    const std::vector<char> good = closePng();
    ASSERT_GT(good.size(), 100u);
    // A header that claims 100000 x 100000 pixels.
    std::vector<char> huge = good;
    for (int i : {16, 20}) {
        huge[i] = 0, huge[i + 1] = 1, huge[i + 2] = char(0x86), huge[i + 3] = char(0xa0);
    }
    std::vector<char> corrupt = good;
    for (size_t i = 60; i < corrupt.size() - 20; ++i) corrupt[i] = char(corrupt[i] ^ 0x5a);
    write("truncated.png", std::vector<char>(good.begin(), good.begin() + 100));
    write("garbage.png", std::vector<char>(500, 'x'));
    write("empty.png", {});
    write("huge.png", huge);
    write("corrupt.png", corrupt);
    write("good.png", good);
    UIImage::setResourceFolder(dir_.string());
    for (const char* name : {"truncated.png", "garbage.png", "empty.png", "huge.png", "corrupt.png"})
        EXPECT_FALSE(UIImage::imageNamed(name)) << name;
    EXPECT_TRUE(UIImage::imageNamed("good.png"));
}

TEST(UIImageSurfaceTest, KeepsItsOwnReferenceAndConvertsToArgb) {
    cairo_surface_t* rgb = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 8, 4);
    auto copy = UIImage::imageWithSurface(rgb);
    cairo_surface_destroy(rgb);
    ASSERT_TRUE(copy);
    EXPECT_EQ(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_format(copy->surface()));

    cairo_surface_t* argb = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 5, 6);
    auto held = UIImage::imageWithSurface(argb);
    cairo_surface_destroy(argb);
    ASSERT_TRUE(held);
    EXPECT_EQ(CAIRO_STATUS_SUCCESS, cairo_surface_status(held->surface()));
    EXPECT_EQ(5, held->size().width);
    EXPECT_EQ(6, held->size().height);

    EXPECT_FALSE(UIImage::imageWithSurface(nullptr));
    cairo_surface_t* empty = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 0, 0);
    EXPECT_FALSE(UIImage::imageWithSurface(empty));
    cairo_surface_destroy(empty);
}

TEST(UIImageViewTest, TakesTheImageSizeAndScalesIntoItsBounds) {
    auto view = std::make_shared<UIImageView>(solidImage(10, 5, UIColor{1, 0, 0, 1}));
    EXPECT_EQ(10, view->frame().size.width);
    EXPECT_EQ(5, view->frame().size.height);
    EXPECT_FALSE(view->userInteractionEnabled());
    view->setFrame(CGRectMake(10, 10, 40, 20));
    Canvas canvas(60, 40);
    canvas.draw(*view);
    EXPECT_TRUE(testsupport::near(Rgba{255, 0, 0, 255}, canvas.at(11, 11), 2));
    EXPECT_TRUE(testsupport::near(Rgba{255, 0, 0, 255}, canvas.at(49, 29), 2));
    EXPECT_TRUE(testsupport::near(Rgba{255, 255, 255, 255}, canvas.at(51, 31), 2));
}

// ---- Controls ----

class RecordingControl : public UIControl {
public:
    using UIControl::UIControl;
    bool beginTracking(const UITouch& t) override {
        calls.push_back("begin");
        return UIControl::beginTracking(t);
    }
    bool continueTracking(const UITouch& t) override {
        calls.push_back(isHighlighted() ? "continue in" : "continue out");
        return UIControl::continueTracking(t);
    }
    void endTracking(const UITouch& t) override {
        calls.push_back("end");
        UIControl::endTracking(t);
    }
    void cancelTracking(const UITouch& t) override {
        calls.push_back("cancel");
        UIControl::cancelTracking(t);
    }
    std::vector<std::string> calls;
};

// Hears what a control passes on up the responder chain.
class ChainEnd : public UIView {
public:
    using UIView::UIView;
    void touchesBegan(const UITouchSet&) override { heard.push_back("began"); }
    void touchesEnded(const UITouchSet&) override { heard.push_back("ended"); }
    std::vector<std::string> heard;
};

struct Step {
    UITouchPhase phase;
    double x, y;  // in the window
};

struct TouchCase {
    const char* name;
    std::vector<Step> steps;
    bool enabled;
    int upInside, upOutside, cancels;
    std::vector<std::string> calls;
    std::vector<std::string> passedOn = {};
};

class UIControlTouchTest : public ::testing::TestWithParam<TouchCase> {};

TEST_P(UIControlTouchTest, TracksOneTouch) {
    const TouchCase& c = GetParam();
    UIWindow window(CGRectMake(0, 0, 320, 480));
    auto chain = std::make_shared<ChainEnd>(window.bounds());
    window.addSubview(chain);
    auto control = std::make_shared<RecordingControl>(CGRectMake(100, 100, 80, 40));
    chain->addSubview(control);
    control->setEnabled(c.enabled);
    int upInside = 0, upOutside = 0, cancels = 0;
    control->addTarget(
        [&](UIControl* sender) {
            EXPECT_EQ(control.get(), sender);
            ++upInside;
        },
        UIControlEventTouchUpInside);
    control->addTarget([&](UIControl*) { ++upOutside; }, UIControlEventTouchUpOutside);
    control->addTarget([&](UIControl*) { ++cancels; }, UIControlEventTouchCancel);
    for (const Step& s : c.steps) {
        window.sendTouches(s.phase, {UITouch{7, CGPoint{s.x, s.y}, s.phase}});
        if (s.phase == UITouchPhase::Began && c.enabled) {
            EXPECT_TRUE(control->isHighlighted());
        }
        if (s.phase == UITouchPhase::Moved) {
            EXPECT_EQ(control->frame().contains(CGPoint{s.x, s.y}), control->isHighlighted());
        }
    }
    EXPECT_FALSE(control->isHighlighted());
    EXPECT_FALSE(control->isTracking());
    EXPECT_EQ(c.upInside, upInside);
    EXPECT_EQ(c.upOutside, upOutside);
    EXPECT_EQ(c.cancels, cancels);
    EXPECT_EQ(c.calls, control->calls);
    EXPECT_EQ(c.passedOn, chain->heard);
}

using P = UITouchPhase;
INSTANTIATE_TEST_SUITE_P(
    Cases, UIControlTouchTest,
    ::testing::Values(
        TouchCase{"tap", {{P::Began, 120, 110}, {P::Ended, 121, 111}}, true, 1, 0, 0, {"begin", "end"}},
        TouchCase{"drag out and back",
                  {{P::Began, 120, 110}, {P::Moved, 300, 300}, {P::Moved, 130, 120}, {P::Ended, 130, 120}},
                  true, 1, 0, 0, {"begin", "continue out", "continue in", "end"}},
        TouchCase{"lifted outside", {{P::Began, 120, 110}, {P::Moved, 200, 110}, {P::Ended, 200, 110}}, true, 0, 1, 0,
                  {"begin", "continue out", "end"}},
        // The bounds end at 180: a touch lifted just past it is outside.
        TouchCase{"lifted on the edge", {{P::Began, 120, 110}, {P::Ended, 180, 110}}, true, 0, 1, 0, {"begin", "end"}},
        TouchCase{"cancelled", {{P::Began, 120, 110}, {P::Cancelled, 120, 110}}, true, 0, 0, 1, {"begin", "cancel"}},
        TouchCase{"disabled", {{P::Began, 120, 110}, {P::Ended, 120, 110}}, false, 0, 0, 0, {}, {"began", "ended"}}),
    [](const ::testing::TestParamInfo<TouchCase>& info) {
        std::string n = info.param.name;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(UIControlTest, StateBitsAndRemovedTargets) {
    UIControl control;
    EXPECT_EQ(UIControlStateNormal, control.state());
    control.setHighlighted(true);
    control.setSelected(true);
    control.setEnabled(false);
    EXPECT_EQ(UIControlStateHighlighted | UIControlStateSelected | UIControlStateDisabled, control.state());
    control.setEnabled(true);
    control.setHighlighted(false);
    EXPECT_EQ(UIControlStateSelected, control.state());

    int fired = 0;
    const int token = control.addTarget([&](UIControl*) { ++fired; }, UIControlEventTouchUpInside | UIControlEventValueChanged);
    control.sendActionsForControlEvents(UIControlEventValueChanged);
    control.sendActionsForControlEvents(UIControlEventTouchDown);
    EXPECT_EQ(1, fired);
    control.removeTarget(token);
    control.sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(1, fired);
}

TEST(UIControlTest, AnActionMayRemoveTheControl) {
    UIWindow window(CGRectMake(0, 0, 320, 480));
    auto control = std::make_shared<UIControl>(CGRectMake(0, 0, 50, 50));
    window.addSubview(control);
    std::weak_ptr<UIControl> weak = control;
    bool fired = false;
    control->addTarget(
        [&](UIControl* sender) {
            sender->removeFromSuperview();
            fired = true;
        },
        UIControlEventTouchUpInside);
    control.reset();
    window.sendTouches(UITouchPhase::Began, {UITouch{1, CGPoint{10, 10}}});
    window.sendTouches(UITouchPhase::Ended, {UITouch{1, CGPoint{10, 10}}});
    EXPECT_TRUE(fired);
    EXPECT_TRUE(weak.expired());
}

// ---- Buttons ----

TEST(UIButtonTest, CustomButtonDrawsItsImageCentredAtItsSize) {
    UIImage::setResourceFolder(kAssets);
    auto button = UIButton::buttonWithType(UIButtonType::Custom);
    auto image = UIImage::imageNamed("adksinters_close.png");
    ASSERT_TRUE(image);
    button->setImage(image, UIControlStateNormal);
    EXPECT_EQ(image, button->imageForState(UIControlStateHighlighted));  // falls back to normal
    button->setFrame(CGRectMake(0, 0, 57, 33));

    Canvas image1(37, 33, 1, std::nullopt);
    image->drawInRect(image1.cr(), CGRectMake(0, 0, 37, 33));
    Canvas normal(57, 33, 1, std::nullopt);
    normal.draw(*button);
    // Ten points of border each side, the image unscaled between.
    for (int y = 0; y < 33; y += 4)
        for (int x = 0; x < 37; x += 3) EXPECT_TRUE(testsupport::near(image1.at(x, y), normal.at(x + 10, y), 1));
    EXPECT_EQ(0, normal.at(5, 16).a);

    button->setHighlighted(true);
    Canvas highlighted(57, 33, 1, std::nullopt);
    highlighted.draw(*button);
    const Rgba n = normal.at(28, 16), h = highlighted.at(28, 16);
    EXPECT_EQ(n.a, h.a);
    EXPECT_LT(h.r + h.g + h.b, n.r + n.g + n.b - 60);  // darkened

    button->setHighlighted(false);
    button->setEnabled(false);
    Canvas disabled(57, 33, 1, std::nullopt);
    disabled.draw(*button);
    EXPECT_NEAR(n.a / 2.0, disabled.at(28, 16).a, 2);
}

TEST(UIButtonTest, TitleInItsColourForTheState) {
    UIButton button(CGRectMake(0, 0, 57, 33));
    button.setTitle("Close", UIControlStateNormal);
    button.setTitleColor(grayColor(), UIControlStateNormal);
    button.setTitleColor(UIColor{1, 0, 0, 1}, UIControlStateHighlighted);
    EXPECT_EQ("Close", button.titleForState(UIControlStateDisabled).value_or(""));

    auto inkOf = [&](const UIColor& colour) {
        Canvas canvas(57, 33, 2, std::nullopt);
        canvas.draw(button);
        const Rgba want = testsupport::rgba255(colour);
        return canvas.ink(button.bounds(), [&](const Rgba& p) {
            return p.a > 200 && std::abs(p.r - want.r) < 30 && std::abs(p.g - want.g) < 30 && std::abs(p.b - want.b) < 30;
        });
    };
    const auto gray = inkOf(grayColor());
    ASSERT_GT(gray.count, 20);
    // Centred: as much room on the left as on the right.
    EXPECT_NEAR(gray.minX, 57 - gray.maxX, 2);
    button.setHighlighted(true);
    EXPECT_GT(inkOf(UIColor{1, 0, 0, 1}).count, 20);
}

}  // namespace
