// test-links: kelpa_ios platform_gl
// One whole frame with the game's own art, drawn through the recorder and
// the GL executor on the surfaceless context: a background, sprites
// (anchored, scaled, offset, turned, mirrored), a panel and a text label
// from the game's font, on a 16:9 phone and on the pad. Sample points of
// every element are checked where the element's own picture says they must
// land; the frames are written as PNG next to the build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/Font.h"
#include "engine/FontShadow.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/Factories.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"
#include "tests/support/png_read.h"

using namespace KelpaEngine;
using KelpaPlatform::FrameCapture;
using KelpaPlatform::ScreenProfile;

namespace {

const char kAssets[] = KELPA_SOURCE_DIR "/assets/Assets.bundle";

class TestApp : public Application {
public:
    int32_t frameStep(int32_t, bool) override { return 0; }
    int32_t getState() override { return 0; }
};

struct Rgba {
    int r, g, b, a;
};

int distance(const Rgba& x, const Rgba& y) {
    return std::max({std::abs(x.r - y.r), std::abs(x.g - y.g), std::abs(x.b - y.b)});
}

// A picture's pixels, straight RGBA rows, read with libpng itself (not the
// engine's decoder) so that the check does not lean on the code under test.
struct Picture {
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;

    Rgba at(int x, int y) const {
        const uint8_t* p = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    // Opaque (alpha >= minAlpha) and of one colour around (x, y).
    bool flatAround(int x, int y, int radius, int minAlpha) const {
        if (x < radius || y < radius || x >= w - radius || y >= h - radius) return false;
        Rgba c = at(x, y);
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                Rgba o = at(x + dx, y + dy);
                if (o.a < minAlpha || distance(o, c) > 6) return false;
            }
        }
        return true;
    }
    bool clearAround(int x, int y, int radius) const {
        if (x < radius || y < radius || x >= w - radius || y >= h - radius) return false;
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                if (at(x + dx, y + dy).a != 0) return false;
            }
        }
        return true;
    }
};

bool readAsset(const char* name, Picture* out) {
    return testsupport::readPNG(std::string(kAssets) + "/" + name, &out->rgba, &out->w, &out->h);
}

// A text label as the game makes one: measured, rendered at 1.5 times into
// a zeroed buffer and uploaded into a texture of the measured size.
RefPtr<Image> makeTextLabel(Graphics* graphics, Font* font, const char* text, Picture* rendered) {
    FontExtent size{0, 0};
    font->measure(&size, text, 1);
    RefPtr<Texture> texture = Texture::create(graphics, size.width, size.height);
    if (!texture) return nullptr;
    RefPtr<Image> image = Image::fromTexture(texture);
    if (!image) return nullptr;
    rendered->w = size.width;
    rendered->h = size.height;
    rendered->rgba.assign(size_t(size.width) * size_t(size.height) * 4, 0);
    font->render(rendered->rgba.data(), 4 * size.width, text, 0, 0, 1);
    texture->update(rendered->rgba.data());
    return image;
}

// Where a picture drawn as a quad lands: position (0..dw, 0..dh) of the quad
// for texel (ix, iy), then the sprite transform about its pivot.
struct Placement {
    double x, y;        // anchored top-left
    double dw, dh;      // drawn size
    double pivotX = 0, pivotY = 0;
    double scaleX = 1, scaleY = 1;
    double rotation = 0;  // radians
    int tw = 1, th = 1;   // texels of the picture

    void virtualAt(int ix, int iy, double* vx, double* vy) const {
        // The quad's texture coordinates run from half a texel inside one
        // edge to half a texel inside the other.
        double qx = tw > 1 ? ix * dw / (tw - 1) : dw / 2;
        double qy = th > 1 ? iy * dh / (th - 1) : dh / 2;
        double lx = (qx - pivotX) * scaleX, ly = (qy - pivotY) * scaleY;
        double c = std::cos(rotation), s = std::sin(rotation);
        *vx = x + pivotX + c * lx - s * ly;
        *vy = y + pivotY + s * lx + c * ly;
    }
};

