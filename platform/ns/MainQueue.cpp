#include "platform/ns/MainQueue.h"

#include <glib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace KelpaPlatform {

namespace {

// The queue itself is ours, under a plain mutex; GLib only gets woken. A
// poster on another thread touches no GLib state but the context's wakeup,
// so the hand-over is visible to the race checkers as well.
// A ring of block slots that grows only when full and never shrinks: a
// steady flow of posts (the frame hook's two a frame) allocates nothing.
class BlockRing {
public:
    void push(std::function<void()>&& block) {
        if (count_ == slots_.size()) grow();
        slots_[(head_ + count_) % slots_.size()] = std::move(block);
        ++count_;
    }
    bool pop(std::function<void()>* out) {
        if (count_ == 0) return false;
        *out = std::move(slots_[head_]);
        slots_[head_] = nullptr;
        head_ = (head_ + 1) % slots_.size();
        --count_;
        return true;
    }
    size_t size() const { return count_; }

private:
    void grow() {
        std::vector<std::function<void()>> bigger(slots_.empty() ? kFirstSlots : slots_.size() * 2);
        for (size_t i = 0; i < count_; ++i) bigger[i] = std::move(slots_[(head_ + i) % slots_.size()]);
        slots_.swap(bigger);
        head_ = 0;
    }
    static constexpr size_t kFirstSlots = 256;
    std::vector<std::function<void()>> slots_;
    size_t head_ = 0;
    size_t count_ = 0;
};

std::mutex gQueueLock;
BlockRing gQueue;
std::atomic<int> gPending{0};

std::mutex gMainIdLock;
std::thread::id gMainId;
bool gMainIdSet = false;
GSource* gSource = nullptr;       // attached once, on the main thread
GMainContext* gContext = nullptr;  // the default context, fetched then

gboolean queuePrepare(GSource*, gint* timeout) {
    *timeout = -1;
    return gPending.load(std::memory_order_acquire) > 0;
}

gboolean queueCheck(GSource*) { return gPending.load(std::memory_order_acquire) > 0; }

gboolean queueDispatch(GSource*, GSourceFunc, gpointer) {
    // Only the blocks there now: one posted meanwhile waits for the next
    // round, so a block that posts another cannot starve the loop.
    size_t n;
    {
        std::lock_guard<std::mutex> guard(gQueueLock);
        n = gQueue.size();
    }
    for (size_t i = 0; i < n; ++i) {
        std::function<void()> block;
        {
            std::lock_guard<std::mutex> guard(gQueueLock);
            if (!gQueue.pop(&block)) break;
        }
        if (block) block();
        block = nullptr;
        gPending.fetch_sub(1, std::memory_order_acq_rel);
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs gQueueFuncs = {queuePrepare, queueCheck, queueDispatch, nullptr, nullptr, nullptr};

// Main thread only.
void attachSource() {
    if (gSource) return;
    gContext = g_main_context_default();
    gSource = g_source_new(&gQueueFuncs, sizeof(GSource));
    g_source_set_priority(gSource, G_PRIORITY_DEFAULT);
    g_source_attach(gSource, gContext);
}

}  // namespace

void dispatchAsyncMain(std::function<void()> block) {
    {
        std::lock_guard<std::mutex> guard(gQueueLock);
        gQueue.push(std::move(block));
    }
    gPending.fetch_add(1, std::memory_order_acq_rel);
    GMainContext* context = nullptr;
    {
        std::lock_guard<std::mutex> guard(gMainIdLock);
        context = gContext;
    }
    // Before the main thread has set up, the block waits in the queue.
    if (context) g_main_context_wakeup(context);
}

int mainQueuePending() { return gPending.load(std::memory_order_acquire); }

int drainMainQueue(int maxMs) {
    markMainThread();
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    int iterations = 0;
    while (mainQueuePending() > 0 && std::chrono::steady_clock::now() < until) {
        if (!g_main_context_iteration(g_main_context_default(), FALSE)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ++iterations;
    }
    return iterations;
}

void markMainThread() {
    std::lock_guard<std::mutex> guard(gMainIdLock);
    if (!gMainIdSet) {
        gMainId = std::this_thread::get_id();
        gMainIdSet = true;
    }
    if (gMainId == std::this_thread::get_id()) attachSource();
}

bool isMainThread() {
    std::lock_guard<std::mutex> guard(gMainIdLock);
    return gMainIdSet && gMainId == std::this_thread::get_id();
}

}  // namespace KelpaPlatform
