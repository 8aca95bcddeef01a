// test-links: kelpa_ios platform_gl
// Batched drawing against one draw call per command: the same recorded
// frames, drawn both ways, must give the same bytes, with fewer draw calls.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/Factories.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"
#include "tests/support/gl_fixture.h"

using namespace KelpaEngine;
using KelpaPlatform::FrameCapture;

namespace {

// A small deterministic generator, so both runs record the same frame.
struct Rng {
    uint32_t s;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    int in(int lo, int hi) { return lo + int(next() % uint32_t(hi - lo + 1)); }
    float unit() { return float(next() % 10000) / 10000.0f; }
};

// Pictures with detail in every texel and partial alpha, so that any shift
// in where a texel is sampled or how it is blended shows in the bytes.
RefPtr<Image> patterned(Graphics* g, int32_t w, int32_t h, uint32_t seed) {
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            uint32_t v = (uint32_t(x) * 73856093u) ^ (uint32_t(y) * 19349663u) ^ seed;
            uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t((x * 255) / (w > 1 ? w - 1 : 1));
            p[3] = uint8_t(((x + y) % 5 == 0) ? 0 : 96 + (v >> 16) % 160);
        }
    }
    RefPtr<Texture> t = Texture::create(g, w, h);
    if (!t) return nullptr;
    t->update(px.data());
    return Image::fromTexture(t);
}

