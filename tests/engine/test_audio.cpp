// test-links: kelpa_ios
// Audio objects and their sounds on OpenAL Soft (null output driver under
// ctest): mute switches by kind, the play/pause/stop state, looping, loading
// WAV and raw assets, several audio objects at once, and what destruction
// releases.
#include <gtest/gtest.h>

#include <AL/al.h>
#include <AL/alc.h>

#include "engine/Audio.h"
#include "engine/Heap.h"
#include "engine/Sound.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/AudioImp.h"
#include "engine/ios/Factories.h"
#include "engine/ios/SoundImp.h"
#include "tests/engine/audio_test_util.h"
#include "tests/support/stderr_capture.h"

using namespace audiotest;
using KelpaEngine::Audio;
using KelpaEngine::RefPtr;
using KelpaEngine::Sound;
using KelpaEngine::iOS::AlContextScope;
using KelpaEngine::iOS::AudioImp;
using KelpaEngine::iOS::AudioOutput;
using KelpaEngine::iOS::SoundAssetImp;
using KelpaEngine::iOS::SoundImp;

// For runs under ThreadSanitizer: OpenAL Soft is not built with it, and
// its mixer thread and the closing of its device synchronise through
// atomics the sanitizer cannot see.
extern "C" const char* __tsan_default_suppressions() { return "race:libopenal.so\n"; }

namespace {

AudioImp* imp(const RefPtr<Audio>& a) { return dynamic_cast<AudioImp*>(a.get()); }
SoundImp* imp(const RefPtr<Sound>& s) { return dynamic_cast<SoundImp*>(s.get()); }

// A source property read in the sound's own context.
ALint sourceInt(const RefPtr<Sound>& s, ALenum param) {
    SoundImp* si = imp(s);
    AlContextScope scope(si->context());
    EXPECT_TRUE(scope.ok());
    ALint v = -12345;
    alGetSourcei(si->sourceName(), param, &v);
    return v;
}
ALint state(const RefPtr<Sound>& s) { return sourceInt(s, AL_SOURCE_STATE); }
ALint bufferInt(const RefPtr<Sound>& s, ALenum param) {
    SoundImp* si = imp(s);
    AlContextScope scope(si->context());
    ALint v = -12345;
    alGetBufferi(si->bufferName(), param, &v);
    return v;
}

class AudioTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Two seconds: long enough to be still playing when checked.
        folder_.write("long.wav", simpleWav(44100));
        audio_ = KelpaEngine::iOS::createAudioImp();
        ASSERT_TRUE(audio_);
        ASSERT_NE(imp(audio_)->context(), nullptr) << "no OpenAL device (ALSOFT_DRIVERS=null?)";
    }
    RefPtr<Sound> longSound(const RefPtr<Audio>& audio) {
        RefPtr<Sound> s = audio->createSound(1, "long.wav", 0, true);
        EXPECT_TRUE(s);
        EXPECT_NE(imp(s)->sourceName(), 0u);
        return s;
    }
    AssetFolder folder_;
    RefPtr<Audio> audio_;
};

TEST_F(AudioTest, SwitchesReturnThePreviousValue) {
    EXPECT_EQ(audio_->setBGMOff(1), 0);
    EXPECT_EQ(audio_->setBGMOff(1), 1);
    EXPECT_EQ(audio_->setBGMOff(0), 1);
    EXPECT_EQ(audio_->setSEOff(256), 0);  // any non-zero mutes
    EXPECT_TRUE(imp(audio_)->isSEOff());
    EXPECT_EQ(audio_->setSEOff(0), 1);
    EXPECT_FALSE(imp(audio_)->isBGMOff());
}

