// Scope of temporary platform objects. Objects here are reference counted or
// owned outright, so a pool only marks the scope the start-up code keeps.
#pragma once

namespace KelpaPlatform {

class NSAutoreleasePool {
public:
    NSAutoreleasePool() = default;
    ~NSAutoreleasePool() = default;
    NSAutoreleasePool(const NSAutoreleasePool&) = delete;
    NSAutoreleasePool& operator=(const NSAutoreleasePool&) = delete;
    // Ends the scope early; the destructor then does nothing more.
    void drain() { drained_ = true; }
    bool drained() const { return drained_; }

private:
    bool drained_ = false;
};

}  // namespace KelpaPlatform
