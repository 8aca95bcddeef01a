// test-links: kelpa_ios
// The WAV reader against hand-built files: what it accepts, where it finds
// the samples, and what it refuses.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/Heap.h"
#include "engine/ios/Wav.h"
#include "tests/engine/audio_test_util.h"

using namespace audiotest;
using namespace std::string_literals;
using KelpaEngine::iOS::readWav;
using KelpaEngine::iOS::readWavHeader;
using KelpaEngine::iOS::WavFormat;

namespace {

struct GoodCase {
    const char* name;
    std::string file;
    uint32_t channels, bits, rate;
    std::string samples;  // what must be read as the PCM bytes
};

std::vector<GoodCase> goodCases() {
    const std::string s8 = ramp(40), s16 = ramp(80, 7);
    std::vector<GoodCase> v;
    v.push_back({"mono8", riff(fmtChunk(1, 11025, 8) + chunk("data", s8)), 1, 8, 11025, s8});
    v.push_back({"mono16", riff(fmtChunk(1, 22050, 16) + chunk("data", s16)), 1, 16, 22050, s16});
    v.push_back({"stereo8", riff(fmtChunk(2, 8000, 8) + chunk("data", s8)), 2, 8, 8000, s8});
    v.push_back({"stereo16", riff(fmtChunk(2, 44100, 16) + chunk("data", s16)), 2, 16, 44100, s16});
    v.push_back({"list_between_fmt_and_data",
                 riff(fmtChunk(1, 22050, 16) + chunk("LIST", "INFOISFT\x06\0\0\0mekko\0"s, false) +
                      chunk("data", s16)),
                 1, 16, 22050, s16});
    v.push_back({"chunk_before_fmt", riff(chunk("JUNK", ramp(12)) + fmtChunk(1, 22050, 16) + chunk("data", s16)),
                 1, 16, 22050, s16});
    v.push_back({"fmt_18_bytes", riff(chunk("fmt ", fmtPayload(1, 1, 22050, 16, std::string(2, '\0'))) +
                                      chunk("data", s16)),
                 1, 16, 22050, s16});
    // Odd-sized chunks are followed by a pad byte that is not part of the
    // next chunk.
    v.push_back({"odd_chunk_padded", riff(fmtChunk(1, 22050, 16) + chunk("junk", ramp(3, 0xA0)) + chunk("data", s16)),
                 1, 16, 22050, s16});
    v.push_back({"odd_fmt_padded", riff(chunk("fmt ", fmtPayload(1, 2, 22050, 8, "\x01")) + chunk("data", s8)),
                 2, 8, 22050, s8});
    // A data size beyond the end of the file: only what is there counts.
    v.push_back({"data_size_past_end", riff(fmtChunk(1, 22050, 16) + chunkDeclared("data", 100000, s16)),
                 1, 16, 22050, s16});
    // A cut-off last frame is dropped.
    v.push_back({"partial_last_frame", riff(fmtChunk(2, 22050, 16) + chunkDeclared("data", 80, ramp(7))),
                 2, 16, 22050, ramp(4)});
    v.push_back({"empty_data", riff(fmtChunk(1, 22050, 16) + chunk("data", "")), 1, 16, 22050, ""});
    return v;
}

struct BadCase {
    const char* name;
    std::string file;
};

std::vector<BadCase> badCases() {
    const std::string d = chunk("data", ramp(16));
    std::vector<BadCase> v;
    v.push_back({"empty_file", ""});
    v.push_back({"riff_only", "RIFF"});
    v.push_back({"not_riff", "RIFX" + riff(fmtChunk(1, 22050, 16) + d).substr(4)});
    v.push_back({"not_wave", "RIFF\x10\0\0\0AVI "s + fmtChunk(1, 22050, 16) + d});
    v.push_back({"float_samples", riff(chunk("fmt ", fmtPayload(3, 1, 22050, 32)) + d)});
    v.push_back({"extensible", riff(chunk("fmt ", fmtPayload(0xFFFE, 2, 22050, 16, std::string(24, '\0'))) + d)});
    v.push_back({"three_channels", riff(fmtChunk(3, 22050, 16) + d)});
    v.push_back({"no_channels", riff(fmtChunk(0, 22050, 16) + d)});
    v.push_back({"24_bit", riff(fmtChunk(1, 22050, 24) + d)});
    v.push_back({"4_bit", riff(fmtChunk(1, 22050, 4) + d)});
    v.push_back({"rate_zero", riff(fmtChunk(1, 0, 16) + d)});
    v.push_back({"short_fmt", riff(chunk("fmt ", fmtPayload(1, 1, 22050, 16).substr(0, 14)) + d)});
    v.push_back({"data_before_fmt", riff(d + fmtChunk(1, 22050, 16))});
    v.push_back({"no_data_chunk", riff(fmtChunk(1, 22050, 16) + chunk("LIST", ramp(10)))});
    v.push_back({"fmt_cut_short", riff(fmtChunk(1, 22050, 16)).substr(0, 12 + 8 + 10)});
    v.push_back({"huge_chunk_size", riff(fmtChunk(1, 22050, 16) + chunkDeclared("junk", 0xFFFFFFFFu, ramp(8)))});
    v.push_back({"header_cut_in_chunk_id", riff(fmtChunk(1, 22050, 16)) + "da"});
    return v;
}

class WavFiles : public ::testing::Test {
protected:
    FILE* open(const std::string& name, const std::string& bytes) {
        FILE* f = fopen(folder_.write(name, bytes).c_str(), "rb");
        EXPECT_NE(f, nullptr);
        return f;
    }
    AssetFolder folder_;
};

TEST_F(WavFiles, AcceptedFilesGiveFormatAndExactSamples) {
    for (const GoodCase& c : goodCases()) {
        SCOPED_TRACE(c.name);
        FILE* f = open(c.name, c.file);
        ASSERT_NE(f, nullptr);
        WavFormat fmt;
        uint8_t* pcm = nullptr;
        ASSERT_EQ(readWav(f, &fmt, &pcm), 0);
        fclose(f);
        EXPECT_EQ(fmt.channels, c.channels);
        EXPECT_EQ(fmt.bitsPerSample, c.bits);
        EXPECT_EQ(fmt.sampleRate, c.rate);
        ASSERT_EQ(fmt.dataSize, c.samples.size());
        if (c.samples.empty()) {
            EXPECT_EQ(pcm, nullptr);
        } else {
            ASSERT_NE(pcm, nullptr);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(pcm), fmt.dataSize), c.samples);
        }
        KelpaEngine::engineFree(pcm);
    }
}

