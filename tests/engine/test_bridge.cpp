// ctest-label: threads
// test-links: kelpa_ios
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/FrameClock.h"
#include "engine/HostBridge.h"
#include "engine/ios/AdsenseImp.h"
#include "engine/ios/HttpImp.h"
#include "engine/ios/SocialShareImp.h"

using namespace KelpaEngine;

namespace {

// Records what the engine asks of the host.
class RecordingBridge : public HostBridge {
public:
    void shareTwitter(const char* text) override { note("twitter", text); }
    void shareFacebook(const char* text) override { note("facebook", text); }
    void openURL(const char* url) override { note("open", url); }

    struct Entry {
        std::string what;
        std::string text;
        const void* pointer;
        std::thread::id thread;
    };
    std::vector<Entry> entries() {
        std::lock_guard<std::mutex> lock(m_);
        return entries_;
    }

private:
    void note(const char* what, const char* text) {
        std::lock_guard<std::mutex> lock(m_);
        entries_.push_back({what, text ? text : "(null)", text, std::this_thread::get_id()});
    }
    std::mutex m_;
    std::vector<Entry> entries_;
};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { installHostBridge(&host); }
    void TearDown() override { installHostBridge(nullptr); }
    RecordingBridge host;
};

TEST_F(BridgeTest, AdWishesFollowShow) {
    RefPtr<Adsense> ads = iOS::AdsenseImp::create(nullptr);
    ASSERT_TRUE(ads);
    struct Step {
        int32_t kind;
        bool on;
        uint8_t top, bottom, inter;  // the wishes afterwards
    } steps[] = {
        {kAdTopBanner, true, 1, 0, 0},
        {kAdBottomBanner, true, 1, 1, 0},
        {kAdTopBanner, false, 0, 1, 0},
        {kAdInterstitial, false, 0, 1, 0},  // cannot be taken back by the game
        {kAdInterstitial, true, 0, 1, 1},
        {kAdInterstitial, false, 0, 1, 1},
        {0, true, 0, 1, 1},  // unknown kinds change nothing
        {4, true, 0, 1, 1},
        {-1, false, 0, 1, 1},
        {kAdBottomBanner, false, 0, 0, 1},
    };
    int i = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(i++);
        ads->show(s.kind, s.on);
        EXPECT_EQ(host.adWish(kAdTopBanner), s.top);
        EXPECT_EQ(host.adWish(kAdBottomBanner), s.bottom);
        EXPECT_EQ(host.adWish(kAdInterstitial), s.inter);
    }
    // The host clears the interstitial wish once the pop-up is done.
    host.storeAdWish(kAdInterstitial, 0);
    EXPECT_EQ(host.adWish(kAdInterstitial), 0);
    EXPECT_EQ(host.adWish(7), 0);
}

TEST_F(BridgeTest, WishesCrossThreadsWithoutALock) {
    // The game thread writes, the main thread reads and clears.
    RefPtr<Adsense> ads = iOS::AdsenseImp::create(nullptr);
    ASSERT_TRUE(ads);
    std::atomic<bool> done{false};
    std::thread game([&] {
        for (int i = 0; i < 2000; ++i) {
            ads->show(kAdTopBanner, i % 2 == 0);
            ads->show(kAdInterstitial, true);
        }
        ads->show(kAdTopBanner, true);
        done = true;
    });
    int seen = 0;
    while (!done) {
        seen += host.adWish(kAdTopBanner) + host.adWish(kAdBottomBanner);
        host.storeAdWish(kAdInterstitial, 0);
    }
    game.join();
    EXPECT_EQ(host.adWish(kAdTopBanner), 1);
    EXPECT_GE(seen, 0);
}

TEST_F(BridgeTest, ShareHandsTheGivenTextToTheRightSheet) {
    std::unique_ptr<SocialShare> share(iOS::SocialShareImp::create(nullptr, "stored text"));
    ASSERT_TRUE(share);
    ASSERT_NE(share->text(), nullptr);
    EXPECT_STREQ(share->text(), "stored text");
    EXPECT_NE(findHeader(share->text()), nullptr);  // an engine-heap copy

    const char* tweet = "I made $1,234.56";
    EXPECT_EQ(share->share(tweet, kShareTwitter), 1);
    EXPECT_EQ(share->share("on facebook", kShareFacebook), 1);
    EXPECT_EQ(share->share("nowhere", 2), 1);
    EXPECT_EQ(share->share("nowhere", -1), 1);
    auto entries = host.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].what, "twitter");
    EXPECT_EQ(entries[0].pointer, tweet);  // the argument, not the stored copy
    EXPECT_EQ(entries[1].what, "facebook");
    EXPECT_EQ(entries[1].text, "on facebook");
}

TEST_F(BridgeTest, ShareObjectsOwnTheirCopy) {
    HeapCounters before = heapCounters();
    SocialShare* withText = iOS::SocialShareImp::create(nullptr, "abc");
    SocialShare* without = iOS::SocialShareImp::create(nullptr, nullptr);
    ASSERT_TRUE(withText && without);
    EXPECT_EQ(without->text(), nullptr);
    delete withText;
    delete without;
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);

    // The base class shares nothing.
    SocialShare base(nullptr, "x");
    EXPECT_EQ(base.share("x", kShareTwitter), 0);
    EXPECT_TRUE(host.entries().empty());
}

TEST_F(BridgeTest, OpenUrlGoesToTheHostOnTheCallingThread) {
    std::unique_ptr<iOS::HttpImp> http(iOS::HttpImp::create(nullptr));
    ASSERT_TRUE(http);
    http->openURL("https://apps.example.com/developer/id1");
    http->openURL(nullptr);
    auto entries = host.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].what, "open");
    EXPECT_EQ(entries[0].text, "https://apps.example.com/developer/id1");
    EXPECT_EQ(entries[0].thread, std::this_thread::get_id());
    EXPECT_FALSE(http->isBusy());
}

TEST(HostBridgeDefault, KeepsWishesAndIgnoresServices) {
    installHostBridge(nullptr);
    HostBridge& b = installedHostBridge();
    b.shareTwitter("t");
    b.shareFacebook("f");
    b.openURL("u");
    b.storeAdWish(kAdBottomBanner, 1);
    EXPECT_EQ(b.adWish(kAdBottomBanner), 1);
    b.storeAdWish(kAdBottomBanner, 0);
    EXPECT_EQ(b.adWish(kAdBottomBanner), 0);
}

TEST(HostBridgeRun, SeedAndGameClockStartUnsetAndCrossThreads) {
    HostBridge b;
    EXPECT_EQ(b.randomSeed(), -1);
    EXPECT_EQ(b.gameClock(), nullptr);
    MonotonicClock clock;
    // Set on one thread (the host before the game starts), read on another.
    std::thread host([&] {
        b.setRandomSeed(4294967295);
        b.setGameClock(&clock);
    });
    host.join();
    EXPECT_EQ(b.randomSeed(), 4294967295);
    EXPECT_EQ(b.gameClock(), &clock);
    b.setRandomSeed(-1);
    b.setGameClock(nullptr);
    EXPECT_EQ(b.randomSeed(), -1);
    EXPECT_EQ(b.gameClock(), nullptr);
}

}  // namespace
