#include "host/Runner.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "host/HostState.h"
#include "host/ShownValue.h"
#include "host/ViewController.h"
#include "platform/StartupTimeline.h"
#include "platform/ns/MainQueue.h"
#include "platform/ui/UIApplication.h"
#include "platform/ui/UIWindow.h"

namespace KelpaHost {

using namespace KelpaPlatform;

namespace {

std::atomic<Runner*> gRunner{nullptr};

void stopRun() {
    if (UIApplication* app = UIApplication::shared()) app->terminate();
}

// Main thread: the event as the window system would bring it.
void performEvent(const ScriptEvent& e) {
    UIApplication* app = UIApplication::shared();
    if (!app) return;
    switch (e.kind) {
    case ScriptEvent::Down:
    case ScriptEvent::Move:
    case ScriptEvent::Up: {
        UIWindow* window = app->keyWindow();
        if (!window) break;
        UITouch t;
        t.identifier = 1;
        t.windowLocation = CGPointMake(e.x, e.y);
        UITouchPhase phase = e.kind == ScriptEvent::Down ? UITouchPhase::Began
                             : e.kind == ScriptEvent::Move ? UITouchPhase::Moved
                                                           : UITouchPhase::Ended;
        window->sendTouches(phase, UITouchSet{t});
        break;
    }
    case ScriptEvent::Resign: app->resignActive(); break;
    case ScriptEvent::Active: app->becomeActive(); break;
    case ScriptEvent::Background: app->enterBackground(); break;
    case ScriptEvent::Foreground: app->enterForeground(); break;
    case ScriptEvent::Terminate: app->terminate(); break;
    }
}

gboolean onTimeLimit(gpointer data) {
    static_cast<std::atomic<bool>*>(data)->store(true);
    std::printf("mekko: time limit reached\n");
    std::fflush(stdout);
    stopRun();
    return G_SOURCE_REMOVE;
}

}  // namespace

namespace {

// One line's words, read into events or a reason why not.
class LineReader {
public:
    explicit LineReader(const std::vector<std::string>& w) : w_(w) {}