class BatchTest : public testsupport::GLFixture, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        iOS::setAssetFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
        start(GetParam());
        graphics->setClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    }
    void TearDown() override {
        images.clear();
        sprites.clear();
        GLFixture::TearDown();
        iOS::setAssetFolder(nullptr);
    }

    void makePictures() {
        Graphics* g = graphics.get();
        // Small pictures share pages; the large ones take pages of their own.
        const int32_t sizes[][2] = {{64, 64}, {48, 30}, {64, 64}, {200, 150}, {17, 93}, {300, 300}, {64, 40}};
        uint32_t seed = 1;
        for (const auto& s : sizes) images.push_back(patterned(g, s[0], s[1], seed++));
        for (const auto& i : images) ASSERT_TRUE(i);
        ASSERT_NE(images[0]->getTexture()->getPage(), images[3]->getTexture()->getPage());
        ASSERT_NE(images[3]->getTexture()->getPage(), images[5]->getTexture()->getPage());
        // And the game's own art, decoded from its files.
        for (const char* name : {"main_coin.png", "main_jewel1.png", "main_dumbbell.png", "main_bg1.png"}) {
            RefPtr<Sprite2D> s = Sprite2D::create(g, 0, 0, name, 0x11);
            ASSERT_TRUE(s) << name;
            sprites.push_back(s);
        }
        for (size_t i = 0; i < images.size(); ++i) {
            sprites.push_back(makeRef<Sprite2D>(0, 0, images[i], i % 2 ? 0x11u : 0x22u));
        }
    }

    // One frame of everything the recorder can hold, on three layers.
    void recordFrame(uint32_t seed) {
        Graphics* g = graphics.get();
        Rng r{seed};
        g->beginFrame();
        g->setLayer(2);
        // The background, wherever the last frame's stream left its sprite.
        Sprite2D* bg = sprites[3].get();
        bg->x = 270;
        bg->y = 480;
        bg->rotation = 0.0f;
        bg->scaleX = bg->scaleY = 1.0f;
        g->drawSprite(bg);
        for (int i = 0; i < 900; ++i) {
            int what = r.in(0, 99);
            if (i % 300 == 0) g->setLayer(r.in(0, 2));
            if (what < 45) {
                // Runs of sprites from one page, and mixes across pages.
                Sprite2D* s = sprites[size_t(r.in(0, 9) < 6 ? r.in(0, 2) : r.in(0, int(sprites.size()) - 1))].get();
                s->x = r.in(-40, 600);
                s->y = r.in(-40, 1000);
                s->rotation = r.in(0, 3) ? r.unit() * 6.3f : 0.0f;
                s->scaleX = r.in(0, 2) ? 1.0f : 0.5f + r.unit() * 2.0f;
                s->scaleY = r.in(0, 4) ? s->scaleX : -s->scaleX;
                if (r.in(0, 3) == 0) {
                    g->drawSpriteScaled(r.in(-5, 5), r.in(-5, 5), s);
                } else {
                    g->drawSpriteAt(r.in(-5, 5), r.in(-5, 5), s);
                }
            } else if (what < 60) {
                Image* im = images[size_t(r.in(0, int(images.size()) - 1))].get();
                switch (r.in(0, 3)) {
                    case 0: g->drawImage(r.in(0, 500), r.in(0, 900), im); break;
                    case 1: g->drawImageSized(r.in(0, 500), r.in(0, 900), r.in(1, 300), r.in(1, 300), im); break;
                    case 2: g->drawImageScaled(r.in(0, 500), r.in(0, 900), im); break;
                    default:
                        g->drawImageRect(r.in(0, 500), r.in(0, 900), r.in(8, 100), r.in(8, 100), 2, 3, 10, 10, im);
                        break;
                }
            } else if (what < 66) {
                Image* im = images[size_t(r.in(0, 2))].get();
                Image* mask = images[size_t(r.in(3, int(images.size()) - 1))].get();
                g->drawMaskedRect(r.in(0, 500), r.in(0, 900), r.in(10, 120), r.in(10, 120), r.in(0, 8), r.in(0, 8),
                                  r.in(8, 16), r.in(8, 16), im, mask);
            } else if (what < 76) {
                g->setColor(r.unit(), r.unit(), r.unit(), 0.3f + 0.7f * r.unit());
                g->fillRect(r.in(0, 500), r.in(0, 900), r.in(1, 200), r.in(1, 200));
                if (r.in(0, 1)) g->fillRect(r.in(0, 500), r.in(0, 900), r.in(1, 60), r.in(1, 60));
            } else if (what < 80) {
                g->fillTriangle(r.in(0, 540), r.in(0, 960), r.in(0, 540), r.in(0, 960), r.in(0, 540), r.in(0, 960));
            } else if (what < 83) {
                switch (r.in(0, 3)) {
                    case 0: g->drawLine(r.in(0, 540), r.in(0, 960), r.in(0, 540), r.in(0, 960)); break;
                    case 1: g->drawRect(r.in(0, 500), r.in(0, 900), r.in(1, 100), r.in(1, 100)); break;
                    case 2: {
                        float x = float(r.in(0, 400)), y = float(r.in(0, 800));
                        g->drawRotatedShape(x, y, x + 60, y, x, y + 40, x + 60, y + 40, x + 30, y + 70,
                                            float(r.in(0, 359)));
                        break;
                    }
                    default: {
                        float x = float(r.in(0, 400)), y = float(r.in(0, 800));
                        g->drawShape(x, y, x + 50, y, x + 50, y + 50, x, y + 50, x + 25, y + 70, 0);
                        break;
                    }
                }
            } else if (what < 88) {
                g->setAlpha(r.in(0, 2) ? 1.0f : 0.2f + 0.8f * r.unit());
            } else if (what < 92) {
                g->setOrigin(float(r.in(-30, 30)), float(r.in(-30, 30)), 0);
            } else if (what < 95) {
                g->setFilter(uint8_t(r.in(0, 1)));
            } else if (what < 97) {
                if (r.in(0, 2)) {
                    g->setClip(r.in(0, 300), r.in(0, 600), r.in(50, 300), r.in(50, 400));
                } else {
                    g->setClip(0, 0, g->getVirtualWidth(), g->getVirtualHeight());
                }
            } else {
                g->setLayer(r.in(0, 3));
            }
        }
        g->setLayer(0);
        g->endFrame();
    }

    std::vector<uint8_t> draw(bool batched, uint32_t seed, uint64_t* drawCalls) {
        imp->setBatching(batched);
        recordFrame(seed);
        uint64_t before = imp->drawCallCount();
        graphics->present();
        *drawCalls = imp->drawCallCount() - before;
        std::vector<uint8_t> frame;
        EXPECT_TRUE(capture.latest(&frame, nullptr, nullptr));
        return frame;
    }

    std::vector<RefPtr<Image>> images;
    std::vector<RefPtr<Sprite2D>> sprites;
};

