#include "engine/phases/sublattices.h"

#include "engine/phases/magnetic.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int STEPS = 100;         // safeguarded Newton steps on the internal variable, at most
constexpr double SETTLED = 4e-16;  // of the bracket: q is found
// A Newton step this small in the logarithm has found q: the gradient read
// from q then holds to 1e-13 RT.
constexpr double FOUND = 1e-13;
constexpr double ROUNDING_STEP = 1e-9;  // steps in the logarithm below this only trace rounding
constexpr double LAST_STEP = 1e-7;
// For a grid: a first step below this in the logarithm is taken on the quadratic
// model, whose energy then holds to about its cube (1e-15 RT).
constexpr double NEAR_STEP = 1e-5;
constexpr double NEAR_FIRST_STEP = 1.0;  // a guess farther from the minimum is searched from
constexpr int NEAR_STEPS = 4;            // Newton steps from a guess at most, before the search
constexpr double NEAR_SHRINK = 0.5;      // each step at most this part of the last
// A share is extrapolated in T at most this many times the last interval ahead.
constexpr double FARTHEST_EXTRAPOLATION = 4.0;

// f(p) = p p' sum_k L_k (2p - 1)^k and its first two derivatives in p.
void interaction(const double* l, int n, double p, double out[3])
{
    double e0 = 0.0;
    double e1 = 0.0;
    double e2 = 0.0;
    const double t = 2.0 * p - 1.0;
    for (int k = n; k-- > 0;) {
        e2 = e2 * t + 2.0 * e1;
        e1 = e1 * t + e0;
        e0 = e0 * t + l[k];
    }
    // E(t) with d/dp = 2 d/dt; pp' E: (pp')' = -t, (pp')'' = -2.
    const double pq = p * (1.0 - p);
    out[0] = pq * e0;
    out[1] = -t * e0 + 2.0 * pq * e1;
    out[2] = -2.0 * e0 - 4.0 * t * e1 + 4.0 * pq * e2;
}

struct Partials {
    double g, gp, gq, gpp, gqq, gpq;
};

// The end members' part of a property's polynomial in the shares,
// sum_ij y1i y2j c_ij, added to d with its partial derivatives.
template <int N>
void add_ends(const LatticeTerms<N>& c, double p, double q, Partials& d)
{
    const double P[2] = {p, 1.0 - p};
    const double Q[2] = {q, 1.0 - q};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const double sp = i == 0 ? 1.0 : -1.0;
            const double sq = j == 0 ? 1.0 : -1.0;
            d.g += P[i] * Q[j] * c.end[i][j];
            d.gp += sp * Q[j] * c.end[i][j];
            d.gq += sq * P[i] * c.end[i][j];
            d.gpq += sp * sq * c.end[i][j];
        }
}

// The rest of it: the interactions on each sublattice and the reciprocal term.
template <int N>
void add_interactions(const LatticeTerms<N>& c, double p, double q, Partials& d)
{
    const double P[2] = {p, 1.0 - p};
    const double Q[2] = {q, 1.0 - q};
    for (int j = 0; j < 2; ++j) {
        const double w = Q[j];
        const double dw = j == 0 ? 1.0 : -1.0;
        double f[3];
        interaction(c.series[0][j], c.terms[0][j], p, f);
        d.g += w * f[0];
        d.gp += w * f[1];
        d.gq += dw * f[0];
        d.gpp += w * f[2];
        d.gpq += dw * f[1];
        interaction(c.series[1][j], c.terms[1][j], q, f);
        const double u = P[j];
        d.g += u * f[0];
        d.gq += u * f[1];
        d.gp += dw * f[0];
        d.gqq += u * f[2];
        d.gpq += dw * f[1];
    }
    const double L = c.reciprocal;
    const double pp = p * (1.0 - p);
    const double qq = q * (1.0 - q);
    d.g += L * pp * qq;
    d.gp += L * (1.0 - 2.0 * p) * qq;
    d.gq += L * pp * (1.0 - 2.0 * q);
    d.gpp += -2.0 * L * qq;
    d.gqq += -2.0 * L * pp;
    d.gpq += L * (1.0 - 2.0 * p) * (1.0 - 2.0 * q);
}

// A property's whole polynomial in the shares, with its partial derivatives.
template <int N>
Partials polynomial(const LatticeTerms<N>& c, double p, double q)
{
    Partials d{0, 0, 0, 0, 0, 0};
    add_ends(c, p, q, d);
    add_interactions(c, p, q, d);
    return d;
}

