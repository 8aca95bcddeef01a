// The executor: runs one layer's recorded commands with OpenGL ES 2.0.
#include <GLES2/gl2.h>

#include <cmath>
#include <cstring>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/GraphicsGLCommon.h"
#include "engine/ios/GraphicsImp.h"
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

// Per-layer execution state.
struct Context {
    float shape[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float tint[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float originX = 0.0f;
    float originY = 0.0f;
    bool linear = true;
    GLuint bound = 0;
    float projection[16];
};

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

GraphicsOpenGL::GraphicsOpenGL(Application* app) : GraphicsShadow(app) {}

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
    solid_ = SolidProgram{};
    textured_ = TexturedProgram{};
    masked_ = MaskedProgram{};
    for (BatchProgram& b : batchPrograms_) b = BatchProgram{};
}

GraphicsOpenGL::~GraphicsOpenGL() {
    notifyGone();
    engineFree(batchVertices_);
    engineFree(batchIndices_);
}

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
        for (const BatchProgram& b : batchPrograms_) {
            if (b.program) glDeleteProgram(GLuint(b.program));
        }
    }
    solid_ = SolidProgram{};
    textured_ = TexturedProgram{};
    masked_ = MaskedProgram{};
    for (BatchProgram& b : batchPrograms_) b = BatchProgram{};
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

using BindAttributes = void (*)(GLuint program);

GLuint link(const char* vertexSource, const char* fragmentSource, BindAttributes bind) {
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

void bindBatchAttributes(GLuint program) {
    glBindAttribLocation(program, GraphicsOpenGL::kBatchPosition, "vPosition");
    glBindAttribLocation(program, GraphicsOpenGL::kBatchTexCoord, "vTexCoord");
    glBindAttribLocation(program, GraphicsOpenGL::kBatchMaskCoord, "vMaskCoord");
    glBindAttribLocation(program, GraphicsOpenGL::kBatchModel, "mCoodinate");
    glBindAttribLocation(program, GraphicsOpenGL::kBatchColor, "vTint");
}

}  // namespace

uint32_t GraphicsOpenGL::linkProgram(const char* vertexSource, const char* fragmentSource) {
    return link(vertexSource, fragmentSource, nullptr);
}

uint32_t GraphicsOpenGL::linkBatchProgram(const char* vertexSource, const char* fragmentSource) {
    return link(vertexSource, fragmentSource, &bindBatchAttributes);
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
    solid_ = SolidProgram{};
    textured_ = TexturedProgram{};
    masked_ = MaskedProgram{};
    for (BatchProgram& b : batchPrograms_) b = BatchProgram{};
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
    buildBatchPrograms();
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
    if (batching_ && batchReady()) return executeBatched(cursor);
    return executeEach(cursor);
}

