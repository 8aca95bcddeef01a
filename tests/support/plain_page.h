// Texture pages that keep their RGBA copy but talk to no GL, for tests of
// images and sprites without a context.
#pragma once

#include "engine/Heap.h"
#include "engine/Texture.h"

namespace testsupport {

class PlainPage : public KelpaEngine::TextureHandle {
public:
    using KelpaEngine::TextureHandle::TextureHandle;
    uint32_t* getGLName() override { return &name; }
    void uploadRegion(int32_t, int32_t, int32_t, int32_t, const uint8_t*) override {}
    uint32_t name = 1;
};

inline KelpaEngine::RefPtr<KelpaEngine::TextureHandle> makePlainPage(void*, int32_t w, int32_t h) {
    using KelpaEngine::TextureHandle;
    KelpaEngine::RefPtr<PlainPage> page =
        KelpaEngine::makeRef<PlainPage>(TextureHandle::pageSideFor(w), TextureHandle::pageSideFor(h));
    if (!page || !page->allocateCopy()) return nullptr;
    return page;
}

inline KelpaEngine::RefPtr<KelpaEngine::Texture> makePlainTexture(void*, int32_t w, int32_t h) {
    return KelpaEngine::Texture::place(w, h, &makePlainPage, nullptr);
}

}  // namespace testsupport
