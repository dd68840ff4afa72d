#include "engine/diagram.h"

#include "engine/hull.h"
#include "engine/invariants.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int UNIFORM = 512;        // interior points x = i / UNIFORM
constexpr int PER_DECADE = 4;       // tail points per decade towards each pure component
constexpr int TAIL_DECADES = 40;    // down to 1e-40
constexpr double STABLE = 1e-9;     // how far (in RT) a curve may dip below a tangent by rounding
constexpr double NARROWEST = 1e-7;  // K: bisection stops here and solves the event

int index(Phase p)
{
    return p == Phase::liquid ? 0 : 1;
}

// x - the other's x, from whichever fractions keep the difference exact.
double dx(const Composition& from, const Composition& to)
{
    return abscissa_difference({from.x, from.y, 0.0}, {to.x, to.y, 0.0});
}

struct Sample {
    Composition c;
    double g;  // above the chord between the stable pure components
    Phase phase;
};

std::vector<int> hull_of(const std::vector<Sample>& samples)
{
    std::vector<HullPoint> points;
    points.reserve(samples.size());
    for (const Sample& s : samples)
        points.push_back({s.c.x, s.c.y, s.g});
    return lower_hull(points);
}

bool same_tie(const TieLine& a, const TieLine& b)
{
    const auto near = [](const Composition& p, const Composition& q) {
        const double dx_ = std::fabs(p.x <= 0.5 ? p.x - q.x : p.y - q.y);
        return dx_ <= 1e-9 * std::min(std::min(p.x, p.y), 1.0) + 1e-300;
    };
    return a.low_phase == b.low_phase && a.high_phase == b.high_phase && near(a.low, b.low) &&
           near(a.high, b.high);
}

// Checks the tangent of tie against both curves on the grid and at the lowest
// points between; false if either dips below it, with the lowest such point in dip.
bool confirmed(const System& s, const Grid& grid, double T, const TieLine& tie, Composition& dip)
{
    const double tolerance = -STABLE * R * T;
    double lowest = tolerance;
    for (Phase p : {Phase::liquid, Phase::solid}) {
        const Grid::Mixing& m = grid.phase[index(p)];
        const double oa = pure_a(s, p, T) - tie.mu_a;
        const double ob = pure_b(s, p, T) - tie.mu_b;
        const std::size_t n = grid.at.size();
        std::vector<double> h(n);
        for (std::size_t i = 0; i < n; ++i) {
            const Composition& c = grid.at[i];
            const double a = c.x > 0.0 ? c.x * (oa + m.a0[i] + T * m.a1[i]) : 0.0;
            const double b = c.y > 0.0 ? c.y * (ob + m.b0[i] + T * m.b1[i]) : 0.0;
            h[i] = a + b;
            if (h[i] < lowest) {
                lowest = h[i];
                dip = c;
            }
        }
        for (std::size_t i = 1; i + 1 < n; ++i) {
            // A plateau (the tails, where rounding makes neighbours equal) counts once.
            if (h[i] < h[i - 1] && h[i] <= h[i + 1] && h[i] < 1e-3 * R * T) {
                Composition c = grid.at[i];
                const double v = lowest_above_tangent(s, p, c, T, tie);
                if (v < lowest) {
                    lowest = v;
                    dip = c;
                }
            }
        }
    }
    return !(lowest < tolerance);
}

// Signature of a temperature: the phases of each tie-line, in order of x.
std::vector<int> signature(const Equilibria& e)
{
    std::vector<int> sig;
    for (const TieLine& t : e.ties)
        sig.push_back(2 * index(t.low_phase) + index(t.high_phase));
    return sig;
}

}  // namespace

