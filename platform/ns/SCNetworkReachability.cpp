#include "platform/ns/SCNetworkReachability.h"

#include <gio/gio.h>

#include <map>
#include <mutex>

namespace KelpaPlatform {

namespace {

class MonitorSource final : public ReachabilitySource {
public:
    ~MonitorSource() override {
        if (monitor_ && handler_) g_signal_handler_disconnect(monitor_, handler_);
    }

    bool getFlags(const ReachabilityTarget& target, uint32_t* flags) override {
        GNetworkMonitor* monitor = g_network_monitor_get_default();
        if (!monitor) return false;
        *flags = flagsFor(monitor, target);
        return true;
    }

    uint64_t addObserver(const ReachabilityTarget& target, Observer observer) override {
        GNetworkMonitor* monitor = g_network_monitor_get_default();
        if (!monitor) return 0;
        if (!handler_) {
            monitor_ = monitor;
            handler_ = g_signal_connect(monitor, "network-changed", G_CALLBACK(&MonitorSource::changed), this);
        }
        uint64_t id = ++lastId_;
        observers_[id] = {target, std::move(observer)};
        return id;
    }

    void removeObserver(uint64_t id) override { observers_.erase(id); }

private:
    static uint32_t flagsFor(GNetworkMonitor* monitor, const ReachabilityTarget& target) {
        if (!target.hostName.empty() || target.address != 0) {
            GSocketConnectable* place;
            if (!target.hostName.empty()) {
                place = g_network_address_new(target.hostName.c_str(), 0);
            } else {
                char text[16];
                uint32_t a = target.address;
                g_snprintf(text, sizeof text, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
                place = g_network_address_new(text, 0);
            }
            gboolean reach = g_network_monitor_can_reach(monitor, place, nullptr, nullptr);
            g_object_unref(place);
            return reach ? kSCNetworkReachabilityFlagsReachable : 0u;
        }
        if (!g_network_monitor_get_network_available(monitor)) return 0;
        switch (g_network_monitor_get_connectivity(monitor)) {
        case G_NETWORK_CONNECTIVITY_LOCAL:
            return 0;
        case G_NETWORK_CONNECTIVITY_PORTAL:
            // A captive portal: reachable once the user signs in.
            return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsConnectionRequired |
                   kSCNetworkReachabilityFlagsInterventionRequired;
        default:
            return kSCNetworkReachabilityFlagsReachable;
        }
    }

    static void changed(GNetworkMonitor* monitor, gboolean, gpointer data) {
        auto* self = static_cast<MonitorSource*>(data);
        auto observers = self->observers_;
        for (auto& [id, entry] : observers) {
            if (self->observers_.count(id)) entry.second(flagsFor(monitor, entry.first));
        }
    }

    GNetworkMonitor* monitor_ = nullptr;
    gulong handler_ = 0;
    uint64_t lastId_ = 0;
    std::map<uint64_t, std::pair<ReachabilityTarget, Observer>> observers_;
};

std::mutex gLock;
std::shared_ptr<ReachabilitySource> gCurrent;

}  // namespace

std::shared_ptr<ReachabilitySource> ReachabilitySource::current() {
    std::lock_guard<std::mutex> guard(gLock);
    if (!gCurrent) gCurrent = std::make_shared<MonitorSource>();
    return gCurrent;
}

void ReachabilitySource::setCurrent(std::shared_ptr<ReachabilitySource> source) {
    std::lock_guard<std::mutex> guard(gLock);
    gCurrent = std::move(source);
}

}  // namespace KelpaPlatform
