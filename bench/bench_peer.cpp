// The peers of bench_frame, drawing the same recorded command stream from
// the same page pixels into a 750 x 1334 framebuffer and reading it back:
//   sdl   SDL2's GLES2 renderer on its offscreen video driver, one
//         SDL_RenderCopyEx per picture, one SDL_RenderFillRect per fill;
//   floor bare GLES2 on an SDL offscreen window: clear, the pictures turned
//         on the CPU into one vertex array, one draw call per run of one
//         page and program (or of fills), read-back; each picture drawn
//         with the cheapest program for its pixels, as the engine does it:
//         untinted ones only sampled, opaque untinted ones unblended, none
//         under a picture that hides the screen;
//   trimfloor  the floor, each picture drawn through its outline
//         (engine/TrimMesh.h) where it has one;
//   tintfloor  the first floor: every picture times its colour, blended.
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
#include "engine/TrimMesh.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/GraphicsBatch.h"
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
                r.seen(p.image->getTexture());
            }
            void drawSprite(const DrawSpritePayload& p) {
                ++r.commands;
                r.seen(p.sprite->image->getTexture());
            }
            void fillRect(const RectPayload&) { ++r.commands; }
        } count(*this);
        walk(count);
        items += scene->items();
    }

    // A picture drawn this frame: sent again when its pixels changed, its
    // outline made again when they (or its region) did.
    void seen(const Texture* t) {
        const bool fresh = changed(t);
        Outline& o = outlines[t];
        if (!fresh && o.page == t->getPage() && o.x == t->regionX() && o.y == t->regionY() && o.w == t->getWidth() &&
            o.h == t->getHeight()) {
            return;
        }
        const TextureHandle* page = t->getPage();
        o = Outline{page, t->regionX(), t->regionY(), t->getWidth(), t->getHeight(), {}};
        const size_t at = (size_t(t->regionY()) * size_t(page->getWidth()) + size_t(t->regionX())) * 4;
        o.mesh = trimMeshFor(page->getPixels() + at, page->getWidth() * 4, t->getWidth(), t->getHeight());
    }
    struct Outline {
        const TextureHandle* page;
        int32_t x, y, w, h;
        TrimMesh mesh;
    };
    std::map<const Texture*, Outline> outlines;
    const TrimMesh* outline(const Texture* t) const {
        auto it = outlines.find(t);
        return it == outlines.end() || it->second.mesh.count < 3 ? nullptr : &it->second.mesh;
    }

    // A region whose pixels differ from what was sent: a new upload (true,
    // and true on a page's first use).
    bool changed(const Texture* t) {
        const TextureHandle* page = t->getPage();
        const size_t pageRow = size_t(page->getWidth()) * 4;
        std::vector<uint8_t>& copy = sent[page];
        if (copy.size() != pageRow * size_t(page->getHeight())) {
            // First use: the peer makes the texture from the whole page.
            copy.assign(page->getPixels(), page->getPixels() + pageRow * size_t(page->getHeight()));
            return true;
        }
        const size_t at = size_t(t->regionY()) * pageRow + size_t(t->regionX()) * 4;
        const size_t rowBytes = size_t(t->getWidth()) * 4;
        bool same = true;
        for (int32_t r = 0; r < t->getHeight() && same; ++r) {
            same = std::memcmp(copy.data() + at + size_t(r) * pageRow, page->getPixels() + at + size_t(r) * pageRow,
                               rowBytes) == 0;
        }
        if (same) return false;
        Upload u{page, t->regionX(), t->regionY(), t->getWidth(), t->getHeight(), {}};
        for (int32_t r = 0; r < t->getHeight(); ++r) {
            const uint8_t* row = page->getPixels() + at + size_t(r) * pageRow;
            std::memcpy(copy.data() + at + size_t(r) * pageRow, row, rowBytes);
            u.pixels.insert(u.pixels.end(), row, row + rowBytes);
        }
        uploads.push_back(std::move(u));
        return true;
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
// the commands: images and sprites tinted by the alpha, fills in the colour;
// the draws before `cover` are left out.
template <class Out>
struct Collect : CommandVisitor {
    explicit Collect(Out& o) : out(o) {}
    void at(int32_t position) { hidden = position < cover; }
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
        if (hidden) return;
        Texture* t = p.sprite->image->getTexture();
        out(SpriteQuad{t->getPage(), t, ox + float(p.x), oy + float(p.y), float(p.w), float(p.h), float(p.pivotX),
                       float(p.pivotY), p.scaleX, p.scaleY, p.rotation, {1, 1, 1, alpha}});
    }
    void drawImage(const DrawImagePayload& p) {
        if (hidden) return;
        Texture* t = p.image->getTexture();
        out(SpriteQuad{t->getPage(), t, ox + float(p.dx), oy + float(p.dy), float(p.dw), float(p.dh), 0, 0, 1, 1, 0,
                       {1, 1, 1, alpha}});
    }
    void fillRect(const RectPayload& p) {
        if (hidden) return;
        out(SpriteQuad{nullptr, nullptr, ox + float(p.x), oy + float(p.y), float(p.w), float(p.h), 0, 0, 1, 1, 0,
                       {shape[0], shape[1], shape[2], shape[3]}});
    }

    Out& out;
    float ox = 0, oy = 0;
    float alpha = 1.0f;
    float shape[4] = {0, 0, 0, 1};
    int32_t cover = -1;
    bool hidden = false;
};

