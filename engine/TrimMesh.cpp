#include "engine/TrimMesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KelpaEngine {

namespace {

// Extents of the texel centres of non-zero alpha in eight directions, in
// texel indices: x, y, x + y, x - y.
struct Extents {
    int64_t xlo = std::numeric_limits<int64_t>::max(), xhi = std::numeric_limits<int64_t>::min();
    int64_t ylo = xlo, yhi = xhi, slo = xlo, shi = xhi, dlo = xlo, dhi = xhi;
    bool any = false;
    bool opaque = true;

    void addRun(int64_t first, int64_t last, int64_t j) {
        any = true;
        xlo = std::min(xlo, first);
        xhi = std::max(xhi, last);
        ylo = std::min(ylo, j);
        yhi = std::max(yhi, j);
        slo = std::min(slo, first + j);
        shi = std::max(shi, last + j);
        dlo = std::min(dlo, first - j);
        dhi = std::max(dhi, last - j);
    }
};

Extents scan(const uint8_t* rgba, int32_t rowBytes, int32_t w, int32_t h) {
    Extents e;
    for (int32_t j = 0; j < h; ++j) {
        const uint8_t* row = rgba + int64_t(j) * rowBytes;
        int32_t first = -1, last = -1;
        for (int32_t i = 0; i < w; ++i) {
            const uint8_t alpha = row[int64_t(i) * 4 + 3];
            if (alpha != 255) e.opaque = false;
            if (alpha == 0) continue;
            if (first < 0) first = i;
            last = i;
        }
        if (first >= 0) e.addRun(first, last, j);
    }
    return e;
}

struct Point {
    double x, y;
};

// Keeps the part of a convex polygon where nx * x + ny * y <= c.
int clipHalfPlane(const Point* in, int n, double nx, double ny, double c, Point* out) {
    int m = 0;
    for (int k = 0; k < n; ++k) {
        const Point& p = in[k];
        const Point& q = in[(k + 1) % n];
        const double dp = nx * p.x + ny * p.y - c;
        const double dq = nx * q.x + ny * q.y - c;
        if (dp <= 0) out[m++] = p;
        if ((dp < 0 && dq > 0) || (dp > 0 && dq < 0)) {
            const double t = dp / (dp - dq);
            out[m++] = Point{p.x + t * (q.x - p.x), p.y + t * (q.y - p.y)};
        }
    }
    return m;
}

double polygonArea(const Point* p, int n) {
    double twice = 0;
    for (int k = 0; k < n; ++k) {
        const Point& a = p[k];
        const Point& b = p[(k + 1) % n];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::fabs(twice) / 2;
}

}  // namespace

TrimMesh trimMeshFor(const uint8_t* rgba, int32_t rowBytes, int32_t w, int32_t h) {
    TrimMesh mesh;
    if (!rgba || w < TrimMesh::kMinSide || h < TrimMesh::kMinSide || rowBytes < w * 4) return mesh;
    const Extents e = scan(rgba, rowBytes, w, h);
    if (!e.any || e.opaque) return mesh;

    // Texel centres at integer (x, y); the quad runs from centre 0 to
    // centre w - 1 (h - 1), and a texel reaches r around its centre.
    const double r = 1.0 + TrimMesh::kMargin;
    const double right = w - 1, bottom = h - 1;
    const double left = std::max(0.0, double(e.xlo) - r), top = std::max(0.0, double(e.ylo) - r);
    const double x1 = std::min(right, double(e.xhi) + r), y1 = std::min(bottom, double(e.yhi) + r);
    Point a[TrimMesh::kMaxVertices + 4] = {{left, top}, {x1, top}, {x1, y1}, {left, y1}};
    Point b[TrimMesh::kMaxVertices + 4];
    int n = 4;
    n = clipHalfPlane(a, n, -1, -1, -(double(e.slo) - 2 * r), b);  // x + y >= slo - 2r
    n = clipHalfPlane(b, n, 1, 1, double(e.shi) + 2 * r, a);       // x + y <= shi + 2r
    n = clipHalfPlane(a, n, -1, 1, -(double(e.dlo) - 2 * r), b);   // x - y >= dlo - 2r
    n = clipHalfPlane(b, n, 1, -1, double(e.dhi) + 2 * r, a);      // x - y <= dhi + 2r

    // Corners the cuts made twice (a cut through a corner).
    int kept = 0;
    for (int k = 0; k < n; ++k) {
        const Point& prev = kept ? a[kept - 1] : a[n - 1];
        if (std::fabs(a[k].x - prev.x) < 1e-9 && std::fabs(a[k].y - prev.y) < 1e-9) continue;
        a[kept++] = a[k];
    }
    if (kept < 3 || kept > TrimMesh::kMaxVertices) return mesh;
    if (polygonArea(a, kept) > TrimMesh::kMaxShare * right * bottom) return mesh;

    mesh.count = kept;
    for (int k = 0; k < kept; ++k) {
        mesh.a[k] = float(std::clamp(a[k].x / right, 0.0, 1.0));
        mesh.b[k] = float(std::clamp(a[k].y / bottom, 0.0, 1.0));
    }
    return mesh;
}

int32_t trimMeshTriangles(const TrimMesh& mesh, uint8_t* corners) {
    if (mesh.count < 3 || mesh.count > TrimMesh::kMaxVertices) return 0;
    uint8_t ring[TrimMesh::kMaxVertices];
    int32_t m = mesh.count, written = 0;
    for (int32_t i = 0; i < m; ++i) ring[i] = uint8_t(i);
    while (m > 3) {
        int32_t kept = 0;
        for (int32_t i = 0; i < m; i += 2) {
            if (i + 1 < m) {
                corners[written++] = ring[i];
                corners[written++] = ring[i + 1];
                corners[written++] = ring[(i + 2) % m];
            }
            ring[kept++] = ring[i];
        }
        m = kept;
    }
    // An even ring's last round leaves two corners: its ears tiled it.
    if (m == 3) {
        corners[written++] = ring[0];
        corners[written++] = ring[1];
        corners[written++] = ring[2];
    }
    return written;
}

double trimMeshArea(const TrimMesh& mesh) {
    Point p[TrimMesh::kMaxVertices];
    for (int32_t k = 0; k < mesh.count; ++k) p[k] = Point{mesh.a[k], mesh.b[k]};
    return polygonArea(p, mesh.count);
}

}  // namespace KelpaEngine
