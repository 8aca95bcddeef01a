// Batched execution of a layer: consecutive draws that share a program,
// textures, blending, filter and colour go out as one indexed triangle list,
// and GL state is set only when it changes. Every quad keeps the vertices,
// texture coordinates and model matrix the one-draw-per-command path gives
// it, and the shaders compute the same expression, so the pixels match.
#include <GLES2/gl2.h>

#include <cstring>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/GraphicsGLCommon.h"
#include "engine/ios/GraphicsImp.h"

namespace KelpaEngine {
namespace iOS {

using namespace gl;

namespace {

// The stages of the one-draw-per-command programs with `mCoodinate` an
// attribute instead of a uniform, and the colour a vertex attribute held
// constant for each draw (glVertexAttrib4fv). The product is the same, but
// llvmpipe rasterises a picture times an interpolated colour about a fifth
// faster than a picture times a uniform.
const char kSolidBatchVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute mat4 mCoodinate;\n"
    "attribute vec4 vTint;\n"
    "uniform mat4 mProjection;\n"
    "varying vec4 draw_color;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
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
    "attribute mat4 mCoodinate;\n"
    "attribute vec4 vTint;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
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
    "attribute mat4 mCoodinate;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
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
    "attribute mat4 mCoodinate;\n"
    "attribute vec4 vTint;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "varying vec2 mask_uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
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

enum Kind : int { kSolid = 0, kTextured = 1, kMasked = 2, kPlain = 3, kNone = 4 };

struct BatchVertex {
    float x, y;
    float u, v;
    float mu, mv;
    float model[16];
};

constexpr int32_t kVertexCapacity = 4096;  // indices stay within 16 bits
constexpr int32_t kIndexCapacity = kVertexCapacity / 4 * 6;
constexpr GLuint kUnknownName = 0xFFFFFFFFu;

// What the draws of one batch share.
struct Key {
    int kind = kNone;
    GLuint tex = 0;
    GLuint mask = 0;
    bool linear = true;
    float color[4] = {0, 0, 0, 0};
    // Opaque pictures, untinted: drawn without blending, which comes to the
    // same bytes (alpha 1 keeps nothing of what is under them) and spares
    // llvmpipe reading the framebuffer. Not part of the batch's identity:
    // an opaque picture joins a blending batch, the reverse cannot be.
    bool opaque = false;

    bool operator==(const Key& o) const {
        return kind == o.kind && tex == o.tex && mask == o.mask && linear == o.linear &&
               std::memcmp(color, o.color, sizeof(color)) == 0;
    }
};

// The GL state as this execute has set it; unknown at its start, since
// texture uploads and the other path change state between layers.
struct KnownState {
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
    bool projection[GraphicsOpenGL::kBatchPrograms] = {};
    // The constant colour attribute is context state, shared by the programs.
    bool colorSet = false;
    float color[4];

