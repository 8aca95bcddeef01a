#include "engine/ios/GraphicsImp.h"

#include <GLES2/gl2.h>

#include "engine/Application.h"
#include "engine/ios/Factories.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/HostGL.h"

namespace KelpaEngine {
namespace iOS {

namespace {

// The first full-screen viewport of the process fixes the centring of the
// 9:16 drawing area on phones.
struct ViewportMemo {
    bool set = false;
    int32_t a = 0;
    int32_t b = 0;
};
ViewportMemo& viewportMemo() {
    static ViewportMemo memo;
    return memo;
}

}  // namespace

GraphicsImp::GraphicsImp(Application* app) : GraphicsOpenGL(app) {}

GraphicsImp::~GraphicsImp() {
    // Commands still recorded hold images whose pages talk to this object
    // and to its context: let them go while both are whole.
    resetCommands();
    notifyGone();
    deletePrograms();
    KelpaPlatform::hostGLDelete(hostOwner());
    contextReady_ = false;
}

int GraphicsImp::clear() {
    if (!canDraw()) return 0;
    const float* c = clearColor();
    glClearColor(c[0], c[1], c[2], c[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return 0;
}

int GraphicsImp::swapBuffers() {
    if (!canDraw()) return 0;
    KelpaPlatform::hostGLPresent();
    return 0;
}

int GraphicsImp::setViewport(int x, int y, int w, int h) {
    ViewportMemo& memo = viewportMemo();
    if (!memo.set) {
        memo.a = (h * 9) / 16;
        memo.b = (w - memo.a) / 2;
        memo.set = true;
    }
    if (!canDraw() || !app_) return 1;
    int32_t scale = int32_t(screenScale_);
    int32_t flippedY = app_->getScreenHeight() - (y + h);
    int32_t left = (isPad_ || smallScreen_) ? x : memo.b;
    glViewport(scale * left, scale * flippedY, scale * w, scale * h);
    return 1;
}

void GraphicsImp::resetViewportMemoForTesting() { viewportMemo() = ViewportMemo(); }

int GraphicsImp::setupGL() {
    KelpaPlatform::HostGLScreen screen{};
    int result = KelpaPlatform::hostGLSetup(hostOwner(), &screen);
    screenScale_ = screen.scale > 0 ? screen.scale : 1;
    isPad_ = screen.isPad;
    smallScreen_ = screen.smallScreen;
    contextReady_ = (result == KelpaPlatform::kHostGLOk);
    framebufferReleased_ = false;

    if (contextReady_ || KelpaPlatform::hostGLIsCurrentFor(hostOwner())) {
        glEnable(GL_CULL_FACE);
        glDisable(GL_DEPTH_TEST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    if (!app_) return result;

    // The screen description is the one source of the screen size.
    app_->setScreenSize(screen.widthPoints, screen.heightPoints);
    if (isPad_ || smallScreen_) app_->setVirtualSize(640, 960);
    KelpaPlatform::Letterbox box =
        KelpaPlatform::letterboxFor(app_->getScreenWidth(), app_->getScreenHeight(),
                                    app_->getVirtualWidth(), app_->getVirtualHeight());
    if (contextReady_) {
        int32_t scale = int32_t(screenScale_);
        glViewport(box.offsetX * scale, box.offsetY * scale, box.width * scale, box.height * scale);
    }
    app_->setViewportOffset(box.offsetX, box.offsetY);
    return result;
}

int GraphicsImp::restoreContext() {
    int ok = createResources();
    // Pages rebuild their GL textures only into a context that works.
    if (hasContext()) created_.invoke(this);
    return ok;
}

int GraphicsImp::releaseContext() {
    // A paused app gives up its drawable. Scenes still update while paused
    // (under the pause panel, after an ad tap) and may load pictures or
    // render texts then, which needs the context: it is kept, with the
    // pages' names and the programs, until the resume replaces it.
    if (!hasContext()) return 1;
    KelpaPlatform::hostGLReleaseFramebuffer(hostOwner());
    framebufferReleased_ = true;
    return 1;
}

// ---- factories

RefPtr<Graphics> createGraphicsImp(Application* app) {
    RefPtr<GraphicsImp> graphics = makeRef<GraphicsImp>(app);
    if (!graphics) return nullptr;
    // A failed set-up still gives an object: it draws nothing, and the next
    // resume tries the context again.
    graphics->createResources();
    return graphics;
}

void releaseGraphicsContext(Graphics* graphics) {
    if (auto* imp = dynamic_cast<GraphicsImp*>(graphics)) imp->releaseContext();
}

void restoreGraphicsContext(Graphics* graphics) {
    if (auto* imp = dynamic_cast<GraphicsImp*>(graphics)) imp->restoreContext();
}

}  // namespace iOS
}  // namespace KelpaEngine
