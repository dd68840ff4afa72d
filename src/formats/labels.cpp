#include "formats/labels.h"

#include "formats/tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// Whether the region's name holds at row s: a two-phase field whose end goes
// on from an ordered phase to its disordered part is named by one of them,
// and its label goes where that one is.
bool named_at(const Region& r, const Span& s)
{
    return r.count == 1 || (s.left_phase == r.phases[0] && s.right_phase == r.phases[1]);
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

// How far a led label may go from its field, in steps of a line's height in
// T and of its own half width in x: near enough that the leader is short.
constexpr int LEAD_STEPS = 6;
// A number, led out of a crowd where its phases found no room, may go
// further: it is small, and the crowd may be wide.
constexpr int NUMBER_STEPS = 12;

// The least step of the places a led label tries, in ems: a number's half
// width would keep it among the crowd it is led out of.
constexpr double LEAST_STEP = 2.0;

// Rows of a region where a leader may end.
constexpr std::size_t ANCHORS = 8;

bool clear_of(const std::vector<LabelBox>& placed, const LabelBox& box)
{
    return std::none_of(placed.begin(), placed.end(), [&](const LabelBox& p) { return overlap(p, box); });
}

// Whether the box lies inside the figure's window and wholly inside one
// region, so that it crosses no boundary.
bool inside_a_region(const std::vector<Region>& regions, const LabelBox& box, double T_first, double T_last,
                     const LabelSize& size)
{
    if (box.x_low < size.x_first || box.x_high > size.x_last || box.T_low < T_first || box.T_high > T_last)
        return false;
    return std::any_of(regions.begin(), regions.end(), [&](const Region& r) { return slack(r, box) >= 0.0; });
}

// Whether the line from (x0, T0) to (x1, T1) passes through any placed
// label: looked for at points closer than a tenth of the smallest label.
bool crosses(const std::vector<LabelBox>& placed, double x0, double T0, double x1, double T1)
{
    constexpr int POINTS = 64;
    for (int i = 0; i <= POINTS; ++i) {
        const double t = static_cast<double>(i) / POINTS;
        const LabelBox dot{x0 + t * (x1 - x0), x0 + t * (x1 - x0), T0 + t * (T1 - T0), T0 + t * (T1 - T0)};
        if (std::any_of(placed.begin(), placed.end(), [&](const LabelBox& p) {
                return dot.x_low > p.x_low && dot.x_low < p.x_high && dot.T_low > p.T_low &&
                       dot.T_low < p.T_high;
            }))
            return true;
    }
    return false;
}

bool inside_a_label(const std::vector<LabelBox>& placed, double x, double T)
{
    return std::any_of(placed.begin(), placed.end(), [&](const LabelBox& p) {
        return x > p.x_low && x < p.x_high && T > p.T_low && T < p.T_high;
    });
}

// Leads the label of a region too narrow for it out to a place nearby:
// clear of every label and of every boundary, its leader through no other
// label, ending in the middle of one of ANCHORS rows spread over the region
// (shown in the window, under no label), the shortest leader first. False,
// and r unchanged, where there is none within steps.
bool lead_out(const std::vector<Region>& regions, const std::vector<LabelBox>& placed,
              const std::string& text, double T_first, double T_last, const LabelSize& size, int steps,
              Region& r)
{
    const double T_span = T_last - T_first;
    const LabelBox own = label_box(text, 0.0, 0.0, T_span, size);
    // Steps of half the label's width, or of a few ems for a short one.
    const double half_width = std::max(0.5 * (own.x_high - own.x_low), LEAST_STEP * size.em);
    const double height = own.T_high - own.T_low;
    double nearest = HUGE_VAL;
    double x = 0.0, T = 0.0, to_x = 0.0, to_T = 0.0;
    for (std::size_t a = 0; a < ANCHORS; ++a) {
        const Span& row = r.spans[r.spans.size() * (2 * a + 1) / (2 * ANCHORS)];
        const double left = std::max(row.left, size.x_first);
        const double right = std::min(row.right, size.x_last);
        const double ax = 0.5 * (left + right);
        if (!(left < right) || !named_at(r, row) || inside_a_label(placed, ax, row.T))
            continue;
        for (int i = -steps; i <= steps; ++i)
            for (int j = -steps; j <= steps; ++j) {
                const double cx = ax + i * half_width;
                const double cT = row.T + j * height;
                // The leader's length in shares of each axis, so that x and T weigh alike.
                const double far =
                    std::hypot(i * half_width / (size.x_last - size.x_first), j * height / T_span);
                if (far >= nearest)
                    continue;
                const LabelBox box = label_box(text, cx, cT, T_span, size);
                if (clear_of(placed, box) && inside_a_region(regions, box, T_first, T_last, size) &&
                    !crosses(placed, cx, cT, ax, row.T)) {
                    nearest = far;
                    x = cx;
                    T = cT;
                    to_x = ax;
                    to_T = row.T;
                }
            }
    }
    if (nearest == HUGE_VAL)
        return false;
    r.led = true;
    r.x = x;
    r.T = T;
    r.to_x = to_x;
    r.to_T = to_T;
    return true;
}

}  // namespace