Grid make_grid(const System& s)
{
    Grid grid;
    std::vector<double> tail;
    for (int k = PER_DECADE * TAIL_DECADES;; --k) {  // 1e-40 up to the first uniform point
        const double v = std::pow(10.0, -static_cast<double>(k) / PER_DECADE);
        if (v >= 0.75 / UNIFORM)
            break;
        tail.push_back(v);
    }
    grid.at.push_back({0.0, 1.0});
    for (double v : tail)
        grid.at.push_back({v, 1.0 - v});
    for (int i = 1; i < UNIFORM; ++i) {
        const double x = static_cast<double>(i) / UNIFORM;
        grid.at.push_back({x, 1.0 - x});
    }
    for (auto it = tail.rbegin(); it != tail.rend(); ++it)
        grid.at.push_back({1.0 - *it, *it});
    grid.at.push_back({1.0, 0.0});

    grid.mixing_terms = !s.liquid.excess.empty() || !s.solid.excess.empty();
    for (int i = 0; i <= UNIFORM; ++i) {
        const double x = static_cast<double>(i) / UNIFORM;
        double v0 = 0.0;
        double v1 = 0.0;
        double unused = 0.0;
        liquid_minus_solid(s, x, 0.0, v0, unused, unused);
        liquid_minus_solid(s, x, 1.0, v1, unused, unused);
        grid.xs.push_back(x);
        grid.d0.push_back(v0);
        grid.d1.push_back(v1 - v0);
        for (Phase p : {Phase::liquid, Phase::solid}) {
            curvature(s, p, x, 0.0, v0, unused);
            curvature(s, p, x, 1.0, v1, unused);
            grid.k0[index(p)].push_back(v0);
            grid.k1[index(p)].push_back(v1 - v0);
        }
    }
    for (Phase p : {Phase::liquid, Phase::solid}) {
        Grid::Mixing& m = grid.phase[index(p)];
        for (const Composition& c : grid.at) {
            const Mixing mix = mixing(s, p, c);
            m.a0.push_back(mix.a0);
            m.a1.push_back(mix.a1);
            m.b0.push_back(mix.b0);
            m.b1.push_back(mix.b1);
        }
    }
    return grid;
}

namespace {

// The lower of the two curves at c, above the chord joining the stable pure
// components (ga, gb) so that both ends keep their precision.
Sample sample_at(const System& s, const Composition& c, const Mixing* mix, double T, double ga, double gb)
{
    Sample best{c, HUGE_VAL, Phase::solid};
    for (Phase p : {Phase::solid, Phase::liquid}) {
        const Mixing& m = mix[index(p)];
        const double a = c.x > 0.0 ? c.x * (pure_a(s, p, T) - ga + m.a0 + T * m.a1) : 0.0;
        const double b = c.y > 0.0 ? c.y * (pure_b(s, p, T) - gb + m.b0 + T * m.b1) : 0.0;
        if (a + b < best.g) {
            best.g = a + b;
            best.phase = p;
        }
    }
    return best;
}

// The minimum (sign +1) or maximum (sign -1) of f in [a, b], by golden section.
template <class F>
double extremum(F f, double a, double b, int sign, double& at)
{
    const double r = 0.5 * (std::sqrt(5.0) - 1.0);
    double c = b - r * (b - a);
    double d = a + r * (b - a);
    double fc = sign * f(c);
    double fd = sign * f(d);
    for (int i = 0; i < 60 && b - a > 1e-13; ++i) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - r * (b - a);
            fc = sign * f(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + r * (b - a);
            fd = sign * f(d);
        }
    }
    at = fc < fd ? c : d;
    return sign * std::min(fc, fd);
}

