// Threads over POSIX threads.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "engine/Thread.h"

namespace KelpaEngine {
namespace iOS {

class ThreadImp : public Thread {
public:
    // The call that creates the POSIX thread; replaceable so that a failing
    // start can be exercised. Null puts pthread_create back.
    using Starter = int (*)(pthread_t* handle, const pthread_attr_t* attributes, void* (*function)(void*),
                            void* argument);
    static void setStarter(Starter starter);

    ThreadImp() = default;
    ~ThreadImp() override = default;

    int32_t join() override;

    // Starts function(argument) on a detached thread; 0 or an error number.
    int32_t start(Function function, void* argument);

private:
    pthread_t handle_{};
    bool started_ = false;
    bool detached_ = false;
};

}  // namespace iOS
}  // namespace KelpaEngine
