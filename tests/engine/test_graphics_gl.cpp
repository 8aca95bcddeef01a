// test-links: kelpa_ios platform_gl
// The GL executor end to end: recorded commands drawn with OpenGL ES 2.0
// into the surfaceless framebuffer and read back from the presented frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/Factories.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/TextureImp.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"
#include "tests/support/gl_fixture.h"

using namespace KelpaEngine;
using KelpaPlatform::FrameCapture;
using KelpaPlatform::ScreenProfile;
using testsupport::GLFixture;
using testsupport::TestApp;

namespace {

constexpr uint32_t kBlack = 0x000000FF;
constexpr uint32_t kRed = 0xFF0000FF;
constexpr uint32_t kGreen = 0x00FF00FF;
constexpr uint32_t kBlue = 0x0000FFFF;
constexpr uint32_t kWhite = 0xFFFFFFFF;

uint32_t channel(uint32_t rgba, int i) { return (rgba >> (24 - 8 * i)) & 0xFF; }

// An image of w x h pixels from a function of the pixel position.
template <class F>
RefPtr<Image> makeImage(Graphics* g, int32_t w, int32_t h, F colorAt) {
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t c = colorAt(x, y);
            for (int i = 0; i < 4; ++i) px[(size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(i)] = uint8_t(channel(c, i));
        }
    }
    RefPtr<Texture> t = Texture::create(g, w, h);
    if (!t) return nullptr;
    t->update(px.data());
    return Image::fromTexture(t);
}

RefPtr<Image> solidImage(Graphics* g, int32_t w, int32_t h, uint32_t c) {
    return makeImage(g, w, h, [c](int32_t, int32_t) { return c; });
}

bool near(uint32_t a, uint32_t b, int tolerance = 2) {
    for (int i = 0; i < 4; ++i) {
        if (std::abs(int(channel(a, i)) - int(channel(b, i))) > tolerance) return false;
    }
    return true;
}

bool nearDefault(uint32_t a, uint32_t b) { return near(a, b); }
#define EXPECT_PIXEL(want, got) EXPECT_PRED2(nearDefault, want, got)

// ---- set-up and the letterbox on every screen

struct ProfileCase {
    const char* name;
    int32_t vw, vh;
    int32_t offX, offY, width, height;
    uint32_t scale;
    bool pad, small;
};

class LetterboxTest : public GLFixture, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(LetterboxTest, SetupDerivesTheDrawingSpaceFromTheScreen) {
    const ProfileCase& c = GetParam();
    start(c.name);
    EXPECT_EQ(c.vw, app.getVirtualWidth());
    EXPECT_EQ(c.vh, app.getVirtualHeight());
    EXPECT_EQ(c.vw, graphics->getVirtualWidth());
    EXPECT_EQ(c.offX, app.getViewportOffsetX());
    EXPECT_EQ(c.offY, app.getViewportOffsetY());
    KelpaPlatform::Letterbox box = KelpaPlatform::letterboxFor(profile, kDesignWidth, kDesignHeight);
    EXPECT_EQ(c.width, box.width);
    EXPECT_EQ(c.height, box.height);
    EXPECT_EQ(c.scale, imp->screenScale());
    EXPECT_EQ(c.pad, imp->isPad() != 0);
    EXPECT_EQ(c.small, imp->isSmallScreen() != 0);
    EXPECT_EQ(profile.widthPoints, app.getScreenWidth());
    EXPECT_EQ(profile.heightPoints, app.getScreenHeight());
    EXPECT_EQ(profile.pixelWidth(), KelpaPlatform::hostGLPixelWidth());

    // The whole drawing space covers the whole screen: its four corner
    // units land in the frame's corners.
    graphics->setColor(1, 0, 0, 1);
    graphics->fillRect(0, 0, 1, 1);
    graphics->setColor(0, 1, 0, 1);
    graphics->fillRect(c.vw - 1, c.vh - 1, 1, 1);
    present();
    EXPECT_PIXEL(kRed, capture.pixel(0, 0));
    EXPECT_PIXEL(kGreen, capture.pixel(profile.pixelWidth() - 1, profile.pixelHeight() - 1));
    EXPECT_PIXEL(kBlack, capture.pixel(profile.pixelWidth() - 1, 0));
}

