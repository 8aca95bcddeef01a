// test-links: kelpa_ios
// WAV fixtures and a scratch asset folder for the audio and WAV tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "engine/ios/Paths.h"

namespace audiotest {

inline void put16(std::string& s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
inline void put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}

// One RIFF chunk; odd payloads get their pad byte unless told otherwise.
inline std::string chunk(const char* id, const std::string& payload, bool pad = true) {
    std::string s(id, 4);
    put32(s, uint32_t(payload.size()));
    s += payload;
    if (pad && (payload.size() & 1)) s += '\0';
    return s;
}
// A chunk header whose size field says `declared`, followed by `payload`.
inline std::string chunkDeclared(const char* id, uint32_t declared, const std::string& payload) {
    std::string s(id, 4);
    put32(s, declared);
    return s + payload;
}

// The fmt payload; `extra` bytes follow the 16 standard ones.
inline std::string fmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                              const std::string& extra = "") {
    std::string s;
    put16(s, tag);
    put16(s, channels);
    put32(s, rate);
    uint16_t align = uint16_t(channels * (bits / 8));
    put32(s, rate * align);
    put16(s, align);
    put16(s, bits);
    return s + extra;
}
inline std::string fmtChunk(uint16_t channels, uint32_t rate, uint16_t bits) {
    return chunk("fmt ", fmtPayload(1, channels, rate, bits));
}

inline std::string riff(const std::string& body) {
    std::string s = "RIFF";
    put32(s, uint32_t(4 + body.size()));
    return s + "WAVE" + body;
}

// Distinct bytes, so a misplaced data start shows.
inline std::string ramp(size_t n, unsigned start = 1) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += char((start + i) & 0xFF);
    return s;
}

// A loud 16-bit square wave, interleaved for `channels`.
inline std::string square16(uint32_t frames, uint16_t channels, int16_t amp = 20000, uint32_t period = 50) {
    std::string s;
    for (uint32_t i = 0; i < frames; ++i) {
        int16_t v = (i / (period / 2)) % 2 ? amp : int16_t(-amp);
        for (uint16_t c = 0; c < channels; ++c) put16(s, uint16_t(v));
    }
    return s;
}

// A playable mono 16-bit sound of `frames` frames.
inline std::string simpleWav(uint32_t frames, uint32_t rate = 22050) {
    return riff(fmtChunk(1, rate, 16) + chunk("data", square16(frames, 1)));
}

inline int openFdCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

// A temporary folder used as the asset folder while the test runs.
class AssetFolder {
public:
    AssetFolder() {
        char tmpl[] = "/tmp/kelpa-audio-XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (d) dir_ = d;
        KelpaEngine::iOS::setAssetFolder(dir_.c_str());
    }
    ~AssetFolder() {
        KelpaEngine::iOS::setAssetFolder(nullptr);
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    AssetFolder(const AssetFolder&) = delete;
    AssetFolder& operator=(const AssetFolder&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    // Writes an asset file and returns its full path.
    std::string write(const std::string& name, const std::string& bytes) const {
        std::string p = path(name);
        FILE* f = fopen(p.c_str(), "wb");
        EXPECT_NE(f, nullptr) << p;
        if (f) {
            fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        }
        return p;
    }

private:
    std::string dir_;
};

}  // namespace audiotest
