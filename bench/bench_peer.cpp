// The peers of bench_frame, drawing the same recorded command stream from
// the same page pixels into a 750 x 1334 framebuffer and reading it back:
//   sdl   SDL2's GLES2 renderer on its offscreen video driver, one
//         SDL_RenderCopyEx per sprite;
//   floor bare GLES2 on an SDL offscreen window: clear, the sprites turned
//         on the CPU into one vertex array, one draw call, read-back.
// The engine records each frame (untimed here: the peers' figure is what
// they do with the commands). Bench only: the engine never links SDL.
#include <GLES2/gl2.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "bench/scene.h"
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
    void frame() {
        scene->update();
        scene->record(graphics.get());
    }
    // Layers from the last to 0, as present runs them.
    template <class F>
    void eachCommand(F f) {
        for (int32_t i = imp->layerCount() - 1; i >= 0; --i) {
            CommandBuffer* b = imp->layerAt(i);
            if (!b->storage) continue;
            for (int32_t pos = 0; pos < b->used; pos += commandStep(commandOpcode(b->storage + pos))) {
                f(b->storage + pos);
            }
        }
    }
    void done() { imp->resetCommands(); }
    ~Recorder() {
        scene.reset();
        graphics = nullptr;
        app = nullptr;
    }
};

struct SpriteQuad {
    TextureHandle* page;
    Texture* texture;
    float x, y, w, h, px, py, sx, sy, rotation;
};

// The draws of one frame in a form both peers take.
template <class Out>
void collect(Recorder& rec, Out out) {
    float ox = 0, oy = 0;
    rec.eachCommand([&](uint8_t* command) {
        switch (commandOpcode(command)) {
            case OpSetOrigin: {
                auto* p = commandPayload<OriginPayload>(command);
                ox = p->x;
                oy = p->y;
                break;
            }
            case OpDrawSprite: {
                auto* p = commandPayload<DrawSpritePayload>(command);
                Texture* t = p->sprite->image->getTexture();
                out(SpriteQuad{t->getPage(), t, ox + float(p->x), oy + float(p->y), float(p->w), float(p->h),
                               float(p->pivotX), float(p->pivotY), p->scaleX, p->scaleY, p->rotation});
                break;
            }
            case OpDrawImage: {
                auto* p = commandPayload<DrawImagePayload>(command);
                Texture* t = p->image->getTexture();
                out(SpriteQuad{t->getPage(), t, ox + float(p->dx), oy + float(p->dy), float(p->dw), float(p->dh), 0,
                               0, 1, 1, 0});
                break;
            }
            default:
                break;
        }
    });
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
        SDL_SetRenderDrawColor(w.renderer, 0, 0, 0, 255);
        SDL_RenderClear(w.renderer);
        collect(rec, [&](const SpriteQuad& q) {
            SDL_Rect src{q.texture->regionX(), q.texture->regionY(), q.texture->getWidth(), q.texture->getHeight()};
            float sw = std::fabs(q.sx), sh = std::fabs(q.sy);
            SDL_FRect dst{q.x + q.px - q.px * sw, q.y + q.py - q.py * sh, q.w * sw, q.h * sh};
            SDL_FPoint centre{q.px * sw, q.py * sh};
            int flip = (q.sx < 0 ? SDL_FLIP_HORIZONTAL : 0) | (q.sy < 0 ? SDL_FLIP_VERTICAL : 0);
            SDL_RenderCopyExF(w.renderer, pageTexture(q.page), &src, &dst, double(q.rotation) * 180.0 / M_PI, &centre,
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
    for (auto _ : state) state.SetIterationTime(frame());
    for (auto& p : pages) SDL_DestroyTexture(p.second);
    report(state, execute, finish, readBack, cpu);
}

const char kFloorVertex[] =
    "attribute vec2 position;\n"
    "attribute vec2 texCoord;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_Position = vec4(position, 0.0, 1.0);\n"
    "  uv = texCoord;\n"
    "}\n";
const char kFloorFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv);\n"
    "}\n";

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
    GLuint program = iOS::GraphicsOpenGL::linkProgram(kFloorVertex, kFloorFragment);
    if (!program) {
        state.SkipWithError("floor program");
        return;
    }
    glUseProgram(program);
    GLint position = glGetAttribLocation(program, "position");
    GLint texCoord = glGetAttribLocation(program, "texCoord");
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
    };
    std::vector<Vertex> vertices;
    vertices.reserve(size_t(c->arg > 0 ? c->arg : 1) * 6);
    std::vector<uint8_t> pixels(size_t(bench::kFrameWidth) * bench::kFrameHeight * 4);
    std::vector<uint8_t> row(size_t(bench::kFrameWidth) * 4);
    TextureHandle* drawing = nullptr;
    auto draw = [&]() {
        if (vertices.empty()) return;
        glBindTexture(GL_TEXTURE_2D, pageTexture(drawing));
        glEnableVertexAttribArray(GLuint(position));
        glEnableVertexAttribArray(GLuint(texCoord));
        glVertexAttribPointer(GLuint(position), 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), &vertices[0].x);
        glVertexAttribPointer(GLuint(texCoord), 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), &vertices[0].u);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices.size()));
        vertices.clear();
    };
    double execute = 0, finish = 0, readBack = 0, cpu = 0;
    auto frame = [&]() {
        rec.frame();
        double cpuStart = threadCpuUs();
        Clock::time_point start = Clock::now(), t = start;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        collect(rec, [&](const SpriteQuad& q) {
            if (q.page != drawing) {
                draw();
                drawing = q.page;
            }
            float c = std::cos(q.rotation), s = std::sin(q.rotation);
            float cx = q.x + q.px, cy = q.y + q.py;
            float pw = float(q.page->getWidth()), ph = float(q.page->getHeight());
            float uL = (float(q.texture->regionX()) + 0.5f) / pw, vT = (float(q.texture->regionY()) + 0.5f) / ph;
            float uR = (float(q.texture->regionX() + q.texture->getWidth()) - 0.5f) / pw;
            float vB = (float(q.texture->regionY() + q.texture->getHeight()) - 0.5f) / ph;
            const float corners[4][4] = {{-q.px, -q.py, uL, vT},
                                         {q.w - q.px, -q.py, uR, vT},
                                         {-q.px, q.h - q.py, uL, vB},
                                         {q.w - q.px, q.h - q.py, uR, vB}};
            Vertex v[4];
            for (int i = 0; i < 4; ++i) {
                float lx = corners[i][0] * q.sx, ly = corners[i][1] * q.sy;
                float vx = cx + c * lx - s * ly, vy = cy + s * lx + c * ly;
                v[i] = Vertex{vx / 270.0f - 1.0f, 1.0f - vy / 480.0f, corners[i][2], corners[i][3]};
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
    for (auto _ : state) state.SetIterationTime(frame());
    for (auto& p : pages) glDeleteTextures(1, &p.second);
    glDeleteProgram(program);
    report(state, execute, finish, readBack, cpu);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("EGL_PLATFORM", "surfaceless", 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengles2");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    iOS::setAssetFolder(KELPA_SOURCE_DIR "/assets/Assets.bundle");
    static const std::vector<bench::SceneCase> cases = bench::sceneCases();
    for (const bench::SceneCase& c : cases) {
        benchmark::RegisterBenchmark(("sdl/" + c.name).c_str(), runSdl, &c)->UseManualTime()->Unit(
            benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("floor/" + c.name).c_str(), runFloor, &c)->UseManualTime()->Unit(
            benchmark::kMicrosecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SDL_Quit();
    return 0;
}
