// The engine heap: every block carries a header with a magic word, the
// requested size, a tag, an intrusive reference count and a deleter.
// RefPtr / RefArray share objects through that header.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace KelpaEngine {

using Deleter = void (*)(void*);
class CriticalSection;

constexpr uint64_t kHeapMagic = 0x00000000C3E25379ull;
constexpr uint64_t kHeapMagicFreed = 0xFFFFFFFF3C1DAC86ull;
constexpr uint32_t kTagUnset = 0xFFFFFFFFu;
constexpr uint32_t kNoRefCount = 0xFFFFFFFFu;

struct HeapBlockHeader {
    uint64_t magic;
    uint64_t size;
    uint32_t tag;
    std::atomic<uint32_t> refCount;
    Deleter deleter;
};
static_assert(sizeof(HeapBlockHeader) == 32, "the header is 32 bytes in front of the object");

struct HeapCounters {
    uint32_t liveBlocks;
    uint32_t totalAllocations;
    uint32_t bytesInUse;
};

// Returns null on failure (including sizes that would wrap around).
void* engineAlloc(uint64_t size);
// Null and memory without the magic are ignored.
void engineFree(void* p);

// Heap lock and counters, for the allocation functions.
CriticalSection& heapLock();
void countAllocation(uint64_t size);
void countFree(uint64_t size);

// Snapshot of the counters, taken under the heap lock.
HeapCounters heapCounters();

// Header of the block p points into (up to 12 bytes past the object's
// start), or null when p is null or not a heap block.
HeapBlockHeader* findHeader(const void* p);
// Header of a RefArray block, given its element pointer.
HeapBlockHeader* findArrayHeader(const void* elements);

uint32_t refCountOf(const void* p);
void setDeleter(void* p, Deleter deleter);
void setTagAndDeleter(void* elements, uint32_t tag, Deleter deleter);

// Low-level slot operations; RefPtr and RefArray are built on them.
bool refAssign(void** slot, void* q);
void refRelease(void** slot);
bool refArrayAssign(void** slot, void* elements);
void refArrayRelease(void** slot);

