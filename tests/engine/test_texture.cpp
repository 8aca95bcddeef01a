// Texture pages without GL: the packer's geometry, release and merge, the
// page list and the RGBA copy, over pages that only record their uploads.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "engine/Heap.h"
#include "engine/Texture.h"
#include "engine/TexturePacker.h"

using namespace KelpaEngine;

namespace {

struct Upload {
    int32_t x, y, w, h;
    std::vector<uint8_t> bytes;
};

class RecordingPage : public TextureHandle {
public:
    using TextureHandle::TextureHandle;
    uint32_t* getGLName() override { return &name; }
    void uploadRegion(int32_t x, int32_t y, int32_t w, int32_t h, const uint8_t* p) override {
        uploads.push_back({x, y, w, h, std::vector<uint8_t>(p, p + size_t(w) * h * 4)});
    }
    uint32_t name = 1;
    std::vector<Upload> uploads;
};

int gPagesMade = 0;

RefPtr<TextureHandle> makeRecordingPage(void*, int32_t w, int32_t h) {
    RefPtr<RecordingPage> page =
        makeRef<RecordingPage>(TextureHandle::pageSideFor(w), TextureHandle::pageSideFor(h));
    if (!page || !page->allocateCopy()) return nullptr;
    ++gPagesMade;
    return page;
}

RefPtr<Texture> place(int32_t w, int32_t h, void* owner = nullptr) {
    return Texture::place(w, h, &makeRecordingPage, owner);
}

int listedPages() {
    int n = 0;
    for (TextureHandle* p = TextureHandle::firstPage(); p; p = p->nextPage()) ++n;
    return n;
}

struct NodeBox {
    uint32_t state;
    int32_t x, y, w, h;
};

void expectNode(const PackerNode* n, NodeBox want) {
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->state, want.state);
    EXPECT_EQ(n->x, want.x);
    EXPECT_EQ(n->y, want.y);
    EXPECT_EQ(n->width, want.w);
    EXPECT_EQ(n->height, want.h);
}

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TextureHandle::firstPage(), nullptr) << "an earlier test left a page behind";
        before_ = heapCounters();
    }
    void TearDown() override {
        EXPECT_EQ(TextureHandle::firstPage(), nullptr);
        EXPECT_EQ(heapCounters().liveBlocks, before_.liveBlocks);
    }
    HeapCounters before_{};
};

}  // namespace

TEST(TexturePageSize, PowersOfTwoFrom128) {
    struct Case {
        int32_t n, side;
    } cases[] = {{1, 128},    {100, 128}, {128, 128}, {129, 256}, {300, 512},          {4096, 4096},
                 {0, 0},      {-1, 0},    {INT32_MIN, 0},         {TextureHandle::kMaxPageSide + 1, 0},
                 {INT32_MAX, 0}};
    for (const Case& c : cases) EXPECT_EQ(TextureHandle::pageSideFor(c.n), c.side) << c.n;
    EXPECT_EQ(TextureHandle::rgbaBytes(16384, 16384), uint64_t(1) << 30);
}

TEST_F(TextureTest, PackerSplitsIntoCellRightStripAndStripBelow) {
    RefPtr<Texture> a = place(100, 40);
    ASSERT_TRUE(a);
    TextureHandle* page = a->getPage();
    EXPECT_EQ(page->getWidth(), 128);
    EXPECT_EQ(page->getHeight(), 128);
    const PackerNode& root = page->packer.root;
    expectNode(&root, {PackerNode::kSplit, 0, 0, 128, 128});
    expectNode(root.children[0], {PackerNode::kUsed, 0, 0, 104, 40});
    expectNode(root.children[1], {PackerNode::kFree, 104, 0, 24, 40});
    expectNode(root.children[2], {PackerNode::kFree, 0, 40, 128, 88});
    EXPECT_EQ(a->region, root.children[0]);
    EXPECT_EQ(a->region->requestedWidth, 100);
    EXPECT_EQ(a->region->requestedHeight, 40);
    EXPECT_EQ(a->getWidth(), 100);

    // The next one of the same size goes below, into the same page.
    RefPtr<Texture> b = place(100, 40);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->getPage(), page);
    EXPECT_EQ(b->regionX(), 0);
    EXPECT_EQ(b->regionY(), 40);
    expectNode(root.children[2], {PackerNode::kSplit, 0, 40, 128, 88});

    // A cell that fits the strip to the right is found there first (depth first).
    RefPtr<Texture> c = place(20, 33);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->regionX(), 104);
    EXPECT_EQ(c->regionY(), 0);

    // Too wide for the page: a new 512 x 128 page, pushed at the head.
    RefPtr<Texture> d = place(300, 20);
    ASSERT_TRUE(d);
    EXPECT_NE(d->getPage(), page);
    EXPECT_EQ(d->getPage()->getWidth(), 512);
    EXPECT_EQ(d->getPage()->getHeight(), 128);
    EXPECT_EQ(TextureHandle::firstPage(), d->getPage());
    EXPECT_EQ(listedPages(), 2);
}

