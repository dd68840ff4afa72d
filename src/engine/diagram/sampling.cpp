#include "engine/diagram/sampling.h"

#include "engine/diagram/hidden_regions.h"
#include "engine/numerics/bracket.h"
#include "engine/numerics/hull.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int PER_DECADE = 4;      // tail points per decade towards each pure component
constexpr int TAIL_DECADES = 40;   // down to 1e-40
constexpr double TAIL_END = 0.75;  // of a uniform spacing: where the tails stop short of the uniform points
constexpr double SUBLATTICE_TAIL = 1e-6;   // a two-sublattice phase's grid starts here from either end
constexpr double ORDERED_NEAREST = 1e-8;   // offsets from an ordered composition sampled, in decades
constexpr double ORDERED_FARTHEST = 2e-3;  // for the curvature's own curvature, by a central difference
// The coarse grid's uniform spacing, in the full grid's: 1/32. Sparser grids
// take longer, as each point's minimum follows its neighbour's from further.
constexpr int COARSER = 16;
constexpr double COARSE_END_STEP = 1e5;  // 1e-8 and 1e-3 from a range's ends
// A point of a phase of sublattices is passed by while it stays FAR_ABOVE (in
// RT) above the diagram there, for at most MOST_PASSED kelvin after it was
// last found. Its distance is taken to shrink twice as fast as it last did,
// to turn towards the diagram at once by an entropy of KINK (where the
// phase's state changes by a first-order step) and to bend towards it as a
// difference of CP_SPREAD in heat capacity bends it (the distance's second
// derivative in T is minus that difference over T). Followed from kelvin to
// kelvin across Al-Ni, Mo-Re, Al-Fe, Fe-C, Cr-Fe and five of COST 507's
// binaries, no distance fell below its last slope, doubled, by more than
// 0.003 RT (at a kink, where a state or the diagram turns), and none bent
// more than a difference of 7 J/(mol K) does; a phase coming down 70 J/(mol K)
// faster is still found where it forms. Where an ordered phase has no
// ordered state, an ordering setting in since its last search may take it
// below its disordered part by up to ORDERING_ENTROPY a kelvin, twice the
// most an ordering of two constituents changes the entropy per atom (R ln 2).
constexpr double FAR_ABOVE = 0.005;
constexpr double MOST_PASSED = 256.0;
constexpr double KINK = 5.0;                // J/(mol K)
constexpr double CP_SPREAD = 100.0;         // J/(mol K)
constexpr double ORDERING_ENTROPY = 11.53;  // J/(mol K)

// How far a phase with these rests lies above the line x mu_a + y mu_b at the
// grid's interior point i.
inline double above_at(const Grid& grid, std::size_t i, double rest_a, double rest_b, double RT, double mu_a,
                       double mu_b)
{
    return grid.x[i] * (RT * grid.ln_x[i] + rest_a - mu_a) + grid.y[i] * (RT * grid.ln_y[i] + rest_b - mu_b);
}

// A phase's rests with the logarithms added, summed as above_at sums them.
void add_logs(const Grid& grid, double RT, GridEnergies::Columns& c)
{
    const std::size_t n = grid.at.size();
    c.line_a.resize(n);
    c.line_b.resize(n);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        c.line_a[i] = RT * grid.ln_x[i] + c.rest_a[i];
        c.line_b[i] = RT * grid.ln_y[i] + c.rest_b[i];
    }
}

// The energies of the stable pure components at T: the chord samples are held above.
void chord_ends(const std::vector<PhaseAtT>& phases, double& ga, double& gb)
{
    ga = HUGE_VAL;
    gb = HUGE_VAL;
    for (const PhaseAtT& at : phases) {
        if (is_point(at))
            continue;
        ga = std::min(ga, potentials(at, {1.0, 0.0}).rest_a);
        gb = std::min(gb, potentials(at, {0.0, 1.0}).rest_b);
    }
}

