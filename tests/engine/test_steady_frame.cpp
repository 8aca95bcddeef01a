// ctest-label: threads
// test-links: kelpa_ios platform_gl platform_ui
// A steady frame allocates nothing: frames of sprites, images and shapes
// over several pages and layers, recorded, drawn and presented on a game
// thread whose frame hook posts two blocks a frame to the main queue, as
// the host's does, while the main thread runs the queue. Every C++
// allocation of the process goes through the engine heap, whose counter
// must stand still over 600 frames.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/Heap.h"
#include "engine/HostHook.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"
#include "platform/ns/MainQueue.h"

using namespace KelpaEngine;

namespace {

std::atomic<int> gBlocksRun{0};

// The host's frame hook hands the ad wishes to the main queue: two blocks.
class PostingHook : public HostHook {
public:
    void frameHook(Application*, int32_t sleepMs) override {
        KelpaPlatform::dispatchAsyncMain([]() { gBlocksRun.fetch_add(1); });
        KelpaPlatform::dispatchAsyncMain([]() { gBlocksRun.fetch_add(1); });
        sleepMilliseconds(sleepMs);
    }
};

RefPtr<Image> solid(Graphics* g, int32_t w, int32_t h, uint8_t shade) {
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4, shade);
    RefPtr<Texture> t = Texture::create(g, w, h);
    if (!t) return nullptr;
    t->update(px.data());
    return Image::fromTexture(t);
}

struct Counts {
    uint32_t allocations = 0;
    uint32_t live = 0;
};

TEST(SteadyFrame, AllocatesNothingOver600Frames) {
    iOS::setAssetFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
    // The smallest frame: what is counted does not depend on the pixels.
    KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile("320x480@2"));
    KelpaPlatform::FrameCapture capture;
    KelpaPlatform::setFramePresenter(&capture);
    KelpaPlatform::markMainThread();
    // The counter sees the program's own allocations.
    uint32_t seen = heapCounters().totalAllocations;
    ::operator delete(::operator new(16));
    ASSERT_EQ(seen + 1, heapCounters().totalAllocations);

    constexpr int kWarmUp = 60;
    constexpr int kFrames = 600;
    PostingHook hook;
    Counts before, after;
    bool ready = false;
    std::atomic<bool> done{false};
    std::thread game([&]() {
        iOS::ApplicationSeams seams;
        seams.hook = &hook;
        {
            RefPtr<iOS::ApplicationImp> app = makeRef<iOS::ApplicationImp>("steady", seams);
            RefPtr<Graphics> g = app->getGraphics();
            auto* imp = dynamic_cast<iOS::GraphicsImp*>(g.get());
            std::vector<RefPtr<Sprite2D>> sprites;
            for (const char* name : {"main_coin.png", "main_jewel1.png", "main_dumbbell.png"}) {
                RefPtr<Sprite2D> s = Sprite2D::create(g, 100, 100, name, 0x11);
                if (s) sprites.push_back(s);
            }
            RefPtr<Image> panel = solid(g.get(), 200, 60, 200);
            RefPtr<Image> mask = solid(g.get(), 200, 60, 255);
            ready = imp && imp->canDraw() && sprites.size() == 3 && panel && mask;
            for (int f = 0; ready && f < kWarmUp + kFrames; ++f) {
                if (f == kWarmUp) before = Counts{heapCounters().totalAllocations, heapCounters().liveBlocks};
                app->frameStep(2, false);
                g->beginFrame();
                g->setLayer(1);
                g->drawImageSized(0, 0, 540, 300, panel.get());
                g->setLayer(0);
                for (int i = 0; i < 60; ++i) {
                    Sprite2D* s = sprites[size_t(i % 3)].get();
                    s->x = (i * 37 + f) % 540;
                    s->y = (i * 53) % 960;
                    s->rotation = float(i + f) * 0.05f;
                    g->drawSpriteAt(0, 0, s);
                }
                g->setAlpha(0.5f);
                g->drawImage(20, 20, panel.get());
                g->drawMasked(20, 100, 200, 60, panel.get(), mask.get());
                g->setAlpha(1.0f);
                g->setColor(1, 0, 0, 1);
                g->fillRect(0, 900, 540, 60);
                g->endFrame();
                g->present();
            }
            after = Counts{heapCounters().totalAllocations, heapCounters().liveBlocks};
        }
        done.store(true);
    });
    while (!done.load()) KelpaPlatform::drainMainQueue(20);
    game.join();
    KelpaPlatform::drainMainQueue(1000);
    KelpaPlatform::setFramePresenter(nullptr);
    KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
    iOS::setAssetFolder(nullptr);

    ASSERT_TRUE(ready) << "no GL context or assets";
    EXPECT_EQ(before.allocations, after.allocations) << "allocations in " << kFrames << " steady frames";
    EXPECT_EQ(before.live, after.live);
    EXPECT_EQ(2 * (kWarmUp + kFrames), gBlocksRun.load());
    EXPECT_EQ(uint64_t(kWarmUp + kFrames), capture.frameCount());
}

}  // namespace
