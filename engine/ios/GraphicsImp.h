// The OpenGL ES 2.0 side of the graphics object: GraphicsOpenGL executes the
// recorded layers with three shader programs; GraphicsImp owns the set-up
// (context and framebuffer through the host GL functions), the letterbox,
// the viewport, clearing and presenting.
#pragma once

#include <cstdint>

#include "engine/CallbackList.h"
#include "engine/GraphicsShadow.h"

namespace KelpaEngine {
namespace iOS {

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

    // The programs of batched drawing: the same stages with the model
    // matrix a vertex attribute, so that draws at different places share a
    // draw call, and the colour a constant vertex attribute (see
    // GraphicsBatch.cpp).
    struct BatchProgram {
        int32_t program, mProjection;
    };
    // Attribute locations of the batched programs (the matrix takes four).
    static constexpr uint32_t kBatchPosition = 0;
    static constexpr uint32_t kBatchTexCoord = 1;
    static constexpr uint32_t kBatchMaskCoord = 2;
    static constexpr uint32_t kBatchModel = 3;
    static constexpr uint32_t kBatchColor = 7;
    // Solid, textured, masked, and textured without a tint.
    static constexpr int kBatchPrograms = 4;

    explicit GraphicsOpenGL(Application* app);
    ~GraphicsOpenGL() override;

    int readPixels(void* buffer, int x, int y, int w, int h) override;
    int execute(CommandCursor* cursor) override;

    // setupGL, then builds the three programs. Returns 1 when the context is
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
    const BatchProgram& batchProgram(int kind) const { return batchPrograms_[kind]; }

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
    // As linkProgram, with the batched programs' attribute locations bound
    // before the link.
    static uint32_t linkBatchProgram(const char* vertexSource, const char* fragmentSource);
    // out = b x a, column-major 4 x 4; out may be a.
    static void multiplyMatrix4(float* out, const float* a, const float* b);

protected:
    // Invokes the destroyed and gone lists; derived destructors call it
    // first, while the object is still whole.
    void notifyGone();
    void deletePrograms();
    // The context is gone without our doing: its names and programs with it.
    void loseContext();
    void buildBatchPrograms();
    // True when the batched programs and their vertex storage are there.
    bool batchReady();
    int executeEach(CommandCursor* cursor);
    int executeBatched(CommandCursor* cursor);
    // The tag this object's GL view carries.
    const void* hostOwner() const { return static_cast<const GraphicsOpenGL*>(this); }
    // Pixels per point of the framebuffer.
    virtual int32_t pixelsPerPoint() const { return 1; }

    SolidProgram solid_{};
    TexturedProgram textured_{};
    MaskedProgram masked_{};
    // Solid, textured, masked.
    BatchProgram batchPrograms_[kBatchPrograms]{};
    // Vertices and indices of the batch being gathered, allocated once.
    void* batchVertices_ = nullptr;
    uint16_t* batchIndices_ = nullptr;
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

class GraphicsImp : public GraphicsOpenGL {
public:
    explicit GraphicsImp(Application* app);
    ~GraphicsImp() override;

    int clear() override;
    int swapBuffers() override;
    int setViewport(int x, int y, int w, int h) override;
    int setupGL() override;

    // Resume: a new context and resources, then the context-created list.
    // Returns 1 when the new context is usable, else 0.
    int restoreContext();
    // Pause: the host drops the framebuffer and the renderbuffer. The context
    // stays current, so pictures made while paused get their pages (rebuilt
    // with all the others by the next restoreContext); nothing is drawn.
    int releaseContext();

    uint32_t screenScale() const { return screenScale_; }
    uint8_t isPad() const { return isPad_; }
    uint8_t isSmallScreen() const { return smallScreen_; }

    // The first setViewport of the process fixes two values; tests reset them.
    static void resetViewportMemoForTesting();

protected:
    int32_t pixelsPerPoint() const override { return int32_t(screenScale_); }

private:
    uint32_t screenScale_ = 1;
    uint8_t isPad_ = 0;
    uint8_t smallScreen_ = 0;
};

}  // namespace iOS
}  // namespace KelpaEngine
