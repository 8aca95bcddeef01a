// ctest-label: threads
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/Heap.h"

using namespace KelpaEngine;

namespace {

struct Probe {
    static inline int destroyed = 0;
    static inline std::vector<int> order;
    int id = 0;
    explicit Probe(int i = 0) : id(i) {}
    virtual ~Probe() {
        ++destroyed;
        order.push_back(id);
    }
};

struct Node {
    static inline std::vector<int> gone;
    int id;
    RefPtr<Node> next;
    explicit Node(int i) : id(i) {}
    virtual ~Node() { gone.push_back(id); }
};

// Exactly 32 bytes in front of the object, found through the header search.
HeapBlockHeader* headerOf(void* p) {
    HeapBlockHeader* h = findHeader(p);
    EXPECT_EQ(reinterpret_cast<char*>(h) + 32, static_cast<char*>(p));
    return h;
}

// Made by a static initializer, in no particular order with the heap's own,
// and freed after main returned: the heap lock must work at both ends.
struct EarlyBlock {
    std::string* text = new std::string(100, 'e');
    ~EarlyBlock() {
        delete text;
        delete new std::string(100, 'x');
    }
} early;

}  // namespace

TEST(Heap, BlocksOutliveStaticInitAndExit) {
    ASSERT_NE(early.text, nullptr);
    EXPECT_EQ(headerOf(early.text)->magic, kHeapMagic);
    EXPECT_EQ(*early.text, std::string(100, 'e'));
}

TEST(Heap, BlockHeaderAndCounters) {
    HeapCounters before = heapCounters();
    void* p = engineAlloc(0);
    void* q = engineAlloc(0);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p, q);
    HeapBlockHeader* h = headerOf(p);
    EXPECT_EQ(h->magic, kHeapMagic);
    EXPECT_EQ(h->size, 0u);
    EXPECT_EQ(h->tag, kTagUnset);
    EXPECT_EQ(h->refCount.load(), 0u);
    EXPECT_EQ(h->deleter, nullptr);
    void* r = engineAlloc(1000);
    EXPECT_EQ(headerOf(r)->size, 1000u);
    HeapCounters mid = heapCounters();
    EXPECT_EQ(mid.liveBlocks, before.liveBlocks + 3);
    EXPECT_EQ(mid.totalAllocations, before.totalAllocations + 3);
    EXPECT_EQ(mid.bytesInUse, before.bytesInUse + 1000);
    engineFree(p);
    engineFree(q);
    engineFree(r);
    HeapCounters after = heapCounters();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
    EXPECT_EQ(after.totalAllocations, before.totalAllocations + 3);
    EXPECT_EQ(after.bytesInUse, before.bytesInUse);
}

TEST(Heap, ForeignMemoryIsLeftAlone) {
    alignas(16) unsigned char fake[64] = {};
    uint64_t magic = kHeapMagic;
    std::memcpy(fake, &magic, 8);
    void* obj = fake + 32;
    // A stack block with the magic is found as a block ...
    EXPECT_EQ(refCountOf(obj), 0u);
    // ... while memory without it is not, and freeing it does nothing.
    alignas(16) unsigned char plain[64] = {};
    HeapCounters before = heapCounters();
    engineFree(plain + 32);
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
    EXPECT_EQ(refCountOf(plain + 32), kNoRefCount);
    EXPECT_EQ(refCountOf(nullptr), kNoRefCount);
    int onStack = 0;
    EXPECT_EQ(refCountOf(&onStack), kNoRefCount);
}

TEST(Heap, HeaderFoundUpTo12BytesIntoTheObject) {
    void* p = engineAlloc(64);
    auto* c = static_cast<char*>(p);
    for (int off : {0, 4, 8, 12}) EXPECT_EQ(findHeader(c + off), headerOf(p)) << off;
    engineFree(p);
}

TEST(Heap, HugeSizesFailWithoutWrapping) {
    HeapCounters before = heapCounters();
    for (uint64_t n : {UINT64_MAX, UINT64_MAX - 47, UINT64_MAX - 48, uint64_t(1) << 63}) {
        EXPECT_EQ(engineAlloc(n), nullptr) << n;
    }
    EXPECT_EQ(heapCounters().totalAllocations, before.totalAllocations);
    volatile size_t huge = SIZE_MAX - 8;
    EXPECT_THROW((void)::operator new(huge), std::bad_alloc);
    EXPECT_EQ(::operator new(huge, std::nothrow), nullptr);
}

