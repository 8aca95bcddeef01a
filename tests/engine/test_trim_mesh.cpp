// The polygon a picture is drawn through must hold every place where a
// sample of the quad can take in a texel of non-zero alpha, and be smaller
// than the quad when the picture has transparent margins.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/TrimMesh.h"

using namespace KelpaEngine;

namespace {

struct Picture {
    int32_t w, h, rowBytes;
    std::vector<uint8_t> rgba;
    uint8_t alpha(int32_t i, int32_t j) const { return rgba[size_t(j) * size_t(rowBytes) + size_t(i) * 4 + 3]; }
};

// Rows wider than the picture (as in a page's copy) filled with opaque
// texels beyond it, which must play no part.
Picture picture(int32_t w, int32_t h, const std::function<uint8_t(int32_t, int32_t)>& alphaAt) {
    Picture p{w, h, (w + 5) * 4, {}};
    p.rgba.assign(size_t(p.rowBytes) * size_t(h), 255);
    for (int32_t j = 0; j < h; ++j) {
        for (int32_t i = 0; i < w; ++i) {
            uint8_t* t = &p.rgba[size_t(j) * size_t(p.rowBytes) + size_t(i) * 4];
            t[0] = uint8_t(i * 7);
            t[1] = uint8_t(j * 5);
            t[2] = 200;
            t[3] = alphaAt(i, j);
        }
    }
    return p;
}

uint8_t disc(int32_t i, int32_t j, double cx, double cy, double r) {
    const double dx = i + 0.5 - cx, dy = j + 0.5 - cy;
    return dx * dx + dy * dy < r * r ? 255 : (dx * dx + dy * dy < (r + 1) * (r + 1) ? 90 : 0);
}

// (a, b) inside the convex polygon or on its edge.
bool inside(const TrimMesh& m, double a, double b) {
    double sign = 0;
    for (int32_t k = 0; k < m.count; ++k) {
        const double ax = m.a[k], ay = m.b[k];
        const double bx = m.a[(k + 1) % m.count], by = m.b[(k + 1) % m.count];
        const double cross = (bx - ax) * (b - ay) - (by - ay) * (a - ax);
        if (std::fabs(cross) < 1e-12) continue;
        if (sign == 0) sign = cross;
        if ((cross > 0) != (sign > 0)) return false;
    }
    return true;
}

bool convex(const TrimMesh& m) {
    double sign = 0;
    for (int32_t k = 0; k < m.count; ++k) {
        const double ux = m.a[(k + 1) % m.count] - m.a[k], uy = m.b[(k + 1) % m.count] - m.b[k];
        const double vx = m.a[(k + 2) % m.count] - m.a[(k + 1) % m.count];
        const double vy = m.b[(k + 2) % m.count] - m.b[(k + 1) % m.count];
        const double cross = ux * vy - uy * vx;
        if (cross == 0) return false;
        if (sign == 0) sign = cross;
        if ((cross > 0) != (sign > 0)) return false;
    }
    return true;
}

// Whether a bilinear sample of the quad at (a, b) gives a texel of
// non-zero alpha a weight above zero: the quad's texture coordinates run
// from the centre of texel 0 to that of texel w - 1.
bool sampleTouches(const Picture& p, double a, double b) {
    const double s = a * (p.w - 1), t = b * (p.h - 1);
    const int32_t i0 = int32_t(std::floor(s)), j0 = int32_t(std::floor(t));
    const double fs = s - i0, ft = t - j0;
    for (int di = 0; di < 2; ++di) {
        for (int dj = 0; dj < 2; ++dj) {
            const double weight = (di ? fs : 1 - fs) * (dj ? ft : 1 - ft);
            const int32_t i = i0 + di, j = j0 + dj;
            if (weight > 0 && i >= 0 && j >= 0 && i < p.w && j < p.h && p.alpha(i, j) != 0) return true;
        }
    }
    return false;
}

struct Case {
    const char* name;
    int32_t w, h;
    std::function<uint8_t(int32_t, int32_t)> alpha;
    double maxShare;  // the polygon's area at most this share of the quad's
};

}  // namespace

