#include "platform/ns/NSNotificationCenter.h"

#include <algorithm>

namespace KelpaPlatform {

NSNotificationCenter& NSNotificationCenter::defaultCenter() {
    static NSNotificationCenter* center = new NSNotificationCenter();
    return *center;
}

void NSNotificationCenter::addObserver(const void* observer, const std::string& name, Handler handler) {
    std::lock_guard<std::mutex> guard(lock_);
    entries_.push_back(Entry{observer, name, std::make_shared<Handler>(std::move(handler))});
}

void NSNotificationCenter::removeObserver(const void* observer) {
    std::lock_guard<std::mutex> guard(lock_);
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [observer](const Entry& e) { return e.observer == observer; }),
                   entries_.end());
}

void NSNotificationCenter::postNotificationName(const std::string& name, const void* object) {
    // Handlers run without the lock, so that one may register or remove.
    std::vector<std::shared_ptr<Handler>> handlers;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const Entry& e : entries_) {
            if (e.name == name) handlers.push_back(e.handler);
        }
    }
    for (auto& h : handlers) (*h)(object);
}

size_t NSNotificationCenter::observerCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}

}  // namespace KelpaPlatform
