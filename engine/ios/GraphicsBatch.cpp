// Batched execution of a layer (the batcher, GraphicsBatch.h, and the walk
// that feeds it). Every quad keeps the corners, texture coordinates and
// model matrix the one-draw-per-command path gives it; the corners go
// through the model matrix here, as the other path's vertex stage takes
// them (llvmpipe computes mProjection * mCoodinate * vPosition as
// mProjection * (mCoodinate * vPosition), unfused), so the pixels match.
#include "engine/ios/GraphicsBatch.h"

#include <GLES2/gl2.h>

#include <cstring>

#include "engine/Application.h"
#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/GraphicsGLCommon.h"
#include "engine/ios/GraphicsOpenGL.h"

namespace KelpaEngine {
namespace iOS {

using namespace gl;

namespace {

// The stages of the one-draw-per-command programs with the positions
// already placed in the drawing space, and the colour a vertex attribute
// held constant for each draw (glVertexAttrib4fv). The product is the same,
// but llvmpipe rasterises a picture times an interpolated colour about a
// fifth faster than a picture times a uniform.
const char kSolidBatchVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute vec4 vTint;\n"
    "uniform mat4 mProjection;\n"
    "varying vec4 draw_color;\n"
    "void main() {\n"
    "  gl_Position = mProjection * vPosition;\n"
    "  draw_color = vTint;\n"
    "}\n";

const char kSolidBatchFragment[] =
    "precision mediump float;\n"
    "varying vec4 draw_color;\n"
    "void main() {\n"
    "  gl_FragColor = draw_color;\n"
    "}\n";

const char kTexturedBatchVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute vec2 vTexCoord;\n"
    "attribute vec4 vTint;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_Position = mProjection * vPosition;\n"
    "  uv = vTexCoord;\n"
    "  tint = vTint;\n"
    "}\n";

const char kTexturedBatchFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "varying vec2 uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv) * tint;\n"
    "}\n";

// An untinted picture (the colour white, the common case) is drawn by a
// program without the product: llvmpipe fills it about a sixth faster, and
// times 1.0 changes no value.
const char kPlainBatchVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute vec2 vTexCoord;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_Position = mProjection * vPosition;\n"
    "  uv = vTexCoord;\n"
    "}\n";

const char kPlainBatchFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv);\n"
    "}\n";

const char kMaskedBatchVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute vec2 vTexCoord;\n"
    "attribute vec2 vMaskCoord;\n"
    "attribute vec4 vTint;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "varying vec2 mask_uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_Position = mProjection * vPosition;\n"
    "  uv = vTexCoord;\n"
    "  mask_uv = vMaskCoord;\n"
    "  tint = vTint;\n"
    "}\n";

const char kMaskedBatchFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "uniform sampler2D mask;\n"
    "varying vec2 uv;\n"
    "varying vec2 mask_uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv) * texture2D(mask, mask_uv).r * tint;\n"
    "}\n";

uint32_t arraysFor(int kind) {
    uint32_t position = 1u << Batcher::kPosition;
    uint32_t tex = 1u << Batcher::kTexCoord;
    uint32_t mask = 1u << Batcher::kMaskCoord;
    switch (kind) {
        case kBatchSolid:
            return position;
        case kBatchTextured:
        case kBatchPlain:
            return position | tex;
        case kBatchMasked:
            return position | tex | mask;
        default:
            return 0;
    }
}

void setPointers(const BatchVertex* v, const MaskCoord* m) {
    const GLsizei stride = sizeof(BatchVertex);
    glVertexAttribPointer(Batcher::kPosition, 2, GL_FLOAT, GL_FALSE, stride, &v->x);
    glVertexAttribPointer(Batcher::kTexCoord, 2, GL_FLOAT, GL_FALSE, stride, &v->u);
    glVertexAttribPointer(Batcher::kMaskCoord, 2, GL_FLOAT, GL_FALSE, sizeof(MaskCoord), &m->u);
}

void bindBatchAttributes(uint32_t program) {
    glBindAttribLocation(program, Batcher::kPosition, "vPosition");
    glBindAttribLocation(program, Batcher::kTexCoord, "vTexCoord");
    glBindAttribLocation(program, Batcher::kMaskCoord, "vMaskCoord");
    glBindAttribLocation(program, Batcher::kColor, "vTint");
}

}  // namespace

// ---- the GL state a layer has set

void KnownGLState::useProgram(GLuint p) {
    if (program == p) return;
    glUseProgram(p);
    program = p;
}

void KnownGLState::setNoBlend() {
    if (blend == 0) return;
    glDisable(GL_BLEND);
    blend = 0;
}

void KnownGLState::setBlend() {
    if (blend != 1) {
        glEnable(GL_BLEND);
        blend = 1;
    }
    if (!blendFunc) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        blendFunc = true;
    }
}

