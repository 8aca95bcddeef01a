// test-links: kelpa_ios platform_gl
// A world for the game's tests: the real application over a fake host and
// clock, the real GL graphics on the surfaceless context (with a log of the
// draw calls the scenes make), real audio on OpenAL's null driver, the real
// assets, a temporary documents folder, a game data record filled as the
// game entry fills it, and the game's random source and play clock under
// the test's control. Scenes are stepped frame by frame as the scene runner
// steps them.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Application.h"
#include "engine/Image.h"
#include "engine/Pointing.h"
#include "engine/Sprite2D.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "game/GameData.h"
#include "game/GameEnv.h"
#include "game/MekkoGame.h"
#include "game/SceneKit.h"
#include "platform/ScreenProfile.h"
#include "tests/engine/test_application_fakes.h"

namespace gametest {

using namespace KelpaEngine;

constexpr char kAssets[] = KELPA_SOURCE_DIR "/assets/Assets.bundle";

struct DrawCall {
    std::string op;     // "image", "scaled", "sprite", "fill"
    std::string image;  // the image's file name ("" for unnamed images and fills)
    int x = 0, y = 0;   // as passed (for sprites: the sprite's own x, y plus the shift)
};

// The real GL graphics, logging what is recorded.
class LoggingGraphics : public iOS::GraphicsImp {
public:
    using iOS::GraphicsImp::GraphicsImp;
    using Graphics::drawImage;
    using Graphics::drawImageScaled;
    using Graphics::drawSpriteAt;

    int drawImage(int x, int y, Image* image) override {
        if (logging) log.push_back({"image", nameOf(image), x, y});
        return GraphicsImp::drawImage(x, y, image);
    }
    int drawImageScaled(int x, int y, Image* image) override {
        if (logging) log.push_back({"scaled", nameOf(image), x, y});
        return GraphicsImp::drawImageScaled(x, y, image);
    }
    int drawSpriteAt(int dx, int dy, Sprite2D* sprite) override {
        if (sprite && logging) log.push_back({"sprite", nameOf(sprite->image.get()), sprite->x + dx, sprite->y + dy});
        return GraphicsImp::drawSpriteAt(dx, dy, sprite);
    }
    int fillRect(int x, int y, int w, int h) override {
        if (logging) log.push_back({"fill", "", x, y});
        return GraphicsImp::fillRect(x, y, w, h);
    }

    // Calls drawing the named image (any op), in order.
    std::vector<DrawCall> callsOf(const std::string& image) const {
        std::vector<DrawCall> out;
        for (const DrawCall& c : log) {
            if (c.image == image) out.push_back(c);
        }
        return out;
    }
    bool drew(const std::string& image) const { return !callsOf(image).empty(); }

    std::vector<DrawCall> log;
    bool logging = true;  // off: draws go through as they are, nothing kept

private:
    static std::string nameOf(Image* image) { return image && image->getName() ? image->getName() : ""; }
};

class GamePlatform : public iOS::PlatformObjects {
public:
    RefPtr<Graphics> createGraphics(Application* app) override {
        RefPtr<LoggingGraphics> g = makeRef<LoggingGraphics>(app);
        if (!g) return nullptr;
        g->createResources();
        graphics = g.get();
        return g;
    }
    LoggingGraphics* graphics = nullptr;
};

// A random source that gives a fixed value, or a scripted run of values
// (then the fixed value again).
class ScriptedRandom : public mekko::RandomSource {
public:
    void seed(uint32_t s) override { seeds.push_back(s); }
    int32_t next() override {
        ++draws;
        if (!queue.empty()) {
            int32_t v = queue.front();
            queue.erase(queue.begin());
            return v;
        }
        return fixed;
    }
    int32_t fixed = 0;
    std::vector<int32_t> queue;
    std::vector<uint32_t> seeds;
    int64_t draws = 0;
};

struct TempFolder {
    TempFolder() {
        char tmpl[] = "/tmp/mekko_game_XXXXXX";
        if (::mkdtemp(tmpl)) path = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::string file(const char* name) const { return path + "/" + name; }
    std::string path;
};

// "mekko.sav" as the game lays it out, from words 0 to 40 (word 34 is not
// in the file): for crafted save fixtures and for reading back what a scene
// saved.
inline size_t saveWordOffset(int word) {
    if (word == 0) return 4;
    if (word == 1) return 8;
    if (word >= 2 && word < 32) {
        int row = (word - 2) % 10, part = (word - 2) / 10;
        return size_t(16 + 12 * row + 4 * part);
    }
    switch (word) {
        case 32: return 136;
        case 33: return 140;
        case 35: return 144;
        case 36: return 148;
        case 37: return 152;
        case 38: return 156;
        case 39: return 160;
        case 40: return 164;
        default: return 0;  // word 34
    }
}

inline bool writeSaveFile(const std::string& path, const uint32_t* words) {
    uint8_t bytes[mekko::kSaveFileBytes] = {};
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(0, mekko::kSaveMagic);
    put(12, mekko::kSaveMagic);
    put(168, mekko::kSaveMagic);
    for (int w = 0; w < mekko::kWordCount; ++w) {
        if (size_t at = saveWordOffset(w)) put(at, words[w]);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, sizeof bytes, f) == sizeof bytes;
    return std::fclose(f) == 0 && ok;
}

// The words of a saved file (word 34 reads 0); false unless it is 172 bytes.
inline bool readSaveFile(const std::string& path, uint32_t* words) {
    uint8_t bytes[mekko::kSaveFileBytes + 1] = {};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    size_t n = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    if (n != size_t(mekko::kSaveFileBytes)) return false;
    for (int w = 0; w < mekko::kWordCount; ++w) {
        size_t at = saveWordOffset(w);
        words[w] = 0;
        if (at == 0) continue;
        for (int i = 0; i < 4; ++i) words[w] |= uint32_t(bytes[at + size_t(i)]) << (8 * i);
    }
    return true;
}

class GameWorld {
public:
    explicit GameWorld(const char* profileName = "375x667@2") {
        const KelpaPlatform::ScreenProfile* p = KelpaPlatform::findScreenProfile(profileName);
        if (p) profile = *p;
        KelpaPlatform::setCurrentScreenProfile(profile);
        iOS::GraphicsImp::resetViewportMemoForTesting();
        iOS::setAssetFolder(kAssets);
        iOS::setDocumentsFolder(docs.path.c_str());
        mekko::installRandomSource(&random);
        mekko::installPlayClock(&playClock);
        iOS::ApplicationSeams seams;
        seams.hook = &host;
        seams.clock = &clock;
        seams.platform = &platform;
        app = makeRef<iOS::ApplicationImp>("mekko", seams);
        app->setScreenSize(profile.widthPoints, profile.heightPoints);
        data = new mekko::GameData();
        // Save words a test writes before start() reach the scenes as saved.
    }

