// The lower convex hull of points sorted by abscissa.
#pragma once

#include <vector>

struct HullPoint {
    double x;
    double g;
};

// Indices of the vertices of the lower convex hull of points (x strictly
// increasing), in order, from the first point to the last. Collinear points are
// not vertices.
std::vector<int> lower_hull(const std::vector<HullPoint>& points);