TEST_P(BatchTest, BatchedFramesAreTheBytesOfOneDrawPerCommand) {
    makePictures();
    for (float rotation : {0.0f, 1.0f}) {
        graphics->setRotation(rotation);
        for (uint32_t seed : {7u, 1234u, 99991u}) {
            SCOPED_TRACE("rotation " + std::to_string(rotation) + " seed " + std::to_string(seed));
            uint64_t eachCalls = 0, batchCalls = 0;
            std::vector<uint8_t> each = draw(false, seed, &eachCalls);
            std::vector<uint8_t> batched = draw(true, seed, &batchCalls);
            ASSERT_EQ(each.size(), batched.size());
            size_t differing = 0, first = each.size();
            for (size_t i = 0; i < each.size(); ++i) {
                if (each[i] != batched[i]) {
                    if (!differing) first = i;
                    ++differing;
                }
            }
            EXPECT_EQ(0u, differing) << "first at byte " << first;
            EXPECT_LT(batchCalls, eachCalls);
            if (differing) {
                std::string path = std::string(KELPA_BINARY_DIR) + "/batch_mismatch.png";
                capture.writePNG(path.c_str());
            }
        }
    }
    graphics->setRotation(0.0f);
}

TEST_P(BatchTest, ARunOfSpritesFromOnePageIsOneDrawCall) {
    RefPtr<Image> a = patterned(graphics.get(), 32, 32, 5);
    RefPtr<Image> b = patterned(graphics.get(), 32, 32, 6);
    RefPtr<Image> other = patterned(graphics.get(), 256, 256, 7);
    ASSERT_EQ(a->getTexture()->getPage(), b->getTexture()->getPage());
    RefPtr<Sprite2D> sa = makeRef<Sprite2D>(10, 10, a, 0u);
    RefPtr<Sprite2D> sb = makeRef<Sprite2D>(50, 10, b, 0u);
    struct Case {
        const char* what;
        void (*record)(Graphics*, Sprite2D*, Sprite2D*, Image*);
        uint64_t calls;
    };
    const Case cases[] = {
        {"one page", [](Graphics* g, Sprite2D* x, Sprite2D* y, Image*) {
             for (int i = 0; i < 500; ++i) g->drawSprite(i % 2 ? x : y);
         }, 1},
        {"origin and layer-less state between", [](Graphics* g, Sprite2D* x, Sprite2D* y, Image*) {
             g->drawSprite(x);
             g->setOrigin(5, 5, 0);
             g->drawSprite(y);
         }, 1},
        {"another page between", [](Graphics* g, Sprite2D* x, Sprite2D* y, Image* o) {
             g->drawSprite(x);
             g->drawImage(0, 0, o);
             g->drawSprite(y);
         }, 3},
        {"alpha and filter split", [](Graphics* g, Sprite2D* x, Sprite2D* y, Image*) {
             g->drawSprite(x);
             g->setAlpha(0.5f);
             g->drawSprite(y);
             g->setFilter(0);
             g->drawSprite(y);
         }, 3},
        {"one colour of rectangles, then another", [](Graphics* g, Sprite2D*, Sprite2D*, Image*) {
             g->setColor(1, 0, 0, 1);
             g->fillRect(0, 0, 10, 10);
             g->fillRect(20, 0, 10, 10);
             g->fillTriangle(0, 0, 10, 0, 0, 10);
             g->setColor(0, 1, 0, 1);
             g->fillRect(40, 0, 10, 10);
         }, 2},
    };
    for (const Case& c : cases) {
        c.record(graphics.get(), sa.get(), sb.get(), other.get());
        uint64_t before = imp->drawCallCount();
        graphics->present();
        EXPECT_EQ(c.calls, imp->drawCallCount() - before) << c.what;
    }
}