TEST(Heap, GlobalNewAndContainersUseTheHeap) {
    HeapCounters before = heapCounters();
    auto* s = new std::string(100, 'x');
    EXPECT_GT(heapCounters().liveBlocks, before.liveBlocks);
    EXPECT_EQ(headerOf(s)->magic, kHeapMagic);
    delete s;
    struct alignas(64) Wide {
        char b[64];
    };
    auto* w = new Wide;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(w) % 64, 0u);
    EXPECT_EQ(headerOf(w)->magic, kHeapMagic);
    delete w;
    auto* arr = new Wide[3];
    EXPECT_EQ(reinterpret_cast<uintptr_t>(arr) % 64, 0u);
    delete[] arr;
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// The spare bytes behind each block must not hide an overrun from
// AddressSanitizer: a byte written just past the object is reported, as is a
// read anywhere in the spare tail.
TEST(HeapDeathTest, OneBytePastTheObjectIsReportedUnderAddressSanitizer) {
    if (!kAddressSanitizer) GTEST_SKIP() << "needs an AddressSanitizer build";
    struct alignas(64) Wide {
        char b[64];
    };
    struct Case {
        const char* name;
        char* (*make)();
        void (*drop)(char*);
        bool reads;
    };
    const Case cases[] = {
        {"0 bytes", [] { return static_cast<char*>(engineAlloc(0)); }, [](char* p) { engineFree(p); }, false},
        {"13 bytes", [] { return static_cast<char*>(engineAlloc(13)); }, [](char* p) { engineFree(p); }, true},
        {"16 bytes", [] { return static_cast<char*>(engineAlloc(16)); }, [](char* p) { engineFree(p); }, false},
        {"new char[29]", [] { return new char[29]; }, [](char* p) { delete[] p; }, false},
        {"over-aligned", [] { return reinterpret_cast<char*>(new Wide); },
         [](char* p) { delete reinterpret_cast<Wide*>(p); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char* p = c.make();
        ASSERT_NE(findHeader(p), nullptr);
        volatile char* end = p + findHeader(p)->size;
        if (end != p) end[-1] = 1;  // the object's own last byte is fine
        EXPECT_DEATH(end[0] = 1, "AddressSanitizer.*WRITE of size 1");
        if (c.reads) {
            EXPECT_DEATH((void)end[0], "AddressSanitizer.*READ of size 1");
            EXPECT_DEATH((void)end[15], "AddressSanitizer.*READ of size 1");
        }
        c.drop(p);
    }
}

TEST(RefPtr, FactoryCountsAndSingleDeleterCall) {
    Probe::destroyed = 0;
    RefPtr<Probe> a = makeRef<Probe>(1);
    ASSERT_TRUE(a);
    EXPECT_EQ(refCountOf(a.get()), 1u);
    {
        RefPtr<Probe> b = a;
        EXPECT_EQ(refCountOf(a.get()), 2u);
        b = a;  // the pointer it already holds: no change
        EXPECT_EQ(refCountOf(a.get()), 2u);
    }
    EXPECT_EQ(refCountOf(a.get()), 1u);
    EXPECT_EQ(Probe::destroyed, 0);
    a.release();
    EXPECT_EQ(Probe::destroyed, 1);
    EXPECT_FALSE(a);
}

// Stepping along a chain: the old node holds the only other reference to
// the new one, so the new one must be taken before the old one goes.
TEST(RefPtr, AssigningAPointerHeldByTheOldObjectKeepsIt) {
    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        Node::gone.clear();
        RefPtr<Node> head = makeRef<Node>(1);
        head->next = makeRef<Node>(2);
        head->next->next = makeRef<Node>(3);
        if (move) {
            head = std::move(head->next);
        } else {
            head = head->next;
        }
        EXPECT_EQ(Node::gone, (std::vector<int>{1}));
        ASSERT_TRUE(head);
        EXPECT_EQ(head->id, 2);
        EXPECT_EQ(refCountOf(head.get()), 1u);
        EXPECT_EQ(refCountOf(head->next.get()), 1u);
        head.reset();
        EXPECT_EQ(Node::gone, (std::vector<int>{1, 2, 3}));
    }
}

TEST(RefPtr, ReleaseAtZeroOrWithoutDeleterLeavesObject) {
    Probe::destroyed = 0;
    auto* raw = new Probe(7);  // count 0, no deleter
    void* slot = raw;
    refRelease(&slot);
    EXPECT_EQ(slot, raw);
    EXPECT_EQ(Probe::destroyed, 0);
    refAssign(&slot, raw);  // same pointer: stays at 0
    EXPECT_EQ(refCountOf(raw), 0u);
    void* other = nullptr;
    refAssign(&other, raw);
    EXPECT_EQ(refCountOf(raw), 1u);
    refRelease(&other);  // no deleter: nothing called, block stays
    EXPECT_EQ(Probe::destroyed, 0);
    EXPECT_EQ(refCountOf(raw), 0u);
    delete raw;
}

TEST(RefPtr, SetDeleterKeepsTheFirst) {
    void* p = engineAlloc(8);
    static int which = 0;
    setDeleter(p, [](void* q) { which = 1; engineFree(q); });
    setDeleter(p, [](void* q) { which = 2; engineFree(q); });
    void* slot = nullptr;
    refAssign(&slot, p);
    refRelease(&slot);
    EXPECT_EQ(which, 1);
    EXPECT_EQ(slot, nullptr);
}

TEST(RefPtr, PolymorphicBaseSharesTheCount) {
    struct A {
        virtual ~A() = default;
        int a = 0;
    };
    struct B {
        virtual ~B() = default;
        int b = 0;
    };
    struct C : A, B {};
    RefPtr<C> c = makeRef<C>();
    RefPtr<B> b = c;
    EXPECT_EQ(refCountOf(c.get()), 2u);
    c.release();
    EXPECT_EQ(refCountOf(dynamic_cast<void*>(b.get())), 1u);
    // Moving into a base-typed pointer hands the reference over.
    RefPtr<C> d = makeRef<C>();
    RefPtr<A> a = std::move(d);
    EXPECT_FALSE(d);
    EXPECT_EQ(refCountOf(dynamic_cast<void*>(a.get())), 1u);
}

TEST(RefPtr, ConcurrentCopiesKeepTheCount) {
    Probe::destroyed = 0;
    RefPtr<Probe> a = makeRef<Probe>(3);
    std::vector<std::thread> ts;
    for (int t = 0; t < 4; ++t)
        ts.emplace_back([a] {
            for (int i = 0; i < 2000; ++i) {
                RefPtr<Probe> c = a;
                RefPtr<Probe> d = c;
            }
        });
    for (auto& t : ts) t.join();
    EXPECT_EQ(refCountOf(a.get()), 1u);
    EXPECT_EQ(Probe::destroyed, 0);
}

TEST(RefArray, DestroysElementsLastToFirstAndFreesBlock) {
    Probe::destroyed = 0;
    Probe::order.clear();
    HeapCounters before = heapCounters();
    {
        RefArray<RefPtr<Probe>> arr = RefArray<RefPtr<Probe>>::make(3);
        ASSERT_TRUE(arr);
        EXPECT_EQ(arr.size(), 3u);
        for (int i = 0; i < 3; ++i) arr[i] = makeRef<Probe>(i);
        EXPECT_EQ(refCountOf(arr.get()), kNoRefCount);  // an array block is found from its elements by findArrayHeader
        EXPECT_EQ(findArrayHeader(arr.get())->refCount.load(), 1u);
    }
    EXPECT_EQ(Probe::order, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
}

TEST(CriticalBlock, GuardsASection) {
    CriticalSection cs;
    long n = 0;
    std::vector<std::thread> ts;
    for (int t = 0; t < 4; ++t)
        ts.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                CriticalBlock b(cs);
                ++n;
            }
        });
    for (auto& t : ts) t.join();
    EXPECT_EQ(n, 40000);
}
