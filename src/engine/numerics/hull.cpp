#include "engine/numerics/hull.h"

std::vector<int> lower_hull(const std::vector<HullPoint>& points)
{
    std::vector<int> hull;
    hull.reserve(points.size());
    for (int i = 0; i < static_cast<int>(points.size()); ++i) {
        while (hull.size() >= 2) {
            const HullPoint& o = points[static_cast<std::size_t>(hull[hull.size() - 2])];
            const HullPoint& a = points[static_cast<std::size_t>(hull.back())];
            const HullPoint& b = points[static_cast<std::size_t>(i)];
            // a stays only if it lies strictly below the chord from o to b.
            if (abscissa_difference(o, a) * (b.g - o.g) - (a.g - o.g) * abscissa_difference(o, b) > 0.0)
                break;
            hull.pop_back();
        }
        hull.push_back(i);
    }
    return hull;
}
