// The share bridge: hands a text to the host's Twitter or Facebook sheet.
#pragma once

#include "engine/SocialShare.h"

namespace KelpaEngine {
namespace iOS {

class SocialShareImp : public SocialShare {
public:
    // A plain object (no heap deleter): the caller deletes it when done.
    // Null when memory runs out.
    static SocialShare* create(Application* app, const char* text);

    SocialShareImp(Application* app, const char* text) : SocialShare(app, text) {}
    ~SocialShareImp() override = default;

    // kShareTwitter or kShareFacebook; other kinds do nothing. Returns 1.
    int32_t share(const char* text, int32_t kind) override;
};

}  // namespace iOS
}  // namespace KelpaEngine
