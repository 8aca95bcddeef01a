// The executor: runs one layer's recorded commands with OpenGL ES 2.0.
#include <GLES2/gl2.h>

#include <cmath>
#include <cstring>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/GraphicsBatch.h"
#include "engine/ios/GraphicsGLCommon.h"
#include "engine/ios/GraphicsOpenGL.h"
#include "platform/egl/HostGL.h"

namespace KelpaEngine {
namespace iOS {

using namespace gl;

void gl::projection(float* m, float x, float y, float w, float h, const float* rotate) {
    identity(m);
    m[0] = 2.0f / w;
    m[5] = -2.0f / h;
    m[12] = -2.0f * x / w - 1.0f;
    m[13] = 2.0f * y / h + 1.0f;
    GraphicsOpenGL::multiplyMatrix4(m, m, rotate);
}

bool gl::clipViewport(const GLint* drawViewport, float vw, float vh, int32_t x, int32_t y, int32_t w, int32_t h,
                      GLint* out) {
    if (w <= 0 || h <= 0 || vw <= 0 || vh <= 0) {
        out[0] = drawViewport[0];
        out[1] = drawViewport[1];
        out[2] = 0;
        out[3] = 0;
        return false;
    }
    // The clip's rectangle where the drawing maps it, so what is inside
    // lands exactly where it would unclipped.
    double sx = double(drawViewport[2]) / vw;
    double sy = double(drawViewport[3]) / vh;
    int32_t left = int32_t(std::lround(drawViewport[0] + x * sx));
    int32_t right = int32_t(std::lround(drawViewport[0] + (double(x) + w) * sx));
    int32_t top = int32_t(std::lround(double(y) * sy));
    int32_t bottom = int32_t(std::lround((double(y) + h) * sy));
    out[0] = left;
    out[1] = drawViewport[1] + drawViewport[3] - bottom;
    out[2] = right - left;
    out[3] = bottom - top;
    return true;
}

namespace {

const char kSolidVertex[] =
    "attribute vec4 vPosition;\n"
    "uniform vec4 vDrawColor;\n"
    "uniform mat4 mCoodinate;\n"
    "uniform mat4 mProjection;\n"
    "varying vec4 draw_color;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
    "  draw_color = vDrawColor;\n"
    "}\n";

const char kSolidFragment[] =
    "precision mediump float;\n"
    "varying vec4 draw_color;\n"
    "void main() {\n"
    "  gl_FragColor = draw_color;\n"
    "}\n";

const char kTexturedVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute vec2 vTexCoord;\n"
    "uniform mat4 mCoodinate;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
    "  uv = vTexCoord;\n"
    "}\n";

const char kTexturedFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "uniform vec4 vColor;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv) * vColor;\n"
    "}\n";

// The mask has coordinates of its own: it sits wherever its page put it.
const char kMaskedVertex[] =
    "attribute vec4 vPosition;\n"
    "attribute vec2 vTexCoord;\n"
    "attribute vec2 vMaskCoord;\n"
    "uniform mat4 mCoodinate;\n"
    "uniform mat4 mProjection;\n"
    "varying vec2 uv;\n"
    "varying vec2 mask_uv;\n"
    "void main() {\n"
    "  gl_Position = mProjection * mCoodinate * vPosition;\n"
    "  uv = vTexCoord;\n"
    "  mask_uv = vMaskCoord;\n"
    "}\n";

const char kMaskedFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "uniform sampler2D mask;\n"
    "uniform vec4 vColor;\n"
    "varying vec2 uv;\n"
    "varying vec2 mask_uv;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv) * texture2D(mask, mask_uv).r * vColor;\n"
    "}\n";

void drawArrays(uint64_t& calls, GLenum mode, GLint positionLoc, GLint size, const float* positions, GLint texLoc,
                const float* texCoords, GLsizei count) {
    glEnableVertexAttribArray(GLuint(positionLoc));
    glVertexAttribPointer(GLuint(positionLoc), size, GL_FLOAT, GL_FALSE, 0, positions);
    if (texCoords) {
        glEnableVertexAttribArray(GLuint(texLoc));
        glVertexAttribPointer(GLuint(texLoc), 2, GL_FLOAT, GL_FALSE, 0, texCoords);
    }
    glDrawArrays(mode, 0, count);
    ++calls;
    // The arrays point into this frame's stack: never leave them enabled.
    glDisableVertexAttribArray(GLuint(positionLoc));
    if (texCoords) glDisableVertexAttribArray(GLuint(texLoc));
}

}  // namespace

GraphicsOpenGL::GraphicsOpenGL(Application* app) : GraphicsShadow(app), batcher_(std::make_unique<Batcher>()) {}

bool GraphicsOpenGL::hasContext() {
    if (!contextReady_) return false;
    if (KelpaPlatform::hostGLIsCurrentFor(hostOwner())) return true;
    loseContext();
    return false;
}

void GraphicsOpenGL::loseContext() {
    // Another graphics object's set-up took the view and dropped our
    // context: the names our pages hold are now numbers of the new one, and
    // deleting or binding them would hit its textures.
    contextReady_ = false;
    framebufferReleased_ = false;
    destroyed_.invoke(this);
    forgetPrograms();
}

void GraphicsOpenGL::forgetPrograms() {
    solid_ = SolidProgram{};
    textured_ = TexturedProgram{};
    masked_ = MaskedProgram{};
    batcher_->forgetPrograms();
}

GraphicsOpenGL::~GraphicsOpenGL() { notifyGone(); }

void GraphicsOpenGL::notifyGone() {
    if (goneNotified_) return;
    goneNotified_ = true;
    destroyed_.invoke(this);
    gone_.invoke(this);
}

void GraphicsOpenGL::deletePrograms() {
    // Names of a context that is no longer ours must not touch the current one.
    if (hasContext()) {
        if (solid_.program) glDeleteProgram(GLuint(solid_.program));
        if (textured_.program) glDeleteProgram(GLuint(textured_.program));
        if (masked_.program) glDeleteProgram(GLuint(masked_.program));
        batcher_->deletePrograms();
    }
    forgetPrograms();
}

CallbackList* GraphicsOpenGL::contextCallbacks(int kind) {
    switch (kind) {
        case kContextCreated:
            return &created_;
        case kContextDestroyed:
            return &destroyed_;
        case kGraphicsGone:
            return &gone_;
        default:
            return nullptr;
    }
}

int GraphicsOpenGL::addContextCallback(int kind, CallbackList::Function fn, void* arg) {
    CallbackList* list = contextCallbacks(kind);
    if (!list) return 0;
    return list->add(fn, arg) >= 0 ? 1 : 0;
}

int GraphicsOpenGL::removeContextCallback(int kind, CallbackList::Function fn, void* arg) {
    CallbackList* list = contextCallbacks(kind);
    if (!list) return 0;
    return list->remove(fn, arg) >= 0 ? 1 : 0;
}

uint32_t GraphicsOpenGL::compileShader(uint32_t stage, const char* source) {
    if (!source) return 0;
    GLuint shader = glCreateShader(GLenum(stage));
    if (!shader) return 0;
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

namespace {

GLuint link(const char* vertexSource, const char* fragmentSource, void (*bind)(uint32_t)) {
    GLuint vs = GraphicsOpenGL::compileShader(GL_VERTEX_SHADER, vertexSource);
    GLuint fs = GraphicsOpenGL::compileShader(GL_FRAGMENT_SHADER, fragmentSource);
    GLuint program = glCreateProgram();
    if (!program) {
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return 0;
    }
    if (vs) glAttachShader(program, vs);
    if (fs) glAttachShader(program, fs);
    GLint ok = GL_FALSE;
    if (vs && fs) {
        if (bind) bind(program);
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
    }
    if (!ok) {
        glDeleteProgram(program);
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return 0;
    }
    // Attached shaders go when their program does.
    glDeleteShader(vs);
    glDeleteShader(fs);
    return program;
}

}  // namespace

uint32_t GraphicsOpenGL::linkProgram(const char* vertexSource, const char* fragmentSource) {
    return link(vertexSource, fragmentSource, nullptr);
}

uint32_t GraphicsOpenGL::linkProgram(const char* vertexSource, const char* fragmentSource, void (*bind)(uint32_t)) {
    return link(vertexSource, fragmentSource, bind);
}

void GraphicsOpenGL::multiplyMatrix4(float* out, const float* a, const float* b) {
    float r[16];
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) s += b[k * 4 + row] * a[col * 4 + k];
            r[col * 4 + row] = s;
        }
    }
    std::memcpy(out, r, sizeof(r));
}

