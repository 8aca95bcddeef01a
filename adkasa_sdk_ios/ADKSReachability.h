// Whether the network can be reached, from the platform's reachability
// flags. The ad client only asks reachabilityForInternetConnection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ns/SCNetworkReachability.h"

constexpr int32_t kADKSNotReachable = 0;
constexpr int32_t kADKSReachable = 1;

inline constexpr const char* kADKSNetworkReachabilityChangedNotification =
    "kADKSNetworkReachabilityChangedNotification";

class ADKSReachability {
public:
    // Null when the platform cannot watch the target.
    static std::shared_ptr<ADKSReachability> reachabilityWithHostName(const std::string& hostName);
    // An IPv4 address in host byte order.
    static std::shared_ptr<ADKSReachability> reachabilityWithAddress(uint32_t ipv4);
    static std::shared_ptr<ADKSReachability> reachabilityForInternetConnection();
    static std::shared_ptr<ADKSReachability> reachabilityForLocalWiFi();

    ~ADKSReachability();
    ADKSReachability(const ADKSReachability&) = delete;
    ADKSReachability& operator=(const ADKSReachability&) = delete;

    int32_t currentReachabilityStatus() const;
    static int32_t localWiFiStatusForFlags(uint32_t flags);
    static int32_t networkStatusForFlags(uint32_t flags);
    bool connectionRequired() const;

    // Posts kADKSNetworkReachabilityChangedNotification (object: this) on
    // every change until stopNotifier.
    bool startNotifier();
    void stopNotifier();

    bool localWiFiRef() const { return localWiFiRef_; }

private:
    ADKSReachability(KelpaPlatform::ReachabilityTarget target, bool localWiFi);

    bool localWiFiRef_ = false;
    KelpaPlatform::ReachabilityTarget target_;
    std::shared_ptr<KelpaPlatform::ReachabilitySource> source_;
    uint64_t observer_ = 0;
};
