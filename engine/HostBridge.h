// The seam between the engine's bridges and the platform host's services:
// the three ad wishes, the two share sheets and opening a URL, and what a
// repeatable run gives the game: a random seed and a clock of its own.
//
// The ad wishes are single bytes: the game thread writes them through
// Adsense::show, the host's main-queue blocks read them, and the host clears
// the interstitial wish when the pop-up fails or closes. Each is an atomic
// byte, so the two sides need no lock.
//
// The host derives from HostBridge, overrides the platform services (and may
// keep the wish storage given here) and installs it with installHostBridge
// before the game thread starts. Without one, the default keeps the wishes
// and does nothing for share and open-URL.
#pragma once

#include <atomic>
#include <cstdint>

namespace KelpaEngine {

class FrameClock;

enum AdKind : int32_t {
    kAdTopBanner = 1,
    kAdBottomBanner = 2,
    kAdInterstitial = 3,
};

class HostBridge {
public:
    HostBridge() = default;
    virtual ~HostBridge() = default;
    HostBridge(const HostBridge&) = delete;
    HostBridge& operator=(const HostBridge&) = delete;

    // Ad wishes, 1 wanted, 0 not; kinds other than the three AdKind values
    // are ignored (and read as 0). Safe from any thread.
    virtual void storeAdWish(int32_t kind, uint8_t wish);
    virtual uint8_t adWish(int32_t kind) const;

    // Platform services. The text is UTF-8 and valid only for the call; the
    // host copies what it keeps. share* are called on the game thread and
    // show their sheet asynchronously; openURL runs on the calling thread.
    virtual void shareTwitter(const char* text);
    virtual void shareFacebook(const char* text);
    virtual void openURL(const char* url);

    // The seed the game's randomness starts from; -1 (the default) for none,
    // when the game seeds itself. Safe from any thread.
    void setRandomSeed(int64_t seed);
    int64_t randomSeed() const;
    // The clock the game measures its time with; null (the default) for
    // none, when the game uses monotonicClock(). The clock must outlive its
    // use. Safe from any thread.
    void setGameClock(FrameClock* clock);
    FrameClock* gameClock() const;

private:
    std::atomic<uint8_t> wishes_[3] = {0, 0, 0};
    std::atomic<int64_t> seed_{-1};
    std::atomic<FrameClock*> clock_{nullptr};
};

// The process-wide bridge. Passing null puts the default back. The bridge
// must outlive every use of it (in practice: the whole run).
void installHostBridge(HostBridge* bridge);
// The installed bridge, or the default one.
HostBridge& installedHostBridge();

}  // namespace KelpaEngine