    void useProgram(GLuint p) {
        if (program == p) return;
        glUseProgram(p);
        program = p;
    }
    void setNoBlend() {
        if (blend == 0) return;
        glDisable(GL_BLEND);
        blend = 0;
    }
    void setBlend() {
        if (blend != 1) {
            glEnable(GL_BLEND);
            blend = 1;
        }
        if (!blendFunc) {
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            blendFunc = true;
        }
    }
    void setCull(bool on) {
        if (cull == (on ? 1 : 0)) return;
        if (on) {
            glEnable(GL_CULL_FACE);
        } else {
            glDisable(GL_CULL_FACE);
        }
        cull = on ? 1 : 0;
    }
    void activeUnit(GLenum u) {
        if (unit == u) return;
        glActiveTexture(u);
        unit = u;
    }
    // Binds the page on a unit and gives it the filter, each only when not
    // already so.
    void bindWithFilter(int index, GLuint name, bool linear) {
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
    void enableArrays(uint32_t wanted) {
        for (uint32_t i = 0; i < 8; ++i) {
            uint32_t bit = 1u << i;
            if ((wanted & bit) && !(arrays & bit)) glEnableVertexAttribArray(i);
            if (!(wanted & bit) && (arrays & bit)) glDisableVertexAttribArray(i);
        }
        arrays = wanted;
    }
};

uint32_t arraysFor(int kind) {
    uint32_t model = 0xFu << GraphicsOpenGL::kBatchModel;
    uint32_t position = 1u << GraphicsOpenGL::kBatchPosition;
    uint32_t tex = 1u << GraphicsOpenGL::kBatchTexCoord;
    uint32_t mask = 1u << GraphicsOpenGL::kBatchMaskCoord;
    switch (kind) {
        case kSolid:
            return position | model;
        case kTextured:
        case kPlain:
            return position | tex | model;
        case kMasked:
            return position | tex | mask | model;
        default:
            return 0;
    }
}

void setPointers(const BatchVertex* v) {
    const GLsizei stride = sizeof(BatchVertex);
    glVertexAttribPointer(GraphicsOpenGL::kBatchPosition, 2, GL_FLOAT, GL_FALSE, stride, &v->x);
    glVertexAttribPointer(GraphicsOpenGL::kBatchTexCoord, 2, GL_FLOAT, GL_FALSE, stride, &v->u);
    glVertexAttribPointer(GraphicsOpenGL::kBatchMaskCoord, 2, GL_FLOAT, GL_FALSE, stride, &v->mu);
    for (GLuint c = 0; c < 4; ++c) {
        glVertexAttribPointer(GraphicsOpenGL::kBatchModel + c, 4, GL_FLOAT, GL_FALSE, stride, &v->model[c * 4]);
    }
}

// The position of the layer's last picture that hides the whole drawing
// area: an opaque texture, untinted, unclipped, covering the virtual
// screen. Nothing drawn before it in the layer can show; -1 when there is
// none.
int32_t lastCover(const CommandBuffer* buffer, int32_t from, float vw, float vh) {
    int32_t cover = -1;
    float originX = 0.0f, originY = 0.0f, alpha = 1.0f;
    for (int32_t pos = from; pos >= 0 && pos < buffer->used;) {
        uint8_t* command = buffer->storage + pos;
        const uint32_t op = commandOpcode(command);
        if (op == OpSetClip) return cover;  // what follows is drawn through the clip
        if (op == OpSetOrigin) {
            originX = commandPayload<OriginPayload>(command)->x;
            originY = commandPayload<OriginPayload>(command)->y;
        } else if (op == OpSetAlpha) {
            alpha = commandPayload<AlphaPayload>(command)->alpha;
        } else if (op == OpDrawImage && alpha == 1.0f) {
            auto* p = commandPayload<DrawImagePayload>(command);
            const Texture* t = p->image ? p->image->getTexture() : nullptr;
            const float left = originX + float(p->dx), top = originY + float(p->dy);
            if (t && t->opaque && left <= 0.0f && top <= 0.0f && left + float(p->dw) >= vw &&
                top + float(p->dh) >= vh) {
                cover = pos;
            }
        }
        pos += commandStep(op);
    }
    return cover;
}

}  // namespace

void GraphicsOpenGL::buildBatchPrograms() {
    const char* sources[kBatchPrograms][2] = {{kSolidBatchVertex, kSolidBatchFragment},
                                              {kTexturedBatchVertex, kTexturedBatchFragment},
                                              {kMaskedBatchVertex, kMaskedBatchFragment},
                                              {kPlainBatchVertex, kPlainBatchFragment}};
    for (int k = 0; k < kBatchPrograms; ++k) {
        GLuint p = linkBatchProgram(sources[k][0], sources[k][1]);
        BatchProgram& b = batchPrograms_[k];
        b = BatchProgram{};
        b.program = int32_t(p);
        if (!p) continue;
        b.mProjection = glGetUniformLocation(p, "mProjection");
        // The samplers' units never change: set once.
        glUseProgram(p);
        if (k != kSolid) glUniform1i(glGetUniformLocation(p, "tex"), 0);
        if (k == kMasked) glUniform1i(glGetUniformLocation(p, "mask"), 1);
    }
    glUseProgram(0);
}

bool GraphicsOpenGL::batchReady() {
    for (const BatchProgram& b : batchPrograms_) {
        if (!b.program) return false;
    }
    if (!batchVertices_) batchVertices_ = engineAlloc(uint64_t(kVertexCapacity) * sizeof(BatchVertex));
    if (!batchIndices_) {
        batchIndices_ = static_cast<uint16_t*>(engineAlloc(uint64_t(kIndexCapacity) * sizeof(uint16_t)));
    }
    return batchVertices_ && batchIndices_;
}

int GraphicsOpenGL::executeBatched(CommandCursor* cursor) {
    CommandBuffer* buffer = cursor->buffer;
    if (!canDraw() || !app_) {
        cursor->position = buffer->used;
        return 0;
    }

    float shape[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float tint[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float originX = 0.0f, originY = 0.0f;
    bool linear = true;
    float proj[16];

    setViewport(0, 0, app_->getScreenWidth(), app_->getScreenHeight());
    GLint drawViewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, drawViewport);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);

    const float vw = float(app_->getVirtualWidth());
    const float vh = float(app_->getVirtualHeight());
    float rotate[16];
    turn(rotate, double(rotation()) * kPi);
    if (vw > 0 && vh > 0) {
        projection(proj, 0.0f, 0.0f, vw, vh, rotate);
    } else {
        identity(proj);
    }

    auto* vertices = static_cast<BatchVertex*>(batchVertices_);
    uint16_t* indices = batchIndices_;
    int32_t vertexCount = 0;
    int32_t indexCount = 0;
    Key key;
    KnownState gl;

    auto flush = [&]() {
        if (indexCount == 0) {
            vertexCount = 0;
            return;
        }
        const BatchProgram& bp = batchPrograms_[key.kind];
        gl.useProgram(GLuint(bp.program));
        // Fills blend as the state stands, which the one-draw path leaves on
        // after any picture: an opaque picture's "off" is not theirs to keep.
        if (key.opaque) {
            gl.setNoBlend();
        } else if (key.kind != kSolid || gl.blend == 0) {
            gl.setBlend();
        }
        gl.setCull(false);
        if (key.kind == kMasked) gl.bindWithFilter(1, key.mask, key.linear);
        if (key.kind != kSolid) gl.bindWithFilter(0, key.tex, key.linear);
        if (key.kind == kMasked) gl.activeUnit(GL_TEXTURE0);
        if (!gl.projection[key.kind]) {
            glUniformMatrix4fv(bp.mProjection, 1, GL_FALSE, proj);
            gl.projection[key.kind] = true;
        }
        if (key.kind != kPlain && (!gl.colorSet || std::memcmp(gl.color, key.color, sizeof(key.color)) != 0)) {
            glVertexAttrib4fv(GraphicsOpenGL::kBatchColor, key.color);
            std::memcpy(gl.color, key.color, sizeof(key.color));
            gl.colorSet = true;
        }
        if (!gl.pointers) {
            setPointers(vertices);
            gl.pointers = true;
        }
        gl.enableArrays(arraysFor(key.kind));
        glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_SHORT, indices);
        ++drawCalls_;
        vertexCount = 0;
        indexCount = 0;
    };