struct Sample {
    double vx, vy;
    Rgba want;
    std::string what;
};

class FrameCompositeTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        iOS::setAssetFolder(kAssets);
        const ScreenProfile* p = KelpaPlatform::findScreenProfile(GetParam());
        ASSERT_NE(nullptr, p);
        profile = *p;
        KelpaPlatform::setCurrentScreenProfile(profile);
        iOS::GraphicsImp::resetViewportMemoForTesting();
        KelpaPlatform::setFramePresenter(&capture);
    }
    void TearDown() override {
        KelpaPlatform::setFramePresenter(nullptr);
        KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
        iOS::GraphicsImp::resetViewportMemoForTesting();
        iOS::setAssetFolder(nullptr);
    }

    Rgba frameAt(double vx, double vy) const {
        int32_t px = int32_t(vx * profile.pixelWidth() / app.getVirtualWidth());
        int32_t py = int32_t(vy * profile.pixelHeight() / app.getVirtualHeight());
        uint32_t v = capture.pixel(px, py);
        return {int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
    }

    // `count` texels spread over the picture where it is flat and
    // opaque, and where it differs from what lies under it.
    template <class Under>
    void pickSamples(const char* what, const Picture& pic, const Placement& place, int radius, int count,
                     Under under, std::vector<Sample>* out) {
        std::vector<Sample> found;
        for (int iy = 0; iy < pic.h; iy += 2) {
            for (int ix = 0; ix < pic.w; ix += 2) {
                if (!pic.flatAround(ix, iy, radius, 255)) continue;
                Sample s;
                place.virtualAt(ix, iy, &s.vx, &s.vy);
                s.want = pic.at(ix, iy);
                if (distance(s.want, under(s.vx, s.vy)) < 60) continue;
                s.what = std::string(what) + " texel " + std::to_string(ix) + "," + std::to_string(iy);
                found.push_back(s);
            }
        }
        ASSERT_GE(found.size(), size_t(count)) << what;
        // Spread from the first found to the last.
        for (int i = 0; i < count; ++i) {
            size_t index = count > 1 ? (found.size() - 1) * size_t(i) / size_t(count - 1) : 0;
            out->push_back(found[index]);
        }
    }

    ScreenProfile profile{};
    TestApp app;
    FrameCapture capture;
};