INSTANTIATE_TEST_SUITE_P(Profiles, LetterboxTest,
                         ::testing::Values(ProfileCase{"320x480@2", 640, 960, 0, 0, 320, 480, 2, false, true},
                                           ProfileCase{"320x568@2", 540, 960, 0, 0, 319, 568, 2, false, false},
                                           ProfileCase{"375x667@2", 540, 960, 0, 0, 375, 666, 2, false, false},
                                           ProfileCase{"414x736@3", 540, 960, 0, 0, 414, 736, 3, false, false},
                                           ProfileCase{"768x1024@2", 640, 960, 43, 0, 682, 1024, 2, true, false}),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& ch : n) {
                                 if (ch == '@') ch = '_';
                             }
                             return n;
                         });

// ---- drawing

class DrawTest : public GLFixture {
protected:
    void SetUp() override { start("375x667@2"); }
};

TEST_F(DrawTest, PositionsRunFromTheTopLeftWithYDownwards) {
    graphics->beginFrame();
    graphics->setColor(1, 0, 0, 1);
    graphics->fillRect(0, 0, 270, 480);
    graphics->setColor(0, 0, 1, 1);
    graphics->fillRect(270, 480, 270, 480);
    graphics->endFrame();
    present();
    EXPECT_PIXEL(kRed, at(10, 10));
    EXPECT_PIXEL(kRed, at(260, 470));
    EXPECT_PIXEL(kBlack, at(300, 10));
    EXPECT_PIXEL(kBlack, at(10, 500));
    EXPECT_PIXEL(kBlue, at(530, 950));
    savePNG("graphics_quadrants.png");
}

TEST_F(DrawTest, LayerZeroIsDrawnLastOnTop) {
    graphics->setLayer(0);
    graphics->setColor(1, 0, 0, 1);
    graphics->fillRect(100, 100, 100, 100);
    graphics->setLayer(3);
    graphics->setColor(0, 1, 0, 1);
    graphics->fillRect(0, 0, 540, 960);
    graphics->setLayer(0);
    present();
    EXPECT_PIXEL(kRed, at(150, 150));
    EXPECT_PIXEL(kGreen, at(50, 50));
}

TEST_F(DrawTest, ImagesDrawAtTheirPositionAndSize) {
    RefPtr<Image> quad = makeImage(graphics.get(), 40, 40, [](int32_t x, int32_t y) {
        return y < 20 ? (x < 20 ? kRed : kGreen) : (x < 20 ? kBlue : kWhite);
    });
    ASSERT_TRUE(quad);
    graphics->drawImage(100, 200, quad);
    graphics->drawImageSized(300, 200, 80, 120, quad);
    graphics->setOrigin(10, 20, 0);
    graphics->drawImage(100, 500, quad);  // at (110, 520)
    present();
    EXPECT_PIXEL(kRed, at(105, 205));
    EXPECT_PIXEL(kGreen, at(135, 205));
    EXPECT_PIXEL(kBlue, at(105, 235));
    EXPECT_PIXEL(kWhite, at(135, 235));
    EXPECT_PIXEL(kBlack, at(145, 245));
    EXPECT_PIXEL(kBlack, at(95, 195));
    EXPECT_PIXEL(kRed, at(310, 210));
    EXPECT_PIXEL(kWhite, at(370, 310));
    EXPECT_PIXEL(kBlack, at(385, 325));
    EXPECT_PIXEL(kRed, at(112, 522));
    EXPECT_PIXEL(kBlack, at(105, 505));
}

TEST_F(DrawTest, AlphaTintsTexturedDrawsOverWhatIsBelow) {
    RefPtr<Image> white = solidImage(graphics.get(), 16, 16, kWhite);
    RefPtr<Image> halfClear = solidImage(graphics.get(), 16, 16, 0xFF000080);
    graphics->setClearColor(0, 0, 1, 1);
    graphics->setAlpha(0.5f);
    graphics->drawImageSized(0, 0, 100, 100, white);
    graphics->setAlpha(1.0f);
    graphics->drawImageSized(200, 0, 100, 100, halfClear);  // the image's own alpha
    present();
    uint32_t tinted = at(50, 50);
    EXPECT_NEAR(128, int(channel(tinted, 0)), 3);
    EXPECT_NEAR(128, int(channel(tinted, 1)), 3);
    EXPECT_NEAR(255, int(channel(tinted, 2)), 2);
    uint32_t blended = at(250, 50);
    EXPECT_NEAR(128, int(channel(blended, 0)), 3);
    EXPECT_NEAR(0, int(channel(blended, 1)), 2);
    EXPECT_NEAR(127, int(channel(blended, 2)), 3);
    EXPECT_PIXEL(kBlue, at(150, 50));
}

