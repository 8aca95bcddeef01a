// test-links: kelpa_ios
// A log of what the screens do with their sounds: every audio object a
// screen makes (through the scene-audio seam) is a real one wrapped so that
// each play, pause, resume and stop is written down with the file name.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/Audio.h"
#include "engine/Sound.h"
#include "engine/ios/Factories.h"
#include "game/SceneAudio.h"

namespace gametest {

struct SoundEvent {
    std::string file;
    std::string op;  // "play", "pause", "resume", "stop"
    int kind = 0;
    int loop = 0;
};

// A sound that tells each call to a sink, then passes it on to the real one.
class LoggedSound : public KelpaEngine::Sound {
public:
    using Sink = std::function<void(const std::string& op, int kind, int loop)>;
    LoggedSound(KelpaEngine::RefPtr<KelpaEngine::Sound> real, Sink sink)
        : real_(std::move(real)), sink_(std::move(sink)) {}
    int play(int kind, int loop) override {
        sink_("play", kind, loop);
        return real_ ? real_->play(kind, loop) : 0;
    }
    bool isPlaying() override { return real_ && real_->isPlaying(); }
    void pause() override {
        sink_("pause", 0, 0);
        if (real_) real_->pause();
    }
    void resume() override {
        sink_("resume", 0, 0);
        if (real_) real_->resume();
    }
    void stop() override {
        sink_("stop", 0, 0);
        if (real_) real_->stop();
    }
    void systemPause() override {
        if (real_) real_->systemPause();
    }
    bool isMemory() override { return real_ && real_->isMemory(); }

private:
    KelpaEngine::RefPtr<KelpaEngine::Sound> real_;
    Sink sink_;
};

class SoundLog {
public:
    SoundLog() { mekko::installSceneAudioMaker(&SoundLog::make, this); }
    ~SoundLog() { mekko::installSceneAudioMaker(nullptr, nullptr); }
    SoundLog(const SoundLog&) = delete;
    SoundLog& operator=(const SoundLog&) = delete;

    int count(const std::string& file, const std::string& op) const {
        int n = 0;
        for (const SoundEvent& e : events) n += (e.file == file && e.op == op) ? 1 : 0;
        return n;
    }
    // Whether the sound would be sounding after the logged calls: a play or
    // a resume starts it (the engine's resume starts a stopped sound too), a
    // pause or a stop ends it.
    bool audible(const std::string& file) const {
        bool on = false;
        for (const SoundEvent& e : events) {
            if (e.file != file) continue;
            on = e.op == "play" || e.op == "resume";
        }
        return on;
    }
    // Any play or resume of any sound.
    bool anySound() const {
        for (const SoundEvent& e : events) {
            if (e.op == "play" || e.op == "resume") return true;
        }
        return false;
    }
    std::string describe() const {
        std::string s;
        for (const SoundEvent& e : events) s += e.op + " " + e.file + "; ";
        return s;
    }

    std::vector<SoundEvent> events;
    int audioObjects = 0;

private:
    class LoggedAudio : public KelpaEngine::Audio {
    public:
        LoggedAudio(KelpaEngine::RefPtr<KelpaEngine::Audio> real, SoundLog* log) : real_(std::move(real)), log_(log) {}
        int setBGMOff(int off) override { return real_ ? real_->setBGMOff(off) : 0; }
        int setSEOff(int off) override { return real_ ? real_->setSEOff(off) : 0; }
        KelpaEngine::RefPtr<KelpaEngine::Sound> createSound(int kind, const char* fileName, int flags,
                                                            bool loadNow) override {
            KelpaEngine::RefPtr<KelpaEngine::Sound> real =
                real_ ? real_->createSound(kind, fileName, flags, loadNow) : nullptr;
            SoundLog* log = log_;
            std::string file = fileName ? fileName : "";
            return KelpaEngine::makeRef<LoggedSound>(real, [log, file](const std::string& op, int kind, int loop) {
                log->events.push_back({file, op, kind, loop});
            });
        }
        KelpaEngine::RefPtr<KelpaEngine::Sound> createSE(const char* fileName, int rateCode, bool sixteenBit) override {
            return real_ ? real_->createSE(fileName, rateCode, sixteenBit) : nullptr;
        }
        int init() override { return real_ ? real_->init() : -1; }

    private:
        KelpaEngine::RefPtr<KelpaEngine::Audio> real_;
        SoundLog* log_;
    };

    static KelpaEngine::RefPtr<KelpaEngine::Audio> make(KelpaEngine::Application*, void* context) {
        auto* log = static_cast<SoundLog*>(context);
        ++log->audioObjects;
        return KelpaEngine::makeRef<LoggedAudio>(KelpaEngine::iOS::createAudioImp(), log);
    }
};

}  // namespace gametest
