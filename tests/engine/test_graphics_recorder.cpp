// The command recorder, checked through an executor double that decodes
// each layer's buffer the way the GL executor walks it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/CommandBuffer.h"
#include "engine/GraphicsShadow.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"

using namespace KelpaEngine;

namespace {

class TestApp : public Application {
public:
    int32_t frameStep(int32_t, bool) override { return 0; }
    int32_t getState() override { return 0; }
};

struct Decoded {
    int32_t layer;
    uint32_t op;
    int32_t offset;
    std::vector<uint8_t> payload;
};

// Records what present() does and decodes every executed layer.
class DecodingGraphics : public GraphicsShadow {
public:
    explicit DecodingGraphics(Application* app) : GraphicsShadow(app) {}

    int clear() override {
        calls.push_back("clear");
        return 0;
    }
    int swapBuffers() override {
        calls.push_back("swap");
        return 0;
    }
    int execute(CommandCursor* cursor) override {
        int32_t layer = int32_t(cursor->buffer - layerAt(0));
        calls.push_back("execute " + std::to_string(layer));
        CommandBuffer* b = cursor->buffer;
        while (cursor->position < b->used) {
            uint8_t* c = b->storage + cursor->position;
            uint32_t op = commandOpcode(c);
            int32_t step = commandStep(op);
            executed.push_back({layer, op, cursor->position, std::vector<uint8_t>(c + 8, c + step)});
            cursor->position += step;
        }
        return 0;
    }
    void* allocateStorage(uint64_t bytes) override {
        if (failAllocations) return nullptr;
        return GraphicsShadow::allocateStorage(bytes);
    }

    // The commands of one layer as they sit in the buffer now.
    std::vector<Decoded> decode(int32_t layer) {
        std::vector<Decoded> out;
        CommandBuffer* b = layerAt(layer);
        if (!b || !b->storage) return out;
        for (int32_t pos = 0; pos < b->used;) {
            uint8_t* c = b->storage + pos;
            uint32_t op = commandOpcode(c);
            int32_t step = commandStep(op);
            EXPECT_EQ(0u, *reinterpret_cast<uint32_t*>(c + 4)) << "bytes 4-7 of op " << op;
            out.push_back({layer, op, pos, std::vector<uint8_t>(c + 8, c + step)});
            pos += step;
        }
        return out;
    }