// Layers from the last to 0; with skipHidden, without what a layer's cover
// hides.
template <class Out>
void collect(Recorder& rec, Out out, bool skipHidden = false) {
    Collect<Out> c(out);
    const float vw = float(rec.graphics->getVirtualWidth()), vh = float(rec.graphics->getVirtualHeight());
    for (int32_t i = rec.imp->layerCount() - 1; i >= 0; --i) {
        const CommandBuffer& layer = *rec.imp->layerAt(i);
        c.cover = -1;
        if (skipHidden) c.cover = KelpaEngine::iOS::findCover(layer, 0, vw, vh);
        walkCommands(layer, 0, c);
    }
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

// The floors' programs: pictures times a per-vertex colour, pictures only
// sampled, and fills.
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
const char kFloorPlainVertex[] =
    "attribute vec2 position;\n"
    "attribute vec2 texCoord;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_Position = vec4(position, 0.0, 1.0);\n"
    "  uv = texCoord;\n"
    "}\n";
const char kFloorPlainFragment[] =
    "precision mediump float;\n"
    "uniform sampler2D tex;\n"
    "varying vec2 uv;\n"
    "void main() {\n"
    "  gl_FragColor = texture2D(tex, uv);\n"
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

// How a floor draws the pictures.
enum class FloorKind {
    // Every picture times its colour (the first floor: it costs the
    // product where the engine has none).
    Tint,
    // As the engine does for the same pixels: untinted pictures only
    // sampled, opaque untinted ones without blending, nothing drawn under
    // a picture that hides the screen.
    Plain,
    // Plain, with each picture drawn through its outline (TrimMesh) where
    // it has one and is drawn large enough.
    Trim,
};

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
    GLint tex = glGetUniformLocation(p.program, "tex");
    if (tex >= 0) {
        glUseProgram(p.program);
        glUniform1i(tex, 0);
    }
    return p;
}

struct FloorVertex {
    float x, y, u, v;
    float color[4];
};

// The floor's GL side: its programs, the pages as textures, and the runs of
// vertices that share a program, a page and blending.
struct FloorGL {
    FloorProgram tinted, plain, fills;
    std::map<TextureHandle*, GLuint> pages;
    std::vector<FloorVertex> vertices;
    // The run being gathered.
    const FloorProgram* program = nullptr;
    TextureHandle* page = nullptr;
    bool blend = true;
    // The state GL has.
    const FloorProgram* using_ = nullptr;
    int blending = -1;