TEST(TrimMesh, HoldsEverySampleThatTouchesAVisibleTexelAndSaves) {
    const Case cases[] = {
        {"disc", 64, 64, [](int32_t i, int32_t j) { return disc(i, j, 32, 32, 30); }, 0.85},
        {"small blob off centre", 100, 60, [](int32_t i, int32_t j) { return disc(i, j, 70, 20, 9); }, 0.12},
        {"one texel", 40, 40, [](int32_t i, int32_t j) { return uint8_t(i == 17 && j == 23 ? 1 : 0); }, 0.01},
        {"corner texel", 40, 30, [](int32_t i, int32_t j) { return uint8_t(i == 0 && j == 0 ? 200 : 0); }, 0.01},
        {"last corner texel", 40, 30, [](int32_t i, int32_t j) { return uint8_t(i == 39 && j == 29 ? 9 : 0); }, 0.01},
        {"diagonal line", 50, 50, [](int32_t i, int32_t j) { return uint8_t(std::abs(i - j) < 2 ? 255 : 0); }, 0.2},
        {"ring", 80, 80,
         [](int32_t i, int32_t j) {
             return uint8_t(disc(i, j, 40, 40, 36) && !disc(i, j, 40, 40, 20) ? 255 : 0);
         },
         0.85},
        {"triangle", 64, 48, [](int32_t i, int32_t j) { return uint8_t(i < j ? 128 : 0); }, 0.6},
        {"tall and thin", 9, 200, [](int32_t i, int32_t j) { return uint8_t(i == 4 && j > 50 ? 255 : 0); }, 0.6},
    };
    uint32_t seed = 12345;
    auto unit = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return double(seed >> 8) / double(1u << 24);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture p = picture(c.w, c.h, c.alpha);
        const TrimMesh m = trimMeshFor(p.rgba.data(), p.rowBytes, p.w, p.h);
        ASSERT_GE(m.count, 3);
        ASSERT_LE(m.count, TrimMesh::kMaxVertices);
        EXPECT_TRUE(convex(m));
        EXPECT_LE(trimMeshArea(m), c.maxShare);
        // Its triangles tile it: n - 2 of them, none flat, areas summing to its own.
        uint8_t corners[3 * TrimMesh::kMaxVertices];
        ASSERT_EQ(3 * (m.count - 2), trimMeshTriangles(m, corners));
        double tiled = 0;
        for (int32_t k = 0; k < m.count - 2; ++k) {
            TrimMesh t;
            t.count = 3;
            for (int c3 = 0; c3 < 3; ++c3) {
                t.a[c3] = m.a[corners[3 * k + c3]];
                t.b[c3] = m.b[corners[3 * k + c3]];
            }
            EXPECT_GT(trimMeshArea(t), 0);
            tiled += trimMeshArea(t);
        }
        EXPECT_NEAR(trimMeshArea(m), tiled, 1e-9);
        for (int32_t k = 0; k < m.count; ++k) {
            EXPECT_TRUE(m.a[k] >= 0 && m.a[k] <= 1 && m.b[k] >= 0 && m.b[k] <= 1) << "corner " << k;
        }
        // Every visible texel's reach, and a margin beyond it, clipped to the quad.
        const double reach = 1.0 + 0.9 * TrimMesh::kMargin;
        for (int32_t j = 0; j < p.h; ++j) {
            for (int32_t i = 0; i < p.w; ++i) {
                if (!p.alpha(i, j)) continue;
                for (int corner = 0; corner < 4; ++corner) {
                    const double s = std::clamp(i + (corner & 1 ? reach : -reach), 0.0, double(p.w - 1));
                    const double t = std::clamp(j + (corner & 2 ? reach : -reach), 0.0, double(p.h - 1));
                    ASSERT_TRUE(inside(m, s / (p.w - 1), t / (p.h - 1))) << "texel " << i << "," << j;
                }
            }
        }
        // And samples anywhere over the quad, as the filter takes them.
        for (int k = 0; k < 20000; ++k) {
            const double a = unit(), b = unit();
            if (sampleTouches(p, a, b)) {
                ASSERT_TRUE(inside(m, a, b)) << "sample " << a << "," << b;
            }
        }
    }
}

TEST(TrimMesh, PicturesThatWouldNotSaveKeepTheirQuad) {
    const Case cases[] = {
        {"opaque", 64, 64, [](int32_t, int32_t) { return uint8_t(255); }, 0},
        {"fully transparent", 64, 64, [](int32_t, int32_t) { return uint8_t(0); }, 0},
        {"too narrow", 7, 64, [](int32_t i, int32_t j) { return uint8_t(i == 3 && j == 3 ? 255 : 0); }, 0},
        {"too low", 64, 7, [](int32_t i, int32_t j) { return uint8_t(i == 3 && j == 3 ? 255 : 0); }, 0},
        {"a frame", 64, 64,
         [](int32_t i, int32_t j) { return uint8_t(i == 0 || j == 0 || i == 63 || j == 63 ? 255 : 0); }, 0},
        {"four corners", 64, 64,
         [](int32_t i, int32_t j) { return uint8_t((i == 2 || i == 61) && (j == 2 || j == 61) ? 255 : 0); }, 0},
        {"translucent all over", 64, 64, [](int32_t, int32_t) { return uint8_t(128); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture p = picture(c.w, c.h, c.alpha);
        EXPECT_EQ(0, trimMeshFor(p.rgba.data(), p.rowBytes, p.w, p.h).count);
    }
    EXPECT_EQ(0, trimMeshFor(nullptr, 256, 64, 64).count);
}