void KnownGLState::setCull(bool on) {
    if (cull == (on ? 1 : 0)) return;
    if (on) {
        glEnable(GL_CULL_FACE);
    } else {
        glDisable(GL_CULL_FACE);
    }
    cull = on ? 1 : 0;
}

void KnownGLState::activeUnit(GLenum u) {
    if (unit == u) return;
    glActiveTexture(u);
    unit = u;
}

void KnownGLState::bindWithFilter(int index, GLuint name, bool linear) {
    activeUnit(GL_TEXTURE0 + GLenum(index));
    if (bound[index] != name) {
        glBindTexture(GL_TEXTURE_2D, name);
        bound[index] = name;
    }
    for (int i = 0; i < filterCount; ++i) {
        if (filters[i].name != name) continue;
        if (filters[i].linear != linear) {
            setPageFilter(linear);
            filters[i].linear = linear;
        }
        return;
    }
    setPageFilter(linear);
    if (filterCount < int(sizeof(filters) / sizeof(filters[0]))) {
        filters[filterCount++] = Filter{name, linear};
    }
}

void KnownGLState::enableArrays(uint32_t wanted) {
    for (uint32_t i = 0; i < 8; ++i) {
        uint32_t bit = 1u << i;
        if ((wanted & bit) && !(arrays & bit)) glEnableVertexAttribArray(i);
        if (!(wanted & bit) && (arrays & bit)) glDisableVertexAttribArray(i);
    }
    arrays = wanted;
}

// ---- the batcher

Batcher::~Batcher() {
    engineFree(vertices_);
    engineFree(maskCoords_);
    engineFree(indices_);
}

void Batcher::buildPrograms() {
    const char* sources[kBatchPrograms][2] = {{kSolidBatchVertex, kSolidBatchFragment},
                                              {kTexturedBatchVertex, kTexturedBatchFragment},
                                              {kMaskedBatchVertex, kMaskedBatchFragment},
                                              {kPlainBatchVertex, kPlainBatchFragment}};
    for (int k = 0; k < kBatchPrograms; ++k) {
        GLuint p = GraphicsOpenGL::linkProgram(sources[k][0], sources[k][1], &bindBatchAttributes);
        Program& b = programs_[k];
        b = Program{};
        b.program = GLint(p);
        if (!p) continue;
        b.projection = glGetUniformLocation(p, "mProjection");
        // The samplers' units never change: set once.
        glUseProgram(p);
        if (k != kBatchSolid) glUniform1i(glGetUniformLocation(p, "tex"), 0);
        if (k == kBatchMasked) glUniform1i(glGetUniformLocation(p, "mask"), 1);
    }
    glUseProgram(0);
}

void Batcher::deletePrograms() {
    for (const Program& b : programs_) {
        if (b.program) glDeleteProgram(GLuint(b.program));
    }
    forgetPrograms();
}

void Batcher::forgetPrograms() {
    for (Program& b : programs_) b = Program{};
}

bool Batcher::ready() {
    for (const Program& b : programs_) {
        if (!b.program) return false;
    }
    if (!vertices_) vertices_ = static_cast<BatchVertex*>(engineAlloc(uint64_t(kVertexCapacity) * sizeof(BatchVertex)));
    if (!maskCoords_) maskCoords_ = static_cast<MaskCoord*>(engineAlloc(uint64_t(kVertexCapacity) * sizeof(MaskCoord)));
    if (!indices_) indices_ = static_cast<uint16_t*>(engineAlloc(uint64_t(kIndexCapacity) * sizeof(uint16_t)));
    return vertices_ && maskCoords_ && indices_;
}

void Batcher::begin(const float* projection, uint64_t* drawCalls) {
    vertexCount_ = 0;
    indexCount_ = 0;
    key_ = BatchKey{};
    gl_ = KnownGLState{};
    projection_ = projection;
    drawCalls_ = drawCalls;
}