TEST_P(FrameCompositeTest, EveryElementLandsWhereItsPictureSays) {
    RefPtr<Graphics> graphics = iOS::createGraphicsImp(&app);
    ASSERT_TRUE(graphics);
    auto* imp = dynamic_cast<iOS::GraphicsImp*>(graphics.get());
    ASSERT_NE(nullptr, imp);
    ASSERT_TRUE(imp->hasContext());
    const int32_t vw = graphics->getVirtualWidth();
    const int32_t vh = graphics->getVirtualHeight();
    ASSERT_EQ(960, vh);
    // The 540-wide design sits in the middle of a wider drawing space.
    const int32_t off = (vw - kDesignWidth) / 2;
    EXPECT_EQ(profile.isPad ? 50 : 0, off);

    Picture bgPic, chestPic, stagePic, playerPic, walkerPic, coinPic, bellPic, textPic;
    ASSERT_TRUE(readAsset("main_bg1.png", &bgPic));
    ASSERT_TRUE(readAsset("main_treasure.png", &chestPic));
    ASSERT_TRUE(readAsset("main_stage.png", &stagePic));
    ASSERT_TRUE(readAsset("main_player_walk_right_01.png", &playerPic));
    ASSERT_TRUE(readAsset("main_player_walk_left_02.png", &walkerPic));
    ASSERT_TRUE(readAsset("main_coin.png", &coinPic));
    ASSERT_TRUE(readAsset("main_dumbbell.png", &bellPic));

    RefPtr<Image> background = Image::load(graphics, "main_bg1.png");
    ASSERT_TRUE(background);
    ASSERT_EQ(bgPic.w, background->getWidth());
    RefPtr<Sprite2D> chest = Sprite2D::create(graphics, off + 270, 420, "main_treasure.png", 0x11);
    RefPtr<Sprite2D> stage = Sprite2D::create(graphics, off + 270, 960, "main_stage.png", 0x21);
    RefPtr<Sprite2D> mirrored = Sprite2D::create(graphics, off + 120, 780, "main_player_walk_right_01.png", 0x20);
    RefPtr<Sprite2D> turned = Sprite2D::create(graphics, off + 420, 640, "main_player_walk_left_02.png", 0x11);
    RefPtr<Sprite2D> coin = Sprite2D::create(graphics, off + 200, 620, "main_coin.png", 0x22);
    RefPtr<Sprite2D> bell = Sprite2D::create(graphics, off + 300, 260, "main_dumbbell.png", 0x00);
    ASSERT_TRUE(chest && stage && mirrored && turned && coin && bell);
    mirrored->scaleX = -1.0f;  // faces the other way about its pivot
    turned->rotation = 0.6f;   // radians about its pivot, clockwise on screen
    coin->scaleX = 2.0f;
    coin->scaleY = 2.0f;

    RefPtr<Font> font = FontShadow::create(&app, "GenShinGothic-Medium.ttf", 36, 36);
    ASSERT_TRUE(font);
    font->setColor(255, 221, 0, 255);
    RefPtr<Image> label = makeTextLabel(graphics.get(), font.get(), "SCORE $1,234.56", &textPic);
    ASSERT_TRUE(label);
    ASSERT_GT(textPic.w, 200);

    // Recorded front to back, as scenes may: layer 0 is drawn last, on top.
    const int32_t textX = off + 50, textY = 58;
    const Rgba panel{26, 26, 51, 255};
    graphics->beginFrame();
    graphics->setLayer(0);
    graphics->setColor(panel.r / 255.0f, panel.g / 255.0f, panel.b / 255.0f, 1.0f);
    graphics->fillRect(off + 30, 40, 480, 80);
    graphics->drawImageScaled(textX, textY, label);
    graphics->drawSpriteAt(0, 0, mirrored);
    graphics->drawSpriteAt(0, 0, turned);
    graphics->drawSpriteAt(0, 0, coin);
    graphics->drawSpriteAt(10, -20, bell);  // offset from its own place
    graphics->setLayer(2);
    const int32_t bgX = (vw - bgPic.w) / 2;
    graphics->drawImage(bgX, 0, background);
    graphics->setLayer(1);
    graphics->drawSpriteAt(0, 0, stage);
    graphics->drawSpriteAt(0, 0, chest);
    graphics->setLayer(0);
    graphics->endFrame();
    ASSERT_EQ(0u, capture.frameCount());
    graphics->present();
    ASSERT_EQ(1u, capture.frameCount());

    std::string png = std::string(KELPA_BINARY_DIR) + "/frame_composite_" + profile.name + ".png";
    for (char& c : png) {
        if (c == '@') c = '_';
    }
    EXPECT_TRUE(capture.writePNG(png.c_str())) << png;

    auto bgUnder = [&](double vx, double vy) {
        int ix = std::clamp(int(vx) - bgX, 0, bgPic.w - 1);
        int iy = std::clamp(int(vy), 0, bgPic.h - 1);
        return bgPic.at(ix, iy);
    };
    auto sprite = [](const Sprite2D& s, const Picture& pic, int dx, int dy) {
        Placement p;
        uint32_t hz = s.anchor & 0x0F, vt = s.anchor & 0xF0;
        p.x = s.x - (hz == 2 ? s.width : hz == 1 ? s.width / 2 : 0) + dx;
        p.y = s.y - (vt == 0x20 ? s.height : vt == 0x10 ? s.height / 2 : 0) + dy;
        p.dw = s.width;
        p.dh = s.height;
        p.pivotX = s.pivotX;
        p.pivotY = s.pivotY;
        p.scaleX = s.scaleX;
        p.scaleY = s.scaleY;
        p.rotation = s.rotation;
        p.tw = pic.w;
        p.th = pic.h;
        return p;
    };

    std::vector<Sample> samples;
    // The background: its sun, a cloud and the sky where the picture puts
    // them, at places nothing else covers.
    {
        struct Texel {
            int x, y;
            const char* what;
        };
        const Texel texels[] = {{590, 150, "the sun"}, {120, 145, "a cloud"}, {300, 335, "a cloud"},
                                {60 - bgX, 500, "the sky"}};
        for (const Texel& t : texels) {
            ASSERT_TRUE(bgPic.flatAround(t.x, t.y, 3, 255)) << t.what;
            samples.push_back({double(bgX + t.x) + 0.5, t.y + 0.5, bgPic.at(t.x, t.y), t.what});
        }
        EXPECT_GT(distance(bgPic.at(590, 150), bgPic.at(520, 260)), 60);  // the sun stands out
    }
    pickSamples("chest", chestPic, sprite(*chest, chestPic, 0, 0), 2, 5, bgUnder, &samples);
    pickSamples("stage", stagePic, sprite(*stage, stagePic, 0, 0), 2, 4, bgUnder, &samples);
    pickSamples("mirrored player", playerPic, sprite(*mirrored, playerPic, 0, 0), 1, 4, bgUnder, &samples);
    pickSamples("turned player", walkerPic, sprite(*turned, walkerPic, 0, 0), 1, 4, bgUnder, &samples);
    pickSamples("coin", coinPic, sprite(*coin, coinPic, 0, 0), 1, 3, bgUnder, &samples);
    pickSamples("dumbbell", bellPic, sprite(*bell, bellPic, 10, -20), 1, 3, bgUnder, &samples);

    // The text: full-coverage texels show the text colour, clear ones the panel.
    {
        Placement p{double(textX), double(textY), double(int(textPic.w / 1.5)), double(int(textPic.h / 1.5))};
        p.tw = textPic.w;
        p.th = textPic.h;
        auto onPanel = [&](double, double) { return panel; };
        pickSamples("text", textPic, p, 2, 5, onPanel, &samples);
        int clear = 0;
        for (int iy = 0; iy < textPic.h && clear < 4; iy += 5) {
            for (int ix = textPic.w / 3; ix < textPic.w && clear < 4; ix += 37) {
                if (!textPic.clearAround(ix, iy, 3)) continue;
                Sample s;
                p.virtualAt(ix, iy, &s.vx, &s.vy);
                s.want = panel;
                s.what = "between the letters " + std::to_string(ix) + "," + std::to_string(iy);
                samples.push_back(s);
                ++clear;
            }
        }
        EXPECT_EQ(4, clear);
    }

    for (const Sample& s : samples) {
        Rgba got = frameAt(s.vx, s.vy);
        EXPECT_LE(distance(s.want, got), 24)
            << s.what << " at (" << s.vx << ", " << s.vy << "): want " << s.want.r << "," << s.want.g << ","
            << s.want.b << " got " << got.r << "," << got.g << "," << got.b;
    }
    // Sprites and the label hold their pictures only until the frame is shown.
    EXPECT_EQ(1u, refCountOf(label.get()));
    EXPECT_EQ(1u, refCountOf(coin.get()));
}

INSTANTIATE_TEST_SUITE_P(Screens, FrameCompositeTest, ::testing::Values("375x667@2", "768x1024@2"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) {
                                 if (c == '@') c = '_';
                             }
                             return n;
                         });

}  // namespace
