// A phase of any sublattices: its side of the phase contract, its curve the
// minimum over its site fractions (lattice.h), the lowest of those found from
// every start where nothing closer is known.
#include "engine/phases/kinds.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kinds {

namespace {

double clamped(double x)
{
    return std::min(std::max(x, NEAR_PURE), 1.0 - NEAR_PURE);
}

// How close in x a state found at this temperature is taken as the start of
// a search, and how many such states are kept.
constexpr double CLOSE = 0.02;
// How close to where every start found nothing a search is not made again: a
// tie-line's Newton asks within this of one point many times, where an
// ordered phase has disordered; a new ordering nearby appears on the grid.
constexpr double NOTHING_CLOSE = 1e-3;
constexpr std::size_t MOST_REMEMBERED = 32;
constexpr double BRANCHES_APART = 0.05;  // in any fraction
constexpr int SEARCHED_EVERY = 16;  // states carried on from a neighbour (a grid point, a temperature of a
                                    // scan) between searches from every start

// Whether two states differ by more than a grid step moves a state: on
// different branches of the phase.
bool apart(const SiteFractions& a, const SiteFractions& b)
{
    for (std::size_t k = 0; k < a.size(); ++k)
        if (std::fabs(a[k] - b[k]) > BRANCHES_APART)
            return true;
    return false;
}

// The grid's state closest to x within CLOSE, the first found of those
// equally close; nullptr where none is.
const std::pair<double, SiteFractions>* closest_on_grid(const LatticeAtT& v, double x)
{
    const auto& states = v.along_grid;
    auto& order = v.grid_by_x;
    if (order.size() != states.size()) {
        order.resize(states.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return states[a].first < states[b].first; });
    }
    const auto at = std::lower_bound(order.begin(), order.end(), x,
                                     [&](std::size_t k, double value) { return states[k].first < value; });
    std::size_t best = states.size();
    double best_distance = CLOSE;
    const auto consider = [&](std::size_t k) {
        const double d = std::fabs(states[k].first - x);
        if (d < best_distance || (d == best_distance && (best == states.size() || k < best))) {
            best = k;
            best_distance = d;
        }
    };
    for (auto k = at; k != order.end() && states[*k].first - x <= best_distance; ++k)
        consider(*k);
    for (auto k = at; k != order.begin() && x - states[*(k - 1)].first <= best_distance; --k)
        consider(*(k - 1));
    return best == states.size() ? nullptr : &states[best];
}

// The lowest minimum at x, HUGE_VAL where the phase does not reach x: from
// the closest state found at this temperature (by a search or on the grid)
// where one is close, else from every start.
LatticeMinimum lowest_at(const LatticeAtT& v, double x, SiteFractions& y)
{
    const std::pair<double, SiteFractions>* closest = nullptr;
    for (const auto& state : v.found)
        if (std::fabs(state.first - x) <= CLOSE &&
            (closest == nullptr || std::fabs(state.first - x) < std::fabs(closest->first - x)))
            closest = &state;
    const auto* on_grid = closest_on_grid(v, x);
    if (on_grid != nullptr &&
        (closest == nullptr || std::fabs(on_grid->first - x) < std::fabs(closest->first - x)))
        closest = on_grid;
    LatticeMinimum m{HUGE_VAL, 0.0, 0.0, false, 0};
    if (closest != nullptr)
        m = lattice_minimum(v, x, &closest->second, y);
    const bool nothing_near = std::any_of(v.none_at.begin(), v.none_at.end(),
                                          [&](double at) { return std::fabs(at - x) <= NOTHING_CLOSE; });
    if (!m.found && !nothing_near) {
        m = lattice_lowest(v, x, nullptr, y);
        if (!m.found && v.none_at.size() < MOST_REMEMBERED)
            v.none_at.push_back(x);
    }
    if (!m.found) {
        m.g = HUGE_VAL;
        return m;
    }
    if (v.found.size() >= MOST_REMEMBERED)
        v.found.erase(v.found.begin());
    v.found.emplace_back(x, y);
    return m;
}