// Compositions to sample besides the grid at T: around a miscibility gap or a
// window of the other phase too narrow for the grid to show (just below a
// critical point, just beside a congruent point).
std::vector<Composition> hidden_regions(const System& s, const Grid& grid, double T)
{
    std::vector<Composition> extra;
    if (!grid.mixing_terms)
        return extra;
    const std::size_t n = grid.xs.size();
    const double h = 1.0 / UNIFORM;
    const auto spread = [&](double centre, double half_width) {
        const double w = std::max(half_width, 1e-9);
        for (int k = -16; k <= 16; ++k) {
            const double x = centre + w * k / 4.0;
            if (x > 0.0 && x < 1.0)
                extra.push_back(composition_from_x(x));
        }
    };
    // G_L - G_S: a sign change hidden between two grid points shows as an extremum.
    std::vector<double> d(n);
    for (std::size_t i = 0; i < n; ++i)
        d[i] = grid.d0[i] + T * grid.d1[i];
    for (std::size_t i = 1; i + 1 < n; ++i) {
        for (int sign : {1, -1}) {
            if (!(sign * d[i] <= sign * d[i - 1] && sign * d[i] <= sign * d[i + 1]) || !(sign * d[i] > 0.0))
                continue;
            double at = 0.0;
            const double v = extremum(
                [&](double x) {
                    double a = 0.0;
                    double b = 0.0;
                    double c = 0.0;
                    liquid_minus_solid(s, x, T, a, b, c);
                    return a;
                },
                grid.xs[i - 1], grid.xs[i + 1], sign, at);
            if (sign * v < 0.0)
                spread(at, h / 4.0);
        }
    }
    // x y G'' < 0 somewhere: a spinodal, which a gap surrounds.
    for (Phase p : {Phase::liquid, Phase::solid}) {
        const std::vector<double>& k0 = grid.k0[index(p)];
        const std::vector<double>& k1 = grid.k1[index(p)];
        for (std::size_t i = 1; i + 1 < n; ++i) {
            const double ki = k0[i] + T * k1[i];
            if (!(ki <= k0[i - 1] + T * k1[i - 1] && ki <= k0[i + 1] + T * k1[i + 1]))
                continue;
            if (ki > 0.05 * R * T)  // far from a spinodal
                continue;
            const auto k = [&](double x) {
                double value = 0.0;
                double slope = 0.0;
                curvature(s, p, x, T, value, slope);
                return value;
            };
            double at = 0.0;
            const double v = extremum(k, grid.xs[i - 1], grid.xs[i + 1], 1, at);
            if (!(v < 0.0) || ki < -0.5 * R * T)  // no spinodal, or one wide enough for the grid
                continue;
            // The spinodal's half-width from the curvature's own curvature; the gap
            // around it is about sqrt(3) times wider.
            const double e = 1e-4;
            const double k2 = (k(at + e) + k(at - e) - 2.0 * v) / (e * e);
            spread(at, k2 > 0.0 ? std::min(2.0 * h, std::sqrt(-2.0 * v / k2)) : 2.0 * h);
        }
    }
    return extra;
}

void add_samples(const System& s, std::vector<Sample>& samples, const std::vector<Composition>& extra,
                 double T, double ga, double gb)
{
    for (const Composition& c : extra) {
        const Mixing mix[2] = {mixing(s, Phase::liquid, c), mixing(s, Phase::solid, c)};
        const Sample more = sample_at(s, c, mix, T, ga, gb);
        const auto at = std::lower_bound(samples.begin(), samples.end(), more,
                                         [](const Sample& a, const Sample& b) { return dx(a.c, b.c) > 0.0; });
        if (at != samples.end() && dx(at->c, c) == 0.0)
            continue;
        samples.insert(at, more);
    }
}

bool exactly_melting(const System& s, double T)
{
    const double RT = R * T;
    return std::fabs(pure_a(s, Phase::liquid, T)) <= 1e-9 * RT ||
           std::fabs(pure_b(s, Phase::liquid, T)) <= 1e-9 * RT;
}

}  // namespace

