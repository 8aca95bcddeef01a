#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/Heap.h"
#include "engine/SaveData.h"
#include "engine/ios/Paths.h"
#include "engine/ios/SaveDataImp.h"

using namespace KelpaEngine;
using KelpaEngine::iOS::SaveDataImp;

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

class SaveDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kelpa_savedata_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        iOS::setDocumentsFolder(dir_.c_str());
    }
    void TearDown() override {
        iOS::setDocumentsFolder(nullptr);
        ::nftw(dir_.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    }
    std::string path(const char* name) const { return dir_ + "/" + name; }
    std::string contents(const char* name) const {
        std::string s;
        FILE* f = std::fopen(path(name).c_str(), "rb");
        if (!f) return "<missing>";
        int c;
        while ((c = std::fgetc(f)) != EOF) s += char(c);
        std::fclose(f);
        return s;
    }
    void put(const char* name, const std::string& bytes) {
        FILE* f = std::fopen(path(name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
    }
    std::string dir_;
};

TEST_F(SaveDataTest, CreatesMissingFileEmptyWithMode0600AndKeepsItOnReopen) {
    mode_t old = ::umask(0);  // the mode must not depend on the caller's umask
    RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "mekko.sav");
    ::umask(old);
    ASSERT_TRUE(sd);
    struct stat st;
    ASSERT_EQ(::stat(path("mekko.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(SaveData::readU32LE(sd), 0u);  // empty: the first word reads as 0

    EXPECT_EQ(sd->seek(0, 0), 0);
    EXPECT_EQ(SaveData::writeU32LE(sd, 0x4129A28Cu), 4);
    EXPECT_EQ(SaveData::writeU32LE(sd, 1u), 4);
    sd = nullptr;  // closes
    EXPECT_EQ(contents("mekko.sav"), std::string("\x8C\xA2\x29\x41\x01\0\0\0", 8));

    RefPtr<SaveData> again = SaveDataImp::open(nullptr, "mekko.sav");
    ASSERT_TRUE(again);
    EXPECT_EQ(SaveData::readU32LE(again), 0x4129A28Cu);  // positioned at 0
    EXPECT_EQ(SaveData::readU32LE(again), 1u);
    EXPECT_EQ(SaveData::readU32LE(again), 0u);  // past the end: 0, no error
}

TEST_F(SaveDataTest, ShortWordsAtTheEndReadTheirMissingBytesAsZero) {
    struct Case {
        std::string bytes;
        uint32_t word;
    } cases[] = {
        {std::string("\x8C\xA2", 2), 0x0000A28Cu},
        {std::string("\x8C\xA2\x29", 3), 0x0029A28Cu},
        {std::string("\xFF", 1), 0x000000FFu},
        {std::string(), 0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        put("short.sav", c.bytes);
        RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "short.sav");
        ASSERT_TRUE(sd);
        EXPECT_EQ(SaveData::readU32LE(sd), c.word);
        EXPECT_EQ(SaveData::readU32LE(sd), 0u);
    }
}

TEST_F(SaveDataTest, SeekReadAndWriteFollowStdio) {
    put("data.sav", "0123456789");
    RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "data.sav");
    ASSERT_TRUE(sd);
    char buf[16] = {};

    EXPECT_EQ(sd->seek(4, 0), 0);
    EXPECT_EQ(sd->read(buf, 2), 2);
    EXPECT_EQ(std::string(buf, 2), "45");
    EXPECT_EQ(sd->seek(1, 1), 0);  // from the current position: 7
    EXPECT_EQ(sd->read(buf, 1), 1);
    EXPECT_EQ(buf[0], '7');
    EXPECT_EQ(sd->seek(-3, 2), 0);  // from the end: 7
    EXPECT_EQ(sd->read(buf, 16), 3);  // short read at the end
    EXPECT_EQ(std::string(buf, 3), "789");
    EXPECT_EQ(sd->seek(2, 7), 0);  // an unknown whence counts as from the start
    EXPECT_EQ(sd->read(buf, 1), 1);
    EXPECT_EQ(buf[0], '2');
    EXPECT_EQ(sd->seek(-1, 0), -1);
    EXPECT_EQ(sd->read(buf, 0), 0);
    EXPECT_EQ(sd->read(buf, -5), 0);
    EXPECT_EQ(sd->write(buf, -5), 0);
    EXPECT_EQ(sd->read(nullptr, 4), 0);
}

TEST_F(SaveDataTest, ReadsAndWritesMayFollowEachOtherWithoutASeek) {
    put("mixed.sav", "AAAABBBBCCCC");
    {
        RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "mixed.sav");
        ASSERT_TRUE(sd);
        EXPECT_EQ(SaveData::readU32LE(sd), 0x41414141u);
        EXPECT_EQ(SaveData::writeU32LE(sd, 0x64636261u), 4);  // over "BBBB"
        EXPECT_EQ(SaveData::readU32LE(sd), 0x43434343u);       // then "CCCC"
        EXPECT_EQ(SaveData::readU32LE(sd), 0u);                // at the end
        EXPECT_EQ(SaveData::writeU32LE(sd, 0x7A7A7A7Au), 4);   // appended
    }
    EXPECT_EQ(contents("mixed.sav"), "AAAAabcdCCCCzzzz");
}

TEST_F(SaveDataTest, RefusesAndLeavesAloneWhatItCannotOpen) {
    ASSERT_EQ(::mkdir(path("dir.sav").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(path("pipe.sav").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("gone/target", path("dangling.sav").c_str()), 0);
    const char* names[] = {"dir.sav", "pipe.sav", "dangling.sav", "", nullptr};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_FALSE(SaveDataImp::open(nullptr, name));
    }
    struct stat st;
    ASSERT_EQ(::stat(path("dir.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(::stat(path("pipe.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_NE(::lstat(path("gone").c_str(), &st), 0);
}

TEST_F(SaveDataTest, ExistingUnreadableFileIsNotClobbered) {
    const std::string saved("\x8C\xA2\x29\x41 keep me", 12);
    put("mekko.sav", saved);
    ASSERT_EQ(::chmod(path("mekko.sav").c_str(), 0200), 0);  // write-only for its owner
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);               // the folder itself stays usable
    // Root ignores file modes, so the open runs as another user when we are root.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::chown(path("mekko.sav").c_str(), 65534, 65534) != 0) _exit(3);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(3);
        }
        bool opened = bool(SaveDataImp::open(nullptr, "mekko.sav"));
        _exit(opened ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened, 3: could not drop privileges";
    ::chmod(path("mekko.sav").c_str(), 0600);
    EXPECT_EQ(contents("mekko.sav"), saved);
}

TEST_F(SaveDataTest, TooLongNameOrPathIsAnErrorNotAnotherFile) {
    // 254 characters of name still open; 255 do not, and no shortened file appears.
    std::string longest(254, 'n');
    EXPECT_TRUE(SaveDataImp::open(nullptr, longest.c_str()));
    ASSERT_EQ(::unlink(path(longest.c_str()).c_str()), 0);
    std::string tooLong(255, 'n');
    EXPECT_FALSE(SaveDataImp::open(nullptr, tooLong.c_str()));

    // A Documents path well past 254 characters is used as it is.
    std::string mid = dir_ + "/" + std::string(200, 's') + "/" + std::string(200, 't');
    ASSERT_EQ(::mkdir((dir_ + "/" + std::string(200, 's')).c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(mid.c_str(), 0700), 0);
    iOS::setDocumentsFolder(mid.c_str());
    EXPECT_TRUE(SaveDataImp::open(nullptr, "mekko.sav"));
    struct stat st;
    EXPECT_EQ(::stat((mid + "/mekko.sav").c_str(), &st), 0);
    ASSERT_EQ(::unlink((mid + "/mekko.sav").c_str()), 0);
    ASSERT_EQ(::rmdir(mid.c_str()), 0);

    // A Documents path over PATH_MAX made of real folders.
    std::string deep = dir_;
    std::string segment(200, 'u');
    while (deep.size() < PATH_MAX) {
        deep += "/" + segment;
        // Folder creation may stop working at the limit; the open must fail either way.
        if (::mkdir(deep.c_str(), 0700) != 0) break;
    }
    ASSERT_GE(deep.size() + std::strlen("/mekko.sav"), size_t(PATH_MAX));
    iOS::setDocumentsFolder(deep.c_str());
    EXPECT_FALSE(SaveDataImp::open(nullptr, "mekko.sav"));

    iOS::setDocumentsFolder((dir_ + "/no-such-folder").c_str());
    EXPECT_FALSE(SaveDataImp::open(nullptr, "mekko.sav"));
    iOS::setDocumentsFolder(nullptr);
    EXPECT_FALSE(SaveDataImp::open(nullptr, "mekko.sav"));

    // Nothing but the folder chain was made.
    std::vector<std::string> entries;
    if (DIR* d = ::opendir(dir_.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) entries.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{std::string(200, 's'), segment}));
}

}  // namespace
