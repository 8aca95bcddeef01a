// Helpers shared by the two ways of running a layer (one draw per command,
// and batched): matrices, texture coordinates, page names, where each
// command puts its vertices, and the state a walk over a layer follows.
#pragma once

#include <GLES2/gl2.h>

#include <cmath>
#include <cstring>

#include "engine/CommandBuffer.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/GraphicsOpenGL.h"

namespace KelpaEngine {
namespace iOS {
namespace gl {

constexpr double kPi = 3.141592653;

inline void identity(float* m) {
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

inline void translation(float* m, float x, float y) {
    identity(m);
    m[12] = x;
    m[13] = y;
}

// A turn by a radians on x and y: [cos a, -sin a; sin a, cos a].
inline void turn(float* m, double a) {
    identity(m);
    float c = float(std::cos(a));
    float s = float(std::sin(a));
    m[0] = c;
    m[1] = s;
    m[4] = -s;
    m[5] = c;
}

inline void scaling(float* m, float x, float y) {
    identity(m);
    m[0] = x;
    m[5] = y;
}

// Where a texture's region sits in its page, half a texel inside each edge.
struct TexCoords {
    float uL, vT, uR, vB;
};

inline TexCoords regionCoords(const Texture* t, int32_t sx, int32_t sy, int32_t sw, int32_t sh) {
    TexCoords c{0, 0, 0, 0};
    const TextureHandle* page = t->getPage();
    if (!page || page->getWidth() <= 0 || page->getHeight() <= 0) return c;
    float pw = float(page->getWidth());
    float ph = float(page->getHeight());
    float rx = float(t->regionX());
    float ry = float(t->regionY());
    c.uL = (rx + float(sx) + 0.5f) / pw;
    c.vT = (ry + float(sy) + 0.5f) / ph;
    c.uR = (rx + float(sx) + float(sw) - 0.5f) / pw;
    c.vB = (ry + float(sy) + float(sh) - 0.5f) / ph;
    return c;
}

inline TexCoords wholeTexture(const Texture* t) { return regionCoords(t, 0, 0, t->getWidth(), t->getHeight()); }

// The page's GL texture name, or 0 when the image has none to draw.
inline GLuint pageName(const Image* image) {
    if (!image) return 0;
    Texture* t = image->getTexture();
    if (!t || !t->getPage()) return 0;
    uint32_t* name = t->getPage()->getGLName();
    if (!name || *name == TextureHandle::kNoGLName) return 0;
    return GLuint(*name);
}

inline void setPageFilter(bool linear) {
    GLint f = linear ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, f);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, f);
}

// The drawing projection of virtual (x, y, w, h) over the viewport, turned
// by the recorder's rotation.
void projection(float* m, float x, float y, float w, float h, const float* rotate);

// The GL viewport a clip narrows drawing to, inside the full drawing
// viewport; false (and a viewport of no size) for an empty clip.
bool clipViewport(const GLint* drawViewport, float vw, float vh, int32_t x, int32_t y, int32_t w, int32_t h,
                  GLint* out);

// What both executors follow from a layer's commands: the colour of
// shapes, the tint of pictures, the origin, the filter and the projection,
// which a clip maps into the clip's viewport. The executors derive from it
// and add the draws.
struct LayerState : CommandVisitor {
    float shape[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float tint[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float originX = 0.0f;
    float originY = 0.0f;
    bool linear = true;
    float projection[16];
    float rotate[16];
    GLint drawViewport[4] = {0, 0, 0, 0};
    float vw = 0.0f;
    float vh = 0.0f;

    // After the full drawing viewport is set: the virtual size and the
    // recorder's rotation (half turns) give the projection.
    void begin(float virtualWidth, float virtualHeight, float rotation) {
        vw = virtualWidth;
        vh = virtualHeight;
        glGetIntegerv(GL_VIEWPORT, drawViewport);
        turn(rotate, double(rotation) * kPi);
        if (vw > 0 && vh > 0) {
            gl::projection(projection, 0.0f, 0.0f, vw, vh, rotate);
        } else {
            identity(projection);
        }
    }
    void setColor(const ColorPayload& p) {
        shape[0] = p.r;
        shape[1] = p.g;
        shape[2] = p.b;
        shape[3] = p.a;
    }
    void setOrigin(const OriginPayload& p) {
        originX = p.x;
        originY = p.y;
    }
    void setAlpha(const AlphaPayload& p) { tint[3] = p.alpha; }
    void setFilter(const FilterPayload& p) { linear = p.linear != 0; }
    // Narrows the viewport to the clip and maps the projection into it;
    // false for an empty clip, which keeps the projection.
    bool clip(const RectPayload& p) {
        GLint c[4];
        bool open = clipViewport(drawViewport, vw, vh, p.x, p.y, p.w, p.h, c);
        glViewport(c[0], c[1], c[2], c[3]);
        if (open) gl::projection(projection, float(p.x), float(p.y), float(p.w), float(p.h), rotate);
        return open;
    }

    // Where the commands put their vertices: the model matrix of each.
    // A picture or a fill with its top left at (x, y) from the origin.
    void placeAt(float* model, float x, float y) const { translation(model, originX + x, originY + y); }
    // A sprite, turned and scaled about its pivot; its corners relative to
    // the pivot go to `corners`.
    void placeSprite(float* model, float* corners, const DrawSpritePayload& p) const {
        float w = float(p.w), h = float(p.h);
        float px = float(p.pivotX), py = float(p.pivotY);
        const float c[8] = {-px, -py, w - px, -py, -px, h - py, w - px, h - py};
        std::memcpy(corners, c, sizeof(c));
        float m[16];
        translation(model, originX + float(p.x) + px, originY + float(p.y) + py);
        turn(m, double(p.rotation));
        GraphicsOpenGL::multiplyMatrix4(model, m, model);
        scaling(m, p.scaleX, p.scaleY);
        GraphicsOpenGL::multiplyMatrix4(model, m, model);
    }
    // A shape turned by its angle (degrees) about its first point.
    void placeTurnedShape(float* model, const ShapePayload& p) const {
        float m[16];
        translation(model, originX + p.v[0], originY + p.v[1]);
        turn(m, double(p.v[10]) * kPi / 180.0);
        GraphicsOpenGL::multiplyMatrix4(model, m, model);
        translation(m, -p.v[0], -p.v[1]);
        GraphicsOpenGL::multiplyMatrix4(model, m, model);
    }
};

// The four corners of a w x h rectangle in strip order.
inline void rectCorners(float* positions, float w, float h) {
    const float c[8] = {0, 0, w, 0, 0, h, w, h};
    std::memcpy(positions, c, sizeof(c));
}

}  // namespace gl
}  // namespace iOS
}  // namespace KelpaEngine
