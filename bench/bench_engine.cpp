// The engine's hot paths: reference counting, the heap, and one frame of
// sprites recorded and drawn with OpenGL ES on the surfaceless context.
//   build/bench/bench_engine --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "engine/Graphics.h"
#include "engine/Heap.h"
#include "engine/Sprite2D.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/Paths.h"

using namespace KelpaEngine;

namespace {

struct Counted {
    virtual ~Counted() = default;
    int v = 0;
};

void BM_RefPtrCopy(benchmark::State& state) {
    RefPtr<Counted> a = makeRef<Counted>();
    for (auto _ : state) {
        RefPtr<Counted> b = a;
        benchmark::DoNotOptimize(b.get());
    }
}
BENCHMARK(BM_RefPtrCopy);

void BM_EngineAllocFree(benchmark::State& state) {
    const uint64_t size = uint64_t(state.range(0));
    for (auto _ : state) {
        void* p = engineAlloc(size);
        benchmark::DoNotOptimize(p);
        engineFree(p);
    }
}
BENCHMARK(BM_EngineAllocFree)->Arg(16)->Arg(4096);

// A frame like main play's busiest: a background and many thrown items.
void BM_FrameOfSprites(benchmark::State& state) {
    setenv("EGL_PLATFORM", "surfaceless", 0);
    iOS::setAssetFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
    RefPtr<iOS::ApplicationImp> app = makeRef<iOS::ApplicationImp>("bench");
    app->setScreenSize(375, 667);
    RefPtr<Graphics> g = app->getGraphics();
    RefPtr<Sprite2D> bg = Sprite2D::create(g, 0, 0, "main_bg1.png", 0);
    std::vector<RefPtr<Sprite2D>> items;
    const char* names[] = {"main_coin.png", "main_doller.png", "main_jewel1.png", "main_dumbbell.png"};
    for (int i = 0; i < state.range(0); ++i) {
        RefPtr<Sprite2D> s = Sprite2D::create(g, (i * 37) % 540, (i * 53) % 960, names[i % 4], 0x11);
        if (s) s->rotation = float(i) * 0.1f;
        items.push_back(s);
    }
    if (!g || !bg) {
        state.SkipWithError("no GL context or assets");
        return;
    }
    for (auto _ : state) {
        g->setLayer(1);
        g->drawSprite(bg.get());
        g->setLayer(0);
        for (auto& s : items)
            if (s) g->drawSprite(s.get());
        g->present();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FrameOfSprites)->Arg(50)->Arg(300)->Unit(benchmark::kMicrosecond);

}  // namespace