    // Room for n more vertices in a batch of this key, flushing first when
    // the key differs or the batch is full; returns the first new vertex.
    auto reserve = [&](const Key& k, int32_t n, int32_t nIndices) -> BatchVertex* {
        const bool sameBatch = k == key && (k.opaque || !key.opaque);
        if (!sameBatch || vertexCount + n > kVertexCapacity || indexCount + nIndices > kIndexCapacity) {
            flush();
            key = k;
        }
        BatchVertex* v = vertices + vertexCount;
        return v;
    };
    // A 4-vertex strip (0, 1, 2, 3) as the two triangles GL makes of it.
    auto addQuad = [&](const Key& k, const float* positions, const TexCoords* t, const TexCoords* m,
                       const float* model) {
        BatchVertex* v = reserve(k, 4, 6);
        const float us[4] = {t ? t->uL : 0, t ? t->uR : 0, t ? t->uL : 0, t ? t->uR : 0};
        const float vs[4] = {t ? t->vT : 0, t ? t->vT : 0, t ? t->vB : 0, t ? t->vB : 0};
        const float mus[4] = {m ? m->uL : 0, m ? m->uR : 0, m ? m->uL : 0, m ? m->uR : 0};
        const float mvs[4] = {m ? m->vT : 0, m ? m->vT : 0, m ? m->vB : 0, m ? m->vB : 0};
        for (int i = 0; i < 4; ++i) {
            v[i].x = positions[2 * i];
            v[i].y = positions[2 * i + 1];
            v[i].u = us[i];
            v[i].v = vs[i];
            v[i].mu = mus[i];
            v[i].mv = mvs[i];
            std::memcpy(v[i].model, model, sizeof(v[i].model));
        }
        uint16_t b = uint16_t(vertexCount);
        uint16_t* ix = indices + indexCount;
        ix[0] = b;
        ix[1] = uint16_t(b + 1);
        ix[2] = uint16_t(b + 2);
        ix[3] = uint16_t(b + 2);
        ix[4] = uint16_t(b + 1);
        ix[5] = uint16_t(b + 3);
        vertexCount += 4;
        indexCount += 6;
    };
    auto texturedKey = [&](int kind, GLuint tex, GLuint mask, const Texture* texture = nullptr) {
        Key k;
        const bool white = tint[0] == 1.0f && tint[1] == 1.0f && tint[2] == 1.0f && tint[3] == 1.0f;
        k.kind = kind == kTextured && white ? kPlain : kind;
        k.opaque = k.kind == kPlain && texture && texture->opaque;
        k.tex = tex;
        k.mask = mask;
        k.linear = linear;
        std::memcpy(k.color, tint, sizeof(tint));
        return k;
    };
    auto solidKey = [&]() {
        Key k;
        k.kind = kSolid;
        std::memcpy(k.color, shape, sizeof(shape));
        return k;
    };
    // Lines and outlines go out one by one with the solid program, as on
    // the other path; its arrays use locations of their own.
    auto solidAlone = [&](GLenum mode, GLint size, const float* positions, GLsizei count, const float* model) {
        flush();
        if (gl.blend == 0) gl.setBlend();
        gl.useProgram(GLuint(solid_.program));
        glUniform4fv(solid_.vDrawColor, 1, shape);
        glUniformMatrix4fv(solid_.mProjection, 1, GL_FALSE, proj);
        glUniformMatrix4fv(solid_.mCoodinate, 1, GL_FALSE, model);
        gl.enableArrays(0);
        gl.pointers = false;
        GLuint loc = GLuint(solid_.vPosition);
        glEnableVertexAttribArray(loc);
        glVertexAttribPointer(loc, size, GL_FLOAT, GL_FALSE, 0, positions);
        glDrawArrays(mode, 0, count);
        glDisableVertexAttribArray(loc);
        ++drawCalls_;
    };

