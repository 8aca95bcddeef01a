// The batcher: gathers the vertices of consecutive draws that share a
// program, textures, blending, filter and colour into one indexed triangle
// list, draws it with one call, and sets only the GL state that changes.
#pragma once

#include <GLES2/gl2.h>

#include <cstdint>
#include <cstring>

#include "engine/CommandBuffer.h"
#include "engine/ios/GraphicsGLCommon.h"

namespace KelpaEngine {
namespace iOS {

// The programs of batched drawing: solid, textured, masked, and textured
// without a tint.
enum BatchKind : int { kBatchSolid = 0, kBatchTextured = 1, kBatchMasked = 2, kBatchPlain = 3, kBatchNone = 4 };
constexpr int kBatchPrograms = 4;

// A vertex already placed by its model matrix (in the drawing space, for
// the projection to take), and where it samples its page.
struct BatchVertex {
    float x, y;
    float u, v;
};
static_assert(sizeof(BatchVertex) == 16);

// Where a masked draw's vertex samples its mask, kept apart so that the
// other draws' vertices stay small.
struct MaskCoord {
    float u, v;
};

// (x, y) through a model matrix as the vertex stage would take vPosition
// (x, y, 0, 1) through it: the products and sums in the same order, each
// rounded to float and none fused, so that the projection of the result
// is the same to the bit.
inline void placePoint(const float* m, float x, float y, BatchVertex* out) {
    out->x = (m[0] * x + m[4] * y) + m[12];
    out->y = (m[1] * x + m[5] * y) + m[13];
}

// What the draws of one batch share.
struct BatchKey {
    int kind = kBatchNone;
    GLuint tex = 0;
    GLuint mask = 0;
    bool linear = true;
    float color[4] = {0, 0, 0, 0};
    // Opaque pictures, untinted: drawn without blending, which comes to the
    // same bytes (alpha 1 keeps nothing of what is under them) and spares
    // llvmpipe reading the framebuffer. Not part of the batch's identity:
    // an opaque picture joins a blending batch, the reverse cannot be.
    bool opaque = false;

    bool operator==(const BatchKey& o) const {
        return kind == o.kind && tex == o.tex && mask == o.mask && linear == o.linear &&
               std::memcmp(color, o.color, sizeof(color)) == 0;
    }
};

// The GL state as this execute has set it; unknown at its start, since
// texture uploads and the other path change state between layers.
struct KnownGLState {
    static constexpr GLuint kUnknownName = 0xFFFFFFFFu;
    GLuint program = kUnknownName;
    int blend = -1;  // -1 unknown, 0 off, 1 on
    int cull = -1;
    bool blendFunc = false;
    GLenum unit = 0;
    GLuint bound[2] = {kUnknownName, kUnknownName};
    // Filters this execute has given texture objects (a few pages at most).
    struct Filter {
        GLuint name;
        bool linear;
    };
    Filter filters[8];
    int filterCount = 0;
    uint32_t arrays = 0;  // enabled attribute arrays, by location
    bool pointers = false;
    bool projection[kBatchPrograms] = {};
    // The constant colour attribute is context state, shared by the programs.
    bool colorSet = false;
    float color[4];

    void useProgram(GLuint p);
    void setNoBlend();
    void setBlend();
    void setCull(bool on);
    void activeUnit(GLenum u);
    // Binds the page on a unit and gives it the filter, each only when not
    // already so.
    void bindWithFilter(int index, GLuint name, bool linear);
    void enableArrays(uint32_t wanted);
};

class Batcher {
public:
    // Attribute locations of the batched programs.
    static constexpr uint32_t kPosition = 0;
    static constexpr uint32_t kTexCoord = 1;
    static constexpr uint32_t kMaskCoord = 2;
    static constexpr uint32_t kColor = 3;
    static constexpr int32_t kVertexCapacity = 4096;  // indices stay within 16 bits
    static constexpr int32_t kIndexCapacity = kVertexCapacity / 4 * 6;

    Batcher() = default;
    ~Batcher();
    Batcher(const Batcher&) = delete;
    Batcher& operator=(const Batcher&) = delete;

    // In the current context; deletePrograms only while it is ours.
    void buildPrograms();
    void deletePrograms();
    void forgetPrograms();
    // True when the programs are linked and the vertex storage is there.
    bool ready();

    // Starts a layer: nothing gathered, the GL state unknown. The batches
    // are drawn with the projection the pointer shows at their flush; draw
    // calls are counted into *drawCalls.
    void begin(const float* projection, uint64_t* drawCalls);
    // The projection changed (after a flush): set again at the next draw.
    void projectionChanged() {
        for (bool& set : gl_.projection) set = false;
    }

    // Room for n more vertices and nIndices indices in a batch of key k,
    // flushing first when the key differs or the batch is full; returns
    // the first new vertex. Fill in the vertices and indices (counted from
    // firstIndex()), then commit.
    BatchVertex* reserve(const BatchKey& k, int32_t n, int32_t nIndices);
    uint16_t firstIndex() const { return uint16_t(vertexCount_); }
    uint16_t* indexSpace() { return indices_ + indexCount_; }
    // The mask coordinates of the vertices reserve gave (masked batches).
    MaskCoord* maskSpace() { return maskCoords_ + vertexCount_; }
    void commit(int32_t n, int32_t nIndices) {
        vertexCount_ += n;
        indexCount_ += nIndices;
    }
    // A 4-vertex strip (0, 1, 2, 3) as the two triangles GL makes of it,
    // its corners placed by the model matrix; t and m may be null (no
    // texture, no mask).
    void addQuad(const BatchKey& k, const float* positions, const gl::TexCoords* t, const gl::TexCoords* m,
                 const float* model);
    void addTriangle(const BatchKey& k, const float* positions, const float* model);

    // Draws what is gathered.
    void flush();
    // Ends the layer: the rest drawn, the arrays disabled, blending left on
    // as a picture leaves it for whatever follows.
    void end();
    // For draws made outside the batches (lines and outlines): what GL
    // state this layer has set.
    KnownGLState& state() { return gl_; }

private:
    struct Program {
        GLint program = 0;
        GLint projection = -1;
    };
    Program programs_[kBatchPrograms];
    BatchVertex* vertices_ = nullptr;
    MaskCoord* maskCoords_ = nullptr;
    uint16_t* indices_ = nullptr;
    int32_t vertexCount_ = 0;
    int32_t indexCount_ = 0;
    BatchKey key_;
    KnownGLState gl_;
    const float* projection_ = nullptr;
    uint64_t* drawCalls_ = nullptr;
};

// The position of the layer's last picture, from `from` on, that hides the
// whole drawing area: an opaque texture, untinted, unclipped, covering the
// vw x vh virtual screen. Nothing drawn before it in the layer can show;
// -1 when there is none. What follows a clip is drawn through it: the
// search stops there.
int32_t findCover(const CommandBuffer& layer, int32_t from, float vw, float vh);

}  // namespace iOS
}  // namespace KelpaEngine
