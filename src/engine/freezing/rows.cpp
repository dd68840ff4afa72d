// The rows of a solidification: the lever rule and the Scheil path sampled at
// the step's temperatures and the exact ones, and the segregation profile.
#include "engine/freezing/solidify_steps.h"

#include "engine/numerics/decimal_grid.h"

#include <algorithm>
#include <cmath>

namespace freezing {

namespace {

// The step's rows: the multiples k step, as decimals, strictly between the
// path's end and the liquidus; k runs from top down to bottom.
void step_multiples(double liquidus, double end_T, double step, long long& top, long long& bottom)
{
    const auto at = [&](long long k) { return decimal_grid_point(0.0, step, k); };
    top = static_cast<long long>(std::ceil(liquidus / step));
    while (top > 0 && at(top) >= liquidus)
        --top;
    bottom = std::max(0LL, static_cast<long long>(std::floor(end_T / step)));
    while (bottom <= top && at(bottom) <= end_T)
        ++bottom;
}

// The smallest step, in two significant digits rounded up, that fits the rows
// into MAX_SOLIDIFICATION_ROWS.
double smallest_step(double span, long exact_rows)
{
    const double least = span / static_cast<double>(MAX_SOLIDIFICATION_ROWS - exact_rows);
    const double unit = std::pow(10.0, std::floor(std::log10(least)) - 1.0);
    return std::ceil(least / unit) * unit;
}

}  // namespace

PhaseFractions RowSampler::lever_at(double T)
{
    const double x0 = out.x0;
    if (T <= out.solidus)
        return {1.0, x0, EMPTY};  // nothing left to freeze
    const double k = std::floor((out.liquidus - T) / range_spacing);
    const double T_above = k < 1.0 ? out.liquidus * (1.0 - ROUNDING) : out.liquidus - k * range_spacing;
    const Location above = e.location(T_above, x0);
    const Location below = e.location(out.liquidus - (k + 1.0) * range_spacing, x0);
    if (same_region(above, below)) {
        if (!above.two_phase)
            return lever(above, x0);
        Location here = above;
        const TieLine& t = above.tie;
        if (refine_tie_line(e.s, T, t.low_phase, t.low, t.high_phase, t.high, here.tie) == Refined::ok &&
            here.tie.low.x <= x0 && x0 <= here.tie.high.x)
            return lever(here, x0);
    }
    std::vector<Doubt> ignored;
    return lever(locate(equilibria_at(e.s, e.grid, T, ignored), x0), x0);
}

PhaseFractions RowSampler::scheil_at(double T)
{
    const std::vector<PathPoint>& trace = path.trace;
    while (trace_at + 1 < trace.size() && trace[trace_at + 1].T >= T)
        ++trace_at;
    const PathPoint& p = trace[trace_at];
    const PhaseFractions at_point =
        forming({1.0 - std::exp(p.ln_remaining), p.solid.x, p.liquid.x}, p.solid_phase);
    TieLine tie{};
    if (std::fabs(p.T - T) <= SAME_T * T ||
        refine_tie_line(e.s, T, Phase::liquid, p.liquid, p.solid_phase, p.solid, tie) != Refined::ok ||
        !liquid_and_solid(tie))
        return at_point;
    std::vector<PathPoint> scratch;
    ScheilIntegral piece{path.integral.partner, p.solid.x > p.liquid.x, scratch};
    const PathPoint q = piece.advance(p, end_of(tie, Phase::liquid), 1);
    if (piece.failed)
        return at_point;
    return forming({1.0 - std::exp(q.ln_remaining), solid_end(tie).x, end_of(tie, Phase::liquid).x},
                   solid_of(tie));
}

// The rows below the liquidus that are not the step's: the solidus, each
// invariant of either path (one pair of rows where both paths meet the same
// one), and the end of the Scheil path.
std::vector<RowAt> exact_rows(const Solidification& out, const std::vector<Invariant>& crossed,
                              const std::vector<ScheilEvent>& events)
{
    std::vector<RowAt> rows;
    if (!out.congruent && !out.solidus_at_invariant)
        rows.push_back({out.solidus, RowAt::Kind::solidus, 0});
    for (std::size_t i = 0; i < crossed.size(); ++i)
        if (std::none_of(events.begin(), events.end(),
                         [&](const ScheilEvent& ev) { return ev.crossed == static_cast<int>(i); }))
            rows.push_back({crossed[i].T, RowAt::Kind::lever_invariant, i});
    for (std::size_t j = out.liquidus_at_invariant ? 1 : 0; j < events.size(); ++j)
        rows.push_back({events[j].inv.T, RowAt::Kind::scheil_event, j});
    if (out.scheil_end == PathEnd::pure_component || (out.scheil_end == PathEnd::congruent && !out.congruent))
        rows.push_back({out.scheil_end_T, RowAt::Kind::end, 0});
    return rows;
}

// The rows' temperatures below the liquidus: the exact ones and the step's,
// descending; false when there would be more than MAX_SOLIDIFICATION_ROWS.
bool row_temperatures(Solidification& out, double step, std::vector<RowAt>& rows_at)
{
    long long top = 0;
    long long bottom = 0;
    step_multiples(out.liquidus, out.scheil_end_T, step, top, bottom);
    const long exact = 2 * static_cast<long>(rows_at.size()) + 2;
    out.rows_needed = static_cast<long>(std::max(0LL, top - bottom + 1)) + exact;
    if (out.rows_needed > MAX_SOLIDIFICATION_ROWS) {
        out.smallest_step = smallest_step(out.liquidus - out.scheil_end_T, exact);
        return false;
    }
    const std::size_t n_exact = rows_at.size();
    for (long long k = top; k >= bottom; --k) {
        const double T = decimal_grid_point(0.0, step, k);
        // A row at exactly a boundary or an invariant already stands for this one.
        const bool taken = std::any_of(rows_at.begin(), rows_at.begin() + static_cast<long>(n_exact),
                                       [&](const RowAt& r) { return std::fabs(r.T - T) <= SAME_T * T; });
        if (!taken)
            rows_at.push_back({T, RowAt::Kind::step, 0});
    }
    std::stable_sort(rows_at.begin(), rows_at.end(),
                     [](const RowAt& a, const RowAt& b) { return a.T > b.T; });
    return true;
}

// Every row: the liquidus, then the step's rows and the exact ones, descending.
void make_rows(Solidification& out, RowSampler& sample, const std::vector<Invariant>& crossed,
               const Composition& partner, Phase partner_phase, const std::vector<RowAt>& rows_at)
{
    const double x0 = out.x0;
    const auto add = [&](double T, const PhaseFractions& l, const PhaseFractions& s) {
        out.rows.push_back({T, l, s});
    };
    const PhaseFractions first_solid = forming({0.0, partner.x, x0}, partner_phase);
    if (out.congruent) {  // liquid and solid of one composition: everything freezes at once
        const PhaseFractions all = forming({1.0, x0, EMPTY}, partner_phase);
        add(out.liquidus, first_solid, first_solid);
        add(out.liquidus, all, all);
    } else if (out.liquidus_at_invariant) {
        const ScheilEvent& first = sample.path.events.front();
        add(out.liquidus, first.before, first.before);
        add(out.liquidus, first.after, first.after);
    } else {
        add(out.liquidus, first_solid, first_solid);
    }
    for (const RowAt& r : rows_at) {
        switch (r.kind) {
        case RowAt::Kind::step:
        case RowAt::Kind::solidus:
            add(r.T, sample.lever_at(r.T), sample.scheil_at(r.T));
            break;
        case RowAt::Kind::lever_invariant: {
            const PhaseFractions scheil = sample.scheil_at(r.T);
            add(r.T, lever_at_invariant(crossed[r.index], x0, true), scheil);
            add(r.T, lever_at_invariant(crossed[r.index], x0, false), scheil);
            break;
        }
        case RowAt::Kind::scheil_event: {
            const ScheilEvent& ev = sample.path.events[r.index];
            const bool both = ev.crossed >= 0;
            const PhaseFractions above =
                both ? lever_at_invariant(crossed[static_cast<std::size_t>(ev.crossed)], x0, true)
                     : sample.lever_at(r.T);
            const PhaseFractions below =
                both ? lever_at_invariant(crossed[static_cast<std::size_t>(ev.crossed)], x0, false) : above;
            add(r.T, above, ev.before);
            add(r.T, below, ev.after);
            break;
        }
        case RowAt::Kind::end:
            add(r.T, sample.lever_at(r.T),
                forming({1.0, out.scheil_last_solid, EMPTY}, sample.path.now.solid_phase));
            break;
        }
    }
}

// The segregation profile from the path's points: the solid forming at each
// fraction solidified, then the remainder that freezes at the end with the last
// liquid's composition; evenly thinned to MAX_PROFILE_POINTS, keeping its steps.
void segregation_profile(Solidification& out, const std::vector<PathPoint>& trace)
{
    std::vector<double> g;
    std::vector<double> x;
    double last_g = -1.0;
    for (const PathPoint& p : trace) {
        double here = 1.0 - std::exp(p.ln_remaining);
        if (here >= 1.0)  // the last of the liquid: the end's own point below
            break;
        // A new solid at the same fraction (a peritectic's, a monotectic's): a step,
        // one representable fraction on.
        if (here <= last_g && !x.empty() && p.solid.x != x.back())
            here = std::nextafter(last_g, 2.0);
        if (here >= 1.0)
            break;
        if (here > last_g) {
            g.push_back(here);
            x.push_back(p.solid.x);
            last_g = here;
        }
    }
    // The last liquid freezes with its own composition: a step to it, then g = 1.
    const double step_at = g.empty() ? 0.0 : std::nextafter(g.back(), 2.0);
    if (step_at < 1.0) {
        g.push_back(step_at);
        x.push_back(out.scheil_last_solid);
    }
    g.push_back(1.0);
    x.push_back(out.scheil_last_solid);
    const std::size_t stride = g.size() / MAX_PROFILE_POINTS + 1;
    for (std::size_t i = 0; i < g.size(); ++i) {
        const bool step_next = i + 1 < g.size() && g[i + 1] == std::nextafter(g[i], 2.0);
        const bool step_here = i > 0 && g[i] == std::nextafter(g[i - 1], 2.0);
        if (i % stride == 0 || step_next || step_here || i + 1 == g.size()) {
            out.g.push_back(g[i]);
            out.x_solid.push_back(x[i]);
        }
    }
}

}  // namespace freezing