// A pure end per mole of atoms: the minimum at x = 1 or 0, where the phase
// reaches it, with vacancies still free; HUGE_VAL where it does not.
double pure_end(const LatticeAtT& v, bool of_a)
{
    SiteFractions y{};
    const LatticeMinimum m = lowest_at(v, of_a ? 1.0 : 0.0, y);
    return m.g;
}

void values_at(const System& s, const LatticeKind& k, double T, double R, LatticeAtT& v)
{
    v.model = &k.model;
    v.T = T;
    v.R = R;
    v.RT = R * T;
    v.values.resize(k.values.size());
    for (std::size_t i = 0; i < k.values.size(); ++i)
        v.values[i] = coefficient_at(s, k.values[i], T);
}

// A phase holding atoms of one element only (vacancies or molecules beside
// them: COST 507's B4C in a binary of boron, (LI)(LI,VA) in one of lithium)
// reaches one composition, a pure end. At each temperature it is that
// element's phase as a database's phase of one element is, and computed as
// one: an ideal solution of its pure end, the minimum over its internal
// state, and an end this high, so that its curve falls to the pure end like
// any other's and the solutions' paths take it.
constexpr double OTHER_END = 1e9;  // J/mol

bool one_element(const LatticeKind& k)
{
    return k.model.x_min == k.model.x_max;
}

void as_solution(PhaseAtT& at)
{
    double& missing = at.ga == HUGE_VAL ? at.ga : at.gb;
    (at.ga == HUGE_VAL ? at.ga_dT : at.gb_dT) = 0.0;
    missing = OTHER_END;
    SolutionAtT& v = at.kind.emplace<SolutionAtT>();
    v.terms = 0;
    v.magnetic = false;
    v.tc_terms = 0;
    v.beta_terms = 0;
}

// The rests at x from a minimum's G and slope, x held off the pure ends.
void rests_of(double RT, const LatticeMinimum& m, double x, double& rest_a, double& rest_b)
{
    rest_a = m.g + (1.0 - x) * m.g1 - RT * std::log(x);
    rest_b = m.g - x * m.g1 - RT * std::log1p(-x);
}

}  // namespace

void lattice_at(const System& s, const LatticeKind& k, PhaseAtT& at)
{
    LatticeAtT& v = at.kind.emplace<LatticeAtT>();
    values_at(s, k, at.T, at.R, v);
    at.ga = pure_end(v, true);
    at.gb = pure_end(v, false);
    at.ga_dT = 0.0;
    at.gb_dT = 0.0;
    if (!at.slopes) {
        if (one_element(k))
            as_solution(at);
        return;
    }
    LatticeAtT hot;
    LatticeAtT cold;
    values_at(s, k, at.T + SLOPE_STEP, at.R, hot);
    values_at(s, k, at.T - SLOPE_STEP, at.R, cold);
    if (at.ga != HUGE_VAL)
        at.ga_dT = (pure_end(hot, true) - pure_end(cold, true)) / (2.0 * SLOPE_STEP);
    if (at.gb != HUGE_VAL)
        at.gb_dT = (pure_end(hot, false) - pure_end(cold, false)) / (2.0 * SLOPE_STEP);
    if (one_element(k))
        as_solution(at);
}

Excess lattice_excess(const PhaseAtT& at, const LatticeAtT& v, double x, int derivatives)
{
    // The minimum less the ideal solution of its pure ends; the third
    // derivative by a difference of the second.
    SiteFractions y{};
    const double xi = clamped(x);
    const LatticeMinimum m = lowest_at(v, xi, y);
    const auto bent = [&](double at_x) {
        SiteFractions near = y;
        const LatticeMinimum here = lattice_minimum(v, clamped(at_x), &y, near);
        const double xc = clamped(at_x);
        return here.g2 - at.RT / (xc * (1.0 - xc));
    };
    const double yi = 1.0 - xi;
    const double ga = reference_end(at.ga);
    const double gb = reference_end(at.gb);
    Excess out{m.g - xi * ga - yi * gb - at.RT * (xi * std::log(xi) + yi * std::log(yi)),
               m.g1 - ga + gb - at.RT * (std::log(xi) - std::log(yi)), m.g2 - at.RT / (xi * yi), 0.0};
    if (derivatives >= 3) {
        const double h = 1e-6;
        out.e3 = (bent(xi + h) - bent(xi - h)) / (2.0 * h);
    }
    return out;
}

