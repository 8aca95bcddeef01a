// What a run does besides showing the game: counts presented frames, writes
// every Nth one as PNG, stops after a number of frames or seconds, and
// plays a script of timed input. The same for the desktop window and the
// headless runner; the headless runner is simply this without a display.
//
// Script: one event a line (or ';' between events), '#' starts a comment;
// times are milliseconds from the first presented frame (so that start-up
// time, which varies a lot between machines, does not shift the input
// against the game), positions are points in the window:
//   T tap X Y [HOLD_MS]        began, then ended HOLD_MS later (default 80)
//   T down X Y | T move X Y | T up X Y
//   T drag X1 Y1 X2 Y2 [MS] [STEPS]   began, STEPS moves over MS, ended
//   T resign | T active | T background | T foreground | T terminate
//
// A repeatable run (a seed given) plays the script by frame instead: the
// game thread's frame hook hands an event at T ms to the game at hook call
// round(T / 16) after the first presented frame (call 0 is the first one
// after it), in script order; touches go straight into the pending touches
// and lifecycle events set the flags on that call (the application hears
// of them afterwards). The game's clock advances 16 ms a hook call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FrameClock.h"
#include "host/MainGLView.h"
#include "platform/egl/FramePresenter.h"

namespace KelpaHost {

struct ScriptEvent {
    enum Kind { Down, Move, Up, Resign, Active, Background, Foreground, Terminate };
    int64_t atMs = 0;
    Kind kind = Down;
    double x = 0, y = 0;
};

// The most events a script may hold (a drag is up to 1002): enough for
// hours of play, and a few megabytes at most.
constexpr size_t kMaxScriptEvents = 100000;

// Parses a script; false with a message naming the line for bad input
// (also for a line that takes the script past kMaxScriptEvents).
bool parseScript(const std::string& text, std::vector<ScriptEvent>* events, std::string* error);
// A plain decimal number ([+-] digits [. digits] [e [+-] digits]) of at
// most 1e12 either way; one too small to hold reads as 0 (or the nearest).
bool parseScriptNumber(const std::string& word, double* out);

struct RunSettings {
    int64_t seed = -1;  // 0 or more: a repeatable run
    int64_t frames = -1;
    std::string shotsDir;
    int64_t every = 30;
    std::vector<ScriptEvent> script;
    double timeoutSeconds = -1;
    bool pacing = false;
    bool verbose = false;  // the start's steps reported at the end
};

// A clock that moves only with the game's frames: 16 ms a step.
class FrameStepClock : public KelpaEngine::FrameClock {
public:
    int64_t nowMs() override { return ms_.load(std::memory_order_relaxed); }
    void step() { ms_.fetch_add(16, std::memory_order_relaxed); }

private:
    std::atomic<int64_t> ms_{0};
};

class Runner : public FrameTap {
public:
    explicit Runner(const RunSettings& settings);
    ~Runner() override;

    // Main thread, at launch: taps the view's frames and schedules the time
    // limit on the main loop; the script follows the first frame.
    void attach(MainGLView* view, bool hasDisplay);
    // Main thread, after the game thread has ended: writes the last frame
    // ("last.png") and reports.
    void finish();

    // Counts and writes the frame; false for frames past the frame limit,
    // which are not presented (the game runs on until the stop arrives).
    bool frameShown(const KelpaPlatform::FrameView& frame) override;
    // Only a run that writes pictures looks at the pixels.
    bool wantsPixels() const override { return !settings_.shotsDir.empty(); }

    // Game thread, at the start of every frame hook: a repeatable run's
    // clock step and the script's events due on this call.
    void gameFrameHook();
    bool repeatable() const { return settings_.seed >= 0; }
    // The game's clock in a repeatable run.
    KelpaEngine::FrameClock* gameClock() { return &clock_; }

    uint64_t frames() const { return frames_.load(); }
    // Game thread, once per frame step (the frame hook), presented or not.
    void frameStepped();
    // Periods between frame steps in milliseconds (with pacing on): their
    // mean and 99th percentile; false before two steps.
    bool pacing(double* meanMs, double* p99Ms, size_t* count) const;
    int shotsWritten() const { return shots_.load(); }

    // Main thread: what the window's views show above the game, ARGB32
    // premultiplied (the frame's size, rows `stride` bytes apart), laid
    // over the frames written from now on.
    void setOverlay(const uint32_t* argb, int32_t width, int32_t height, int32_t stride);
    bool hitTimeLimit() const { return timedOut_.load(); }

private:
    // Main thread, once, after the first frame: the script's events wait
    // in one queue on one timer, set for the next one due.
    void scheduleScript();
    void armQueue();
    int64_t scriptElapsedMs() const;
    static int onQueueTimer(void* data);
    // Game thread: one event of a repeatable run's script.
    void deliverOnFrame(const ScriptEvent& e);

    RunSettings settings_;
    bool scriptScheduled_ = false;
    std::vector<ScriptEvent> queue_;  // main thread
    size_t nextQueued_ = 0;
    int64_t scriptStartUs_ = 0;       // when the first frame was seen
    unsigned queueTimer_ = 0;
    std::atomic<uint64_t> frames_{0};
    std::atomic<int> shots_{0};
    std::atomic<bool> stopPosted_{false};
    std::atomic<bool> timedOut_{false};
    KelpaPlatform::FrameCapture last_;
    // The overlay (empty when nothing shows) and the frame it was laid on.
    bool writeFrame(const std::string& path, const uint8_t* rgba, int32_t width, int32_t height);
    std::mutex overlayLock_;
    std::vector<uint32_t> overlay_;
    int32_t overlayWidth_ = 0, overlayHeight_ = 0;
    std::vector<uint8_t> composed_;
    // Game thread while it runs, main thread after: made once, so that
    // taking a period allocates nothing.
    std::vector<float> periods_;
    std::chrono::steady_clock::time_point lastStep_;
    uint64_t steps_ = 0;
    std::vector<unsigned> sources_;

    // A repeatable run's, on the game thread only.
    struct Due {
        int64_t call;
        ScriptEvent event;
    };
    std::vector<Due> byFrame_;  // in the order they are due
    size_t nextDue_ = 0;
    int64_t hookCalls_ = 0;
    int64_t firstFrameCall_ = -1;  // the hook call the first presented frame followed
    FrameStepClock clock_;
    // The application's lifecycle as the script has driven it.
    bool active_ = true, background_ = false, terminating_ = false;
};

// The run in progress (null when none).
Runner* currentRunner();
void setCurrentRunner(Runner* runner);

}  // namespace KelpaHost