    bool start() {
        tinted = floorProgram(kFloorVertex, kFloorFragment);
        plain = floorProgram(kFloorPlainVertex, kFloorPlainFragment);
        fills = floorProgram(kFloorFillVertex, kFloorFillFragment);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        return tinted.program && plain.program && fills.program;
    }
    ~FloorGL() {
        for (auto& p : pages) glDeleteTextures(1, &p.second);
        for (const FloorProgram* p : {&tinted, &plain, &fills}) {
            if (p->program) glDeleteProgram(p->program);
        }
    }
    GLuint pageTexture(TextureHandle* t) {
        auto it = pages.find(t);
        if (it != pages.end()) return it->second;
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, t->getWidth(), t->getHeight(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     t->getPixels());
        pages[t] = name;
        return name;
    }
    void useProgram(const FloorProgram& p) {
        if (using_ == &p) return;
        if (using_) {
            for (GLint a : {using_->position, using_->texCoord, using_->color}) {
                if (a >= 0) glDisableVertexAttribArray(GLuint(a));
            }
        }
        glUseProgram(p.program);
        for (GLint a : {p.position, p.texCoord, p.color}) {
            if (a >= 0) glEnableVertexAttribArray(GLuint(a));
        }
        using_ = &p;
    }
    void draw() {
        if (vertices.empty()) return;
        useProgram(*program);
        if (blending != int(blend)) {
            if (blend) {
                glEnable(GL_BLEND);
            } else {
                glDisable(GL_BLEND);
            }
            blending = int(blend);
        }
        if (program != &fills) glBindTexture(GL_TEXTURE_2D, pageTexture(page));
        const GLsizei stride = sizeof(FloorVertex);
        glVertexAttribPointer(GLuint(program->position), 2, GL_FLOAT, GL_FALSE, stride, &vertices[0].x);
        if (program->color >= 0) {
            glVertexAttribPointer(GLuint(program->color), 4, GL_FLOAT, GL_FALSE, stride, vertices[0].color);
        }
        if (program->texCoord >= 0) {
            glVertexAttribPointer(GLuint(program->texCoord), 2, GL_FLOAT, GL_FALSE, stride, &vertices[0].u);
        }
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(vertices.size()));
        vertices.clear();
    }
    // Starts a new run unless this draw can join the one gathered: an
    // opaque picture joins a blending run of its page, not the reverse.
    void join(const FloorProgram* p, TextureHandle* t, bool blends) {
        if (p == program && t == page && (blend || !blends)) return;
        draw();
        program = p;
        page = t;
        blend = blends;
    }
};

