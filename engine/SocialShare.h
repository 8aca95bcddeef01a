// Posting a text to Twitter or Facebook through the platform's sheets.
#pragma once

#include <cstdint>

#include "engine/Heap.h"
#include "engine/TextUtil.h"

namespace KelpaEngine {

class Application;

enum ShareKind : int32_t {
    kShareTwitter = 0,
    kShareFacebook = 1,
};

class SocialShare {
public:
    // Keeps an engine-heap copy of text when one is given.
    SocialShare(Application* app, const char* text) : text_(text ? engineStrdup(text) : nullptr), app_(app) {}
    virtual ~SocialShare() { engineFree(text_); }
    SocialShare(const SocialShare&) = delete;
    SocialShare& operator=(const SocialShare&) = delete;

    // Shares text (not the stored copy) as kind; the base does nothing and
    // returns 0.
    virtual int32_t share(const char* text, int32_t kind) {
        (void)text;
        (void)kind;
        return 0;
    }

    const char* text() const { return text_; }
    Application* application() const { return app_; }

protected:
    char* text_;
    Application* app_;
};

}  // namespace KelpaEngine