// The rests, and their T slopes by a central difference of the whole minimum,
// each side searched from the state found at T.
Rests lattice_rests(const PhaseAtT& at, const LatticeAtT& v, const Composition& c)
{
    Rests out{0.0, 0.0, 0.0, 0.0, 0.0};
    const double x = clamped(c.x);
    SiteFractions y{};
    const LatticeMinimum m = lowest_at(v, x, y);
    if (m.g == HUGE_VAL) {
        out.a = out.b = HUGE_VAL;
        return out;
    }
    rests_of(at.RT, m, x, out.a, out.b);
    out.e2 = m.g2 - at.RT / (x * (1.0 - x));
    if (!at.slopes)
        return out;
    const LatticeKind& k = std::get<LatticeKind>(at.model->kind);
    const auto rests_at = [&](double T, double& a, double& b) {
        LatticeAtT there;
        values_at(*at.system, k, T, at.R, there);
        SiteFractions near{};
        const LatticeMinimum here = lattice_minimum(there, x, &y, near);
        rests_of(at.R * T, here, x, a, b);
    };
    double a_hot = 0.0;
    double b_hot = 0.0;
    double a_cold = 0.0;
    double b_cold = 0.0;
    rests_at(at.T + SLOPE_STEP, a_hot, b_hot);
    rests_at(at.T - SLOPE_STEP, a_cold, b_cold);
    out.a_dT = (a_hot - a_cold) / (2.0 * SLOPE_STEP);
    out.b_dT = (b_hot - b_cold) / (2.0 * SLOPE_STEP);
    return out;
}

double lattice_above_line(const PhaseAtT& at, const LatticeAtT& v, const Composition& c, double mu_a,
                          double mu_b)
{
    const double x = c.x;
    const double y = c.y;
    if (x == 0.0 || y == 0.0)
        return x == 0.0 ? at.gb - mu_b : at.ga - mu_a;
    SiteFractions fractions{};
    const LatticeMinimum m = lowest_at(v, x, fractions);
    return m.g == HUGE_VAL ? HUGE_VAL : m.g - (x * mu_a + y * mu_b);
}

double lattice_pure(const System& s, const LatticeKind& k, bool of_a, double T, double& size)
{
    LatticeAtT v;
    values_at(s, k, T, s.gas_constant, v);
    const double g = pure_end(v, of_a);
    size = g == HUGE_VAL ? 0.0 : std::fabs(g);
    return g;
}

namespace {

// A pure end from what memory holds of the last temperature, else (every few
// calls, or where that state is gone) from every start.
double pure_from(const LatticeAtT& v, bool of_a, InternalMemory& memory)
{
    const double x = of_a ? 1.0 : 0.0;
    if (memory.followed > 0 && memory.followed < SEARCHED_EVERY) {
        ++memory.followed;
        if (!memory.has_y)
            return HUGE_VAL;  // none at the last search
        SiteFractions y{};
        const LatticeMinimum m = lattice_minimum(v, x, &memory.y, y);
        if (m.found) {
            memory.y = y;
            return m.g;
        }
    }
    SiteFractions y{};
    const LatticeMinimum m = lattice_lowest(v, x, nullptr, y);
    memory.followed = 1;
    memory.has_y = m.found;
    memory.y = y;
    return m.found ? m.g : HUGE_VAL;
}

}  // namespace

void lattice_pure_ends(const System& s, const LatticeKind& k, double T, InternalMemory memory[2], double g[2])
{
    LatticeAtT v;
    values_at(s, k, T, s.gas_constant, v);
    for (int end = 0; end < 2; ++end)
        g[end] = pure_from(v, end == 0, memory[end]);
}

