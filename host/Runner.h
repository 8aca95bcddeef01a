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
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/MainGLView.h"
#include "platform/egl/FramePresenter.h"

namespace KelpaHost {

struct ScriptEvent {
    enum Kind { Down, Move, Up, Resign, Active, Background, Foreground, Terminate };
    int64_t atMs = 0;
    Kind kind = Down;
    double x = 0, y = 0;
};

// Parses a script; false with a message naming the line for bad input.
bool parseScript(const std::string& text, std::vector<ScriptEvent>* events, std::string* error);

struct RunSettings {
    int64_t frames = -1;
    std::string shotsDir;
    int64_t every = 30;
    std::vector<ScriptEvent> script;
    double timeoutSeconds = -1;
    bool pacing = false;
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

    void frameShown(const KelpaPlatform::FrameView& frame) override;

    uint64_t frames() const { return frames_.load(); }
    // Game thread, once per frame step (the frame hook), presented or not.
    void frameStepped();
    // Periods between frame steps in milliseconds (with pacing on): their
    // mean and 99th percentile; false before two steps.
    bool pacing(double* meanMs, double* p99Ms, size_t* count) const;
    int shotsWritten() const { return shots_.load(); }
    bool hitTimeLimit() const { return timedOut_.load(); }

private:
    // Main thread, once, after the first frame.
    void scheduleScript();

    RunSettings settings_;
    bool scriptScheduled_ = false;
    std::atomic<uint64_t> frames_{0};
    std::atomic<int> shots_{0};
    std::atomic<bool> stopPosted_{false};
    std::atomic<bool> timedOut_{false};
    KelpaPlatform::FrameCapture last_;
    // Game thread while it runs, main thread after: made once, so that
    // taking a period allocates nothing.
    std::vector<float> periods_;
    std::chrono::steady_clock::time_point lastStep_;
    uint64_t steps_ = 0;
    std::vector<unsigned> sources_;
};

// The run in progress (null when none).
Runner* currentRunner();
void setCurrentRunner(Runner* runner);

}  // namespace KelpaHost
