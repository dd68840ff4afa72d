// The samples a grid's points alone would miss at T: about a miscibility gap
// or a window of another phase narrower than the grid's step, and about a
// corner that bends a curve down.
#include "engine/diagram/hidden_regions.h"

#include "engine/numerics/bracket.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double NARROWEST_SPREAD = 1e-9;  // half-width of the extra samples around a hidden region, at least
constexpr int SPREAD = 16;                 // extra samples on each side of it
constexpr double SPREAD_STEP = 0.25;       // of the half-width, between them
constexpr double NEAR_SPINODAL = 0.05;     // in RT: a curvature minimum below this may hide a spinodal
constexpr double WIDE_SPINODAL = 0.5;      // in RT: one below minus this is wide enough for the grid
constexpr double CURVATURE_STEP = 1e-4;
// A curvature whose two sides CURVATURE_STEP from its minimum differ by more
// than this share of their rise above it is not smooth there: it jumps.
constexpr double KINKED = 0.5;
// In RT: a phase of two sublattices this close to another at a grid point is
// level with it there, by rounding; one further from it than NEAR_DIP does not
// dip below it between the points (a Laves phase near its melting point comes
// within 1e-5 RT of the liquid at the points beside its dip).
constexpr double LEVEL = 1e-9;
constexpr double NEAR_DIP = 0.01;
// Half-widths of the samples about a corner that bends a curve down, in
// uniform spacings: a gap 2e-3 to 2e-5 wide holds some of them.
constexpr double CORNER_SCALES[] = {0.25, 1.0 / 32, 1.0 / 256};

// Samples across centre ± half_width (at least NARROWEST_SPREAD), into extra.
void spread(double centre, double half_width, std::vector<Composition>& extra)
{
    const double w = std::max(half_width, NARROWEST_SPREAD);
    for (int k = -SPREAD; k <= SPREAD; ++k) {
        const double x = centre + w * k * SPREAD_STEP;
        if (x > 0.0 && x < 1.0)
            extra.push_back(composition_from_x(x));
    }
}

// Where G_p - G_q, d_prev, d0 and d_next at three neighbouring uniform
// points, has an extremum that may cross zero between the outer two: a
// positive minimum or a negative maximum, each 1 where it holds. Written as
// selects of doubles, without a branch: every pair of phases is scanned at
// every temperature, and the compiler then takes two points at a time.
struct WrongExtremum {
    double positive_minimum, negative_maximum;
};

inline WrongExtremum wrong_extremum(double d_prev, double d0, double d_next)
{
    double positive_minimum = d0 > 0.0 ? 1.0 : 0.0;
    positive_minimum = d0 <= d_prev ? positive_minimum : 0.0;
    positive_minimum = d0 <= d_next ? positive_minimum : 0.0;
    double negative_maximum = d0 < 0.0 ? 1.0 : 0.0;
    negative_maximum = d0 >= d_prev ? negative_maximum : 0.0;
    negative_maximum = d0 >= d_next ? negative_maximum : 0.0;
    return {positive_minimum, negative_maximum};
}

// The same as the sign a search for the extremum takes: 1, -1, or 0 where none.
inline int wrong_sign(double d_prev, double d0, double d_next)
{
    const WrongExtremum e = wrong_extremum(d_prev, d0, d_next);
    return static_cast<int>(e.positive_minimum - e.negative_maximum);
}

// Whether such an extremum lies anywhere inside d.
bool any_wrong_sign(const std::vector<double>& d)
{
    double any = 0.0;
    for (std::size_t i = 1; i + 1 < d.size(); ++i) {
        const WrongExtremum e = wrong_extremum(d[i - 1], d[i], d[i + 1]);
        any = e.positive_minimum + e.negative_maximum > 0.0 ? 1.0 : any;
    }
    return any > 0.0;
}

// Such an extremum about point i, between its neighbours; samples about it
// where it crosses zero.
template <class F>
void window_at(const Grid& grid, std::size_t i, int sign, const F& difference,
               std::vector<Composition>& extra)
{
    double at = 0.0;
    const double v = golden_extremum(difference, grid.uniform_x[i - 1], grid.uniform_x[i + 1], sign, at);
    if (sign * v < 0.0)
        spread(at, 0.25 / UNIFORM, extra);
}

