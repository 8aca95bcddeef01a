// Whole frames drawn by the engine on the surfaceless context at 750 x 1334
// pixels: update, recording, executing, waiting for the rasteriser
// (glFinish) and reading the frame back, each timed, with the engine heap's
// allocations and the draw calls per frame. "engine" batches, "engine-each"
// makes one draw call per command. The cases are in bench/cases.h: scenes
// of N sprites and the game's own frames. tools/bench.sh runs this with
// its peers.
//   build-release/bench/bench_frame --benchmark_filter=sprites/2000
//   build-release/bench/bench_frame --benchmark_filter=game/bonus
#include <GLES2/gl2.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cstdlib>

#include "bench/cases.h"
#include "engine/Heap.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "platform/ScreenProfile.h"
#include "platform/egl/FramePresenter.h"
#include "platform/egl/HostGL.h"

using namespace KelpaEngine;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWarmUpFrames = 10;

// Takes the read-back frame and keeps nothing: the read-back is the cost.
class DropFrames : public KelpaPlatform::FramePresenter {
public:
    void presentFrame(const KelpaPlatform::FrameView& frame) override { benchmark::DoNotOptimize(frame.rgba); }
};

// CPU time of this thread: with llvmpipe rasterising on the calling thread
// (LP_NUM_THREADS=0) it holds the whole frame and hardly depends on what
// else the machine runs.
double threadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

double since(Clock::time_point& t) {
    Clock::time_point now = Clock::now();
    double us = std::chrono::duration<double, std::micro>(now - t).count();
    t = now;
    return us;
}

void runEngine(benchmark::State& state, const bench::SceneCase* sceneCase, bool batched) {
    DropFrames frames;
    KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile("375x667@2"));
    KelpaPlatform::setFramePresenter(&frames);
    {
        RefPtr<iOS::ApplicationImp> app = makeRef<iOS::ApplicationImp>("bench");
        RefPtr<Graphics> g = app->getGraphics();
        auto* imp = dynamic_cast<iOS::GraphicsImp*>(g.get());
        std::unique_ptr<bench::Scene> scene = sceneCase->make(sceneCase->arg);
        std::string why;
        if (!imp || !imp->canDraw()) {
            state.SkipWithError("no GL context");
        } else if (!scene->setUp(app.get(), g.get(), &why)) {
            state.SkipWithError(why.c_str());
        } else {
            imp->setBatching(batched);
            double update = 0, record = 0, execute = 0, executeCpu = 0, finish = 0, readBack = 0, cpu = 0;
            // Counted within each frame: the benchmark loop's own start and
            // stop allocate too.
            uint64_t allocations = 0;
            double items = 0;
            auto frame = [&]() {
                scene->input();
                uint32_t allocated = heapCounters().totalAllocations;
                double cpuStart = threadCpuUs();
                Clock::time_point start = Clock::now(), t = start;
                scene->update();
                update += since(t);
                scene->record(g.get());
                record += since(t);
                // What present does, with the wait for the rasteriser apart.
                const double executeStart = threadCpuUs();
                imp->clear();
                for (int32_t i = imp->layerCount() - 1; i >= 0; --i) {
                    CommandBuffer* b = imp->layerAt(i);
                    if (!b->storage) continue;
                    CommandCursor cursor{b, 0};
                    imp->execute(&cursor);
                }
                execute += since(t);
                executeCpu += threadCpuUs() - executeStart;
                glFinish();
                finish += since(t);
                imp->swapBuffers();
                imp->resetCommands();
                readBack += since(t);
                cpu += threadCpuUs() - cpuStart;
                allocations += heapCounters().totalAllocations - allocated;
                items += scene->items();
                return std::chrono::duration<double>(t - start).count();
            };
            // Shaders are compiled and buffers grown by the first frames.
            for (int i = 0; i < kWarmUpFrames; ++i) frame();
            update = record = execute = executeCpu = finish = readBack = cpu = items = 0;
            allocations = 0;
            uint64_t draws = imp->drawCallCount();
            for (auto _ : state) state.SetIterationTime(frame());
            double n = double(state.iterations());
            state.counters["update_us"] = update / n;
            state.counters["record_us"] = record / n;
            state.counters["execute_us"] = execute / n;
            // The same phase in this thread's CPU time, which the machine's
            // load hardly changes.
            state.counters["execute_cpu_us"] = executeCpu / n;
            state.counters["finish_us"] = finish / n;
            state.counters["readback_us"] = readBack / n;
            state.counters["cpu_us"] = cpu / n;
            state.counters["allocs"] = double(allocations) / n;
            state.counters["draws"] = double(imp->drawCallCount() - draws) / n;
            state.counters["items"] = items / n;
            std::string trouble = scene->trouble();
            if (!trouble.empty()) state.SkipWithError(trouble.c_str());
        }
        scene.reset();
    }
    KelpaPlatform::setFramePresenter(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("EGL_PLATFORM", "surfaceless", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    iOS::setAssetFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
    static const std::vector<bench::SceneCase> cases = bench::benchCases();
    for (const bench::SceneCase& c : cases) {
        for (bool batched : {true, false}) {
            auto* b = benchmark::RegisterBenchmark(((batched ? "engine/" : "engine-each/") + c.name).c_str(),
                                                   runEngine, &c, batched);
            b->UseManualTime()->Unit(benchmark::kMicrosecond);
            // A game case times its window's frames, the same in every run.
            if (c.frames > 0) b->Iterations(c.frames);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
