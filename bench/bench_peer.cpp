// The peers of bench_frame, drawing the same recorded command stream from
// the same page pixels into a 750 x 1334 framebuffer and reading it back:
//   sdl   SDL2's GLES2 renderer on its offscreen video driver, one
//         SDL_RenderCopyEx per picture, one SDL_RenderFillRect per fill;
//   floor bare GLES2 on an SDL offscreen window: clear, the pictures turned
//         on the CPU into one vertex array, one draw call per run of one
//         page (or of fills), read-back.
// The engine records each frame (untimed here: the peers' figure is what
// they do with the commands, and the pictures the game adds to its pages
// while it plays, which they send again). Bench only: the engine never
// links SDL.
#include <GLES2/gl2.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "bench/cases.h"
#include "engine/CommandBuffer.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "platform/ScreenProfile.h"

using namespace KelpaEngine;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWarmUpFrames = 10;

// CPU time of this thread: with llvmpipe rasterising on the calling thread
// (LP_NUM_THREADS=0) it holds the whole frame and hardly depends on what
// else the machine runs.
double threadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

double since(Clock::time_point& t) {
    Clock::time_point now = Clock::now();
    double us = std::chrono::duration<double, std::micro>(now - t).count();
    t = now;
    return us;
}

// The engine side of a peer: an application whose graphics object makes the
// pictures (pages with their RGBA copies) and records; it never executes.
struct Recorder {
    RefPtr<iOS::ApplicationImp> app;
    RefPtr<Graphics> graphics;
    iOS::GraphicsImp* imp = nullptr;
    std::unique_ptr<bench::Scene> scene;

    bool start(const bench::SceneCase& c, std::string* why) {
        KelpaPlatform::setCurrentScreenProfile(*KelpaPlatform::findScreenProfile("375x667@2"));
        app = makeRef<iOS::ApplicationImp>("bench-peer");
        graphics = app->getGraphics();
        imp = dynamic_cast<iOS::GraphicsImp*>(graphics.get());
        if (!imp) {
            *why = "no graphics";
            return false;
        }
        scene = c.make(c.arg);
        return scene->setUp(app.get(), graphics.get(), why);
    }
    // One frame of the scene, recorded; counts its drawing commands and
    // finds the pictures the game has put into its pages since the peer
    // last sent them (the game's texts), for the peer to send again.
    void frame() {
        scene->input();
        scene->update();
        scene->record(graphics.get());
        uploads.clear();
        struct Count : CommandVisitor {
            Recorder& r;
            explicit Count(Recorder& rec) : r(rec) {}
            void drawImage(const DrawImagePayload& p) {
                ++r.commands;
                r.changed(p.image->getTexture());
            }
            void drawSprite(const DrawSpritePayload& p) {
                ++r.commands;
                r.changed(p.sprite->image->getTexture());
            }
            void fillRect(const RectPayload&) { ++r.commands; }
        } count(*this);
        walk(count);
        items += scene->items();
    }

    // A region whose pixels differ from what was sent: a new upload.
    void changed(const Texture* t) {
        const TextureHandle* page = t->getPage();
        const size_t pageRow = size_t(page->getWidth()) * 4;
        std::vector<uint8_t>& copy = sent[page];
        if (copy.size() != pageRow * size_t(page->getHeight())) {
            // First use: the peer makes the texture from the whole page.
            copy.assign(page->getPixels(), page->getPixels() + pageRow * size_t(page->getHeight()));
            return;
        }
        const size_t at = size_t(t->regionY()) * pageRow + size_t(t->regionX()) * 4;
        const size_t rowBytes = size_t(t->getWidth()) * 4;
        bool same = true;
        for (int32_t r = 0; r < t->getHeight() && same; ++r) {
            same = std::memcmp(copy.data() + at + size_t(r) * pageRow, page->getPixels() + at + size_t(r) * pageRow,
                               rowBytes) == 0;
        }
        if (same) return;
        Upload u{page, t->regionX(), t->regionY(), t->getWidth(), t->getHeight(), {}};
        for (int32_t r = 0; r < t->getHeight(); ++r) {
            const uint8_t* row = page->getPixels() + at + size_t(r) * pageRow;
            std::memcpy(copy.data() + at + size_t(r) * pageRow, row, rowBytes);
            u.pixels.insert(u.pixels.end(), row, row + rowBytes);
        }
        uploads.push_back(std::move(u));
    }
    struct Upload {
        const TextureHandle* page;
        int32_t x, y, w, h;
        std::vector<uint8_t> pixels;
    };
    std::vector<Upload> uploads;  // this frame's
    std::map<const TextureHandle*, std::vector<uint8_t>> sent;
    // The counts over the timed frames, and why they were not the frames meant.
    void report(benchmark::State& state) {
        double n = double(state.iterations());
        state.counters["cmds"] = double(commands) / n;
        state.counters["items"] = items / n;
        std::string trouble = scene->trouble();
        if (!trouble.empty()) state.SkipWithError(trouble.c_str());
    }
    uint64_t commands = 0;
    double items = 0;
    // Layers from the last to 0, as present runs them.
    template <class V>
    void walk(V& v) {
        for (int32_t i = imp->layerCount() - 1; i >= 0; --i) walkCommands(*imp->layerAt(i), 0, v);
    }
    void done() { imp->resetCommands(); }
    ~Recorder() {
        scene.reset();
        graphics = nullptr;
        app = nullptr;
    }
};