// The magnetic term and its partials, through TC and beta of the shares: its
// second derivatives along p, along q and along both at once, whose excess over
// the first two is twice the mixed one.
void add_magnetism(const SublatticeValues& v, double p, double q, Partials& d)
{
    const Partials tc = polynomial(v.tc, p, q);
    const Partials beta = polynomial(v.beta, p, q);
    const auto along = [&](double dp, double dq) {
        const auto jet = [&](const Partials& c) {
            return Jet{c.g, c.gp * dp + c.gq * dq, c.gpp * dp * dp + 2.0 * c.gpq * dp * dq + c.gqq * dq * dq,
                       0.0};
        };
        return magnetic_gibbs_jet(v.T, jet(tc), jet(beta), v.antiferromagnetic_factor, v.structure_factor,
                                  v.R, false);
    };
    const Jet jp = along(1.0, 0.0);
    const Jet jq = along(0.0, 1.0);
    const Jet both = along(1.0, 1.0);
    d.g += jp.v;
    d.gp += jp.d1;
    d.gq += jq.d1;
    d.gpp += jp.d2;
    d.gqq += jq.d2;
    d.gpq += 0.5 * (both.d2 - jp.d2 - jq.d2);
}

// G per formula unit and its partial derivatives in p and q; without value,
// the derivatives alone, each logarithm of a ratio taken once (the search's
// many steps need no more).
Partials partials(const SublatticeValues& v, double p, double q, bool value = true)
{
    Partials d{0, 0, 0, 0, 0, 0};
    add_ends(v.g, p, q, d);
    const double a1 = v.sites[0];
    const double a2 = v.sites[1];
    if (value) {
        const double lp = std::log(p);
        const double lp1 = std::log1p(-p);
        const double lq = std::log(q);
        const double lq1 = std::log1p(-q);
        const auto y_ln_y = [](double y, double ln_y) { return y > 0.0 ? y * ln_y : 0.0; };
        d.g += v.RT *
               (a1 * (y_ln_y(p, lp) + y_ln_y(1.0 - p, lp1)) + a2 * (y_ln_y(q, lq) + y_ln_y(1.0 - q, lq1)));
        d.gp += v.RT * a1 * (lp - lp1);
        d.gq += v.RT * a2 * (lq - lq1);
    } else {
        d.gp += v.RT * a1 * std::log(p / (1.0 - p));
        d.gq += v.RT * a2 * std::log(q / (1.0 - q));
    }
    d.gpp += v.RT * a1 / (p * (1.0 - p));
    d.gqq += v.RT * a2 / (q * (1.0 - q));
    add_interactions(v.g, p, q, d);
    if (v.magnetic)
        add_magnetism(v, p, q, d);
    return d;
}

// The range of the share q of A on the second sublattice at x: p = (shared -
// a2 q) / a1 stays in [0, 1], shared the A atoms the two sublattices hold (n x
// less those fixed elsewhere), n the atoms per formula unit.
struct Range {
    double n, shared, lo, hi;
};

Range share_range(const SublatticeValues& v, double x)
{
    const double a1 = v.sites[0];
    const double a2 = v.sites[1];
    const double n = a1 + a2 + v.fixed_sites[0] + v.fixed_sites[1];
    const double shared = n * x - v.fixed_sites[0];
    return {n, shared, std::max(0.0, (shared - a1) / a2), std::min(1.0, shared / a2)};
}

// Beyond the range the two sublattices reach (fixed sublattices of each
// element), by more than x's rounding.
bool beyond_range(const SublatticeValues& v, const Range& range)
{
    return range.shared < -4e-16 * range.n || range.shared > v.sites[0] + v.sites[1] + 4e-16 * range.n;
}

// One mixing sublattice of a sites beside the fixed ones: the atoms per
// formula unit n, and its share p of A, (n x - fixed A) / a, held in [0, 1].
struct OneMixing {
    double n, p;
};

OneMixing one_mixing_share(const SublatticeValues& v, double x)
{
    const double a = v.sites[0];
    const double n = a + v.fixed_sites[0] + v.fixed_sites[1];
    return {n, std::min(1.0, std::max(0.0, (n * x - v.fixed_sites[0]) / a))};
}