    // Appends the line's events; "" when it reads, else why not.
    std::string read(std::vector<ScriptEvent>* out) {
        if (!number(0)) return "the time " + notNumber(0);
        if (w_.size() < 2) return "expected a time and an action";
        const std::string& verb = w_[1];
        if (verb == "tap") return tap(out);
        if (verb == "down" || verb == "move" || verb == "up") return point(out);
        if (verb == "drag") return drag(out);
        return lifecycle(out);
    }

private:
    bool number(size_t i) { return i < w_.size() && parseScriptNumber(w_[i], &n_[i]); }
    // Appended: g++ 12 at -O3 takes `"..." + string` for an overlapping copy (-Werror=restrict).
    std::string notNumber(size_t i) const {
        std::string s = "\"";
        s += shownValue(w_[i], 24);
        s += "\" is not a number";
        return s;
    }
    // The arguments' count in [lo, hi] and every word but the action a
    // number; "" when so.
    std::string check(size_t lo, size_t hi, const char* usage) {
        size_t args = w_.size() - 2;
        if (args < lo || args > hi) return w_[1] + usage;
        for (size_t i = 0; i < w_.size(); ++i) {
            if (i != 1 && !number(i)) return notNumber(i);
        }
        if (n_[0] < 0) return "the time is negative";
        at_ = int64_t(n_[0]);
        return "";
    }
    std::string tap(std::vector<ScriptEvent>* out) {
        std::string why = check(2, 3, " takes X Y [HOLD_MS]");
        if (!why.empty()) return why;
        // Told before it is made whole, as the time is: -0.5 is negative.
        if (w_.size() > 4 && n_[4] < 0) return "the hold time is negative";
        int64_t hold = w_.size() > 4 ? int64_t(n_[4]) : 80;
        out->push_back(ScriptEvent{at_, ScriptEvent::Down, n_[2], n_[3]});
        out->push_back(ScriptEvent{at_ + hold, ScriptEvent::Up, n_[2], n_[3]});
        return "";
    }
    std::string point(std::vector<ScriptEvent>* out) {
        std::string why = check(2, 2, " takes X Y");
        if (!why.empty()) return why;
        const std::string& verb = w_[1];
        ScriptEvent::Kind kind = verb == "down" ? ScriptEvent::Down : verb == "move" ? ScriptEvent::Move : ScriptEvent::Up;
        out->push_back(ScriptEvent{at_, kind, n_[2], n_[3]});
        return "";
    }
    std::string drag(std::vector<ScriptEvent>* out) {
        std::string why = check(4, 6, " takes X1 Y1 X2 Y2 [MS] [STEPS]");
        if (!why.empty()) return why;
        int64_t ms = w_.size() > 6 ? int64_t(n_[6]) : 300;
        int64_t steps = w_.size() > 7 ? int64_t(n_[7]) : 10;
        if ((w_.size() > 6 && n_[6] < 0) || steps < 1 || steps > 1000) return "bad duration or step count";
        out->push_back(ScriptEvent{at_, ScriptEvent::Down, n_[2], n_[3]});
        for (int64_t i = 1; i <= steps; ++i) {
            double f = double(i) / double(steps);
            out->push_back(ScriptEvent{at_ + ms * i / steps, ScriptEvent::Move, n_[2] + (n_[4] - n_[2]) * f,
                                       n_[3] + (n_[5] - n_[3]) * f});
        }
        out->push_back(ScriptEvent{at_ + ms, ScriptEvent::Up, n_[4], n_[5]});
        return "";
    }
    std::string lifecycle(std::vector<ScriptEvent>* out) {
        static const struct {
            const char* name;
            ScriptEvent::Kind kind;
        } simple[] = {{"resign", ScriptEvent::Resign},         {"active", ScriptEvent::Active},
                      {"background", ScriptEvent::Background}, {"foreground", ScriptEvent::Foreground},
                      {"terminate", ScriptEvent::Terminate}};
        for (const auto& s : simple) {
            if (w_[1] != s.name) continue;
            std::string why = check(0, 0, " takes no arguments");
            if (!why.empty()) return why;
            ScriptEvent e;
            e.atMs = at_;
            e.kind = s.kind;
            out->push_back(e);
            return "";
        }
        return "unknown action \"" + shownValue(w_[1], 24) + "\"";
    }

