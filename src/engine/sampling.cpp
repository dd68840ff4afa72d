#include "engine/sampling.h"

#include "engine/hull.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int UNIFORM = 512;       // interior points x = i / UNIFORM
constexpr int PER_DECADE = 4;      // tail points per decade towards each pure component
constexpr int TAIL_DECADES = 40;   // down to 1e-40
constexpr double TAIL_END = 0.75;  // of a uniform spacing: where the tails stop short of the uniform points
constexpr int GOLDEN_STEPS = 60;   // golden-section steps at most: 0.618^60 of a spacing is 3e-16
constexpr double GOLDEN_WIDTH = 1e-13;     // and none once the bracket is this narrow
constexpr double NARROWEST_SPREAD = 1e-9;  // half-width of the extra samples around a hidden region, at least
constexpr int SPREAD = 16;                 // extra samples on each side of it
constexpr double SPREAD_STEP = 0.25;       // of the half-width, between them
constexpr double NEAR_SPINODAL = 0.05;     // in RT: a curvature minimum below this may hide a spinodal
constexpr double WIDE_SPINODAL = 0.5;      // in RT: one below minus this is wide enough for the grid
constexpr double CURVATURE_STEP = 1e-4;    // for the curvature's own curvature, by a central difference

// The energies of the stable pure components at T: the chord samples are held above.
void chord_ends(const System& s, double T, double& ga, double& gb)
{
    ga = std::min(pure_a(s, Phase::liquid, T), 0.0);
    gb = std::min(pure_b(s, Phase::liquid, T), 0.0);
}

// The lower of the two curves at c, above the chord joining the stable pure
// components (ga, gb) so that both ends keep their precision.
Sample sample_at(const System& s, const Composition& c, const Mixing* mix, double T, double ga, double gb)
{
    Sample best{c, HUGE_VAL, Phase::solid};
    for (Phase p : {Phase::solid, Phase::liquid}) {
        const Mixing& m = mix[phase_index(p)];
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
    for (int i = 0; i < GOLDEN_STEPS && b - a > GOLDEN_WIDTH; ++i) {
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
    const std::size_t n = grid.uniform_x.size();
    const double h = 1.0 / UNIFORM;
    const auto spread = [&](double centre, double half_width) {
        const double w = std::max(half_width, NARROWEST_SPREAD);
        for (int k = -SPREAD; k <= SPREAD; ++k) {
            const double x = centre + w * k * SPREAD_STEP;
            if (x > 0.0 && x < 1.0)
                extra.push_back(composition_from_x(x));
        }
    };
    // G_L - G_S: a sign change hidden between two grid points shows as an extremum.
    std::vector<double> d(n);
    for (std::size_t i = 0; i < n; ++i)
        d[i] = grid.liquid_minus_solid.at(i, T);
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
                grid.uniform_x[i - 1], grid.uniform_x[i + 1], sign, at);
            if (sign * v < 0.0)
                spread(at, h / 4.0);
        }
    }
    // x y G'' < 0 somewhere: a spinodal, which a gap surrounds.
    for (Phase p : {Phase::liquid, Phase::solid}) {
        const LinearInT& curve = grid.curvature[phase_index(p)];
        for (std::size_t i = 1; i + 1 < n; ++i) {
            const double ki = curve.at(i, T);
            if (!(ki <= curve.at(i - 1, T) && ki <= curve.at(i + 1, T)))
                continue;
            if (ki > NEAR_SPINODAL * R * T)  // far from a spinodal
                continue;
            const auto k = [&](double x) {
                double value = 0.0;
                double slope = 0.0;
                curvature(s, p, x, T, value, slope);
                return value;
            };
            double at = 0.0;
            const double v = extremum(k, grid.uniform_x[i - 1], grid.uniform_x[i + 1], 1, at);
            if (!(v < 0.0) || ki < -WIDE_SPINODAL * R * T)  // no spinodal, or one wide enough for the grid
                continue;
            // The spinodal's half-width from the curvature's own curvature; the gap
            // around it is about sqrt(3) times wider.
            const double e = CURVATURE_STEP;
            const double k2 = (k(at + e) + k(at - e) - 2.0 * v) / (e * e);
            spread(at, k2 > 0.0 ? std::min(2.0 * h, std::sqrt(-2.0 * v / k2)) : 2.0 * h);
        }
    }
    return extra;
}

}  // namespace

int phase_index(Phase p)
{
    return p == Phase::liquid ? 0 : 1;
}

double dx(const Composition& from, const Composition& to)
{
    return abscissa_difference({from.x, from.y, 0.0}, {to.x, to.y, 0.0});
}

Grid make_grid(const System& s)
{
    Grid grid;
    std::vector<double> tail;
    for (int k = PER_DECADE * TAIL_DECADES;; --k) {  // 1e-40 up to the first uniform point
        const double v = std::pow(10.0, -static_cast<double>(k) / PER_DECADE);
        if (v >= TAIL_END / UNIFORM)
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
        grid.uniform_x.push_back(x);
        grid.liquid_minus_solid.at_0K.push_back(v0);
        grid.liquid_minus_solid.per_K.push_back(v1 - v0);
        for (Phase p : {Phase::liquid, Phase::solid}) {
            curvature(s, p, x, 0.0, v0, unused);
            curvature(s, p, x, 1.0, v1, unused);
            grid.curvature[phase_index(p)].at_0K.push_back(v0);
            grid.curvature[phase_index(p)].per_K.push_back(v1 - v0);
        }
    }
    for (Phase p : {Phase::liquid, Phase::solid}) {
        Grid::MixingColumns& m = grid.phase[phase_index(p)];
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

void add_samples(const System& s, std::vector<Sample>& samples, const std::vector<Composition>& extra,
                 double T)
{
    double ga = 0.0;
    double gb = 0.0;
    chord_ends(s, T, ga, gb);
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

std::vector<int> hull_of(const std::vector<Sample>& samples)
{
    std::vector<HullPoint> points;
    points.reserve(samples.size());
    for (const Sample& s : samples)
        points.push_back({s.c.x, s.c.y, s.g});
    return lower_hull(points);
}

std::vector<Sample> samples_at(const System& s, const Grid& grid, double T)
{
    double ga = 0.0;
    double gb = 0.0;
    chord_ends(s, T, ga, gb);
    const std::size_t n = grid.at.size();
    std::vector<Sample> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Mixing mix[2] = {
            {grid.phase[0].a0[i], grid.phase[0].a1[i], grid.phase[0].b0[i], grid.phase[0].b1[i]},
            {grid.phase[1].a0[i], grid.phase[1].a1[i], grid.phase[1].b0[i], grid.phase[1].b1[i]}};
        samples[i] = sample_at(s, grid.at[i], mix, T, ga, gb);
    }
    add_samples(s, samples, hidden_regions(s, grid, T), T);
    return samples;
}