// Whether that share, held in [0, 1], gives x only to more than its rounding.
bool beyond_one_mixing(const SublatticeValues& v, double x, const OneMixing& m)
{
    return std::fabs(m.n * x - v.fixed_sites[0] - v.sites[0] * m.p) > 4e-16 * m.n;
}

// Newton's step for the share from q, in the logarithm of its distance to the
// nearer end of [lo, hi], where a fraction vanishes and its logarithm makes the
// gradient s nearly linear; c is the curvature in q. The new share, and du the
// step in that logarithm.
double log_newton(double q, double lo, double hi, double s, double c, double& du)
{
    const bool near_lo = q - lo <= hi - q;
    const double w = near_lo ? q - lo : hi - q;
    du = -s / (c * (near_lo ? w : -w));
    const double moved = w * std::exp(std::max(-50.0, std::min(50.0, du)));
    return near_lo ? lo + moved : hi - moved;
}

// The share q at the minimum nearest guess (or from the middle of the range).
double local_minimum(const SublatticeValues& v, double x, double guess)
{
    const double a1 = v.sites[0];
    const double a2 = v.sites[1];
    const Range range = share_range(v, x);
    const double shared = range.shared;
    double lo = range.lo;
    double hi = range.hi;
    const auto p_of = [&](double q) { return std::min(1.0, std::max(0.0, (shared - a2 * q) / a1)); };
    const double r = a2 / a1;
    // dF/dq along the constraint, and its slope: -inf at lo, +inf at hi.
    const auto gradient = [&](double q, double& curvature) {
        const Partials d = partials(v, p_of(q), q, false);
        curvature = d.gpp * r * r - 2.0 * d.gpq * r + d.gqq;
        return d.gq - r * d.gp;
    };
    const double lo0 = lo;
    const double hi0 = hi;
    double q = guess > lo && guess < hi ? guess : 0.5 * (lo + hi);
    double last_step = HUGE_VAL;
    for (int i = 0; i < STEPS && hi - lo > SETTLED * std::max(hi, 1e-300); ++i) {
        double c = 0.0;
        // An infinite gradient, where a share has rounded to an end, still
        // tells on which side the minimum lies: the bracket closes in on it.
        const double s = gradient(q, c);
        if (std::isnan(s) || (s == 0.0 && c >= 0.0))
            break;
        if (s == 0.0) {  // a maximum: the disordered point between two ordered variants
            q = q - lo > hi - q ? 0.5 * (lo + q) : 0.5 * (q + hi);
            continue;
        }
        const double was[4] = {q, lo, hi, last_step};
        (s > 0.0 ? hi : lo) = q;
        const bool near_lo = q - lo0 <= hi0 - q;
        double du = 0.0;
        const double newton = log_newton(q, lo0, hi0, s, c, du);
        // Bisection where Newton leaves the bracket, by ratios of the distance to
        // its nearer end where the bracket spans decades of it.
        double split = 0.5 * (lo + hi);
        const double dl = lo - lo0;
        const double dh = hi - lo0;
        if (near_lo && dl > 0.0 && dh > 4.0 * dl)
            split = lo0 + std::sqrt(dl * dh);
        else if (near_lo && dl == 0.0 && dh > 1e-300)
            split = lo0 + dh * 1e-4;
        const double el = hi0 - hi;
        const double eh = hi0 - lo;
        if (!near_lo && el > 0.0 && eh > 4.0 * el)
            split = hi0 - std::sqrt(el * eh);
        else if (!near_lo && el == 0.0 && eh > 1e-300)
            split = hi0 - eh * 1e-4;
        const bool inside = c > 0.0 && newton > lo && newton < hi;
        // Found: a step below FOUND, or one not a quarter of the last, which
        // was already small: the gradient's rounding is all that is left.
        if (inside &&
            (std::fabs(du) <= FOUND || (last_step < ROUNDING_STEP && std::fabs(du) > 0.25 * last_step)))
            break;
        // Newton's step from within LAST_STEP lands within its square of the
        // minimum: taken, and no further gradient needed.
        if (inside && std::fabs(du) <= LAST_STEP) {
            q = newton;
            break;
        }
        last_step = inside ? std::fabs(du) : HUGE_VAL;
        q = inside ? newton : split;
        // Nothing moved (the split rounds to an end of the range where the
        // minimum lies within a rounding of it): every step from here would
        // repeat this one.
        if (q == was[0] && lo == was[1] && hi == was[2] && last_step == was[3])
            break;
    }
    return q;
}

