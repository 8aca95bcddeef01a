#include "engine/ios/ResourceImp.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/ios/Paths.h"

namespace KelpaEngine::iOS {
namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads up to n bytes; returns the count read, or -1 on an error.
int64_t readFully(int fd, uint8_t* to, uint64_t n) {
    uint64_t done = 0;
    while (done < n) {
        ssize_t r = ::read(fd, to + done, n - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += uint64_t(r);
    }
    return int64_t(done);
}

void setWhy(std::string* why, const char* text) {
    if (why) *why = text;
}

// "not found" for a missing file, else the system's words for the failure.
void setOpenFailure(std::string* why, int error) {
    if (!why) return;
    if (error == ENOENT) {
        *why = "not found";
    } else {
        *why = "cannot be opened (";
        *why += std::strerror(error);
        *why += ")";
    }
}

}  // namespace

ResourceImp::~ResourceImp() { engineFree(data_); }

RefPtr<Resource> ResourceImp::load(Application*, const char* fileName, std::string* why) {
    std::string path = hostAssetPath(fileName);
    if (path.empty()) {
        setWhy(why, fileName && *fileName ? "no asset folder, or the path is too long" : "no file name");
        return nullptr;
    }
    return loadPath(path.c_str(), why);
}

RefPtr<Resource> ResourceImp::loadPath(const char* path, std::string* why) {
    if (!path || !*path) {
        setWhy(why, "no file name");
        return nullptr;
    }
    // Non-blocking so that a FIFO in place of an asset cannot stall the open;
    // anything but a regular file is refused right after.
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        setOpenFailure(why, errno);
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        setWhy(why, "not a regular file");
        return nullptr;
    }
    if (st.st_size < 0 || uint64_t(st.st_size) > UINT32_MAX) {
        setWhy(why, "larger than 4 GiB");
        return nullptr;
    }
    const uint32_t size = uint32_t(st.st_size);

    auto* data = static_cast<uint8_t*>(engineAlloc(uint64_t(size) + 1));
    if (!data) {
        setWhy(why, "out of memory for its bytes");
        return nullptr;
    }
    // The whole file or nothing: a short read (or a file that grew meanwhile)
    // must not pass for the asset's content.
    uint8_t probe;
    if (readFully(fd.get(), data, size) != int64_t(size) || readFully(fd.get(), &probe, 1) != 0) {
        engineFree(data);
        setWhy(why, "could not be read whole");
        return nullptr;
    }
    data[size] = 0;

    auto* res = new (std::nothrow) ResourceImp(data, size);
    if (!res) {
        engineFree(data);
        setWhy(why, "out of memory");
        return nullptr;
    }
    return adoptRef<ResourceImp, Resource>(res);
}

}  // namespace KelpaEngine::iOS
