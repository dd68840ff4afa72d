#include "engine/freezing/lever.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const double ABSENT = std::numeric_limits<double>::quiet_NaN();
// How far an end may move between two neighbouring temperatures of one region:
// farther, and it belongs to another region (or an invariant lies between).
constexpr double ONE_REGION = 0.05;

}  // namespace

Location locate(const Equilibria& e, double x0)
{
    Location w;
    w.single = e.first_phase;
    for (const TieLine& t : e.ties) {
        if (x0 < t.low.x)
            return w;
        if (x0 <= t.high.x) {
            w.two_phase = true;
            w.tie = t;
            return w;
        }
        w.single = t.high_phase;
    }
    return w;
}

bool contains(const Location& w, Phase p)
{
    return w.two_phase ? (w.tie.low_phase == p || w.tie.high_phase == p) : w.single == p;
}

bool contains_solid(const Location& w)
{
    return w.two_phase ? (w.tie.low_phase != Phase::liquid || w.tie.high_phase != Phase::liquid)
                       : w.single != Phase::liquid;
}

bool liquid_and_solid(const TieLine& t)
{
    return (t.low_phase == Phase::liquid) != (t.high_phase == Phase::liquid);
}

const Composition& end_of(const TieLine& t, Phase p)
{
    return t.low_phase == p ? t.low : t.high;
}

const Composition& solid_end(const TieLine& t)
{
    return t.low_phase != Phase::liquid ? t.low : t.high;
}

Phase solid_of(const TieLine& t)
{
    return t.low_phase != Phase::liquid ? t.low_phase : t.high_phase;
}

std::vector<Phase> solids_at(const Location& w)
{
    std::vector<Phase> out;
    const auto add = [&](Phase p) {
        if (p != Phase::liquid && std::find(out.begin(), out.end(), p) == out.end())
            out.push_back(p);
    };
    if (w.two_phase) {
        add(w.tie.low_phase);
        add(w.tie.high_phase);
    } else {
        add(w.single);
    }
    return out;
}

PhaseFractions forming(PhaseFractions f, Phase p)
{
    f.solids = 1;
    f.solid[0] = p;
    return f;
}

PhaseFractions forming(PhaseFractions f, Phase p, Phase q)
{
    if (p == q)
        return forming(f, p);
    f.solids = 2;
    f.solid[0] = p;
    f.solid[1] = q;
    return f;
}

PhaseFractions lever(const Location& w, double x0)
{
    if (w.two_phase && liquid_and_solid(w.tie)) {
        const double xs = solid_end(w.tie).x;
        const double xl = end_of(w.tie, Phase::liquid).x;
        return forming({(x0 - xl) / (xs - xl), xs, xl}, solid_of(w.tie));
    }
    if (contains_solid(w))
        return {1.0, x0, ABSENT};
    return {0.0, ABSENT, w.two_phase ? ABSENT : x0};  // one liquid, or two: no single x_liquid
}

PhaseFractions lever_at_invariant(const Invariant& inv, double x0, bool above)
{
    int a = 0;
    int b = 2;
    if (above == inv.middle_above)  // the middle phase is stable on this side: x0 is in (0,1) or (1,2)
        (x0 < inv.at[1].x ? b : a) = 1;
    const bool a_liquid = inv.phase[a] == Phase::liquid;
    const bool b_liquid = inv.phase[b] == Phase::liquid;
    if (a_liquid && b_liquid)
        return {0.0, ABSENT, ABSENT};
    if (!a_liquid && !b_liquid)  // the last liquid froze here into both
        return forming({1.0, x0, ABSENT}, inv.phase[a], inv.phase[b]);
    const int solid = a_liquid ? b : a;
    const int liquid = solid == a ? b : a;
    const double xs = inv.at[solid].x;
    const double xl = inv.at[liquid].x;
    return forming({(x0 - xl) / (xs - xl), xs, xl}, inv.phase[solid]);
}

bool same_region(const Location& a, const Location& b)
{
    if (a.two_phase != b.two_phase)
        return false;
    if (!a.two_phase)
        return a.single == b.single;
    return a.tie.low_phase == b.tie.low_phase && a.tie.high_phase == b.tie.high_phase &&
           std::fabs(a.tie.low.x - b.tie.low.x) < ONE_REGION &&
           std::fabs(a.tie.high.x - b.tie.high.x) < ONE_REGION;
}
