#include "engine/ios/AudioImp.h"

#include <AL/alc.h>

#include <mutex>

#include "engine/ios/Factories.h"
#include "engine/ios/SoundImp.h"

namespace KelpaEngine {
namespace iOS {

namespace {

using SetThreadContextFn = ALCboolean(ALC_APIENTRY*)(ALCcontext*);
using GetThreadContextFn = ALCcontext*(ALC_APIENTRY*)(void);

struct ThreadContextApi {
    SetThreadContextFn set = nullptr;
    GetThreadContextFn get = nullptr;
};

const ThreadContextApi& threadContextApi() {
    static const ThreadContextApi api = [] {
        ThreadContextApi a;
        if (alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context")) {
            a.set = reinterpret_cast<SetThreadContextFn>(alcGetProcAddress(nullptr, "alcSetThreadContext"));
            a.get = reinterpret_cast<GetThreadContextFn>(alcGetProcAddress(nullptr, "alcGetThreadContext"));
            if (!a.set || !a.get) a = ThreadContextApi();
        }
        return a;
    }();
    return api;
}

// The process's one output device, shared by every audio object's context.
// A device has its own buffers, mixer thread and output (a wave recording
// is one file per device), so it opens with the first holder and closes
// with the last.
struct SharedDevice {
    std::mutex mutex;
    ALCdevice* device = nullptr;
    int holders = 0;
};

SharedDevice& sharedDevice() {
    static SharedDevice* shared = new SharedDevice;  // outlives every static holder
    return *shared;
}

ALCdevice* takeSharedDevice() {
    SharedDevice& shared = sharedDevice();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (!shared.device) {
        shared.device = alcOpenDevice(nullptr);
        if (!shared.device) return nullptr;
    }
    ++shared.holders;
    return shared.device;
}

void releaseDevice(ALCdevice* device) {
    SharedDevice& shared = sharedDevice();
    std::lock_guard<std::mutex> lock(shared.mutex);
    if (device != shared.device || shared.holders <= 0) return;
    if (--shared.holders == 0) {
        alcCloseDevice(shared.device);
        shared.device = nullptr;
    }
}

}  // namespace

// --- AlContextScope ---

AlContextScope::AlContextScope(ALCcontext* context) {
    if (!context) return;
    const ThreadContextApi& api = threadContextApi();
    if (api.set) {
        previous_ = api.get();
        if (previous_ != context) {
            if (!api.set(context)) return;
            switched_ = true;
        }
    } else {
        previous_ = alcGetCurrentContext();
        if (previous_ != context) {
            if (!alcMakeContextCurrent(context)) return;
            switched_ = true;
        }
    }
    ok_ = true;
}

AlContextScope::~AlContextScope() {
    if (!switched_) return;
    const ThreadContextApi& api = threadContextApi();
    if (api.set) {
        api.set(previous_);
    } else {
        alcMakeContextCurrent(previous_);
    }
}

// --- AudioOutput ---

int AudioOutput::acquireDevice() {
    if (!device_) device_ = takeSharedDevice();
    return device_ ? 0 : -1;
}

int AudioOutput::open() {
    if (acquireDevice() != 0) return -1;
    if (!context_) {
        context_ = alcCreateContext(device_, nullptr);
        if (!context_) return -1;
    }
    return alcMakeContextCurrent(context_) ? 0 : -1;
}

ALCdevice* AudioOutput::openDevice() {
    SharedDevice& shared = sharedDevice();
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.device;
}

AudioOutput::~AudioOutput() {
    if (context_) {
        // Nothing may keep a context current that is about to go.
        const ThreadContextApi& api = threadContextApi();
        if (api.get && api.get() == context_) api.set(nullptr);
        if (alcGetCurrentContext() == context_) alcMakeContextCurrent(nullptr);
        alcDestroyContext(context_);
        context_ = nullptr;
    }
    if (device_) {
        releaseDevice(device_);
        device_ = nullptr;
    }
}

bool AudioOutput::isMuted(int kind) const {
    if (kind == kSoundKindMusic) return musicOff.load(std::memory_order_relaxed) != 0;
    if (kind == kSoundKindEffect) return effectsOff.load(std::memory_order_relaxed) != 0;
    return false;
}

// --- AudioImp ---

AudioImp::AudioImp(Application* app) : output_(makeRef<AudioOutput>()), app_(app) {}

RefPtr<Audio> AudioImp::create(Application* app, bool contextOnFirstSound) {
    RefPtr<AudioImp> audio = makeRef<AudioImp>(app);
    if (!audio || !audio->output_) return nullptr;
    audio->contextOnFirstSound_ = contextOnFirstSound;
    audio->init();
    return audio;
}

AudioImp::~AudioImp() {
    SoundLock lock;
    for (RefPtr<Sound>& s : sounds_) {
        if (!s) continue;
        s->stop();
        s = nullptr;
    }
}

int AudioImp::setBGMOff(int off) {
    if (!output_) return 0;
    return output_->musicOff.exchange(off ? 1 : 0, std::memory_order_relaxed);
}

int AudioImp::setSEOff(int off) {
    if (!output_) return 0;
    return output_->effectsOff.exchange(off ? 1 : 0, std::memory_order_relaxed);
}

bool AudioImp::isBGMOff() const { return output_ && output_->musicOff.load(std::memory_order_relaxed); }
bool AudioImp::isSEOff() const { return output_ && output_->effectsOff.load(std::memory_order_relaxed); }
ALCdevice* AudioImp::device() const { return output_ ? output_->device() : nullptr; }
ALCcontext* AudioImp::context() const { return output_ ? output_->context() : nullptr; }

int AudioImp::init() {
    if (!output_) return -1;
    if (contextOnFirstSound_) return output_->acquireDevice();
    return output_->open();
}

void AudioImp::openDeferredContext() {
    // Only on a device that init took: a failed init stays silent.
    if (!contextOnFirstSound_ || !output_ || !output_->device() || output_->context()) return;
    output_->open();
}

RefPtr<Sound> AudioImp::createSound(int kind, const char* fileName, int flags, bool loadNow) {
    (void)kind;
    (void)flags;
    openDeferredContext();
    RefPtr<SoundAssetImp> sound = makeRef<SoundAssetImp>(output_);
    if (!sound) return nullptr;
    if (loadNow) sound->load(fileName);
    return sound;
}

RefPtr<Sound> AudioImp::createSE(const char* fileName, int rateCode, bool sixteenBit) {
    openDeferredContext();
    RefPtr<AssetSEImp> sound = makeRef<AssetSEImp>(output_);
    if (!sound) return nullptr;
    sound->load(app_, fileName, rateCode, sixteenBit);
    return sound;
}

int AudioImp::pauseAll() {
    SoundLock lock;
    for (RefPtr<Sound>& s : sounds_) {
        if (!s || refCountOf(dynamic_cast<void*>(s.get())) < 2) continue;
        auto* imp = dynamic_cast<SoundImp*>(s.get());
        if (imp && imp->kind() == kSoundKindMusic) {
            s->systemPause();
        } else {
            s->stop();
        }
    }
    return 1;
}

int AudioImp::resumeAll() {
    SoundLock lock;
    for (RefPtr<Sound>& s : sounds_) {
        if (!s || refCountOf(dynamic_cast<void*>(s.get())) < 2) continue;
        auto* imp = dynamic_cast<SoundImp*>(s.get());
        if (!imp || imp->kind() != kSoundKindMusic || !imp->isPlaying()) continue;
        if (!imp->isSystemPaused()) continue;
        // Only what pause-all paused comes back; a sound the game paused
        // itself stays paused, but loses the mark so that the next pause-all
        // pauses it again once the game has resumed it.
        if (imp->isPaused()) {
            imp->clearSystemPause();
        } else {
            imp->resumeFromSystemPause();
        }
    }
    return 1;
}

// --- Factories ---

RefPtr<Audio> createAudioImp() { return AudioImp::create(nullptr); }
RefPtr<Audio> createApplicationAudioImp() { return AudioImp::create(nullptr, true); }

void audioPauseAll(Audio* audio) {
    if (auto* imp = dynamic_cast<AudioImp*>(audio)) imp->pauseAll();
}

void audioResumeAll(Audio* audio) {
    if (auto* imp = dynamic_cast<AudioImp*>(audio)) imp->resumeAll();
}

}  // namespace iOS
}  // namespace KelpaEngine