// The lowest of the curves at c, above the chord joining the stable pure
// components (ga, gb) so that both ends keep their precision.
Sample sample_at(const std::vector<PhaseAtT>& phases, const Composition& c, double ln_x, double ln_y,
                 double ga, double gb, const std::vector<bool>& left_out)
{
    Sample best{c, HUGE_VAL, Phase::liquid};
    for (std::size_t k = phases.size();
         k-- > 0;) {  // a tie goes to the later phase, a solid before the liquid
        if (left_out[k])
            continue;
        const double g = above_line(phases[k], c, ln_x, ln_y, ga, gb);
        if (g < best.g) {
            best.g = g;
            best.phase = phase_number(k);
        }
    }
    return best;
}

// A phase of sublattices is narrowest around its ordered compositions, a
// sublattice of each element, where anti-sites are all it dissolves, or the
// ends of one mixing sublattice's range: the grid has points there, in decades
// of offsets (steps of offset_step, none where it is 0), as its minimum may
// lie between the uniform points; and at least at a range's ends, at steps
// of end_step, as Newton for a tie-line cannot start from a range's end itself.
void add_ordered_points(const PhaseModel& m, double offset_step, double end_step,
                        std::vector<Composition>& points)
{
    const std::array<double, 2> ends = range_ends(m);
    for (const double ordered : ordered_compositions(m)) {
        if (ordered <= 0.0 || ordered >= 1.0)
            continue;  // a pure end, which the grid holds with its tails
        points.push_back(composition_from_x(ordered));
        const double step = offset_step > 0.0                          ? offset_step
                            : ordered == ends[0] || ordered == ends[1] ? end_step
                                                                       : 0.0;
        for (double offset = ORDERED_NEAREST; step > 0.0 && offset < ORDERED_FARTHEST; offset *= step)
            for (const double sign : {-1.0, 1.0})
                points.push_back(composition_from_x(ordered + sign * offset));
    }
}

// G per mole at grid point i from its rests, the pure ends apart (x ln x vanishes).
double grid_energy(const Grid& grid, std::size_t i, double rest_a, double rest_b, double RT)
{
    if (grid.x[i] == 0.0)
        return rest_b;
    if (grid.y[i] == 0.0)
        return rest_a;
    return above_at(grid, i, rest_a, rest_b, RT, 0.0, 0.0);
}

// lowest lowered to a phase's G per mole where that lies lower: as grid_energy
// at every point, the interior in one plain loop.
void lower_to(const Grid& grid, const GridEnergies::Columns& c, double RT, std::vector<double>& lowest)
{
    const std::size_t n = grid.at.size();
    lowest[0] = std::min(lowest[0], c.rest_b[0]);
    lowest[n - 1] = std::min(lowest[n - 1], c.rest_a[n - 1]);
    for (std::size_t i = 1; i + 1 < n; ++i)
        lowest[i] = std::min(lowest[i], above_at(grid, i, c.rest_a[i], c.rest_b[i], RT, 0.0, 0.0));
}

// How fast a point's distance above the lowest solution last changed, once
// it is known at two temperatures (NaN before).
void set_rate(GridEnergies::Columns::Margin& m)
{
    m.rate = std::fabs((m.above[0] - m.above[1]) / (m.T[0] - m.T[1]));
}

// Whether a point that lay far above the diagram still does at T, judged from
// how fast that distance last changed and how fast it may bend; false where
// not known.
bool still_far_above(const GridEnergies::Columns::Margin& m, double T, double RT)
{
    const double dT = std::fabs(T - m.T[0]);
    const double turn = (m.disordered ? ORDERING_ENTROPY : KINK) * dT;
    const double bend = 0.5 * CP_SPREAD / T * dT * dT;
    return dT <= MOST_PASSED && m.above[0] - 2.0 * m.rate * dT - turn - bend > FAR_ABOVE * RT;
}

