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

}  // namespace KelpaEngine