Equilibria equilibria_at(const System& s, const Grid& grid, double T, std::vector<Doubt>& doubts)
{
    Equilibria out{T, Phase::solid, {}};
    const double ga = std::min(pure_a(s, Phase::liquid, T), 0.0);
    const double gb = std::min(pure_b(s, Phase::liquid, T), 0.0);
    const std::size_t n = grid.at.size();
    std::vector<Sample> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Mixing mix[2] = {
            {grid.phase[0].a0[i], grid.phase[0].a1[i], grid.phase[0].b0[i], grid.phase[0].b1[i]},
            {grid.phase[1].a0[i], grid.phase[1].a1[i], grid.phase[1].b0[i], grid.phase[1].b1[i]}};
        samples[i] = sample_at(s, grid.at[i], mix, T, ga, gb);
    }
    const bool at_melting_point = exactly_melting(s, T);
    add_samples(s, samples, hidden_regions(s, grid, T), T, ga, gb);

    // Where a tangent fails its check, the hull's vertices were too coarse (near an
    // invariant, a region narrower than the grid): the ends found so far join the
    // samples and the hull is taken again.
    std::vector<Doubt> found;
    for (int pass = 0; pass < 6; ++pass) {
        found.clear();
        out.ties.clear();
        const std::vector<int> hull = hull_of(samples);
        const int last = static_cast<int>(samples.size()) - 1;
        std::vector<Composition> ends;
        bool last_sure = true;
        for (std::size_t k = 0; k + 1 < hull.size(); ++k) {
            int i = hull[k];
            int j = hull[k + 1];
            const Phase p = samples[static_cast<std::size_t>(i)].phase;
            const Phase q = samples[static_cast<std::size_t>(j)].phase;
            if (j == i + 1 && p == q)
                continue;
            // Exactly at a pure melting point the region at that edge has no width.
            if ((i == 0 || j == last) && at_melting_point)
                continue;
            // A pure component is no start for Newton in logarithms: its neighbour is.
            i = std::max(i, 1);
            j = std::min(j, last - 1);
            const Composition& ci = samples[static_cast<std::size_t>(i)].c;
            const Composition& cj = samples[static_cast<std::size_t>(j)].c;
            TieLine tie{};
            const Refined r = refine_tie_line(s, T, p, ci, q, cj, tie);
            if (r == Refined::zero_width)
                continue;
            if (r == Refined::failed) {
                found.push_back({T, p, ci.x, q, cj.x, "Newton did not converge on this two-phase region"});
                continue;
            }
            if (std::any_of(out.ties.begin(), out.ties.end(),
                            [&](const TieLine& t) { return same_tie(t, tie); }))
                continue;
            Composition dip{};
            const bool sure = confirmed(s, grid, T, tie, dip);
            if (!sure) {
                found.push_back({T, tie.low_phase, tie.low.x, tie.high_phase, tie.high.x,
                                 "a curve dips below this common tangent: not confirmed stable"});
                ends.push_back(dip);
            }
            ends.push_back(tie.low);
            ends.push_back(tie.high);
            // Two neighbouring tangents that both fail may be one tangent across a
            // phase that is not stable after all (just below a eutectic): its ends
            // join the samples too.
            if (!sure && !out.ties.empty() && !last_sure) {
                const TieLine& before = out.ties.back();
                TieLine across{};
                if (refine_tie_line(s, T, before.low_phase, before.low, tie.high_phase, tie.high, across) ==
                    Refined::ok) {
                    ends.push_back(across.low);
                    ends.push_back(across.high);
                }
            }
            last_sure = sure;
            out.ties.push_back(tie);
        }
        if (found.empty())
            break;
        add_samples(s, samples, ends, T, ga, gb);
    }
    doubts.insert(doubts.end(), found.begin(), found.end());
    std::sort(out.ties.begin(), out.ties.end(),
              [](const TieLine& a, const TieLine& b) { return a.low.x < b.low.x; });
    // The phase left of the first two-phase region; not read at x = 0 itself,
    // where exactly at B's melting point both phases have one energy.
    out.first_phase = out.ties.empty() ? samples[samples.size() / 2].phase : out.ties.front().low_phase;
    return out;
}

namespace {

struct Sweep {
    const System& s;
    const Grid& grid;
    Diagram& d;
    std::vector<Doubt> scratch;  // doubts met at bisection temperatures are not rows

    Equilibria at(double T) { return visible(equilibria_at(s, grid, T, scratch)); }

    // What events are read from: a miscibility gap narrower than this is taken as
    // closed. Within about 1e-4 of its critical point a gap is too shallow for the
    // rounding of the energies, and would flicker in and out.
    static Equilibria visible(Equilibria e)
    {
        e.ties.erase(std::remove_if(e.ties.begin(), e.ties.end(),
                                    [](const TieLine& t) {
                                        return t.low_phase == t.high_phase && dx(t.low, t.high) < 1e-3;
                                    }),
                     e.ties.end());
        return e;
    }

