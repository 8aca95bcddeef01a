// The start-up peer of `mekko --headless --frames 1`: a plain SDL2 program
// that does what the game does before its first frame and draws the title
// from the same files: a 750 x 1334 GLES2 renderer (SDL's offscreen video
// driver, so the same Mesa llvmpipe), an audio device with the title's two
// sounds, the title's pictures decoded with libpng, its two text lines
// drawn with FreeType from the game's font, one frame drawn and read back.
// Then it exits, as the game's one-frame run does.
//
//   startup_peer [ASSET_FOLDER] [--verbose]
//
// With --verbose it prints how long each step took, in the game's words
// ("mekko --verbose" prints the same steps for the game). Self-contained:
// it links SDL2, libpng and FreeType, nothing of ours, so that its start
// costs what such a program's start costs.
#include <SDL.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <unistd.h>

#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef KELPA_SOURCE_DIR
#define KELPA_SOURCE_DIR "."
#endif

namespace {

constexpr int kWidth = 750, kHeight = 1334;
// The game draws a 640 x 1136 design space on a 375 x 667 @2 screen.
constexpr double kScale = double(kWidth) / 640.0;

struct Picture {
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
};

bool readPNG(const std::string& path, Picture* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out->width = int(image.width);
    out->height = int(image.height);
    out->rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

SDL_Texture* upload(SDL_Renderer* renderer, const Picture& p) {
    SDL_Texture* t = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, p.width, p.height);
    if (!t) return nullptr;
    SDL_UpdateTexture(t, nullptr, p.rgba.data(), p.width * 4);
    SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
    return t;
}

// One line of text in white, its glyphs laid side by side on a baseline.
bool drawText(FT_Face face, const char* text, Picture* out) {
    const int px = int(20 * kScale * 2);
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(px)) != 0) return false;
    int width = 0;
    for (const char* c = text; *c; ++c) {
        if (FT_Load_Char(face, FT_ULong(static_cast<unsigned char>(*c)), FT_LOAD_DEFAULT) == 0) {
            width += int(face->glyph->advance.x >> 6);
        }
    }
    out->width = width > 0 ? width : 1;
    out->height = px * 3 / 2;
    out->rgba.assign(size_t(out->width) * out->height * 4, 0);
    int penX = 0, baseline = px;
    for (const char* c = text; *c; ++c) {
        if (FT_Load_Char(face, FT_ULong(static_cast<unsigned char>(*c)), FT_LOAD_RENDER) != 0) continue;
        FT_Bitmap& b = face->glyph->bitmap;
        for (unsigned y = 0; y < b.rows; ++y) {
            for (unsigned x = 0; x < b.width; ++x) {
                int ox = penX + face->glyph->bitmap_left + int(x), oy = baseline - face->glyph->bitmap_top + int(y);
                if (ox < 0 || oy < 0 || ox >= out->width || oy >= out->height) continue;
                uint8_t* d = &out->rgba[(size_t(oy) * out->width + ox) * 4];
                d[0] = d[1] = d[2] = 255;
                d[3] = b.buffer[y * unsigned(b.pitch) + x];
            }
        }
        penX += int(face->glyph->advance.x >> 6);
    }
    return true;
}

double bootMs() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The kernel's record of the process's start, to its tick, on the same
// clock: the loader's work comes before main.
double processStartMs() {
    char buf[1024];
    FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f) return bootMs();
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    const char* p = std::strrchr(buf, ')');
    for (int field = 2; p && field < 22; ++field) p = std::strchr(p + 1, ' ');
    long hz = sysconf(_SC_CLK_TCK);
    return p && hz > 0 ? double(std::atoll(p + 1)) * 1e3 / double(hz) : bootMs();
}

// The process's peak resident memory so far (VmHWM), in KiB.
long peakResidentKiB() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            kib = std::atol(line + 6);
            break;
        }
    }
    std::fclose(f);
    return kib;
}

// The same steps and format as mekko --verbose, printed at the end.
struct Steps {
    struct Mark {
        const char* what;
        double ms;
        long peakKiB;
    };
    double start = processStartMs();
    std::vector<Mark> marks;
    void mark(const char* what) { marks.push_back(Mark{what, bootMs(), peakResidentKiB()}); }
    void print() const {
        double last = start;
        for (const Mark& m : marks) {
            std::printf("startup_peer: start-up: %-24s %8.1f ms  (at %8.1f ms, peak memory %6.1f MiB)\n", m.what,
                        m.ms - last, m.ms - start, double(m.peakKiB) / 1024.0);
            last = m.ms;
        }
    }
};

struct Placed {
    const char* file;
    double x, y;  // design points, top left
};

// The title's pictures as textures, where they are drawn (pixels).
struct Title {
    std::vector<SDL_Texture*> textures;
    std::vector<SDL_Rect> places;
    std::vector<SDL_Texture*> pressed;  // loaded as the game loads them, not drawn
    std::vector<SDL_Texture*> lines;
};

