#include "engine/ios/SoundImp.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "engine/AssetReport.h"
#include "engine/Resource.h"
#include "engine/ios/Paths.h"
#include "engine/ios/ResourceImp.h"
#include "engine/ios/Wav.h"

namespace KelpaEngine {
namespace iOS {

pthread_mutex_t SoundLock::mutex_ = PTHREAD_MUTEX_INITIALIZER;

uint32_t rateForCode(int rateCode) {
    switch (rateCode) {
    case 1: return 22050;
    case 2: return 11025;
    default: return 44100;
    }
}

// --- SoundImp ---

SoundImp::SoundImp(RefPtr<AudioOutput> output) : output_(std::move(output)) {}

SoundImp::~SoundImp() { releaseAl(); }

int SoundImp::upload(ALenum format, const void* data, uint32_t size, uint32_t rate) {
    releaseAl();
    AlContextScope scope(context());
    if (!scope.ok()) return -1;
    alGetError();
    ALuint buffer = 0;
    alGenBuffers(1, &buffer);
    if (alGetError() != AL_NO_ERROR) return -1;
    alBufferData(buffer, format, data, ALsizei(size), ALsizei(rate));
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        return -1;
    }
    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &buffer);
        return -1;
    }
    alSourcei(source, AL_BUFFER, ALint(buffer));
    buffer_ = buffer;
    source_ = source;
    return 0;
}

void SoundImp::releaseAl() {
    if (!buffer_ && !source_) return;
    AlContextScope scope(context());
    if (scope.ok()) {
        // The source lets go of the buffer before the buffer can be deleted.
        if (source_) {
            alSourceStop(source_);
            alDeleteSources(1, &source_);
        }
        if (buffer_) alDeleteBuffers(1, &buffer_);
    }
    source_ = 0;
    buffer_ = 0;
}

int SoundImp::play(int kind, int loop) {
    kind_.store(kind, std::memory_order_relaxed);
    if (muted(kind)) return 0;
    SoundLock lock;
    loop_.store(loop, std::memory_order_relaxed);
    if (source_) {
        AlContextScope scope(context());
        if (scope.ok()) {
            // Every play sets looping from its own loop count.
            alSourcei(source_, AL_LOOPING, loop < 0 ? AL_TRUE : AL_FALSE);
            alSourcePlay(source_);
        }
    }
    playing_.store(1, std::memory_order_relaxed);
    played_.store(1, std::memory_order_relaxed);
    systemPaused_.store(0, std::memory_order_relaxed);
    paused_.store(0, std::memory_order_relaxed);
    return 0;
}

bool SoundImp::isPlaying() { return playing_.load(std::memory_order_relaxed) != 0; }

void SoundImp::pause() {
    SoundLock lock;
    if (source_) {
        AlContextScope scope(context());
        if (scope.ok()) alSourcePause(source_);
    }
    paused_.store(1, std::memory_order_relaxed);
}

void SoundImp::resume() {
    // A scene resumes its sounds after a suspension whether or not it played
    // them: one never played (music off, say) must stay silent.
    if (!played_.load(std::memory_order_relaxed) || muted(kind())) return;
    if (source_) {
        AlContextScope scope(context());
        if (scope.ok()) alSourcePlay(source_);
    }
    // Whatever resume starts, stop must be able to end.
    playing_.store(1, std::memory_order_relaxed);
    paused_.store(0, std::memory_order_relaxed);
}

void SoundImp::stop() {
    if (playing_.load(std::memory_order_relaxed)) {
        if (source_) {
            AlContextScope scope(context());
            if (scope.ok()) alSourceStop(source_);
        }
        playing_.store(0, std::memory_order_relaxed);
    }
    paused_.store(0, std::memory_order_relaxed);
}

void SoundImp::systemPause() {
    if (systemPaused_.load(std::memory_order_relaxed)) return;
    systemPaused_.store(1, std::memory_order_relaxed);
    if (source_) {
        AlContextScope scope(context());
        if (scope.ok()) alSourcePause(source_);
    }
}

void SoundImp::resumeFromSystemPause() {
    if (!systemPaused_.load(std::memory_order_relaxed)) return;
    systemPaused_.store(0, std::memory_order_relaxed);
    resume();
}

// --- SoundAssetImp ---

SoundAssetImp::SoundAssetImp(RefPtr<AudioOutput> output) : SoundImp(std::move(output)) {}

SoundAssetImp::~SoundAssetImp() { unload(); }

void SoundAssetImp::unload() {
    releaseAl();
    channels_ = 0;
    bits_ = 0;
    pcmBytes_ = 0;
    rate_ = 0;
    format_ = 0;
}

int SoundAssetImp::loadPath(const char* path, std::string* why) {
    unload();
    auto failed = [why](const std::string& text) {
        if (why) *why = text;
        return -1;
    };
    if (!path || !*path) return failed("no file name");
    FILE* f = fopen(path, "rb");
    if (!f) {
        int error = errno;
        return failed(error == ENOENT ? std::string("not found")
                                      : std::string("cannot be opened (") + std::strerror(error) + ")");
    }
    WavFormat fmt;
    uint8_t* pcm = nullptr;
    const char* wavWhy = nullptr;
    int r = readWav(f, &fmt, &pcm, &wavWhy);
    // The samples are in memory now: the file is not needed any longer.
    fclose(f);
    if (r != 0) return failed(wavWhy ? wavWhy : "not a playable WAV file");
    ALenum format;
    if (fmt.channels == 1) {
        format = fmt.bitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
    } else {
        format = fmt.bitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
    }
    // OpenAL keeps its own copy of the samples.
    r = upload(format, pcm, fmt.dataSize, fmt.sampleRate);
    engineFree(pcm);
    if (r != 0) return -1;
    channels_ = fmt.channels;
    bits_ = fmt.bitsPerSample;
    pcmBytes_ = fmt.dataSize;
    rate_ = fmt.sampleRate;
    format_ = format;
    return 0;
}

int SoundAssetImp::load(const char* fileName) {
    unload();
    std::string path = hostAssetPath(fileName);
    std::string why;
    int r = -1;
    if (path.empty()) {
        why = "no asset folder, or the path is too long";
    } else {
        r = loadPath(path.c_str(), &why);
    }
    // A sound OpenAL would not take (no device, say) is not a broken asset.
    if (r != 0 && !why.empty()) reportBrokenAsset(fileName, why.c_str());
    return r;
}

// --- SoundMemoryImp and AssetSEImp ---

SoundMemoryImp::~SoundMemoryImp() {
    releaseAl();
    data_ = nullptr;
}

int AssetSEImp::load(Application* app, const char* fileName, int rateCode, bool sixteenBit) {
    releaseAl();
    std::string why;
    data_ = ResourceImp::load(app, fileName, &why);
    if (!data_) {
        reportBrokenAsset(fileName, why.c_str());
        return -1;
    }
    uint32_t size = data_->getSize();
    // Only whole samples go to OpenAL.
    if (sixteenBit) size &= ~1u;
    return upload(sixteenBit ? AL_FORMAT_MONO16 : AL_FORMAT_MONO8, data_->getData(), size, rateForCode(rateCode));
}

}  // namespace iOS
}  // namespace KelpaEngine