// A drawn rectangle: a picture (turned, scaled, tinted) or, without a
// page, a fill of the colour.
struct SpriteQuad {
    TextureHandle* page;
    Texture* texture;
    float x, y, w, h, px, py, sx, sy, rotation;
    float color[4];
};

// The draws of one frame in a form both peers take, as the executor reads
// the commands: images and sprites tinted by the alpha, fills in the colour.
template <class Out>
struct Collect : CommandVisitor {
    explicit Collect(Out& o) : out(o) {}
    void setOrigin(const OriginPayload& p) {
        ox = p.x;
        oy = p.y;
    }
    void setAlpha(const AlphaPayload& p) { alpha = p.alpha; }
    void setColor(const ColorPayload& p) {
        shape[0] = p.r;
        shape[1] = p.g;
        shape[2] = p.b;
        shape[3] = p.a;
    }
    void drawSprite(const DrawSpritePayload& p) {
        Texture* t = p.sprite->image->getTexture();
        out(SpriteQuad{t->getPage(), t, ox + float(p.x), oy + float(p.y), float(p.w), float(p.h), float(p.pivotX),
                       float(p.pivotY), p.scaleX, p.scaleY, p.rotation, {1, 1, 1, alpha}});
    }
    void drawImage(const DrawImagePayload& p) {
        Texture* t = p.image->getTexture();
        out(SpriteQuad{t->getPage(), t, ox + float(p.dx), oy + float(p.dy), float(p.dw), float(p.dh), 0, 0, 1, 1, 0,
                       {1, 1, 1, alpha}});
    }
    void fillRect(const RectPayload& p) {
        out(SpriteQuad{nullptr, nullptr, ox + float(p.x), oy + float(p.y), float(p.w), float(p.h), 0, 0, 1, 1, 0,
                       {shape[0], shape[1], shape[2], shape[3]}});
    }

    Out& out;
    float ox = 0, oy = 0;
    float alpha = 1.0f;
    float shape[4] = {0, 0, 0, 1};
};

template <class Out>
void collect(Recorder& rec, Out out) {
    Collect<Out> c(out);
    rec.walk(c);
}

struct SdlWindow {
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    SDL_Renderer* renderer = nullptr;
    ~SdlWindow() {
        if (renderer) SDL_DestroyRenderer(renderer);
        if (gl) SDL_GL_DeleteContext(gl);
        if (window) SDL_DestroyWindow(window);
    }
};

void report(benchmark::State& state, double execute, double finish, double readBack, double cpu) {
    double n = double(state.iterations());
    state.counters["cpu_us"] = cpu / n;
    state.counters["execute_us"] = execute / n;
    state.counters["finish_us"] = finish / n;
    state.counters["readback_us"] = readBack / n;
}