// A picture's or a fill's vertices, in clip coordinates: the quad as two
// triangles, or its outline's triangles.
void addQuad(std::vector<FloorVertex>& out, const SpriteQuad& q, const TrimMesh* mesh) {
    float c = std::cos(q.rotation), s = std::sin(q.rotation);
    float cx = q.x + q.px, cy = q.y + q.py;
    float uL = 0, vT = 0, uR = 0, vB = 0;
    if (q.page) {
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
    FloorVertex v[4];
    for (int i = 0; i < 4; ++i) {
        float lx = corners[i][0] * q.sx, ly = corners[i][1] * q.sy;
        float vx = cx + c * lx - s * ly, vy = cy + s * lx + c * ly;
        v[i] = FloorVertex{vx / 270.0f - 1.0f, 1.0f - vy / 480.0f, corners[i][2], corners[i][3],
                           {q.color[0], q.color[1], q.color[2], q.color[3]}};
    }
    if (!mesh) {
        for (int i : {0, 1, 2, 2, 1, 3}) out.push_back(v[i]);
        return;
    }
    FloorVertex m[TrimMesh::kMaxVertices];
    for (int32_t k = 0; k < mesh->count; ++k) {
        const float a = mesh->a[k], b = mesh->b[k];
        m[k] = v[0];
        m[k].x = v[0].x + a * (v[1].x - v[0].x) + b * (v[2].x - v[0].x);
        m[k].y = v[0].y + a * (v[1].y - v[0].y) + b * (v[2].y - v[0].y);
        m[k].u = uL + a * (uR - uL);
        m[k].v = vT + b * (vB - vT);
    }
    uint8_t triangles[3 * TrimMesh::kMaxVertices];
    const int32_t n = trimMeshTriangles(*mesh, triangles);
    for (int32_t i = 0; i < n; ++i) out.push_back(m[triangles[i]]);
}

// One floor frame's drawing: clear, every picture and fill, the last run.
void floorFrame(Recorder& rec, FloorGL& gl, FloorKind kind) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const float pixelsPerUnit = float(bench::kFrameWidth) / 540.0f;
    collect(
        rec,
        [&](const SpriteQuad& q) {
            if (!q.page) {
                gl.join(&gl.fills, nullptr, true);
                addQuad(gl.vertices, q, nullptr);
                return;
            }
            const bool tinted = q.color[0] != 1 || q.color[1] != 1 || q.color[2] != 1 || q.color[3] != 1;
            if (kind == FloorKind::Tint || tinted) {
                gl.join(&gl.tinted, q.page, true);
            } else {
                gl.join(&gl.plain, q.page, !q.texture->opaque);
            }
            const TrimMesh* mesh = kind == FloorKind::Trim ? rec.outline(q.texture) : nullptr;
            const float texel = std::min(std::fabs(q.w * q.sx) / float(q.texture->getWidth()),
                                         std::fabs(q.h * q.sy) / float(q.texture->getHeight())) *
                                pixelsPerUnit;
            if (texel < TrimMesh::kMinTexelPixels) mesh = nullptr;
            addQuad(gl.vertices, q, mesh);
        },
        kind != FloorKind::Tint);
    gl.draw();
}

void runFloor(benchmark::State& state, const bench::SceneCase* c, FloorKind kind) {
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
    FloorGL gl;
    if (!gl.start()) {
        state.SkipWithError("floor program");
        return;
    }
    glViewport(0, 0, bench::kFrameWidth, bench::kFrameHeight);
    gl.vertices.reserve(size_t(c->arg > 0 && c->frames == 0 ? c->arg : 512) * 18);
    std::vector<uint8_t> pixels(size_t(bench::kFrameWidth) * bench::kFrameHeight * 4);
    std::vector<uint8_t> row(size_t(bench::kFrameWidth) * 4);
    double execute = 0, finish = 0, readBack = 0, cpu = 0;
    auto frame = [&]() {
        rec.frame();
        double cpuStart = threadCpuUs();
        Clock::time_point start = Clock::now(), t = start;
        for (const Recorder::Upload& u : rec.uploads) {
            auto it = gl.pages.find(const_cast<TextureHandle*>(u.page));
            if (it == gl.pages.end()) continue;
            glBindTexture(GL_TEXTURE_2D, it->second);
            glTexSubImage2D(GL_TEXTURE_2D, 0, u.x, u.y, u.w, u.h, GL_RGBA, GL_UNSIGNED_BYTE, u.pixels.data());
        }
        floorFrame(rec, gl, kind);
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
    report(state, execute, finish, readBack, cpu);
    rec.report(state);
}

void runTintFloor(benchmark::State& state, const bench::SceneCase* c) { runFloor(state, c, FloorKind::Tint); }
void runPlainFloor(benchmark::State& state, const bench::SceneCase* c) { runFloor(state, c, FloorKind::Plain); }
void runTrimFloor(benchmark::State& state, const bench::SceneCase* c) { runFloor(state, c, FloorKind::Trim); }

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
        const std::pair<std::string, Run> sides[] = {
            {"sdl/", runSdl}, {"floor/", runPlainFloor}, {"trimfloor/", runTrimFloor}, {"tintfloor/", runTintFloor}};
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