// The same where p or q is a phase of two sublattices, at the points about
// which it comes near the lowest solution: from the rests, as it keeps no
// excess (G_p - G_q = x (rest_a,p - rest_a,q) + y (rest_b,p - rest_b,q), not
// finite where it was passed by), and not where the two are level by rounding
// (COST 507's BCC_B2, which repeats BCC_A2).
template <class F>
void sublattice_windows(const Grid& grid, const GridEnergies& energies, std::size_t p, std::size_t q,
                        const std::vector<std::size_t>& points, double RT, const F& difference,
                        std::vector<Composition>& extra)
{
    const GridEnergies::Columns& cp = energies.phase[p];
    const GridEnergies::Columns& cq = energies.phase[q];
    const auto d = [&](std::size_t i) {
        const std::size_t k = grid.uniform_at[i];
        const double x = grid.uniform_x[i];
        return x * (cp.rest_a[k] - cq.rest_a[k]) + (1.0 - x) * (cp.rest_b[k] - cq.rest_b[k]);
    };
    for (const std::size_t i : points) {
        const double d0 = d(i);
        const double d_prev = d(i - 1);
        const double d_next = d(i + 1);
        if (!std::isfinite(d_prev) || !std::isfinite(d0) || !std::isfinite(d_next) ||
            !(std::fabs(d0) > LEVEL * RT && std::fabs(d0) < NEAR_DIP * RT))
            continue;
        const int sign = wrong_sign(d_prev, d0, d_next);
        if (sign != 0)
            window_at(grid, i, sign, difference, extra);
    }
}

// The uniform points about which a phase of two sublattices comes within
// NEAR_DIP of the lowest solution: only there may it dip below one between
// the points, and it is minimised afresh at each x a search asks.
std::vector<std::size_t> near_points(const Grid& grid, const GridEnergies::Columns& c, const PhaseAtT& phase)
{
    const std::size_t n = grid.uniform_x.size();
    std::vector<bool> near(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const GridEnergies::Columns::Margin& m = c.margin[grid.uniform_at[i]];
        near[i] = m.T[0] == phase.T && m.above[0] < NEAR_DIP * phase.RT;
    }
    std::vector<std::size_t> out;
    for (std::size_t i = 1; i + 1 < n; ++i)
        if (near[i - 1] || near[i] || near[i + 1])
            out.push_back(i);
    return out;
}

// Which curves come within NEAR_DIP of the lowest of all at some uniform
// point; never a compound, which has its own sample.
std::vector<bool> near_lowest(const Grid& grid, const std::vector<PhaseAtT>& phases,
                              const GridEnergies& energies)
{
    std::vector<bool> near(phases.size(), false);
    for (std::size_t p = 0; p < phases.size(); ++p) {
        if (is_point(phases[p]))
            continue;
        const std::vector<double>& line = energies.phase[p].line;
        const double dip = NEAR_DIP * phases[p].RT;
        for (std::size_t i = 0; i < grid.uniform_at.size() && !near[p]; ++i) {
            const std::size_t k = grid.uniform_at[i];
            near[p] = !(line[k] - energies.lowest_line[k] >= dip);  // NaN counts as near
        }
    }
    return near;
}

// Windows where one phase dips below another between two uniform points:
// G_p - G_q changing sign between them shows as an extremum of the wrong sign.
void hidden_windows(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
                    std::vector<Composition>& extra)
{
    const std::size_t n = grid.uniform_x.size();
    // Where either of two phases keeps NEAR_DIP above the lowest curve at
    // every uniform point, neither can dip below it between two of them.
    const std::vector<bool> competing = near_lowest(grid, phases, energies);
    // Each pair of phases is scanned at every uniform point: the excesses
    // there and 1 - x are gathered once, so that the pairs' loops run over
    // plain columns.
    std::vector<std::vector<double>> excess(phases.size());
    std::vector<std::vector<std::size_t>> near(phases.size());
    for (std::size_t p = 0; p < phases.size(); ++p) {
        if (!competing[p] || has_branches(phases[p]))
            continue;
        if (has_internal_state(phases[p]))
            near[p] = near_points(grid, energies.phase[p], phases[p]);
        else {
            excess[p].resize(n);
            for (std::size_t i = 0; i < n; ++i)
                excess[p][i] = energies.phase[p].excess[grid.uniform_at[i]];
        }
    }
    std::vector<double> rest_of_x(n);
    for (std::size_t i = 0; i < n; ++i)
        rest_of_x[i] = 1.0 - grid.uniform_x[i];
    std::vector<double> d(n);
    for (std::size_t p = 0; p < phases.size(); ++p) {
        for (std::size_t q = p + 1; q < phases.size(); ++q) {
            // A phase of branches has its search for hidden orderings.
            if (!competing[p] || !competing[q] || has_branches(phases[p]) || has_branches(phases[q]))
                continue;
            const auto difference = [&](double x) {
                double v = 0.0;
                double unused1 = 0.0;
                double unused2 = 0.0;
                phase_difference(phases[p], phases[q], x, v, unused1, unused2);
                return v;
            };
            if (has_internal_state(phases[p]) || has_internal_state(phases[q])) {
                sublattice_windows(grid, energies, p, q, has_internal_state(phases[p]) ? near[p] : near[q],
                                   phases[p].RT, difference, extra);
                continue;
            }
            const double ga = phases[p].ga - phases[q].ga;
            const double gb = phases[p].gb - phases[q].gb;
            const double* ep = excess[p].data();
            const double* eq = excess[q].data();
            for (std::size_t i = 0; i < n; ++i)
                d[i] = grid.uniform_x[i] * ga + rest_of_x[i] * gb + (ep[i] - eq[i]);
            if (!any_wrong_sign(d))  // the common case, in a loop without branches
                continue;
            for (std::size_t i = 1; i + 1 < n; ++i) {
                const int sign = wrong_sign(d[i - 1], d[i], d[i + 1]);
                if (sign != 0)
                    window_at(grid, i, sign, difference, extra);
            }
        }
    }
}

