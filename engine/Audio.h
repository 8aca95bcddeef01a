// The audio object: makes sounds and holds the mute switches for music and
// effects. Every scene has its own; the application has one more.
#pragma once

#include "engine/Heap.h"

namespace KelpaEngine {

class Sound;

// Kinds given to Sound::play. Any other kind is never muted.
constexpr int kSoundKindMusic = 1;
constexpr int kSoundKindEffect = 2;

class Audio {
public:
    virtual ~Audio() = default;

    // Mute switches (non-zero mutes). Return the previous switch, 0 or 1.
    // Nothing already playing is stopped.
    virtual int setBGMOff(int off) = 0;
    virtual int setSEOff(int off) = 0;

    // A sound from a WAV asset. The kind number and the flags take no part:
    // the kind that counts is the one given to play. The sound is returned
    // even when the file cannot be loaded; it then stays silent.
    virtual RefPtr<Sound> createSound(int kind, const char* fileName, int flags, bool loadNow) = 0;
    // A sound from a raw mono PCM asset: rate code 1 is 22050 Hz, 2 is
    // 11025 Hz, anything else 44100 Hz.
    virtual RefPtr<Sound> createSE(const char* fileName, int rateCode, bool sixteenBit) = 0;

    // Opens the output device and context: 0, or -1 (the object then stays
    // silent).
    virtual int init() = 0;
};

}  // namespace KelpaEngine