double text_width(const std::string& text)
{
    // Helvetica's advance widths in thousandths of an em, from the space
    // (32) to the tilde (126).
    static constexpr short WIDTHS[95] = {
        278,  278, 355, 556, 556, 889, 667, 191, 333, 333, 389, 584, 278, 333, 278, 278,  // space to /
        556,  556, 556, 556, 556, 556, 556, 556, 556, 556, 278, 278, 584, 584, 584, 556,  // 0 to ?
        1015, 667, 667, 722, 722, 667, 611, 778, 722, 278, 500, 667, 556, 833, 722, 778,  // @ to O
        667,  778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 278, 278, 278, 469, 556,  // P to _
        333,  556, 556, 500, 556, 556, 278, 556, 556, 222, 222, 500, 222, 833, 556, 556,  // ` to o
        556,  556, 333, 500, 278, 556, 500, 722, 500, 500, 500, 334, 260, 334, 584};      // p to ~
    constexpr int DIGIT = 556;
    long thousandths = 0;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 32 && u < 127)
            thousandths += WIDTHS[u - 32];
        else if ((u & 0xC0) != 0x80)  // the first byte of a character beyond ASCII
            thousandths += DIGIT;
    }
    return static_cast<double>(thousandths) / 1000.0;
}

LabelBox label_box(const std::string& text, double x, double T, double T_span, const LabelSize& size)
{
    const double half_width = 0.5 * size.em * text_width(text);
    const double half_height = 0.5 * size.height * T_span;
    return {x - half_width, x + half_width, T - half_height, T + half_height};
}

bool overlap(const LabelBox& a, const LabelBox& b)
{
    return a.x_low < b.x_high && b.x_low < a.x_high && a.T_low < b.T_high && b.T_low < a.T_high;
}

std::string invariant_label_text(const Invariant& inv, double T_in_unit, const char* unit)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s %g %s", invariant_name(inv.kind), T_in_unit, unit);
    return text;
}

std::string transition_label_text(double T_in_unit, const char* unit)
{
    char text[48];
    std::snprintf(text, sizeof text, "%g %s", T_in_unit, unit);
    return text;
}

std::vector<InvariantLabel> place_invariant_labels(const Diagram& d, double T_span, const LabelSize& size,
                                                   std::vector<LabelBox>& placed)
{
    const double line = size.height * T_span;
    const auto crosses_a_line = [&](const LabelBox& box) {
        return std::any_of(d.invariants.begin(), d.invariants.end(), [&](const Invariant& other) {
            return other.phases == 3 && other.T > box.T_low && other.T < box.T_high &&
                   other.at[0].x < box.x_high && other.at[2].x > box.x_low;
        });
    };
    std::vector<InvariantLabel> out;
    for (std::size_t i = 0; i < d.invariants.size(); ++i) {
        const Invariant& inv = d.invariants[i];
        if (inv.phases != 3)
            continue;
        // Placed as in kelvin: the unit's text is about as wide in either unit.
        const std::string text = invariant_label_text(inv, inv.T, "K");
        const LabelBox own = label_box(text, 0.0, 0.0, T_span, size);
        const double half_width = 0.5 * (own.x_high - own.x_low);
        InvariantLabel chosen{i, inv.at[1].x, inv.T + line};
        for (int shift = 0; shift <= LEAD_STEPS; ++shift) {
            bool found = false;
            for (const double side : {1.0, -1.0})
                for (const double T : {inv.T + line, inv.T - line, inv.T + 2.0 * line, inv.T - 2.0 * line}) {
                    const double x = inv.at[1].x + side * shift * half_width;
                    const LabelBox box = label_box(text, x, T, T_span, size);
                    if (!found && clear_of(placed, box) && !crosses_a_line(box) &&
                        box.x_low >= size.x_first && box.x_high <= size.x_last) {
                        chosen = {i, x, T};
                        found = true;
                    }
                }
            if (found)
                break;
        }
        placed.push_back(label_box(text, chosen.x, chosen.T, T_span, size));
        out.push_back(chosen);
    }
    return out;
}