template <class T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(std::nullptr_t) {}
    RefPtr(const RefPtr& o) { assign(o.p_); }
    RefPtr(RefPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr(const RefPtr<U>& o) { assign(o.get()); }
    // Takes over the other's reference, so a moved-from temporary holds none.
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr(RefPtr<U>&& o) noexcept : p_(o.detach()) {}
    ~RefPtr() { release(); }

    RefPtr& operator=(const RefPtr& o) {
        assign(o.p_);
        return *this;
    }
    RefPtr& operator=(RefPtr&& o) noexcept {
        if (this != &o) {
            // Taken out before the release: o may live inside the object
            // that the release destroys (p = std::move(p->next)).
            T* q = o.detach();
            release();
            p_ = q;
        }
        return *this;
    }
    RefPtr& operator=(std::nullptr_t) {
        reset(nullptr);
        return *this;
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    RefPtr& operator=(const RefPtr<U>& o) {
        assign(o.get());
        return *this;
    }

    // Takes in q, retaining it before the old pointer is released, so
    // assigning what the old object alone holds (p = p->next) is safe.
    bool assign(T* q) {
        void* slot = slotPointer();
        bool r = refAssign(&slot, objectPointer(q));
        p_ = q;
        return r;
    }
    void reset(T* q = nullptr) {
        if (q == nullptr) {
            release();
            p_ = nullptr;
        } else {
            assign(q);
        }
    }
    // Drops this slot's reference and empties the slot, so a later release
    // (the destructor's) cannot drop it twice.
    void release() {
        if (!p_) return;
        void* slot = objectPointer(p_);
        p_ = nullptr;
        refRelease(&slot);
    }
    // Forgets the pointer without touching the count.
    T* detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool operator==(const RefPtr& o) const { return p_ == o.p_; }
    bool operator==(std::nullptr_t) const { return p_ == nullptr; }

private:
    // The header sits in front of the most-derived object.
    static void* objectPointer(T* q) {
        if constexpr (std::is_polymorphic_v<T>) {
            return q ? dynamic_cast<void*>(q) : nullptr;
        } else {
            return q;
        }
    }
    void* slotPointer() const { return objectPointer(p_); }
    T* p_ = nullptr;
};

// Helper used by the factories: the most-derived object address.
template <class T>
void* dynamic_cast_or_self(T* p) {
    if constexpr (std::is_polymorphic_v<T>) {
        return dynamic_cast<void*>(p);
    } else {
        return p;
    }
}

template <class T>
void deleteTrampoline(void* p) {
    if (p) delete static_cast<T*>(p);
}

// The factory protocol: allocate and construct, set the deleter, take the
// first reference. Returns null when the allocation fails.
template <class T, class... Args>
RefPtr<T> makeRef(Args&&... args) {
    T* obj = new (std::nothrow) T(std::forward<Args>(args)...);
    RefPtr<T> r;
    if (!obj) return r;
    setDeleter(dynamic_cast_or_self(obj), &deleteTrampoline<T>);
    r.reset(obj);
    return r;
}

// Gives a freshly made object its deleter and first reference (for factories
// that construct with their own new expression).
template <class T, class Base = T>
RefPtr<Base> adoptRef(T* obj) {
    RefPtr<Base> r;
    if (!obj) return r;
    setDeleter(dynamic_cast_or_self(obj), &deleteTrampoline<T>);
    r.reset(obj);
    return r;
}

// A reference-counted array made with the array form of new. The block's
// tag holds the element count; the deleter destroys the elements from the
// last to the first.
template <class T>
class RefArray {
public:
    RefArray() = default;
    RefArray(const RefArray& o) { assign(o.p_); }
    RefArray(RefArray&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~RefArray() { release(); }
    RefArray& operator=(const RefArray& o) {
        assign(o.p_);
        return *this;
    }
    RefArray& operator=(RefArray&& o) noexcept {
        if (this != &o) {
            T* q = o.p_;  // taken out first, as for RefPtr
            o.p_ = nullptr;
            release();
            p_ = q;
        }
        return *this;
    }

    // Makes an array of n default-constructed elements; null on failure.
    static RefArray make(size_t n) {
        RefArray r;
        T* a = newArray(n);
        if (!a) return r;
        setTagAndDeleter(a, static_cast<uint32_t>(n), &destroyArray);
        r.assign(a);
        return r;
    }

    bool assign(T* q) {
        void* slot = p_;
        bool res = refArrayAssign(&slot, q);
        p_ = q;
        return res;
    }
    void release() {
        if (!p_) return;
        void* slot = p_;
        p_ = nullptr;
        refArrayRelease(&slot);
    }

    T* get() const { return p_; }
    T& operator[](size_t i) const { return p_[i]; }
    explicit operator bool() const { return p_ != nullptr; }
    size_t size() const {
        HeapBlockHeader* h = findArrayHeader(p_);
        return h ? h->tag : 0;
    }

private:
    struct Prefix {
        uint64_t elementSize;
        uint64_t count;
    };
    static T* newArray(size_t n) {
        if (n > (UINT64_MAX - sizeof(Prefix)) / (sizeof(T) ? sizeof(T) : 1)) return nullptr;
        void* block = engineAlloc(sizeof(Prefix) + uint64_t(n) * sizeof(T));
        if (!block) return nullptr;
        auto* pre = static_cast<Prefix*>(block);
        pre->elementSize = sizeof(T);
        pre->count = n;
        T* a = reinterpret_cast<T*>(pre + 1);
        for (size_t i = 0; i < n; ++i) new (a + i) T();
        return a;
    }
    static void destroyArray(void* elements) {
        if (!elements) return;
        T* a = static_cast<T*>(elements);
        auto* pre = reinterpret_cast<Prefix*>(elements) - 1;
        for (uint64_t i = pre->count; i > 0; --i) a[i - 1].~T();
        engineFree(pre);
    }
    T* p_ = nullptr;
};

// The engine's mutex: one POSIX mutex with default attributes. Its storage
// is opaque here so that no system type reaches the engine's headers;
// Heap.cpp checks that the system's mutex fits.
class CriticalSection {
public:
    CriticalSection();
    virtual ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void lock();
    void unlock();

    static constexpr size_t kMutexStorage = 64;

private:
    alignas(16) unsigned char mutex_[kMutexStorage];
};

// Scoped lock over a CriticalSection.
class CriticalBlock {
public:
    explicit CriticalBlock(CriticalSection* section) : section_(section) {
        if (section_) section_->lock();
    }
    explicit CriticalBlock(CriticalSection& section) : CriticalBlock(&section) {}
    virtual ~CriticalBlock() {
        if (section_) section_->unlock();
    }
    CriticalBlock(const CriticalBlock&) = delete;
    CriticalBlock& operator=(const CriticalBlock&) = delete;

private:
    CriticalSection* section_;
};

}  // namespace KelpaEngine
