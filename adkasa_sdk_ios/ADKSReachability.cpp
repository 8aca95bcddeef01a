#include "adkasa_sdk_ios/ADKSReachability.h"

#include "platform/ns/NSNotificationCenter.h"

using namespace KelpaPlatform;

ADKSReachability::ADKSReachability(ReachabilityTarget target, bool localWiFi)
    : localWiFiRef_(localWiFi), target_(std::move(target)), source_(ReachabilitySource::current()) {}

ADKSReachability::~ADKSReachability() { stopNotifier(); }

std::shared_ptr<ADKSReachability> ADKSReachability::reachabilityWithHostName(const std::string& hostName) {
    if (hostName.empty()) return nullptr;
    ReachabilityTarget t;
    t.hostName = hostName;
    return std::shared_ptr<ADKSReachability>(new ADKSReachability(t, false));
}

std::shared_ptr<ADKSReachability> ADKSReachability::reachabilityWithAddress(uint32_t ipv4) {
    ReachabilityTarget t;
    t.address = ipv4;
    return std::shared_ptr<ADKSReachability>(new ADKSReachability(t, false));
}

std::shared_ptr<ADKSReachability> ADKSReachability::reachabilityForInternetConnection() {
    return reachabilityWithAddress(0);
}

std::shared_ptr<ADKSReachability> ADKSReachability::reachabilityForLocalWiFi() {
    ReachabilityTarget t;
    t.address = 0xA9FE0000u;  // 169.254.0.0, the link-local network
    return std::shared_ptr<ADKSReachability>(new ADKSReachability(t, true));
}

int32_t ADKSReachability::localWiFiStatusForFlags(uint32_t flags) {
    bool ok = (flags & kSCNetworkReachabilityFlagsReachable) && (flags & kSCNetworkReachabilityFlagsIsDirect);
    return ok ? kADKSReachable : kADKSNotReachable;
}

int32_t ADKSReachability::networkStatusForFlags(uint32_t flags) {
    if (!(flags & kSCNetworkReachabilityFlagsReachable)) return kADKSNotReachable;
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) return kADKSReachable;
    if (!(flags & kSCNetworkReachabilityFlagsConnectionRequired)) return kADKSReachable;
    bool onDemand = flags & (kSCNetworkReachabilityFlagsConnectionOnDemand | kSCNetworkReachabilityFlagsConnectionOnTraffic);
    if (onDemand && !(flags & kSCNetworkReachabilityFlagsInterventionRequired)) return kADKSReachable;
    return kADKSNotReachable;
}

int32_t ADKSReachability::currentReachabilityStatus() const {
    uint32_t flags = 0;
    if (!source_ || !source_->getFlags(target_, &flags)) return kADKSNotReachable;
    return localWiFiRef_ ? localWiFiStatusForFlags(flags) : networkStatusForFlags(flags);
}

bool ADKSReachability::connectionRequired() const {
    uint32_t flags = 0;
    return source_ && source_->getFlags(target_, &flags) && (flags & kSCNetworkReachabilityFlagsConnectionRequired);
}

bool ADKSReachability::startNotifier() {
    if (!source_) return false;
    if (observer_) return true;
    observer_ = source_->addObserver(target_, [this](uint32_t) {
        NSNotificationCenter::defaultCenter().postNotificationName(kADKSNetworkReachabilityChangedNotification, this);
    });
    return observer_ != 0;
}

void ADKSReachability::stopNotifier() {
    if (source_ && observer_) source_->removeObserver(observer_);
    observer_ = 0;
}