namespace {

// The place inside r, in the middle of one of its rows, where text's box
// overlaps no placed label and keeps the most room to the region's
// boundaries and its ends in T (as shares of each axis): the room, negative
// where the box crosses them, and -HUGE_VAL, r unchanged, where every place
// overlaps a label.
double place_inside(Region& r, const std::string& text, const std::vector<LabelBox>& placed, double T_span,
                    const LabelSize& size)
{
    const std::size_t step = std::max<std::size_t>(1, r.spans.size() / MOST_CANDIDATES);
    double best = -HUGE_VAL;
    for (std::size_t k = 0; k < r.spans.size(); k += step) {
        // The part of the row the figure shows.
        const double left = std::max(r.spans[k].left, size.x_first);
        const double right = std::min(r.spans[k].right, size.x_last);
        if (!(left < right) || !named_at(r, r.spans[k]))
            continue;
        const double x = 0.5 * (left + right);
        const LabelBox box = label_box(text, x, r.spans[k].T, T_span, size);
        if (!clear_of(placed, box))
            continue;
        const double ends = std::min(box.T_low - r.spans.front().T, r.spans.back().T - box.T_high) / T_span;
        const double fit = std::min(slack(r, box), ends);
        if (best == -HUGE_VAL || fit > best) {
            best = fit;
            r.x = x;
            r.T = r.spans[k].T;
        }
    }
    return best;
}

// Places text for r inside it, else led out beside it within steps: whether
// it found a place clear of every label and line.
bool place_clear(const std::vector<Region>& regions, Region& r, const std::string& text,
                 const std::vector<LabelBox>& placed, double T_first, double T_span, const LabelSize& size,
                 int steps)
{
    return place_inside(r, text, placed, T_span, size) >= 0.0 ||
           lead_out(regions, placed, text, T_first, T_first + T_span, size, steps, r);
}

// Room for the key of the numbered labels, lines lines of width (of x) in a
// block that lies inside one region clear of every label, scanned from the
// top of the figure down, from its right to its left: whether there is some.
bool key_room(const std::vector<Region>& regions, double width, std::size_t lines,
              const std::vector<LabelBox>& placed, double T_first, double T_span, const LabelSize& size,
              LabelBox& block)
{
    const double height = size.height * T_span * static_cast<double>(lines);
    constexpr int STEPS = 60;
    for (int j = STEPS; j >= 0; --j)
        for (int i = STEPS; i >= 0; --i) {
            const double left = size.x_first + (size.x_last - size.x_first - width) * i / STEPS;
            const double bottom = T_first + (T_span - height) * j / STEPS;
            block = {left, left + width, bottom, bottom + height};
            if (clear_of(placed, block) && inside_a_region(regions, block, T_first, T_first + T_span, size))
                return true;
        }
    return false;
}

// The key's lines ("3 A+B") in the block from its top, aligned on its left.
std::vector<KeyLine> key_lines(const std::vector<std::string>& lines, const LabelBox& block, double T_span,
                               const LabelSize& size)
{
    std::vector<KeyLine> out;
    const double line_height = size.height * T_span;
    for (std::size_t k = 0; k < lines.size(); ++k)
        out.push_back({lines[k], block.x_low + 0.5 * size.em * text_width(lines[k]),
                       block.T_high - (static_cast<double>(k) + 0.5) * line_height});
    return out;
}

// Each transition between two solids of a pure component that the diagram
// meets at its edge, labelled beside its axis: a line above or below and
// half a label's width or more in, where the box lies inside one region and
// over no label, led to the point on the axis. One with no such place nearby
// is left to the summary.
std::vector<TransitionLabel> place_transition_labels(const System& s, const Diagram& d,
                                                     const std::vector<Region>& regions, double T_span,
                                                     const LabelSize& size, std::vector<LabelBox>& placed)
{
    std::vector<TransitionLabel> out;
    const double T_first = d.rows.front().T;
    const double line = size.height * T_span;
    for (std::size_t i = 0; i < d.melting.size(); ++i) {
        const EdgeEvent& e = d.melting[i];
        const double edge = e.at_a ? 1.0 : 0.0;
        if (is_liquid(s, e.low_phase) || is_liquid(s, e.high_phase) || edge < size.x_first ||
            edge > size.x_last)
            continue;
        const std::string text = transition_label_text(e.T, "K");
        const LabelBox own = label_box(text, 0.0, 0.0, T_span, size);
        const double half_width = 0.5 * (own.x_high - own.x_low);
        const double inward = e.at_a ? -1.0 : 1.0;
        bool found = false;
        for (int step = 1; step <= LEAD_STEPS && !found; ++step)
            for (const double T : {e.T + line, e.T - line, e.T + 2.0 * line, e.T - 2.0 * line}) {
                const double x = edge + inward * (half_width + (step - 1) * half_width + 0.5 * size.em);
                const LabelBox box = label_box(text, x, T, T_span, size);
                if (found || !clear_of(placed, box) ||
                    !inside_a_region(regions, box, T_first, T_first + T_span, size) ||
                    crosses(placed, x, T, edge, e.T))
                    continue;
                out.push_back({i, x, T});
                placed.push_back(box);
                found = true;
            }
    }
    return out;
}

// Tries at most this many times to make room for a key as long as the labels need.
constexpr int KEY_TRIES = 3;

}  // namespace