TEST_F(DrawTest, TheMaskKeepsWhereItsRedChannelIsSet) {
    // The image fills a page of its own, at the page's origin; the mask sits
    // at its page's origin too, or below another picture of its page, where
    // the image's coordinates would find that picture instead.
    for (bool maskBelowAnother : {false, true}) {
        SCOPED_TRACE(maskBelowAnother ? "mask below another picture" : "mask at its page's origin");
        RefPtr<Image> image = solidImage(graphics.get(), 128, 128, kGreen);
        RefPtr<Image> before = maskBelowAnother ? solidImage(graphics.get(), 200, 40, kWhite) : nullptr;
        RefPtr<Image> mask = makeImage(graphics.get(), 128, 64, [](int32_t x, int32_t) { return x < 64 ? kRed : kBlack; });
        ASSERT_NE(image->getTexture()->getPage(), mask->getTexture()->getPage());
        EXPECT_EQ(maskBelowAnother ? 40 : 0, mask->getTexture()->regionY());
        graphics->setClearColor(0, 0, 1, 1);
        graphics->drawMasked(100, 100, 128, 64, image, mask);
        present();
        for (int y : {104, 130, 160}) {
            EXPECT_PIXEL(kGreen, at(110, y)) << y;
            EXPECT_PIXEL(kGreen, at(160, y)) << y;
            EXPECT_PIXEL(kBlue, at(170, y)) << y;
            EXPECT_PIXEL(kBlue, at(220, y)) << y;
        }
        EXPECT_PIXEL(kBlue, at(90, 130));
        EXPECT_PIXEL(kBlue, at(110, 170));
    }
}

TEST_F(DrawTest, AfterAMaskedDrawTheImagesPageIsTheBoundOne) {
    RefPtr<Image> image = solidImage(graphics.get(), 128, 128, kGreen);  // fills a page
    RefPtr<Image> mask = solidImage(graphics.get(), 64, 64, kRed);
    RefPtr<Image> white = solidImage(graphics.get(), 32, 32, kWhite);  // shares the mask's page
    ASSERT_EQ(mask->getTexture()->getPage(), white->getTexture()->getPage());
    ASSERT_NE(image->getTexture()->getPage(), mask->getTexture()->getPage());
    graphics->setClearColor(0, 0, 1, 1);
    graphics->drawMasked(0, 0, 64, 64, image, mask);
    graphics->drawImage(200, 200, white);  // must bind its own page again
    graphics->drawImage(300, 300, image);  // the page bound right now
    present();
    EXPECT_PIXEL(kGreen, at(30, 30));
    EXPECT_PIXEL(kWhite, at(215, 215));
    EXPECT_PIXEL(kGreen, at(350, 350));
}

TEST_F(DrawTest, TheFilterIsPerLayerAndStartsLinear) {
    RefPtr<Image> ramp = makeImage(graphics.get(), 2, 1, [](int32_t x, int32_t) { return x == 0 ? kBlack : kWhite; });
    graphics->setLayer(1);
    graphics->setFilter(0);
    graphics->drawImageSized(0, 0, 400, 100, ramp);  // nearest
    graphics->setLayer(0);
    graphics->drawImageSized(0, 200, 400, 100, ramp);  // a new layer: linear again
    present();
    auto levels = [&](int y) {
        int mid = 0;
        for (int x = 20; x < 380; x += 10) {
            int r = int(channel(at(x, y), 0));
            if (r > 20 && r < 235) ++mid;
        }
        return mid;
    };
    EXPECT_EQ(0, levels(50));
    EXPECT_GT(levels(250), 20);
    EXPECT_PIXEL(kBlack, at(100, 50));
    EXPECT_PIXEL(kWhite, at(300, 50));
}

TEST_F(DrawTest, LinesRectanglesAndTrianglesUseTheShapeColour) {
    graphics->setColor(1, 1, 1, 1);
    graphics->drawLine(0, 100, 540, 100);
    graphics->drawRect(100, 300, 200, 200);
    graphics->setColor(0, 1, 0, 1);
    graphics->fillTriangle(0, 600, 200, 600, 0, 800);      // clockwise on screen
    graphics->fillTriangle(300, 600, 300, 800, 500, 600);  // counter-clockwise
    present();
    // A thin line: some pixel of the column crosses it.
    auto lineHit = [&](int vx) {
        int32_t px = int32_t(vx * profile.pixelWidth() / 540);
        for (int32_t py = 130; py < 150; ++py) {
            if (near(kWhite, capture.pixel(px, py), 40)) return true;
        }
        return false;
    };
    EXPECT_TRUE(lineHit(10));
    EXPECT_TRUE(lineHit(500));
    EXPECT_PIXEL(kBlack, at(200, 400));  // an outline leaves the inside alone
    bool edge = false;
    for (int32_t px = int32_t(95 * 750 / 540); px < int32_t(105 * 750 / 540); ++px) {
        edge = edge || near(kWhite, capture.pixel(px, int32_t(400 * 1334 / 960)), 40);
    }
    EXPECT_TRUE(edge);
    EXPECT_PIXEL(kGreen, at(30, 630));
    EXPECT_PIXEL(kBlack, at(180, 780));
    EXPECT_PIXEL(kGreen, at(330, 630));
    EXPECT_PIXEL(kBlack, at(480, 780));
}

