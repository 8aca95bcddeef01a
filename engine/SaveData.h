// A read-write data file in the app's Documents folder. Reads see every
// write made through the object; the file itself changes only when the
// changes are flushed, and then as a whole: after a crash it holds either
// the content before or the content after a flush, never a mix.
#pragma once

#include <cstdint>

#include "engine/Heap.h"

namespace KelpaEngine {

class SaveData {
public:
    virtual ~SaveData() = default;

    // whence: 0 from the start, 1 from the current position, 2 from the end;
    // any other value counts as 0. Returns 0 on success, -1 on failure.
    virtual int32_t seek(int32_t offset, uint32_t whence) = 0;
    // Transfer up to n bytes; return the number transferred (0 for n <= 0).
    virtual int32_t read(void* buffer, int32_t n) = 0;
    virtual int32_t write(const void* buffer, int32_t n) = 0;
    // Writes the pending changes to disk durably. 0 on success (or nothing
    // pending), -1 on failure, which leaves the file as it was; the changes
    // stay pending. The destructor flushes too, without a way to report.
    virtual int32_t flush() = 0;

    // A little-endian 32-bit word. Bytes that could not be read count as 0,
    // so a read at the end of the file gives 0.
    static uint32_t readU32LE(SaveData* data) {
        uint8_t b[4] = {0, 0, 0, 0};
        if (data) data->read(b, 4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    static uint32_t readU32LE(const RefPtr<SaveData>& data) { return readU32LE(data.get()); }

    // Writes the word least significant byte first; returns write's count.
    static int32_t writeU32LE(SaveData* data, uint32_t value) {
        if (!data) return 0;
        const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        return data->write(b, 4);
    }
    static int32_t writeU32LE(const RefPtr<SaveData>& data, uint32_t value) {
        return writeU32LE(data.get(), value);
    }
};

}  // namespace KelpaEngine