// One mixing sublattice of a sites beside the fixed ones: its share p of A is
// (n x - fixed A) / a, and G per formula unit the solution of its two ends in p.
// A share beyond [0, 1] by rounding alone (x at an end of the range, rounded) is
// that end.
SublatticeMinimum one_mixing_curve(const SublatticeValues& v, double x)
{
    const double a = v.sites[0];
    const OneMixing share = one_mixing_share(v, x);
    const double n = share.n;
    const double p = share.p;
    if (beyond_one_mixing(v, x, share))
        return {HUGE_VAL, 0.0, 0.0, -1.0};
    // The second share held at 1: the ends end[i][0] and the first series alone.
    Partials d = polynomial(v.g, p, 1.0);
    if (v.magnetic)
        add_magnetism(v, p, 1.0, d);
    const double lp = std::log(p);
    const double lp1 = std::log1p(-p);
    const double mixing = (p > 0.0 ? p * lp : 0.0) + (p < 1.0 ? (1.0 - p) * lp1 : 0.0);
    const double g = d.g + v.RT * a * mixing;
    const double gp = d.gp + v.RT * a * (lp - lp1);
    const double gpp = d.gpp + v.RT * a / (p * (1.0 - p));
    return {g / n, gp / a, gpp * n / (a * a), -1.0};
}

// The minimum per mole of atoms from the partials at its shares (p, q).
SublatticeMinimum minimum_from(const SublatticeValues& v, double n, double p, double q, const Partials& d)
{
    const double a1 = v.sites[0];
    const double a2 = v.sites[1];
    // At the minimum G_p / a1 = G_q / a2 = dg/dx. Read it on the sublattice whose
    // smaller fraction is larger: the other's, a rounding error of x itself
    // (an anti-site fraction of 1e-12 beside 1/3), holds few digits, and the
    // stiffness its logarithm gives it keeps q's own error harmless.
    const bool from_q = std::min(q, 1.0 - q) >= std::min(p, 1.0 - p);
    const double slope = from_q ? d.gq / a2 : d.gp / a1;
    // d(slope)/dx = n det H / (a^T adj(H) a), divided through by the stiffer
    // diagonal so that its 1/y does not cancel against itself.
    double bend = 0.0;
    if (d.gpp >= d.gqq)
        bend = n * (d.gqq - d.gpq * d.gpq / d.gpp) /
               (a2 * a2 + (a1 * a1 * d.gqq - 2.0 * a1 * a2 * d.gpq) / d.gpp);
    else
        bend = n * (d.gpp - d.gpq * d.gpq / d.gqq) /
               (a1 * a1 + (a2 * a2 * d.gpp - 2.0 * a1 * a2 * d.gpq) / d.gqq);
    return {d.g / n, slope, bend, q};
}

}  // namespace

bool beyond_shares(const SublatticeValues& v, double x)
{
    if (v.one_mixing)
        return beyond_one_mixing(v, x, one_mixing_share(v, x));
    return beyond_range(v, share_range(v, x));
}

SublatticeMinimum sublattice_minimum(const SublatticeValues& v, double x, double guess)
{
    if (v.one_mixing)
        return one_mixing_curve(v, x);
    const double a1 = v.sites[0];
    const double a2 = v.sites[1];
    const Range range = share_range(v, x);
    const double n = range.n;
    const double shared = range.shared;
    if (beyond_range(v, range))
        return {HUGE_VAL, 0.0, 0.0, -1.0};
    const auto p_of = [&](double q) { return std::min(1.0, std::max(0.0, (shared - a2 * q) / a1)); };
    double q = local_minimum(v, x, guess);
    // Of equal sites, the variant with the sublattices exchanged holds the same
    // x: where it lies lower, its own minimum is the phase's.
    if (a1 == a2) {
        const double swapped = p_of(q);
        if (partials(v, p_of(swapped), swapped).g < partials(v, p_of(q), q).g)
            q = local_minimum(v, x, swapped);
    }
    const double p = p_of(q);
    return minimum_from(v, n, p, q, partials(v, p, q));
}