namespace {

// The state at T from the last three temperatures' on one branch, each
// fraction's logarithm taken on in T along the parabola through them (the
// line through the last two where only two are known): where the state
// moves smoothly, Newton starts within its last steps of the minimum. The
// last state where fewer are known, where T lies further beyond the last
// than the last two lie apart (a point passed by for some temperatures), or
// where the state has not moved (one that x leaves no freedom, which its
// minimiser takes as it stands where it lies exactly on x's line). Only the
// phase's own fractions are read: a grid asks at each of its points at every
// temperature.
void extrapolated_state(const LatticeModel& m, const InternalMemory& memory, double T, SiteFractions& start)
{
    const auto n = static_cast<std::size_t>(m.first.back());
    const double* at = memory.T_at;
    const int known = std::isfinite(at[1]) ? (std::isfinite(at[2]) ? 3 : 2) : 1;
    start = memory.y;
    if (known == 1 || !(std::fabs(T - at[0]) <= std::fabs(at[0] - at[1])) || T == at[0] ||
        std::equal(memory.y.begin(), memory.y.begin() + static_cast<std::ptrdiff_t>(n),
                   memory.earlier[0].begin()))
        return;
    const SiteFractions* states[3] = {&memory.y, &memory.earlier[0], &memory.earlier[1]};
    double weight[3];
    for (int i = 0; i < known; ++i) {
        weight[i] = 1.0;
        for (int j = 0; j < known; ++j)
            if (j != i)
                weight[i] *= (T - at[j]) / (at[i] - at[j]);
    }
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s) {
        double sum = 0.0;
        for (int k = m.first[s]; k < m.first[s + 1]; ++k) {
            const auto f = static_cast<std::size_t>(k);
            double ln_y = 0.0;
            bool positive = true;
            for (int i = 0; i < known; ++i) {
                positive = positive && (*states[i])[f] > 0.0;
                ln_y += weight[i] * std::log((*states[i])[f]);
            }
            if (positive)
                start[f] = std::exp(ln_y);
            sum += start[f];
        }
        for (int k = m.first[s]; k < m.first[s + 1]; ++k)
            start[static_cast<std::size_t>(k)] /= sum;
    }
}

// The state y found at T becomes the point's last; those it held before
// (held: it holds one) count as its predecessors only on the same branch.
void remember_state(const LatticeModel& m, InternalMemory& memory, const SiteFractions& y, double T,
                    bool held)
{
    const auto n = static_cast<std::ptrdiff_t>(m.first.back());
    const bool continues = held && T != memory.T_at[0] && !apart(memory.y, y);
    std::copy(memory.earlier[0].begin(), memory.earlier[0].begin() + n, memory.earlier[1].begin());
    std::copy(memory.y.begin(), memory.y.begin() + n, memory.earlier[0].begin());
    memory.y = y;
    memory.has_y = true;
    memory.T_at[2] = continues ? memory.T_at[1] : NAN;
    memory.T_at[1] = continues ? memory.T_at[0] : NAN;
    memory.T_at[0] = T;
}

// The rests at a grid point from its minimum at x, with the grid's
// logarithms of c (x held off the pure end, as the minimum is, its own).
void grid_rests(double RT, const LatticeMinimum& m, double x, const Composition& c, double ln_x, double ln_y,
                double& rest_a, double& rest_b)
{
    if (x != c.x) {
        ln_x = std::log(x);
        ln_y = std::log1p(-x);
    }
    rest_a = m.g + (1.0 - x) * m.g1 - RT * ln_x;
    rest_b = m.g - x * m.g1 - RT * ln_y;
}

}  // namespace

