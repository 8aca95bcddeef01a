// The ad client's seams, set for one test: a driven clock, reachability
// flags the test sets, fixed device facts and random numbers, and user
// defaults and a home folder of its own. Undone when it goes.
#pragma once

#include <unistd.h>

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "adkasa_sdk_ios/AdkasaEnvironment.h"
#include "platform/ns/NSDeviceFacts.h"
#include "platform/ns/NSNotificationCenter.h"
#include "platform/ns/SCNetworkReachability.h"
#include "tests/support/main_loop.h"

namespace adtest {

class FakeReachability : public KelpaPlatform::ReachabilitySource {
public:
    uint32_t flags = KelpaPlatform::kSCNetworkReachabilityFlagsReachable;
    bool readable = true;
    int reads = 0;

    bool getFlags(const KelpaPlatform::ReachabilityTarget&, uint32_t* out) override {
        ++reads;
        if (!readable) return false;
        *out = flags;
        return true;
    }
    uint64_t addObserver(const KelpaPlatform::ReachabilityTarget&, Observer o) override {
        observers_[++last_] = std::move(o);
        return last_;
    }
    void removeObserver(uint64_t id) override { observers_.erase(id); }
    void change(uint32_t f) {
        flags = f;
        auto copy = observers_;
        for (auto& [id, o] : copy) o(f);
    }
    void setOnline(bool online) { flags = online ? KelpaPlatform::kSCNetworkReachabilityFlagsReachable : 0u; }

private:
    uint64_t last_ = 0;
    std::map<uint64_t, Observer> observers_;
};

class FakeDevice : public KelpaPlatform::DeviceFacts {
public:
    std::string locale = "en_US";
    std::vector<std::string> languages{"en"};
    std::optional<std::string> shortVersion;
    std::optional<std::string> bundleId;
    std::string os = "7.1.2";
    std::string ua = "Mozilla/5.0 (Test) AppleWebKit/605.1.15";
    std::optional<std::string> adId;
    bool tracking = true;

    std::string currentLocaleIdentifier() const override { return locale; }
    std::vector<std::string> preferredLanguages() const override { return languages; }
    std::optional<std::string> bundleShortVersionString() const override { return shortVersion; }
    std::optional<std::string> bundleIdentifier() const override { return bundleId; }
    std::string systemVersion() const override { return os; }
    std::string webUserAgent() const override { return ua; }
    std::optional<std::string> advertisingIdentifier() const override { return adId; }
    bool advertisingTrackingEnabled() const override { return tracking; }
};

class FixedRandom : public KelpaPlatform::RandomSource {
public:
    std::deque<uint32_t> values;
    uint32_t fallback = 0;
    uint32_t next() override {
        if (values.empty()) return fallback;
        uint32_t v = values.front();
        values.pop_front();
        return v;
    }
};

class Environment {
public:
    Environment() {
        static int serial = 0;
        dir = std::filesystem::temp_directory_path() /
              ("adkasa-test-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        clock = std::make_shared<testloop::ManualClock>();
        reachability = std::make_shared<FakeReachability>();
        device = std::make_shared<FakeDevice>();
        random = std::make_shared<FixedRandom>();
        defaults = std::make_shared<KelpaPlatform::NSUserDefaults>((dir / "defaults.ini").string());
        KelpaPlatform::ReachabilitySource::setCurrent(reachability);
        KelpaPlatform::DeviceFacts::setCurrent(device);
        KelpaPlatform::RandomSource::setCurrent(random);
        auto& env = AdkasaEnvironment::shared();
        saved_ = env;
        env.clock = clock;
        env.userDefaults = defaults;
        env.homeDirectory = (dir / "home").string();
        env.endpoints = AdkasaEndpoints();
    }
    ~Environment() {
        AdkasaEnvironment::shared() = saved_;
        KelpaPlatform::ReachabilitySource::setCurrent(nullptr);
        KelpaPlatform::DeviceFacts::setCurrent(nullptr);
        KelpaPlatform::RandomSource::setCurrent(nullptr);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    Environment(const Environment&) = delete;
    Environment& operator=(const Environment&) = delete;

    void pointAt(const std::string& origin) { AdkasaEnvironment::shared().endpoints = AdkasaEndpoints::localService(origin); }
    std::string home() const { return AdkasaEnvironment::shared().home(); }

    std::filesystem::path dir;
    std::shared_ptr<testloop::ManualClock> clock;
    std::shared_ptr<FakeReachability> reachability;
    std::shared_ptr<FakeDevice> device;
    std::shared_ptr<FixedRandom> random;
    std::shared_ptr<KelpaPlatform::NSUserDefaults> defaults;

private:
    AdkasaEnvironment saved_;
};

}  // namespace adtest
