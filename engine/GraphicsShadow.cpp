#include "engine/GraphicsShadow.h"

#include <cstring>
#include <new>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"

namespace KelpaEngine {

const int32_t kCommandPayloadSizes[kOpcodeCount] = {4,  4,  16, 16, 16, 16, 12, 4,  16, 48,
                                                    40, 44, 16, 16, 64, 44, 16, 24, 8,  1};

int32_t commandStep(uint32_t opcode) {
    if (opcode < uint32_t(kOpcodeCount)) return commandSizeForPayload(kCommandPayloadSizes[opcode]);
    return kCommandHeaderSize;
}

GraphicsShadow::GraphicsShadow(Application* app) : app_(app) {}

GraphicsShadow::~GraphicsShadow() {
    for (int32_t i = layerCount_ - 1; i >= 0; --i) {
        CommandBuffer& b = layers_[i];
        if (!b.storage) continue;
        // Commands never presented still hold their images and sprites.
        releaseReferences(b);
        engineFree(b.storage);
    }
    engineFree(layers_);
}

void* GraphicsShadow::allocateStorage(uint64_t bytes) { return engineAlloc(bytes); }

CommandBuffer* GraphicsShadow::layerBuffer(int32_t layer) {
    if (layer < 0 || layer >= kMaxLayers) return nullptr;
    if (layer >= layerCount_) {
        int32_t newCount = layer + 4;
        auto* table = static_cast<CommandBuffer*>(allocateStorage(uint64_t(newCount) * sizeof(CommandBuffer)));
        if (!table) return nullptr;
        std::memset(static_cast<void*>(table), 0, size_t(newCount) * sizeof(CommandBuffer));
        if (layerCount_ > 0) {
            std::memcpy(static_cast<void*>(table), layers_, size_t(layerCount_) * sizeof(CommandBuffer));
        }
        engineFree(layers_);
        layers_ = table;
        layerCount_ = newCount;
    }
    return &layers_[layer];
}

void* GraphicsShadow::appendCommand(uint32_t opcode, int32_t payloadSize) {
    CommandBuffer* b = layerBuffer(currentLayer_);
    if (!b) return nullptr;
    int32_t size = commandSizeForPayload(payloadSize);
    if (int64_t(b->used) + size > b->capacity) {
        int64_t grown = int64_t(size) + b->capacity + b->capacity / 2 + kCommandBufferSlack;
        if (grown > INT32_MAX) return nullptr;
        auto* storage = static_cast<uint8_t*>(allocateStorage(uint64_t(grown)));
        if (!storage) return nullptr;
        std::memset(storage, 0, size_t(grown));
        if (b->used > 0) std::memcpy(storage, b->storage, size_t(b->used));
        engineFree(b->storage);
        b->storage = storage;
        b->capacity = int32_t(grown);
    }
    uint8_t* command = b->storage + b->used;
    *reinterpret_cast<uint32_t*>(command) = opcode;
    b->used += size;
    return command + kCommandHeaderSize;
}

namespace {

// Ends the references the commands hold, in zeroed memory's place.
struct ReleaseReferences : CommandVisitor {
    void drawImage(DrawImagePayload& p) { p.image.~RefPtr<Image>(); }
    void drawMasked(DrawMaskedPayload& p) {
        p.image.~RefPtr<Image>();
        p.mask.~RefPtr<Image>();
    }
    void drawSprite(DrawSpritePayload& p) { p.sprite.~RefPtr<Sprite2D>(); }
};

}  // namespace

void GraphicsShadow::releaseReferences(CommandBuffer& b) {
    ReleaseReferences release;
    walkCommands(b, 0, release);
}

Application* GraphicsShadow::getApplication() { return app_; }

int GraphicsShadow::beginFrame() {
    appendCommand(OpBeginFrame, kCommandPayloadSizes[OpBeginFrame]);
    return 0;
}

int GraphicsShadow::endFrame() {
    appendCommand(OpEndFrame, kCommandPayloadSizes[OpEndFrame]);
    return 0;
}

int GraphicsShadow::readPixels(void*, int, int, int, int) { return 0; }

int GraphicsShadow::setClearColor(float r, float g, float b, float a) {
    clearColor_[0] = r;
    clearColor_[1] = g;
    clearColor_[2] = b;
    clearColor_[3] = a;
    return 0;
}

int GraphicsShadow::setColor(float r, float g, float b, float a) {
    if (auto* p = static_cast<ColorPayload*>(appendCommand(OpSetColor, kCommandPayloadSizes[OpSetColor]))) {
        *p = ColorPayload{r, g, b, a};
    }
    return 0;
}

namespace {

// The two rectangles and the image reference of an image or masked draw,
// written into raw command storage.
template <class Payload>
void fillImagePayload(Payload* p, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, Image* image) {
    p->dx = dx;
    p->dy = dy;
    p->dw = dw;
    p->dh = dh;
    p->sx = sx;
    p->sy = sy;
    p->sw = sw;
    p->sh = sh;
    new (&p->image) RefPtr<Image>();
    p->image.assign(image);
}

}  // namespace

int GraphicsShadow::recordImage(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                                Image* image) {
    if (!image) return 0;
    auto* p = static_cast<DrawImagePayload*>(appendCommand(OpDrawImage, kCommandPayloadSizes[OpDrawImage]));
    if (p) fillImagePayload(p, dx, dy, dw, dh, sx, sy, sw, sh, image);
    return 0;
}

int GraphicsShadow::drawImage(int x, int y, Image* image) {
    if (!image) return 0;
    return recordImage(x, y, image->getWidth(), image->getHeight(), 0, 0, image->getWidth(),
                       image->getHeight(), image);
}

int GraphicsShadow::drawImageSized(int x, int y, int w, int h, Image* image) {
    if (!image) return 0;
    return recordImage(x, y, w, h, 0, 0, image->getWidth(), image->getHeight(), image);
}

int GraphicsShadow::drawImageRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                                  Image* image) {
    return recordImage(dx, dy, dw, dh, sx, sy, sw, sh, image);
}

