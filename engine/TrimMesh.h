// The outline a picture is drawn through. Under source-over blending a
// sample of alpha 0 leaves the framebuffer as it was, so a picture drawn as
// a convex polygon around every sample that can touch a texel of non-zero
// alpha gives the pixels of its whole quad while filling fewer fragments.
//
// The polygon is kept in the quad's own coordinates: (a, b) = (0, 0) is the
// quad's top-left corner (texel centre 0, 0 of the region, where the quad's
// texture coordinates start), (1, 1) its bottom-right one (the centre of the
// last texel). A texel of the region at (i, j) with non-zero alpha can take
// part in a bilinear sample anywhere within one texel of its centre; the
// polygon holds that square, widened by kMargin, for every such texel, so
// neither filter, any rotation, any scale down to kMinTexelPixels screen
// pixels a texel, nor a tint or an alpha (both multiply) brings a changed
// pixel outside it.
//
// The executor still draws quads: inside the polygon each triangle rounds
// its interpolated texture coordinates apart from the quad's two (on
// llvmpipe one in a channel at a few pixels a frame), and there the extra
// triangles and the blocks along their inner edges cost more than the
// fragments saved. bench_peer's trimfloor draws pictures through it.
#pragma once

#include <cstdint>

namespace KelpaEngine {

struct TrimMesh {
    static constexpr int32_t kMaxVertices = 8;
    // Beyond a texel's bilinear reach, in texels: room for the rounding of
    // vertex positions (llvmpipe snaps them to 1/256 pixel) and of
    // interpolated texture coordinates.
    static constexpr double kMargin = 0.25;
    // Drawn smaller than this (screen pixels per texel), the margin no
    // longer covers the snapping: draw the quad.
    static constexpr float kMinTexelPixels = 0.125f;
    // Pictures narrower or lower than this are drawn as their quad.
    static constexpr int32_t kMinSide = 8;
    // The polygon is kept only when it is at most this share of the quad.
    static constexpr double kMaxShare = 0.9;

    // Corners of a convex polygon in order (a fan from corner 0); none when
    // the picture is drawn as its quad.
    int32_t count = 0;
    float a[kMaxVertices] = {};
    float b[kMaxVertices] = {};
};

// The polygon of a w x h picture (RGBA rows rowBytes apart, top row first):
// an octagon from the extents of the widened texels in eight directions,
// clipped to the quad. None when the picture is opaque, fully transparent,
// smaller than kMinSide a side, or when the octagon would not save enough.
TrimMesh trimMeshFor(const uint8_t* rgba, int32_t rowBytes, int32_t w, int32_t h);

// The polygon as count - 2 triangles (corner numbers, three a triangle):
// ears cut off every other corner until a triangle is left, which keeps
// the inner edges short (a rasteriser shades the blocks along an inner
// edge once for each side). Returns the number of corner numbers written.
int32_t trimMeshTriangles(const TrimMesh& mesh, uint8_t* corners);

// Area of the polygon in the quad's coordinates (the quad's is 1).
double trimMeshArea(const TrimMesh& mesh);

}  // namespace KelpaEngine
