#include "engine/ios/SaveDataImp.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ios/Paths.h"

namespace KelpaEngine::iOS {
namespace {

constexpr size_t kMaxNameLength = 254;

// An existing regular file, for reading and writing; -1 with errno set.
// Write permission is asked for too: a file the user made read-only is not
// replaced behind their back.
int openExisting(const char* path) {
    int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// A symbolic link whose target does not exist.
bool danglingLink(const char* path) {
    struct stat st;
    if (::lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return false;
    return ::stat(path, &st) != 0 && errno == ENOENT;
}

// The descriptor of the save file, creating it only when it does not exist.
// A dangling link as the name: the file is created where it leads; when it
// cannot be (its folder is gone, say), *replaceLink is set and -1 returned,
// and the save then replaces the link with the file.
int openOrCreate(const char* path, bool* replaceLink) {
    *replaceLink = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = openExisting(path);
        if (fd >= 0 || errno != ENOENT) return fd;
        // O_EXCL: never truncate a file that appeared since the first open.
        fd = ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::fchmod(fd, 0600);  // exactly owner read and write, whatever the umask
            return fd;
        }
        if (errno != EEXIST) return -1;
        if (danglingLink(path)) {
            // Without O_EXCL the open follows the link; no O_TRUNC, so a file
            // that appeared there meanwhile keeps its bytes.
            fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
            if (fd >= 0) {
                struct stat st;
                if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                    ::close(fd);
                    errno = EINVAL;
                    return -1;
                }
                if (st.st_size == 0) ::fchmod(fd, 0600);
                return fd;
            }
            if (danglingLink(path)) {
                *replaceLink = true;
                return -1;
            }
        }
    }
    return -1;
}

// Why a save could not write into folder, or 0.
int folderWriteError(const char* folder) {
    return ::faccessat(AT_FDCWD, folder, W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

// The file's bytes; false (errno set) on a read error. With cut, reading
// stops after limit bytes; without, a file over limit is refused (EFBIG).
bool readAll(int fd, std::vector<uint8_t>* out, mode_t* mode, int64_t limit, bool cut) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    if (st.st_size < 0 || (!cut && st.st_size > limit)) {
        errno = EFBIG;
        return false;
    }
    *mode = st.st_mode & 07777;
    std::vector<uint8_t> bytes;
    // The file may grow or shrink while it is read; read to its real end.
    uint8_t chunk[4096];
    while (int64_t(bytes.size()) < limit + (cut ? 0 : 1)) {
        size_t want = sizeof chunk;
        if (cut && limit - int64_t(bytes.size()) < int64_t(want)) want = size_t(limit - int64_t(bytes.size()));
        ssize_t n = ::read(fd, chunk, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (!cut && int64_t(bytes.size()) + n > limit) {
            errno = EFBIG;
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    *out = std::move(bytes);
    return true;
}

// readAll, then the descriptor closed; errno stays the read's.
bool readAllThenClose(int fd, std::vector<uint8_t>* out, mode_t* mode, int64_t limit, bool cut) {
    bool read = readAll(fd, out, mode, limit, cut);
    int readError = errno;
    ::close(fd);
    errno = readError;
    return read;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// The file's path in the Documents folder; false (errno set) when there is
// none or it does not fit. A path that does not fit is refused, never cut
// to a different file.
bool documentsFile(const char* fileName, char (&path)[PATH_MAX]) {
    if (!fileName || !*fileName || std::strlen(fileName) > kMaxNameLength) {
        errno = EINVAL;
        return false;
    }
    std::string folder = hostDocumentsPath();
    if (folder.empty()) {
        errno = ENOENT;
        return false;
    }
    int len = std::snprintf(path, sizeof path, "%s/%s", folder.c_str(), fileName);
    if (len < 0 || size_t(len) >= sizeof path) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

bool sameFile(int dir, const char* name, int fd) {
    struct stat named, held;
    return ::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

// Removes a leftover temporary file whose writer is gone: nobody holds its
// lock (a writer's lock ends with the writer, however it ends). A writer
// locks its file before it trusts the name, so the name is checked again
// under the lock: it may have gone to another writer's file since it was
// opened here.
void removeIfAbandoned(int dir, const char* name) {
    int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        sameFile(dir, name, fd)) {
        ::unlinkat(dir, name, 0);
    }
    ::close(fd);
}

bool tempNameTail(const char* tail) {
    int n = 0;
    for (; tail[n]; ++n) {
        const char c = tail[n];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return n == 6;
}

void step(SaveDataImp::FlushStep s) {
    if (SaveDataImp::flushStepHook) SaveDataImp::flushStepHook(s);
}

// Six characters for a temporary name, as mkstemp would pick them.
std::string randomTail() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::atomic<uint64_t> counter{0};
    uint64_t x = 0;
    if (::getrandom(&x, sizeof x, GRND_NONBLOCK) != ssize_t(sizeof x)) {
        struct timespec ts;
        ::clock_gettime(CLOCK_REALTIME, &ts);
        x = uint64_t(ts.tv_nsec) ^ (uint64_t(ts.tv_sec) << 30) ^ (uint64_t(::getpid()) << 16);
    }
    x ^= counter.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    std::string tail;
    for (int i = 0; i < 6; ++i) {
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        tail += kChars[(x >> 32) % 62];
    }
    return tail;
}

constexpr int kNameAttempts = 32;

// A new file in the folder that no name leads to, locked; -1 where the
// file system has no such files.
int lockedUnnamedFile(int dir) {
    int fd = ::openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    step(SaveDataImp::FlushStep::Created);
    ::flock(fd, LOCK_EX);  // nobody else can reach it yet
    step(SaveDataImp::FlushStep::Locked);
    return fd;
}

// Gives the unnamed file fd a temporary name (already locked, so never
// taken for a leftover); false (errno set) when it cannot be linked here.
bool nameUnnamedFile(int dir, int fd, const std::string& prefix, std::string* name) {
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        *name = prefix + randomTail();
        if (::linkat(AT_FDCWD, proc, dir, name->c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno == EEXIST) continue;
        // No /proc: the same link straight from the descriptor (allowed
        // to fewer processes).
        if (::linkat(fd, "", dir, name->c_str(), AT_EMPTY_PATH) == 0) return true;
        if (errno != EEXIST) return false;
    }
    errno = EEXIST;
    return false;
}

// A new temporary file under a name, locked; -1 with errno set. Between
// its creation and its lock another game's clean-up may take it for a
// leftover: then it is not ours any more, and a new one is made.
int lockedNamedFile(int dir, const std::string& prefix, std::string* name) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        *name = prefix + randomTail();
        int fd = ::openat(dir, name->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return -1;
        }
        step(SaveDataImp::FlushStep::Created);
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(dir, name->c_str(), fd)) {
            step(SaveDataImp::FlushStep::Locked);
            return fd;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace

RefPtr<SaveData> SaveDataImp::open(Application* app, const char* fileName) {
    return openHeld(app, fileName, kMaxBytes, false);
}

RefPtr<SaveData> SaveDataImp::open(Application* app, const char* fileName, int64_t prefix) {
    if (prefix < 0) prefix = 0;
    return openHeld(app, fileName, prefix < kMaxBytes ? prefix : kMaxBytes, true);
}

namespace {

// A save object made with nothrow new: null with ENOMEM when there was no memory.
RefPtr<SaveData> adoptSave(SaveDataImp* obj) {
    if (!obj) {
        errno = ENOMEM;
        return nullptr;
    }
    return adoptRef<SaveDataImp, SaveData>(obj);
}

}  // namespace

RefPtr<SaveData> SaveDataImp::openHeld(Application* app, const char* fileName, int64_t limit, bool cut) {
    char path[PATH_MAX];
    if (!documentsFile(fileName, path)) return nullptr;
    bool replaceLink = false;
    int fd = openOrCreate(path, &replaceLink);
    if (replaceLink) {
        // Nothing to read; the flush renames the new file over the link.
        return adoptSave(new (std::nothrow) SaveDataImp(hostDocumentsPath(), fileName, {}, 0600, app));
    }
    if (fd < 0) return nullptr;
    std::vector<uint8_t> bytes;
    mode_t mode = 0600;
    if (!readAllThenClose(fd, &bytes, &mode, limit, cut)) return nullptr;

    // The new content replaces the file a link points to, not the link.
    char real[PATH_MAX];
    if (!::realpath(path, real)) return nullptr;
    std::string where(real);
    size_t slash = where.rfind('/');
    if (slash == std::string::npos || slash + 1 >= where.size()) return nullptr;
    std::string realFolder = slash == 0 ? std::string("/") : where.substr(0, slash);

    return adoptSave(new (std::nothrow) SaveDataImp(realFolder, where.substr(slash + 1), std::move(bytes), mode, app));
}

RefPtr<SaveData> SaveDataImp::openToRead(Application* app, const char* fileName, int64_t prefix,
                                         WriteCheck* check) {
    WriteCheck unused;
    if (!check) check = &unused;
    *check = WriteCheck{};
    if (prefix < 0) prefix = 0;
    if (prefix > kMaxBytes) prefix = kMaxBytes;
    char path[PATH_MAX];
    if (!documentsFile(fileName, path)) return nullptr;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        if (error == ENOENT) check->folderError = folderWriteError(hostDocumentsPath().c_str());
        errno = error;
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    mode_t mode = 0600;
    if (!readAllThenClose(fd, &bytes, &mode, prefix, true)) return nullptr;
    // A save replaces the file in the folder it really lives in.
    check->fileError = ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0 ? 0 : errno;
    char real[PATH_MAX];
    if (::realpath(path, real)) {
        std::string where(real);
        size_t slash = where.rfind('/');
        if (slash != std::string::npos) {
            check->folderError = folderWriteError(slash == 0 ? "/" : where.substr(0, slash).c_str());
        }
    }
    return adoptSave(new (std::nothrow) SaveDataImp(std::string(), fileName, std::move(bytes), mode, app, true));
}

int32_t SaveDataImp::keepCopy(Application*, const char* fileName, const char* copyName, std::string* keptAs) {
    if (keptAs) keptAs->clear();
    char path[PATH_MAX];
    if (!documentsFile(fileName, path)) return -1;
    if (!copyName || !*copyName) {
        errno = EINVAL;
        return -1;
    }
    struct stat st;
    if (::stat(path, &st) != 0) return errno == ENOENT ? 0 : -1;
    for (int n = 1; n <= kMaxCopies; ++n) {
        std::string name = copyName;
        // Appended in two steps: g++ 12 at -O3 takes `"-" + to_string` for an
        // overlapping copy (-Wrestrict) and stops the Release build.
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        char copy[PATH_MAX];
        if (!documentsFile(name.c_str(), copy)) return -1;
        // A second name for the same file (through a link to its target):
        // the save then renames new content over the first name only. Both
        // calls fail on a name that is taken, whatever it is.
        int kept = ::linkat(AT_FDCWD, path, AT_FDCWD, copy, AT_SYMLINK_FOLLOW);
        // A folder, or a file system without hard links: it moves aside.
        if (kept != 0 && errno != EEXIST) kept = ::renameat2(AT_FDCWD, path, AT_FDCWD, copy, RENAME_NOREPLACE);
        if (kept == 0) {
            if (keptAs) *keptAs = name;
            return 0;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

SaveDataImp::~SaveDataImp() { flush(); }

int32_t SaveDataImp::seek(int32_t offset, uint32_t whence) {
    int64_t base = whence == 1 ? position_ : whence == 2 ? int64_t(bytes_.size()) : 0;
    int64_t to = base + offset;
    if (to < 0) return -1;
    position_ = to;
    return 0;
}

int32_t SaveDataImp::read(void* buffer, int32_t n) {
    if (!buffer || n <= 0) return 0;
    int64_t size = int64_t(bytes_.size());
    if (position_ >= size) return 0;
    int64_t count = size - position_ < n ? size - position_ : n;
    std::memcpy(buffer, bytes_.data() + position_, size_t(count));
    position_ += count;
    return int32_t(count);
}

int32_t SaveDataImp::write(const void* buffer, int32_t n) {
    if (!buffer || n <= 0) return 0;
    if (position_ >= kMaxBytes) return 0;
    int64_t count = kMaxBytes - position_ < n ? kMaxBytes - position_ : n;
    // Writing past the end fills the gap with zeros, as a file would.
    if (position_ + count > int64_t(bytes_.size())) bytes_.resize(size_t(position_ + count), 0);
    std::memcpy(bytes_.data() + position_, buffer, size_t(count));
    position_ += count;
    dirty_ = true;
    return int32_t(count);
}

// A hidden name beside the file, short enough for any file name; six
// random characters follow it.
// Built by appends: g++ 12 at -O3 takes `"." + string` for an overlapping copy
// (-Werror=restrict) and the Release tree would not build.
std::string SaveDataImp::tempPrefix() const {
    std::string prefix = ".";
    prefix.append(name_, 0, 200);
    prefix += '.';
    return prefix;
}

void SaveDataImp::removeLeftovers(int folder) const {
    int dir = ::dup(folder);  // the listing owns its descriptor
    if (dir < 0) return;
    DIR* d = ::fdopendir(dir);
    if (!d) {
        ::close(dir);
        return;
    }
    const std::string prefix = tempPrefix();
    while (const dirent* e = ::readdir(d)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        if (!tempNameTail(e->d_name + prefix.size())) continue;
        removeIfAbandoned(::dirfd(d), e->d_name);
    }
    ::closedir(d);
}

// The new content under a temporary name, locked from before anyone else
// can see it until the rename, renamed over the file.
bool SaveDataImp::replaceFile(int dir) const {
    const std::string prefix = tempPrefix();
    std::string temp;
    int fd = -1;
    // Unnamed first; where the file system cannot make or link one, a
    // named file written again.
    for (int unnamed = forceNamedTemporary ? 0 : 1; unnamed >= 0; --unnamed) {
        fd = unnamed ? lockedUnnamedFile(dir) : lockedNamedFile(dir, prefix, &temp);
        if (fd < 0) {
            if (unnamed) continue;
            return false;
        }
        bool ok = ::fchmod(fd, mode_) == 0 && writeAll(fd, bytes_.data(), bytes_.size());
        if (ok) step(FlushStep::Written);
        ok = ok && ::fsync(fd) == 0;
        if (ok) step(FlushStep::Synced);
        if (ok && unnamed && !nameUnnamedFile(dir, fd, prefix, &temp)) {
            ::close(fd);
            continue;
        }
        if (!ok) {
            int error = errno;
            if (!unnamed) ::unlinkat(dir, temp.c_str(), 0);
            ::close(fd);
            errno = error;
            return false;
        }
        break;
    }
    step(FlushStep::Named);
    if (::renameat(dir, temp.c_str(), dir, name_.c_str()) != 0) {
        int error = errno;
        ::unlinkat(dir, temp.c_str(), 0);
        ::close(fd);
        errno = error;
        return false;
    }
    ::close(fd);  // the lock goes with it
    return true;
}

int32_t SaveDataImp::flush() {
    if (!dirty_) return 0;
    if (readOnly_) {
        errno = EBADF;
        return -1;
    }
    int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    if (!replaceFile(dir)) {
        int error = errno;
        ::close(dir);
        errno = error;
        return -1;
    }
    removeLeftovers(dir);
    // The rename itself is durable only once the folder is synced. Some
    // file systems cannot sync a folder (EINVAL); the rename stands there.
    int synced = ::fsync(dir);
    int syncError = errno;
    ::close(dir);
    if (synced != 0 && syncError != EINVAL) {
        errno = syncError;
        return -1;
    }
    dirty_ = false;
    return 0;
}

}  // namespace KelpaEngine::iOS