TEST_F(DrawTest, TheClipShowsOnlyItsRectangleWithCoordinatesUnchanged) {
    graphics->setColor(1, 0, 0, 1);
    graphics->setClip(100, 200, 200, 300);
    graphics->fillRect(0, 0, 540, 960);
    graphics->setColor(0, 1, 0, 1);
    graphics->fillRect(150, 250, 10, 10);
    present();
    EXPECT_PIXEL(kRed, at(105, 205));
    EXPECT_PIXEL(kRed, at(295, 495));
    EXPECT_PIXEL(kBlack, at(95, 205));
    EXPECT_PIXEL(kBlack, at(305, 300));
    EXPECT_PIXEL(kBlack, at(200, 195));
    EXPECT_PIXEL(kBlack, at(200, 505));
    EXPECT_PIXEL(kGreen, at(155, 255));
    EXPECT_PIXEL(kRed, at(165, 255));
    // The next layer starts unclipped.
    graphics->setColor(0, 0, 1, 1);
    graphics->fillRect(0, 0, 540, 960);
    present();
    EXPECT_PIXEL(kBlue, at(10, 10));
}

TEST_F(DrawTest, TheRotationTurnsTheWholePicture) {
    EXPECT_EQ(0.0f, graphics->setRotation(1.0f));
    graphics->setColor(1, 0, 0, 1);
    graphics->fillRect(0, 0, 100, 100);
    present();
    EXPECT_PIXEL(kRed, at(500, 900));
    EXPECT_PIXEL(kBlack, at(50, 50));
}

TEST_F(DrawTest, ReadPixelsGivesTheTopRowFirst) {
    // Rows at the bottom of the screen: GL position (0, 0) is the bottom left.
    graphics->setColor(1, 0, 0, 1);
    graphics->fillRect(0, 0, 540, 957);
    graphics->setColor(0, 1, 0, 1);
    graphics->fillRect(0, 957, 540, 3);
    present();
    int32_t H = profile.pixelHeight();
    // The boundary row in the frame: the first green row from the top.
    int32_t firstGreen = -1;
    for (int32_t y = H - 8; y < H; ++y) {
        if (near(kGreen, capture.pixel(0, y))) {
            firstGreen = y;
            break;
        }
    }
    ASSERT_GT(firstGreen, H - 8);
    ASSERT_LT(firstGreen, H - 2);
    int32_t glY = H - 1 - firstGreen - 1;  // a 3-row block: one red row above two or more green
    uint32_t block[2 * 3];
    graphics->readPixels(block, 0, glY, 2, 3);
    for (int row = 0; row < 3; ++row) {
        uint32_t want = capture.pixel(0, H - 1 - glY - 2 + row);
        for (int col = 0; col < 2; ++col) {
            const uint8_t* p = reinterpret_cast<const uint8_t*>(&block[row * 2 + col]);
            uint32_t got = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
            EXPECT_EQ(want, got) << "row " << row;
        }
    }
    const uint8_t* top = reinterpret_cast<const uint8_t*>(&block[0]);
    EXPECT_EQ(255, top[0]);  // red on top
    const uint8_t* bottom = reinterpret_cast<const uint8_t*>(&block[4]);
    EXPECT_EQ(255, bottom[1]);
}

class PadTest : public GLFixture {
protected:
    void SetUp() override { start("768x1024@2"); }
};

TEST_F(PadTest, ReadPixelsReadsFromInsideTheLetterbox) {
    // Left of the letterbox (86 pixels) red, the rest green.
    graphics->setColor(0, 1, 0, 1);
    graphics->fillRect(0, 0, 640, 960);
    graphics->setColor(1, 0, 0, 1);
    graphics->fillRect(0, 0, 35, 960);  // pixels 0..83 at 2.4 pixels a unit
    present();
    uint8_t px[4 * 4];
    graphics->readPixels(px, 0, 0, 4, 1);
    // Read from pixel x = 86, the bottom row.
    EXPECT_EQ(0, px[0]);
    EXPECT_EQ(255, px[1]);
    uint32_t got = (uint32_t(px[0]) << 24) | (uint32_t(px[1]) << 16) | (uint32_t(px[2]) << 8) | px[3];
    EXPECT_EQ(capture.pixel(86, 2047), got);
    EXPECT_PIXEL(kRed, capture.pixel(80, 2047));
}