void runSdl(benchmark::State& state, const bench::SceneCase* c) {
    Recorder rec;
    std::string why;
    if (!rec.start(*c, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    SdlWindow w;
    w.window = SDL_CreateWindow("peer", 0, 0, bench::kFrameWidth, bench::kFrameHeight, SDL_WINDOW_OPENGL);
    if (w.window) w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_ACCELERATED);
    SDL_RendererInfo info{};
    if (!w.renderer || SDL_GetRendererInfo(w.renderer, &info) != 0 || std::string(info.name) != "opengles2") {
        state.SkipWithError("no SDL opengles2 renderer");
        return;
    }
    const float scaleX = float(bench::kFrameWidth) / 540.0f, scaleY = float(bench::kFrameHeight) / 960.0f;
    SDL_RenderSetScale(w.renderer, scaleX, scaleY);
    SDL_SetRenderDrawBlendMode(w.renderer, SDL_BLENDMODE_BLEND);
    auto finishGL = reinterpret_cast<void (*)()>(SDL_GL_GetProcAddress("glFinish"));
    // The same pages, uploaded from their RGBA copies.
    std::map<TextureHandle*, SDL_Texture*> pages;
    auto pageTexture = [&](TextureHandle* page) {
        auto it = pages.find(page);
        if (it != pages.end()) return it->second;
        SDL_Texture* t = SDL_CreateTexture(w.renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC,
                                           page->getWidth(), page->getHeight());
        SDL_UpdateTexture(t, nullptr, page->getPixels(), page->getWidth() * 4);
        SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
        pages[page] = t;
        return t;
    };
    std::vector<uint8_t> pixels(size_t(bench::kFrameWidth) * bench::kFrameHeight * 4);
    double execute = 0, finish = 0, readBack = 0, cpu = 0;
    auto frame = [&]() {
        rec.frame();
        double cpuStart = threadCpuUs();
        Clock::time_point start = Clock::now(), t = start;
        for (const Recorder::Upload& u : rec.uploads) {
            auto it = pages.find(const_cast<TextureHandle*>(u.page));
            SDL_Rect r{u.x, u.y, u.w, u.h};
            if (it != pages.end()) SDL_UpdateTexture(it->second, &r, u.pixels.data(), u.w * 4);
        }
        SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
        SDL_RenderClear(w.renderer);
        collect(rec, [&](const SpriteQuad& q) {
            auto byte = [](float v) { return Uint8(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
            if (!q.page) {
                SDL_SetRenderDrawColor(w.renderer, byte(q.color[0]), byte(q.color[1]), byte(q.color[2]),
                                       byte(q.color[3]));
                SDL_FRect rect{q.x, q.y, q.w, q.h};
                SDL_RenderFillRectF(w.renderer, &rect);
                return;
            }
            SDL_Texture* texture = pageTexture(q.page);
            SDL_SetTextureAlphaMod(texture, byte(q.color[3]));
            SDL_Rect src{q.texture->regionX(), q.texture->regionY(), q.texture->getWidth(), q.texture->getHeight()};
            float sw = std::fabs(q.sx), sh = std::fabs(q.sy);
            SDL_FRect dst{q.x + q.px - q.px * sw, q.y + q.py - q.py * sh, q.w * sw, q.h * sh};
            SDL_FPoint centre{q.px * sw, q.py * sh};
            int flip = (q.sx < 0 ? SDL_FLIP_HORIZONTAL : 0) | (q.sy < 0 ? SDL_FLIP_VERTICAL : 0);
            SDL_RenderCopyExF(w.renderer, texture, &src, &dst, double(q.rotation) * 180.0 / M_PI, &centre,
                              SDL_RendererFlip(flip));
        });
        SDL_RenderFlush(w.renderer);
        execute += since(t);
        if (finishGL) finishGL();
        finish += since(t);
        // In pixels, not in the scaled drawing units.
        SDL_RenderSetScale(w.renderer, 1.0f, 1.0f);
        SDL_Rect all{0, 0, bench::kFrameWidth, bench::kFrameHeight};
        SDL_RenderReadPixels(w.renderer, &all, SDL_PIXELFORMAT_ABGR8888, pixels.data(), bench::kFrameWidth * 4);
        SDL_RenderSetScale(w.renderer, scaleX, scaleY);
        readBack += since(t);
        cpu += threadCpuUs() - cpuStart;
        rec.done();
        return std::chrono::duration<double>(t - start).count();
    };
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    execute = finish = readBack = cpu = 0;
    rec.commands = 0;
    rec.items = 0;
    for (auto _ : state) state.SetIterationTime(frame());
    for (auto& p : pages) SDL_DestroyTexture(p.second);
    report(state, execute, finish, readBack, cpu);
    rec.report(state);
}

// The floor's two programs: pictures times a per-vertex colour, and fills.
const char kFloorVertex[] =
    "attribute vec2 position;\n"
    "attribute vec2 texCoord;\n"
    "attribute vec4 color;\n"
    "varying vec2 uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_Position = vec4(position, 0.0, 1.0);\n"
    "  uv = texCoord;\n"
    "  tint = color;\n"
    "}\n";
const char kFloorFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "varying vec2 uv;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv) * tint;\n"
    "}\n";
const char kFloorFillVertex[] =
    "attribute vec2 position;\n"
    "attribute vec4 color;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_Position = vec4(position, 0.0, 1.0);\n"
    "  tint = color;\n"
    "}\n";
const char kFloorFillFragment[] =
    "precision mediump float;\n"
    "varying vec4 tint;\n"
    "void main() {\n"
    "  gl_FragColor = tint;\n"
    "}\n";

struct FloorProgram {
    GLuint program = 0;
    GLint position = -1, texCoord = -1, color = -1;
};

FloorProgram floorProgram(const char* vertex, const char* fragment) {
    FloorProgram p;
    p.program = iOS::GraphicsOpenGL::linkProgram(vertex, fragment);
    if (!p.program) return p;
    p.position = glGetAttribLocation(p.program, "position");
    p.texCoord = glGetAttribLocation(p.program, "texCoord");
    p.color = glGetAttribLocation(p.program, "color");
    return p;
}

void runFloor(benchmark::State& state, const bench::SceneCase* c) {
    Recorder rec;
    std::string why;
    if (!rec.start(*c, &why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SdlWindow w;
    w.window = SDL_CreateWindow("floor", 0, 0, bench::kFrameWidth, bench::kFrameHeight, SDL_WINDOW_OPENGL);
    if (w.window) w.gl = SDL_GL_CreateContext(w.window);
    if (!w.gl || SDL_GL_MakeCurrent(w.window, w.gl) != 0) {
        state.SkipWithError("no GLES2 context");
        return;
    }
    const FloorProgram pictures = floorProgram(kFloorVertex, kFloorFragment);
    const FloorProgram fills = floorProgram(kFloorFillVertex, kFloorFillFragment);
    if (!pictures.program || !fills.program) {
        state.SkipWithError("floor program");
        return;
    }
    glUseProgram(pictures.program);
    glUniform1i(glGetUniformLocation(pictures.program, "tex"), 0);
    glViewport(0, 0, bench::kFrameWidth, bench::kFrameHeight);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    std::map<TextureHandle*, GLuint> pages;
    auto pageTexture = [&](TextureHandle* page) {
        auto it = pages.find(page);
        if (it != pages.end()) return it->second;
        GLuint t = 0;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, page->getWidth(), page->getHeight(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     page->getPixels());
        pages[page] = t;
        return t;
    };
    struct Vertex {
        float x, y, u, v;
        float color[4];
    };
    std::vector<Vertex> vertices;
    vertices.reserve(size_t(c->arg > 0 && c->frames == 0 ? c->arg : 512) * 6);
    std::vector<uint8_t> pixels(size_t(bench::kFrameWidth) * bench::kFrameHeight * 4);
    std::vector<uint8_t> row(size_t(bench::kFrameWidth) * 4);
    // Draws go out together until the page (or pictures and fills) change.
    TextureHandle* drawing = nullptr;
    bool filling = false;
    const FloorProgram* using_ = nullptr;
    auto draw = [&]() {
        if (vertices.empty()) return;
        const FloorProgram& p = filling ? fills : pictures;
        if (using_ != &p) {
            if (using_) {
                glDisableVertexAttribArray(GLuint(using_->position));
                glDisableVertexAttribArray(GLuint(using_->color));
                if (using_->texCoord >= 0) glDisableVertexAttribArray(GLuint(using_->texCoord));
            }
            glUseProgram(p.program);
            glEnableVertexAttribArray(GLuint(p.position));
            glEnableVertexAttribArray(GLuint(p.color));
            if (p.texCoord >= 0) glEnableVertexAttribArray(GLuint(p.texCoord));
            using_ = &p;
        }
        if (!filling) glBindTexture(GL_TEXTURE_2D, pageTexture(drawing));
        glVertexAttribPointer(GLuint(p.position), 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), &vertices[0].x);
        glVertexAttribPointer(GLuint(p.color), 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), vertices[0].color);
        if (p.texCoord >= 0) {
            glVertexAttribPointer(GLuint(p.texCoord), 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), &vertices[0].u);
        }
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices.size()));
        vertices.clear();
    };
    double execute = 0, finish = 0, readBack = 0, cpu = 0;
    auto frame = [&]() {
        rec.frame();
        double cpuStart = threadCpuUs();
        Clock::time_point start = Clock::now(), t = start;
        for (const Recorder::Upload& u : rec.uploads) {
            auto it = pages.find(const_cast<TextureHandle*>(u.page));
            if (it == pages.end()) continue;
            glBindTexture(GL_TEXTURE_2D, it->second);
            glTexSubImage2D(GL_TEXTURE_2D, 0, u.x, u.y, u.w, u.h, GL_RGBA, GL_UNSIGNED_BYTE, u.pixels.data());
        }
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        collect(rec, [&](const SpriteQuad& q) {
            const bool fill = q.page == nullptr;
            if (fill != filling || (!fill && q.page != drawing)) {
                draw();
                filling = fill;
                if (!fill) drawing = q.page;
            }
            float c = std::cos(q.rotation), s = std::sin(q.rotation);
            float cx = q.x + q.px, cy = q.y + q.py;
            float uL = 0, vT = 0, uR = 0, vB = 0;
            if (!fill) {
                float pw = float(q.page->getWidth()), ph = float(q.page->getHeight());
                uL = (float(q.texture->regionX()) + 0.5f) / pw;
                vT = (float(q.texture->regionY()) + 0.5f) / ph;
                uR = (float(q.texture->regionX() + q.texture->getWidth()) - 0.5f) / pw;
                vB = (float(q.texture->regionY() + q.texture->getHeight()) - 0.5f) / ph;
            }
            const float corners[4][4] = {{-q.px, -q.py, uL, vT},
                                         {q.w - q.px, -q.py, uR, vT},
                                         {-q.px, q.h - q.py, uL, vB},
                                         {q.w - q.px, q.h - q.py, uR, vB}};
            Vertex v[4];
            for (int i = 0; i < 4; ++i) {
                float lx = corners[i][0] * q.sx, ly = corners[i][1] * q.sy;
                float vx = cx + c * lx - s * ly, vy = cy + s * lx + c * ly;
                v[i] = Vertex{vx / 270.0f - 1.0f, 1.0f - vy / 480.0f, corners[i][2], corners[i][3],
                              {q.color[0], q.color[1], q.color[2], q.color[3]}};
            }
            for (int i : {0, 1, 2, 2, 1, 3}) vertices.push_back(v[i]);
        });
        draw();
        execute += since(t);
        glFinish();
        finish += since(t);
        glReadPixels(0, 0, bench::kFrameWidth, bench::kFrameHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        for (int i = 0, j = bench::kFrameHeight - 1; i < j; ++i, --j) {
            uint8_t* a = pixels.data() + size_t(i) * row.size();
            uint8_t* b = pixels.data() + size_t(j) * row.size();
            std::memcpy(row.data(), a, row.size());
            std::memcpy(a, b, row.size());
            std::memcpy(b, row.data(), row.size());
        }
        readBack += since(t);
        cpu += threadCpuUs() - cpuStart;
        rec.done();
        return std::chrono::duration<double>(t - start).count();
    };
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    execute = finish = readBack = cpu = 0;
    rec.commands = 0;
    rec.items = 0;
    for (auto _ : state) state.SetIterationTime(frame());
    for (auto& p : pages) glDeleteTextures(1, &p.second);
    glDeleteProgram(pictures.program);
    glDeleteProgram(fills.program);
    report(state, execute, finish, readBack, cpu);
    rec.report(state);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("EGL_PLATFORM", "surfaceless", 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("ALSOFT_DRIVERS", "null", 0);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengles2");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    iOS::setAssetFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
    static const std::vector<bench::SceneCase> cases = bench::benchCases();
    for (const bench::SceneCase& c : cases) {
        using Run = void (*)(benchmark::State&, const bench::SceneCase*);
        const std::pair<std::string, Run> sides[] = {{"sdl/", runSdl}, {"floor/", runFloor}};
        for (const auto& [side, run] : sides) {
            auto* b = benchmark::RegisterBenchmark((side + c.name).c_str(), run, &c);
            b->UseManualTime()->Unit(benchmark::kMicrosecond);
            // A game case times its window's frames, the same in every run.
            if (c.frames > 0) b->Iterations(c.frames);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SDL_Quit();
    return 0;
}
