#include "engine/lever.h"

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

bool liquid_and_solid(const TieLine& t)
{
    return t.low_phase != t.high_phase;
}

const Composition& end_of(const TieLine& t, Phase p)
{
    return t.low_phase == p ? t.low : t.high;
}

PhaseFractions lever(const Location& w, double x0)
{
    if (w.two_phase && liquid_and_solid(w.tie)) {
        const double xs = end_of(w.tie, Phase::solid).x;
        const double xl = end_of(w.tie, Phase::liquid).x;
        return {(x0 - xl) / (xs - xl), xs, xl};
    }
    if (contains(w, Phase::solid))
        return {1.0, x0, ABSENT};
    return {0.0, ABSENT, w.two_phase ? ABSENT : x0};  // one liquid, or two: no single x_liquid
}

PhaseFractions lever_at_invariant(const Invariant& inv, double x0, bool above)
{
    int a = 0;
    int b = 2;
    if (above == inv.middle_above)  // the middle phase is stable on this side: x0 is in (0,1) or (1,2)
        (x0 < inv.at[1].x ? b : a) = 1;
    if (inv.phase[a] == inv.phase[b])
        return inv.phase[a] == Phase::solid ? PhaseFractions{1.0, x0, ABSENT}
                                            : PhaseFractions{0.0, ABSENT, ABSENT};
    const int solid = inv.phase[a] == Phase::solid ? a : b;
    const int liquid = solid == a ? b : a;
    const double xs = inv.at[solid].x;
    const double xl = inv.at[liquid].x;
    return {(x0 - xl) / (xs - xl), xs, xl};
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