void Batcher::flush() {
    if (indexCount_ == 0) {
        vertexCount_ = 0;
        return;
    }
    const Program& bp = programs_[key_.kind];
    gl_.useProgram(GLuint(bp.program));
    // Fills blend as the state stands, which the one-draw path leaves on
    // after any picture: an opaque picture's "off" is not theirs to keep.
    if (key_.opaque) {
        gl_.setNoBlend();
    } else if (key_.kind != kBatchSolid || gl_.blend == 0) {
        gl_.setBlend();
    }
    gl_.setCull(false);
    if (key_.kind == kBatchMasked) gl_.bindWithFilter(1, key_.mask, key_.linear);
    if (key_.kind != kBatchSolid) gl_.bindWithFilter(0, key_.tex, key_.linear);
    if (key_.kind == kBatchMasked) gl_.activeUnit(GL_TEXTURE0);
    if (!gl_.projection[key_.kind]) {
        glUniformMatrix4fv(bp.projection, 1, GL_FALSE, projection_);
        gl_.projection[key_.kind] = true;
    }
    if (key_.kind != kBatchPlain &&
        (!gl_.colorSet || std::memcmp(gl_.color, key_.color, sizeof(key_.color)) != 0)) {
        glVertexAttrib4fv(kColor, key_.color);
        std::memcpy(gl_.color, key_.color, sizeof(key_.color));
        gl_.colorSet = true;
    }
    if (!gl_.pointers) {
        setPointers(vertices_, maskCoords_);
        gl_.pointers = true;
    }
    gl_.enableArrays(arraysFor(key_.kind));
    glDrawElements(GL_TRIANGLES, indexCount_, GL_UNSIGNED_SHORT, indices_);
    ++*drawCalls_;
    vertexCount_ = 0;
    indexCount_ = 0;
}

BatchVertex* Batcher::reserve(const BatchKey& k, int32_t n, int32_t nIndices) {
    const bool sameBatch = k == key_ && (k.opaque || !key_.opaque);
    if (!sameBatch || vertexCount_ + n > kVertexCapacity || indexCount_ + nIndices > kIndexCapacity) {
        flush();
        key_ = k;
    }
    return vertices_ + vertexCount_;
}

void Batcher::addQuad(const BatchKey& k, const float* positions, const TexCoords* t, const TexCoords* m,
                      const float* model) {
    BatchVertex* v = reserve(k, 4, 6);
    const float us[4] = {t ? t->uL : 0, t ? t->uR : 0, t ? t->uL : 0, t ? t->uR : 0};
    const float vs[4] = {t ? t->vT : 0, t ? t->vT : 0, t ? t->vB : 0, t ? t->vB : 0};
    for (int i = 0; i < 4; ++i) {
        placePoint(model, positions[2 * i], positions[2 * i + 1], &v[i]);
        v[i].u = us[i];
        v[i].v = vs[i];
    }
    if (m) {
        MaskCoord* mc = maskSpace();
        mc[0] = MaskCoord{m->uL, m->vT};
        mc[1] = MaskCoord{m->uR, m->vT};
        mc[2] = MaskCoord{m->uL, m->vB};
        mc[3] = MaskCoord{m->uR, m->vB};
    }
    uint16_t b = firstIndex();
    uint16_t* ix = indexSpace();
    ix[0] = b;
    ix[1] = uint16_t(b + 1);
    ix[2] = uint16_t(b + 2);
    ix[3] = uint16_t(b + 2);
    ix[4] = uint16_t(b + 1);
    ix[5] = uint16_t(b + 3);
    commit(4, 6);
}

void Batcher::addTriangle(const BatchKey& k, const float* positions, const float* model) {
    BatchVertex* v = reserve(k, 3, 3);
    uint16_t b = firstIndex();
    uint16_t* ix = indexSpace();
    for (int i = 0; i < 3; ++i) {
        placePoint(model, positions[2 * i], positions[2 * i + 1], &v[i]);
        v[i].u = 0.0f;
        v[i].v = 0.0f;
        ix[i] = uint16_t(b + i);
    }
    commit(3, 3);
}

void Batcher::end() {
    flush();
    gl_.enableArrays(0);
    // What follows (the next layer, the other path) finds blending as a
    // picture leaves it.
    if (gl_.blend == 0) glEnable(GL_BLEND);
}

// ---- the walk that feeds it