// Every texel opaque, but still detailed.
RefPtr<Image> opaquePicture(Graphics* g, int32_t w, int32_t h, uint32_t seed) {
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = (i % 4 == 3) ? 255 : uint8_t((i + seed) * 2654435761u >> 24);
    RefPtr<Texture> t = Texture::create(g, w, h);
    if (!t) return nullptr;
    t->update(px.data());
    return Image::fromTexture(t);
}

TEST_P(BatchTest, OpaquePicturesGoWithoutBlendingToTheSameBytes) {
    Graphics* g = graphics.get();
    RefPtr<Image> see = patterned(g, 32, 32, 21);
    RefPtr<Image> solid = opaquePicture(g, 32, 32, 22);
    ASSERT_EQ(see->getTexture()->getPage(), solid->getTexture()->getPage());
    ASSERT_TRUE(solid->getTexture()->opaque);
    RefPtr<Sprite2D> turned = makeRef<Sprite2D>(200, 300, solid, 0x11u);
    turned->rotation = 0.7f;
    turned->scaleX = turned->scaleY = 3.3f;
    struct Case {
        const char* what;
        void (*record)(Graphics*, Image* see, Image* solid, Sprite2D* turned);
        uint64_t calls;
    };
    const Case cases[] = {
        {"an opaque picture joins the see-through ones of its page",
         [](Graphics* g, Image* see, Image* solid, Sprite2D* turned) {
             g->drawImage(10, 10, see);
             g->drawImageSized(20, 20, 300, 200, solid);
             g->drawSprite(turned);
         }, 1},
        {"a see-through picture after opaque ones needs blending again",
         [](Graphics* g, Image* see, Image* solid, Sprite2D* turned) {
             g->drawImageSized(20, 20, 300, 200, solid);
             g->drawSprite(turned);
             g->drawImage(10, 10, see);
         }, 2},
        {"a fill after an opaque picture blends",
         [](Graphics* g, Image*, Image* solid, Sprite2D*) {
             g->drawImageSized(0, 0, 400, 500, solid);
             g->setColor(0.2f, 0.9f, 0.4f, 0.5f);
             g->fillRect(50, 50, 300, 300);
             g->drawLine(0, 0, 500, 700);
         }, 3},
        {"and so does a fill that begins the layer after",
         [](Graphics* g, Image*, Image* solid, Sprite2D*) {
             g->setLayer(1);
             g->drawImageSized(0, 0, 400, 500, solid);
             g->setLayer(0);
             g->setColor(0.9f, 0.1f, 0.4f, 0.5f);
             g->fillRect(30, 30, 300, 300);
         }, 2},
        {"a tinted opaque picture blends",
         [](Graphics* g, Image*, Image* solid, Sprite2D*) {
             g->setAlpha(0.5f);
             g->drawImageSized(20, 20, 300, 200, solid);
             g->setAlpha(1.0f);
         }, 1},
    };
    // Blending or not shows against the clear colour.
    std::map<std::string, std::vector<std::vector<uint8_t>>> frames;
    for (bool batched : {false, true}) {
        imp->setBatching(batched);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            c.record(g, see.get(), solid.get(), turned.get());
            const uint64_t before = imp->drawCallCount();
            g->present();
            if (batched) {
                EXPECT_EQ(c.calls, imp->drawCallCount() - before);
            }
            std::vector<uint8_t> frame;
            ASSERT_TRUE(capture.latest(&frame, nullptr, nullptr));
            frames[c.what].push_back(frame);
        }
    }
    for (const Case& c : cases) EXPECT_TRUE(frames[c.what][0] == frames[c.what][1]) << c.what;
}