TEST_F(AudioTest, PlayIsRefusedOnlyWhileItsKindIsMuted) {
    struct Case {
        int musicOff, effectsOff, kind;
        bool plays;
    } cases[] = {
        {1, 0, 1, false}, {0, 1, 1, true}, {1, 0, 2, true}, {0, 1, 2, false},
        {1, 1, 3, true},  {1, 1, 0, true}, {0, 0, 1, true}, {0, 0, 2, true},
    };
    RefPtr<Sound> s = longSound(audio_);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "music off " << c.musicOff << " effects off " << c.effectsOff
                                        << " kind " << c.kind);
        s->stop();
        audio_->setBGMOff(c.musicOff);
        audio_->setSEOff(c.effectsOff);
        EXPECT_EQ(s->play(c.kind, 0), 0);
        EXPECT_EQ(imp(s)->kind(), c.kind);
        EXPECT_EQ(s->isPlaying(), c.plays);
        EXPECT_EQ(state(s) == AL_PLAYING, c.plays);
    }
}

TEST_F(AudioTest, MutedMusicDoesNotResumeEither) {
    RefPtr<Sound> s = longSound(audio_);
    audio_->setBGMOff(1);
    s->play(1, -1);
    EXPECT_EQ(imp(s)->kind(), 1);
    s->pause();
    s->resume();
    EXPECT_EQ(state(s), AL_INITIAL);
    EXPECT_FALSE(s->isPlaying());
    // Switching music back on does not start it by itself.
    audio_->setBGMOff(0);
    EXPECT_EQ(state(s), AL_INITIAL);
}

TEST_F(AudioTest, ResumeStartsOnlyWhatWasPlayedAndStopEndsWhatItStarted) {
    // Never played, or only refused while muted: nothing starts.
    RefPtr<Sound> never = longSound(audio_);
    never->resume();
    EXPECT_EQ(state(never), AL_INITIAL);
    EXPECT_FALSE(never->isPlaying());

    // With music off a scene does not play its tune; its resume after a
    // suspension must not start it either, not even once music is back on.
    audio_->setBGMOff(1);
    RefPtr<Sound> tune = longSound(audio_);
    tune->play(1, -1);
    tune->resume();
    EXPECT_EQ(state(tune), AL_INITIAL);
    audio_->setBGMOff(0);
    tune->resume();
    EXPECT_EQ(state(tune), AL_INITIAL);
    EXPECT_FALSE(tune->isPlaying());

    // Played and stopped: resume starts it again, and it is playing for stop.
    tune->play(1, -1);
    tune->stop();
    tune->resume();
    EXPECT_EQ(state(tune), AL_PLAYING);
    EXPECT_TRUE(tune->isPlaying());
    tune->stop();
    EXPECT_EQ(state(tune), AL_STOPPED);
    EXPECT_FALSE(tune->isPlaying());
}

TEST_F(AudioTest, PauseResumeStopAndSystemPause) {
    RefPtr<Sound> s = longSound(audio_);
    SoundImp* si = imp(s);

    // Never played: stop leaves it not playing and clears paused.
    s->pause();
    EXPECT_TRUE(si->isPaused());
    s->stop();
    EXPECT_FALSE(s->isPlaying());
    EXPECT_FALSE(si->isPaused());

    s->play(2, 0);
    EXPECT_EQ(state(s), AL_PLAYING);
    s->pause();
    EXPECT_EQ(state(s), AL_PAUSED);
    EXPECT_TRUE(si->isPaused());
    EXPECT_TRUE(s->isPlaying());
    s->resume();
    EXPECT_EQ(state(s), AL_PLAYING);
    EXPECT_FALSE(si->isPaused());

    s->systemPause();
    EXPECT_TRUE(si->isSystemPaused());
    EXPECT_FALSE(si->isPaused());
    EXPECT_EQ(state(s), AL_PAUSED);
    s->play(2, 0);  // only play clears the mark
    EXPECT_FALSE(si->isSystemPaused());
    EXPECT_EQ(state(s), AL_PLAYING);

    s->stop();
    EXPECT_FALSE(s->isPlaying());
    EXPECT_EQ(state(s), AL_STOPPED);
    EXPECT_FALSE(s->isMemory());
}