namespace {

// What findCover (GraphicsBatch.h) walks the layer with.
struct FindCover : CommandVisitor {
    FindCover(float w, float h) : vw(w), vh(h) {}
    bool more() const { return !clipped; }
    void at(int32_t position) { here = position; }
    void setClip(const RectPayload&) { clipped = true; }
    void setOrigin(const OriginPayload& p) {
        originX = p.x;
        originY = p.y;
    }
    void setAlpha(const AlphaPayload& p) { alpha = p.alpha; }
    void drawImage(const DrawImagePayload& p) {
        if (alpha != 1.0f) return;
        const Texture* t = p.image ? p.image->getTexture() : nullptr;
        const float left = originX + float(p.dx), top = originY + float(p.dy);
        if (t && t->opaque && left <= 0.0f && top <= 0.0f && left + float(p.dw) >= vw && top + float(p.dh) >= vh) {
            cover = here;
        }
    }

    float vw, vh;
    float originX = 0.0f, originY = 0.0f, alpha = 1.0f;
    int32_t here = 0;
    int32_t cover = -1;
    bool clipped = false;
};

// Hands on only what changes state: for the draws under a cover.
template <class V>
struct StateOnly : CommandVisitor {
    explicit StateOnly(V& v) : to(v) {}
    void setColor(const ColorPayload& p) { to.setColor(p); }
    void setOrigin(const OriginPayload& p) { to.setOrigin(p); }
    void setAlpha(const AlphaPayload& p) { to.setAlpha(p); }
    void setClip(const RectPayload& p) { to.setClip(p); }
    void setFilter(const FilterPayload& p) { to.setFilter(p); }
    V& to;
};

class BatchExecutor : public LayerState {
public:
    BatchExecutor(Batcher& batcher, const GraphicsOpenGL::SolidProgram& solid, uint64_t& calls)
        : batcher_(batcher), solid_(solid), calls_(calls) {}

