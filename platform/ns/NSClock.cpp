#include "platform/ns/NSClock.h"

#include <glib.h>

#include <cmath>
#include <map>

namespace KelpaPlatform {

namespace {

class GLibClock final : public Clock {
public:
    double now() const override { return static_cast<double>(g_get_real_time()) / 1e6; }

    TimerId schedule(double seconds, std::function<void()> fn) override {
        if (!(seconds > 0)) seconds = 0;
        if (seconds > 1e7) seconds = 1e7;  // a bad interval must not wrap the ms count
        auto ms = static_cast<guint>(std::ceil(seconds * 1000.0));
        TimerId id = ++lastId_;
        auto* call = new Call{this, id, std::move(fn)};
        guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, ms, &GLibClock::fire, call, &GLibClock::drop);
        sources_[id] = source;
        return id;
    }

    void cancel(TimerId id) override {
        auto it = sources_.find(id);
        if (it == sources_.end()) return;
        guint source = it->second;
        sources_.erase(it);
        g_source_remove(source);
    }

private:
    struct Call {
        GLibClock* clock;
        TimerId id;
        std::function<void()> fn;
    };

    static gboolean fire(gpointer data) {
        auto* call = static_cast<Call*>(data);
        call->clock->sources_.erase(call->id);
        auto fn = std::move(call->fn);
        if (fn) fn();
        return G_SOURCE_REMOVE;
    }
    static void drop(gpointer data) { delete static_cast<Call*>(data); }

    TimerId lastId_ = 0;
    std::map<TimerId, guint> sources_;  // main thread only
};

}  // namespace

std::shared_ptr<Clock> Clock::system() {
    static std::shared_ptr<Clock> clock = std::make_shared<GLibClock>();
    return clock;
}

}  // namespace KelpaPlatform
