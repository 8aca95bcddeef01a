#include "platform/egl/HostGL.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/ScreenProfile.h"
#include "platform/StartupTimeline.h"

namespace KelpaPlatform {

namespace {

// The process's one GL view: what the phone's view, its layer and its
// renderbuffer were, here a context without surface and a framebuffer.
struct GLView {
    EGLContext context = EGL_NO_CONTEXT;
    GLuint frameBuffer = 0;
    GLuint colorBuffer = 0;
    int32_t pixelWidth = 0;
    int32_t pixelHeight = 0;
    const void* owner = nullptr;
    uint64_t serial = 0;
    std::vector<uint8_t> frame;  // read-back, top row first
    std::vector<uint8_t> row;
};

std::mutex& viewMutex() {
    static std::mutex m;
    return m;
}
GLView& view() {
    static GLView v;
    return v;
}

std::atomic<FramePresenter*> gPresenter{nullptr};
std::atomic<int> gLiveContexts{0};
std::atomic<bool> gFailNextSetup{false};

bool hasExtension(const char* list, const char* name) {
    if (!list || !name) return false;
    size_t n = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        bool startOk = (p == list) || p[-1] == ' ';
        bool endOk = p[n] == ' ' || p[n] == '\0';
        if (startOk && endOk) return true;
    }
    return false;
}

// The surfaceless display, initialised once for the process (never
// terminated: contexts come and go, the display stays).
struct Display {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLConfig config = nullptr;
    bool noConfig = false;
    bool ok = false;
};

Display makeDisplay() {
    Display d;
    const char* clientExts = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (hasExtension(clientExts, "EGL_MESA_platform_surfaceless")) {
        auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
            eglGetProcAddress("eglGetPlatformDisplayEXT"));
        if (getPlatformDisplay) {
            d.display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        }
    }
    if (d.display == EGL_NO_DISPLAY) return d;
    EGLint major = 0, minor = 0;
    if (!eglInitialize(d.display, &major, &minor)) {
        d.display = EGL_NO_DISPLAY;
        return d;
    }
    const char* exts = eglQueryString(d.display, EGL_EXTENSIONS);
    if (!hasExtension(exts, "EGL_KHR_surfaceless_context")) return d;
    if (!eglBindAPI(EGL_OPENGL_ES_API)) return d;
    if (hasExtension(exts, "EGL_KHR_no_config_context")) {
        d.noConfig = true;
    } else {
        const EGLint attribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_SURFACE_TYPE,
                                  EGL_PBUFFER_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(d.display, attribs, &d.config, 1, &count) || count < 1) return d;
    }
    d.ok = true;
    return d;
}

const Display& display() {
    static Display d = makeDisplay();
    return d;
}

// Deletes the framebuffer and the renderbuffer when the view's context is
// current; the view lock is held.
void dropFramebufferLocked(GLView& v) {
    if (v.context != EGL_NO_CONTEXT && eglGetCurrentContext() == v.context) {
        if (v.frameBuffer) {
            glBindFramebuffer(GL_FRAMEBUFFER, 0);
            glDeleteFramebuffers(1, &v.frameBuffer);
        }
        if (v.colorBuffer) {
            glBindRenderbuffer(GL_RENDERBUFFER, 0);
            glDeleteRenderbuffers(1, &v.colorBuffer);
        }
    }
    v.frameBuffer = 0;
    v.colorBuffer = 0;
    v.pixelWidth = 0;
    v.pixelHeight = 0;
}

// Deletes the view's GL objects and context; the view lock is held.
void dropViewLocked(GLView& v) {
    const Display& d = display();
    if (v.context != EGL_NO_CONTEXT && d.display != EGL_NO_DISPLAY) {
        if (eglGetCurrentContext() == v.context) {
            dropFramebufferLocked(v);
            glFinish();
            eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        // Everything made in the context (textures included) goes with it.
        eglDestroyContext(d.display, v.context);
        gLiveContexts.fetch_sub(1);
    }
    v.context = EGL_NO_CONTEXT;
    v.frameBuffer = 0;
    v.colorBuffer = 0;
    v.pixelWidth = 0;
    v.pixelHeight = 0;
    v.owner = nullptr;
}

bool currentLocked(const GLView& v) {
    return v.context != EGL_NO_CONTEXT && eglGetCurrentContext() == v.context;
}

int storageLocked(GLView& v) {
    if (!currentLocked(v)) return kHostGLNoContext;
    // Released for a pause: only a new set-up brings a framebuffer back.
    if (!v.frameBuffer || !v.colorBuffer) return kHostGLIncompleteFramebuffer;
    ScreenProfile profile = currentScreenProfile();
    int32_t w = profile.pixelWidth() > 0 ? profile.pixelWidth() : 0;
    int32_t h = profile.pixelHeight() > 0 ? profile.pixelHeight() : 0;
    glBindFramebuffer(GL_FRAMEBUFFER, v.frameBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, v.colorBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8_OES, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, v.colorBuffer);
    v.pixelWidth = w;
    v.pixelHeight = h;
    GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    return status == GL_FRAMEBUFFER_COMPLETE ? kHostGLOk : kHostGLIncompleteFramebuffer;
}

}  // namespace