// From what the point remembers of the last temperatures, else (or where
// that state is gone) from the neighbouring point's state and every start.
void lattice_grid_parts(const PhaseAtT& at, const LatticeAtT& v, const Composition& c, double ln_x,
                        double ln_y, bool known, InternalMemory& memory, InternalMemory& neighbour,
                        double& rest_a, double& rest_b)
{
    const double x = clamped(c.x);
    SiteFractions y{};
    LatticeMinimum m{HUGE_VAL, 0.0, 0.0, false, 0};
    const bool held = known && memory.has_y;
    if (held) {
        SiteFractions start;
        extrapolated_state(*v.model, memory, at.T, start);
        m = lattice_minimum(v, x, &start, y);
    }
    if (!m.found && neighbour.has_y && neighbour.followed < SEARCHED_EVERY) {
        // The state carries on from the neighbouring point (where the point
        // has none of its own yet, or an ordering spreads to it), with a
        // search from every start at every few points.
        m = lattice_minimum(v, x, &neighbour.y, y);
        neighbour.followed += m.found ? 1 : 0;
    }
    if (!m.found) {
        // A point where the last search found no state (an ordered phase
        // where it disorders) is searched again every few temperatures.
        if (known && !memory.has_y && memory.followed > 0 && memory.followed < SEARCHED_EVERY) {
            ++memory.followed;
            neighbour.has_y = false;
            rest_a = rest_b = HUGE_VAL;
            return;
        }
        m = lattice_lowest(v, x, neighbour.has_y ? &neighbour.y : nullptr, y);
        neighbour.followed = 0;
        memory.followed = 1;
    } else if (neighbour.has_y && apart(neighbour.y, y)) {
        // The neighbour lies on another branch (an ordering, or vacancies in
        // place of antisites): the lower one carries on along the grid.
        SiteFractions other{};
        const LatticeMinimum there = lattice_minimum(v, x, &neighbour.y, other);
        if (there.found && there.g < m.g) {
            m = there;
            y = other;
        }
    }
    neighbour.has_y = m.found;
    if (!m.found) {
        memory.has_y = false;
        rest_a = rest_b = HUGE_VAL;
        return;
    }
    remember_state(*v.model, memory, y, at.T, held);
    neighbour.y = y;
    v.along_grid.emplace_back(x, y);
    grid_rests(at.RT, m, x, c, ln_x, ln_y, rest_a, rest_b);
}

bool lattice_grid_spread(const PhaseAtT& at, const LatticeAtT& v, const Composition& c, double ln_x,
                         double ln_y, InternalMemory& memory, const InternalMemory& beside, double& rest_a,
                         double& rest_b)
{
    if (!beside.has_y)
        return false;
    const double x = clamped(c.x);
    SiteFractions y{};
    const LatticeMinimum m = lattice_minimum(v, x, &beside.y, y);
    if (!m.found)
        return false;
    remember_state(*v.model, memory, y, at.T, false);
    v.along_grid.emplace_back(x, y);
    grid_rests(at.RT, m, x, c, ln_x, ln_y, rest_a, rest_b);
    return true;
}

void lattice_stagger_search(InternalMemory& memory, std::size_t point)
{
    // A point searched now is searched again once followed reaches
    // SEARCHED_EVERY from 1: in a cycle of SEARCHED_EVERY - 1 temperatures.
    if (!memory.has_y && memory.followed == 1)
        memory.followed = 1 + static_cast<int>(point % static_cast<std::size_t>(SEARCHED_EVERY - 1));
}

// From the state held (a neighbouring point's) and, with search or where
// that finds none though one was held, from every start: the lower kept.
bool lattice_rests_following(const PhaseAtT& at, const LatticeAtT& v, const Composition& c,
                             InternalMemory& state, bool search, double& rest_a, double& rest_b)
{
    const double x = clamped(c.x);
    SiteFractions y{};
    LatticeMinimum m{HUGE_VAL, 0.0, 0.0, false, 0};
    if (state.has_y)
        m = lattice_minimum(v, x, &state.y, y);
    bool carried = state.has_y && m.found;
    if (search || (state.has_y && !m.found)) {
        SiteFractions other{};
        const LatticeMinimum all = lattice_lowest(v, x, nullptr, other);
        if (all.found && (!m.found || all.g < m.g)) {
            m = all;
            y = other;
            carried = false;
        }
    }
    state.followed = carried ? state.followed + 1 : 0;
    state.has_y = m.found;
    if (!m.found)
        return false;
    state.y = y;
    rests_of(at.RT, m, x, rest_a, rest_b);
    return true;
}

