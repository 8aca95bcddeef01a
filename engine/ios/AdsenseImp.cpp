#include "engine/ios/AdsenseImp.h"

namespace KelpaEngine {
namespace iOS {

RefPtr<Adsense> AdsenseImp::create(Application* app) { return makeRef<AdsenseImp>(app); }

void AdsenseImp::show(int32_t kind, bool on) {
    HostBridge& host = installedHostBridge();
    switch (kind) {
    case kAdTopBanner:
    case kAdBottomBanner:
        host.storeAdWish(kind, on ? 1 : 0);
        break;
    case kAdInterstitial:
        // Only the host takes the interstitial wish back, once it has run.
        if (on) host.storeAdWish(kind, 1);
        break;
    default:
        break;
    }
}

}  // namespace iOS
}  // namespace KelpaEngine
