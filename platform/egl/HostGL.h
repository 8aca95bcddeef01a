// The GL view of this platform: an OpenGL ES 2.0 context over Mesa's
// surfaceless EGL platform (no display, no GPU needed), made current on the
// calling thread, drawing into a framebuffer with an RGBA8 colour
// renderbuffer of the screen's size in pixels. Presenting finishes the frame
// and hands its pixels to the installed FramePresenter.
//
// There is one GL view per process; its functions are meant for the game
// thread (the thread that called hostGLSetup).
#pragma once

#include <cstdint>

#include "platform/egl/FramePresenter.h"

namespace KelpaPlatform {

// What the set-up learns of the screen (from the current ScreenProfile).
struct HostGLScreen {
    uint32_t scale;          // pixels per point
    uint8_t isPad;
    uint8_t smallScreen;     // less than 568 points high
    int32_t widthPoints;
    int32_t heightPoints;
};

enum HostGLResult : int {
    kHostGLOk = 0,
    kHostGLNoContext = 1,           // no display, or the context cannot be made or made current
    kHostGLIncompleteFramebuffer = 2,
};

// Makes a new context current on this thread (dropping any earlier one of
// the view, with its objects), the framebuffer and the colour renderbuffer.
// `owner` tags the view so that only its owner's hostGLDelete drops it.
// Fills *screen when given. Returns a HostGLResult.
int hostGLSetup(const void* owner, HostGLScreen* screen);
// (Re)allocates the colour renderbuffer for the current profile's pixel size
// and attaches it; returns a HostGLResult from the framebuffer status.
int hostGLStorage();
// Finishes the frame and hands it to the presenter; 0, or 1 without a
// context or framebuffer.
int hostGLPresent();
// Deletes the framebuffer, the renderbuffer and the context (with every
// texture name made in it), when `owner` owns the view.
void hostGLDelete(const void* owner);
// Deletes only the framebuffer and the renderbuffer, when `owner` owns the
// view: the context stays current with its textures and programs, so GL
// objects can still be made in it, and nothing can be presented until the
// next hostGLSetup.
void hostGLReleaseFramebuffer(const void* owner);

// True when the view has a context current on this thread.
bool hostGLIsCurrent();
// True when, besides, `owner` made that context (a later set-up by another
// owner takes the view over).
bool hostGLIsCurrentFor(const void* owner);
// Pixel size of the colour renderbuffer (0 without a context).
int32_t hostGLPixelWidth();
int32_t hostGLPixelHeight();
// Contexts made and not yet destroyed, process-wide.
int hostGLLiveContexts();

// Where finished frames go; null drops them. The presenter must outlive its
// installation and must not call the functions above.
void setFramePresenter(FramePresenter* presenter);
FramePresenter* framePresenter();

// Test seam: the next hostGLSetup acts as if its context could not be made current.
void hostGLFailNextSetupForTesting();

}  // namespace KelpaPlatform
