#include "formats/labels.h"

#include "formats/tables.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// Most candidate places tried in one region: its rows, evenly.
constexpr std::size_t MOST_CANDIDATES = 400;

double area(const Region& r)
{
    double a = 0.0;
    for (std::size_t k = 1; k < r.spans.size(); ++k)
        a += (r.spans[k].right - r.spans[k].left) * (r.spans[k].T - r.spans[k - 1].T);
    return a;
}

// How far the box stays inside the region at every row it covers: the least
// margin between it and the region's ends in x, negative where it crosses
// them or where the region does not reach both of its edges in T.
double slack(const Region& r, const LabelBox& box)
{
    if (r.spans.front().T > box.T_low || r.spans.back().T < box.T_high)
        return -HUGE_VAL;
    const auto first = std::lower_bound(r.spans.begin(), r.spans.end(), box.T_low,
                                        [](const Span& s, double T) { return s.T < T; });
    double least = HUGE_VAL;
    for (auto s = first; s != r.spans.end() && s->T <= box.T_high; ++s)
        least = std::min(least, std::min(box.x_low - s->left, s->right - box.x_high));
    return least;
}

}  // namespace

LabelBox label_box(const std::string& text, double x, double T, double T_span, const LabelSize& size)
{
    const double half_width = 0.5 * size.char_width * static_cast<double>(text.size());
    const double half_height = 0.5 * size.height * T_span;
    return {x - half_width, x + half_width, T - half_height, T + half_height};
}

bool overlap(const LabelBox& a, const LabelBox& b)
{
    return a.x_low < b.x_high && b.x_low < a.x_high && a.T_low < b.T_high && b.T_low < a.T_high;
}

LabelBox invariant_label_box(const Invariant& inv, double T_span, const LabelSize& size)
{
    // The kind, a temperature of six significant digits and its unit, as gnuplot's %g prints it.
    const std::string text = std::string(invariant_name(inv.kind)) + " 1234.56 K";
    return label_box(text, inv.at[1].x, inv.T + size.height * T_span, T_span, size);
}

void place_labels(const System& s, const Diagram& d, std::vector<Region>& regions, double T_span,
                  const LabelSize& size)
{
    std::vector<std::size_t> order(regions.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return area(regions[a]) > area(regions[b]); });
    std::vector<LabelBox> placed;
    for (const Invariant& inv : d.invariants)
        if (inv.phases == 3)
            placed.push_back(invariant_label_box(inv, T_span, size));
    for (const std::size_t i : order) {
        Region& r = regions[i];
        const std::string text = region_name(s, r);
        const std::size_t step = std::max<std::size_t>(1, r.spans.size() / MOST_CANDIDATES);
        double best = -HUGE_VAL;
        bool clear = false;  // a place found that overlaps no label
        for (std::size_t k = 0; k < r.spans.size(); k += step) {
            // The part of the row the figure shows.
            const double left = std::max(r.spans[k].left, size.x_first);
            const double right = std::min(r.spans[k].right, size.x_last);
            if (!(left < right))
                continue;
            const Span span{r.spans[k].T, left, right};
            const double x = 0.5 * (span.left + span.right);
            const LabelBox box = label_box(text, x, span.T, T_span, size);
            if (std::any_of(placed.begin(), placed.end(), [&](const LabelBox& p) { return overlap(p, box); }))
                continue;
            // Clear of the boundaries in x and of the region's ends in T, each
            // as a share of its axis: a label sits inside, not on an edge.
            const double ends =
                std::min(box.T_low - r.spans.front().T, r.spans.back().T - box.T_high) / T_span;
            const double fit = std::min(slack(r, box), ends);
            if (!clear || fit > best) {
                best = fit;
                clear = true;
                r.x = x;
                r.T = span.T;
            }
        }
        placed.push_back(label_box(text, r.x, r.T, T_span, size));
    }
}

std::vector<Region> labelled_regions(const System& s, const Diagram& d, const LabelSize& size)
{
    std::vector<Region> regions = diagram_regions(d);
    if (!d.rows.empty())
        place_labels(s, d, regions, d.rows.back().T - d.rows.front().T, size);
    return regions;
}
