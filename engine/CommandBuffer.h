// The recorded command format shared by the recorder and the executor.
//
// A buffer is a sequence of commands packed from byte 0 to `used`:
//   bytes 0-3  opcode (unsigned 32-bit)
//   bytes 4-7  zero
//   byte 8 on  payload, its size fixed by the opcode
// A command occupies (payload size + 15) & ~7 bytes; a walker steps by that
// for opcodes 0-19 and by 8 bytes for any other opcode.
#pragma once

#include <cstdint>

#include "engine/Heap.h"

namespace KelpaEngine {

class Image;
class Sprite2D;

enum GraphicsOpcode : uint32_t {
    OpBeginFrame = 0,
    OpEndFrame = 1,
    OpSetColor = 2,
    OpSetRotationUnit = 3,
    OpReserved4 = 4,
    OpReserved5 = 5,
    OpSetOrigin = 6,
    OpSetAlpha = 7,
    OpSetClip = 8,
    OpDrawMasked = 9,
    OpDrawImage = 10,
    OpDrawShape = 11,
    OpDrawLine = 12,
    OpDrawRect = 13,
    OpDrawSprite = 14,
    OpDrawRotatedShape = 15,
    OpFillRect = 16,
    OpFillTriangle = 17,
    OpReserved18 = 18,
    OpSetFilter = 19,
};

constexpr int32_t kOpcodeCount = 20;
extern const int32_t kCommandPayloadSizes[kOpcodeCount];

constexpr int32_t kCommandHeaderSize = 8;
// First growth adds this much beyond the command (and half the capacity).
constexpr int32_t kCommandBufferSlack = 10032;

constexpr int32_t commandSizeForPayload(int32_t payloadSize) { return (payloadSize + 15) & ~7; }

// Bytes from this command to the next one.
int32_t commandStep(uint32_t opcode);

struct CommandBuffer {
    uint8_t* storage;  // null until the layer's first command
    int32_t used;
    int32_t capacity;
};

// Payload layouts (from byte 8 of a command). References are RefPtrs
// constructed in zeroed memory by a retaining assignment.
struct ColorPayload {  // OpSetColor
    float r, g, b, a;
};
struct Float4Payload {  // OpSetRotationUnit, OpReserved4, OpReserved5
    float v[4];
};
struct OriginPayload {  // OpSetOrigin
    float x, y, z;
};
struct AlphaPayload {  // OpSetAlpha
    float alpha;
};
struct RectPayload {  // OpSetClip, OpDrawLine (x1, y1, x2, y2), OpDrawRect, OpFillRect
    int32_t x, y, w, h;
};
struct DrawImagePayload {  // OpDrawImage
    int32_t dx, dy, dw, dh;
    int32_t sx, sy, sw, sh;
    RefPtr<Image> image;
};
struct DrawMaskedPayload {  // OpDrawMasked
    int32_t dx, dy, dw, dh;
    int32_t sx, sy, sw, sh;
    RefPtr<Image> image;
    RefPtr<Image> mask;
};
struct ShapePayload {  // OpDrawShape, OpDrawRotatedShape
    float v[11];
};
struct DrawSpritePayload {  // OpDrawSprite
    int32_t x, y, w, h;      // anchored position and drawn size
    int32_t sx, sy, sw, sh;  // source rectangle
    int32_t pivotX, pivotY;
    float scaleX, scaleY;
    float rotation;  // radians
    uint32_t alignment;
    RefPtr<Sprite2D> sprite;
};
struct TrianglePayload {  // OpFillTriangle
    float x0, y0, x1, y1, x2, y2;
};
struct PairPayload {  // OpReserved18
    int32_t a, b;
};
struct FilterPayload {  // OpSetFilter
    uint8_t linear;
};

static_assert(sizeof(RefPtr<Image>) == 8, "a reference in a payload takes 8 bytes");
static_assert(sizeof(DrawImagePayload) == 40);
static_assert(sizeof(DrawMaskedPayload) == 48);
static_assert(sizeof(ShapePayload) == 44);
static_assert(sizeof(DrawSpritePayload) == 64);
static_assert(sizeof(TrianglePayload) == 24);

inline uint32_t commandOpcode(const uint8_t* command) { return *reinterpret_cast<const uint32_t*>(command); }
template <class P>
inline P* commandPayload(uint8_t* command) {
    return reinterpret_cast<P*>(command + kCommandHeaderSize);
}

// What a walk hands each command to. A visitor derives from this and hides
// the calls it cares about (taking the payload by const or plain
// reference); the rest do nothing. `more` false ends the walk before the
// next command; `at` hears each command's position before the command.
struct CommandVisitor {
    bool more() const { return true; }
    void at(int32_t) {}
    void setColor(const ColorPayload&) {}
    void setOrigin(const OriginPayload&) {}
    void setAlpha(const AlphaPayload&) {}
    void setClip(const RectPayload&) {}
    void setFilter(const FilterPayload&) {}
    void drawMasked(const DrawMaskedPayload&) {}
    void drawImage(const DrawImagePayload&) {}
    void drawSprite(const DrawSpritePayload&) {}
    void drawShape(const ShapePayload&) {}
    void drawRotatedShape(const ShapePayload&) {}
    void drawLine(const RectPayload&) {}
    void drawRect(const RectPayload&) {}
    void fillRect(const RectPayload&) {}
    void fillTriangle(const TrianglePayload&) {}
};

// Decodes one command and hands it to the visitor; commands no visitor
// hears of (frame marks, reserved opcodes) are passed over.
template <class Visitor>
void visitCommand(uint8_t* command, Visitor& v) {
    switch (commandOpcode(command)) {
        case OpSetColor: v.setColor(*commandPayload<ColorPayload>(command)); break;
        case OpSetOrigin: v.setOrigin(*commandPayload<OriginPayload>(command)); break;
        case OpSetAlpha: v.setAlpha(*commandPayload<AlphaPayload>(command)); break;
        case OpSetClip: v.setClip(*commandPayload<RectPayload>(command)); break;
        case OpSetFilter: v.setFilter(*commandPayload<FilterPayload>(command)); break;
        case OpDrawMasked: v.drawMasked(*commandPayload<DrawMaskedPayload>(command)); break;
        case OpDrawImage: v.drawImage(*commandPayload<DrawImagePayload>(command)); break;
        case OpDrawSprite: v.drawSprite(*commandPayload<DrawSpritePayload>(command)); break;
        case OpDrawShape: v.drawShape(*commandPayload<ShapePayload>(command)); break;
        case OpDrawRotatedShape: v.drawRotatedShape(*commandPayload<ShapePayload>(command)); break;
        case OpDrawLine: v.drawLine(*commandPayload<RectPayload>(command)); break;
        case OpDrawRect: v.drawRect(*commandPayload<RectPayload>(command)); break;
        case OpFillRect: v.fillRect(*commandPayload<RectPayload>(command)); break;
        case OpFillTriangle: v.fillTriangle(*commandPayload<TrianglePayload>(command)); break;
        default: break;
    }
}

// The one walk over a buffer: the commands from byte `from` up to byte `to`
// (clamped to the used count), in order, each decoded once. Returns where
// the walk stopped.
template <class Visitor>
int32_t walkCommands(const CommandBuffer& buffer, int32_t from, int32_t to, Visitor& v) {
    if (!buffer.storage) return from;
    if (to > buffer.used) to = buffer.used;
    int32_t pos = from;
    while (pos >= 0 && pos < to && v.more()) {
        uint8_t* command = buffer.storage + pos;
        v.at(pos);
        visitCommand(command, v);
        pos += commandStep(commandOpcode(command));
    }
    return pos;
}

template <class Visitor>
int32_t walkCommands(const CommandBuffer& buffer, int32_t from, Visitor& v) {
    return walkCommands(buffer, from, buffer.used, v);
}

}  // namespace KelpaEngine
