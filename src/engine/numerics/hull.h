// The lower convex hull of points sorted by abscissa.
#pragma once

#include <vector>

// A point whose abscissa is held both as x and as 1 - x, each exact where it is
// small, so that points crowded towards x = 1 stay apart.
struct HullPoint {
    double x;
    double one_minus_x;
    double g;
};

// Indices of the vertices of the lower convex hull of points (x strictly
// increasing), in order, from the first point to the last. Collinear points are
// not vertices.
std::vector<int> lower_hull(const std::vector<HullPoint>& points);

// b.x - a.x, from whichever of x and 1 - x keeps the difference exact. Inline:
// the hull and the sampling ask it for every point at every temperature.
inline double abscissa_difference(const HullPoint& a, const HullPoint& b)
{
    if (a.x > 0.5 && b.x > 0.5)
        return a.one_minus_x - b.one_minus_x;
    return b.x - a.x;
}