// A phase with an internal state on the grid. Each point's state starts from
// its last temperatures' there, else the neighbouring point's; a point far
// above the diagram is passed by, as no phase there.
void internal_parts(const Grid& grid, const PhaseAtT& phase, const std::vector<double>& lowest,
                    GridEnergies::Columns& c)
{
    const std::size_t n = grid.at.size();
    const bool known = c.internal.size() == n;
    c.internal.resize(n, no_memory());
    c.margin.resize(n, {{NAN, NAN}, {NAN, NAN}, NAN});
    c.passed.assign(n, 0);
    const bool tails = skips_tails(phase);
    // Except at a pure component whose stable state it is, below every
    // solution's by more than rounding (COST 507's AL1LI1 in Li-Mg: bcc Li
    // with vacancies, below Li's own bcc): there its tail is where that
    // component transforms and its solubilities compete.
    const auto stable_end = [&](bool of_a) {
        const double own = of_a ? potentials(phase, {1.0, 0.0}).rest_a : potentials(phase, {0.0, 1.0}).rest_b;
        const double others = of_a ? lowest.back() : lowest.front();
        return own < others && !equal_to_rounding(own, std::fabs(own), others, std::fabs(others));
    };
    const bool tail_a = tails && stable_end(true);
    const bool tail_b = tails && stable_end(false);
    // Beyond the phase's range, which no temperature moves (most of the grid
    // for most of Fe-C's and COST 507's phases of sublattices): no state,
    // and nothing to remember, as a point there would find.
    const std::array<double, 2> ends = range_ends(*phase.model);
    InternalMemory neighbour = no_memory();
    expect_grid_points(phase, n);
    std::vector<char> stateless(n, 0);  // evaluated at this temperature, and no state found
    for (std::size_t i = 0; i < n; ++i) {
        c.excess[i] = c.bend[i] = 0.0;
        if (grid.x[i] < ends[0] || grid.x[i] > ends[1]) {
            c.rest_a[i] = c.rest_b[i] = HUGE_VAL;
            continue;
        }
        // Left out of the deep tails: each of its points is a minimisation, and
        // its solubilities there are not where it competes (its pure ends are
        // still sampled). One mixing sublattice needs no search, and its tail
        // may be all its range.
        const double smaller = smaller_fraction(grid.at[i]);
        const bool own_tail = grid.at[i].x > grid.at[i].y ? tail_a : tail_b;
        if (tails && !own_tail && smaller > 0.0 && smaller < SUBLATTICE_TAIL) {
            c.rest_a[i] = c.rest_b[i] = HUGE_VAL;
            continue;
        }
        if (still_far_above(c.margin[i], phase.T, phase.RT)) {
            c.passed[i] = 1;
            // A point's state is touched only where it counts the
            // temperatures to its next search: a grid's thousands of kept
            // states are most of the memory a row would read.
            if (c.margin[i].disordered)
                pass_stateless(c.internal[i]);
            c.rest_a[i] = c.rest_b[i] = HUGE_VAL;
            continue;
        }
        internal_grid_parts(phase, grid.at[i], grid.ln_x[i], grid.ln_y[i], known, c.internal[i], neighbour,
                            c.rest_a[i], c.rest_b[i]);
        if (!known)
            stagger_search(phase, c.internal[i], i);
        GridEnergies::Columns::Margin& m = c.margin[i];
        m.above[1] = m.above[0];
        m.T[1] = m.T[0];
        m.T[0] = phase.T;
        m.disordered = false;
        if (c.rest_a[i] == HUGE_VAL && c.rest_b[i] == HUGE_VAL) {
            // No state here (beyond the phase's range, most often): no finite
            // distance, and no rate, which could only tell that the point is
            // not far above.
            m.above[0] = HUGE_VAL;
            m.rate = NAN;
            stateless[i] = 1;
            continue;
        }
        m.above[0] = grid_energy(grid, i, c.rest_a[i], c.rest_b[i], phase.RT) - lowest[i];
        set_rate(m);
    }
    // Each state found has been carried on towards higher x; towards lower x
    // from each point found, for as far as it reaches.
    for (std::size_t i = n - 1; i-- > 0;) {
        if (!stateless[i] || !std::isfinite(c.rest_a[i + 1]) ||
            !internal_grid_spread(phase, grid.at[i], grid.ln_x[i], grid.ln_y[i], c.internal[i],
                                  c.internal[i + 1], c.rest_a[i], c.rest_b[i]))
            continue;
        stateless[i] = 0;
        GridEnergies::Columns::Margin& m = c.margin[i];
        m.above[0] = grid_energy(grid, i, c.rest_a[i], c.rest_b[i], phase.RT) - lowest[i];
        set_rate(m);
    }
}

