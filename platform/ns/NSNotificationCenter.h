// The notification centre: observers register a handler for a name (any
// sender); posting calls the handlers of that name on the posting thread, in
// registration order. Registration and posting may happen on different
// threads.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace KelpaPlatform {

class NSNotificationCenter {
public:
    using Handler = std::function<void(const void* object)>;

    static NSNotificationCenter& defaultCenter();

    // `observer` only identifies the registration for removeObserver.
    void addObserver(const void* observer, const std::string& name, Handler handler);
    // Drops every registration of the observer. A post already under way on
    // another thread may still call it once.
    void removeObserver(const void* observer);
    // Calls every handler registered for the name (none registered: nothing).
    void postNotificationName(const std::string& name, const void* object);

    size_t observerCount() const;

private:
    struct Entry {
        const void* observer;
        std::string name;
        std::shared_ptr<Handler> handler;
    };
    mutable std::mutex lock_;
    std::vector<Entry> entries_;
};

}  // namespace KelpaPlatform