    void setClip(const RectPayload& p) {
        batcher_.flush();
        if (clip(p)) batcher_.projectionChanged();
    }
    void drawMasked(const DrawMaskedPayload& p) {
        GLuint imageName = pageName(p.image.get());
        GLuint maskName = pageName(p.mask.get());
        if (!imageName || !maskName) return;
        float positions[8], model[16];
        rectCorners(positions, float(p.dw), float(p.dh));
        TexCoords t = regionCoords(p.image->getTexture(), p.sx, p.sy, p.sw, p.sh);
        TexCoords m = regionCoords(p.mask->getTexture(), p.sx, p.sy, p.sw, p.sh);
        placeAt(model, float(p.dx), float(p.dy));
        batcher_.addQuad(texturedKey(kBatchMasked, imageName, maskName), positions, &t, &m, model);
    }
    void drawImage(const DrawImagePayload& p) {
        GLuint name = pageName(p.image.get());
        if (!name) return;
        float positions[8], model[16];
        rectCorners(positions, float(p.dw), float(p.dh));
        const Texture* texture = p.image->getTexture();
        TexCoords t = wholeTexture(texture);
        placeAt(model, float(p.dx), float(p.dy));
        batcher_.addQuad(texturedKey(kBatchTextured, name, 0, texture), positions, &t, nullptr, model);
    }
    void drawSprite(const DrawSpritePayload& p) {
        Sprite2D* sprite = p.sprite.get();
        GLuint name = sprite ? pageName(sprite->image.get()) : 0;
        if (!name) return;
        float positions[8], model[16];
        placeSprite(model, positions, p);
        const Texture* texture = sprite->image->getTexture();
        TexCoords t = wholeTexture(texture);
        batcher_.addQuad(texturedKey(kBatchTextured, name, 0, texture), positions, &t, nullptr, model);
    }
    void fillRect(const RectPayload& p) {
        float positions[8], model[16];
        rectCorners(positions, float(p.w), float(p.h));
        placeAt(model, float(p.x), float(p.y));
        batcher_.addQuad(solidKey(), positions, nullptr, nullptr, model);
    }
    void fillTriangle(const TrianglePayload& p) {
        float model[16];
        placeAt(model, 0.0f, 0.0f);
        const float positions[6] = {p.x0, p.y0, p.x1, p.y1, p.x2, p.y2};
        batcher_.addTriangle(solidKey(), positions, model);
    }
    void drawShape(const ShapePayload& p) {
        if (!solid_.program) return;
        float model[16];
        placeAt(model, 0.0f, 0.0f);
        drawAlone(GL_LINE_LOOP, 2, p.v, 5, model);
    }
    void drawLine(const RectPayload& p) {
        if (!solid_.program) return;
        float model[16];
        placeAt(model, 0.0f, 0.0f);
        const float positions[4] = {float(p.x), float(p.y), float(p.w), float(p.h)};
        drawAlone(GL_LINE_STRIP, 2, positions, 2, model);
    }
    void drawRect(const RectPayload& p) {
        if (!solid_.program) return;
        batcher_.flush();
        batcher_.state().setCull(false);
        float model[16];
        placeAt(model, float(p.x), float(p.y));
        float w = float(p.w), h = float(p.h);
        const float positions[12] = {0, 0, 0, w, 0, 0, w, h, 0, 0, h, 0};
        drawAlone(GL_LINE_LOOP, 3, positions, 4, model);
    }
    void drawRotatedShape(const ShapePayload& p) {
        if (!solid_.program) return;
        float model[16];
        placeTurnedShape(model, p);
        drawAlone(GL_TRIANGLE_STRIP, 2, p.v, 5, model);
        batcher_.state().setCull(true);
    }

private:
    BatchKey texturedKey(int kind, GLuint tex, GLuint mask, const Texture* texture = nullptr) const {
        BatchKey k;
        const bool white = tint[0] == 1.0f && tint[1] == 1.0f && tint[2] == 1.0f && tint[3] == 1.0f;
        k.kind = kind == kBatchTextured && white ? kBatchPlain : kind;
        k.opaque = k.kind == kBatchPlain && texture && texture->opaque;
        k.tex = tex;
        k.mask = mask;
        k.linear = linear;
        std::memcpy(k.color, tint, sizeof(tint));
        return k;
    }
    BatchKey solidKey() const {
        BatchKey k;
        k.kind = kBatchSolid;
        std::memcpy(k.color, shape, sizeof(shape));
        return k;
    }
    // Lines and outlines go out one by one with the solid program, as on
    // the other path; its arrays use locations of their own.
    void drawAlone(GLenum mode, GLint size, const float* positions, GLsizei count, const float* model) {
        batcher_.flush();
        KnownGLState& gl = batcher_.state();
        if (gl.blend == 0) gl.setBlend();
        gl.useProgram(GLuint(solid_.program));
        glUniform4fv(solid_.vDrawColor, 1, shape);
        glUniformMatrix4fv(solid_.mProjection, 1, GL_FALSE, projection);
        glUniformMatrix4fv(solid_.mCoodinate, 1, GL_FALSE, model);
        gl.enableArrays(0);
        gl.pointers = false;
        GLuint loc = GLuint(solid_.vPosition);
        glEnableVertexAttribArray(loc);
        glVertexAttribPointer(loc, size, GL_FLOAT, GL_FALSE, 0, positions);
        glDrawArrays(mode, 0, count);
        glDisableVertexAttribArray(loc);
        ++calls_;
    }

    Batcher& batcher_;
    const GraphicsOpenGL::SolidProgram& solid_;
    uint64_t& calls_;
};

}  // namespace

int32_t findCover(const CommandBuffer& layer, int32_t from, float vw, float vh) {
    FindCover find(vw, vh);
    walkCommands(layer, from, find);
    return find.cover;
}

int GraphicsOpenGL::executeBatched(CommandCursor* cursor) {
    CommandBuffer* buffer = cursor->buffer;
    if (!canDraw() || !app_) {
        cursor->position = buffer->used;
        return 0;
    }
    setViewport(0, 0, app_->getScreenWidth(), app_->getScreenHeight());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    BatchExecutor batch(*batcher_, solid_, drawCalls_);
    batch.begin(float(app_->getVirtualWidth()), float(app_->getVirtualHeight()), rotation());
    batcher_->begin(batch.projection, &drawCalls_);

    // Draws under a picture that covers everything are skipped; the state
    // they leave is still followed. (Not under a turned screen: the cover
    // test is in unturned coordinates.)
    int32_t cover = -1;
    if (rotation() == 0.0f) {
        cover = findCover(*buffer, cursor->position, batch.vw, batch.vh);
    }
    StateOnly<BatchExecutor> under(batch);
    int32_t pos = walkCommands(*buffer, cursor->position, cover, under);
    cursor->position = walkCommands(*buffer, pos, batch);
    batcher_->end();
    return 0;
}

}  // namespace iOS
}  // namespace KelpaEngine
