#include "engine/ios/TextureImp.h"

#include <GLES2/gl2.h>

#include "engine/Graphics.h"
#include "engine/ios/GraphicsImp.h"

namespace KelpaEngine {
namespace iOS {

namespace {

constexpr int kAttempts = 3;

// Errors left by earlier calls must not be taken for this call's. Bounded:
// without a context glGetError may keep answering.
void drainGLErrors() {
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

void setPageFilters() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

// Defines the level-0 image of the bound texture, up to three times.
bool defineImage(int32_t w, int32_t h, const void* pixels) {
    for (int i = 0; i < kAttempts; ++i) {
        drainGLErrors();
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        if (glGetError() == GL_NO_ERROR) return true;
    }
    return false;
}

// A name from glGenTextures; 0 (never a texture name) when none was given.
GLuint generateName() {
    for (int i = 0; i < kAttempts; ++i) {
        drainGLErrors();
        GLuint name = 0;
        glGenTextures(1, &name);
        if (glGetError() == GL_NO_ERROR && name != 0) return name;
    }
    return 0;
}

RefPtr<TextureHandle> makePage(void* owner, int32_t w, int32_t h) {
    return TextureHandleImp::create(static_cast<Graphics*>(owner), w, h);
}

}  // namespace

TextureHandleImp::TextureHandleImp(int32_t pageWidth, int32_t pageHeight, uint32_t glName)
    : TextureHandle(pageWidth, pageHeight), glName_(glName) {}

TextureHandleImp::~TextureHandleImp() {
    // Asked while still attached: when the context went to another graphics
    // object, every page of ours (this one too) forgets its name here.
    bool live = graphics_ && graphics_->hasContext();
    detach();
    if (live && glName_ != kNoGLName) {
        GLuint name = glName_;
        glDeleteTextures(1, &name);
    }
    glName_ = kNoGLName;
}

RefPtr<TextureHandleImp> TextureHandleImp::create(Graphics* graphics, int32_t w, int32_t h) {
    auto* gl = dynamic_cast<GraphicsOpenGL*>(graphics);
    // A name made in somebody else's context would not be ours to keep.
    if (!gl || !gl->hasContext()) return nullptr;
    int32_t pw = pageSideFor(w);
    int32_t ph = pageSideFor(h);
    if (pw == 0 || ph == 0) return nullptr;

    GLuint name = generateName();
    if (name == 0) return nullptr;
    glBindTexture(GL_TEXTURE_2D, name);
    setPageFilters();
    if (!defineImage(pw, ph, nullptr)) {
        // The name is of no use without its image.
        glDeleteTextures(1, &name);
        return nullptr;
    }
    RefPtr<TextureHandleImp> page = makeRef<TextureHandleImp>(pw, ph, name);
    if (!page) {
        glDeleteTextures(1, &name);
        return nullptr;
    }
    // From here on the page's destructor deletes the name.
    if (!page->allocateCopy() || !page->attach(gl)) return nullptr;
    return page;
}

bool TextureHandleImp::attach(GraphicsOpenGL* gl) {
    if (!gl->addContextCallback(GraphicsOpenGL::kContextCreated, &TextureHandleImp::restore, this)) return false;
    if (!gl->addContextCallback(GraphicsOpenGL::kContextDestroyed, &TextureHandleImp::contextDestroyed, this) ||
        !gl->addContextCallback(GraphicsOpenGL::kGraphicsGone, &TextureHandleImp::graphicsGone, this)) {
        gl->removeContextCallback(GraphicsOpenGL::kContextCreated, &TextureHandleImp::restore, this);
        gl->removeContextCallback(GraphicsOpenGL::kContextDestroyed, &TextureHandleImp::contextDestroyed, this);
        return false;
    }
    graphics_ = gl;
    owner = static_cast<Graphics*>(gl);
    return true;
}

void TextureHandleImp::detach() {
    if (!graphics_) return;
    graphics_->removeContextCallback(GraphicsOpenGL::kContextCreated, &TextureHandleImp::restore, this);
    graphics_->removeContextCallback(GraphicsOpenGL::kContextDestroyed, &TextureHandleImp::contextDestroyed, this);
    graphics_->removeContextCallback(GraphicsOpenGL::kGraphicsGone, &TextureHandleImp::graphicsGone, this);
    graphics_ = nullptr;
}

int TextureHandleImp::contextDestroyed(void*, void* arg) {
    // The context takes its texture names with it; keeping ours would let a
    // later delete hit whatever the next context gives that number.
    static_cast<TextureHandleImp*>(arg)->glName_ = kNoGLName;
    return 1;
}

int TextureHandleImp::graphicsGone(void*, void* arg) {
    auto* page = static_cast<TextureHandleImp*>(arg);
    page->detach();
    page->glName_ = kNoGLName;
    // No texture of another graphics object may land in this page.
    page->owner = nullptr;
    page->unlink();
    return 1;
}

int TextureHandleImp::restore(void*, void* arg) {
    auto* page = static_cast<TextureHandleImp*>(arg);
    page->glName_ = kNoGLName;
    GLuint name = generateName();
    if (name == 0) return 0;
    page->glName_ = name;
    glBindTexture(GL_TEXTURE_2D, name);
    setPageFilters();
    return defineImage(page->width, page->height, page->pixels) ? 1 : 0;
}

void TextureHandleImp::uploadRegion(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t* pixels) {
    // Without a texture the RGBA copy alone keeps the content for the next restore.
    if (!graphics_ || !graphics_->hasContext() || glName_ == kNoGLName || !pixels) return;
    glBindTexture(GL_TEXTURE_2D, glName_);
    setPageFilters();
    for (int i = 0; i < kAttempts; ++i) {
        drainGLErrors();
        glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        if (glGetError() == GL_NO_ERROR) return;
    }
}

}  // namespace iOS

RefPtr<Texture> Texture::create(Graphics* graphics, int32_t w, int32_t h) {
    if (!graphics) return nullptr;
    return place(w, h, &iOS::makePage, graphics);
}

}  // namespace KelpaEngine
