// test-links: kelpa_ios
// Texture pages, images and sprites over a real GL ES 2.0 context (Mesa's
// surfaceless EGL): uploads, restoring after the context is made anew, the
// graphics object going first, and loading image files.
#include <gtest/gtest.h>

#include <GLES2/gl2.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/Heap.h"
#include "engine/Image.h"
#include "engine/Sprite2D.h"
#include "engine/Texture.h"
#include "engine/ios/ApplicationImp.h"
#include "engine/ios/Factories.h"
#include "engine/ios/GraphicsImp.h"
#include "engine/ios/Paths.h"
#include "engine/ios/TextureImp.h"
#include "tests/support/png_fixtures.h"
#include "tests/support/stderr_capture.h"

using namespace KelpaEngine;

namespace {

using testsupport::Bytes;
using testsupport::encodeRgbaPng;

// Reads a block of a GL texture through a framebuffer of our own.
Bytes readTexture(uint32_t name, int32_t x, int32_t y, int32_t w, int32_t h) {
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, name, 0);
    Bytes out(size_t(w) * h * 4, 0xCD);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE)
        glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    else
        out.clear();
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    glDeleteFramebuffers(1, &fbo);
    return out;
}

Bytes pattern(int32_t w, int32_t h, uint8_t seed) {
    Bytes b(size_t(w) * h * 4);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint8_t(seed + i * 7 + i / 13);
    return b;
}

uint32_t glNameOf(const RefPtr<Texture>& t) { return *t->getPage()->getGLName(); }

Bytes readBack(const RefPtr<Texture>& t) {
    return readTexture(glNameOf(t), t->regionX(), t->regionY(), t->getWidth(), t->getHeight());
}

void writeFile(const std::string& path, const Bytes& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

class TextureGL : public ::testing::Test {
protected:
    void SetUp() override {
        app_ = makeRef<iOS::ApplicationImp>("imagetest");
        ASSERT_TRUE(app_);
        graphics_ = iOS::createGraphicsImp(app_.get());
        ASSERT_TRUE(graphics_);
        imp_ = dynamic_cast<iOS::GraphicsImp*>(graphics_.get());
        ASSERT_NE(imp_, nullptr);
        ASSERT_TRUE(imp_->hasContext()) << "no surfaceless EGL context";
    }
    void TearDown() override {
        graphics_ = nullptr;
        app_ = nullptr;
        EXPECT_EQ(TextureHandle::firstPage(), nullptr);
    }
    RefPtr<iOS::ApplicationImp> app_;
    RefPtr<Graphics> graphics_;
    iOS::GraphicsImp* imp_ = nullptr;
};

}  // namespace

TEST_F(TextureGL, UpdatedPixelsReachTheGLTexture) {
    RefPtr<Texture> a = Texture::create(graphics_.get(), 100, 40);
    RefPtr<Texture> b = Texture::create(graphics_.get(), 13, 7);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->getPage(), b->getPage());
    EXPECT_EQ(a->getPage()->getWidth(), 128);
    EXPECT_TRUE(glIsTexture(glNameOf(a)));
    Bytes pa = pattern(100, 40, 1), pb = pattern(13, 7, 99);
    a->update(pa.data());
    b->update(pb.data());
    EXPECT_EQ(readBack(a), pa);
    EXPECT_EQ(readBack(b), pb);
    // A page of its own for what does not fit.
    RefPtr<Texture> wide = Texture::create(graphics_.get(), 300, 20);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->getPage()->getWidth(), 512);
    EXPECT_NE(glNameOf(wide), glNameOf(a));
}

TEST_F(TextureGL, RefusedSizesMakeNoTexture) {
    for (auto s : {std::pair{0, 10}, {10, 0}, {-1, -1}, {1, 1 << 20}}) {
        EXPECT_FALSE(Texture::create(graphics_.get(), s.first, s.second)) << s.first << "x" << s.second;
    }
    EXPECT_FALSE(Texture::create(nullptr, 8, 8));
    EXPECT_EQ(TextureHandle::firstPage(), nullptr);
}

