#include "engine/ios/SocialShareImp.h"

#include <new>

#include "engine/HostBridge.h"

namespace KelpaEngine {
namespace iOS {

SocialShare* SocialShareImp::create(Application* app, const char* text) {
    return new (std::nothrow) SocialShareImp(app, text);
}

int32_t SocialShareImp::share(const char* text, int32_t kind) {
    // The host builds a platform string from the text; never hand it null.
    const char* t = text ? text : "";
    if (kind == kShareFacebook) {
        installedHostBridge().shareFacebook(t);
    } else if (kind == kShareTwitter) {
        installedHostBridge().shareTwitter(t);
    }
    return 1;
}

}  // namespace iOS
}  // namespace KelpaEngine
