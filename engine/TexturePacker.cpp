#include "engine/TexturePacker.h"

#include <new>

namespace KelpaEngine {

namespace {

void freeChildren(PackerNode* node) {
    for (PackerNode*& child : node->children) {
        if (!child) continue;
        freeChildren(child);
        delete child;
        child = nullptr;
    }
}

PackerNode* makeChild(PackerNode* parent, uint32_t state, int32_t x, int32_t y, int32_t w, int32_t h) {
    auto* n = new (std::nothrow) PackerNode;
    if (!n) return nullptr;
    n->state = state;
    n->x = x;
    n->y = y;
    n->width = w;
    n->height = h;
    n->parent = parent;
    return n;
}

PackerNode* insert(PackerNode* node, int32_t cw, int32_t ch) {
    if (node->state == PackerNode::kUsed) return nullptr;
    if (node->width < cw || node->height < ch) return nullptr;
    if (node->state == PackerNode::kSplit) {
        for (PackerNode* child : node->children) {
            if (!child) continue;
            if (PackerNode* r = insert(child, cw, ch)) return r;
        }
        return nullptr;
    }
    if (node->width == cw && node->height == ch) {
        node->state = PackerNode::kUsed;
        return node;
    }
    PackerNode* cell = makeChild(node, PackerNode::kUsed, node->x, node->y, cw, ch);
    PackerNode* right = makeChild(node, PackerNode::kFree, node->x + cw, node->y, node->width - cw, ch);
    PackerNode* below = makeChild(node, PackerNode::kFree, node->x, node->y + ch, node->width, node->height - ch);
    if (!cell || !right || !below) {
        delete cell;
        delete right;
        delete below;
        return nullptr;
    }
    node->children[0] = cell;
    node->children[1] = right;
    node->children[2] = below;
    node->state = PackerNode::kSplit;
    return cell;
}

}  // namespace

TextureRegionPacker::~TextureRegionPacker() { freeChildren(&root); }

void TextureRegionPacker::init() {
    freeChildren(&root);
    root = PackerNode{};
    unit = 0;
    width = 0;
    height = 0;
}

void TextureRegionPacker::setSize(int32_t w, int32_t h, int32_t u) {
    freeChildren(&root);
    root = PackerNode{};
    width = w;
    height = h;
    unit = u;
    root.width = w;
    root.height = h;
}

PackerNode* TextureRegionPacker::allocate(int32_t w, int32_t h) {
    if (w <= 0 || h <= 0 || unit <= 0) return nullptr;
    // 64-bit so that sizes near the int32 limit cannot wrap.
    int64_t cw = ((int64_t(w) + unit - 1) / unit) * unit;
    int64_t ch = ((int64_t(h) + unit - 1) / unit) * unit;
    if (cw > width || ch > height) return nullptr;
    PackerNode* node = insert(&root, int32_t(cw), int32_t(ch));
    if (node) {
        node->requestedWidth = w;
        node->requestedHeight = h;
    }
    return node;
}

bool TextureRegionPacker::release(PackerNode* node) {
    if (!node || node->state != PackerNode::kUsed) return false;
    node->state = PackerNode::kFree;
    node->requestedWidth = 0;
    node->requestedHeight = 0;
    for (PackerNode* p = node->parent; p; p = p->parent) {
        for (PackerNode* child : p->children) {
            if (child && child->state != PackerNode::kFree) return false;
        }
        freeChildren(p);
        p->state = PackerNode::kFree;
    }
    return true;
}

}  // namespace KelpaEngine