int GraphicsShadow::drawImageScaled(int x, int y, Image* image) {
    if (!image) return 0;
    int w = int(double(image->getWidth()) / 1.5);
    int h = int(double(image->getHeight()) / 1.5);
    return recordImage(x, y, w, h, 0, 0, image->getWidth(), image->getHeight(), image);
}

int GraphicsShadow::drawMasked(int x, int y, int w, int h, Image* image, Image* mask) {
    return drawMaskedRect(x, y, w, h, 0, 0, w, h, image, mask);
}

int GraphicsShadow::drawMaskedRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                                   Image* image, Image* mask) {
    if (!image || !mask) return 0;
    auto* p = static_cast<DrawMaskedPayload*>(appendCommand(OpDrawMasked, kCommandPayloadSizes[OpDrawMasked]));
    if (!p) return 0;
    fillImagePayload(p, dx, dy, dw, dh, sx, sy, sw, sh, image);
    new (&p->mask) RefPtr<Image>();
    p->mask.assign(mask);
    return 0;
}

int GraphicsShadow::recordRect(uint32_t opcode, int x, int y, int w, int h) {
    if (auto* p = static_cast<RectPayload*>(appendCommand(opcode, kCommandPayloadSizes[opcode]))) {
        *p = RectPayload{x, y, w, h};
    }
    return 0;
}

int GraphicsShadow::drawLine(int x1, int y1, int x2, int y2) { return recordRect(OpDrawLine, x1, y1, x2, y2); }
int GraphicsShadow::drawRect(int x, int y, int w, int h) { return recordRect(OpDrawRect, x, y, w, h); }
int GraphicsShadow::fillRect(int x, int y, int w, int h) { return recordRect(OpFillRect, x, y, w, h); }
int GraphicsShadow::setClip(int x, int y, int w, int h) { return recordRect(OpSetClip, x, y, w, h); }

int GraphicsShadow::recordShape(uint32_t opcode, const float (&v)[11]) {
    if (auto* p = static_cast<ShapePayload*>(appendCommand(opcode, kCommandPayloadSizes[opcode]))) {
        std::memcpy(p->v, v, sizeof(p->v));
    }
    return 0;
}

int GraphicsShadow::drawShape(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                              float y3, float x4, float y4, float extra) {
    const float v[11] = {x0, y0, x1, y1, x2, y2, x3, y3, x4, y4, extra};
    return recordShape(OpDrawShape, v);
}

int GraphicsShadow::drawRotatedShape(float x0, float y0, float x1, float y1, float x2, float y2,
                                     float x3, float y3, float x4, float y4, float degrees) {
    const float v[11] = {x0, y0, x1, y1, x2, y2, x3, y3, x4, y4, degrees};
    return recordShape(OpDrawRotatedShape, v);
}

