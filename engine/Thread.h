// A worker thread. Threads made by create are detached: they run their
// function once and end by themselves; nothing waits for them.
#pragma once

#include <cstdint>

#include "engine/Heap.h"

namespace KelpaEngine {

class Thread {
public:
    using Function = void* (*)(void* argument);

    virtual ~Thread() = default;
    // Waits for the thread and returns 0, or an error number without
    // waiting: for a detached thread, or one that never started.
    virtual int32_t join() = 0;

    // Starts a detached thread running function(argument); null when the
    // thread cannot be started (the argument is then still the caller's).
    static RefPtr<Thread> create(Function function, void* argument);
};

}  // namespace KelpaEngine
