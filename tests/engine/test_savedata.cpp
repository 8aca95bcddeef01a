// test-links: kelpa_ios
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <sched.h>
#include <initializer_list>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
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

// Root ignores file modes: a forked child running as root hands the paths
// to nobody and becomes nobody, so that the modes hold. False when it cannot.
bool runAsNobody(std::initializer_list<std::string> paths) {
    if (::geteuid() != 0) return true;
    for (const std::string& p : paths) {
        if (::chown(p.c_str(), 65534, 65534) != 0) return false;
    }
    return ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

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
        ASSERT_EQ(::chmod(path(name).c_str(), 0600), 0);  // as the game's own files
    }
    // The folder's entries other than . and .., sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* d = ::opendir(dir_.c_str())) {
            while (dirent* e = ::readdir(d))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
            ::closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir_;
};

// The game's save file: 43 little-endian words.
constexpr int kWords = 43;

std::string saveImage(uint32_t base) {
    std::string s;
    for (int i = 0; i < kWords; ++i) {
        uint32_t w = base + uint32_t(i);
        for (int b = 0; b < 4; ++b) s += char(uint8_t(w >> (8 * b)));
    }
    return s;
}

// The game's save routine: open, seek 0, write the words, flush, release.
// With killAt set, the process kills itself once that many words are
// written (kWords + 1: after the flush, before the release).
int32_t gameSave(const char* name, uint32_t base, int killAt = -1) {
    RefPtr<SaveData> sd = SaveDataImp::open(nullptr, name);
    if (!sd) return -2;
    sd->seek(0, 0);
    for (int i = 0; i < kWords; ++i) {
        if (i == killAt) ::kill(::getpid(), SIGKILL);
        if (SaveData::writeU32LE(sd, base + uint32_t(i)) != 4) return -3;
    }
    if (killAt == kWords) ::kill(::getpid(), SIGKILL);
    int32_t r = sd->flush();
    if (killAt == kWords + 1) ::kill(::getpid(), SIGKILL);
    return r;
}

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
    int big = ::open(path("big.sav").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(big, 0);
    ASSERT_EQ(::ftruncate(big, SaveDataImp::kMaxBytes + 1), 0);
    ::close(big);
    const char* names[] = {"dir.sav", "pipe.sav", "big.sav", "", nullptr};
    for (const char* name : names) {
        SCOPED_TRACE(name ? name : "(null)");
        EXPECT_FALSE(SaveDataImp::open(nullptr, name));
    }
    struct stat st;
    ASSERT_EQ(::stat(path("dir.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    ASSERT_EQ(::stat(path("pipe.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    ASSERT_EQ(::stat(path("big.sav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, SaveDataImp::kMaxBytes + 1);
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
        if (!runAsNobody({path("mekko.sav")})) _exit(3);
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

TEST_F(SaveDataTest, FlushReplacesTheFileWholeAndKeepsWhatItDoesNotWrite) {
    // A file longer than the save keeps its tail: the game never truncates.
    const std::string tail(28, 'T');
    put("mekko.sav", saveImage(0x1000) + tail);
    {
        RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "mekko.sav");
        ASSERT_TRUE(sd);
        for (int i = 0; i < kWords; ++i) ASSERT_EQ(SaveData::writeU32LE(sd, 0x2000 + uint32_t(i)), 4);
        // Reads see the writes at once; the file has not changed yet.
        EXPECT_EQ(sd->seek(-4, 1), 0);
        EXPECT_EQ(SaveData::readU32LE(sd), 0x2000u + kWords - 1);
        EXPECT_EQ(SaveData::readU32LE(sd), 0x54545454u);
        EXPECT_EQ(contents("mekko.sav"), saveImage(0x1000) + tail);

        mode_t old = ::umask(0);
        EXPECT_EQ(sd->flush(), 0);
        ::umask(old);
        EXPECT_EQ(contents("mekko.sav"), saveImage(0x2000) + tail);
        EXPECT_EQ(sd->flush(), 0);  // nothing pending
        struct stat st;
        ASSERT_EQ(::stat(path("mekko.sav").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);

        // Unflushed writes are flushed on release.
        EXPECT_EQ(sd->seek(0, 0), 0);
        EXPECT_EQ(SaveData::writeU32LE(sd, 7u), 4);
    }
    EXPECT_EQ(contents("mekko.sav"), std::string("\x07\0\0\0", 4) + saveImage(0x2000).substr(4) + tail);
    EXPECT_EQ(entries(), std::vector<std::string>{"mekko.sav"});

    // Through a link, the linked file is replaced and the link stays.
    put("real.sav", saveImage(0x1000));
    ASSERT_EQ(::symlink("real.sav", path("link.sav").c_str()), 0);
    EXPECT_EQ(gameSave("link.sav", 0x3000), 0);
    struct stat st;
    ASSERT_EQ(::lstat(path("link.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(contents("real.sav"), saveImage(0x3000));

    // Writes stop at the size limit.
    RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "limit.sav");
    ASSERT_TRUE(sd);
    EXPECT_EQ(sd->seek(int32_t(SaveDataImp::kMaxBytes - 2), 0), 0);
    EXPECT_EQ(SaveData::writeU32LE(sd, 0x01020304u), 2);
    EXPECT_EQ(SaveData::writeU32LE(sd, 0x01020304u), 0);
    EXPECT_EQ(sd->flush(), 0);
    ASSERT_EQ(::stat(path("limit.sav").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, SaveDataImp::kMaxBytes);
}

TEST_F(SaveDataTest, ASaveKilledAtAnyWordLeavesTheOldOrTheNewFileWhole) {
    const std::string before = saveImage(0xA0000), after = saveImage(0xB0000);
    for (int killAt = 0; killAt <= kWords + 1; ++killAt) {
        SCOPED_TRACE(killAt);
        put("mekko.sav", before);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            gameSave("mekko.sav", 0xB0000, killAt);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(contents("mekko.sav"), killAt <= kWords ? before : after);
    }

    // Killed at any moment of a stream of saves (inside the flush too).
    put("mekko.sav", before);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (uint32_t i = 1;; ++i) gameSave("mekko.sav", i % 2 ? 0xB0000 : 0xA0000);
        }
        ::usleep(useconds_t(500 + round * 150));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        std::string now = contents("mekko.sav");
        EXPECT_TRUE(now == before || now == after) << now.size() << " bytes";
        struct stat st;
        ASSERT_EQ(::stat(path("mekko.sav").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
    }
}

// A second game on the same folder saves while the first is stopped at each
// step of its own save (its clean-up of leftovers runs then): both saves
// go through, the last one renamed is the file, and nothing is left beside it.
int gStepPipe[2], gGoPipe[2];
SaveDataImp::FlushStep gStopAt;

void stopAtStep(SaveDataImp::FlushStep s) {
    if (s != gStopAt) return;
    SaveDataImp::flushStepHook = nullptr;  // once: a retry runs free
    char c = 's';
    if (::write(gStepPipe[1], &c, 1) != 1) _exit(90);
    pollfd p = {gGoPipe[0], POLLIN, 0};
    if (::poll(&p, 1, 30000) != 1) _exit(91);
}

TEST_F(SaveDataTest, TwoGamesOnOneFolderNeverLoseASaveWhereverOneIsStopped) {
    using Step = SaveDataImp::FlushStep;
    const struct {
        Step step;
        const char* name;
    } steps[] = {{Step::Created, "created"},
                 {Step::Locked, "locked"},
                 {Step::Written, "written"},
                 {Step::Synced, "synced"},
                 {Step::Named, "before the rename"}};
    const std::string first = saveImage(0xC0000), second = saveImage(0xD0000);
    for (int named = 0; named < 2; ++named) {
        for (const auto& c : steps) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(named ? "named temporary file" : "unnamed temporary file");
            put("mekko.sav", saveImage(0xA0000));
            ASSERT_EQ(::pipe(gStepPipe), 0);
            ASSERT_EQ(::pipe(gGoPipe), 0);
            pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::alarm(60);  // bounded whatever the parent does
                ::close(gStepPipe[0]);
                ::close(gGoPipe[1]);
                gStopAt = c.step;
                SaveDataImp::flushStepHook = stopAtStep;
                SaveDataImp::forceNamedTemporary = named;
                int32_t r = gameSave("mekko.sav", 0xC0000);
                if (r != 0) std::fprintf(stderr, "stopped save: %d (%s)\n", r, std::strerror(errno));
                _exit(r == 0 ? 0 : 1);
            }
            ::close(gStepPipe[1]);
            ::close(gGoPipe[0]);
            pollfd p = {gStepPipe[0], POLLIN, 0};
            bool stopped = ::poll(&p, 1, 30000) == 1;
            char ch;
            stopped = stopped && ::read(gStepPipe[0], &ch, 1) == 1;
            EXPECT_TRUE(stopped) << "the first game never reached the step";
            if (stopped) {
                EXPECT_EQ(gameSave("mekko.sav", 0xD0000), 0) << std::strerror(errno);
                EXPECT_EQ(contents("mekko.sav"), second);
            }
            ::close(gGoPipe[1]);  // lets the first game go on
            ::close(gStepPipe[0]);
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the stopped game's save failed";
            if (!stopped) continue;
            EXPECT_EQ(contents("mekko.sav"), first);
            EXPECT_EQ(entries(), std::vector<std::string>{"mekko.sav"});
            struct stat st;
            ASSERT_EQ(::stat(path("mekko.sav").c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u);
        }
    }
}

// Each case runs in a child of its own (mount namespace, limits, user) and
// reports: 0 as expected, 77 when the case cannot be set up here, else the
// step that went wrong.
enum FailureCase { kFullDisk, kFileSizeLimit, kReadOnlyFolder };

int failingSave(FailureCase which, const std::string& dir, const std::string& before) {
    const std::string file = dir + "/mekko.sav";
    auto putBefore = [&] {
        FILE* f = std::fopen(file.c_str(), "wb");
        if (!f) return false;
        bool ok = std::fwrite(before.data(), 1, before.size(), f) == before.size();
        return std::fclose(f) == 0 && ok;
    };
    switch (which) {
    case kFullDisk: {
        // A tiny file system of our own, filled up after the old save.
        if (::unshare(CLONE_NEWNS) != 0) return 77;
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) return 77;
        if (!putBefore()) return 10;
        int fill = ::open((dir + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
        if (fill < 0) return 11;
        char block[4096] = {};
        while (::write(fill, block, sizeof block) > 0) {
        }
        if (errno != ENOSPC) return 12;
        ::close(fill);
        break;
    }
    case kFileSizeLimit: {
        if (!putBefore()) return 10;
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &lim) != 0) return 77;
        break;
    }
    case kReadOnlyFolder:
        if (!putBefore()) return 10;
        // Root writes anywhere, so the save runs as another user then.
        if (!runAsNobody({dir, file})) return 77;
        if (::chmod(dir.c_str(), 0500) != 0) return 13;
        break;
    }
    {
        RefPtr<SaveData> sd = SaveDataImp::open(nullptr, "mekko.sav");
        if (!sd) return 20;
        for (int i = 0; i < kWords; ++i) SaveData::writeU32LE(sd, 0xB0000 + uint32_t(i));
        if (sd->flush() != -1) return 21;
        if (sd->flush() != -1) return 22;  // still pending, still failing
        sd->seek(0, 0);
        if (SaveData::readU32LE(sd) != 0xB0000u) return 23;
    }  // the release's flush fails quietly
    // The old file is whole, and no temporary file is left behind.
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return 30;
    std::string now(before.size() + 1, '\0');
    now.resize(std::fread(now.data(), 1, now.size(), f));
    std::fclose(f);
    if (now != before) return 31;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 32;
    int others = 0;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != ".." && n != "mekko.sav" && n != "filler") ++others;
    }
    ::closedir(d);
    return others == 0 ? 0 : 33;
}

TEST_F(SaveDataTest, AFailedFlushIsReportedAndLeavesTheOldFileWhole) {
    const std::string before = saveImage(0xA0000);
    const struct {
        FailureCase which;
        const char* name;
    } cases[] = {{kFullDisk, "full disk"}, {kFileSizeLimit, "file size limit"}, {kReadOnlyFolder, "read-only folder"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string sub = dir_ + "/" + std::to_string(int(c.which));
        ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);  // reachable for another user
        iOS::setDocumentsFolder(sub.c_str());
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) _exit(failingSave(c.which, sub, before));
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        ::chmod(sub.c_str(), 0700);
        if (WEXITSTATUS(status) == 77) {
            std::printf("note: the %s case cannot be set up here\n", c.name);
            continue;
        }
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed";
    }
}

}  // namespace

// A dangling link as the name: the file is made where the link leads, or,
// when its folder is gone, replaces the link. Either way the save goes through.
TEST_F(SaveDataTest, ADanglingLinkDoesNotBlockTheSave) {
    ASSERT_EQ(::symlink("gone/target", path("gone.sav").c_str()), 0);
    ASSERT_EQ(::symlink("target.sav", path("leads.sav").c_str()), 0);
    for (const char* name : {"gone.sav", "leads.sav"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(gameSave(name, 0xC0000), 0);
    }
    struct stat st;
    EXPECT_NE(::lstat(path("gone").c_str(), &st), 0) << "no folder is made for the link";
    ASSERT_EQ(::lstat(path("gone.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777u, 0600u);
    EXPECT_EQ(contents("gone.sav"), saveImage(0xC0000));
    ASSERT_EQ(::lstat(path("leads.sav").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays, its target is made";
    EXPECT_EQ(contents("target.sav"), saveImage(0xC0000));
}

// Each kept copy under a name not yet taken, whatever holds the taken ones;
// none is ever replaced, and the names run out after kMaxCopies.
TEST_F(SaveDataTest, KeptCopiesNeverReplaceEachOther) {
    put("mekko.sav", "first");
    std::string kept;
    ASSERT_EQ(SaveDataImp::keepCopy(nullptr, "mekko.sav", "mekko.sav.broken", &kept), 0);
    EXPECT_EQ(kept, "mekko.sav.broken");
    ASSERT_EQ(::mkdir(path("mekko.sav.broken-2").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("nowhere", path("mekko.sav.broken-3").c_str()), 0);
    ASSERT_EQ(::unlink(path("mekko.sav").c_str()), 0);
    put("mekko.sav", "second");
    ASSERT_EQ(SaveDataImp::keepCopy(nullptr, "mekko.sav", "mekko.sav.broken", &kept), 0);
    EXPECT_EQ(kept, "mekko.sav.broken-4");
    EXPECT_EQ(contents("mekko.sav.broken"), "first");
    EXPECT_EQ(contents("mekko.sav.broken-4"), "second");
    struct stat st;
    ASSERT_EQ(::lstat(path("mekko.sav.broken-3").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A folder as the file moves aside, under a free name too.
    ASSERT_EQ(::mkdir(path("dir.sav").c_str(), 0700), 0);
    put("dir.sav.broken", "taken");
    ASSERT_EQ(SaveDataImp::keepCopy(nullptr, "dir.sav", "dir.sav.broken", &kept), 0);
    EXPECT_EQ(kept, "dir.sav.broken-2");
    EXPECT_EQ(contents("dir.sav.broken"), "taken");

    // Every name taken: a bounded failure, nothing replaced.
    put("full.sav", "new");
    put("full.sav.broken", "1");
    for (int n = 2; n <= SaveDataImp::kMaxCopies; ++n) put(("full.sav.broken-" + std::to_string(n)).c_str(), "n");
    errno = 0;
    EXPECT_EQ(SaveDataImp::keepCopy(nullptr, "full.sav", "full.sav.broken", &kept), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(contents("full.sav.broken"), "1");
    EXPECT_EQ(contents("full.sav"), "new");

    // No file: nothing to keep.
    EXPECT_EQ(SaveDataImp::keepCopy(nullptr, "none.sav", "none.sav.broken", &kept), 0);
    EXPECT_EQ(kept, "");
}

// Reading to load needs no write permission and makes no file; the check
// says what a save would meet.
TEST_F(SaveDataTest, OpenToReadLoadsAReadOnlyFileAndSaysItCannotBeWritten) {
    put("ro.sav", "keep me");
    ASSERT_EQ(::chmod(path("ro.sav").c_str(), 0400), 0);
    ASSERT_EQ(::chmod(dir_.c_str(), 0777), 0);  // reachable for another user
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (!runAsNobody({path("ro.sav")})) _exit(77);
        SaveDataImp::WriteCheck check;
        RefPtr<SaveData> sd = SaveDataImp::openToRead(nullptr, "ro.sav", 4, &check);
        if (!sd) _exit(10);
        char got[8] = {};
        if (sd->read(got, 8) != 4 || std::memcmp(got, "keep", 4) != 0) _exit(11);
        if (check.fileError != EACCES || check.folderError != 0) _exit(12);
        if (SaveData::writeU32LE(sd, 1) != 4 || sd->flush() != -1) _exit(13);  // never written back
        if (SaveDataImp::openToRead(nullptr, "missing.sav", 4, &check) || errno != ENOENT) _exit(14);
        if (check.fileError != 0 || check.folderError != 0) _exit(15);
        if (::access(path("missing.sav").c_str(), F_OK) == 0) _exit(16);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "running as root and cannot drop to another user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the step that failed";
    ::chmod(path("ro.sav").c_str(), 0600);
    EXPECT_EQ(contents("ro.sav"), "keep me");
}