TEST_F(WavFiles, RefusedFilesFailWithoutAllocating) {
    for (const BadCase& c : badCases()) {
        SCOPED_TRACE(c.name);
        FILE* f = open(c.name, c.file);
        ASSERT_NE(f, nullptr);
        const uint32_t live = KelpaEngine::heapCounters().liveBlocks;
        WavFormat fmt;
        uint8_t* pcm = reinterpret_cast<uint8_t*>(&fmt);
        EXPECT_EQ(readWav(f, &fmt, &pcm), -1);
        EXPECT_EQ(pcm, nullptr);
        EXPECT_EQ(KelpaEngine::heapCounters().liveBlocks, live);
        fclose(f);
    }
}

TEST_F(WavFiles, HeaderGivesDataOffsetPastPaddedChunks) {
    // 12 RIFF + 24 fmt + (8 + 3 + 1 pad) junk + 8 data header.
    std::string file = riff(fmtChunk(1, 22050, 16) + chunk("junk", "abc") + chunk("data", ramp(4)));
    FILE* f = open("offset.wav", file);
    ASSERT_NE(f, nullptr);
    WavFormat fmt;
    ASSERT_EQ(readWavHeader(f, &fmt), 0);
    EXPECT_EQ(fmt.dataOffset, 12u + 24u + 12u + 8u);
    EXPECT_EQ(fmt.dataSize, 4u);
    fclose(f);
}

TEST(WavNull, NullArgumentsFail) {
    WavFormat fmt;
    uint8_t* pcm = nullptr;
    EXPECT_EQ(readWavHeader(nullptr, &fmt), -1);
    EXPECT_EQ(readWav(nullptr, &fmt, &pcm), -1);
    EXPECT_EQ(readWav(nullptr, nullptr, &pcm), -1);
}

}  // namespace