TEST_F(TextureTest, ExactFitUsesTheRootAndReleasingFreesThePage) {
    RefPtr<Texture> t = place(128, 128);
    ASSERT_TRUE(t);
    TextureHandle* page = t->getPage();
    EXPECT_EQ(t->region, &page->packer.root);
    EXPECT_EQ(page->packer.root.state, PackerNode::kUsed);
    // Full: the next request needs a page of its own.
    RefPtr<Texture> u = place(8, 8);
    ASSERT_TRUE(u);
    EXPECT_NE(u->getPage(), page);
    u = nullptr;
    EXPECT_EQ(listedPages(), 1);
    EXPECT_EQ(refCountOf(page), 1u);
    t = nullptr;
}

TEST_F(TextureTest, ReleaseMergesInEitherOrder) {
    for (bool firstGoesFirst : {true, false}) {
        RefPtr<Texture> a = place(100, 40);
        RefPtr<Texture> b = place(100, 40);
        ASSERT_TRUE(a && b);
        TextureHandle* page = a->getPage();
        ASSERT_EQ(b->getPage(), page);
        RefPtr<Texture>& first = firstGoesFirst ? a : b;
        RefPtr<Texture>& second = firstGoesFirst ? b : a;

        first = nullptr;
        EXPECT_EQ(TextureHandle::firstPage(), page) << "a page with a texture stays listed";
        EXPECT_EQ(page->packer.root.state, PackerNode::kSplit);

        // The freed cell is handed out again before any new page is made.
        int made = gPagesMade;
        RefPtr<Texture> again = place(100, 40);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->getPage(), page);
        EXPECT_EQ(gPagesMade, made);
        again = nullptr;

        // Only when the merge reaches the root is the page unlinked (and gone).
        second = nullptr;
        EXPECT_EQ(TextureHandle::firstPage(), nullptr);
    }
}

TEST(TexturePacker, ReleaseMergesTheWholeTreeBackIntoAFreeRoot) {
    HeapCounters before = heapCounters();
    {
        TextureRegionPacker packer;
        packer.setSize(128, 128, 8);
        std::vector<PackerNode*> nodes;
        for (int i = 0; i < 10; ++i) {
            PackerNode* n = packer.allocate(30, 20);
            ASSERT_NE(n, nullptr) << i;
            nodes.push_back(n);
        }
        // 128 / 32 = 4 cells a row, 128 / 24 = 5 rows: room for more, yet
        // releasing everything in a scattered order merges every split.
        EXPECT_FALSE(packer.release(nodes[3]));
        // Its neighbour is still used, so the node is still there, and free.
        EXPECT_FALSE(packer.release(nodes[3])) << "a node already free is left alone";
        const int order[] = {0, 9, 5, 1, 7, 2, 8, 6};
        for (int i : order) EXPECT_FALSE(packer.release(nodes[size_t(i)])) << i;
        EXPECT_TRUE(packer.release(nodes[4]));
        EXPECT_EQ(packer.root.state, PackerNode::kFree);
        for (PackerNode* c : packer.root.children) EXPECT_EQ(c, nullptr);
        // The whole area is one cell again.
        PackerNode* whole = packer.allocate(128, 128);
        EXPECT_EQ(whole, &packer.root);
        EXPECT_TRUE(packer.release(whole));
    }
    EXPECT_EQ(heapCounters().liveBlocks, before.liveBlocks);
}

TEST(TexturePacker, RefusesSizesZeroOrBelowAndLargerThanTheArea) {
    TextureRegionPacker packer;
    EXPECT_EQ(packer.allocate(8, 8), nullptr) << "no unit yet";
    packer.setSize(128, 128, 8);
    const int32_t bad[][2] = {{0, 8}, {8, 0}, {-8, 8}, {8, -1}, {129, 8}, {8, 129}, {INT32_MAX, 1}, {1, INT32_MAX}};
    for (const auto& s : bad) EXPECT_EQ(packer.allocate(s[0], s[1]), nullptr) << s[0] << "x" << s[1];
    EXPECT_EQ(packer.root.state, PackerNode::kFree);
    // 121..128 rounds to 128: still fits.
    EXPECT_EQ(packer.allocate(121, 128), &packer.root);
}