    // Draws under a picture that covers everything are skipped; the state
    // they leave is still followed. (Not under a turned screen: the cover
    // test is in unturned coordinates.)
    const int32_t cover = rotation() == 0.0f ? lastCover(buffer, cursor->position, vw, vh) : -1;
    auto isDraw = [](uint32_t op) {
        return op == OpDrawMasked || op == OpDrawImage || op == OpDrawShape || op == OpDrawLine ||
               op == OpDrawRect || op == OpDrawSprite || op == OpDrawRotatedShape || op == OpFillRect ||
               op == OpFillTriangle;
    };

    int32_t pos = cursor->position;
    while (pos >= 0 && pos < buffer->used) {
        uint8_t* command = buffer->storage + pos;
        uint32_t op = commandOpcode(command);
        if (pos < cover && isDraw(op)) {
            pos += commandStep(op);
            continue;
        }
        switch (op) {
            case OpSetColor: {
                auto* p = commandPayload<ColorPayload>(command);
                shape[0] = p->r;
                shape[1] = p->g;
                shape[2] = p->b;
                shape[3] = p->a;
                break;
            }
            case OpSetOrigin: {
                auto* p = commandPayload<OriginPayload>(command);
                originX = p->x;
                originY = p->y;
                break;
            }
            case OpSetAlpha:
                tint[3] = commandPayload<AlphaPayload>(command)->alpha;
                break;
            case OpSetFilter:
                linear = commandPayload<FilterPayload>(command)->linear != 0;
                break;
            case OpSetClip: {
                flush();
                auto* p = commandPayload<RectPayload>(command);
                GLint clip[4];
                bool open = clipViewport(drawViewport, vw, vh, p->x, p->y, p->w, p->h, clip);
                glViewport(clip[0], clip[1], clip[2], clip[3]);
                if (!open) break;
                projection(proj, float(p->x), float(p->y), float(p->w), float(p->h), rotate);
                for (bool& set : gl.projection) set = false;
                break;
            }
            case OpDrawMasked: {
                auto* p = commandPayload<DrawMaskedPayload>(command);
                GLuint imageName = pageName(p->image.get());
                GLuint maskName = pageName(p->mask.get());
                if (!imageName || !maskName) break;
                float w = float(p->dw), h = float(p->dh);
                const float positions[8] = {0, 0, w, 0, 0, h, w, h};
                TexCoords t = regionCoords(p->image->getTexture(), p->sx, p->sy, p->sw, p->sh);
                TexCoords m = regionCoords(p->mask->getTexture(), p->sx, p->sy, p->sw, p->sh);
                float model[16];
                translation(model, originX + float(p->dx), originY + float(p->dy));
                addQuad(texturedKey(kMasked, imageName, maskName), positions, &t, &m, model);
                break;
            }
            case OpDrawImage: {
                auto* p = commandPayload<DrawImagePayload>(command);
                GLuint name = pageName(p->image.get());
                if (!name) break;
                float w = float(p->dw), h = float(p->dh);
                const float positions[8] = {0, 0, w, 0, 0, h, w, h};
                const Texture* texture = p->image->getTexture();
                TexCoords t = wholeTexture(texture);
                float model[16];
                translation(model, originX + float(p->dx), originY + float(p->dy));
                addQuad(texturedKey(kTextured, name, 0, texture), positions, &t, nullptr, model);
                break;
            }
            case OpDrawSprite: {
                auto* p = commandPayload<DrawSpritePayload>(command);
                Sprite2D* sprite = p->sprite.get();
                GLuint name = sprite ? pageName(sprite->image.get()) : 0;
                if (!name) break;
                float w = float(p->w), h = float(p->h);
                float px = float(p->pivotX), py = float(p->pivotY);
                const float positions[8] = {-px, -py, w - px, -py, -px, h - py, w - px, h - py};
                float model[16], m[16];
                translation(model, originX + float(p->x) + px, originY + float(p->y) + py);
                turn(m, double(p->rotation));
                multiplyMatrix4(model, m, model);
                scaling(m, p->scaleX, p->scaleY);
                multiplyMatrix4(model, m, model);
                const Texture* texture = sprite->image->getTexture();
                TexCoords t = wholeTexture(texture);
                addQuad(texturedKey(kTextured, name, 0, texture), positions, &t, nullptr, model);
                break;
            }
            case OpFillRect: {
                auto* p = commandPayload<RectPayload>(command);
                float w = float(p->w), h = float(p->h);
                const float positions[8] = {0, 0, w, 0, 0, h, w, h};
                float model[16];
                translation(model, originX + float(p->x), originY + float(p->y));
                addQuad(solidKey(), positions, nullptr, nullptr, model);
                break;
            }
            case OpFillTriangle: {
                auto* p = commandPayload<TrianglePayload>(command);
                float model[16];
                translation(model, originX, originY);
                BatchVertex* v = reserve(solidKey(), 3, 3);
                const float positions[6] = {p->x0, p->y0, p->x1, p->y1, p->x2, p->y2};
                for (int i = 0; i < 3; ++i) {
                    std::memset(&v[i], 0, sizeof(BatchVertex));
                    v[i].x = positions[2 * i];
                    v[i].y = positions[2 * i + 1];
                    std::memcpy(v[i].model, model, sizeof(model));
                    indices[indexCount + i] = uint16_t(vertexCount + i);
                }
                vertexCount += 3;
                indexCount += 3;
                break;
            }
            case OpDrawShape: {
                if (!solid_.program) break;
                auto* p = commandPayload<ShapePayload>(command);
                float model[16];
                translation(model, originX, originY);
                solidAlone(GL_LINE_LOOP, 2, p->v, 5, model);
                break;
            }
            case OpDrawLine: {
                if (!solid_.program) break;
                auto* p = commandPayload<RectPayload>(command);
                float model[16];
                translation(model, originX, originY);
                const float positions[4] = {float(p->x), float(p->y), float(p->w), float(p->h)};
                solidAlone(GL_LINE_STRIP, 2, positions, 2, model);
                break;
            }
            case OpDrawRect: {
                if (!solid_.program) break;
                auto* p = commandPayload<RectPayload>(command);
                flush();
                gl.setCull(false);
                float model[16];
                translation(model, originX + float(p->x), originY + float(p->y));
                float w = float(p->w), h = float(p->h);
                const float positions[12] = {0, 0, 0, w, 0, 0, w, h, 0, 0, h, 0};
                solidAlone(GL_LINE_LOOP, 3, positions, 4, model);
                break;
            }
            case OpDrawRotatedShape: {
                if (!solid_.program) break;
                auto* p = commandPayload<ShapePayload>(command);
                float model[16], m[16];
                translation(model, originX + p->v[0], originY + p->v[1]);
                turn(m, double(p->v[10]) * kPi / 180.0);
                multiplyMatrix4(model, m, model);
                translation(m, -p->v[0], -p->v[1]);
                multiplyMatrix4(model, m, model);
                solidAlone(GL_TRIANGLE_STRIP, 2, p->v, 5, model);
                gl.setCull(true);
                break;
            }
            default:
                break;
        }
        pos += commandStep(op);
    }
    flush();
    gl.enableArrays(0);
    // What follows (the next layer, the other path) finds blending as a
    // picture leaves it.
    if (gl.blend == 0) glEnable(GL_BLEND);
    cursor->position = pos;
    return 0;
}

}  // namespace iOS
}  // namespace KelpaEngine