    std::vector<std::string> calls;
    std::vector<Decoded> executed;
    bool failAllocations = false;
};

template <class P>
P payloadAs(const Decoded& d) {
    P p;
    std::memcpy(static_cast<void*>(&p), d.payload.data(), sizeof(P));
    return p;
}

// The sprite payload's layout, with the reference as a plain pointer.
struct SpriteFields {
    int32_t x, y, w, h, sx, sy, sw, sh, pivotX, pivotY;
    float scaleX, scaleY, rotation;
    uint32_t alignment;
    void* sprite;
};
static_assert(sizeof(SpriteFields) == sizeof(DrawSpritePayload));

// Says when it dies.
class TrackedImage : public Image {
public:
    TrackedImage(bool* dead) : Image(RefPtr<Texture>(), nullptr, 4, 4), dead_(dead) {}
    ~TrackedImage() override { *dead_ = true; }

private:
    bool* dead_;
};

// An image with no texture: the recorder needs only its size.
RefPtr<Image> sizedImage(int32_t w, int32_t h) { return makeRef<Image>(RefPtr<Texture>(), nullptr, w, h); }

class RecorderTest : public ::testing::Test {
protected:
    TestApp app;
    RefPtr<DecodingGraphics> g = makeRef<DecodingGraphics>(&app);
};

// Each recording operation: its opcode and the bytes its command occupies.
TEST_F(RecorderTest, EveryOperationRecordsItsOpcodeAndSize) {
    RefPtr<Image> image = sizedImage(10, 10);
    RefPtr<Sprite2D> sprite = makeRef<Sprite2D>(image, 0u);
    struct Case {
        const char* name;
        uint32_t op;
        int32_t bytes;
        void (*record)(Graphics*, Image*, Sprite2D*);
    };
    const Case cases[] = {
        {"beginFrame", OpBeginFrame, 16, [](Graphics* g, Image*, Sprite2D*) { g->beginFrame(); }},
        {"endFrame", OpEndFrame, 16, [](Graphics* g, Image*, Sprite2D*) { g->endFrame(); }},
        {"setColor", OpSetColor, 24, [](Graphics* g, Image*, Sprite2D*) { g->setColor(1, 0, 0, 1); }},
        {"setRotationUnit", OpSetRotationUnit, 24,
         [](Graphics* g, Image*, Sprite2D*) { g->setRotationUnit(1, 2, 3, 4); }},
        {"setReserved4", OpReserved4, 24, [](Graphics* g, Image*, Sprite2D*) { g->setReserved4(1, 2, 3, 4); }},
        {"setReserved5", OpReserved5, 24, [](Graphics* g, Image*, Sprite2D*) { g->setReserved5(1, 2, 3, 4); }},
        {"setOrigin", OpSetOrigin, 24, [](Graphics* g, Image*, Sprite2D*) { g->setOrigin(1, 2, 3); }},
        {"setAlpha", OpSetAlpha, 16, [](Graphics* g, Image*, Sprite2D*) { g->setAlpha(0.5f); }},
        {"setClip", OpSetClip, 24, [](Graphics* g, Image*, Sprite2D*) { g->setClip(1, 2, 3, 4); }},
        {"drawMasked", OpDrawMasked, 56, [](Graphics* g, Image* i, Sprite2D*) { g->drawMasked(0, 0, 5, 5, i, i); }},
        {"drawImage", OpDrawImage, 48, [](Graphics* g, Image* i, Sprite2D*) { g->drawImage(0, 0, i); }},
        {"drawShape", OpDrawShape, 56,
         [](Graphics* g, Image*, Sprite2D*) { g->drawShape(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5); }},
        {"drawLine", OpDrawLine, 24, [](Graphics* g, Image*, Sprite2D*) { g->drawLine(0, 0, 9, 9); }},
        {"drawRect", OpDrawRect, 24, [](Graphics* g, Image*, Sprite2D*) { g->drawRect(0, 0, 9, 9); }},
        {"drawSprite", OpDrawSprite, 72, [](Graphics* g, Image*, Sprite2D* s) { g->drawSprite(s); }},
        {"drawRotatedShape", OpDrawRotatedShape, 56,
         [](Graphics* g, Image*, Sprite2D*) { g->drawRotatedShape(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 45); }},
        {"fillRect", OpFillRect, 24, [](Graphics* g, Image*, Sprite2D*) { g->fillRect(0, 0, 9, 9); }},
        {"fillTriangle", OpFillTriangle, 32, [](Graphics* g, Image*, Sprite2D*) { g->fillTriangle(0, 0, 1, 0, 0, 1); }},
        {"setPair", OpReserved18, 16, [](Graphics* g, Image*, Sprite2D*) { g->setPair(1, 2); }},
        {"setFilter", OpSetFilter, 16, [](Graphics* g, Image*, Sprite2D*) { g->setFilter(1); }},
    };
    int32_t expectedUsed = 0;
    for (const Case& c : cases) {
        c.record(g.get(), image.get(), sprite.get());
        expectedUsed += c.bytes;
        ASSERT_EQ(expectedUsed, g->layerAt(0)->used) << c.name;
        std::vector<Decoded> all = g->decode(0);
        ASSERT_FALSE(all.empty());
        EXPECT_EQ(c.op, all.back().op) << c.name;
        EXPECT_EQ(c.bytes, commandStep(c.op)) << c.name;
    }
    EXPECT_EQ(int32_t(sizeof(cases) / sizeof(cases[0])), int32_t(g->decode(0).size()));
    EXPECT_EQ(kCommandHeaderSize, commandStep(20));
    EXPECT_EQ(kCommandHeaderSize, commandStep(0xFFFFFFFFu));
}

TEST_F(RecorderTest, BuffersGrowByHalfTheirCapacityPlusSlack) {
    g->setFilter(0);
    CommandBuffer* b = g->layerAt(0);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(16 + 10032, b->capacity);
    // Fill to the brim with 16-byte commands, then one more.
    while (b->used + 16 <= b->capacity) g->setAlpha(1.0f);
    int32_t before = b->capacity;
    int32_t used = b->used;
    g->setFilter(1);
    EXPECT_EQ(16 + before + before / 2 + 10032, b->capacity);
    EXPECT_EQ(used + 16, b->used);
    std::vector<Decoded> all = g->decode(0);
    EXPECT_EQ(OpSetFilter, all.front().op);
    EXPECT_EQ(OpSetFilter, all.back().op);
    EXPECT_EQ(1, all.back().payload[0]);
}

TEST_F(RecorderTest, ImageCommandsCarryBothRectangles) {
    RefPtr<Image> image = sizedImage(301, 100);
    RefPtr<Image> mask = sizedImage(8, 8);
    g->drawImage(5, 6, image.get());
    g->drawImageSized(1, 2, 30, 40, image.get());
    g->drawImageRect(1, 2, 3, 4, 5, 6, 7, 8, image.get());
    g->drawImageScaled(7, 8, image.get());
    g->drawMasked(1, 2, 30, 40, image.get(), mask.get());
    g->drawMaskedRect(1, 2, 3, 4, 5, 6, 7, 8, image.get(), mask.get());
    std::vector<Decoded> all = g->decode(0);
    ASSERT_EQ(6u, all.size());
    struct Want {
        int32_t r[8];
    };
    const Want want[] = {
        {{5, 6, 301, 100, 0, 0, 301, 100}},
        {{1, 2, 30, 40, 0, 0, 301, 100}},
        {{1, 2, 3, 4, 5, 6, 7, 8}},
        {{7, 8, 200, 66, 0, 0, 301, 100}},  // drawn at 1/1.5, truncated
        {{1, 2, 30, 40, 0, 0, 30, 40}},
        {{1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(0, std::memcmp(all[i].payload.data(), want[i].r, sizeof(want[i].r))) << "command " << i;
        void* ref = nullptr;
        std::memcpy(&ref, all[i].payload.data() + 32, sizeof(ref));
        EXPECT_EQ(static_cast<void*>(image.get()), ref) << "command " << i;
    }
    void* maskRef = nullptr;
    std::memcpy(&maskRef, all[5].payload.data() + 40, sizeof(maskRef));
    EXPECT_EQ(static_cast<void*>(mask.get()), maskRef);
    // Six commands hold the image, two the mask.
    EXPECT_EQ(1u + 6u, refCountOf(image.get()));
    EXPECT_EQ(1u + 2u, refCountOf(mask.get()));
}

TEST_F(RecorderTest, SpriteCommandsAnchorTheirPosition) {
    RefPtr<Image> image = sizedImage(100, 50);
    struct Case {
        uint32_t anchor;
        int which;  // 0 drawSprite, 1 drawSpriteAt(3, 4), 2 drawSpriteScaled(3, 4)
        int32_t x, y, w, h;
    };
    const Case cases[] = {
        {0x00, 0, 10, 20, 100, 50},   {0x11, 0, -40, -5, 100, 50}, {0x22, 0, -90, -30, 100, 50},
        {0x33, 0, 10, 20, 100, 50},   {0x11, 1, -37, -1, 100, 50}, {0x11, 2, -37, -1, 66, 33},
        {0x02, 2, -87, 24, 66, 33},
    };
    for (const Case& c : cases) {
        RefPtr<Sprite2D> s = makeRef<Sprite2D>(10, 20, image, c.anchor);
        s->srcX = 7;
        s->srcY = 9;
        s->pivotX = 11;
        s->pivotY = 12;
        s->scaleX = 2.0f;
        s->scaleY = 0.5f;
        s->rotation = 1.25f;
        if (c.which == 0) g->drawSprite(s.get());
        if (c.which == 1) g->drawSpriteAt(3, 4, s.get());
        if (c.which == 2) g->drawSpriteScaled(3, 4, s.get());
        std::vector<Decoded> all = g->decode(0);
        ASSERT_FALSE(all.empty());
        auto p = payloadAs<SpriteFields>(all.back());
        SCOPED_TRACE(testing::Message() << "anchor " << c.anchor << " call " << c.which);
        EXPECT_EQ(c.x, p.x);
        EXPECT_EQ(c.y, p.y);
        EXPECT_EQ(c.w, p.w);
        EXPECT_EQ(c.h, p.h);
        EXPECT_EQ(7, p.sx);
        EXPECT_EQ(9, p.sy);
        EXPECT_EQ(100, p.sw);  // the source keeps the sprite's full size
        EXPECT_EQ(50, p.sh);
        EXPECT_EQ(11, p.pivotX);
        EXPECT_EQ(12, p.pivotY);
        EXPECT_FLOAT_EQ(2.0f, p.scaleX);
        EXPECT_FLOAT_EQ(0.5f, p.scaleY);
        EXPECT_FLOAT_EQ(1.25f, p.rotation);
        EXPECT_EQ(static_cast<void*>(s.get()), p.sprite);
    }
    g->resetCommands();
}

TEST_F(RecorderTest, SpriteAnchorsNearThe32BitLimitsRecordOnlyWhatFits) {
    RefPtr<Image> image = sizedImage(10, 10);
    struct Case {
        int32_t x, y;
        uint32_t anchor;
        int32_t size;  // width and height
        int32_t dx, dy;
        bool recorded;
        int32_t wantX, wantY;
    };
    const Case cases[] = {
        {INT32_MIN + 10, 0, 0x02, 10, 0, 0, true, INT32_MIN, 0},  // lands exactly on the limit
        {INT32_MIN + 9, 0, 0x02, 10, 0, 0, false, 0, 0},
        {0, INT32_MIN + 4, 0x10, 10, 0, 0, false, 0, 0},
        {0, INT32_MIN, 0x20, 10, 0, 0, false, 0, 0},
        {INT32_MAX, INT32_MAX, 0x00, 10, 0, 0, true, INT32_MAX, INT32_MAX},
        {INT32_MAX, 0, 0x00, 10, 1, 0, false, 0, 0},
        {0, INT32_MIN, 0x00, 10, 0, -1, false, 0, 0},
        {INT32_MAX, 0, 0x01, INT32_MIN, 0, 0, false, 0, 0},  // minus half of the most negative width
        {INT32_MIN, 0, 0x02, -10, -10, 0, true, INT32_MIN, 0},  // the anchor's +10 and dx's -10 cancel
        {INT32_MAX - 5, 0, 0x01, 10, 0, 0, true, INT32_MAX - 10, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "at " << c.x << "," << c.y << " anchor " << c.anchor << " size "
                                        << c.size << " plus " << c.dx << "," << c.dy);
        RefPtr<Sprite2D> s = makeRef<Sprite2D>(c.x, c.y, image, c.anchor);
        s->width = c.size;
        s->height = c.size;
        g->resetCommands();
        g->drawSpriteAt(c.dx, c.dy, s.get());
        std::vector<Decoded> all = g->decode(0);
        ASSERT_EQ(c.recorded ? 1u : 0u, all.size());
        if (!c.recorded) continue;
        auto p = payloadAs<SpriteFields>(all.back());
        EXPECT_EQ(c.wantX, p.x);
        EXPECT_EQ(c.wantY, p.y);
    }
    g->resetCommands();
}

TEST_F(RecorderTest, ScalarPayloadsKeepArgumentOrder) {
    g->setColor(0.1f, 0.2f, 0.3f, 0.4f);
    g->setOrigin(5, 6, 7);
    g->drawShape(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10);
    g->fillTriangle(1, 2, 3, 4, 5, 6);
    g->setPair(-3, 9);
    g->drawLine(1, 2, 3, 4);
    std::vector<Decoded> all = g->decode(0);
    ASSERT_EQ(6u, all.size());
    auto color = payloadAs<ColorPayload>(all[0]);
    EXPECT_FLOAT_EQ(0.3f, color.b);
    EXPECT_FLOAT_EQ(0.4f, color.a);
    EXPECT_FLOAT_EQ(7.0f, payloadAs<OriginPayload>(all[1]).z);
    auto shape = payloadAs<ShapePayload>(all[2]);
    for (int i = 0; i < 11; ++i) EXPECT_FLOAT_EQ(float(i), shape.v[i]);
    EXPECT_FLOAT_EQ(6.0f, payloadAs<TrianglePayload>(all[3]).y2);
    EXPECT_EQ(-3, payloadAs<PairPayload>(all[4]).a);
    auto line = payloadAs<RectPayload>(all[5]);
    EXPECT_EQ(3, line.w);
    EXPECT_EQ(4, line.h);
    EXPECT_EQ(0.0f, g->setRotation(1.0f));
    EXPECT_EQ(1.0f, g->setRotation(0.5f));
}

TEST_F(RecorderTest, LayersAreTablesGrownOnFirstUseAndRunHighestFirst) {
    g->setLayer(5);
    EXPECT_EQ(0, g->layerCount());
    g->fillRect(0, 0, 1, 1);
    EXPECT_EQ(9, g->layerCount());
    for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(i == 5, g->layerAt(i)->storage != nullptr) << i;
    g->setLayer(0);
    g->fillRect(0, 0, 2, 2);
    g->setLayer(2);
    g->fillRect(0, 0, 3, 3);
    EXPECT_EQ(9, g->layerCount());
    g->present();
    const std::vector<std::string> want = {"clear", "execute 5", "execute 2", "execute 0", "swap"};
    EXPECT_EQ(want, g->calls);
    // Emptied but kept, and the current layer stays as last set.
    for (int32_t i : {0, 2, 5}) {
        EXPECT_EQ(0, g->layerAt(i)->used);
        EXPECT_NE(nullptr, g->layerAt(i)->storage);
    }
    EXPECT_EQ(2, g->currentLayer());
}

TEST_F(RecorderTest, EmptyLayerWithStorageIsExecutedWithNothingInIt) {
    g->fillRect(0, 0, 1, 1);
    g->present();
    g->calls.clear();
    g->executed.clear();
    g->present();
    EXPECT_EQ((std::vector<std::string>{"clear", "execute 0", "swap"}), g->calls);
    EXPECT_TRUE(g->executed.empty());
}

TEST_F(RecorderTest, SkipNextFlushShowsNothingButStillEmpties) {
    RefPtr<Image> image = sizedImage(4, 4);
    g->skipNextFlush();
    g->drawImage(0, 0, image.get());
    g->present();
    EXPECT_TRUE(g->calls.empty());
    EXPECT_FALSE(g->skipFlagSet());
    EXPECT_EQ(0, g->layerAt(0)->used);
    EXPECT_EQ(1u, refCountOf(image.get()));
    g->drawImage(0, 0, image.get());
    g->present();
    EXPECT_EQ((std::vector<std::string>{"clear", "execute 0", "swap"}), g->calls);
    ASSERT_EQ(1u, g->executed.size());
    EXPECT_EQ(OpDrawImage, g->executed[0].op);
}

TEST_F(RecorderTest, UnpresentedCommandsRunWithTheNextFrame) {
    g->fillRect(0, 0, 1, 1);  // a frame whose draw said "don't present"
    g->fillRect(0, 0, 2, 2);
    g->present();
    ASSERT_EQ(2u, g->executed.size());
    EXPECT_EQ(0, g->executed[0].offset);
    EXPECT_EQ(24, g->executed[1].offset);
}

TEST_F(RecorderTest, ReferencesAreReleasedByPresentResetAndDestruction) {
    RefPtr<Image> image = sizedImage(4, 4);
    RefPtr<Image> mask = sizedImage(4, 4);
    RefPtr<Sprite2D> sprite = makeRef<Sprite2D>(image, 0u);
    uint32_t imageBase = refCountOf(image.get());
    auto recordAll = [&](Graphics* gr) {
        for (int layer : {0, 3}) {
            gr->setLayer(layer);
            gr->drawImage(0, 0, image.get());
            gr->drawMasked(0, 0, 4, 4, image.get(), mask.get());
            gr->drawSpriteAt(1, 1, sprite.get());
            gr->drawSpriteScaled(1, 1, sprite);  // the RefPtr form
        }
    };
    recordAll(g.get());
    EXPECT_EQ(imageBase + 4, refCountOf(image.get()));
    EXPECT_EQ(1u + 2u, refCountOf(mask.get()));
    EXPECT_EQ(1u + 4u, refCountOf(sprite.get()));
    g->present();
    EXPECT_EQ(imageBase, refCountOf(image.get()));
    EXPECT_EQ(1u, refCountOf(mask.get()));
    EXPECT_EQ(1u, refCountOf(sprite.get()));

    recordAll(g.get());
    g->resetCommands();
    EXPECT_EQ(imageBase, refCountOf(image.get()));
    EXPECT_EQ(1u, refCountOf(sprite.get()));

    // Commands never presented are let go with the recorder.
    recordAll(g.get());
    g.reset();
    EXPECT_EQ(imageBase, refCountOf(image.get()));
    EXPECT_EQ(1u, refCountOf(mask.get()));
    EXPECT_EQ(1u, refCountOf(sprite.get()));
}

TEST_F(RecorderTest, AnImageHeldOnlyByACommandLivesUntilPresented) {
    bool dead = false;
    {
        RefPtr<TrackedImage> image = makeRef<TrackedImage>(&dead);
        g->drawImage(0, 0, image.get());
    }
    EXPECT_FALSE(dead);
    g->present();
    EXPECT_TRUE(dead);
}

TEST_F(RecorderTest, NullImagesSpritesAndBadLayersRecordNothing) {
    RefPtr<Image> image = sizedImage(4, 4);
    Image* none = nullptr;
    Sprite2D* noSprite = nullptr;
    g->drawImage(0, 0, none);
    g->drawImageSized(0, 0, 1, 1, none);
    g->drawImageRect(0, 0, 1, 1, 0, 0, 1, 1, none);
    g->drawImageScaled(0, 0, none);
    g->drawMasked(0, 0, 1, 1, none, image.get());
    g->drawMasked(0, 0, 1, 1, image.get(), none);
    g->drawMaskedRect(0, 0, 1, 1, 0, 0, 1, 1, none, none);
    g->drawSprite(noSprite);
    g->drawSpriteAt(0, 0, noSprite);
    g->drawSpriteScaled(0, 0, noSprite);
    EXPECT_EQ(0, g->layerCount());
    for (int layer : {-1, -1000, GraphicsShadow::kMaxLayers, 0x7FFFFFFF}) {
        g->setLayer(layer);
        g->fillRect(0, 0, 1, 1);
        g->drawImage(0, 0, image.get());
        g->setFilter(1);
    }
    EXPECT_EQ(0, g->layerCount());
    EXPECT_EQ(1u, refCountOf(image.get()));
    g->present();  // nothing to run, nothing breaks
    EXPECT_EQ((std::vector<std::string>{"clear", "swap"}), g->calls);
}

TEST_F(RecorderTest, ABufferThatCannotGrowKeepsWhatItHad) {
    RefPtr<Image> image = sizedImage(4, 4);
    g->drawImage(0, 0, image.get());
    CommandBuffer* b = g->layerAt(0);
    while (b->used + 48 <= b->capacity) g->drawImage(0, 0, image.get());
    int32_t used = b->used;
    int32_t capacity = b->capacity;
    uint8_t* storage = b->storage;
    uint32_t count = refCountOf(image.get());
    g->failAllocations = true;
    g->drawImage(0, 0, image.get());
    g->setFilter(0);
    g->setLayer(7);  // a new table cannot be had either
    g->fillRect(0, 0, 1, 1);
    EXPECT_EQ(used, b->used);
    EXPECT_EQ(capacity, b->capacity);
    EXPECT_EQ(storage, b->storage);
    EXPECT_EQ(count, refCountOf(image.get()));
    EXPECT_EQ(4, g->layerCount());
    g->failAllocations = false;
    g->present();
    EXPECT_EQ(1u, refCountOf(image.get()));
    EXPECT_EQ(size_t(used / 48), g->executed.size());
}

}  // namespace
