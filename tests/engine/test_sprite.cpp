// Sprites: the anchored rectangle shared by draw and hit-test, and the
// fields that do not take part in either.
#include <gtest/gtest.h>

#include <vector>

#include "engine/GraphicsShadow.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "tests/support/plain_page.h"

using namespace KelpaEngine;
using namespace testsupport;

namespace {

RefPtr<Image> imageOf(int32_t w, int32_t h) {
    return Image::fromTexture(Texture::place(w, h, &makePlainPage, nullptr));
}

// Records the drawImage calls made through it.
class DrawCapture : public GraphicsShadow {
public:
    DrawCapture() : GraphicsShadow(nullptr) {}
    using GraphicsShadow::drawImage;
    int drawImage(int x, int y, Image* image) override {
        calls.push_back({x, y, image});
        return 0;
    }
    int clear() override { return 0; }
    int execute(CommandCursor*) override { return 0; }
    int swapBuffers() override { return 0; }
    struct Call {
        int x, y;
        Image* image;
    };
    std::vector<Call> calls;
};

struct Point {
    int32_t x, y;
};

}  // namespace

TEST(Sprite2D, ConstructionFillsTheFieldsFromTheImage) {
    RefPtr<Image> im = imageOf(21, 9);
    ASSERT_TRUE(im);
    uint32_t before = refCountOf(im.get());
    {
        Sprite2D s(7, -3, im, 0x12);
        EXPECT_EQ(refCountOf(im.get()), before + 1) << "the sprite holds the image";
        EXPECT_EQ(s.image.get(), im.get());
        EXPECT_EQ(s.anchor, 0x12u);
        EXPECT_EQ(s.x, 7);
        EXPECT_EQ(s.y, -3);
        EXPECT_EQ(s.srcX, 0);
        EXPECT_EQ(s.srcY, 0);
        EXPECT_EQ(s.srcWidth, 21);
        EXPECT_EQ(s.srcHeight, 9);
        EXPECT_EQ(s.width, 21);
        EXPECT_EQ(s.height, 9);
        EXPECT_EQ(s.rotation, 0.0f);
        EXPECT_EQ(s.scaleX, 1.0f);
        EXPECT_EQ(s.scaleY, 1.0f);
        EXPECT_EQ(s.pivotX, 10);
        EXPECT_EQ(s.pivotY, 4);
        EXPECT_TRUE(s.update());
        Sprite2D origin(im, 0);
        EXPECT_EQ(origin.x, 0);
        EXPECT_EQ(origin.y, 0);
    }
    EXPECT_EQ(refCountOf(im.get()), before);
}