// ---- sprites

TEST_F(DrawTest, SpritesAnchorTurnScaleAndMirrorAboutTheirPivot) {
    RefPtr<Image> halves = makeImage(graphics.get(), 100, 50, [](int32_t x, int32_t) { return x < 50 ? kRed : kBlue; });
    RefPtr<Sprite2D> plain = makeRef<Sprite2D>(100, 100, halves, 0u);
    RefPtr<Sprite2D> centred = makeRef<Sprite2D>(270, 300, halves, 0x11u);
    RefPtr<Sprite2D> mirrored = makeRef<Sprite2D>(100, 500, halves, 0u);
    mirrored->scaleX = -1.0f;
    RefPtr<Sprite2D> turned = makeRef<Sprite2D>(300, 600, halves, 0u);
    turned->rotation = 1.5707963f;  // a quarter turn about the pivot (50, 25)
    RefPtr<Sprite2D> doubled = makeRef<Sprite2D>(100, 800, halves, 0u);
    doubled->scaleX = 2.0f;
    doubled->pivotX = 0;
    graphics->drawSprite(plain);
    graphics->drawSprite(centred);
    graphics->drawSprite(mirrored);
    graphics->drawSprite(turned);
    graphics->drawSprite(doubled);
    present();
    savePNG("graphics_sprites.png");
    EXPECT_PIXEL(kRed, at(105, 105));
    EXPECT_PIXEL(kBlue, at(195, 145));
    EXPECT_PIXEL(kBlack, at(205, 105));
    // Centred on (270, 300): x 220..320, y 275..325.
    EXPECT_PIXEL(kRed, at(225, 280));
    EXPECT_PIXEL(kBlue, at(315, 320));
    EXPECT_PIXEL(kBlack, at(270, 270));
    // Mirrored about its pivot: still there, blue now on the left.
    EXPECT_PIXEL(kBlue, at(105, 505));
    EXPECT_PIXEL(kRed, at(195, 545));
    // Turned a quarter about (350, 625): now 50 wide and 100 high, red on top
    // (y grows downwards, so the turn is clockwise on screen).
    EXPECT_PIXEL(kRed, at(350, 580));
    EXPECT_PIXEL(kBlue, at(350, 670));
    EXPECT_PIXEL(kBlack, at(310, 625));
    // Twice as wide from its left edge.
    EXPECT_PIXEL(kRed, at(190, 825));
    EXPECT_PIXEL(kBlue, at(290, 825));
}

TEST_F(DrawTest, AnUnturnedSpriteDrawsLikeItsImage) {
    RefPtr<Image> image = makeImage(graphics.get(), 60, 30, [](int32_t x, int32_t y) { return (x + y) % 2 ? kRed : kGreen; });
    RefPtr<Sprite2D> sprite = makeRef<Sprite2D>(123, 321, image, 0u);
    graphics->drawSprite(sprite);
    present();
    std::vector<uint8_t> spriteFrame;
    capture.latest(&spriteFrame, nullptr, nullptr);
    graphics->drawImage(123, 321, image);
    present();
    std::vector<uint8_t> imageFrame;
    capture.latest(&imageFrame, nullptr, nullptr);
    EXPECT_TRUE(spriteFrame == imageFrame);
}

// ---- context loss, failures and lifetimes

TEST_F(DrawTest, TexturesSurviveReleaseAndRestoreOfTheContext) {
    RefPtr<Image> image = makeImage(graphics.get(), 40, 40, [](int32_t x, int32_t) { return x < 20 ? kRed : kGreen; });
    graphics->drawImage(100, 100, image);
    present();
    std::vector<uint8_t> before;
    capture.latest(&before, nullptr, nullptr);
    int contexts = KelpaPlatform::hostGLLiveContexts();
    for (int i = 0; i < 4; ++i) {
        iOS::releaseGraphicsContext(graphics.get());
        // The pause gives up the framebuffer only: the context stays, and
        // nothing is drawn or shown until the resume.
        EXPECT_TRUE(imp->hasContext());
        EXPECT_FALSE(imp->canDraw());
        EXPECT_EQ(contexts, KelpaPlatform::hostGLLiveContexts());
        uint64_t frames = capture.frameCount();
        graphics->drawImage(0, 0, image);
        graphics->present();
        EXPECT_EQ(frames, capture.frameCount());
        iOS::restoreGraphicsContext(graphics.get());
        ASSERT_TRUE(imp->canDraw());
        EXPECT_EQ(contexts, KelpaPlatform::hostGLLiveContexts()) << "the resume replaces the context";
    }
    graphics->drawImage(100, 100, image);
    present();
    std::vector<uint8_t> after;
    capture.latest(&after, nullptr, nullptr);
    EXPECT_TRUE(before == after);
    // A new picture in the restored context works as well.
    RefPtr<Image> later = solidImage(graphics.get(), 10, 10, kBlue);
    graphics->drawImage(300, 300, later);
    present();
    EXPECT_PIXEL(kBlue, at(305, 305));
}

