// Network reachability flags, as the phone's reachability service gives
// them, from GNetworkMonitor. The source is a seam: tests put one in place
// whose flags they set.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace KelpaPlatform {

constexpr uint32_t kSCNetworkReachabilityFlagsTransientConnection = 1u << 0;
constexpr uint32_t kSCNetworkReachabilityFlagsReachable = 1u << 1;
constexpr uint32_t kSCNetworkReachabilityFlagsConnectionRequired = 1u << 2;
constexpr uint32_t kSCNetworkReachabilityFlagsConnectionOnTraffic = 1u << 3;
constexpr uint32_t kSCNetworkReachabilityFlagsInterventionRequired = 1u << 4;
constexpr uint32_t kSCNetworkReachabilityFlagsConnectionOnDemand = 1u << 5;
constexpr uint32_t kSCNetworkReachabilityFlagsIsLocalAddress = 1u << 16;
constexpr uint32_t kSCNetworkReachabilityFlagsIsDirect = 1u << 17;
constexpr uint32_t kSCNetworkReachabilityFlagsIsWWAN = 1u << 18;

// What a reachability reference watches: a host name, or an IPv4 address
// in host byte order (0 = the default route).
struct ReachabilityTarget {
    std::string hostName;
    uint32_t address = 0;
};

class ReachabilitySource {
public:
    using Observer = std::function<void(uint32_t flags)>;
    virtual ~ReachabilitySource() = default;
    // False when the flags cannot be read.
    virtual bool getFlags(const ReachabilityTarget& target, uint32_t* flags) = 0;
    // Observers hear every change, on the main context. Returns an id > 0.
    virtual uint64_t addObserver(const ReachabilityTarget& target, Observer observer) = 0;
    virtual void removeObserver(uint64_t id) = 0;

    // The monitor of the system unless replaced.
    static std::shared_ptr<ReachabilitySource> current();
    static void setCurrent(std::shared_ptr<ReachabilitySource> source);
};

}  // namespace KelpaPlatform