TEST(Sprite2D, AnchoredRectangleAndHitTest) {
    struct Case {
        const char* name;
        int32_t w, h, x, y;
        uint32_t anchor;
        int64_t left, top, right, bottom;
        std::vector<Point> hits, misses;
    } cases[] = {
        {"centre, middle", 100, 50, 200, 300, 0x11, 150, 275, 250, 325,
         {{150, 275}, {250, 325}, {200, 300}, {150, 325}, {250, 275}},
         {{149, 300}, {200, 326}, {251, 300}, {200, 274}}},
        {"odd width centred", 5, 4, 10, 0, 0x01, 8, 0, 13, 4, {{8, 0}, {13, 4}}, {{7, 0}, {14, 0}}},
        {"odd height middle", 4, 5, 0, 10, 0x10, 0, 8, 4, 13, {{0, 8}, {4, 13}}, {{0, 7}, {0, 14}}},
        {"right, bottom", 20, 20, 100, 100, 0x22, 80, 80, 100, 100, {{80, 80}, {100, 100}, {90, 95}},
         {{79, 90}, {101, 90}, {90, 79}, {90, 101}}},
        {"left, top", 10, 6, -5, -5, 0x00, -5, -5, 5, 1, {{-5, -5}, {5, 1}}, {{-6, 0}, {0, 2}}},
        {"nibble 3 counts as left and top", 10, 6, 0, 0, 0x33, 0, 0, 10, 6, {{0, 0}, {10, 6}}, {{-1, 0}, {11, 0}}},
        {"high nibble 0xF0 counts as top", 10, 6, 0, 0, 0xF2, -10, 0, 0, 6, {{-10, 0}, {0, 6}}, {{1, 0}, {0, -1}}},
        {"zero size is a point", 0, 0, 3, 4, 0x11, 3, 4, 3, 4, {{3, 4}}, {{2, 4}, {3, 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RefPtr<Image> im = imageOf(c.w > 0 ? c.w : 1, c.h > 0 ? c.h : 1);
        Sprite2D s(c.x, c.y, im, c.anchor);
        s.width = c.w;
        s.height = c.h;
        Sprite2D::Rect r = s.anchoredRect();
        EXPECT_EQ(r.left, c.left);
        EXPECT_EQ(r.top, c.top);
        EXPECT_EQ(r.right, c.right);
        EXPECT_EQ(r.bottom, c.bottom);
        for (Point p : c.hits) EXPECT_TRUE(s.hitTest(p.x, p.y)) << p.x << "," << p.y;
        for (Point p : c.misses) EXPECT_FALSE(s.hitTest(p.x, p.y)) << p.x << "," << p.y;
    }
}

TEST(Sprite2D, DrawRecordsTheWholeImageAtTheAnchoredCorner) {
    RefPtr<Image> im = imageOf(20, 20);
    DrawCapture g;
    Sprite2D s(100, 100, im, 0x22);
    EXPECT_TRUE(s.draw(&g, 0, 0));
    EXPECT_TRUE(s.draw(&g, 5, -7));
    ASSERT_EQ(g.calls.size(), 2u);
    EXPECT_EQ(g.calls[0].x, 80);
    EXPECT_EQ(g.calls[0].y, 80);
    EXPECT_EQ(g.calls[0].image, im.get());
    EXPECT_EQ(g.calls[1].x, 85);
    EXPECT_EQ(g.calls[1].y, 73);
}

TEST(Sprite2D, ScaleRotationPivotAndSourceLeaveDrawAndHitTestAlone) {
    RefPtr<Image> im = imageOf(40, 30);
    DrawCapture g;
    Sprite2D plain(50, 60, im, 0x11);
    Sprite2D turned(50, 60, im, 0x11);
    turned.scaleX = 3.0f;
    turned.scaleY = 0.25f;
    turned.rotation = 1.0f;
    turned.pivotX = 0;
    turned.pivotY = 29;
    turned.srcX = 5;
    turned.srcWidth = 3;
    plain.draw(&g, 0, 0);
    turned.draw(&g, 0, 0);
    ASSERT_EQ(g.calls.size(), 2u);
    EXPECT_EQ(g.calls[0].x, g.calls[1].x);
    EXPECT_EQ(g.calls[0].y, g.calls[1].y);
    for (int32_t py = 40; py <= 80; py += 5)
        for (int32_t px = 25; px <= 75; px += 5)
            EXPECT_EQ(plain.hitTest(px, py), turned.hitTest(px, py)) << px << "," << py;

    // The size fields do move both the corner and the hit rectangle.
    turned.width = 10;
    turned.height = 10;
    turned.draw(&g, 0, 0);
    EXPECT_EQ(g.calls[2].x, 45);
    EXPECT_EQ(g.calls[2].y, 55);
    EXPECT_FALSE(turned.hitTest(31, 46));
    EXPECT_TRUE(plain.hitTest(31, 46));
    EXPECT_TRUE(turned.hitTest(55, 65));
}

TEST(Sprite2D, ExtremePositionsDoNotOverflow) {
    RefPtr<Image> im = imageOf(10, 10);
    Sprite2D s(INT32_MAX, INT32_MIN, im, 0x00);
    EXPECT_TRUE(s.hitTest(INT32_MAX, INT32_MIN));
    EXPECT_FALSE(s.hitTest(INT32_MAX - 1, INT32_MIN));
    Sprite2D t(INT32_MIN, INT32_MAX, im, 0x22);
    EXPECT_TRUE(t.hitTest(INT32_MIN, INT32_MAX));
    EXPECT_FALSE(t.hitTest(INT32_MIN + 1, INT32_MAX));
    EXPECT_EQ(t.anchoredRect().left, int64_t(INT32_MIN) - 10);

    // A corner that no 32-bit position can hold is not drawn at all.
    DrawCapture g;
    t.draw(&g, 0, 0);
    s.draw(&g, 1, 0);
    EXPECT_TRUE(g.calls.empty());
    t.draw(&g, 10, 0);
    s.draw(&g, 0, -1);
    ASSERT_EQ(g.calls.size(), 1u);
    EXPECT_EQ(g.calls[0].x, INT32_MIN);
    EXPECT_EQ(g.calls[0].y, INT32_MAX - 10);
}
