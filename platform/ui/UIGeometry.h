// Points, sizes and rectangles in points (doubles, as the phone's were).
#pragma once

namespace KelpaPlatform {

struct CGPoint {
    double x = 0, y = 0;
};
struct CGSize {
    double width = 0, height = 0;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
    bool contains(const CGPoint& p) const {
        return p.x >= origin.x && p.y >= origin.y && p.x < origin.x + size.width && p.y < origin.y + size.height;
    }
};

inline CGRect CGRectMake(double x, double y, double w, double h) { return CGRect{{x, y}, {w, h}}; }
inline CGPoint CGPointMake(double x, double y) { return CGPoint{x, y}; }

}  // namespace KelpaPlatform
