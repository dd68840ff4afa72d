// A phase of two sublattices that both hold both elements (a Laves phase with
// anti-site atoms, an ordered compound with a range of homogeneity): at each
// mole fraction x its Gibbs energy is the minimum over how the atoms share the
// sublattices, and that minimum is the curve the engine works with.
//
// With p the fraction of A on the first sublattice (a1 sites) and q on the
// second (a2), and f_A, f_B the sites of further sublattices holding one
// element each, x = (a1 p + a2 q + f_A) / (a1 + a2 + f_A + f_B), per formula unit:
//
//   G = sum_ij y1i y2j G_ij + RT [a1 (p ln p + p' ln p') + a2 (q ln q + q' ln q')]
//     + sum_j y2j p p' sum_k L1j_k (p - p')^k + sum_i y1i q q' sum_k L2i_k (q - q')^k
//     + p p' q q' L_reciprocal
#pragma once

// The terms a series of TC or beta of a phase of sublattices may hold.
constexpr int MOST_MAGNETIC_TERMS = 4;

// A property's coefficients at one temperature, per formula unit, of up to N
// terms a series.
template <int N>
struct LatticeTerms {
    double end[2][2];  // of A or B (0, 1) on the first sublattice and A or B on the second
    // Interactions on sublattice s (0, 1) with the other sublattice's A or B (0, 1): L_k.
    double series[2][2][N];
    int terms[2][2];
    double reciprocal;
};

// The coefficients at one temperature, per formula unit.
struct SublatticeValues {
    double sites[2];
    LatticeTerms<16> g;
    double RT;
    // Sites of sublattices holding A alone and B alone, beside the mixing ones;
    // beyond the range the mixing sublattices span the energy is HUGE_VAL. With
    // one_mixing only sites[0] mixes, and x fixes its share.
    bool one_mixing;
    double fixed_sites[2];
    // The magnetic term, RT ln(beta + 1) g(T / TC) per formula unit, with TC and
    // beta of the sublattices' fractions as the energy is.
    bool magnetic;
    LatticeTerms<MOST_MAGNETIC_TERMS> tc, beta;
    double T, R, antiferromagnetic_factor, structure_factor;
};

// The minimum at x: G per mole of atoms and its first two derivatives in x,
// with the share q of A on the second sublattice where it is reached.
struct SublatticeMinimum {
    double g, g1, g2;
    double q;
};

// Whether x lies beyond the range the mixing sublattices span, by more than
// its rounding: where the minimum below has no energy (HUGE_VAL, q -1).
bool beyond_shares(const SublatticeValues& v, double x);

// Of one mixing sublattice, no search: the curve itself (q is -1).
// guess, where it lies in (0, 1), is where the search for q starts: a grid's
// neighbouring point's q makes it a few Newton steps.
SublatticeMinimum sublattice_minimum(const SublatticeValues& v, double x, double guess = -1.0);

// The same for a grid, where the energy is what is read: guess, from a close
// point, is taken a few shrinking Newton steps on towards the minimum, its
// energy from the quadratic model once a step is small enough for the model to
// hold it to rounding; else the search above. The slope and bend hold to that
// step's square.
SublatticeMinimum sublattice_minimum_near(const SublatticeValues& v, double x, double guess);

// A grid point's shares q at the temperatures T it was last found at, the
// latest first, each with the logarithm u of its distance to the nearer end of
// its range (NaN where not yet).
constexpr int SHARES_KEPT = 3;
struct SharesAt {
    double q[SHARES_KEPT];
    double u[SHARES_KEPT];
    bool near_lo[SHARES_KEPT];
    double T[SHARES_KEPT];
};

// Adds the share q found at T as the latest.
void remember_share(const SublatticeValues& v, double x, double q, double T, SharesAt& last);

// The share at T extrapolated from those; the latest where too few are known,
// or where T lies too far beyond them.
double extrapolated_share(const SublatticeValues& v, double x, const SharesAt& last, double T);