TEST_F(TextureGL, TexturesSurviveReleaseAndRestoreOfTheContext) {
    RefPtr<Texture> a = Texture::create(graphics_.get(), 64, 64);
    RefPtr<Texture> b = Texture::create(graphics_.get(), 200, 50);
    RefPtr<Texture> c = Texture::create(graphics_.get(), 30, 30);
    ASSERT_TRUE(a && b && c);
    Bytes pa = pattern(64, 64, 3), pb = pattern(200, 50, 5), pc = pattern(30, 30, 9);
    a->update(pa.data());
    b->update(pb.data());
    c->update(pc.data());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        imp_->releaseContext();
        // The pause keeps the context and the pages' textures in it.
        EXPECT_TRUE(glIsTexture(glNameOf(a)));
        // Updated while paused: the RGBA copy keeps it for the restore.
        pc = pattern(30, 30, uint8_t(40 + round));
        c->update(pc.data());
        EXPECT_EQ(readBack(c), pc);
        ASSERT_EQ(imp_->restoreContext(), 1);
        for (const RefPtr<Texture>* t : {&a, &b, &c}) {
            ASSERT_NE(glNameOf(*t), TextureHandle::kNoGLName);
            EXPECT_TRUE(glIsTexture(glNameOf(*t)));
        }
        EXPECT_EQ(readBack(a), pa);
        EXPECT_EQ(readBack(b), pb);
        EXPECT_EQ(readBack(c), pc);
    }
    // Regions stay where they were and keep working after the restore.
    pa = pattern(64, 64, 77);
    a->update(pa.data());
    EXPECT_EQ(readBack(a), pa);

    // Pages that are gone leave the graphics object's lists, so a later
    // pause and resume calls nothing of theirs.
    a = b = c = nullptr;
    for (int kind : {iOS::GraphicsOpenGL::kContextCreated, iOS::GraphicsOpenGL::kContextDestroyed,
                     iOS::GraphicsOpenGL::kGraphicsGone}) {
        EXPECT_EQ(imp_->contextCallbacks(kind)->liveCount(), 0) << "list " << kind;
    }
    imp_->releaseContext();
    EXPECT_EQ(imp_->restoreContext(), 1);
}

TEST_F(TextureGL, PagesOutlivingTheirGraphicsObjectLetItGo) {
    RefPtr<Texture> orphan = Texture::create(graphics_.get(), 16, 16);
    ASSERT_TRUE(orphan);
    Bytes po = pattern(16, 16, 11);
    orphan->update(po.data());
    auto* page = static_cast<iOS::TextureHandleImp*>(orphan->getPage());
    ASSERT_EQ(page->graphics(), imp_);

    // The graphics object goes first (the application drops it at the end).
    imp_ = nullptr;
    graphics_ = nullptr;
    EXPECT_EQ(page->graphics(), nullptr);
    EXPECT_EQ(page->owner, nullptr);
    EXPECT_EQ(*page->getGLName(), TextureHandle::kNoGLName);
    EXPECT_EQ(TextureHandle::firstPage(), nullptr) << "an orphaned page takes no new regions";
    // Still safe to update and keep; nothing reaches the dead object.
    orphan->update(po.data());

    // A new graphics object and its texture: its page is new, and dropping
    // the orphan afterwards must not delete a texture of the new context.
    SetUp();
    RefPtr<Texture> fresh = Texture::create(graphics_.get(), 16, 16);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh->getPage(), page);
    Bytes pf = pattern(16, 16, 21);
    fresh->update(pf.data());
    orphan = nullptr;
    EXPECT_TRUE(glIsTexture(glNameOf(fresh)));
    EXPECT_EQ(readBack(fresh), pf);
}

class ImageFilesGL : public TextureGL {
protected:
    void SetUp() override {
        TextureGL::SetUp();
        char tmpl[] = "/tmp/kelpa_images_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        iOS::setAssetFolder(dir_.c_str());
        coin_ = pattern(5, 3, 50);
        for (size_t i = 3; i < coin_.size(); i += 4) coin_[i] = 255;
        writeFile(dir_ + "/main_coin.png", encodeRgbaPng(5, 3, coin_));
        Bytes good = encodeRgbaPng(5, 3, coin_);
        writeFile(dir_ + "/broken.png", Bytes(good.begin(), good.begin() + long(good.size() / 2)));
        writeFile(dir_ + "/empty.png", {});
        writeFile(dir_ + "/text.png", {'h', 'e', 'l', 'l', 'o'});
    }
    void TearDown() override {
        iOS::setAssetFolder(nullptr);
        for (const char* f : {"main_coin.png", "broken.png", "empty.png", "text.png"})
            std::remove((dir_ + "/" + f).c_str());
        rmdir(dir_.c_str());
        TextureGL::TearDown();
    }
    std::string dir_;
    Bytes coin_;
};