void remember_share(const SublatticeValues& v, double x, double q, double T, SharesAt& last)
{
    for (int k = SHARES_KEPT - 1; k > 0; --k) {
        last.q[k] = last.q[k - 1];
        last.u[k] = last.u[k - 1];
        last.near_lo[k] = last.near_lo[k - 1];
        last.T[k] = last.T[k - 1];
    }
    const Range r = share_range(v, x);
    // The logarithm of the distance to the nearer end, which a share near its
    // end follows more nearly than the share itself.
    const bool near_lo = q - r.lo <= r.hi - q;
    last.q[0] = q;
    last.u[0] = v.one_mixing || !(q > 0.0 && q < 1.0) ? NAN : std::log(near_lo ? q - r.lo : r.hi - q);
    last.near_lo[0] = near_lo;
    last.T[0] = T;
}

double extrapolated_share(const SublatticeValues& v, double x, const SharesAt& last, double T)
{
    // By Lagrange's polynomial through the known temperatures, of the same
    // end, not reaching far past them.
    int known = 0;
    while (known < SHARES_KEPT && std::isfinite(last.u[known]) && std::isfinite(last.T[known]) &&
           last.near_lo[known] == last.near_lo[0])
        ++known;
    const double q0 = last.q[0];
    if (known < 2 ||
        !(std::fabs(T - last.T[0]) <= FARTHEST_EXTRAPOLATION * std::fabs(last.T[0] - last.T[known - 1])))
        return q0;
    double at = 0.0;
    for (int i = 0; i < known; ++i) {
        double weight = 1.0;
        for (int j = 0; j < known; ++j)
            if (j != i)
                weight *= (T - last.T[j]) / (last.T[i] - last.T[j]);
        at += weight * last.u[i];
    }
    const Range r = share_range(v, x);
    const double w = std::exp(at);
    const double q = last.near_lo[0] ? r.lo + w : r.hi - w;
    return q > r.lo && q < r.hi ? q : q0;
}

SublatticeMinimum sublattice_minimum_near(const SublatticeValues& v, double x, double guess)
{
    if (v.one_mixing || v.sites[0] == v.sites[1])
        return sublattice_minimum(v, x, guess);
    const Range r = share_range(v, x);
    const double a1 = v.sites[0];
    const double a2 = v.sites[1];
    const double ratio = a2 / a1;
    const auto p_of = [&](double q) { return std::min(1.0, std::max(0.0, (r.shared - a2 * q) / a1)); };
    // Newton's step from q as the search takes it, of du; NaN where it is no
    // descent or too long.
    const auto step = [&](double q, const Partials& d, double& s, double& c, double& du) {
        s = d.gq - ratio * d.gp;
        c = d.gpp * ratio * ratio - 2.0 * d.gpq * ratio + d.gqq;
        const double next = log_newton(q, r.lo, r.hi, s, c, du);
        return c > 0.0 && std::fabs(du) <= NEAR_FIRST_STEP ? next : std::numeric_limits<double>::quiet_NaN();
    };
    if (!(r.n > 0.0) || !(guess > r.lo && guess < r.hi))
        return sublattice_minimum(v, x, guess);
    double s = 0.0;
    double c = 0.0;
    double du = 0.0;
    // Where the guess is already that close, the model from it; else a few
    // Newton steps, and the model from the last, where the next step is about
    // that one's square.
    double q1 = guess;
    Partials d = partials(v, p_of(q1), q1);
    double q = step(q1, d, s, c, du);
    if (!(q > r.lo && q < r.hi))
        return sublattice_minimum(v, x, guess);
    for (int k = 1; !(std::fabs(du) <= NEAR_STEP); ++k) {
        const double last = std::fabs(du);
        q1 = q;
        d = partials(v, p_of(q1), q1);
        q = step(q1, d, s, c, du);
        // Newton's steps must shrink as they do near a minimum, else the search.
        const bool found = std::fabs(du) <= NEAR_STEP;
        const bool converging = q > r.lo && q < r.hi && (found || std::fabs(du) <= NEAR_SHRINK * last);
        if (!converging || (k == NEAR_STEPS && !found))
            return sublattice_minimum(v, x, q1);
    }
    const double dq = q - q1;
    const double dp = -ratio * dq;
    Partials at = d;
    at.g = d.g + s * dq + 0.5 * c * dq * dq;
    at.gp = d.gp + d.gpp * dp + d.gpq * dq;
    at.gq = d.gq + d.gpq * dp + d.gqq * dq;
    return minimum_from(v, r.n, p_of(q), q, at);
}