TEST_F(DrawTest, PicturesMadeWhilePausedAreDrawnAfterTheResume) {
    // Scenes go on updating while the application is paused (under the
    // pause panel, after an ad tap) and may load pictures or render texts.
    RefPtr<Image> early = solidImage(graphics.get(), 16, 16, kRed);  // its page has room left
    iOS::releaseGraphicsContext(graphics.get());
    RefPtr<Image> sharing = solidImage(graphics.get(), 16, 16, kGreen);
    RefPtr<Image> ownPage = solidImage(graphics.get(), 300, 40, kBlue);
    ASSERT_TRUE(sharing);
    ASSERT_TRUE(ownPage);
    EXPECT_EQ(early->getTexture()->getPage(), sharing->getTexture()->getPage());
    EXPECT_NE(early->getTexture()->getPage(), ownPage->getTexture()->getPage());
    iOS::restoreGraphicsContext(graphics.get());
    graphics->drawImageSized(0, 0, 100, 100, early);
    graphics->drawImageSized(100, 0, 100, 100, sharing);
    graphics->drawImage(0, 200, ownPage);
    present();
    EXPECT_PIXEL(kRed, at(50, 50));
    EXPECT_PIXEL(kGreen, at(150, 50));
    EXPECT_PIXEL(kBlue, at(150, 220));
    EXPECT_PIXEL(kBlack, at(350, 220));
}

TEST_F(DrawTest, ANewContextLeavesNoPageWithANameOfTheOldOne) {
    // Texture names start afresh in every context: a page keeping the old
    // context's name would draw, or delete, a new page's texture.
    RefPtr<Image> old = solidImage(graphics.get(), 200, 200, kRed);
    ASSERT_EQ(1, imp->createResources());
    EXPECT_EQ(TextureHandle::kNoGLName, *old->getTexture()->getPage()->getGLName());
    RefPtr<Image> fresh = solidImage(graphics.get(), 200, 200, kGreen);
    ASSERT_TRUE(fresh);
    old = nullptr;  // its page goes, and must not take the new texture along
    graphics->drawImage(0, 0, fresh);
    present();
    EXPECT_PIXEL(kGreen, at(50, 50));
}

TEST_F(DrawTest, TheGraphicsObjectMayGoBeforeItsImages) {
    RefPtr<Image> image = solidImage(graphics.get(), 10, 10, kRed);
    RefPtr<Image> recorded = solidImage(graphics.get(), 300, 10, kRed);  // a page of its own
    graphics->drawImage(0, 0, recorded);
    TextureHandle* page = image->getTexture()->getPage();
    auto* glPage = dynamic_cast<iOS::TextureHandleImp*>(page);
    ASSERT_NE(nullptr, glPage);
    EXPECT_EQ(imp, glPage->graphics());
    int contexts = KelpaPlatform::hostGLLiveContexts();
    graphics = nullptr;  // recorded commands go too
    imp = nullptr;
    EXPECT_EQ(nullptr, glPage->graphics());
    EXPECT_EQ(contexts - 1, KelpaPlatform::hostGLLiveContexts());
    EXPECT_EQ(1u, refCountOf(recorded.get()));
    image = nullptr;  // its page must not reach the dead graphics object
    recorded = nullptr;
}