    // Builds the record as the game entry does (reads the save file).
    void start() { mekko::prepareGameData(data, app); }

    ~GameWorld() {
        scene.reset();
        delete data;
        app.reset();
        mekko::installRandomSource(nullptr);
        mekko::installPlayClock(nullptr);
        iOS::setAssetFolder(nullptr);
        iOS::setDocumentsFolder(nullptr);
        KelpaPlatform::setCurrentScreenProfile(KelpaPlatform::defaultScreenProfile());
    }

    LoggingGraphics* graphics() const { return platform.graphics; }

    std::string savePath() const { return docs.file(mekko::kSaveFileName); }

    // A touch for the next frame, in scene coordinates.
    void touch(int32_t x, int32_t y, int32_t phase) { touches.push_back({x, y, phase}); }
    void tap(int32_t x, int32_t y) {
        touch(x, y, kPhaseBegan);
        step();
        touch(x, y, kPhaseEnded);
    }

    // Makes scene current and runs its init.
    void enter(mekko::SceneRef next) {
        scene = std::move(next);
        if (RefPtr<Pointing> p = app->getPointing()) p->reset(true);
        if (scene) scene->init(app.get());
    }

    // One frame as the runner does it: the frame step (with the queued
    // touches handed over), the queue swap, update, and draw and present when
    // the scene stays. Returns true when the scene handed over to another
    // one (which is then entered).
    bool step() {
        if (!scene) return false;
        hooksThisStep = 0;
        app->frameStep(16, true);
        RefPtr<Pointing> pointing = app->getPointing();
        for (const Touch& t : touches) pointing->intake(t.x, t.y, 1, t.phase);
        touches.clear();
        pointing->swapQueues();
        playClock.t += 16;
        mekko::SceneRef next = scene->update(app.get());
        if (next.get() != scene.get()) {
            enter(std::move(next));
            return true;
        }
        if (LoggingGraphics* g = graphics()) g->log.clear();
        RefPtr<Graphics> g = app->getGraphics();
        if (drawFrames && g && scene->isDirty() && app->getState() != kStatePaused) {
            scene->clearDirty();
            if (scene->draw(app.get(), g.get())) g->present();
        }
        return false;
    }
    // Steps until the scene changes or n frames have run; true on a change.
    bool run(int n) {
        for (int i = 0; i < n; ++i) {
            if (step()) return true;
        }
        return false;
    }

    // Steps n frames without drawing them (rendering is the costly part of
    // a frame), then one drawn frame; true when the scene changed.
    bool runThenDraw(int n) {
        drawFrames = false;
        bool changed = run(n);
        drawFrames = true;
        return changed || step();
    }

    struct Touch {
        int32_t x, y, phase;
    };

    // False: step() runs updates only, nothing is drawn or presented.
    bool drawFrames = true;
    // Frame hook calls since step() began: the first is the step's own, any
    // later one a frame of a modal loop inside update (the pause panel).
    int hooksThisStep = 0;

    KelpaPlatform::ScreenProfile profile = KelpaPlatform::defaultScreenProfile();
    TempFolder docs;
    apptest::FakeClock clock;
    apptest::FakeHost host{&clock};
    apptest::FakeClock playClock;
    GamePlatform platform;
    ScriptedRandom random;
    RefPtr<iOS::ApplicationImp> app;
    mekko::GameData* data = nullptr;
    mekko::SceneRef scene;
    std::vector<Touch> touches;
};

}  // namespace gametest