TEST_P(BatchTest, DrawsUnderAPictureThatCoversTheScreenAreSkipped) {
    Graphics* g = graphics.get();
    const int32_t vw = g->getVirtualWidth(), vh = g->getVirtualHeight();
    RefPtr<Image> a = patterned(g, 64, 64, 11);
    RefPtr<Image> b = patterned(g, 256, 200, 12);
    RefPtr<Image> clear = patterned(g, 300, 300, 13);
    RefPtr<Image> opaque = opaquePicture(g, 256, 256, 0);
    ASSERT_TRUE(opaque);
    ASSERT_TRUE(opaque->getTexture()->opaque);
    ASSERT_FALSE(clear->getTexture()->opaque);

    // Three batches before the candidate (a fill and two pages), the
    // candidate on a page of its own, one batch after it.
    struct Case {
        const char* what;
        void (*cover)(Graphics*, Image* opaque, Image* clear, int32_t vw, int32_t vh);
        uint64_t calls;
    };
    const Case cases[] = {
        {"an opaque picture over the screen",
         [](Graphics* g, Image* o, Image*, int32_t w, int32_t h) { g->drawImageSized(-3, 0, w + 3, h + 2, o); }, 2},
        {"the last of two covers",
         [](Graphics* g, Image* o, Image*, int32_t w, int32_t h) {
             g->drawImageSized(0, 0, w, h, o);
             g->fillRect(10, 10, 50, 50);
             g->drawImageSized(0, 0, w, h, o);
         }, 2},
        {"one unit short of the right edge",
         [](Graphics* g, Image* o, Image*, int32_t w, int32_t h) { g->drawImageSized(0, 0, w - 1, h, o); }, 5},
        {"moved by the origin",
         [](Graphics* g, Image* o, Image*, int32_t w, int32_t h) {
             g->setOrigin(0, 1, 0);
             g->drawImageSized(0, 0, w, h, o);
         }, 5},
        {"at less than full alpha",
         [](Graphics* g, Image* o, Image*, int32_t w, int32_t h) {
             g->setAlpha(0.99f);
             g->drawImageSized(0, 0, w, h, o);
         }, 5},
        {"with see-through texels",
         [](Graphics* g, Image*, Image* c, int32_t w, int32_t h) { g->drawImageSized(0, 0, w, h, c); }, 5},
        {"through a clip",
         [](Graphics* g, Image* o, Image*, int32_t w, int32_t h) {
             g->setClip(0, 0, w, h);
             g->drawImageSized(0, 0, w, h, o);
         }, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> frames[2];
        uint64_t calls[2] = {0, 0};
        for (bool batched : {false, true}) {
            imp->setBatching(batched);
            g->setColor(0.9f, 0.2f, 0.1f, 0.7f);
            g->fillRect(5, 5, 300, 400);
            g->drawImage(20, 30, a);
            g->drawImage(100, 200, b);
            c.cover(g, opaque.get(), clear.get(), vw, vh);
            g->drawImage(40, 60, a);
            g->setAlpha(1.0f);
            g->setOrigin(0, 0, 0);
            const uint64_t before = imp->drawCallCount();
            g->present();
            calls[batched] = imp->drawCallCount() - before;
            ASSERT_TRUE(capture.latest(&frames[batched], nullptr, nullptr));
        }
        EXPECT_EQ(c.calls, calls[1]);
        EXPECT_TRUE(frames[0] == frames[1]) << "the skipped draws showed";
    }
}

INSTANTIATE_TEST_SUITE_P(Screens, BatchTest, ::testing::Values("375x667@2", "768x1024@2"), [](const auto& info) {
    std::string n = info.param;
    for (char& c : n) {
        if (c == '@') c = '_';
    }
    return n;
});

}  // namespace