// Each phase's x line_a + y line_b on the grid (its rests at the pure ends,
// where x ln x vanishes) into line, the lowest of them into lowest_line, and
// each one's least distance above that: in plain loops, as every temperature
// asks for them.
void distances_above_lowest(const Grid& grid, const std::vector<PhaseAtT>& phases, GridEnergies& out)
{
    const std::size_t n = grid.at.size();
    std::vector<double>& lowest = out.lowest_line;
    lowest.assign(n, HUGE_VAL);
    for (std::size_t k = 0; k < phases.size(); ++k) {
        if (is_point(phases[k]))
            continue;
        GridEnergies::Columns& c = out.phase[k];
        c.line.resize(n);
        c.line[0] = c.rest_b[0];
        c.line[n - 1] = c.rest_a[n - 1];
        for (std::size_t i = 1; i + 1 < n; ++i)
            c.line[i] = grid.x[i] * c.line_a[i] + grid.y[i] * c.line_b[i];
        for (std::size_t i = 0; i < n; ++i)
            lowest[i] = c.line[i] < lowest[i] ? c.line[i] : lowest[i];
    }
    for (std::size_t k = 0; k < phases.size(); ++k) {
        if (is_point(phases[k]))
            continue;
        GridEnergies::Columns& c = out.phase[k];
        double m[2] = {HUGE_VAL, HUGE_VAL};  // two running minima, NaN passed by
        std::size_t i = 0;
        for (; i + 2 <= n; i += 2)
            for (std::size_t j = 0; j < 2; ++j) {
                const double v = c.line[i + j] - lowest[i + j];
                m[j] = v < m[j] ? v : m[j];
            }
        if (i < n)
            m[0] = std::min(m[0], c.line[i] - lowest[i]);
        c.above_lowest = std::min(m[0], m[1]);
    }
}

}  // namespace

double lowest_line_above(const Grid& grid, const GridEnergies& energies, double mu_a, double mu_b)
{
    const std::size_t n = grid.at.size();
    const std::vector<double>& l = energies.lowest_line;
    double lowest = std::min(l[0] - mu_b, l[n - 1] - mu_a);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const double v = l[i] - (grid.x[i] * mu_a + grid.y[i] * mu_b);
        lowest = v < lowest ? v : lowest;
    }
    return lowest;
}

void energies_at(const Grid& grid, const std::vector<PhaseAtT>& phases, GridEnergies& out)
{
    chord_ends(phases, out.chord_a, out.chord_b);
    out.phase.resize(phases.size());
    const std::size_t n = grid.at.size();
    for (std::size_t k = 0; k < phases.size(); ++k) {
        if (is_point(phases[k]))
            continue;
        GridEnergies::Columns& c = out.phase[k];
        c.rest_a.resize(n);
        c.rest_b.resize(n);
        c.excess.resize(n);
        c.bend.resize(n);
        if (!has_internal_state(phases[k])) {
            solution_parts(phases[k], grid.x.data(), grid.y.data(), n, c.rest_a.data(), c.rest_b.data(),
                           c.excess.data(), c.bend.data());
            add_logs(grid, phases[k].RT, c);
        }
    }
    // The phases of sublattices after the solutions, whose lowest they are held against.
    if (std::any_of(phases.begin(), phases.end(), [](const PhaseAtT& p) { return has_internal_state(p); })) {
        out.lowest.assign(n, HUGE_VAL);
        for (std::size_t k = 0; k < phases.size(); ++k)
            if (!is_point(phases[k]) && !has_internal_state(phases[k]))
                lower_to(grid, out.phase[k], phases[k].RT, out.lowest);
        for (std::size_t k = 0; k < phases.size(); ++k)
            if (has_internal_state(phases[k])) {
                internal_parts(grid, phases[k], out.lowest, out.phase[k]);
                add_logs(grid, phases[k].RT, out.phase[k]);
            }
    }
    distances_above_lowest(grid, phases, out);
}