// The title's music plays; the tap sound is loaded.
SDL_AudioDeviceID openAudio(const std::string& assets) {
    SDL_AudioSpec want{}, have{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    SDL_AudioDeviceID audio = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    for (const char* name : {"/sound/title.wav", "/sound/button_tap.wav"}) {
        SDL_AudioSpec format;
        Uint8* data = nullptr;
        Uint32 length = 0;
        if (SDL_LoadWAV((assets + name).c_str(), &format, &data, &length)) {
            if (audio && std::strcmp(name, "/sound/title.wav") == 0) SDL_QueueAudio(audio, data, length);
            SDL_FreeWAV(data);
        }
    }
    if (audio) SDL_PauseAudioDevice(audio, 0);
    return audio;
}

bool loadPictures(SDL_Renderer* renderer, const std::string& assets, Title* title) {
    static const Placed kPictures[] = {
        {"main_bg1.png", -40, 0},
        {"main_treasure.png", 254, 250},
        {"main_stage.png", 110, 700},
        {"title_logo.png", 50, 200},
        {"title_btn_gamestart_off.png", 55, 480},
        {"title_btn_achievement_off.png", 162, 712},
        {"title_btn_setting_off.png", 292, 712},
        {"title_btn_ruvo_off.png", 422, 712},
        {"title_btn_ranking_off.png", 32, 712},
    };
    static const char* const kPressed[] = {"title_btn_gamestart_on.png", "title_btn_achievement_on.png",
                                           "title_btn_setting_on.png", "title_btn_ruvo_on.png",
                                           "title_btn_ranking_on.png"};
    for (const Placed& p : kPictures) {
        Picture pic;
        if (!readPNG(assets + "/" + p.file, &pic)) {
            std::fprintf(stderr, "startup_peer: cannot read %s/%s\n", assets.c_str(), p.file);
            return false;
        }
        title->textures.push_back(upload(renderer, pic));
        title->places.push_back(
            SDL_Rect{int(p.x * kScale), int(p.y * kScale), int(pic.width * kScale), int(pic.height * kScale)});
    }
    for (const char* name : kPressed) {
        Picture pic;
        if (readPNG(assets + "/" + name, &pic)) title->pressed.push_back(upload(renderer, pic));
    }
    return true;
}

void loadText(SDL_Renderer* renderer, const std::string& assets, Title* title) {
    FT_Library ft = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&ft) != 0) return;
    if (FT_New_Face(ft, (assets + "/GenShinGothic-Medium.ttf").c_str(), 0, &face) == 0) {
        for (const char* text : {"(c) 2026 the mekko developers", "Version 1.0.0"}) {
            Picture pic;
            if (drawText(face, text, &pic)) title->lines.push_back(upload(renderer, pic));
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(ft);
}

// The title as the game draws it, then read back as the game's frames are.
bool drawFrame(SDL_Renderer* renderer, const Title& title) {
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    for (size_t i = 0; i < title.textures.size(); ++i) {
        if (title.textures[i]) SDL_RenderCopy(renderer, title.textures[i], nullptr, &title.places[i]);
        if (i == 2) {  // the veil between the stage and the logo
            SDL_SetRenderDrawColor(renderer, 26, 26, 26, 102);
            SDL_RenderFillRect(renderer, nullptr);
        }
    }
    for (size_t i = 0; i < title.lines.size(); ++i) {
        int w = 0, h = 0;
        SDL_QueryTexture(title.lines[i], nullptr, nullptr, &w, &h);
        SDL_Rect at{int(180 * kScale), int((i == 0 ? 820 : 100) * kScale), w / 2, h / 2};
        SDL_RenderCopy(renderer, title.lines[i], nullptr, &at);
    }
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4);
    if (SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ABGR8888, frame.data(), kWidth * 4) != 0) {
        std::fprintf(stderr, "startup_peer: %s\n", SDL_GetError());
        return false;
    }
    SDL_RenderPresent(renderer);
    return true;
}

}  // namespace


int main(int argc, char** argv) {
    Steps steps;
    steps.mark("libraries loaded");
    std::string assets = std::string(KELPA_SOURCE_DIR) + "/assets/Assets.bundle";
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0) {
            verbose = true;
        } else {
            assets = argv[i];
        }
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengles2");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "startup_peer: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("peer", 0, 0, kWidth, kHeight, SDL_WINDOW_HIDDEN);
    SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    if (!renderer) {
        std::fprintf(stderr, "startup_peer: %s\n", SDL_GetError());
        return 1;
    }
    steps.mark("GL set up");
    SDL_AudioDeviceID audio = openAudio(assets);
    steps.mark("audio");
    Title title;
    if (!loadPictures(renderer, assets, &title)) return 1;
    steps.mark("pictures");
    loadText(renderer, assets, &title);
    steps.mark("text");
    if (!drawFrame(renderer, title)) return 1;
    steps.mark("first frame");
    if (verbose) steps.print();
    std::printf("startup_peer: first frame %.1f ms after the process started\n", steps.marks.back().ms - steps.start);
    std::fflush(stdout);

    for (SDL_Texture* t : title.textures) SDL_DestroyTexture(t);
    for (SDL_Texture* t : title.pressed) SDL_DestroyTexture(t);
    for (SDL_Texture* t : title.lines) SDL_DestroyTexture(t);
    if (audio) SDL_CloseAudioDevice(audio);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