TEST_F(ImageFilesGL, LoadSharesALiveImageAndDecodesAgainAfterItIsGone) {
    int32_t registered = Image::registeredCount();
    RefPtr<Image> first = Image::load(graphics_.get(), "main_coin.png");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->getWidth(), 5);
    EXPECT_EQ(first->getHeight(), 3);
    EXPECT_STREQ(first->getName(), "main_coin.png");
    RefPtr<Image> second = Image::load(graphics_.get(), "main_coin.png");
    EXPECT_EQ(second.get(), first.get());
    EXPECT_EQ(refCountOf(first.get()), 2u);
    EXPECT_EQ(Image::registeredCount(), registered + 1);
    EXPECT_EQ(readBack(first->texture), coin_);

    second = nullptr;
    first = nullptr;
    EXPECT_EQ(Image::findLoaded("main_coin.png"), nullptr);
    EXPECT_EQ(Image::registeredCount(), registered);
    RefPtr<Image> again = Image::load(graphics_.get(), "main_coin.png");
    ASSERT_TRUE(again);
    EXPECT_EQ(readBack(again->texture), coin_);

    RefPtr<Sprite2D> sprite = Sprite2D::create(graphics_.get(), 30, 40, "main_coin.png", 0x11);
    ASSERT_TRUE(sprite);
    EXPECT_EQ(sprite->image.get(), again.get());
    EXPECT_EQ(sprite->x, 30);
    EXPECT_EQ(sprite->width, 5);
    EXPECT_EQ(sprite->anchor, 0x11u);
}

TEST_F(ImageFilesGL, AnImageLoadedWhilePausedIsThereAfterTheResume) {
    imp_->releaseContext();
    RefPtr<Image> coin = Image::load(graphics_.get(), "main_coin.png");
    ASSERT_TRUE(coin);
    RefPtr<Sprite2D> sprite = Sprite2D::create(graphics_.get(), 0, 0, "main_coin.png", 0);
    ASSERT_TRUE(sprite);
    ASSERT_EQ(imp_->restoreContext(), 1);
    ASSERT_NE(glNameOf(coin->texture), TextureHandle::kNoGLName);
    EXPECT_EQ(readBack(coin->texture), coin_);
}

TEST_F(ImageFilesGL, UnreadableFilesGiveNullAndRegisterNothingAndAreReportedOnce) {
    // Warm up whatever the first load sets up once.
    { RefPtr<Image> warm = Image::load(graphics_.get(), "main_coin.png"); }
    Bytes bmp24(54 + 16, 0);
    bmp24[0] = 'B', bmp24[1] = 'M', bmp24[10] = 54, bmp24[14] = 40, bmp24[18] = 2, bmp24[22] = 2, bmp24[26] = 1;
    bmp24[28] = 24;
    writeFile(dir_ + "/rgb.bmp", bmp24);
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {
        {"missing.png", "not found"},
        {"broken.png", "cut short"},
        {"empty.png", "empty file"},
        {"text.png", "neither a PNG nor a BMP"},
        {"rgb.bmp", "layout not supported"},
    };
    int32_t registered = Image::registeredCount();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HeapCounters before = heapCounters();
        {
            testsupport::StderrCapture capture;
            EXPECT_FALSE(Image::load(graphics_.get(), c.name));
            // Asked for again (a sprite of it): no second line.
            EXPECT_FALSE(Sprite2D::create(graphics_.get(), 0, 0, c.name, 0));
            std::vector<std::string> lines = capture.lines();
            std::vector<std::string> reports = testsupport::brokenAssetLines(lines, c.name);
            ASSERT_EQ(1u, reports.size()) << testing::PrintToString(lines);
            EXPECT_NE(std::string::npos, reports[0].find(c.reason)) << reports[0];
        }
        HeapCounters after = heapCounters();
        EXPECT_EQ(after.liveBlocks, before.liveBlocks);
        EXPECT_EQ(after.bytesInUse, before.bytesInUse);
        EXPECT_EQ(Image::registeredCount(), registered);
        EXPECT_EQ(Image::findLoaded(c.name), nullptr);
    }
    std::remove((dir_ + "/rgb.bmp").c_str());
    EXPECT_EQ(TextureHandle::firstPage(), nullptr);
    testsupport::StderrCapture capture;
    EXPECT_FALSE(Image::load(graphics_.get(), nullptr));
    EXPECT_FALSE(Image::load(nullptr, "main_coin.png"));
    EXPECT_TRUE(capture.lines().empty()) << "no asset, nothing to report";
}