void forget_temperatures(GridEnergies& e)
{
    for (GridEnergies::Columns& c : e.phase) {
        c.internal.clear();
        c.margin.clear();
    }
}

void above_line_on_grid(const Grid& grid, const GridEnergies& energies, std::size_t k, const PhaseAtT& phase,
                        double mu_a, double mu_b, std::vector<double>& h)
{
    const std::size_t n = grid.at.size();
    h.resize(n);
    if (is_point(phase)) {  // above the line at its own composition alone, if that is a grid point
        const Composition own = point_composition(*phase.model);
        for (std::size_t i = 0; i < n; ++i)
            h[i] = grid.at[i].x == own.x && grid.at[i].y == own.y
                       ? above_line(phase, own, 0.0, 0.0, mu_a, mu_b)
                       : HUGE_VAL;
        return;
    }
    const GridEnergies::Columns& e = energies.phase[k];
    // The interior in one plain loop; the pure ends, where x ln x vanishes, apart.
    for (std::size_t i = 1; i + 1 < n; ++i)
        h[i] = grid.x[i] * (e.line_a[i] - mu_a) + grid.y[i] * (e.line_b[i] - mu_b);
    h[0] = e.rest_b[0] - mu_b;
    h[n - 1] = e.rest_a[n - 1] - mu_a;
}

std::vector<PhaseAtT> phases_at(const System& s, double T)
{
    std::vector<PhaseAtT> out;
    out.reserve(s.phases.size());
    for (std::size_t k = 0; k < s.phases.size(); ++k)
        out.push_back(phase_at(s, phase_number(k), T, false));
    return out;
}

double dx(const Composition& from, const Composition& to)
{
    return abscissa_difference({from.x, from.y, 0.0}, {to.x, to.y, 0.0});
}

namespace {

// How densely a grid samples: its uniform points, its tail points per decade
// towards each pure component, and the steps of its offsets about the ordered
// compositions.
struct Spacing {
    int uniform;
    int per_decade;
    double ordered_step;  // of the offsets about each ordered composition; 0: none
    double end_step;      // the same about a range's ends, where ordered_step is 0
};

Grid grid_spaced(const System& s, const Spacing& spacing)
{
    Grid grid;
    std::vector<double> tail;
    for (int k = spacing.per_decade * TAIL_DECADES;; --k) {  // 1e-40 up to the first uniform point
        const double v = std::pow(10.0, -static_cast<double>(k) / spacing.per_decade);
        if (v >= TAIL_END / spacing.uniform)
            break;
        tail.push_back(v);
    }
    grid.at.push_back({0.0, 1.0});
    for (double v : tail)
        grid.at.push_back({v, 1.0 - v});
    for (int i = 1; i < spacing.uniform; ++i) {
        const double x = static_cast<double>(i) / spacing.uniform;
        grid.at.push_back({x, 1.0 - x});
    }
    for (auto it = tail.rbegin(); it != tail.rend(); ++it)
        grid.at.push_back({1.0 - *it, *it});
    grid.at.push_back({1.0, 0.0});
    // Where phases of sublattices are narrowest: points of the grid, so that
    // their minima there start, like the others', from the last temperature's.
    for (const PhaseModel& m : s.phases)
        if (has_internal_state(m))
            add_ordered_points(m, spacing.ordered_step, spacing.end_step, grid.at);
    const auto before = [](const Composition& a, const Composition& b) { return dx(a, b) > 0.0; };
    std::stable_sort(grid.at.begin(), grid.at.end(), before);
    grid.at.erase(std::unique(grid.at.begin(), grid.at.end(),
                              [](const Composition& a, const Composition& b) { return dx(a, b) == 0.0; }),
                  grid.at.end());

    for (const Composition& c : grid.at) {
        grid.x.push_back(c.x);
        grid.y.push_back(c.y);
        double ln_x = 0.0;
        double ln_y = 0.0;
        composition_logs(c, ln_x, ln_y);
        grid.ln_x.push_back(ln_x);
        grid.ln_y.push_back(ln_y);
    }
    for (int i = 0; i <= spacing.uniform; ++i) {
        const Composition c = i == spacing.uniform
                                  ? Composition{1.0, 0.0}
                                  : composition_from_x(static_cast<double>(i) / spacing.uniform);
        grid.uniform_x.push_back(c.x);
        const auto at = std::lower_bound(grid.at.begin(), grid.at.end(), c, before);
        grid.uniform_at.push_back(static_cast<std::size_t>(at - grid.at.begin()));
    }
    grid.mixing_terms = std::any_of(s.phases.begin(), s.phases.end(),
                                    [](const PhaseModel& p) { return has_mixing_terms(p); });
    return grid;
}

}  // namespace

