// OpenAL sounds: one buffer and one source each, made with the context of
// the audio object that made them.
#pragma once

#include <AL/al.h>

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <string>

#include "engine/Heap.h"
#include "engine/Resource.h"
#include "engine/Sound.h"
#include "engine/ios/AudioImp.h"

namespace KelpaEngine {

class Application;

namespace iOS {

// The one global sound lock: play, pause, pause-all, resume-all and the
// audio object's destructor take it, never nested.
class SoundLock {
public:
    SoundLock() { pthread_mutex_lock(&mutex_); }
    ~SoundLock() { pthread_mutex_unlock(&mutex_); }
    SoundLock(const SoundLock&) = delete;
    SoundLock& operator=(const SoundLock&) = delete;

private:
    static pthread_mutex_t mutex_;
};

// The common part of both sound classes.
class SoundImp : public Sound {
public:
    explicit SoundImp(RefPtr<AudioOutput> output);
    ~SoundImp() override;

    int play(int kind, int loop) override;
    bool isPlaying() override;
    void pause() override;
    void resume() override;
    void stop() override;
    void systemPause() override;
    // Resume-all's counterpart of systemPause: resumes and clears the mark.
    void resumeFromSystemPause();
    void clearSystemPause() { systemPaused_.store(0, std::memory_order_relaxed); }

    int kind() const { return kind_.load(std::memory_order_relaxed); }
    int loopCount() const { return loop_.load(std::memory_order_relaxed); }
    bool isPaused() const { return paused_.load(std::memory_order_relaxed) != 0; }
    bool isSystemPaused() const { return systemPaused_.load(std::memory_order_relaxed) != 0; }
    // Zero until the sound has its samples.
    ALuint bufferName() const { return buffer_; }
    ALuint sourceName() const { return source_; }
    ALCcontext* context() const { return output_ ? output_->context() : nullptr; }

protected:
    bool muted(int kind) const { return output_ && output_->isMuted(kind); }
    // Fills a new buffer and attaches it to a new source: 0 or -1.
    int upload(ALenum format, const void* data, uint32_t size, uint32_t rate);
    // Deletes the source and the buffer.
    void releaseAl();

    RefPtr<AudioOutput> output_;
    std::atomic<uint8_t> systemPaused_{0};
    std::atomic<uint8_t> playing_{0};
    std::atomic<uint8_t> paused_{0};
    // Set by the first play that was not refused: resume starts nothing before.
    std::atomic<uint8_t> played_{0};
    std::atomic<int> kind_{0};
    std::atomic<int> loop_{0};
    ALuint buffer_ = 0;
    ALuint source_ = 0;
};

// A sound from a WAV asset.
class SoundAssetImp : public SoundImp {
public:
    explicit SoundAssetImp(RefPtr<AudioOutput> output);
    ~SoundAssetImp() override;

    // Loads the WAV asset of that name: 0 or -1 (the sound is then silent,
    // and the asset is reported as broken).
    int load(const char* fileName);
    // The same from a file path, with the reason for a -1 in *why when given.
    int loadPath(const char* path, std::string* why = nullptr);
    void unload();
    bool isMemory() override { return false; }

    uint32_t channels() const { return channels_; }
    uint32_t bitsPerSample() const { return bits_; }
    uint32_t pcmBytes() const { return pcmBytes_; }
    uint32_t sampleRate() const { return rate_; }
    // The OpenAL format the samples were queued as (0 before loading).
    ALenum alFormat() const { return format_; }

private:
    uint32_t channels_ = 0;
    uint32_t bits_ = 0;
    uint32_t pcmBytes_ = 0;
    uint32_t rate_ = 0;
    ALenum format_ = 0;
};

// A sound from raw PCM bytes held in memory.
class SoundMemoryImp : public SoundImp {
public:
    using SoundImp::SoundImp;
    ~SoundMemoryImp() override;
    bool isMemory() override { return true; }

protected:
    RefPtr<Resource> data_;
};

// A raw mono PCM asset file.
class AssetSEImp : public SoundMemoryImp {
public:
    using SoundMemoryImp::SoundMemoryImp;
    // Reads the asset and queues it as mono PCM: 0 or -1.
    int load(Application* app, const char* fileName, int rateCode, bool sixteenBit);
};

// Sample rate for a createSE rate code.
uint32_t rateForCode(int rateCode);

}  // namespace iOS
}  // namespace KelpaEngine
