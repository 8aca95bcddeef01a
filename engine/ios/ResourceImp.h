// Asset files read whole from the asset folder.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Heap.h"
#include "engine/Resource.h"

namespace KelpaEngine {
class Application;
}

namespace KelpaEngine::iOS {

class ResourceImp : public Resource {
public:
    // Reads the asset file fileName (hostAssetPath) whole. Null when the file
    // is missing, is not a regular file, is too large for a 32-bit size, its
    // path is too long, memory runs out or it could not be read to its end;
    // *why (when given) then says which.
    static RefPtr<Resource> load(Application* app, const char* fileName, std::string* why = nullptr);
    static RefPtr<Resource> load(const RefPtr<Application>& app, const char* fileName, std::string* why = nullptr) {
        return load(app.get(), fileName, why);
    }
    // The same for a file given by its full path.
    static RefPtr<Resource> loadPath(const char* path, std::string* why = nullptr);

    ~ResourceImp() override;
    uint8_t* getData() const override { return data_; }
    uint32_t getSize() const override { return size_; }

private:
    // Takes over data, an engine-heap block of size + 1 bytes.
    ResourceImp(uint8_t* data, uint32_t size) : data_(data), size_(size) {}
    uint8_t* data_;
    uint32_t size_;
};

}  // namespace KelpaEngine::iOS