int hostGLSetup(const void* owner, HostGLScreen* screen) {
    ScreenProfile profile = currentScreenProfile();
    if (screen) {
        screen->scale = profile.scale;
        screen->isPad = profile.isPad ? 1 : 0;
        screen->smallScreen = profile.isSmallScreen() ? 1 : 0;
        screen->widthPoints = profile.widthPoints;
        screen->heightPoints = profile.heightPoints;
    }

    std::lock_guard<std::mutex> lock(viewMutex());
    GLView& v = view();
    // A new activation replaces the old context rather than leaking it.
    dropViewLocked(v);

    if (gFailNextSetup.exchange(false)) return kHostGLNoContext;
    const Display& d = display();
    if (!d.ok) return kHostGLNoContext;

    // The surfaceless display is shared with every library in the process
    // that asks for it, and one of them (the web engine's compositor, loaded
    // late) may terminate it; initialising an initialised display changes
    // nothing, so each set-up brings it back first.
    if (!eglInitialize(d.display, nullptr, nullptr)) return kHostGLNoContext;
    const EGLint contextAttribs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
    EGLConfig config = d.noConfig ? EGLConfig(nullptr) : d.config;
    EGLContext context = eglCreateContext(d.display, config, EGL_NO_CONTEXT, contextAttribs);
    if (context == EGL_NO_CONTEXT) return kHostGLNoContext;
    gLiveContexts.fetch_add(1);
    v.context = context;
    v.owner = owner;
    if (!eglMakeCurrent(d.display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        dropViewLocked(v);
        return kHostGLNoContext;
    }
    glGenFramebuffers(1, &v.frameBuffer);
    glGenRenderbuffers(1, &v.colorBuffer);
    int result = storageLocked(v);
    if (result == kHostGLOk) markStartup("GL set up");
    return result;
}

int hostGLStorage() {
    std::lock_guard<std::mutex> lock(viewMutex());
    return storageLocked(view());
}

int hostGLPresent() {
    std::lock_guard<std::mutex> lock(viewMutex());
    GLView& v = view();
    if (!currentLocked(v) || !v.frameBuffer) return 1;
    FramePresenter* presenter = gPresenter.load();
    if (!presenter || v.pixelWidth <= 0 || v.pixelHeight <= 0) {
        glFlush();
        return 0;
    }
    if (!presenter->wantsPixels()) {
        // No screen-sized copy and no read-back for frames nobody looks at.
        glFlush();
        presenter->presentFrame(FrameView{nullptr, v.pixelWidth, v.pixelHeight, ++v.serial});
        return 0;
    }
    size_t rowBytes = size_t(v.pixelWidth) * 4;
    v.frame.resize(rowBytes * size_t(v.pixelHeight));
    v.row.resize(rowBytes);
    glBindFramebuffer(GL_FRAMEBUFFER, v.frameBuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, v.pixelWidth, v.pixelHeight, GL_RGBA, GL_UNSIGNED_BYTE, v.frame.data());
    // GL rows run bottom up; frames go out top row first.
    for (int32_t i = 0, j = v.pixelHeight - 1; i < j; ++i, --j) {
        uint8_t* a = v.frame.data() + size_t(i) * rowBytes;
        uint8_t* b = v.frame.data() + size_t(j) * rowBytes;
        std::memcpy(v.row.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, v.row.data(), rowBytes);
    }
    FrameView frame{v.frame.data(), v.pixelWidth, v.pixelHeight, ++v.serial};
    presenter->presentFrame(frame);
    return 0;
}

void hostGLDelete(const void* owner) {
    std::lock_guard<std::mutex> lock(viewMutex());
    GLView& v = view();
    if (v.context == EGL_NO_CONTEXT || v.owner != owner) return;
    dropViewLocked(v);
}

void hostGLReleaseFramebuffer(const void* owner) {
    std::lock_guard<std::mutex> lock(viewMutex());
    GLView& v = view();
    if (v.context == EGL_NO_CONTEXT || v.owner != owner) return;
    dropFramebufferLocked(v);
    glFlush();
}

bool hostGLIsCurrent() {
    std::lock_guard<std::mutex> lock(viewMutex());
    return currentLocked(view());
}

bool hostGLIsCurrentFor(const void* owner) {
    std::lock_guard<std::mutex> lock(viewMutex());
    return currentLocked(view()) && view().owner == owner;
}

int32_t hostGLPixelWidth() {
    std::lock_guard<std::mutex> lock(viewMutex());
    return view().context != EGL_NO_CONTEXT ? view().pixelWidth : 0;
}

int32_t hostGLPixelHeight() {
    std::lock_guard<std::mutex> lock(viewMutex());
    return view().context != EGL_NO_CONTEXT ? view().pixelHeight : 0;
}

int hostGLLiveContexts() { return gLiveContexts.load(); }

void setFramePresenter(FramePresenter* presenter) { gPresenter.store(presenter); }
FramePresenter* framePresenter() { return gPresenter.load(); }

void hostGLFailNextSetupForTesting() { gFailNextSetup.store(true); }

}  // namespace KelpaPlatform
