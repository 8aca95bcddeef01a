// WAV files through the sound reader.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/Heap.h"
#include "engine/ios/Wav.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace KelpaEngine;
    // The reader takes an open file; an empty one cannot be a memory stream.
    FILE* f = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : std::fopen("/dev/null", "rb");
    if (!f) return 0;
    iOS::WavFormat format;
    uint8_t* pcm = reinterpret_cast<uint8_t*>(1);
    const int r = iOS::readWav(f, &format, &pcm);
    std::fclose(f);
    if (r != 0) {
        if (pcm) std::abort();  // a refusal allocates nothing
        return 0;
    }
    if (format.channels < 1 || format.channels > 2) std::abort();
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16) std::abort();
    if (format.sampleRate == 0) std::abort();
    const uint32_t frame = format.channels * format.bitsPerSample / 8;
    if (format.dataSize % frame != 0) std::abort();
    if (format.dataOffset > size || format.dataSize > size - format.dataOffset) std::abort();
    if ((pcm != nullptr) != (format.dataSize > 0)) std::abort();
    // The samples are the file's bytes from the data chunk on.
    if (pcm && std::memcmp(pcm, data + format.dataOffset, format.dataSize) != 0) std::abort();
    engineFree(pcm);
    return 0;
}
