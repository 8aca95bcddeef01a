// A whole asset file held in memory.
#pragma once

#include <cstdint>

namespace KelpaEngine {

class Resource {
public:
    virtual ~Resource() = default;
    // The file's bytes, followed by one NUL byte (so text can be walked as a
    // C string). Never null for a loaded resource.
    virtual uint8_t* getData() const = 0;
    // The file's length in bytes, without the NUL.
    virtual uint32_t getSize() const = 0;
};

}  // namespace KelpaEngine
