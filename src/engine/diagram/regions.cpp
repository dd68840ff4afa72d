#include "engine/diagram/regions.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// One row's stretch of one field: its phases and its ends in x.
struct Stretch {
    Phase phases[2];
    int count;
    double left, right;
    std::size_t row;
};

bool same_phases(const Stretch& a, const Stretch& b)
{
    return a.count == b.count && a.phases[0] == b.phases[0] && (a.count == 1 || a.phases[1] == b.phases[1]);
}

// The fields of one row, left to right: the single-phase stretches between
// the tie-lines (those of some width) and the tie-lines themselves.
std::vector<Stretch> stretches_of(const Equilibria& e, std::size_t row)
{
    std::vector<Stretch> out;
    Phase single = e.first_phase;
    double left = 0.0;
    for (const TieLine& t : e.ties) {
        if (t.low.x > left)
            out.push_back({{single, single}, 1, left, t.low.x, row});
        out.push_back({{t.low_phase, t.high_phase}, 2, t.low.x, t.high.x, row});
        single = t.high_phase;
        left = t.high.x;
    }
    if (left < 1.0)
        out.push_back({{single, single}, 1, left, 1.0, row});
    return out;
}

std::size_t root(std::vector<std::size_t>& parent, std::size_t k)
{
    while (parent[k] != k)
        k = parent[k] = parent[parent[k]];
    return k;
}

// The share of a region's span in T kept clear of its label at either end.
constexpr double LABEL_MARGIN = 0.1;

// Joins the stretches of one row (from a to b) with those of the next (b to
// c) that are the same field: with the same phases, the k-th of them in each
// row where both rows hold as many (a narrow field moving faster than it is
// wide, near a pure melting point, overlaps nothing of its own the next row),
// else those that overlap in x.
void join_rows(const std::vector<Stretch>& all, std::size_t a, std::size_t b, std::size_t c,
               std::vector<std::size_t>& parent)
{
    for (std::size_t i = a; i < b; ++i) {
        std::vector<std::size_t> here, there;
        for (std::size_t k = a; k < b; ++k)
            if (same_phases(all[i], all[k]))
                here.push_back(k);
        if (here.front() != i)
            continue;  // each kind of field once
        for (std::size_t k = b; k < c; ++k)
            if (same_phases(all[i], all[k]))
                there.push_back(k);
        for (std::size_t p = 0; p < here.size(); ++p)
            for (std::size_t q = 0; q < there.size(); ++q) {
                const Stretch& s = all[here[p]];
                const Stretch& t = all[there[q]];
                const bool joined =
                    here.size() == there.size() ? p == q : s.left <= t.right && t.left <= s.right;
                if (joined)
                    parent[root(parent, here[p])] = root(parent, there[q]);
            }
    }
}

}  // namespace

std::vector<Region> diagram_regions(const Diagram& d)
{
    // Every stretch of every row; a stretch joins those of the next row with
    // the same phases that overlap it in x.
    std::vector<Stretch> all;
    std::vector<std::size_t> first_of_row;
    for (std::size_t r = 0; r < d.rows.size(); ++r) {
        first_of_row.push_back(all.size());
        for (const Stretch& s : stretches_of(d.rows[r], r))
            all.push_back(s);
    }
    first_of_row.push_back(all.size());
    std::vector<std::size_t> parent(all.size());
    std::iota(parent.begin(), parent.end(), 0);
    for (std::size_t r = 0; r + 1 < d.rows.size(); ++r)
        join_rows(all, first_of_row[r], first_of_row[r + 1], first_of_row[r + 2], parent);
    // Each region's label goes in its widest stretch away from its ends in T,
    // where there is one, so that it stays off the range's edges.
    std::vector<double> low(all.size(), HUGE_VAL);
    std::vector<double> high(all.size(), -HUGE_VAL);
    for (std::size_t k = 0; k < all.size(); ++k) {
        const std::size_t g = root(parent, k);
        low[g] = std::min(low[g], d.rows[all[k].row].T);
        high[g] = std::max(high[g], d.rows[all[k].row].T);
    }
    std::vector<std::size_t> widest(all.size(), all.size());
    std::vector<bool> inside(all.size(), false);  // the region's label lies away from its ends
    for (const bool inner : {true, false})
        for (std::size_t k = 0; k < all.size(); ++k) {
            const std::size_t g = root(parent, k);
            const double T = d.rows[all[k].row].T;
            const double margin = LABEL_MARGIN * (high[g] - low[g]);
            if (inner ? T < low[g] + margin || T > high[g] - margin : inside[g])
                continue;
            std::size_t& w = widest[g];
            if (w == all.size() || all[k].right - all[k].left > all[w].right - all[w].left)
                w = k;
            inside[g] = inside[g] || inner;
        }
    std::vector<Region> out;
    std::vector<std::size_t> index_of(all.size(), 0);
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (root(parent, k) != k)
            continue;
        const Stretch& s = all[widest[k]];
        index_of[k] = out.size();
        out.push_back({{s.phases[0], s.phases[1]},
                       s.count,
                       0.5 * (s.left + s.right),
                       d.rows[s.row].T,
                       s.right - s.left,
                       {}});
    }
    for (std::size_t k = 0; k < all.size(); ++k)  // rows rise in T, and so do the spans
        out[index_of[root(parent, k)]].spans.push_back({d.rows[all[k].row].T, all[k].left, all[k].right});
    std::sort(out.begin(), out.end(),
              [](const Region& a, const Region& b) { return a.T != b.T ? a.T < b.T : a.x < b.x; });
    return out;
}