TEST_F(DrawTest, ALaterGraphicsObjectTakesTheViewOverCleanly) {
    TestApp otherApp;
    RefPtr<Graphics> other = iOS::createGraphicsImp(&otherApp);
    auto* otherImp = dynamic_cast<iOS::GraphicsImp*>(other.get());
    ASSERT_NE(nullptr, otherImp);
    EXPECT_TRUE(otherImp->hasContext());
    EXPECT_FALSE(imp->hasContext());
    uint64_t frames = capture.frameCount();
    graphics->fillRect(0, 0, 10, 10);
    graphics->present();  // no longer ours: nothing is drawn or shown
    EXPECT_EQ(frames, capture.frameCount());
    graphics = nullptr;  // must leave the other's context and programs alone
    imp = nullptr;
    EXPECT_TRUE(otherImp->hasContext());
    other->setColor(0, 1, 0, 1);
    other->fillRect(0, 0, 540, 960);
    other->present();
    EXPECT_PIXEL(kGreen, capture.pixel(10, 10));
}

TEST_F(DrawTest, PagesOfAGraphicsObjectThatLostTheViewForgetTheirNames) {
    RefPtr<Image> dropped = solidImage(graphics.get(), 16, 16, kRed);
    RefPtr<Image> kept = solidImage(graphics.get(), 300, 16, kRed);  // a second page
    TestApp otherApp;
    RefPtr<Graphics> other = iOS::createGraphicsImp(&otherApp);
    auto* otherImp = dynamic_cast<iOS::GraphicsImp*>(other.get());
    ASSERT_NE(nullptr, otherImp);
    // Names start afresh in the new context: this page gets the number the
    // first one had in the old context.
    RefPtr<Image> theirs = solidImage(other.get(), 16, 16, kGreen);
    ASSERT_TRUE(theirs);
    dropped = nullptr;  // must not delete the new context's texture of that number
    EXPECT_EQ(TextureHandle::kNoGLName, *kept->getTexture()->getPage()->getGLName());
    EXPECT_FALSE(imp->hasContext());
    // No new page of the first object's takes a name in the other's context.
    EXPECT_FALSE(Texture::create(graphics.get(), 1000, 8));
    other->drawImageSized(0, 0, 540, 960, theirs);
    other->present();
    EXPECT_PIXEL(kGreen, capture.pixel(10, 10));
    kept = nullptr;
    theirs = nullptr;
    other = nullptr;
}

TEST(GraphicsFailures, NoContextIsReportedAndDrawingStaysSafe) {
    TestApp app;
    FrameCapture capture;
    KelpaPlatform::setFramePresenter(&capture);
    KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
    KelpaPlatform::hostGLFailNextSetupForTesting();
    RefPtr<Graphics> g = iOS::createGraphicsImp(&app);
    ASSERT_TRUE(g);
    auto* imp = dynamic_cast<iOS::GraphicsImp*>(g.get());
    ASSERT_NE(nullptr, imp);
    EXPECT_FALSE(imp->hasContext());
    RefPtr<Image> image = makeRef<Image>(RefPtr<Texture>(), nullptr, 8, 8);  // no texture to draw
    g->setColor(1, 0, 0, 1);
    g->fillRect(0, 0, 10, 10);
    g->drawImage(0, 0, image);
    uint8_t px[4] = {1, 2, 3, 4};
    g->readPixels(px, 0, 0, 1, 1);
    EXPECT_EQ(0, px[0]);
    g->present();
    EXPECT_EQ(0u, capture.frameCount());
    EXPECT_EQ(1u, refCountOf(image.get()));

    // An incomplete framebuffer is a failure too.
    KelpaPlatform::setCurrentScreenProfile(ScreenProfile{"none", 0, 0, 2, false});
    EXPECT_EQ(0, imp->createResources());
    EXPECT_FALSE(imp->hasContext());

    // A working screen brings it back.
    KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
    EXPECT_EQ(1, imp->restoreContext());
    EXPECT_TRUE(imp->hasContext());
    EXPECT_NE(0, imp->solidProgram().program);
    EXPECT_NE(0, imp->texturedProgram().program);
    EXPECT_NE(0, imp->maskedProgram().program);
    EXPECT_GE(imp->maskedProgram().mask, 0);
    g->fillRect(0, 0, 10, 10);
    g->present();
    EXPECT_EQ(1u, capture.frameCount());
    g = nullptr;
    KelpaPlatform::setFramePresenter(nullptr);
}

TEST(GraphicsShaders, BrokenSourcesGiveZero) {
    TestApp app;
    KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
    RefPtr<Graphics> g = iOS::createGraphicsImp(&app);
    ASSERT_TRUE(g);
    EXPECT_EQ(0u, iOS::GraphicsOpenGL::compileShader(0x8B31 /* vertex */, "this is not GLSL"));
    EXPECT_EQ(0u, iOS::GraphicsOpenGL::linkProgram("void main() { gl_Position = vec4(0.0); }", "broken"));
    EXPECT_NE(0u, iOS::GraphicsOpenGL::linkProgram("void main() { gl_Position = vec4(0.0); }",
                                                  "void main() { gl_FragColor = vec4(1.0); }"));
}

