#include "engine/diagram/regions.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <tuple>

namespace {

// One row's stretch of one field: its phases and its ends in x.
struct Stretch {
    Phase phases[2];
    int count;
    double left, right;
    std::size_t row;
};

// Whether a and b are the same kind of field: a single-phase field of the
// same phase, or a two-phase field of the same phases, where an ordered phase
// and its disordered part count as one (a tie-line's end goes on from one to
// the other where a continuous ordering meets it, with no invariant).
bool same_phases(const Stretch& a, const Stretch& b, const std::vector<std::pair<Phase, Phase>>& pairs)
{
    const auto same = [&](Phase p, Phase q) {
        return p == q || std::find(pairs.begin(), pairs.end(), std::make_pair(p, q)) != pairs.end() ||
               std::find(pairs.begin(), pairs.end(), std::make_pair(q, p)) != pairs.end();
    };
    if (a.count != b.count)
        return false;
    if (a.count == 1)
        return a.phases[0] == b.phases[0];
    return same(a.phases[0], b.phases[0]) && same(a.phases[1], b.phases[1]);
}

// The single-phase stretch from left to right named single, cut where an
// ordering sets in inside it: each side named by its own phase.
void single_stretches(const Equilibria& e, std::size_t row, Phase single, double left, double right,
                      std::vector<Stretch>& out)
{
    for (const Ordering& o : e.orderings)
        if (o.x > left && o.x < right) {
            out.push_back({{o.left, o.left}, 1, left, o.x, row});
            left = o.x;
            single = o.right;
        }
    out.push_back({{single, single}, 1, left, right, row});
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
            single_stretches(e, row, single, left, t.low.x, out);
        out.push_back({{t.low_phase, t.high_phase}, 2, t.low.x, t.high.x, row});
        single = t.high_phase;
        left = t.high.x;
    }
    if (left < 1.0)
        single_stretches(e, row, single, left, 1.0, out);
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
               const std::vector<std::pair<Phase, Phase>>& pairs, std::vector<std::size_t>& parent)
{
    for (std::size_t i = a; i < b; ++i) {
        std::vector<std::size_t> here, there;
        for (std::size_t k = a; k < b; ++k)
            if (same_phases(all[i], all[k], pairs))
                here.push_back(k);
        if (here.front() != i)
            continue;  // each kind of field once
        for (std::size_t k = b; k < c; ++k)
            if (same_phases(all[i], all[k], pairs))
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

// Each ordered phase of s with its disordered part, where that is a phase of s too.
std::vector<std::pair<Phase, Phase>> ordered_pairs(const System& s)
{
    std::vector<std::pair<Phase, Phase>> out;
    for (std::size_t i = 0; i < s.phases.size(); ++i) {
        const Phase p = phase_number(i);
        if (phase_family(s, p) != p)
            out.emplace_back(p, phase_family(s, p));
    }
    return out;
}

// Joins every row's stretches with the next row's. An ordered phase and its
// disordered part are one field's end only between rows with no invariant
// between them: where one is (Al-Ni's gamma' forming from the liquid and
// gamma), the two fields are two.
void join_all_rows(const System& s, const Diagram& d, const std::vector<Stretch>& all,
                   const std::vector<std::size_t>& first_of_row, std::vector<std::size_t>& parent)
{
    const std::vector<std::pair<Phase, Phase>> ordered = ordered_pairs(s);
    const auto invariant_between = [&](double low, double high) {
        return std::any_of(d.invariants.begin(), d.invariants.end(),
                           [&](const Invariant& i) { return i.T >= low && i.T <= high; });
    };
    const std::vector<std::pair<Phase, Phase>> none;
    for (std::size_t r = 0; r + 1 < d.rows.size(); ++r)
        join_rows(all, first_of_row[r], first_of_row[r + 1], first_of_row[r + 2],
                  invariant_between(d.rows[r].T, d.rows[r + 1].T) ? none : ordered, parent);
}

// By each region's root, one of its stretches whose phases name it: a
// two-phase field whose end goes on from an ordered phase to its disordered
// part is named by the pair it holds at the most rows.
std::vector<std::size_t> named_stretches(const std::vector<Stretch>& all, std::vector<std::size_t>& parent)
{
    std::map<std::tuple<std::size_t, Phase, Phase>, std::size_t> rows_named;
    for (std::size_t k = 0; k < all.size(); ++k)
        ++rows_named[{root(parent, k), all[k].phases[0], all[k].phases[1]}];
    std::vector<std::size_t> named(all.size(), all.size());
    for (std::size_t k = 0; k < all.size(); ++k) {
        const std::size_t g = root(parent, k);
        const auto rows_of = [&](std::size_t j) {
            return rows_named[{g, all[j].phases[0], all[j].phases[1]}];
        };
        if (named[g] == all.size() || rows_of(k) > rows_of(named[g]))
            named[g] = k;
    }
    return named;
}

// The temperature of the row next to the one at T (below it where step is
// -1, above where +1), NaN at the edge of the range.
double next_row_T(const Diagram& d, double T, int step)
{
    const auto at = std::lower_bound(d.rows.begin(), d.rows.end(), T,
                                     [](const Equilibria& e, double t) { return e.T < t; });
    const std::ptrdiff_t i = (at - d.rows.begin()) + step;
    if (i < 0 || i >= static_cast<std::ptrdiff_t>(d.rows.size()))
        return std::numeric_limits<double>::quiet_NaN();
    return d.rows[static_cast<std::size_t>(i)].T;
}

// Where the field of phases p and q ends beyond its row s, before the next
// row at T_next: the point or points of an invariant of both phases between
// them, or of a pure component's transition where the field meets the edge,
// in order of x. Of several, the nearest the row's ends; none at the edge of
// the range, or where nothing was solved there.
std::vector<OutlinePoint> field_end(const Diagram& d, Phase p, Phase q, const Span& s, double T_next)
{
    std::vector<OutlinePoint> best;
    if (std::isnan(T_next))
        return best;
    const double lo = std::min(s.T, T_next);
    const double hi = std::max(s.T, T_next);
    double nearest = HUGE_VAL;
    const auto consider = [&](std::vector<OutlinePoint> points) {
        const double far = std::fabs(points.front().x - s.left) + std::fabs(points.back().x - s.right);
        if (far < nearest) {
            nearest = far;
            best = std::move(points);
        }
    };
    for (const Invariant& inv : d.invariants) {
        if (inv.T < lo || inv.T > hi)
            continue;
        if (inv.phases == 1 && p == q && inv.phase[0] == p)
            consider({{inv.at[0].x, inv.T, p}});
        const bool pair = inv.phases == 2 && ((inv.phase[0] == p && inv.phase[1] == q) ||
                                              (inv.phase[0] == q && inv.phase[1] == p));
        if (pair)  // a congruent point: both phases at one x
            consider({{inv.at[0].x, inv.T, p}});
        for (int i = 0; inv.phases == 3 && i < 3; ++i)
            for (int j = i + 1; j < 3; ++j)
                if (inv.phase[i] == p && inv.phase[j] == q)
                    consider({{inv.at[i].x, inv.T, p}, {inv.at[j].x, inv.T, q}});
    }
    for (const EdgeEvent& e : d.melting)
        if (e.T >= lo && e.T <= hi && e.low_phase == p && e.high_phase == q)
            consider({{e.at_a ? 1.0 : 0.0, e.T, p}});
    return best;
}

// A two-phase field's closed outline (Region::outline).
std::vector<OutlinePoint> outline_of(const Diagram& d, const Region& r)
{
    const Span& first = r.spans.front();
    const Span& last = r.spans.back();
    std::vector<OutlinePoint> out;
    for (const Span& s : r.spans)
        out.push_back({s.left, s.T, s.left_phase});
    for (const OutlinePoint& o :
         field_end(d, last.left_phase, last.right_phase, last, next_row_T(d, last.T, 1)))
        out.push_back(o);
    for (auto s = r.spans.rbegin(); s != r.spans.rend(); ++s)
        out.push_back({s->right, s->T, s->right_phase});
    const std::vector<OutlinePoint> bottom =
        field_end(d, first.left_phase, first.right_phase, first, next_row_T(d, first.T, -1));
    out.insert(out.end(), bottom.rbegin(), bottom.rend());
    out.push_back(out.front());
    return out;
}

// By each region's root, the stretch its label goes in: its widest of the
// phases that name it away from its ends in T, where there is one, so that
// the label stays off the range's edges.
std::vector<std::size_t> label_stretches(const Diagram& d, const std::vector<Stretch>& all,
                                         std::vector<std::size_t>& parent)
{
    std::vector<double> low(all.size(), HUGE_VAL);
    std::vector<double> high(all.size(), -HUGE_VAL);
    for (std::size_t k = 0; k < all.size(); ++k) {
        const std::size_t g = root(parent, k);
        low[g] = std::min(low[g], d.rows[all[k].row].T);
        high[g] = std::max(high[g], d.rows[all[k].row].T);
    }
    const std::vector<std::size_t> named = named_stretches(all, parent);
    std::vector<std::size_t> widest(all.size(), all.size());
    std::vector<bool> inside(all.size(), false);  // the region's label lies away from its ends
    for (const bool inner : {true, false})
        for (std::size_t k = 0; k < all.size(); ++k) {
            const std::size_t g = root(parent, k);
            const Stretch& name = all[named[g]];
            if (all[k].phases[0] != name.phases[0] || all[k].phases[1] != name.phases[1])
                continue;
            const double T = d.rows[all[k].row].T;
            const double margin = LABEL_MARGIN * (high[g] - low[g]);
            if (inner ? T < low[g] + margin || T > high[g] - margin : inside[g])
                continue;
            std::size_t& w = widest[g];
            if (w == all.size() || all[k].right - all[k].left > all[w].right - all[w].left)
                w = k;
            inside[g] = inside[g] || inner;
        }
    return widest;
}

}  // namespace

std::vector<Region> diagram_regions(const System& s, const Diagram& d)
{
    // Every stretch of every row; a stretch joins those of the next row with
    // the same phases that overlap it in x.
    std::vector<Stretch> all;
    std::vector<std::size_t> first_of_row;
    for (std::size_t r = 0; r < d.rows.size(); ++r) {
        first_of_row.push_back(all.size());
        for (const Stretch& stretch : stretches_of(d.rows[r], r))
            all.push_back(stretch);
    }
    first_of_row.push_back(all.size());
    std::vector<std::size_t> parent(all.size());
    std::iota(parent.begin(), parent.end(), 0);
    join_all_rows(s, d, all, first_of_row, parent);
    const std::vector<std::size_t> widest = label_stretches(d, all, parent);
    std::vector<Region> out;
    std::vector<std::size_t> index_of(all.size(), 0);
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (root(parent, k) != k)
            continue;
        const Stretch& label = all[widest[k]];
        index_of[k] = out.size();
        out.push_back({{label.phases[0], label.phases[1]},
                       label.count,
                       0.5 * (label.left + label.right),
                       d.rows[label.row].T,
                       label.right - label.left,
                       false,
                       0.0,
                       0.0,
                       0,
                       {},
                       {}});
    }
    for (std::size_t k = 0; k < all.size(); ++k)  // rows rise in T, and so do the spans
        out[index_of[root(parent, k)]].spans.push_back(
            {d.rows[all[k].row].T, all[k].left, all[k].right, all[k].phases[0], all[k].phases[1]});
    for (Region& r : out)
        if (r.count == 2)
            r.outline = outline_of(d, r);
    std::sort(out.begin(), out.end(),
              [](const Region& a, const Region& b) { return a.T != b.T ? a.T < b.T : a.x < b.x; });
    return out;
}

std::vector<OrderingLine> ordering_lines(const Diagram& d)
{
    std::vector<OrderingLine> done;
    std::vector<OrderingLine> open;  // continued by the row now read
    for (const Equilibria& e : d.rows) {
        std::vector<OrderingLine> next;
        for (const Ordering& o : e.orderings) {
            // The first of its kind still open: those before it in this row took the ones before.
            const auto it = std::find_if(open.begin(), open.end(), [&](const OrderingLine& l) {
                return l.left == o.left && l.right == o.right;
            });
            OrderingLine line{o.left, o.right, {}};
            if (it != open.end()) {
                line = std::move(*it);
                open.erase(it);
            }
            line.points.emplace_back(o.x, e.T);
            next.push_back(std::move(line));
        }
        for (OrderingLine& l : open)
            done.push_back(std::move(l));
        open = std::move(next);
    }
    for (OrderingLine& l : open)
        done.push_back(std::move(l));
    return done;
}