Grid make_grid(const System& s)
{
    return grid_spaced(s, {UNIFORM, PER_DECADE, 10.0, 10.0});
}

Grid make_coarse_grid(const System& s)
{
    return grid_spaced(s, {UNIFORM / COARSER, 1, 0.0, COARSE_END_STEP});
}

void add_samples(const Grid& grid, const std::vector<PhaseAtT>& phases, const GridEnergies& energies,
                 std::vector<Sample>& samples, const std::vector<Composition>& extra)
{
    const double ga = energies.chord_a;
    const double gb = energies.chord_b;
    const auto before = [](const Sample& a, const Sample& b) { return dx(a.c, b.c) > 0.0; };
    const auto same = [](const Sample& a, const Sample& b) { return dx(a.c, b.c) == 0.0; };
    std::vector<Sample> more;
    more.reserve(extra.size());
    std::vector<bool> left_out(phases.size());
    for (const Composition& c : extra) {
        // Where a sample is already, it stays: the merge below keeps it.
        const Sample probe{c, 0.0, Phase::liquid};
        const auto at = std::lower_bound(samples.begin(), samples.end(), probe, before);
        if (at != samples.end() && same(*at, probe))
            continue;
        // A phase of sublattices passed by at the grid's points either side
        // of c (a compound's composition, most often, where it has no state
        // of this temperature close by to start from, and is searched for
        // from every start) lies far above the diagram there.
        const auto above = std::upper_bound(grid.x.begin(), grid.x.end(), c.x);
        const std::size_t i =
            above == grid.x.begin() ? 0 : static_cast<std::size_t>(above - grid.x.begin()) - 1;
        for (std::size_t k = 0; k < phases.size(); ++k) {
            const auto passed_beside = [&](const std::vector<char>& passed) {
                return i + 1 < passed.size() && passed[i] && passed[i + 1];
            };
            left_out[k] = has_internal_state(phases[k]) && k < energies.phase.size() &&
                          passed_beside(energies.phase[k].passed);
        }
        double ln_x = 0.0;
        double ln_y = 0.0;
        composition_logs(c, ln_x, ln_y);
        more.push_back(sample_at(phases, c, ln_x, ln_y, ga, gb, left_out));
    }
    // In order, the first of a repeated composition kept, and none already sampled:
    // one merge rather than an insertion each.
    std::stable_sort(more.begin(), more.end(), before);
    more.erase(std::unique(more.begin(), more.end(), same), more.end());
    std::vector<Sample> merged;
    merged.reserve(samples.size() + more.size());
    auto m = more.begin();
    for (const Sample& s : samples) {
        for (; m != more.end() && before(*m, s); ++m)
            merged.push_back(*m);
        if (m != more.end() && same(*m, s))
            ++m;
        merged.push_back(s);
    }
    merged.insert(merged.end(), m, more.end());
    samples.swap(merged);
}

std::vector<int> hull_of(const std::vector<Sample>& samples)
{
    std::vector<HullPoint> points;
    points.reserve(samples.size());
    for (const Sample& s : samples)
        points.push_back({s.c.x, s.c.y, s.g});
    return lower_hull(points);
}

