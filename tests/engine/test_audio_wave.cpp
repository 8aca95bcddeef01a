// test-links: kelpa_ios
// What reaches the output: OpenAL Soft's wave driver writes the mixed
// output to a WAV file, which is read back here. The driver is chosen
// through a config file before the first device of this process opens, so
// these tests live in an executable of their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "engine/Audio.h"
#include "engine/Sound.h"
#include "engine/ios/AudioImp.h"
#include "engine/ios/Factories.h"
#include "tests/engine/audio_test_util.h"

using namespace audiotest;
using KelpaEngine::Audio;
using KelpaEngine::RefPtr;
using KelpaEngine::Sound;

namespace {

std::string scratch(const char* name) {
    return std::string(KELPA_BINARY_DIR) + "/" + name + "-" + std::to_string(getpid());
}

// Set up before main: OpenAL Soft reads its configuration once, at the
// first call into it.
struct WaveDriver {
    std::string conf = scratch("alsoft-wave.conf");
    std::string out = scratch("alsoft-wave-out.wav");
    WaveDriver() {
        std::ofstream(conf) << "[general]\ndrivers = wave\n[wave]\nfile = " << out << "\n";
        setenv("ALSOFT_CONF", conf.c_str(), 1);
        unsetenv("ALSOFT_DRIVERS");
    }
    ~WaveDriver() {
        std::remove(conf.c_str());
        std::remove(out.c_str());
    }
} waveDriver;

struct Output {
    bool ok = false;
    size_t samples = 0;
    size_t loud = 0;            // samples clearly away from silence
    std::vector<float> first;   // the first channel, -1..1
};

uint32_t rd32(const std::string& s, size_t i) {
    return uint32_t(uint8_t(s[i])) | uint32_t(uint8_t(s[i + 1])) << 8 | uint32_t(uint8_t(s[i + 2])) << 16 |
           uint32_t(uint8_t(s[i + 3])) << 24;
}
uint16_t rd16(const std::string& s, size_t i) { return uint16_t(uint8_t(s[i]) | uint8_t(s[i + 1]) << 8); }

// Reads the driver's file: integer or float samples, plain or extensible fmt.
Output readOutput(const std::string& path) {
    Output o;
    std::ifstream in(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return o;
    uint16_t tag = 0, bits = 0, channels = 1;
    size_t i = 12;
    while (i + 8 <= s.size()) {
        uint32_t size = rd32(s, i + 4);
        if (s.compare(i, 4, "fmt ") == 0 && i + 8 + 16 <= s.size()) {
            tag = rd16(s, i + 8);
            channels = std::max<uint16_t>(1, rd16(s, i + 8 + 2));
            bits = rd16(s, i + 8 + 14);
            if (tag == 0xFFFE && size >= 26 && i + 8 + 26 <= s.size()) tag = rd16(s, i + 8 + 24);
        } else if (s.compare(i, 4, "data") == 0) {
            // The driver may not have written its final size: take the rest.
            const char* p = s.data() + i + 8;
            size_t n = s.size() - (i + 8);
            if (tag == 3 && bits == 32) {
                for (size_t k = 0; k + 4 <= n; k += 4, ++o.samples) {
                    float f;
                    memcpy(&f, p + k, 4);
                    if (std::fabs(f) > 0.01f) ++o.loud;
                    if (o.samples % channels == 0) o.first.push_back(f);
                }
            } else if (tag == 1 && bits == 16) {
                for (size_t k = 0; k + 2 <= n; k += 2, ++o.samples) {
                    int16_t v = int16_t(rd16(s, i + 8 + k));
                    if (std::abs(v) > 300) ++o.loud;
                    if (o.samples % channels == 0) o.first.push_back(v / 32768.0f);
                }
            } else if (tag == 1 && bits == 8) {
                for (size_t k = 0; k < n; ++k, ++o.samples) {
                    if (std::abs(int(uint8_t(p[k])) - 128) > 2) ++o.loud;
                    if (o.samples % channels == 0) o.first.push_back((int(uint8_t(p[k])) - 128) / 128.0f);
                }
            } else {
                return o;
            }
            o.ok = true;
            return o;
        }
        i += 8 + size + (size & 1);
    }
    return o;
}

// Lets the driver's mixer write output: at least `ms`, and then until the
// file holds `bytes` (or, when negative, that many more than it holds now), which a starved mixer thread on a loaded machine may
// take longer to write (bounded).
void letOutputRun(int ms, long bytes) {
    if (bytes < 0) {
        std::ifstream f(waveDriver.out, std::ios::binary | std::ios::ate);
        bytes = (f ? static_cast<long>(f.tellg()) : 0) - bytes;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream f(waveDriver.out, std::ios::binary | std::ios::ate);
        if (f && static_cast<long>(f.tellg()) >= bytes) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST(AudioWaveOutput, PlayedSoundsReachTheOutputUnlessTheirKindIsMuted) {
    AssetFolder folder;
    folder.write("tone.wav", simpleWav(11025, 22050));  // half a second
    struct Case {
        int musicOff, effectsOff, kind;
        bool audible;
    } cases[] = {
        {0, 0, 2, true},
        {0, 1, 2, false},
        {1, 0, 2, true},
        {1, 0, 1, false},
        {0, 1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "music off " << c.musicOff << " effects off " << c.effectsOff
                                        << " kind " << c.kind);
        {
            RefPtr<Audio> audio = KelpaEngine::iOS::createAudioImp();
            ASSERT_TRUE(audio);
            auto* ai = dynamic_cast<KelpaEngine::iOS::AudioImp*>(audio.get());
            ASSERT_NE(ai->context(), nullptr) << "the wave driver did not open";
            audio->setBGMOff(c.musicOff);
            audio->setSEOff(c.effectsOff);
            RefPtr<Sound> s = audio->createSound(c.kind, "tone.wav", 0, true);
            s->play(c.kind, 0);
            letOutputRun(300, 64 * 1024);
            // Closing the device finishes the file.
        }
        Output o = readOutput(waveDriver.out);
        ASSERT_TRUE(o.ok);
        // About 300 ms of output was written, sound or not.
        EXPECT_GT(o.samples, 4000u);
        if (c.audible) {
            EXPECT_GT(o.loud, 2000u);
        } else {
            EXPECT_EQ(o.loud, 0u);
        }
    }
}

TEST(AudioWaveOutput, PausedAndStoppedSoundsFallSilent) {
    AssetFolder folder;
    folder.write("tone.wav", simpleWav(44100, 22050));  // two seconds
    for (bool useStop : {false, true}) {
        SCOPED_TRACE(useStop ? "stop" : "pause");
        {
            RefPtr<Audio> audio = KelpaEngine::iOS::createAudioImp();
            ASSERT_TRUE(audio);
            RefPtr<Sound> s = audio->createSound(1, "tone.wav", 0, true);
            s->play(1, -1);
            if (useStop) {
                s->stop();
            } else {
                s->pause();
            }
            letOutputRun(200, 32 * 1024);
        }
        Output o = readOutput(waveDriver.out);
        ASSERT_TRUE(o.ok);
        EXPECT_GT(o.samples, 2000u);
        EXPECT_EQ(o.loud, 0u);
    }
}

// Loud 20 ms stretches of the first channel, told apart by how often the
// signal crosses zero: a low tone a few times, a high one tens of times.
struct Tones {
    int low = 0, high = 0;
};
Tones countTones(const Output& o) {
    Tones t;
    const size_t window = 882;  // 20 ms at 44.1 kHz
    for (size_t w = 0; w + window <= o.first.size(); w += window) {
        int crossings = 0, loud = 0;
        for (size_t k = w; k < w + window; ++k) {
            if (std::fabs(o.first[k]) > 0.05f) ++loud;
            if (k > w && (o.first[k] < 0) != (o.first[k - 1] < 0)) ++crossings;
        }
        if (loud < int(window) / 2) continue;
        if (crossings <= 12) ++t.low;
        if (crossings >= 30) ++t.high;
    }
    return t;
}

// Title and main play each have an audio object, and for a moment both are
// alive: one recording holds what each of them played.
TEST(AudioWaveOutput, OneRecordingHoldsEveryAudioObjectsSound) {
    AssetFolder folder;
    // Half a second each: about 110 Hz and 1.1 kHz.
    folder.write("low.wav", riff(fmtChunk(1, 22050, 16) + chunk("data", square16(11025, 1, 20000, 200))));
    folder.write("high.wav", riff(fmtChunk(1, 22050, 16) + chunk("data", square16(11025, 1, 20000, 20))));
    {
        RefPtr<Audio> title = KelpaEngine::iOS::createAudioImp();
        ASSERT_TRUE(title);
        ASSERT_NE(dynamic_cast<KelpaEngine::iOS::AudioImp*>(title.get())->context(), nullptr)
            << "the wave driver did not open";
        RefPtr<Sound> low = title->createSound(1, "low.wav", 0, true);
        low->play(1, 0);
        letOutputRun(300, -64 * 1024);
        low->stop();

        RefPtr<Audio> play = KelpaEngine::iOS::createAudioImp();
        ASSERT_TRUE(play);
        low = nullptr;
        title = nullptr;
        RefPtr<Sound> high = play->createSound(2, "high.wav", 0, true);
        high->play(2, 0);
        letOutputRun(300, -64 * 1024);
    }
    Output o = readOutput(waveDriver.out);
    ASSERT_TRUE(o.ok);
    Tones t = countTones(o);
    EXPECT_GE(t.low, 5) << "the first object's tone is missing";
    EXPECT_GE(t.high, 5) << "the second object's tone is missing";
}

}  // namespace
