// Helpers shared by the two ways of running a layer (one draw per command,
// and batched): matrices, texture coordinates and page names.
#pragma once

#include <GLES2/gl2.h>

#include <cmath>
#include <cstring>

#include "engine/Image.h"
#include "engine/Texture.h"

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

}  // namespace gl
}  // namespace iOS
}  // namespace KelpaEngine