TEST_F(TextureTest, RefusedSizesMakeNoPage) {
    int made = gPagesMade;
    const int32_t bad[][2] = {{0, 0},   {0, 10}, {10, 0}, {-5, 10}, {10, -5}, {INT32_MIN, 1},
                              {INT32_MAX, 1}, {1, TextureHandle::kMaxPageSide + 1}};
    for (const auto& s : bad) EXPECT_FALSE(place(s[0], s[1])) << s[0] << "x" << s[1];
    EXPECT_EQ(gPagesMade, made);
}

TEST_F(TextureTest, UpdateWritesTheRegionIntoTheRgbaCopy) {
    RefPtr<Texture> first = place(100, 40);  // takes (0, 0)
    RefPtr<Texture> t = place(3, 2);         // 8 x 8 cell right of it, at (104, 0)
    ASSERT_TRUE(first && t);
    ASSERT_EQ(t->regionX(), 104);
    ASSERT_EQ(t->regionY(), 0);
    uint8_t px[2][3][4];
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 4; ++k) px[r][c][k] = uint8_t(1 + r * 100 + c * 10 + k);
    t->update(px);

    auto* page = static_cast<RecordingPage*>(t->getPage());
    const uint8_t* copy = page->getPixels();
    const int32_t pw = page->getWidth();
    for (int y = 0; y < 8; ++y) {
        for (int x = 100; x < 128; ++x) {
            const uint8_t* at = copy + (size_t(y) * pw + x) * 4;
            bool inside = y < 2 && x >= 104 && x < 107;
            for (int k = 0; k < 4; ++k) {
                uint8_t want = inside ? px[y][x - 104][k] : 0;
                ASSERT_EQ(at[k], want) << "texel " << x << "," << y << " byte " << k;
            }
        }
    }
    ASSERT_EQ(page->uploads.size(), 1u);
    const Upload& u = page->uploads[0];
    EXPECT_EQ(u.x, 104);
    EXPECT_EQ(u.y, 0);
    EXPECT_EQ(u.w, 3);
    EXPECT_EQ(u.h, 2);
    EXPECT_EQ(std::memcmp(u.bytes.data(), px, sizeof px), 0);

    // A later update of the same region replaces the bytes; the neighbour's stay.
    std::vector<uint8_t> big(100 * 40 * 4, 0xAB);
    first->update(big.data());
    std::memset(px, 0x11, sizeof px);
    t->update(px);
    EXPECT_EQ(copy[(size_t(1) * pw + 106) * 4 + 3], 0x11);
    EXPECT_EQ(copy[(size_t(39) * pw + 99) * 4], 0xAB);
    EXPECT_EQ(copy[(size_t(40) * pw + 0) * 4], 0);
    EXPECT_EQ(copy[(size_t(0) * pw + 100) * 4], 0) << "the cell's rounding margin is not written";
}

TEST_F(TextureTest, PageListUnlinksEmptyPagesWhereverTheyAre) {
    RefPtr<Texture> a = place(128, 128);
    RefPtr<Texture> b = place(128, 128);
    RefPtr<Texture> c = place(128, 128);
    TextureHandle* pa = a->getPage();
    TextureHandle* pb = b->getPage();
    TextureHandle* pc = c->getPage();
    ASSERT_EQ(TextureHandle::firstPage(), pc);
    ASSERT_EQ(pc->nextPage(), pb);
    ASSERT_EQ(pb->nextPage(), pa);

    b = nullptr;  // the middle one: its neighbours are joined
    EXPECT_EQ(pc->nextPage(), pa);
    EXPECT_EQ(pa->previous, pc);
    c = nullptr;  // the head: its next becomes the head
    EXPECT_EQ(TextureHandle::firstPage(), pa);
    EXPECT_EQ(pa->previous, nullptr);
    a = nullptr;
}

TEST_F(TextureTest, PagesServeOnlyTheirOwnOwner) {
    int ownerA = 0, ownerB = 0;
    RefPtr<Texture> a = place(16, 16, &ownerA);
    RefPtr<Texture> b = place(16, 16, &ownerB);
    RefPtr<Texture> a2 = place(16, 16, &ownerA);
    ASSERT_TRUE(a && b && a2);
    EXPECT_NE(a->getPage(), b->getPage());
    EXPECT_EQ(a->getPage(), a2->getPage());
    EXPECT_EQ(a->getPage()->owner, &ownerA);
    EXPECT_EQ(b->getPage()->owner, &ownerB);
}

TEST_F(TextureTest, PageMakerFailureGivesNull) {
    auto failing = [](void*, int32_t, int32_t) -> RefPtr<TextureHandle> { return nullptr; };
    EXPECT_FALSE(Texture::place(10, 10, failing, nullptr));
    EXPECT_FALSE(Texture::place(10, 10, nullptr, nullptr));
}
