// test-links: kelpa_ios
// What the menu screens' tests look at besides the draw log: the ad wishes
// and URLs the scenes hand the host, whether a sound's OpenAL source is
// really playing, where a button is, and an asset folder that differs from
// the real one in a few files.
#pragma once

#include <AL/al.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "engine/Heap.h"
#include "engine/HostBridge.h"
#include "engine/Pointing.h"
#include "engine/Sound.h"
#include "engine/ios/AudioImp.h"
#include "engine/ios/Paths.h"
#include "engine/ios/SoundImp.h"
#include "tests/game/game_fixture.h"

namespace gametest {

// The host's side of the bridges, recording what the game asks of it.
class ProbeBridge : public KelpaEngine::HostBridge {
public:
    ProbeBridge() { KelpaEngine::installHostBridge(this); }
    ~ProbeBridge() override { KelpaEngine::installHostBridge(nullptr); }

    struct Wish {
        int32_t kind;
        uint8_t on;
    };
    void storeAdWish(int32_t kind, uint8_t wish) override {
        wishes.push_back({kind, wish});
        HostBridge::storeAdWish(kind, wish);
    }
    void openURL(const char* url) override {
        ++urlCount;
        lastURL = url ? url : "";
    }
    // The wishes of one frame, then forget them.
    std::vector<Wish> take() {
        std::vector<Wish> out;
        out.swap(wishes);
        return out;
    }
    static bool asked(const std::vector<Wish>& frame, int32_t kind, uint8_t on) {
        for (const Wish& w : frame) {
            if (w.kind == kind && w.on == on) return true;
        }
        return false;
    }

    std::vector<Wish> wishes;
    int32_t urlCount = 0;
    std::string lastURL;
};

// True while the sound's source is playing in OpenAL (not just marked so).
inline bool sounding(KelpaEngine::Sound* sound) {
    auto* s = dynamic_cast<KelpaEngine::iOS::SoundImp*>(sound);
    if (!s || !s->sourceName()) return false;
    KelpaEngine::iOS::AlContextScope scope(s->context());
    if (!scope.ok()) return false;
    ALint state = AL_STOPPED;
    alGetSourcei(s->sourceName(), AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

// A button's middle from its left edge, width and vertical centre.
struct Point {
    int32_t x, y;
};
inline Point middleOf(int32_t left, int32_t width, int32_t y) { return {left + width / 2, y}; }

// A tap that the scene sees released on this frame: down on one frame, up
// on the next (which the caller steps).
inline void tapAt(GameWorld& world, Point p) { world.tap(p.x, p.y); }

// An asset folder of links to the real assets, without the files left out
// and with the files given; it is made current and the real one put back
// afterwards.
class AssetOverlay {
public:
    AssetOverlay(std::initializer_list<const char*> leaveOut,
                 std::initializer_list<std::pair<const char*, std::string>> files = {}) {
        namespace fs = std::filesystem;
        std::set<std::string> skip;
        for (const char* n : leaveOut) skip.insert(n);
        for (const auto& f : files) skip.insert(f.first);
        for (const auto& entry : fs::directory_iterator(kAssets)) {
            const std::string name = entry.path().filename().string();
            if (skip.count(name)) continue;
            std::error_code ec;
            fs::create_symlink(entry.path(), folder_.path + "/" + name, ec);
        }
        for (const auto& f : files) {
            std::ofstream out(folder_.file(f.first), std::ios::binary);
            out << f.second;
        }
        KelpaEngine::iOS::setAssetFolder(folder_.path.c_str());
    }
    ~AssetOverlay() { KelpaEngine::iOS::setAssetFolder(kAssets); }
    AssetOverlay(const AssetOverlay&) = delete;
    AssetOverlay& operator=(const AssetOverlay&) = delete;

private:
    TempFolder folder_;
};

inline uint32_t liveHeapBlocks() { return KelpaEngine::heapCounters().liveBlocks; }

// The little-endian word at a byte offset of a file (0 when the file is
// shorter).
inline uint32_t fileWordAt(const std::string& path, std::streamoff offset) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    unsigned char b[4] = {0, 0, 0, 0};
    in.read(reinterpret_cast<char*>(b), 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

}  // namespace gametest
