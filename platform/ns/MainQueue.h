// The main queue: blocks run one at a time, in the order posted, on the
// thread that runs the process's main GLib context (the main thread, whose
// run loop is a GMainLoop, or GTK's). Posting never waits and never runs the
// block on the spot, from any thread.
#pragma once

#include <functional>

namespace KelpaPlatform {

void dispatchAsyncMain(std::function<void()> block);

// Blocks posted and not yet run (or under way).
int mainQueuePending();

// Runs the main context without blocking until no block is pending or
// `maxMs` has passed (for shutdown and tests on the main thread). Returns
// the number of context iterations made.
int drainMainQueue(int maxMs = 1000);

// The thread that first ran the main context through this file (or called
// markMainThread) counts as the main thread.
void markMainThread();
bool isMainThread();

}  // namespace KelpaPlatform