    // Narrows [lo, hi] until the change between them is one event, then solves it.
    void resolve(const Equilibria& lo, const Equilibria& hi, int depth)
    {
        const std::vector<int> a = signature(lo);
        const std::vector<int> b = signature(hi);
        if (a == b)
            return;
        if (classify(lo, hi, a, b))
            return;
        if (depth > 60 || hi.T - lo.T < NARROWEST) {
            d.doubts.push_back({lo.T, Phase::liquid, 0.0, Phase::liquid, 0.0,
                                "the diagram changes between " + std::to_string(lo.T) + " K and " +
                                    std::to_string(hi.T) + " K in a way not resolved into invariants"});
            return;
        }
        const Equilibria mid = at(0.5 * (lo.T + hi.T));
        resolve(lo, mid, depth + 1);
        resolve(mid, hi, depth + 1);
    }

    // One event between lo and hi: found and solved (true), or more than one (false).
    bool classify(const Equilibria& lo, const Equilibria& hi, const std::vector<int>& a,
                  const std::vector<int>& b)
    {
        // Tie-lines kept on both sides must be the same ones, moved a little: an
        // end that jumps belongs to the change (a monotectic splits an L+S
        // tie-line into L+L and L+S of the same signature as before).
        const auto continues = [&](std::size_t i, std::size_t j) {
            const TieLine& p = lo.ties[i];
            const TieLine& q = hi.ties[j];
            return a[i] == b[j] && std::fabs(p.low.x - q.low.x) <= 0.05 &&
                   std::fabs(p.high.x - q.high.x) <= 0.05;
        };
        std::size_t front = 0;
        while (front < a.size() && front < b.size() && continues(front, front))
            ++front;
        std::size_t back = 0;
        while (back < a.size() - front && back < b.size() - front &&
               continues(a.size() - 1 - back, b.size() - 1 - back))
            ++back;
        const std::size_t na = a.size() - front - back;
        const std::size_t nb = b.size() - front - back;
        // The side with more tie-lines in the changed part.
        const bool more_below = na > nb;
        const Equilibria& many = more_below ? lo : hi;
        const Equilibria& few = more_below ? hi : lo;
        const std::size_t n_many = std::max(na, nb);
        const std::size_t n_few = std::min(na, nb);
        const TieLine* m0 = n_many > 0 ? &many.ties[front] : nullptr;
        const TieLine* m1 = n_many > 1 ? &many.ties[front + 1] : nullptr;
        const double T_guess = 0.5 * (lo.T + hi.T);

        if (n_many == 1 && n_few == 0) {
            if (m0->low_phase == m0->high_phase) {  // a miscibility gap closes
                if (hi.T - lo.T > NARROWEST)
                    return false;
                Invariant inv{InvariantKind::critical, T_guess, 1, {m0->low_phase}, {}};
                double x = 0.5 * (m0->low.x + m0->high.x);
                if (!solve_critical(s, m0->low_phase, x, inv.T) || !within(inv.T, lo, hi))
                    return fail(lo, hi, "the critical point of a miscibility gap was not solved");
                inv.at[0] = composition_from_x(x);
                d.invariants.push_back(inv);
                return true;
            }
            // A two-phase region meets a pure component: its melting point.
            const bool at_a = m0->low.x > 0.5;
            d.melting.push_back({at_a ? s.a.melting_point() : s.b.melting_point(), at_a});
            return true;
        }
        if (n_many == 2 && n_few == 0 && m0->high_phase == m1->low_phase && m0->low_phase == m1->high_phase &&
            m0->low_phase != m0->high_phase) {
            if (hi.T - lo.T > NARROWEST)
                return false;
            double x = 0.5 * (m0->high.x + m1->low.x);
            Invariant inv{InvariantKind::congruent, T_guess, 2, {Phase::liquid, Phase::solid}, {}};
            if (!solve_congruent(s, x, inv.T) || !within(inv.T, lo, hi))
                return fail(lo, hi, "a congruent point was not solved");
            inv.at[0] = inv.at[1] = composition_from_x(x);
            d.invariants.push_back(inv);
            return true;
        }
        if (n_many == 2 && n_few == 1 && m0->high_phase == m1->low_phase &&
            few.ties[front].low_phase == m0->low_phase && few.ties[front].high_phase == m1->high_phase) {
            Invariant inv{};
            inv.phases = 3;
            inv.phase[0] = m0->low_phase;
            inv.phase[1] = m0->high_phase;
            inv.phase[2] = m1->high_phase;
            inv.at[0] = m0->low;
            inv.at[1] = composition_from_x(0.5 * (m0->high.x + m1->low.x));
            inv.at[2] = m1->high;
            inv.T = T_guess;
            if (!solve_three_phase(s, inv.phase, inv.at, inv.T, lo.T - 1.0, hi.T + 1.0) ||
                !within(inv.T, lo, hi))
                return hi.T - lo.T > NARROWEST ? false
                                               : fail(lo, hi, "a three-phase equilibrium was not solved");
            inv.kind = three_phase_kind(inv.phase[0], inv.phase[1], inv.phase[2], !more_below);
            d.invariants.push_back(inv);
            return true;
        }
        return false;
    }

