// The OpenGL ES 2.0 executor of the recorded layers: three shader programs
// for one draw per command, and a batcher (GraphicsBatch.h) that draws runs
// of commands together. GraphicsImp (GraphicsImp.h) owns the set-up.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/CallbackList.h"
#include "engine/GraphicsShadow.h"

namespace KelpaEngine {
namespace iOS {

class Batcher;

class GraphicsOpenGL : public GraphicsShadow {
public:
    // Kinds of context notification lists. kContextDestroyed runs when this
    // object's context ends: replaced by its next set-up, dropped by another
    // graphics object's set-up, or gone with the object (a pause keeps it).
    static constexpr int kContextCreated = 0;
    static constexpr int kContextDestroyed = 1;
    // Called once when the graphics object goes away, after kContextDestroyed:
    // whoever keeps a plain pointer to it (texture pages) forgets it here.
    static constexpr int kGraphicsGone = 2;

    struct SolidProgram {
        int32_t program, vPosition, vDrawColor, mProjection, mCoodinate;
    };
    struct TexturedProgram {
        int32_t program, vPosition, vTexCoord, vColor, mProjection, mCoodinate;
    };
    struct MaskedProgram {
        int32_t program, vPosition, vTexCoord, vMaskCoord, vColor, mProjection, mCoodinate, tex, mask;
    };

    explicit GraphicsOpenGL(Application* app);
    ~GraphicsOpenGL() override;

    int readPixels(void* buffer, int x, int y, int w, int h) override;
    int execute(CommandCursor* cursor) override;

    // setupGL, then builds the programs. Returns 1 when the context is
    // current, the framebuffer complete and all programs linked, else 0.
    virtual int createResources();
    virtual int setViewport(int x, int y, int w, int h) = 0;
    // Returns 0 on success, else the host's failure code.
    virtual int setupGL() = 0;

    // Adds (fn, arg) to list `kind`; 1 on success, 0 when it cannot.
    int addContextCallback(int kind, CallbackList::Function fn, void* arg);
    int removeContextCallback(int kind, CallbackList::Function fn, void* arg);
    CallbackList* contextCallbacks(int kind);

    const SolidProgram& solidProgram() const { return solid_; }
    const TexturedProgram& texturedProgram() const { return textured_; }
    const MaskedProgram& maskedProgram() const { return masked_; }

    // On (the default), consecutive commands that share a program, textures,
    // blending and filter are drawn with one draw call and only the GL state
    // that changes is set; off, every command is a draw call of its own. The
    // pixels are the same either way.
    void setBatching(bool on) { batching_ = on; }
    bool batching() const { return batching_; }
    // Draw calls made so far (benches and tests take differences).
    uint64_t drawCallCount() const { return drawCalls_; }
    // True while the context made by this object's set-up is current, paused
    // or not: texture pages can be made in it. Finding that another graphics
    // object has taken the view over tells this object's pages, once, that
    // their texture names are dead.
    bool hasContext();
    // True when, besides, the framebuffer is there to draw into (not paused).
    bool canDraw() { return hasContext() && !framebufferReleased_; }

    // Compiles one stage / links a program; 0 on failure.
    static uint32_t compileShader(uint32_t stage, const char* source);
    static uint32_t linkProgram(const char* vertexSource, const char* fragmentSource);
    // As linkProgram, calling bind(program) before the link (to bind
    // attribute locations).
    static uint32_t linkProgram(const char* vertexSource, const char* fragmentSource, void (*bind)(uint32_t));
    // out = b x a, column-major 4 x 4; out may be a.
    static void multiplyMatrix4(float* out, const float* a, const float* b);

protected:
    // Invokes the destroyed and gone lists; derived destructors call it
    // first, while the object is still whole.
    void notifyGone();
    void deletePrograms();
    // The context is gone without our doing: its names and programs with it.
    void loseContext();
    // Zeroes the program names, which belong to a context no longer there.
    void forgetPrograms();
    int executeEach(CommandCursor* cursor);
    int executeBatched(CommandCursor* cursor);
    // The tag this object's GL view carries.
    const void* hostOwner() const { return static_cast<const GraphicsOpenGL*>(this); }
    // Pixels per point of the framebuffer.
    virtual int32_t pixelsPerPoint() const { return 1; }

    SolidProgram solid_{};
    TexturedProgram textured_{};
    MaskedProgram masked_{};
    std::unique_ptr<Batcher> batcher_;
    bool batching_ = true;
    uint64_t drawCalls_ = 0;
    CallbackList created_;
    CallbackList destroyed_;
    CallbackList gone_;
    bool contextReady_ = false;
    // Set by a pause, which gives up the framebuffer and keeps the context.
    bool framebufferReleased_ = false;
    bool goneNotified_ = false;
};

}  // namespace iOS
}  // namespace KelpaEngine