std::vector<Sample> samples_at(const Grid& grid, const std::vector<PhaseAtT>& phases,
                               const GridEnergies& energies)
{
    const double ga = energies.chord_a;
    const double gb = energies.chord_b;
    const std::size_t n = grid.at.size();
    // The lowest in plain columns, gathered into samples after.
    std::vector<double> lowest(n, HUGE_VAL);
    std::vector<std::size_t> lowest_phase(n, 0);
    std::vector<double> g;
    for (std::size_t k = phases.size();
         k-- > 0;) {  // a tie goes to the later phase, a solid before the liquid
        above_line_on_grid(grid, energies, k, phases[k], ga, gb, g);
        for (std::size_t i = 0; i < n; ++i) {
            const bool lower = g[i] < lowest[i];
            lowest[i] = lower ? g[i] : lowest[i];
            lowest_phase[i] = lower ? k : lowest_phase[i];
        }
    }
    std::vector<Sample> samples(n);
    for (std::size_t i = 0; i < n; ++i)
        samples[i] = {grid.at[i], lowest[i], phase_number(lowest_phase[i])};
    // Where no phase is sampled (a two-sublattice phase's skipped tails, with
    // nothing else there) there is no point: the hull joins its neighbours.
    samples.erase(
        std::remove_if(samples.begin(), samples.end(), [](const Sample& a) { return a.g == HUGE_VAL; }),
        samples.end());
    std::vector<Composition> extra = hidden_regions(grid, phases, energies);
    for (const PhaseAtT& phase : phases)
        if (is_point(phase))  // a compound is a sample of its own
            extra.push_back(point_composition(*phase.model));
    add_samples(grid, phases, energies, samples, extra);
    return samples;
}

void margins_above_hull(const Grid& grid, const std::vector<PhaseAtT>& phases,
                        const std::vector<Sample>& samples, const std::vector<int>& hull,
                        GridEnergies& energies)
{
    if (hull.size() < 2)
        return;
    // The hull at each point of the grid, over the same chord as the samples.
    const std::size_t n = grid.at.size();
    std::vector<double> below(n, HUGE_VAL);
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = grid.x[i];
        while (k + 2 < hull.size() && samples[static_cast<std::size_t>(hull[k + 1])].c.x < x)
            ++k;
        const Sample& a = samples[static_cast<std::size_t>(hull[k])];
        const Sample& b = samples[static_cast<std::size_t>(hull[k + 1])];
        if (x >= a.c.x && x <= b.c.x)
            below[i] = b.c.x > a.c.x ? a.g + (x - a.c.x) / (b.c.x - a.c.x) * (b.g - a.g) : a.g;
    }
    std::vector<double> g;
    std::vector<double> g_disordered;
    for (std::size_t p = 0; p < phases.size(); ++p) {
        if (!has_internal_state(phases[p]))
            continue;
        GridEnergies::Columns& c = energies.phase[p];
        above_line_on_grid(grid, energies, p, phases[p], energies.chord_a, energies.chord_b, g);
        const std::size_t family = phase_index(phase_family(*phases[p].system, phases[p].phase));
        if (family != p)
            above_line_on_grid(grid, energies, family, phases[family], energies.chord_a, energies.chord_b,
                               g_disordered);
        for (std::size_t i = 0; i < n; ++i) {
            GridEnergies::Columns::Margin& m = c.margin[i];
            if (m.T[0] != phases[p].T || below[i] == HUGE_VAL)
                continue;
            if (g[i] != HUGE_VAL) {
                m.above[0] = std::max(m.above[0], g[i] - below[i]);
                set_rate(m);
            } else if (family != p && m.above[0] == HUGE_VAL && g_disordered[i] != HUGE_VAL) {
                // No ordered state here: the phase is its disordered part.
                m.above[0] = g_disordered[i] - below[i];
                m.disordered = true;
                set_rate(m);
            }
        }
    }
}
