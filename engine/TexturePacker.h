// Rectangle packer for texture pages: a tree of nodes over the page where a
// request takes a cell from a free node and splits off the strip to its
// right and the strip below it. Released cells merge back into their parent
// when all three siblings are free again.
#pragma once

#include <cstdint>

namespace KelpaEngine {

struct PackerNode {
    static constexpr uint32_t kFree = 1;
    static constexpr uint32_t kUsed = 2;
    static constexpr uint32_t kSplit = 3;

    uint32_t state = kFree;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    // The size asked for when the node was handed out (before rounding).
    int32_t requestedWidth = 0;
    int32_t requestedHeight = 0;
    PackerNode* parent = nullptr;
    // 0: the cell itself, 1: the strip to its right, 2: the strip below.
    PackerNode* children[3] = {nullptr, nullptr, nullptr};
};

class TextureRegionPacker {
public:
    TextureRegionPacker() { init(); }
    ~TextureRegionPacker();
    TextureRegionPacker(const TextureRegionPacker&) = delete;
    TextureRegionPacker& operator=(const TextureRegionPacker&) = delete;

    // An empty, free root of no size (any old tree is freed).
    void init();
    // Covers a width x height area handing out cells in multiples of unit.
    void setSize(int32_t w, int32_t h, int32_t unit);
    // A used node for a w x h request, or null when it does not fit or a
    // size is zero or below.
    PackerNode* allocate(int32_t w, int32_t h);
    // Frees a node handed out by allocate and merges free siblings upwards.
    // True when the whole area is free again. A node that is not in use is
    // left alone (false).
    bool release(PackerNode* node);

    int32_t unit = 0;
    int32_t width = 0;
    int32_t height = 0;
    PackerNode root;
};

}  // namespace KelpaEngine