std::vector<std::string> place_labels(const System& s, const Diagram& d, std::vector<Region>& regions,
                                      double T_span, const LabelSize& size, std::vector<LabelBox>& placed)
{
    std::vector<std::string> numbered;
    const double T_first = d.rows.empty() ? 0.0 : d.rows.front().T;
    std::vector<std::size_t> order(regions.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return area(regions[a]) > area(regions[b]); });
    for (const std::size_t i : order) {
        Region& r = regions[i];
        const std::string text = region_name(s, r);
        const Region unplaced = r;
        if (place_clear(regions, r, text, placed, T_first, T_span, size, LEAD_STEPS)) {
            placed.push_back(label_box(text, r.x, r.T, T_span, size));
            continue;
        }
        // Where its phases fit nowhere, a number stands for them, and the
        // figure's key says which.
        const std::string number = std::to_string(numbered.size() + 1);
        r = unplaced;
        if (place_clear(regions, r, number, placed, T_first, T_span, size, NUMBER_STEPS)) {
            r.tag = static_cast<int>(numbered.size()) + 1;
            numbered.push_back(number);
            numbered.back().append(" ").append(text);
            placed.push_back(label_box(number, r.x, r.T, T_span, size));
            continue;
        }
        // Nowhere clear even so: the best place inside, over what it must.
        r = unplaced;
        place_inside(r, text, {}, T_span, size);
        placed.push_back(label_box(text, r.x, r.T, T_span, size));
    }
    return numbered;
}

FigureLabels figure_labels(const System& s, const Diagram& d, const LabelSize& size)
{
    FigureLabels out;
    out.regions = diagram_regions(s, d);
    if (d.rows.empty())
        return out;
    const double T_first = d.rows.front().T;
    const double T_span = d.rows.back().T - T_first;
    std::vector<LabelBox> invariant_boxes;
    out.invariants = place_invariant_labels(d, T_span, size, invariant_boxes);
    out.transitions = place_transition_labels(s, d, out.regions, T_span, size, invariant_boxes);
    const std::vector<Region> unplaced = out.regions;
    std::vector<LabelBox> placed = invariant_boxes;
    std::vector<std::string> numbered = place_labels(s, d, out.regions, T_span, size, placed);
    // Where some labels are numbers, the key's room is taken first, as wide
    // as any region's line could be, and the labels placed again around it,
    // until the key holds as many lines as they need.
    double widest = 0.0;
    for (const Region& r : unplaced)
        widest = std::max(widest, size.em * text_width("99 " + region_name(s, r)));
    std::size_t lines = numbered.size();
    for (int attempt = 0; attempt < KEY_TRIES && !numbered.empty(); ++attempt) {
        LabelBox block{};
        if (!key_room(unplaced, widest, lines, invariant_boxes, T_first, T_span, size, block))
            break;
        out.regions = unplaced;
        placed = invariant_boxes;
        placed.push_back(block);
        numbered = place_labels(s, d, out.regions, T_span, size, placed);
        if (numbered.size() <= lines) {
            out.key = key_lines(numbered, block, T_span, size);
            return out;
        }
        lines = numbered.size();
    }
    if (!numbered.empty()) {
        // No room for the key: each label is its phases, at its best place inside its field.
        out.regions = unplaced;
        placed = invariant_boxes;
        place_labels(s, d, out.regions, T_span, size, placed);
        for (Region& r : out.regions)
            if (r.tag > 0) {
                r.tag = 0;
                r.led = false;
                place_inside(r, region_name(s, r), {}, T_span, size);
            }
    }
    return out;
}