TEST(GraphicsMatrix, MultiplyGivesBTimesAInPlace) {
    // a: translate by (2, 3); b: scale x by 5. b x a translates then scales.
    float a[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 2, 3, 0, 1};
    const float b[16] = {5, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    iOS::GraphicsOpenGL::multiplyMatrix4(a, a, b);
    EXPECT_FLOAT_EQ(5.0f, a[0]);
    EXPECT_FLOAT_EQ(10.0f, a[12]);
    EXPECT_FLOAT_EQ(3.0f, a[13]);
}

// ---- the context callback lists

int countCall(void* invoker, void* arg) {
    auto* calls = static_cast<std::vector<std::pair<void*, void*>>*>(arg);
    calls->push_back({invoker, arg});
    return 1;
}

TEST(CallbackListTest, GrowsBy32AndReusesEmptiedEntries) {
    CallbackList list;
    std::vector<std::pair<void*, void*>> calls;
    int zero = 0;
    for (int i = 0; i < 32; ++i) EXPECT_EQ(i, list.add(&countCall, &calls));
    EXPECT_EQ(32, list.entryCount());
    EXPECT_EQ(32, list.add([](void*, void*) { return 0; }, &zero));
    EXPECT_EQ(64, list.entryCount());
    EXPECT_EQ(0, list.remove(&countCall, &calls));  // the first holding that pair
    EXPECT_EQ(0, list.add(&countCall, &calls));
    const CallbackList::Entry* e5 = list.entryAt(5);
    ASSERT_NE(nullptr, e5);
    list.remove(&countCall, &calls);  // entry 0 again
    EXPECT_EQ(-1, list.remove(&countCall, &zero));
    EXPECT_EQ(-1, list.add(nullptr, &zero));
    int invoker = 0;
    EXPECT_EQ(31, list.invoke(&invoker));  // 31 counting entries, one returning 0
    EXPECT_EQ(31u, calls.size());
    EXPECT_EQ(static_cast<void*>(&invoker), calls[0].first);
}

TEST(CallbackListTest, EntriesAddedOrRemovedDuringAWalkCount) {
    struct State {
        CallbackList* list;
        int added = 0;
        int laterCalls = 0;
    };
    CallbackList list;
    State st{&list};
    auto later = [](void*, void* a) {
        ++static_cast<State*>(a)->laterCalls;
        return 1;
    };
    static CallbackList::Function laterFn = later;
    auto adder = [](void*, void* a) {
        auto* s = static_cast<State*>(a);
        if (s->added++ == 0) {
            for (int i = 0; i < 40; ++i) s->list->add(laterFn, a);  // grows during the walk
        }
        s->list->remove(laterFn, a);  // and one goes again
        return 0;
    };
    list.add(adder, &st);
    EXPECT_EQ(39, list.invoke(nullptr));
    EXPECT_EQ(39, st.laterCalls);
}

TEST(GraphicsContextCallbacks, KindsMapToTheirLists) {
    TestApp app;
    KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
    RefPtr<Graphics> g = iOS::createGraphicsImp(&app);
    auto* imp = dynamic_cast<iOS::GraphicsImp*>(g.get());
    ASSERT_NE(nullptr, imp);
    std::vector<std::pair<void*, void*>> created, destroyed, gone;
    EXPECT_EQ(1, imp->addContextCallback(iOS::GraphicsOpenGL::kContextCreated, &countCall, &created));
    EXPECT_EQ(1, imp->addContextCallback(iOS::GraphicsOpenGL::kContextDestroyed, &countCall, &destroyed));
    EXPECT_EQ(1, imp->addContextCallback(iOS::GraphicsOpenGL::kGraphicsGone, &countCall, &gone));
    EXPECT_EQ(0, imp->addContextCallback(7, &countCall, &gone));
    imp->releaseContext();
    EXPECT_TRUE(destroyed.empty()) << "a pause keeps the context";
    EXPECT_TRUE(created.empty());
    imp->restoreContext();
    EXPECT_EQ(1u, destroyed.size()) << "the resume replaces it";
    ASSERT_EQ(1u, created.size());
    EXPECT_EQ(static_cast<void*>(static_cast<iOS::GraphicsOpenGL*>(imp)), created[0].first);
    EXPECT_TRUE(gone.empty());
    g = nullptr;
    EXPECT_EQ(2u, destroyed.size());
    EXPECT_EQ(1u, gone.size());
}

}  // namespace
