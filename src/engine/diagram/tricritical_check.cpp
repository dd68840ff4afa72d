#include "engine/diagram/tricritical_check.h"

#include <algorithm>
#include <iterator>
#include <sstream>

namespace {

// In x, beyond the region's own ends: how far from a row's tie-line the top's
// composition may lie and the row still hold its region there. Near its top a
// region moves by some 1e-4 in x a kelvin.
constexpr double ABOUT = 0.01;

// Whether t joins the invariant's two phases (in either order) and spans its
// composition, give or take ABOUT.
bool holds_region(const TieLine& t, const Invariant& inv)
{
    const Phase p = inv.phase[0];
    const Phase q = inv.phase[1];
    const bool same = (t.low_phase == p && t.high_phase == q) || (t.low_phase == q && t.high_phase == p);
    const double x = inv.at[0].x;
    return same && t.low.x - ABOUT <= x && x <= t.high.x + ABOUT;
}

bool row_holds_region(const Equilibria& row, const Invariant& inv)
{
    return std::any_of(row.ties.begin(), row.ties.end(),
                       [&](const TieLine& t) { return holds_region(t, inv); });
}

}  // namespace

bool top_contradicted(const std::vector<Equilibria>& rows, const Invariant& inv)
{
    const auto above = std::upper_bound(rows.begin(), rows.end(), inv.T,
                                        [](double T, const Equilibria& e) { return T < e.T; });
    if (above == rows.begin() || above == rows.end())
        return false;  // no row on one side: nothing to contradict it
    return row_holds_region(*std::prev(above), inv) && row_holds_region(*above, inv);
}

void doubt_contradicted_tops(Diagram& d)
{
    std::vector<Invariant> kept;
    for (const Invariant& inv : d.invariants) {
        if (inv.kind != InvariantKind::tricritical || !top_contradicted(d.rows, inv)) {
            kept.push_back(inv);
            continue;
        }
        std::ostringstream why;
        why.precision(17);
        why << "the top of a two-phase region of an ordering, placed at " << inv.T
            << " K, x = " << inv.at[0].x << ", lies between rows that both hold the region: left out";
        d.doubts.push_back(doubt_at(inv.T, why.str()));
    }
    d.invariants = kept;
}