bool lattice_rests_carried(const PhaseAtT& at, const LatticeAtT& v, const Composition& c,
                           InternalMemory& state, double& rest_a, double& rest_b)
{
    if (!state.has_y)
        return false;
    const double x = clamped(c.x);
    SiteFractions y{};
    const LatticeMinimum m = lattice_minimum(v, x, &state.y, y);
    if (!m.found)
        return false;
    state.y = y;
    rests_of(at.RT, m, x, rest_a, rest_b);
    return true;
}

double lattice_ordering(const LatticeAtT& v, const Composition& c)
{
    SiteFractions y{};
    const LatticeMinimum m = lowest_at(v, clamped(c.x), y);
    return m.found ? lattice_order(*v.model, y) : 0.0;
}

int lattice_pattern_at(const LatticeAtT& v, const Composition& c)
{
    SiteFractions y{};
    const LatticeMinimum m = lowest_at(v, clamped(c.x), y);
    return m.found ? lattice_pattern(v, y) : 0;
}

namespace {

// The phase's lowest state at x and T, from every start, and where asked for
// (reported) the same state as it is reported (lattice_arranged); y is the
// search's own, which G is evaluated at.
bool lowest_state(const System& s, const LatticeKind& k, double x, double T, SiteFractions& y,
                  SiteFractions* reported = nullptr)
{
    LatticeAtT v;
    values_at(s, k, T, s.gas_constant, v);
    const bool found = lattice_lowest(v, one_element(k) ? k.model.x_min : x, nullptr, y).found;
    if (reported != nullptr)
        *reported = found ? lattice_arranged(v, y) : y;
    return found;
}

// The fractions of a state found, sublattice after sublattice (NaN where none was).
std::vector<std::vector<double>> fractions_of_state(const LatticeKind& k, bool found, const SiteFractions& y)
{
    std::vector<std::vector<double>> out;
    for (std::size_t sub = 0; sub + 1 < k.model.first.size(); ++sub) {
        out.emplace_back();
        for (int f = k.model.first[sub]; f < k.model.first[sub + 1]; ++f)
            out.back().push_back(found ? y[static_cast<std::size_t>(f)] : std::nan(""));
    }
    return out;
}

// G per mole of atoms at a state found, held, with its derivatives in T.
Jet energy_of_state(const System& s, const LatticeKind& k, double T, bool found, const SiteFractions& y)
{
    if (!found)
        return {std::nan(""), std::nan(""), std::nan(""), 0.0};
    std::vector<Jet> values;
    for (const Coefficient& c : k.values)
        values.push_back(coefficient_in_T(s, c, T));
    double n_a = 0.0;
    double n = 0.0;
    lattice_atoms(k.model, y, n_a, n);
    return (1.0 / n) * lattice_energy_in_T(k.model, values, T, s.gas_constant, y);
}

}  // namespace

std::vector<std::vector<double>> lattice_site_fractions(const System& s, const LatticeKind& k, double x,
                                                        double T)
{
    SiteFractions y{};
    SiteFractions reported{};
    const bool found = lowest_state(s, k, x, T, y, &reported);
    return fractions_of_state(k, found, reported);
}

Jet lattice_gibbs_in_T(const System& s, const LatticeKind& k, double x, double T)
{
    SiteFractions y{};
    const bool found = lowest_state(s, k, x, T, y);
    return energy_of_state(s, k, T, found, y);
}

StateInT lattice_state_in_T(const System& s, const LatticeKind& k, double x, double T)
{
    SiteFractions y{};
    SiteFractions reported{};
    const bool found = lowest_state(s, k, x, T, y, &reported);
    return {fractions_of_state(k, found, reported), energy_of_state(s, k, T, found, y)};
}

std::vector<double> lattice_ordered_compositions(const LatticeKind& k)
{
    if (one_element(k))
        return {};  // a pure end, which the grid holds
    std::vector<double> out{k.model.x_min, k.model.x_max};
    for (const double e : k.model.end_members)
        if (std::find(out.begin(), out.end(), e) == out.end())
            out.push_back(e);
    return out;
}

}  // namespace kinds
