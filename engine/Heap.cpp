#include "engine/Heap.h"

#include <pthread.h>

#include <cstdlib>
#include <cstring>
#include <new>

// An AddressSanitizer build poisons each block's spare tail, so that ASan
// sees where the object really ends.
#if defined(__SANITIZE_ADDRESS__)
#define KELPA_HEAP_POISONS_TAILS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELPA_HEAP_POISONS_TAILS 1
#endif
#endif
#ifdef KELPA_HEAP_POISONS_TAILS
#include <sanitizer/asan_interface.h>
#endif

namespace KelpaEngine {
namespace {

constexpr uint64_t kSpareTail = 16;
constexpr uint64_t kBlockExtra = sizeof(HeapBlockHeader) + kSpareTail;

// Marks the spare tail behind an object of size bytes as out of bounds.
#ifdef KELPA_HEAP_POISONS_TAILS
void poisonTail(void* object, uint64_t size) {
    __asan_poison_memory_region(static_cast<unsigned char*>(object) + size, kSpareTail);
}
#else
void poisonTail(void*, uint64_t) {}
#endif

pthread_mutex_t* systemMutex(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }

HeapCounters gCounters{0, 0, 0};

// The heap lock must work for allocations made before any static
// constructor ran and after every static destructor ran, so it is built on
// first use in static storage and never destroyed.
}  // namespace

static_assert(sizeof(pthread_mutex_t) <= CriticalSection::kMutexStorage, "the mutex fits its storage");
static_assert(alignof(pthread_mutex_t) <= 16, "the mutex storage is aligned enough");

CriticalSection::CriticalSection() { pthread_mutex_init(systemMutex(mutex_), nullptr); }
CriticalSection::~CriticalSection() { pthread_mutex_destroy(systemMutex(mutex_)); }
void CriticalSection::lock() { pthread_mutex_lock(systemMutex(mutex_)); }
void CriticalSection::unlock() { pthread_mutex_unlock(systemMutex(mutex_)); }

CriticalSection& heapLock() {
    alignas(CriticalSection) static unsigned char storage[sizeof(CriticalSection)];
    static CriticalSection* lock = new (storage) CriticalSection();
    return *lock;
}

void countAllocation(uint64_t size) {
    gCounters.liveBlocks += 1;
    gCounters.totalAllocations += 1;
    gCounters.bytesInUse += static_cast<uint32_t>(size);
}

void countFree(uint64_t size) {
    gCounters.liveBlocks -= 1;
    gCounters.bytesInUse -= static_cast<uint32_t>(size);
}

namespace {

// Builds the lock before the process entry runs, as the engine expects.
[[maybe_unused]] const bool initHeapLock = (heapLock(), true);

// Reads a word that may lie outside any object when p is not a heap block.
__attribute__((no_sanitize("address", "undefined", "thread"))) uint64_t peekWord(const unsigned char* at) {
    uint64_t v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

}  // namespace

void* engineAlloc(uint64_t size) {
    if (size > UINT64_MAX - kBlockExtra || size + kBlockExtra > SIZE_MAX) return nullptr;
    CriticalBlock lock(heapLock());
    void* raw = std::malloc(static_cast<size_t>(size + kBlockExtra));
    if (!raw) return nullptr;
    auto* h = static_cast<HeapBlockHeader*>(raw);
    h->magic = kHeapMagic;
    h->size = size;
    h->tag = kTagUnset;
    new (&h->refCount) std::atomic<uint32_t>(0);
    h->deleter = nullptr;
    countAllocation(size);
    void* object = static_cast<unsigned char*>(raw) + sizeof(HeapBlockHeader);
    poisonTail(object, size);
    return object;
}

HeapBlockHeader* findHeader(const void* p) {
    if (!p) return nullptr;
    auto* at = static_cast<const unsigned char*>(p);
    // Candidates must not wrap below address zero.
    for (uintptr_t off : {32u, 36u, 40u, 44u}) {
        if (reinterpret_cast<uintptr_t>(at) < off) return nullptr;
        if (peekWord(at - off) == kHeapMagic)
            return reinterpret_cast<HeapBlockHeader*>(const_cast<unsigned char*>(at - off));
    }
    return nullptr;
}

HeapBlockHeader* findArrayHeader(const void* elements) {
    if (!elements) return nullptr;
    auto* at = static_cast<const unsigned char*>(elements);
    if (reinterpret_cast<uintptr_t>(at) < 48) return nullptr;
    if (peekWord(at - 48) != kHeapMagic) return nullptr;
    return reinterpret_cast<HeapBlockHeader*>(const_cast<unsigned char*>(at - 48));
}

void engineFree(void* p) {
    if (!p) return;
    CriticalBlock lock(heapLock());
    HeapBlockHeader* h = findHeader(p);
    if (!h) return;
    h->magic = kHeapMagicFreed;
    countFree(h->size);
    std::free(h);
}

HeapCounters heapCounters() {
    CriticalBlock lock(heapLock());
    return gCounters;
}

uint32_t refCountOf(const void* p) {
    HeapBlockHeader* h = findHeader(p);
    return h ? h->refCount.load() : kNoRefCount;
}

void setDeleter(void* p, Deleter deleter) {
    HeapBlockHeader* h = findHeader(p);
    if (h && !h->deleter) h->deleter = deleter;
}

void setTagAndDeleter(void* elements, uint32_t tag, Deleter deleter) {
    HeapBlockHeader* h = findArrayHeader(elements);
    if (h && !h->deleter) {
        h->tag = tag;
        h->deleter = deleter;
    }
}

namespace {

bool assignWith(void** slot, void* q, HeapBlockHeader* (*find)(const void*), void (*release)(void**)) {
    // Re-assigning the pointer already held keeps its count as it is.
    if (*slot == q) return true;
    // The new block is retained before the old one is released: the old
    // object may hold the only other reference to it (p = p->next).
    if (q) {
        if (HeapBlockHeader* h = find(q)) h->refCount.fetch_add(1);
    }
    if (*slot) release(slot);
    *slot = q;
    return true;
}

void releaseWith(void** slot, HeapBlockHeader* (*find)(const void*)) {
    void* p = *slot;
    if (!p) return;
    HeapBlockHeader* h = find(p);
    if (!h) return;
    // Never underflow a count that was not raised.
    uint32_t c = h->refCount.load();
    do {
        if (c == 0) return;
    } while (!h->refCount.compare_exchange_weak(c, c - 1));
    if (c - 1 != 0) return;
    if (Deleter d = h->deleter) {
        d(p);
        *slot = nullptr;
    }
}

void releaseObject(void** slot) { releaseWith(slot, findHeader); }
void releaseArray(void** slot) { releaseWith(slot, findArrayHeader); }

}  // namespace

bool refAssign(void** slot, void* q) { return assignWith(slot, q, findHeader, releaseObject); }
void refRelease(void** slot) { releaseObject(slot); }
bool refArrayAssign(void** slot, void* elements) { return assignWith(slot, elements, findArrayHeader, releaseArray); }
void refArrayRelease(void** slot) { releaseArray(slot); }

}  // namespace KelpaEngine

// ---- The program's global allocation functions go through the engine heap.

namespace {

using KelpaEngine::engineAlloc;
using KelpaEngine::engineFree;
using KelpaEngine::HeapBlockHeader;

// Over-aligned blocks keep the header 32 bytes before the object; the
// system block starts `align` bytes before it, which the aligned delete
// forms are told, so they can hand back the right address.
void* alignedAlloc(std::size_t n, std::size_t align) {
    if (align <= 16) return engineAlloc(n);
    if (n > SIZE_MAX - align - KelpaEngine::kSpareTail) return nullptr;
    KelpaEngine::CriticalBlock lock(KelpaEngine::heapLock());
    void* raw = nullptr;
    if (posix_memalign(&raw, align, align + n + KelpaEngine::kSpareTail) != 0) return nullptr;
    unsigned char* obj = static_cast<unsigned char*>(raw) + align;
    auto* h = reinterpret_cast<HeapBlockHeader*>(obj - sizeof(HeapBlockHeader));
    h->magic = KelpaEngine::kHeapMagic;
    h->size = n;
    h->tag = KelpaEngine::kTagUnset;
    new (&h->refCount) std::atomic<uint32_t>(0);
    h->deleter = nullptr;
    KelpaEngine::countAllocation(n);
    KelpaEngine::poisonTail(obj, n);
    return obj;
}

void alignedFree(void* p, std::size_t align) {
    if (!p) return;
    if (align <= 16) return engineFree(p);
    KelpaEngine::CriticalBlock lock(KelpaEngine::heapLock());
    auto* h = reinterpret_cast<HeapBlockHeader*>(static_cast<unsigned char*>(p) - sizeof(HeapBlockHeader));
    if (h->magic != KelpaEngine::kHeapMagic) return;
    h->magic = KelpaEngine::kHeapMagicFreed;
    KelpaEngine::countFree(h->size);
    std::free(static_cast<unsigned char*>(p) - align);
}

template <class F>
void* orThrow(F alloc) {
    for (;;) {
        if (void* p = alloc()) return p;
        std::new_handler h = std::get_new_handler();
        if (!h) throw std::bad_alloc();
        h();
    }
}

}  // namespace

void* operator new(std::size_t n) { return orThrow([n] { return engineAlloc(n); }); }
void* operator new[](std::size_t n) { return orThrow([n] { return engineAlloc(n); }); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return engineAlloc(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return engineAlloc(n); }
void* operator new(std::size_t n, std::align_val_t a) {
    return orThrow([=] { return alignedAlloc(n, static_cast<std::size_t>(a)); });
}
void* operator new[](std::size_t n, std::align_val_t a) {
    return orThrow([=] { return alignedAlloc(n, static_cast<std::size_t>(a)); });
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return alignedAlloc(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return alignedAlloc(n, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { engineFree(p); }
void operator delete[](void* p) noexcept { engineFree(p); }
void operator delete(void* p, std::size_t) noexcept { engineFree(p); }
void operator delete[](void* p, std::size_t) noexcept { engineFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { engineFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { engineFree(p); }
void operator delete(void* p, std::align_val_t a) noexcept { alignedFree(p, static_cast<std::size_t>(a)); }
void operator delete[](void* p, std::align_val_t a) noexcept { alignedFree(p, static_cast<std::size_t>(a)); }
void operator delete(void* p, std::size_t, std::align_val_t a) noexcept { alignedFree(p, static_cast<std::size_t>(a)); }
void operator delete[](void* p, std::size_t, std::align_val_t a) noexcept { alignedFree(p, static_cast<std::size_t>(a)); }
void operator delete(void* p, std::align_val_t a, const std::nothrow_t&) noexcept {
    alignedFree(p, static_cast<std::size_t>(a));
}
void operator delete[](void* p, std::align_val_t a, const std::nothrow_t&) noexcept {
    alignedFree(p, static_cast<std::size_t>(a));
}