int GraphicsOpenGL::createResources() {
    // Set-up replaces a context still ours: its texture names die with it,
    // and a page keeping one would bind or delete whatever the new context
    // hands out under that number.
    if (contextReady_ || KelpaPlatform::hostGLIsCurrentFor(hostOwner())) destroyed_.invoke(this);
    // The old programs go with the old context, which set-up replaces.
    forgetPrograms();
    int setup = setupGL();
    if (!hasContext()) return 0;

    GLuint p = linkProgram(kSolidVertex, kSolidFragment);
    solid_.program = int32_t(p);
    if (p) {
        solid_.vPosition = glGetAttribLocation(p, "vPosition");
        solid_.vDrawColor = glGetUniformLocation(p, "vDrawColor");
        solid_.mProjection = glGetUniformLocation(p, "mProjection");
        solid_.mCoodinate = glGetUniformLocation(p, "mCoodinate");
    }
    p = linkProgram(kTexturedVertex, kTexturedFragment);
    textured_.program = int32_t(p);
    if (p) {
        textured_.vPosition = glGetAttribLocation(p, "vPosition");
        textured_.vTexCoord = glGetAttribLocation(p, "vTexCoord");
        textured_.vColor = glGetUniformLocation(p, "vColor");
        textured_.mProjection = glGetUniformLocation(p, "mProjection");
        textured_.mCoodinate = glGetUniformLocation(p, "mCoodinate");
    }
    p = linkProgram(kMaskedVertex, kMaskedFragment);
    masked_.program = int32_t(p);
    if (p) {
        masked_.vPosition = glGetAttribLocation(p, "vPosition");
        masked_.vTexCoord = glGetAttribLocation(p, "vTexCoord");
        masked_.vMaskCoord = glGetAttribLocation(p, "vMaskCoord");
        masked_.vColor = glGetUniformLocation(p, "vColor");
        masked_.mProjection = glGetUniformLocation(p, "mProjection");
        masked_.mCoodinate = glGetUniformLocation(p, "mCoodinate");
        masked_.tex = glGetUniformLocation(p, "tex");
        masked_.mask = glGetUniformLocation(p, "mask");
    }
    batcher_->buildPrograms();
    bool programsOk = solid_.program && textured_.program && masked_.program;
    return (setup == 0 && programsOk) ? 1 : 0;
}