int GraphicsOpenGL::executeEach(CommandCursor* cursor) {
    CommandBuffer* buffer = cursor->buffer;
    // Without a context, or paused without a framebuffer, there is nothing
    // to draw into; the commands still count as run.
    if (!canDraw() || !app_) {
        cursor->position = buffer->used;
        return 0;
    }

    Context ctx;
    setViewport(0, 0, app_->getScreenWidth(), app_->getScreenHeight());
    GLint drawViewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, drawViewport);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    const float vw = float(app_->getVirtualWidth());
    const float vh = float(app_->getVirtualHeight());
    float rotate[16];
    turn(rotate, double(rotation()) * kPi);
    if (vw > 0 && vh > 0) {
        projection(ctx.projection, 0.0f, 0.0f, vw, vh, rotate);
    } else {
        identity(ctx.projection);
    }

    auto useSolid = [&](const float* model) {
        glUseProgram(GLuint(solid_.program));
        glUniform4fv(solid_.vDrawColor, 1, ctx.shape);
        glUniformMatrix4fv(solid_.mProjection, 1, GL_FALSE, ctx.projection);
        glUniformMatrix4fv(solid_.mCoodinate, 1, GL_FALSE, model);
    };
    auto bindForDraw = [&](GLuint name) {
        glActiveTexture(GL_TEXTURE0);
        if (name != ctx.bound) {
            glBindTexture(GL_TEXTURE_2D, name);
            ctx.bound = name;
        }
        setPageFilter(ctx.linear);
    };
    auto texturedDraw = [&](GLuint name, const float* positions, const TexCoords& t, const float* model) {
        glUseProgram(GLuint(textured_.program));
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_CULL_FACE);
        bindForDraw(name);
        glUniform4fv(textured_.vColor, 1, ctx.tint);
        const float uv[8] = {t.uL, t.vT, t.uR, t.vT, t.uL, t.vB, t.uR, t.vB};
        glUniformMatrix4fv(textured_.mProjection, 1, GL_FALSE, ctx.projection);
        glUniformMatrix4fv(textured_.mCoodinate, 1, GL_FALSE, model);
        drawArrays(drawCalls_, GL_TRIANGLE_STRIP, textured_.vPosition, 2, positions, textured_.vTexCoord, uv, 4);
    };

    int32_t pos = cursor->position;
    while (pos >= 0 && pos < buffer->used) {
        uint8_t* command = buffer->storage + pos;
        uint32_t op = commandOpcode(command);
        switch (op) {
            case OpSetColor: {
                auto* p = commandPayload<ColorPayload>(command);
                ctx.shape[0] = p->r;
                ctx.shape[1] = p->g;
                ctx.shape[2] = p->b;
                ctx.shape[3] = p->a;
                break;
            }
            case OpSetOrigin: {
                auto* p = commandPayload<OriginPayload>(command);
                ctx.originX = p->x;
                ctx.originY = p->y;
                break;
            }
            case OpSetAlpha:
                ctx.tint[3] = commandPayload<AlphaPayload>(command)->alpha;
                break;
            case OpSetClip: {
                auto* p = commandPayload<RectPayload>(command);
                GLint clip[4];
                bool open = clipViewport(drawViewport, vw, vh, p->x, p->y, p->w, p->h, clip);
                glViewport(clip[0], clip[1], clip[2], clip[3]);
                if (!open) break;
                projection(ctx.projection, float(p->x), float(p->y), float(p->w), float(p->h), rotate);
                break;
            }
            case OpDrawMasked: {
                auto* p = commandPayload<DrawMaskedPayload>(command);
                GLuint imageName = pageName(p->image.get());
                GLuint maskName = pageName(p->mask.get());
                if (!imageName || !maskName || !masked_.program) break;
                glUseProgram(GLuint(masked_.program));
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
                glDisable(GL_CULL_FACE);
                glActiveTexture(GL_TEXTURE0);
                glBindTexture(GL_TEXTURE_2D, imageName);
                glUniform1i(masked_.tex, 0);
                setPageFilter(ctx.linear);
                glActiveTexture(GL_TEXTURE1);
                glBindTexture(GL_TEXTURE_2D, maskName);
                setPageFilter(ctx.linear);
                glUniform1i(masked_.mask, 1);
                glActiveTexture(GL_TEXTURE0);
                ctx.bound = imageName;
                glUniform4fv(masked_.vColor, 1, ctx.tint);
                float w = float(p->dw), h = float(p->dh);
                const float positions[8] = {0, 0, w, 0, 0, h, w, h};
                TexCoords t = regionCoords(p->image->getTexture(), p->sx, p->sy, p->sw, p->sh);
                const float uv[8] = {t.uL, t.vT, t.uR, t.vT, t.uL, t.vB, t.uR, t.vB};
                // The same part of the mask as of the image, in the mask's own region.
                TexCoords m = regionCoords(p->mask->getTexture(), p->sx, p->sy, p->sw, p->sh);
                const float maskUv[8] = {m.uL, m.vT, m.uR, m.vT, m.uL, m.vB, m.uR, m.vB};
                float model[16];
                translation(model, ctx.originX + float(p->dx), ctx.originY + float(p->dy));
                glUniformMatrix4fv(masked_.mProjection, 1, GL_FALSE, ctx.projection);
                glUniformMatrix4fv(masked_.mCoodinate, 1, GL_FALSE, model);
                glEnableVertexAttribArray(GLuint(masked_.vMaskCoord));
                glVertexAttribPointer(GLuint(masked_.vMaskCoord), 2, GL_FLOAT, GL_FALSE, 0, maskUv);
                drawArrays(drawCalls_, GL_TRIANGLE_STRIP, masked_.vPosition, 2, positions, masked_.vTexCoord, uv, 4);
                glDisableVertexAttribArray(GLuint(masked_.vMaskCoord));
                break;
            }
            case OpDrawImage: {
                auto* p = commandPayload<DrawImagePayload>(command);
                GLuint name = pageName(p->image.get());
                if (!name || !textured_.program) break;
                Texture* tex = p->image->getTexture();
                float w = float(p->dw), h = float(p->dh);
                const float positions[8] = {0, 0, w, 0, 0, h, w, h};
                float model[16];
                translation(model, ctx.originX + float(p->dx), ctx.originY + float(p->dy));
                texturedDraw(name, positions, wholeTexture(tex), model);
                break;
            }
            case OpDrawSprite: {
                auto* p = commandPayload<DrawSpritePayload>(command);
                Sprite2D* sprite = p->sprite.get();
                GLuint name = sprite ? pageName(sprite->image.get()) : 0;
                if (!name || !textured_.program) break;
                Texture* tex = sprite->image->getTexture();
                float w = float(p->w), h = float(p->h);
                float px = float(p->pivotX), py = float(p->pivotY);
                const float positions[8] = {-px, -py, w - px, -py, -px, h - py, w - px, h - py};
                float model[16], m[16];
                translation(model, ctx.originX + float(p->x) + px, ctx.originY + float(p->y) + py);
                turn(m, double(p->rotation));
                multiplyMatrix4(model, m, model);
                scaling(m, p->scaleX, p->scaleY);
                multiplyMatrix4(model, m, model);
                texturedDraw(name, positions, wholeTexture(tex), model);
                break;
            }
            case OpDrawShape: {
                if (!solid_.program) break;
                auto* p = commandPayload<ShapePayload>(command);
                float model[16];
                translation(model, ctx.originX, ctx.originY);
                useSolid(model);
                const float positions[10] = {p->v[0], p->v[1], p->v[2], p->v[3], p->v[4],
                                             p->v[5], p->v[6], p->v[7], p->v[8], p->v[9]};
                drawArrays(drawCalls_, GL_LINE_LOOP, solid_.vPosition, 2, positions, 0, nullptr, 5);
                break;
            }
            case OpDrawLine: {
                if (!solid_.program) break;
                auto* p = commandPayload<RectPayload>(command);
                float model[16];
                translation(model, ctx.originX, ctx.originY);
                useSolid(model);
                const float positions[4] = {float(p->x), float(p->y), float(p->w), float(p->h)};
                drawArrays(drawCalls_, GL_LINE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 2);
                break;
            }
            case OpDrawRect: {
                if (!solid_.program) break;
                auto* p = commandPayload<RectPayload>(command);
                glDisable(GL_CULL_FACE);
                float model[16];
                translation(model, ctx.originX + float(p->x), ctx.originY + float(p->y));
                useSolid(model);
                float w = float(p->w), h = float(p->h);
                const float positions[12] = {0, 0, 0, w, 0, 0, w, h, 0, 0, h, 0};
                drawArrays(drawCalls_, GL_LINE_LOOP, solid_.vPosition, 3, positions, 0, nullptr, 4);
                break;
            }
            case OpDrawRotatedShape: {
                if (!solid_.program) break;
                auto* p = commandPayload<ShapePayload>(command);
                // Turned by the angle about its first point.
                float model[16], m[16];
                translation(model, ctx.originX + p->v[0], ctx.originY + p->v[1]);
                turn(m, double(p->v[10]) * kPi / 180.0);
                multiplyMatrix4(model, m, model);
                translation(m, -p->v[0], -p->v[1]);
                multiplyMatrix4(model, m, model);
                useSolid(model);
                const float positions[10] = {p->v[0], p->v[1], p->v[2], p->v[3], p->v[4],
                                             p->v[5], p->v[6], p->v[7], p->v[8], p->v[9]};
                drawArrays(drawCalls_, GL_TRIANGLE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 5);
                glEnable(GL_CULL_FACE);
                break;
            }
            case OpFillRect: {
                if (!solid_.program) break;
                auto* p = commandPayload<RectPayload>(command);
                glDisable(GL_CULL_FACE);
                float model[16];
                translation(model, ctx.originX + float(p->x), ctx.originY + float(p->y));
                useSolid(model);
                float w = float(p->w), h = float(p->h);
                const float positions[8] = {0, 0, w, 0, 0, h, w, h};
                drawArrays(drawCalls_, GL_TRIANGLE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 4);
                break;
            }
            case OpFillTriangle: {
                if (!solid_.program) break;
                auto* p = commandPayload<TrianglePayload>(command);
                // A triangle shows whichever way its points turn.
                glDisable(GL_CULL_FACE);
                float model[16];
                translation(model, ctx.originX, ctx.originY);
                useSolid(model);
                const float positions[6] = {p->x0, p->y0, p->x1, p->y1, p->x2, p->y2};
                drawArrays(drawCalls_, GL_TRIANGLE_STRIP, solid_.vPosition, 2, positions, 0, nullptr, 3);
                break;
            }
            case OpSetFilter:
                ctx.linear = commandPayload<FilterPayload>(command)->linear != 0;
                break;
            default:
                break;
        }
        pos += commandStep(op);
    }
    cursor->position = pos;
    return 0;
}

}  // namespace iOS
}  // namespace KelpaEngine