TEST_F(AudioTest, EveryPlaySetsLoopingFromItsLoopCount) {
    RefPtr<Sound> s = longSound(audio_);
    s->play(1, -1);
    EXPECT_EQ(sourceInt(s, AL_LOOPING), AL_TRUE);
    EXPECT_EQ(imp(s)->loopCount(), -1);
    s->play(2, 0);
    EXPECT_EQ(sourceInt(s, AL_LOOPING), AL_FALSE);
    s->play(2, 3);
    EXPECT_EQ(sourceInt(s, AL_LOOPING), AL_FALSE);
    s->play(1, -5);
    EXPECT_EQ(sourceInt(s, AL_LOOPING), AL_TRUE);
}

TEST_F(AudioTest, WavFormatsAreQueuedAtTheirOwnRate) {
    struct Case {
        uint16_t channels, bits;
        uint32_t rate;
        ALenum format;
    } cases[] = {
        {1, 8, 11025, AL_FORMAT_MONO8},
        {1, 16, 22050, AL_FORMAT_MONO16},
        {2, 8, 8000, AL_FORMAT_STEREO8},
        {2, 16, 44100, AL_FORMAT_STEREO16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " channels, " << c.bits << " bits");
        const uint32_t bytes = 400;
        folder_.write("f.wav", riff(fmtChunk(c.channels, c.rate, c.bits) + chunk("LIST", ramp(9)) +
                                    chunk("data", ramp(bytes))));
        RefPtr<Sound> s = audio_->createSound(2, "f.wav", 0, true);
        auto* sa = dynamic_cast<SoundAssetImp*>(s.get());
        ASSERT_NE(sa, nullptr);
        EXPECT_EQ(sa->alFormat(), c.format);
        EXPECT_EQ(sa->sampleRate(), c.rate);
        EXPECT_EQ(sa->pcmBytes(), bytes);
        EXPECT_EQ(bufferInt(s, AL_FREQUENCY), ALint(c.rate));
        EXPECT_EQ(bufferInt(s, AL_CHANNELS), ALint(c.channels));
        EXPECT_EQ(bufferInt(s, AL_BITS), ALint(c.bits));
        EXPECT_EQ(sourceInt(s, AL_BUFFER), ALint(sa->bufferName()));
    }
}