int GraphicsShadow::recordSprite(int dx, int dy, bool scaled, Sprite2D* sprite) {
    if (!sprite) return 0;
    int32_t w = sprite->width;
    int32_t h = sprite->height;
    // The anchored corner in 64 bits: near the 32-bit limits it may lie
    // beyond them, and a command holding a wrapped position would draw the
    // sprite on the far side of the screen.
    Sprite2D::Rect r = sprite->anchoredRect();
    int64_t x = r.left + int64_t(dx);
    int64_t y = r.top + int64_t(dy);
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return 0;
    auto* p = static_cast<DrawSpritePayload*>(appendCommand(OpDrawSprite, kCommandPayloadSizes[OpDrawSprite]));
    if (!p) return 0;
    p->x = int32_t(x);
    p->y = int32_t(y);
    p->w = scaled ? int32_t(double(w) / 1.5) : w;
    p->h = scaled ? int32_t(double(h) / 1.5) : h;
    p->sx = sprite->srcX;
    p->sy = sprite->srcY;
    p->sw = w;
    p->sh = h;
    p->pivotX = sprite->pivotX;
    p->pivotY = sprite->pivotY;
    p->scaleX = sprite->scaleX;
    p->scaleY = sprite->scaleY;
    p->rotation = sprite->rotation;
    new (&p->sprite) RefPtr<Sprite2D>();
    p->sprite.assign(sprite);
    return 0;
}

int GraphicsShadow::drawSprite(Sprite2D* sprite) { return recordSprite(0, 0, false, sprite); }
int GraphicsShadow::drawSpriteAt(int dx, int dy, Sprite2D* sprite) { return recordSprite(dx, dy, false, sprite); }
int GraphicsShadow::drawSpriteScaled(int dx, int dy, Sprite2D* sprite) {
    return recordSprite(dx, dy, true, sprite);
}

int GraphicsShadow::setOrigin(float x, float y, float z) {
    if (auto* p = static_cast<OriginPayload*>(appendCommand(OpSetOrigin, kCommandPayloadSizes[OpSetOrigin]))) {
        *p = OriginPayload{x, y, z};
    }
    return 0;
}

int GraphicsShadow::setAlpha(float a) {
    if (auto* p = static_cast<AlphaPayload*>(appendCommand(OpSetAlpha, kCommandPayloadSizes[OpSetAlpha]))) {
        p->alpha = a;
    }
    return 0;
}

int GraphicsShadow::fillTriangle(float x0, float y0, float x1, float y1, float x2, float y2) {
    if (auto* p = static_cast<TrianglePayload*>(appendCommand(OpFillTriangle, kCommandPayloadSizes[OpFillTriangle]))) {
        *p = TrianglePayload{x0, y0, x1, y1, x2, y2};
    }
    return 0;
}

int GraphicsShadow::resetCommands() {
    for (int32_t i = layerCount_ - 1; i >= 0; --i) {
        CommandBuffer& b = layers_[i];
        if (!b.storage) continue;
        releaseReferences(b);
        std::memset(b.storage, 0, size_t(b.capacity));
        b.used = 0;
    }
    return 0;
}

int GraphicsShadow::setLayer(int layer) {
    currentLayer_ = layer;
    return 0;
}

int GraphicsShadow::setPair(int a, int b) {
    if (auto* p = static_cast<PairPayload*>(appendCommand(OpReserved18, kCommandPayloadSizes[OpReserved18]))) {
        *p = PairPayload{a, b};
    }
    return 0;
}

float GraphicsShadow::setRotation(float halfTurns) {
    float previous = rotation_;
    rotation_ = halfTurns;
    return previous;
}

void GraphicsShadow::setFilter(uint8_t linear) {
    if (auto* p = static_cast<FilterPayload*>(appendCommand(OpSetFilter, kCommandPayloadSizes[OpSetFilter]))) {
        p->linear = linear;
    }
}

int GraphicsShadow::skipNextFlush() {
    skip_ = 1;
    return 0;
}

int GraphicsShadow::present() {
    if (skip_) {
        skip_ = 0;
    } else {
        clear();
        for (int32_t i = layerCount_ - 1; i >= 0; --i) {
            if (!layers_[i].storage) continue;
            CommandCursor cursor{&layers_[i], 0};
            execute(&cursor);
        }
        swapBuffers();
    }
    return resetCommands();
}

int GraphicsShadow::getVirtualWidth() { return app_ ? app_->getVirtualWidth() : 0; }
int GraphicsShadow::getVirtualHeight() { return app_ ? app_->getVirtualHeight() : 0; }

int GraphicsShadow::recordFloat4(uint32_t opcode, float a, float b, float c, float d) {
    if (auto* p = static_cast<Float4Payload*>(appendCommand(opcode, kCommandPayloadSizes[opcode]))) {
        *p = Float4Payload{{a, b, c, d}};
    }
    return 0;
}

int GraphicsShadow::setRotationUnit(float a, float b, float c, float d) {
    return recordFloat4(OpSetRotationUnit, a, b, c, d);
}
int GraphicsShadow::setReserved4(float a, float b, float c, float d) { return recordFloat4(OpReserved4, a, b, c, d); }
int GraphicsShadow::setReserved5(float a, float b, float c, float d) { return recordFloat4(OpReserved5, a, b, c, d); }

}  // namespace KelpaEngine
