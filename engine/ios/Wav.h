// RIFF/WAVE PCM reader for the sounds: 8- or 16-bit samples, one or two
// channels. Anything else is refused rather than played wrongly.
#pragma once

#include <cstdint>
#include <cstdio>

namespace KelpaEngine {
namespace iOS {

struct WavFormat {
    uint32_t channels = 0;
    uint32_t bitsPerSample = 0;
    uint32_t sampleRate = 0;
    // Where the samples start in the file and how many bytes of whole
    // frames are really there (never more than the file holds).
    uint64_t dataOffset = 0;
    uint32_t dataSize = 0;
};

// Reads the header and chunks of an open file up to its "data" chunk.
// Returns 0, or -1 for a file that is not a playable PCM WAV, with the
// reason (a constant string) in *why when given.
int readWavHeader(FILE* file, WavFormat* out, const char** why = nullptr);

// Reads a whole WAV: its format and its samples in a block of the engine
// heap (free it with engineFree; null when there are no samples).
// Returns 0 or -1 (reason in *why); on -1 nothing is allocated.
int readWav(FILE* file, WavFormat* format, uint8_t** pcm, const char** why = nullptr);

}  // namespace iOS
}  // namespace KelpaEngine