TEST_F(AudioTest, UnloadableSoundsExistStaySilentAndAreReportedOnce) {
    folder_.write("float.wav", riff(chunk("fmt ", fmtPayload(3, 1, 22050, 32)) + chunk("data", ramp(64))));
    folder_.write("cut.wav", simpleWav(100).substr(0, 30));
    folder_.write("text.wav", "hello\n");
    const struct {
        const char* name;
        const char* reason;  // empty: no asset, nothing reported
    } cases[] = {
        {"missing.wav", "not found"},
        {"float.wav", "not integer PCM"},
        {"cut.wav", "cut short"},
        {"text.wav", "too short for a WAV"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::StderrCapture capture;
        RefPtr<Sound> s = audio_->createSound(2, c.name, 0, true);
        RefPtr<Sound> again = audio_->createSound(2, c.name, 0, true);
        std::vector<std::string> lines = capture.lines();
        std::vector<std::string> reports = testsupport::brokenAssetLines(lines, c.name);
        if (*c.reason) {
            ASSERT_EQ(1u, reports.size()) << testing::PrintToString(lines);
            EXPECT_NE(std::string::npos, reports[0].find(c.reason)) << reports[0];
        } else {
            EXPECT_TRUE(reports.empty());
        }
        ASSERT_TRUE(s);
        EXPECT_EQ(imp(s)->sourceName(), 0u);
        EXPECT_EQ(imp(s)->bufferName(), 0u);
        EXPECT_EQ(s->play(2, -1), 0);
        s->pause();
        s->resume();
        s->systemPause();
        s->stop();
    }
    RefPtr<Sound> s = audio_->createSound(2, nullptr, 0, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->play(2, 0), 0);
    // Not loaded until asked to.
    RefPtr<Sound> later = audio_->createSound(2, "long.wav", 0, false);
    EXPECT_EQ(imp(later)->sourceName(), 0u);
    EXPECT_EQ(dynamic_cast<SoundAssetImp*>(later.get())->load("long.wav"), 0);
    EXPECT_NE(imp(later)->sourceName(), 0u);
}

TEST_F(AudioTest, RawSoundsUseTheirRateCode) {
    folder_.write("raw16.pcm", ramp(101));
    folder_.write("raw8.pcm", ramp(50));
    struct Case {
        const char* file;
        int code;
        bool sixteen;
        ALint rate, bits, size;
    } cases[] = {
        {"raw16.pcm", 1, true, 22050, 16, 100},  // the odd last byte is no sample
        {"raw16.pcm", 2, true, 11025, 16, 100},
        {"raw8.pcm", 0, false, 44100, 8, 50},
        {"raw8.pcm", 7, false, 44100, 8, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file << " code " << c.code);
        RefPtr<Sound> s = audio_->createSE(c.file, c.code, c.sixteen);
        ASSERT_TRUE(s);
        EXPECT_TRUE(s->isMemory());
        EXPECT_EQ(bufferInt(s, AL_FREQUENCY), c.rate);
        EXPECT_EQ(bufferInt(s, AL_BITS), c.bits);
        EXPECT_EQ(bufferInt(s, AL_CHANNELS), 1);
        EXPECT_EQ(bufferInt(s, AL_SIZE), c.size);
        s->play(3, 0);
        EXPECT_TRUE(s->isPlaying());
    }
    RefPtr<Sound> missing = audio_->createSE("none.pcm", 1, true);
    ASSERT_TRUE(missing);
    EXPECT_EQ(imp(missing)->sourceName(), 0u);
    EXPECT_EQ(missing->play(2, 0), 0);
}

// A scene and its pause panel each have an audio object, with a context of
// its own on the one device; the panel's is the newer one, so its context is
// the current one.
TEST_F(AudioTest, TwoAudioObjectsKeepTheirOwnSounds) {
    RefPtr<Sound> sceneMusic = longSound(audio_);
    RefPtr<Audio> panel = KelpaEngine::iOS::createAudioImp();
    ASSERT_TRUE(panel);
    ASSERT_NE(imp(panel)->context(), imp(audio_)->context());
    EXPECT_EQ(imp(panel)->device(), imp(audio_)->device());
    RefPtr<Sound> panelSound = longSound(panel);
    // First sources of two contexts: the same name, different sources.
    EXPECT_EQ(imp(sceneMusic)->sourceName(), imp(panelSound)->sourceName());

    sceneMusic->play(1, -1);
    panelSound->play(2, 0);
    sceneMusic->pause();
    EXPECT_EQ(state(sceneMusic), AL_PAUSED);
    EXPECT_EQ(state(panelSound), AL_PLAYING);
    EXPECT_EQ(sourceInt(sceneMusic, AL_LOOPING), AL_TRUE);
    EXPECT_EQ(sourceInt(panelSound, AL_LOOPING), AL_FALSE);

    // Mute switches are the object's own.
    panel->setSEOff(1);
    RefPtr<Sound> sceneEffect = longSound(audio_);
    sceneEffect->play(2, 0);
    EXPECT_EQ(state(sceneEffect), AL_PLAYING);

    // The panel closes: the scene's sounds go on working.
    panelSound = nullptr;
    panel = nullptr;
    sceneMusic->resume();
    EXPECT_EQ(state(sceneMusic), AL_PLAYING);
    RefPtr<Sound> fresh = longSound(audio_);
    fresh->play(2, 0);
    EXPECT_EQ(state(fresh), AL_PLAYING);

    // And the other way round: a newer object outlives an older one.
    RefPtr<Audio> next = KelpaEngine::iOS::createAudioImp();
    RefPtr<Sound> nextSound = longSound(next);
    sceneMusic = nullptr;
    sceneEffect = nullptr;
    fresh = nullptr;
    audio_ = nullptr;
    nextSound->play(1, -1);
    EXPECT_EQ(state(nextSound), AL_PLAYING);
    nextSound->stop();
    EXPECT_EQ(state(nextSound), AL_STOPPED);
}

// The application's own audio object only holds the mute switches and is
// paused and resumed with the application; it holds the device from the
// start, but its context, megabytes of OpenAL's voices, waits for its first
// sound.
TEST_F(AudioTest, TheApplicationsAudioObjectMakesItsContextWithItsFirstSound) {
    for (bool effect : {false, true}) {
        SCOPED_TRACE(effect ? "raw effect first" : "WAV sound first");
        RefPtr<Audio> app = KelpaEngine::iOS::defaultPlatformObjects().createAudio();
        ASSERT_TRUE(app);
        EXPECT_EQ(imp(app)->device(), imp(audio_)->device());
        EXPECT_EQ(imp(app)->context(), nullptr);
        EXPECT_EQ(app->setSEOff(1), 0);
        EXPECT_EQ(app->setSEOff(0), 1);
        KelpaEngine::iOS::audioPauseAll(app.get());
        KelpaEngine::iOS::audioResumeAll(app.get());
        EXPECT_EQ(imp(app)->context(), nullptr);

        RefPtr<Sound> s = effect ? app->createSE("long.wav", 0, true) : app->createSound(1, "long.wav", 0, true);
        ASSERT_TRUE(s);
        ASSERT_NE(imp(app)->context(), nullptr);
        EXPECT_NE(imp(app)->context(), imp(audio_)->context());
        EXPECT_NE(imp(s)->sourceName(), 0u);
        s->play(effect ? 2 : 1, 0);
        EXPECT_EQ(state(s), AL_PLAYING);
    }
}

TEST_F(AudioTest, DestroyingASoundReleasesSourceBufferAndFile) {
    const int fds = openFdCount();
    const uint32_t live = KelpaEngine::heapCounters().liveBlocks;
    ALuint source = 0, buffer = 0;
    ALCcontext* ctx = imp(audio_)->context();
    {
        RefPtr<Sound> s = longSound(audio_);
        source = imp(s)->sourceName();
        buffer = imp(s)->bufferName();
        s->play(2, -1);
        EXPECT_EQ(openFdCount(), fds);  // the file is not kept open
    }
    {
        AlContextScope scope(ctx);
        EXPECT_FALSE(alIsSource(source));
        EXPECT_FALSE(alIsBuffer(buffer));
    }
    EXPECT_EQ(openFdCount(), fds);
    EXPECT_EQ(KelpaEngine::heapCounters().liveBlocks, live);
}

TEST_F(AudioTest, DestroyingTheAudioObjectClosesItsContextAndTheLastClosesTheDevice) {
    const uint32_t live = KelpaEngine::heapCounters().liveBlocks;
    RefPtr<Audio> a = KelpaEngine::iOS::createAudioImp();
    ALCcontext* ctx = imp(a)->context();
    ALCdevice* dev = imp(a)->device();
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(alcGetContextsDevice(ctx), dev);
    // One device for the process: the older object's.
    EXPECT_EQ(dev, imp(audio_)->device());

    // A sound that outlives its audio object keeps the context until it goes.
    RefPtr<Sound> s = longSound(a);
    a = nullptr;
    EXPECT_EQ(alcGetContextsDevice(ctx), dev);
    s->play(2, 0);
    EXPECT_EQ(state(s), AL_PLAYING);
    s = nullptr;

    EXPECT_EQ(alcGetContextsDevice(ctx), nullptr);
    EXPECT_EQ(KelpaEngine::heapCounters().liveBlocks, live);

    // The older object's sounds still work on the device it still holds.
    RefPtr<Sound> mine = longSound(audio_);
    mine->play(2, 0);
    EXPECT_EQ(state(mine), AL_PLAYING);

    // The last holder closes the device; the next object opens a new one.
    EXPECT_EQ(AudioOutput::openDevice(), dev);
    mine = nullptr;
    audio_ = nullptr;
    EXPECT_EQ(AudioOutput::openDevice(), nullptr);
    audio_ = KelpaEngine::iOS::createAudioImp();
    ASSERT_NE(imp(audio_)->context(), nullptr);
    mine = longSound(audio_);
    mine->play(2, 0);
    EXPECT_EQ(state(mine), AL_PLAYING);
}

// pause-all and resume-all walk the sound table, which nothing in the game
// fills; a subclass reaches it here.
struct TableAudio : AudioImp {
    using AudioImp::sounds_;
};

TEST_F(AudioTest, PauseAllAndResumeAllWalkTheTable) {
    RefPtr<TableAudio> a = KelpaEngine::makeRef<TableAudio>();
    ASSERT_TRUE(a);
    ASSERT_EQ(a->init(), 0);
    RefPtr<Sound> music = a->createSound(1, "long.wav", 0, true);
    RefPtr<Sound> pausedMusic = a->createSound(1, "long.wav", 0, true);
    RefPtr<Sound> effect = a->createSound(2, "long.wav", 0, true);
    a->sounds_[0] = music;
    a->sounds_[3] = pausedMusic;
    a->sounds_[13] = effect;
    // Held by the table alone: left alone by both walks.
    a->sounds_[5] = a->createSound(1, "long.wav", 0, true);
    RefPtr<Sound> tableOnly = a->sounds_[5];
    tableOnly->play(1, -1);
    tableOnly = nullptr;

    music->play(1, -1);
    pausedMusic->play(1, -1);
    pausedMusic->pause();  // paused by the game itself
    effect->play(2, 0);

    KelpaEngine::iOS::audioPauseAll(a.get());
    EXPECT_TRUE(imp(music)->isSystemPaused());
    EXPECT_EQ(state(music), AL_PAUSED);
    EXPECT_TRUE(music->isPlaying());
    EXPECT_FALSE(effect->isPlaying());
    EXPECT_EQ(state(effect), AL_STOPPED);
    EXPECT_EQ(state(a->sounds_[5]), AL_PLAYING);

    EXPECT_EQ(a->resumeAll(), 1);
    EXPECT_FALSE(imp(music)->isSystemPaused());
    EXPECT_EQ(state(music), AL_PLAYING);
    EXPECT_EQ(state(pausedMusic), AL_PAUSED);
    EXPECT_EQ(state(effect), AL_STOPPED);
    EXPECT_FALSE(imp(pausedMusic)->isSystemPaused());

    // The game resumes its paused music; the next pause-all must pause it
    // again, and the next resume-all bring it back.
    pausedMusic->resume();
    EXPECT_EQ(state(pausedMusic), AL_PLAYING);
    a->pauseAll();
    EXPECT_EQ(state(pausedMusic), AL_PAUSED);
    EXPECT_EQ(state(music), AL_PAUSED);
    a->resumeAll();
    EXPECT_EQ(state(pausedMusic), AL_PLAYING);
    EXPECT_EQ(state(music), AL_PLAYING);

    // The destructor stops and lets go of every entry.
    a = nullptr;
    EXPECT_FALSE(music->isPlaying());
    EXPECT_EQ(state(music), AL_STOPPED);
    EXPECT_EQ(KelpaEngine::refCountOf(dynamic_cast<void*>(music.get())), 1u);
}

TEST(AudioFactories, NullAndForeignObjectsAreIgnored) {
    KelpaEngine::iOS::audioPauseAll(nullptr);
    KelpaEngine::iOS::audioResumeAll(nullptr);
    RefPtr<Audio> a = KelpaEngine::iOS::createAudioImp();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->init(), 0);  // again: still the same device
    KelpaEngine::iOS::audioPauseAll(a.get());
    KelpaEngine::iOS::audioResumeAll(a.get());
}

}  // namespace
