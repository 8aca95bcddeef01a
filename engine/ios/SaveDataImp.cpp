#include "engine/ios/SaveDataImp.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

// The descriptor of the save file, creating it only when it does not exist.
int openOrCreate(const char* path) {
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
    }
    return -1;
}

// The whole file; false on a read error or a file over the limit.
bool readAll(int fd, std::vector<uint8_t>* out, mode_t* mode) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_size < 0 || st.st_size > SaveDataImp::kMaxBytes) return false;
    *mode = st.st_mode & 07777;
    std::vector<uint8_t> bytes;
    // The file may grow or shrink while it is read; read to its real end.
    uint8_t chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (int64_t(bytes.size()) + n > SaveDataImp::kMaxBytes) return false;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    *out = std::move(bytes);
    return true;
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

}  // namespace

RefPtr<SaveData> SaveDataImp::open(Application* app, const char* fileName) {
    if (!fileName || !*fileName) return nullptr;
    if (std::strlen(fileName) > kMaxNameLength) return nullptr;
    std::string folder = hostDocumentsPath();
    if (folder.empty()) return nullptr;
    // A path that does not fit is refused, never cut to a different file.
    char path[PATH_MAX];
    int len = std::snprintf(path, sizeof path, "%s/%s", folder.c_str(), fileName);
    if (len < 0 || size_t(len) >= sizeof path) return nullptr;

    int fd = openOrCreate(path);
    if (fd < 0) return nullptr;
    std::vector<uint8_t> bytes;
    mode_t mode = 0600;
    bool read = readAll(fd, &bytes, &mode);
    ::close(fd);
    if (!read) return nullptr;

    // The new content replaces the file a link points to, not the link.
    char real[PATH_MAX];
    if (!::realpath(path, real)) return nullptr;
    std::string where(real);
    size_t slash = where.rfind('/');
    if (slash == std::string::npos || slash + 1 >= where.size()) return nullptr;
    std::string realFolder = slash == 0 ? std::string("/") : where.substr(0, slash);

    auto* obj = new (std::nothrow) SaveDataImp(realFolder, where.substr(slash + 1), std::move(bytes), mode, app);
    if (!obj) return nullptr;
    return adoptRef<SaveDataImp, SaveData>(obj);
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

int32_t SaveDataImp::flush() {
    if (!dirty_) return 0;
    std::string target = folder_ == "/" ? "/" + name_ : folder_ + "/" + name_;
    // A hidden name beside the file, short enough for any file name.
    std::string temp = (folder_ == "/" ? std::string("/.") : folder_ + "/.") + name_.substr(0, 200) + ".XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    bool ok = ::fchmod(fd, mode_) == 0 && writeAll(fd, bytes_.data(), bytes_.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return -1;
    }
    // The rename itself is durable only once the folder is synced. Some
    // file systems cannot sync a folder (EINVAL); the rename stands there.
    int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return -1;
    int synced = ::fsync(dir);
    int syncError = errno;
    ::close(dir);
    if (synced != 0 && syncError != EINVAL) return -1;
    dirty_ = false;
    return 0;
}

}  // namespace KelpaEngine::iOS
