// ctest-label: threads
// test-links: kelpa_ios
// The sound lock: sounds of two audio objects played and paused from
// several threads while pause-all, resume-all and the destruction of an
// audio object run on another.
#include <gtest/gtest.h>

#include <AL/al.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/Audio.h"
#include "engine/Sound.h"
#include "engine/ios/AudioImp.h"
#include "engine/ios/Factories.h"
#include "engine/ios/SoundImp.h"
#include "tests/engine/audio_test_util.h"

using namespace audiotest;
using KelpaEngine::RefPtr;
using KelpaEngine::Sound;
using KelpaEngine::iOS::AlContextScope;
using KelpaEngine::iOS::AudioImp;
using KelpaEngine::iOS::SoundImp;

// OpenAL Soft is not built with ThreadSanitizer: its mixer thread and the
// closing of its device synchronise through atomics the sanitizer cannot
// see, which it then reports as races inside the library.
extern "C" const char* __tsan_default_suppressions() { return "race:libopenal.so\n"; }

namespace {

struct TableAudio : AudioImp {
    using AudioImp::sounds_;
};

TEST(AudioThreads, PlayPauseAndPauseAllFromSeveralThreads) {
    AssetFolder folder;
    folder.write("s.wav", simpleWav(22050));

    RefPtr<TableAudio> scene = KelpaEngine::makeRef<TableAudio>();
    RefPtr<TableAudio> panel = KelpaEngine::makeRef<TableAudio>();
    ASSERT_TRUE(scene && panel);
    ASSERT_EQ(scene->init(), 0);
    ASSERT_EQ(panel->init(), 0);

    constexpr int kSoundsEach = 4;
    std::vector<RefPtr<Sound>> sounds;
    for (int i = 0; i < kSoundsEach; ++i) {
        for (TableAudio* a : {scene.get(), panel.get()}) {
            RefPtr<Sound> s = a->createSound(1, "s.wav", 0, true);
            ASSERT_TRUE(s);
            ASSERT_NE(dynamic_cast<SoundImp*>(s.get())->sourceName(), 0u);
            a->sounds_[i] = s;
            sounds.push_back(s);
        }
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::atomic<bool> stop{false};
    std::vector<std::thread> players;
    for (size_t t = 0; t < sounds.size(); ++t) {
        players.emplace_back([&, t] {
            RefPtr<Sound> s = sounds[t];
            for (int i = 0; i < 300 && !stop.load() && std::chrono::steady_clock::now() < deadline; ++i) {
                s->play(i % 3 == 0 ? 2 : 1, (i & 1) ? -1 : 0);
                if (i % 4 == 1) s->pause();
            }
        });
    }
    std::thread system([&] {
        for (int i = 0; i < 200 && std::chrono::steady_clock::now() < deadline; ++i) {
            scene->pauseAll();
            panel->resumeAll();
            panel->setBGMOff(i & 1);
            panel->pauseAll();
            scene->resumeAll();
        }
    });
    system.join();
    // The panel goes while the scene's sounds are still being played.
    panel = nullptr;
    for (std::thread& t : players) t.join();
    stop = true;
    ASSERT_LT(std::chrono::steady_clock::now(), deadline);

    // Every sound is still whole and answers in its own context.
    for (const RefPtr<Sound>& s : sounds) {
        auto* si = dynamic_cast<SoundImp*>(s.get());
        s->play(3, 0);
        AlContextScope scope(si->context());
        ASSERT_TRUE(scope.ok());
        ALint st = 0;
        alGetSourcei(si->sourceName(), AL_SOURCE_STATE, &st);
        EXPECT_EQ(st, AL_PLAYING);
    }
}

TEST(AudioThreads, SoundsOfDifferentObjectsOnDifferentThreads) {
    AssetFolder folder;
    folder.write("s.wav", simpleWav(22050));
    // Each thread makes, plays and drops its own audio object and sounds;
    // none may disturb another's context.
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 5; ++round) {
                RefPtr<KelpaEngine::Audio> a = KelpaEngine::iOS::createAudioImp();
                if (!a) {
                    ++failures;
                    return;
                }
                RefPtr<Sound> s = a->createSound(2, "s.wav", 0, true);
                auto* si = dynamic_cast<SoundImp*>(s.get());
                if (!si || si->sourceName() == 0) {
                    ++failures;
                    continue;
                }
                s->play(2, -1);
                s->pause();
                AlContextScope scope(si->context());
                ALint st = 0;
                alGetSourcei(si->sourceName(), AL_SOURCE_STATE, &st);
                if (st != AL_PAUSED) ++failures;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
