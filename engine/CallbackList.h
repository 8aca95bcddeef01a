// A list of {function, argument} pairs called in index order. The graphics
// object keeps one for "context created" and one for "context destroyed"
// notifications; texture pages register on them.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/Heap.h"

namespace KelpaEngine {

class CallbackList {
public:
    // invokerArgument is what invoke() was given, entryArgument what add() was.
    using Function = int (*)(void* invokerArgument, void* entryArgument);

    struct Entry {
        Function fn;
        void* arg;
    };

    static constexpr int32_t kGrowBy = 32;

    CallbackList() = default;
    CallbackList(const CallbackList&) = delete;
    CallbackList& operator=(const CallbackList&) = delete;
    virtual ~CallbackList() { engineFree(entries_); }

    // Stores the pair in the first empty entry, growing the array by 32
    // entries when there is none. Returns the entry's index, or -1 when the
    // array cannot grow (the list is then unchanged) or fn is null.
    int add(Function fn, void* arg) {
        if (!fn) return -1;
        for (int32_t i = 0; i < count_; ++i) {
            if (!entries_[i].fn) {
                entries_[i] = Entry{fn, arg};
                return i;
            }
        }
        if (count_ > INT32_MAX - kGrowBy) return -1;
        int32_t newCount = count_ + kGrowBy;
        auto* grown = static_cast<Entry*>(engineAlloc(uint64_t(newCount) * sizeof(Entry)));
        if (!grown) return -1;
        std::memset(static_cast<void*>(grown), 0, size_t(newCount) * sizeof(Entry));
        if (count_ > 0) std::memcpy(static_cast<void*>(grown), entries_, size_t(count_) * sizeof(Entry));
        engineFree(entries_);
        entries_ = grown;
        int32_t index = count_;
        count_ = newCount;
        entries_[index] = Entry{fn, arg};
        return index;
    }

    // Empties the first entry holding exactly this pair; returns its index or -1.
    int remove(Function fn, void* arg) {
        for (int32_t i = 0; i < count_; ++i) {
            if (entries_[i].fn == fn && entries_[i].arg == arg) {
                entries_[i] = Entry{nullptr, nullptr};
                return i;
            }
        }
        return -1;
    }

    // Calls every non-empty entry as fn(invokerArgument, entry's argument)
    // and returns how many calls returned non-zero. The entry count and the
    // array are read again after each call, so a callback may add or remove
    // entries (added ones are called in the same walk).
    int invoke(void* invokerArgument) {
        int nonZero = 0;
        for (int32_t i = 0; i < count_; ++i) {
            Entry e = entries_[i];
            if (!e.fn) continue;
            if (e.fn(invokerArgument, e.arg) != 0) ++nonZero;
        }
        return nonZero;
    }

    int32_t entryCount() const { return count_; }
    const Entry* entryAt(int32_t i) const { return (i >= 0 && i < count_) ? &entries_[i] : nullptr; }
    // Number of non-empty entries.
    int32_t liveCount() const {
        int32_t n = 0;
        for (int32_t i = 0; i < count_; ++i) n += entries_[i].fn ? 1 : 0;
        return n;
    }

private:
    Entry* entries_ = nullptr;
    int32_t count_ = 0;
};

}  // namespace KelpaEngine
