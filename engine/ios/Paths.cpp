#include "engine/ios/Paths.h"

#include <climits>
#include <cstring>
#include <mutex>

namespace KelpaEngine::iOS {
namespace {

// Set once by the host, but read from any thread that loads a file.
std::mutex& pathsLock() {
    static std::mutex m;
    return m;
}
std::string& assetFolderStore() {
    static std::string s;
    return s;
}
std::string& documentsFolderStore() {
    static std::string s;
    return s;
}

void store(std::string& slot, const char* folder) {
    std::lock_guard<std::mutex> lock(pathsLock());
    slot = folder ? folder : "";
}

std::string load(const std::string& slot) {
    std::lock_guard<std::mutex> lock(pathsLock());
    return slot;
}

}  // namespace

void setAssetFolder(const char* folder) { store(assetFolderStore(), folder); }
std::string assetFolder() { return load(assetFolderStore()); }
void setDocumentsFolder(const char* folder) { store(documentsFolderStore(), folder); }
std::string documentsFolder() { return load(documentsFolderStore()); }

std::string hostAssetPath(const char* fileName) {
    if (!fileName || !*fileName) return std::string();
    std::string path = assetFolder();
    if (path.empty()) return path;
    if (path.back() != '/') path += '/';
    path += fileName;
    // A path the kernel would refuse anyway; refusing it here keeps callers
    // from ever seeing a shortened one.
    if (path.size() >= PATH_MAX) return std::string();
    return path;
}

std::string hostDocumentsPath() { return documentsFolder(); }

}  // namespace KelpaEngine::iOS
