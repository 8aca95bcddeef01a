// test-links: kelpa_ios
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/Heap.h"
#include "engine/Resource.h"
#include "engine/ios/Paths.h"
#include "engine/ios/ResourceImp.h"

using namespace KelpaEngine;
using KelpaEngine::iOS::ResourceImp;

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kelpa_resource_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        iOS::setAssetFolder(dir_.c_str());
    }
    void TearDown() override {
        iOS::setAssetFolder(nullptr);
        ::nftw(dir_.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    }
    void writeAsset(const char* name, const std::string& bytes) {
        FILE* f = std::fopen((dir_ + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    std::string dir_;
};

TEST_F(ResourceTest, LoadsWholeFileWithTrailingNul) {
    const std::string cases[] = {
        std::string(),                                // empty file: size 0, data is one NUL
        std::string("1,2,3\nEND"),                    // text
        std::string("\x89PNG\0\0\x01\xff", 8),        // binary with NULs inside
        std::string(200000, 'x') + std::string("y"),  // larger than any single read buffer
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(bytes.size());
        writeAsset("asset.bin", bytes);
        RefPtr<Resource> r = ResourceImp::load(nullptr, "asset.bin");
        ASSERT_TRUE(r);
        ASSERT_EQ(r->getSize(), bytes.size());
        ASSERT_NE(r->getData(), nullptr);
        EXPECT_EQ(std::memcmp(r->getData(), bytes.data(), bytes.size()), 0);
        EXPECT_EQ(r->getData()[bytes.size()], 0);
    }
}

TEST_F(ResourceTest, RefusesWhatIsNotARegularFileItCanReadWhole) {
    ASSERT_EQ(::mkdir((dir_ + "/folder").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((dir_ + "/pipe").c_str(), 0600), 0);  // must not block the open
    ASSERT_EQ(::symlink("nowhere", (dir_ + "/dangling").c_str()), 0);
    const char* names[] = {"missing.png", "folder", "pipe", "dangling", "", nullptr};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_FALSE(ResourceImp::load(nullptr, name));
    }
}

TEST_F(ResourceTest, TooLongPathIsAnErrorNotAnotherFile) {
    // A file whose name is a prefix of the requested one must not be picked.
    writeAsset("a", "wrong file");
    std::string longName(PATH_MAX, 'a');
    EXPECT_EQ(iOS::hostAssetPath(longName.c_str()), "");
    EXPECT_FALSE(ResourceImp::load(nullptr, longName.c_str()));
    std::string longDir = "/" + std::string(PATH_MAX, 'd');
    iOS::setAssetFolder(longDir.c_str());
    EXPECT_FALSE(ResourceImp::load(nullptr, "a"));
}

TEST_F(ResourceTest, NoAssetFolderMeansNoAsset) {
    writeAsset("coin.txt", "END");
    iOS::setAssetFolder(nullptr);
    EXPECT_EQ(iOS::hostAssetPath("coin.txt"), "");
    EXPECT_FALSE(ResourceImp::load(nullptr, "coin.txt"));
    // Set with or without a trailing slash, the path is the same.
    iOS::setAssetFolder((dir_ + "/").c_str());
    EXPECT_EQ(iOS::hostAssetPath("coin.txt"), dir_ + "/coin.txt");
    iOS::setAssetFolder(dir_.c_str());
    EXPECT_EQ(iOS::hostAssetPath("coin.txt"), dir_ + "/coin.txt");
    EXPECT_TRUE(ResourceImp::load(nullptr, "coin.txt"));
}

TEST_F(ResourceTest, ReleasingTheResourceFreesItsBuffer) {
    writeAsset("copyright.txt", std::string(1000, 'c'));
    HeapCounters before = heapCounters();
    {
        RefPtr<Resource> r = ResourceImp::load(nullptr, "copyright.txt");
        ASSERT_TRUE(r);
        HeapCounters held = heapCounters();
        EXPECT_GE(held.bytesInUse - before.bytesInUse, 1001u);
    }
    HeapCounters after = heapCounters();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}

TEST(ResourcePath, LoadPathReadsAFileByItsFullPath) {
    RefPtr<Resource> r = ResourceImp::loadPath(KELPA_SOURCE_DIR "/engine/Resource.h");
    ASSERT_TRUE(r);
    EXPECT_GT(r->getSize(), 0u);
    EXPECT_EQ(r->getData()[r->getSize()], 0);
    EXPECT_FALSE(ResourceImp::loadPath(nullptr));
    EXPECT_FALSE(ResourceImp::loadPath("/proc/self"));
    // Claims 0 bytes but holds more: not read whole, so not passed off as empty.
    EXPECT_FALSE(ResourceImp::loadPath("/proc/self/status"));
}

}  // namespace
