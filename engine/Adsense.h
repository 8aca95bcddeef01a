// The game's ad wishes: which ad kinds it wants shown. The host applies
// them on its main thread once per frame.
#pragma once

#include <cstdint>

#include "engine/HostBridge.h"

namespace KelpaEngine {

class Adsense {
public:
    virtual ~Adsense() = default;
    // kind: kAdTopBanner, kAdBottomBanner or kAdInterstitial. The
    // interstitial can only be asked for; the host clears that wish.
    virtual void show(int32_t kind, bool on) = 0;
};

}  // namespace KelpaEngine
