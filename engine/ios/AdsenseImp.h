// The ad bridge: turns the game's ad requests into the host's ad wishes.
#pragma once

#include "engine/Adsense.h"
#include "engine/Heap.h"

namespace KelpaEngine {
class Application;

namespace iOS {

class AdsenseImp : public Adsense {
public:
    static RefPtr<Adsense> create(Application* app);

    explicit AdsenseImp(Application* app) : app_(app) {}
    ~AdsenseImp() override = default;

    void show(int32_t kind, bool on) override;

private:
    // Kept as the scenes hand it over; the wishes go through the host
    // bridge, which needs no application.
    [[maybe_unused]] Application* app_;
};

}  // namespace iOS
}  // namespace KelpaEngine