    // An event solved from a bracket lies in it, give or take the last hundredth of
    // a kelvin in which a region closing to a point is too narrow for any sampling.
    static bool within(double T, const Equilibria& lo, const Equilibria& hi)
    {
        return T >= lo.T - 0.01 && T <= hi.T + 0.01;
    }

    bool fail(const Equilibria& lo, const Equilibria& hi, const std::string& why)
    {
        d.doubts.push_back(
            {lo.T, Phase::liquid, 0.0, Phase::liquid, 0.0,
             why + " between " + std::to_string(lo.T) + " K and " + std::to_string(hi.T) + " K"});
        return true;
    }
};

}  // namespace

Diagram compute_diagram(const System& s)
{
    Diagram d;
    const Grid grid = make_grid(s);
    Sweep sweep{s, grid, d, {}};
    d.rows.reserve(static_cast<std::size_t>(s.range.count));
    Equilibria before{};
    for (long i = 0; i < s.range.count; ++i) {
        d.rows.push_back(equilibria_at(s, grid, s.range.at(i), d.doubts));
        Equilibria now = Sweep::visible(d.rows.back());
        if (i > 0)
            sweep.resolve(before, now, 0);
        before = std::move(now);
    }
    std::sort(d.invariants.begin(), d.invariants.end(),
              [](const Invariant& a, const Invariant& b) { return a.T < b.T; });
    // A temperature of the range exactly at a three-phase invariant holds the pairs
    // stable just above it, each solved at that temperature.
    for (const Invariant& inv : d.invariants) {
        if (inv.phases != 3)
            continue;
        const double i = std::round((inv.T - s.range.first) / s.range.step);
        if (i < 0.0 || i >= static_cast<double>(s.range.count))
            continue;
        Equilibria& row = d.rows[static_cast<std::size_t>(i)];
        if (std::fabs(row.T - inv.T) > 1e-9 * std::max(1.0, inv.T))
            continue;
        const Equilibria above = equilibria_at(s, grid, inv.T + 1e-6 * std::max(1.0, inv.T), sweep.scratch);
        row.ties.clear();
        for (const TieLine& t : above.ties) {
            TieLine at{};
            if (refine_tie_line(s, row.T, t.low_phase, t.low, t.high_phase, t.high, at) == Refined::ok)
                row.ties.push_back(at);
            else
                d.doubts.push_back({row.T, t.low_phase, t.low.x, t.high_phase, t.high.x,
                                    "not solved at the temperature of a three-phase invariant"});
        }
    }
    std::sort(d.melting.begin(), d.melting.end(),
              [](const EdgeEvent& a, const EdgeEvent& b) { return a.T < b.T; });
    return d;
}
