// The OpenAL audio object. Each one has its own context on the process's one
// device, and several are alive at once (a scene and its pause panel), so
// every OpenAL call is made with its own context current (AlContextScope).
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/Audio.h"
#include "engine/Heap.h"
#include "engine/Sound.h"

// OpenAL's device and context handles, named as <AL/alc.h> names them: the
// game makes audio objects through this header and sees no OpenAL header.
typedef struct ALCdevice_struct ALCdevice;
typedef struct ALCcontext_struct ALCcontext;

namespace KelpaEngine {

class Application;

namespace iOS {

// The context and mute switches of one audio object, and its hold on the
// shared device. Its sounds hold it too, so a sound that outlives its audio
// object can still release its source and buffer; the context goes with the
// last holder, the device with the last context.
class AudioOutput {
public:
    AudioOutput() = default;
    virtual ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Takes the shared device (opening the default one if none is open),
    // makes a context on it and makes that current: 0 or -1.
    int open();
    // Only takes the shared device: 0 or -1. open() makes the context later.
    int acquireDevice();

    ALCdevice* device() const { return device_; }
    // The device every audio object shares, or null while none holds it.
    static ALCdevice* openDevice();
    ALCcontext* context() const { return context_; }

    // Kind 1 is muted by the music switch, kind 2 by the effects switch.
    bool isMuted(int kind) const;
    std::atomic<uint8_t> musicOff{0};
    std::atomic<uint8_t> effectsOff{0};

private:
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
};

// Makes a context current on this thread for the scope's OpenAL calls and
// puts the previous one back. Uses thread-local contexts where the library
// has them, so threads do not disturb each other.
class AlContextScope {
public:
    explicit AlContextScope(ALCcontext* context);
    ~AlContextScope();
    AlContextScope(const AlContextScope&) = delete;
    AlContextScope& operator=(const AlContextScope&) = delete;
    // False when there is no context to make current: skip the AL calls.
    bool ok() const { return ok_; }

private:
    ALCcontext* previous_ = nullptr;
    bool switched_ = false;
    bool ok_ = false;
};

class AudioImp : public Audio {
public:
    static constexpr int kSoundSlots = 14;

    // Makes the object and runs init; a failed init leaves a silent object.
    // Null only when memory runs out. With contextOnFirstSound, init only
    // takes the device and the context is made with the first sound.
    static RefPtr<Audio> create(Application* app, bool contextOnFirstSound = false);

    explicit AudioImp(Application* app = nullptr);
    ~AudioImp() override;

    int setBGMOff(int off) override;
    int setSEOff(int off) override;
    RefPtr<Sound> createSound(int kind, const char* fileName, int flags, bool loadNow) override;
    RefPtr<Sound> createSE(const char* fileName, int rateCode, bool sixteenBit) override;
    int init() override;

    // The application's pause and resume of the table's sounds. Return 1.
    int pauseAll();
    int resumeAll();

    bool isBGMOff() const;
    bool isSEOff() const;
    Application* application() const { return app_; }
    ALCdevice* device() const;
    ALCcontext* context() const;

protected:
    // Walked by pause-all, resume-all and the destructor.
    RefPtr<Sound> sounds_[kSoundSlots];

private:
    // Makes the context a deferred object still waits for.
    void openDeferredContext();

    RefPtr<AudioOutput> output_;
    Application* app_;
    bool contextOnFirstSound_ = false;
};

}  // namespace iOS
}  // namespace KelpaEngine