    const std::vector<std::string>& w_;
    std::vector<double> n_ = std::vector<double>(w_.size(), 0.0);
    int64_t at_ = 0;
};

}  // namespace

bool parseScriptNumber(const std::string& word, double* out) {
    // Plain decimals only: [+-] digits [. digits] [e [+-] digits]; strtod
    // alone would also take hexadecimal, "inf", "nan" and leading spaces.
    size_t i = 0, n = word.size();
    auto digits = [&] {
        size_t from = i;
        while (i < n && word[i] >= '0' && word[i] <= '9') ++i;
        return i - from;
    };
    if (i < n && (word[i] == '+' || word[i] == '-')) ++i;
    size_t whole = digits(), fraction = 0;
    if (i < n && word[i] == '.') {
        ++i;
        fraction = digits();
    }
    if (whole + fraction == 0) return false;
    if (i < n && (word[i] == 'e' || word[i] == 'E')) {
        ++i;
        if (i < n && (word[i] == '+' || word[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    if (i != n) return false;
    errno = 0;
    double v = std::strtod(word.c_str(), nullptr);
    // ERANGE is also an underflow, whose 0 or tiny result is the number
    // meant; an overflow's infinity is beyond the bound.
    if ((errno != 0 && errno != ERANGE) || !(v == v) || v > 1e12 || v < -1e12) return false;
    *out = v;
    return true;
}

bool parseScript(const std::string& text, std::vector<ScriptEvent>* events, std::string* error) {
    std::istringstream lines(text);
    std::string line, event;
    int lineNo = 0;
    std::vector<ScriptEvent> out;
    while (std::getline(lines, line)) {
        ++lineNo;
        // A comment ends at the next ';', where the next event starts.
        std::istringstream events(line);
        while (std::getline(events, event, ';')) {
            size_t hash = event.find('#');
            if (hash != std::string::npos) event.resize(hash);
            std::istringstream words(event);
            std::vector<std::string> w;
            for (std::string s; words >> s;) w.push_back(s);
            if (w.empty()) continue;
            std::string why = LineReader(w).read(&out);
            if (why.empty() && out.size() > kMaxScriptEvents) {
                why = "the script holds more than " + std::to_string(kMaxScriptEvents) + " events";
            }
            if (!why.empty()) {
                if (error) {
                    *error = "script line " + std::to_string(lineNo) + " (\"" + shownValue(event, 60) + "\"): " + why;
                }
                return false;
            }
        }
    }
    if (events) *events = std::move(out);
    return true;
}

namespace {
constexpr size_t kMaxPeriods = size_t(1) << 18;  // over an hour at 60 a second
}

Runner::Runner(const RunSettings& settings) : settings_(settings) {
    if (settings_.every < 1) settings_.every = 1;
    if (repeatable()) {
        for (const ScriptEvent& e : settings_.script) byFrame_.push_back(Due{std::llround(double(e.atMs) / 16.0), e});
        std::stable_sort(byFrame_.begin(), byFrame_.end(), [](const Due& a, const Due& b) { return a.call < b.call; });
    }
    if (settings_.pacing) periods_.reserve(kMaxPeriods);
}

void Runner::frameStepped() {
    if (!settings_.pacing) return;
    auto now = std::chrono::steady_clock::now();
    if (steps_++ > 0 && periods_.size() < kMaxPeriods) {
        periods_.push_back(std::chrono::duration<float, std::milli>(now - lastStep_).count());
    }
    lastStep_ = now;
}

bool Runner::pacing(double* meanMs, double* p99Ms, size_t* count) const {
    if (periods_.empty()) return false;
    std::vector<float> sorted = periods_;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (float p : sorted) sum += p;
    *meanMs = sum / double(sorted.size());
    size_t rank = (sorted.size() * 99 + 99) / 100;  // nearest rank
    *p99Ms = sorted[std::min(sorted.size(), rank) - 1];
    *count = sorted.size();
    return true;
}

Runner::~Runner() {
    if (queueTimer_) sources_.push_back(queueTimer_);
    for (unsigned id : sources_) {
        if (GSource* s = g_main_context_find_source_by_id(g_main_context_default(), id)) g_source_destroy(s);
    }
    Runner* self = this;
    gRunner.compare_exchange_strong(self, nullptr);
}

void Runner::attach(MainGLView* view, bool hasDisplay) {
    if (view) view->setFrameTap(this);
    if (settings_.timeoutSeconds > 0) {
        sources_.push_back(g_timeout_add(guint(settings_.timeoutSeconds * 1000.0), onTimeLimit, &timedOut_));
    }
    std::printf("mekko: %s front-end", hasDisplay ? "desktop" : "headless");
    if (settings_.frames >= 0) std::printf(", %lld frames", static_cast<long long>(settings_.frames));
    if (!settings_.shotsDir.empty()) {
        std::printf(", frames every %lld written to %s", static_cast<long long>(settings_.every),
                    settings_.shotsDir.c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
}

void Runner::gameFrameHook() {
    if (!repeatable()) return;
    ++hookCalls_;
    clock_.step();
    if (firstFrameCall_ < 0) return;
    int64_t call = hookCalls_ - firstFrameCall_ - 1;
    while (nextDue_ < byFrame_.size() && byFrame_[nextDue_].call <= call) deliverOnFrame(byFrame_[nextDue_++].event);
}

void Runner::deliverOnFrame(const ScriptEvent& e) {
    HostState& s = hostState();
    // The flags change as the lifecycle handlers would change them, and
    // only on a change, as the application tells its delegate; the
    // application then follows on the main thread.
    auto suspend = [&s](uint8_t on) { s.suspendFlag.store(on, std::memory_order_relaxed); };
    auto resign = [&] {
        if (active_ && !terminating_) {
            active_ = false;
            suspend(1);
        }
    };
    auto becomeActive = [&] {
        if (active_ || terminating_) return;
        background_ = false;
        active_ = true;
        suspend(0);
    };
    switch (e.kind) {
    case ScriptEvent::Down:
    case ScriptEvent::Move:
    case ScriptEvent::Up: {
        int32_t phase = e.kind == ScriptEvent::Down ? 0 : e.kind == ScriptEvent::Move ? 1 : 2;
        s.pendingTouch.publish(touchSampleAt(CGPointMake(e.x, e.y), 1, phase));
        return;
    }
    case ScriptEvent::Resign: resign(); break;
    case ScriptEvent::Active: becomeActive(); break;
    case ScriptEvent::Background:
        if (!background_ && !terminating_) {
            resign();
            background_ = true;
        }
        break;
    case ScriptEvent::Foreground:
        if (background_ && !terminating_) becomeActive();
        break;
    case ScriptEvent::Terminate:
        terminating_ = true;
        s.terminateFlag.store(1, std::memory_order_relaxed);
        break;
    }
    dispatchAsyncMain([e] { performEvent(e); });
}

void Runner::scheduleScript() {
    if (scriptScheduled_ || frames_.load() == 0) return;
    scriptScheduled_ = true;
    // In the order they are due, those due together in script order.
    queue_ = settings_.script;
    std::stable_sort(queue_.begin(), queue_.end(),
                     [](const ScriptEvent& a, const ScriptEvent& b) { return a.atMs < b.atMs; });
    scriptStartUs_ = g_get_monotonic_time();
    armQueue();
}

int64_t Runner::scriptElapsedMs() const { return (g_get_monotonic_time() - scriptStartUs_) / 1000; }

void Runner::armQueue() {
    if (nextQueued_ >= queue_.size()) return;
    int64_t wait = std::clamp<int64_t>(queue_[nextQueued_].atMs - scriptElapsedMs(), 0, 0x7fffffff);
    queueTimer_ = g_timeout_add_full(G_PRIORITY_DEFAULT, guint(wait), onQueueTimer, this, nullptr);
}

int Runner::onQueueTimer(void* data) {
    auto* self = static_cast<Runner*>(data);
    self->queueTimer_ = 0;
    int64_t now = self->scriptElapsedMs();
    while (self->nextQueued_ < self->queue_.size() && self->queue_[self->nextQueued_].atMs <= now) {
        performEvent(self->queue_[self->nextQueued_++]);
    }
    self->armQueue();
    return G_SOURCE_REMOVE;
}

bool Runner::frameShown(const FrameView& frame) {
    // Game thread only, so the check and the count cannot interleave.
    if (settings_.frames >= 0 && frames_.load() >= uint64_t(settings_.frames)) {
        if (!stopPosted_.exchange(true)) dispatchAsyncMain(stopRun);  // a limit of 0
        return false;
    }
    uint64_t n = frames_.fetch_add(1) + 1;
    if (n == 1 && repeatable()) {
        firstFrameCall_ = hookCalls_;
    } else if (n == 1 && !settings_.script.empty()) {
        // The run's own runner, looked up when the block runs: a block left
        // over after the run finds none.
        dispatchAsyncMain([]() {
            if (Runner* r = currentRunner()) r->scheduleScript();
        });
    }
    if (!settings_.shotsDir.empty()) {
        last_.presentFrame(frame);
        if (n % uint64_t(settings_.every) == 0) {
            char name[64];
            std::snprintf(name, sizeof name, "/frame-%06llu.png", static_cast<unsigned long long>(n));
            std::string path = settings_.shotsDir + name;
            if (writeFrame(path, frame.rgba, frame.width, frame.height)) {
                shots_.fetch_add(1);
            } else {
                std::fprintf(stderr, "mekko: cannot write %s\n", path.c_str());
            }
        }
    }
    if (settings_.frames >= 0 && n >= uint64_t(settings_.frames) && !stopPosted_.exchange(true)) {
        dispatchAsyncMain(stopRun);
    }
    return true;
}

void Runner::setOverlay(const uint32_t* argb, int32_t width, int32_t height, int32_t stride) {
    std::lock_guard<std::mutex> guard(overlayLock_);
    bool any = false;
    for (int32_t y = 0; y < height && !any; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(argb) + size_t(y) * stride);
        for (int32_t x = 0; x < width; ++x) {
            if (row[x] >> 24) {
                any = true;
                break;
            }
        }
    }
    if (!any) {
        // Nothing over the game: the frames are written as drawn.
        overlay_.clear();
        overlayWidth_ = overlayHeight_ = 0;
        return;
    }
    overlay_.resize(size_t(width) * size_t(height));
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(&overlay_[size_t(y) * width], reinterpret_cast<const uint8_t*>(argb) + size_t(y) * stride,
                    size_t(width) * 4);
    }
    overlayWidth_ = width;
    overlayHeight_ = height;
}

bool Runner::writeFrame(const std::string& path, const uint8_t* rgba, int32_t width, int32_t height) {
    std::lock_guard<std::mutex> guard(overlayLock_);
    bool over = !overlay_.empty() && overlayWidth_ == width && overlayHeight_ == height;
    // The screen is opaque: what blending left in the frame's alpha is not
    // part of the picture. The views over the game, premultiplied, go on top.
    composed_.resize(size_t(width) * size_t(height) * 4);
    for (size_t i = 0, n = size_t(width) * size_t(height); i < n; ++i) {
        const uint8_t* f = rgba + i * 4;
        uint8_t* out = &composed_[i * 4];
        if (!over) {
            out[0] = f[0];
            out[1] = f[1];
            out[2] = f[2];
        } else {
            uint32_t o = overlay_[i];
            uint32_t keep = 255 - (o >> 24);
            out[0] = uint8_t(((o >> 16) & 0xff) + (f[0] * keep + 127) / 255);
            out[1] = uint8_t(((o >> 8) & 0xff) + (f[1] * keep + 127) / 255);
            out[2] = uint8_t((o & 0xff) + (f[2] * keep + 127) / 255);
        }
        out[3] = 255;
    }
    return writePNGFile(path.c_str(), composed_.data(), width, height, width * 4);
}

void Runner::finish() {
    std::vector<uint8_t> lastRGBA;
    int32_t lastW = 0, lastH = 0;
    if (!settings_.shotsDir.empty() && last_.latest(&lastRGBA, &lastW, &lastH)) {
        std::string path = settings_.shotsDir + "/last.png";
        if (writeFrame(path, lastRGBA.data(), lastW, lastH)) {
            shots_.fetch_add(1);
        } else {
            std::fprintf(stderr, "mekko: cannot write %s\n", path.c_str());
        }
    }
    std::printf("mekko: %llu frames presented", static_cast<unsigned long long>(frames()));
    if (!settings_.shotsDir.empty()) std::printf(", %d pictures in %s", shotsWritten(), settings_.shotsDir.c_str());
    std::printf("\n");
    double mean = 0, p99 = 0;
    size_t count = 0;
    if (settings_.pacing && pacing(&mean, &p99, &count)) {
        std::printf("mekko: pacing over %zu frame steps: mean %.2f ms, p99 %.2f ms\n", count, mean, p99);
    }
    if (settings_.verbose) std::fputs(startupReport("mekko: start-up: ").c_str(), stdout);
    std::fflush(stdout);
}

Runner* currentRunner() { return gRunner.load(); }
void setCurrentRunner(Runner* runner) { gRunner.store(runner); }

}  // namespace KelpaHost