// Gaps narrower than the grid: x y G'' < 0 somewhere is a spinodal, which a gap surrounds.
void hidden_gaps(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
                 std::vector<Composition>& extra)
{
    const std::size_t n = grid.uniform_x.size();
    const double h = 1.0 / UNIFORM;
    const double RT = phases.front().RT;
    std::vector<double> d(n);
    for (std::size_t p = 0; p < phases.size(); ++p) {
        const PhaseAtT& phase = phases[p];
        if (is_point(phase) || has_internal_state(phase))
            continue;
        const auto k = [&](double x) {
            double value = 0.0;
            double slope = 0.0;
            curvature(phase, x, value, slope);
            return value;
        };
        for (std::size_t i = 0; i < n; ++i) {
            const double x = grid.uniform_x[i];
            d[i] = RT + x * (1.0 - x) * energies.phase[p].bend[grid.uniform_at[i]];
        }
        for (std::size_t i = 1; i + 1 < n; ++i) {
            const double ki = d[i];
            if (!(ki <= d[i - 1] && ki <= d[i + 1]))
                continue;
            if (ki > NEAR_SPINODAL * RT)  // far from a spinodal
                continue;
            double at = 0.0;
            const double v = golden_extremum(k, grid.uniform_x[i - 1], grid.uniform_x[i + 1], 1, at);
            if (!(v < 0.0) || ki < -WIDE_SPINODAL * RT)  // no spinodal, or one wide enough for the grid
                continue;
            // The spinodal's half-width from the curvature's own curvature; the gap
            // around it is about sqrt(3) times wider.
            const double e = CURVATURE_STEP;
            const double left = k(at - e);
            const double right = k(at + e);
            const double rise = left + right - 2.0 * v;
            if (std::fabs(right - left) > KINKED * rise) {
                // The curvature jumps at its minimum (a magnetic phase where its
                // Curie temperature crosses T): no parabola, so its negative
                // stretch is measured on each side instead.
                const double lo = last_negative(k, at, grid.uniform_x[i - 1]);
                const double hi = last_negative(k, at, grid.uniform_x[i + 1]);
                spread(0.5 * (lo + hi), std::min(2.0 * h, 0.5 * (hi - lo)), extra);
                continue;
            }
            const double k2 = rise / (e * e);
            spread(at, k2 > 0.0 ? std::min(2.0 * h, std::sqrt(-2.0 * v / k2)) : 2.0 * h, extra);
        }
    }
}

}  // namespace

std::vector<Composition> hidden_regions(const Grid& grid, const std::vector<PhaseAtT>& phases,
                                        const GridEnergies& energies)
{
    std::vector<Composition> extra;
    if (!grid.mixing_terms)
        return extra;
    hidden_windows(grid, phases, energies, extra);
    hidden_gaps(grid, phases, energies, extra);
    // A corner that bends a curve down opens a gap about it, 1e-3 wide and
    // narrowing without end as T rises (COST 507's Fe-Ni fcc), which the
    // uniform points may straddle: samples about it at three scales.
    for (const PhaseAtT& phase : phases)
        for (const double x : downward_corners(phase))
            for (const double scale : CORNER_SCALES)
                spread(x, scale / UNIFORM, extra);
    return extra;
}
