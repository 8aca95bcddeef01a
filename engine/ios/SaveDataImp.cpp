#include "engine/ios/SaveDataImp.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ios/Paths.h"

namespace KelpaEngine::iOS {
namespace {

constexpr size_t kMaxNameLength = 254;

// An existing regular file, for reading and writing; -1 with errno set.
int openExisting(const char* path) {
    int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // Back to blocking reads and writes; the flag only guarded the open.
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
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
    FILE* file = ::fdopen(fd, "r+");
    if (!file) {
        ::close(fd);
        return nullptr;
    }
    auto* obj = new (std::nothrow) SaveDataImp(file, app);
    if (!obj) {
        std::fclose(file);
        return nullptr;
    }
    RefPtr<SaveData> r = adoptRef<SaveDataImp, SaveData>(obj);
    r->seek(0, 0);
    return r;
}

SaveDataImp::~SaveDataImp() {
    if (file_) std::fclose(file_);
}

void SaveDataImp::switchTo(LastOp op) {
    if (last_ != LastOp::None && last_ != op) std::fseek(file_, 0, SEEK_CUR);
    last_ = op;
}

int32_t SaveDataImp::seek(int32_t offset, uint32_t whence) {
    int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
    last_ = LastOp::None;
    return std::fseek(file_, long(offset), w) == 0 ? 0 : -1;
}

int32_t SaveDataImp::read(void* buffer, int32_t n) {
    if (!buffer || n <= 0) return 0;
    switchTo(LastOp::Read);
    return int32_t(std::fread(buffer, 1, size_t(n), file_));
}

int32_t SaveDataImp::write(const void* buffer, int32_t n) {
    if (!buffer || n <= 0) return 0;
    switchTo(LastOp::Write);
    size_t done = std::fwrite(buffer, 1, size_t(n), file_);
    // Flushed here so that a full disk shows in the count rather than being
    // lost silently when the file is closed.
    if (std::fflush(file_) != 0) return 0;
    return int32_t(done);
}

}  // namespace KelpaEngine::iOS
