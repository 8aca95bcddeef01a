#include "engine/ios/Wav.h"

#include <cstring>
#include <sys/types.h>

#include "engine/Heap.h"

namespace KelpaEngine {
namespace iOS {

namespace {

constexpr uint32_t kFmtSize = 16;
constexpr uint16_t kFormatPcm = 1;

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool readExact(FILE* f, void* buf, size_t n) { return fread(buf, 1, n, f) == n; }

// Chunks are word-aligned: an odd-sized chunk is followed by a pad byte.
bool skip(FILE* f, uint64_t n) {
    if (n == 0) return true;
    if (n > uint64_t(INT64_MAX)) return false;
    return fseeko(f, off_t(n), SEEK_CUR) == 0;
}

// Gives -1 with the reason.
int fail(const char** why, const char* text) {
    if (why) *why = text;
    return -1;
}

}  // namespace

int readWavHeader(FILE* f, WavFormat* out, const char** why) {
    if (!f || !out) return fail(why, "no file");
    *out = WavFormat();
    if (fseeko(f, 0, SEEK_END) != 0) return fail(why, "cannot be read");
    off_t end = ftello(f);
    if (end < 0 || fseeko(f, 0, SEEK_SET) != 0) return fail(why, "cannot be read");
    const uint64_t fileSize = uint64_t(end);

    uint8_t riff[12];
    if (!readExact(f, riff, sizeof riff)) return fail(why, "too short for a WAV file");
    if (memcmp(riff, "RIFF", 4) != 0 || memcmp(riff + 8, "WAVE", 4) != 0) return fail(why, "not a RIFF WAVE file");

    WavFormat fmt;
    bool haveFmt = false;
    for (;;) {
        uint8_t head[8];
        if (!readExact(f, head, sizeof head)) return fail(why, "WAV file ends before its \"data\" chunk");
        const uint32_t size = le32(head + 4);
        const uint64_t padded = uint64_t(size) + (size & 1u);
        if (memcmp(head, "fmt ", 4) == 0) {
            if (size < kFmtSize) return fail(why, "WAV \"fmt \" chunk too short");
            uint8_t b[kFmtSize];
            if (!readExact(f, b, sizeof b)) return fail(why, "WAV file cut short in its \"fmt \" chunk");
            if (le16(b) != kFormatPcm) return fail(why, "WAV samples are not integer PCM");
            fmt.channels = le16(b + 2);
            fmt.sampleRate = le32(b + 4);
            fmt.bitsPerSample = le16(b + 14);
            if (fmt.channels < 1 || fmt.channels > 2) return fail(why, "WAV of other than one or two channels");
            if (fmt.bitsPerSample != 8 && fmt.bitsPerSample != 16)
                return fail(why, "WAV of other than 8 or 16 bits a sample");
            if (fmt.sampleRate == 0 || fmt.sampleRate > uint32_t(INT32_MAX)) return fail(why, "WAV sample rate out of range");
            if (!skip(f, padded - kFmtSize)) return fail(why, "WAV file cut short in its \"fmt \" chunk");
            haveFmt = true;
        } else if (memcmp(head, "data", 4) == 0) {
            if (!haveFmt) return fail(why, "WAV \"data\" chunk before its \"fmt \" chunk");
            off_t start = ftello(f);
            if (start < 0) return fail(why, "cannot be read");
            fmt.dataOffset = uint64_t(start);
            // The size field is not trusted beyond the end of the file, and
            // only whole frames are kept.
            uint64_t avail = fileSize > fmt.dataOffset ? fileSize - fmt.dataOffset : 0;
            uint64_t n = size < avail ? size : avail;
            const uint32_t frame = fmt.channels * (fmt.bitsPerSample / 8);
            n -= n % frame;
            fmt.dataSize = uint32_t(n);
            *out = fmt;
            return 0;
        } else {
            if (!skip(f, padded)) return fail(why, "WAV file cut short in a chunk");
        }
    }
}

int readWav(FILE* f, WavFormat* format, uint8_t** pcm, const char** why) {
    if (!format || !pcm) return fail(why, "no file");
    *pcm = nullptr;
    WavFormat fmt;
    if (readWavHeader(f, &fmt, why) != 0) return -1;
    uint8_t* bytes = nullptr;
    if (fmt.dataSize > 0) {
        if (fseeko(f, off_t(fmt.dataOffset), SEEK_SET) != 0) return fail(why, "cannot be read");
        bytes = static_cast<uint8_t*>(engineAlloc(fmt.dataSize));
        if (!bytes) return fail(why, "out of memory for its samples");
        size_t got = fread(bytes, 1, fmt.dataSize, f);
        // The file may have shrunk since its size was taken.
        const uint32_t frame = fmt.channels * (fmt.bitsPerSample / 8);
        fmt.dataSize = uint32_t(got - got % frame);
        if (fmt.dataSize == 0) {
            engineFree(bytes);
            bytes = nullptr;
        }
    }
    *format = fmt;
    *pcm = bytes;
    return 0;
}

}  // namespace iOS
}  // namespace KelpaEngine