int GraphicsOpenGL::readPixels(void* buffer, int x, int y, int w, int h) {
    if (!buffer || w <= 0 || h <= 0 || w > (1 << 15) || h > (1 << 15)) return 0;
    size_t rowBytes = size_t(w) * 4;
    if (!canDraw()) {
        std::memset(buffer, 0, rowBytes * size_t(h));
        return 0;
    }
    // The letterbox offset is kept in points; GL reads in pixels.
    int32_t scale = pixelsPerPoint();
    int32_t offX = app_ ? app_->getViewportOffsetX() * scale : 0;
    int32_t offY = app_ ? app_->getViewportOffsetY() * scale : 0;
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(offX + x, offY + y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
    auto* rows = static_cast<uint8_t*>(buffer);
    auto* tmp = static_cast<uint8_t*>(engineAlloc(rowBytes));
    if (!tmp) return 0;
    for (int i = 0; i < h / 2; ++i) {
        uint8_t* a = rows + size_t(i) * rowBytes;
        uint8_t* b = rows + size_t(h - 1 - i) * rowBytes;
        std::memcpy(tmp, a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, tmp, rowBytes);
    }
    engineFree(tmp);
    return 0;
}

int GraphicsOpenGL::execute(CommandCursor* cursor) {
    if (!cursor || !cursor->buffer) return 0;
    if (batching_ && batcher_->ready()) return executeBatched(cursor);
    return executeEach(cursor);
}

namespace {

// One draw call per command, with the programs' uniforms set for each.
class EachExecutor : public LayerState {
public:
    EachExecutor(const GraphicsOpenGL& g, uint64_t& calls)
        : solid_(g.solidProgram()), textured_(g.texturedProgram()), masked_(g.maskedProgram()), calls_(calls) {}

    void setClip(const RectPayload& p) { clip(p); }
    void drawMasked(const DrawMaskedPayload& p);
    void drawImage(const DrawImagePayload& p) {
        GLuint name = pageName(p.image.get());
        if (!name || !textured_.program) return;
        float positions[8], model[16];
        rectCorners(positions, float(p.dw), float(p.dh));
        placeAt(model, float(p.dx), float(p.dy));
        texturedDraw(name, positions, wholeTexture(p.image->getTexture()), model);
    }
    void drawSprite(const DrawSpritePayload& p) {
        Sprite2D* sprite = p.sprite.get();
        GLuint name = sprite ? pageName(sprite->image.get()) : 0;
        if (!name || !textured_.program) return;
        float positions[8], model[16];
        placeSprite(model, positions, p);
        texturedDraw(name, positions, wholeTexture(sprite->image->getTexture()), model);
    }
    void drawShape(const ShapePayload& p) {
        if (!solid_.program) return;
        float model[16];
        placeAt(model, 0.0f, 0.0f);
        useSolid(model);
        drawArrays(calls_, GL_LINE_LOOP, solid_.vPosition, 2, p.v, 0, nullptr, 5);
    }
    void drawLine(const RectPayload& p) {
        if (!solid_.program) return;
        float model[16];
        placeAt(model, 0.0f, 0.0f);
        useSolid(model);
        const float positions[4] = {float(p.x), float(p.y), float(p.w), float(p.h)};
        drawArrays(calls_, GL_LINE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 2);
    }
    void drawRect(const RectPayload& p) {
        if (!solid_.program) return;
        glDisable(GL_CULL_FACE);
        float model[16];
        placeAt(model, float(p.x), float(p.y));
        useSolid(model);
        float w = float(p.w), h = float(p.h);
        const float positions[12] = {0, 0, 0, w, 0, 0, w, h, 0, 0, h, 0};
        drawArrays(calls_, GL_LINE_LOOP, solid_.vPosition, 3, positions, 0, nullptr, 4);
    }
    void drawRotatedShape(const ShapePayload& p) {
        if (!solid_.program) return;
        float model[16];
        placeTurnedShape(model, p);
        useSolid(model);
        drawArrays(calls_, GL_TRIANGLE_STRIP, solid_.vPosition, 2, p.v, 0, nullptr, 5);
        glEnable(GL_CULL_FACE);
    }
    void fillRect(const RectPayload& p) {
        if (!solid_.program) return;
        glDisable(GL_CULL_FACE);
        float positions[8], model[16];
        rectCorners(positions, float(p.w), float(p.h));
        placeAt(model, float(p.x), float(p.y));
        useSolid(model);
        drawArrays(calls_, GL_TRIANGLE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 4);
    }
    void fillTriangle(const TrianglePayload& p) {
        if (!solid_.program) return;
        // A triangle shows whichever way its points turn.
        glDisable(GL_CULL_FACE);
        float model[16];
        placeAt(model, 0.0f, 0.0f);
        useSolid(model);
        const float positions[6] = {p.x0, p.y0, p.x1, p.y1, p.x2, p.y2};
        drawArrays(calls_, GL_TRIANGLE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 3);
    }

private:
    void useSolid(const float* model) {
        glUseProgram(GLuint(solid_.program));
        glUniform4fv(solid_.vDrawColor, 1, shape);
        glUniformMatrix4fv(solid_.mProjection, 1, GL_FALSE, projection);
        glUniformMatrix4fv(solid_.mCoodinate, 1, GL_FALSE, model);
    }
    void bindForDraw(GLuint name) {
        glActiveTexture(GL_TEXTURE0);
        if (name != bound_) {
            glBindTexture(GL_TEXTURE_2D, name);
            bound_ = name;
        }
        setPageFilter(linear);
    }
    void texturedDraw(GLuint name, const float* positions, const TexCoords& t, const float* model) {
        glUseProgram(GLuint(textured_.program));
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_CULL_FACE);
        bindForDraw(name);
        glUniform4fv(textured_.vColor, 1, tint);
        const float uv[8] = {t.uL, t.vT, t.uR, t.vT, t.uL, t.vB, t.uR, t.vB};
        glUniformMatrix4fv(textured_.mProjection, 1, GL_FALSE, projection);
        glUniformMatrix4fv(textured_.mCoodinate, 1, GL_FALSE, model);
        drawArrays(calls_, GL_TRIANGLE_STRIP, textured_.vPosition, 2, positions, textured_.vTexCoord, uv, 4);
    }

    const GraphicsOpenGL::SolidProgram& solid_;
    const GraphicsOpenGL::TexturedProgram& textured_;
    const GraphicsOpenGL::MaskedProgram& masked_;
    uint64_t& calls_;
    GLuint bound_ = 0;
};

void EachExecutor::drawMasked(const DrawMaskedPayload& p) {
    GLuint imageName = pageName(p.image.get());
    GLuint maskName = pageName(p.mask.get());
    if (!imageName || !maskName || !masked_.program) return;
    glUseProgram(GLuint(masked_.program));
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_CULL_FACE);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, imageName);
    glUniform1i(masked_.tex, 0);
    setPageFilter(linear);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, maskName);
    setPageFilter(linear);
    glUniform1i(masked_.mask, 1);
    glActiveTexture(GL_TEXTURE0);
    bound_ = imageName;
    glUniform4fv(masked_.vColor, 1, tint);
    float positions[8], model[16];
    rectCorners(positions, float(p.dw), float(p.dh));
    TexCoords t = regionCoords(p.image->getTexture(), p.sx, p.sy, p.sw, p.sh);
    const float uv[8] = {t.uL, t.vT, t.uR, t.vT, t.uL, t.vB, t.uR, t.vB};
    // The same part of the mask as of the image, in the mask's own region.
    TexCoords m = regionCoords(p.mask->getTexture(), p.sx, p.sy, p.sw, p.sh);
    const float maskUv[8] = {m.uL, m.vT, m.uR, m.vT, m.uL, m.vB, m.uR, m.vB};
    placeAt(model, float(p.dx), float(p.dy));
    glUniformMatrix4fv(masked_.mProjection, 1, GL_FALSE, projection);
    glUniformMatrix4fv(masked_.mCoodinate, 1, GL_FALSE, model);
    glEnableVertexAttribArray(GLuint(masked_.vMaskCoord));
    glVertexAttribPointer(GLuint(masked_.vMaskCoord), 2, GL_FLOAT, GL_FALSE, 0, maskUv);
    drawArrays(calls_, GL_TRIANGLE_STRIP, masked_.vPosition, 2, positions, masked_.vTexCoord, uv, 4);
    glDisableVertexAttribArray(GLuint(masked_.vMaskCoord));
}

}  // namespace

int GraphicsOpenGL::executeEach(CommandCursor* cursor) {
    CommandBuffer* buffer = cursor->buffer;
    // Without a context, or paused without a framebuffer, there is nothing
    // to draw into; the commands still count as run.
    if (!canDraw() || !app_) {
        cursor->position = buffer->used;
        return 0;
    }
    setViewport(0, 0, app_->getScreenWidth(), app_->getScreenHeight());
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EachExecutor each(*this, drawCalls_);
    each.begin(float(app_->getVirtualWidth()), float(app_->getVirtualHeight()), rotation());
    cursor->position = walkCommands(*buffer, cursor->position, each);
    return 0;
}

}  // namespace iOS
}  // namespace KelpaEngine
