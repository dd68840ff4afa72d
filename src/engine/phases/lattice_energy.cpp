// The energy of a phase of sublattices at a state: G per formula unit
// summed over its terms, with its gradient and Hessian in the fractions,
// and its derivatives in T at a state held fixed.
#include "engine/phases/lattice.h"

#include "engine/phases/magnetic.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr int N = MOST_FRACTIONS;
constexpr int MOST_FACTORS = 16;  // forms one term multiplies

double power(double v, int p)
{
    double r = 1.0;
    for (int i = 0; i < p; ++i)
        r *= v;
    return r;
}

// Each linear form's value at the state y.
void forms_at_state(const LatticeModel& m, const SiteFractions& y, double* forms_at)
{
    for (std::size_t k = 0; k < m.forms.size(); ++k) {
        double v = m.forms[k].constant;
        for (const auto& [q, w] : m.forms[k].terms)
            v += w * y[static_cast<std::size_t>(q)];
        forms_at[k] = v;
    }
}

// One property summed over its terms, as a function of the linear forms:
// its value, gradient and Hessian in the forms' values (zeroed over the
// model's f forms where asked for). Each term is a product of a few forms,
// whose derivatives in them are a handful of products; mapped onto the
// fractions once for all terms (each form names one or a few fractions).
// The Hessian is symmetric, and past the terms only its upper triangle
// (a <= b) is read: half the work in the magnetic chain rule and in the map
// onto the fractions, most of an evaluation of a bcc of four sublattices
// beside its disordered part. The terms fill both triangles, which costs
// them less than finding the upper entry of each pair.
struct Sum {
    double v = 0.0;
    double g[MOST_FORMS];
    double h[MOST_FORMS * MOST_FORMS];

    void clear(int f, bool derivatives)
    {
        v = 0.0;
        if (!derivatives)
            return;
        std::fill(g, g + f, 0.0);
        std::fill(h, h + static_cast<std::ptrdiff_t>(f) * f, 0.0);
    }
};

// One term: its value times its factors, with their derivatives in the forms.
// F is its factors' count where the caller knows it (0 where not), so that the
// loops of the common short terms unroll; every product is taken left to
// right over the factors either way, and a term sums to the same bits.
// LINEAR where every power is 1 (all but the Redlich-Kister series' higher
// orders): each factor's derivative is then exactly 1 and its second
// derivative 0, whose products change no bit and are not taken.
template <int F, bool LINEAR>
void add_term_of(const LatticeTerm& t, double value, const double* forms_at, int f, bool derivatives,
                 Sum& out)
{
    const int n = F > 0 ? F : static_cast<int>(t.factors.size());
    constexpr int SIZE = F > 0 ? F : MOST_FACTORS;
    double E[SIZE];
    double d[SIZE];
    double e[SIZE];
    int at[SIZE];
    for (int i = 0; i < n; ++i) {
        const auto& [form, p] = t.factors[static_cast<std::size_t>(i)];
        const double L = forms_at[form];
        at[i] = form;
        E[i] = LINEAR ? L : power(L, p);
        d[i] = LINEAR ? 1.0 : p * power(L, p - 1);
        e[i] = p >= 2 ? p * (p - 1) * power(L, p - 2) : 0.0;
    }
    double all = value;
    for (int i = 0; i < n; ++i)
        all *= E[i];
    out.v += all;
    if (!derivatives)
        return;
    // value times the factors before i, left to right as the general loop takes them
    double before[SIZE];
    before[0] = value;
    for (int i = 1; i < n; ++i)
        before[i] = before[i - 1] * E[i - 1];
    for (int i = 0; i < n; ++i) {
        double others = before[i];
        for (int k = i + 1; k < n; ++k)
            others *= E[k];
        out.g[at[i]] += LINEAR ? others : d[i] * others;
        if (!LINEAR)
            out.h[at[i] * f + at[i]] += e[i] * others;
        double between = before[i];  // times the factors after i and before j
        for (int j = i + 1; j < n; ++j) {
            double rest = between;
            for (int k = j + 1; k < n; ++k)
                rest *= E[k];
            between *= E[j];
            const double c = LINEAR ? rest : d[i] * d[j] * rest;
            out.h[at[i] * f + at[j]] += c;
            out.h[at[j] * f + at[i]] += c;
        }
    }
}

template <int F>
void add_term_of(const LatticeTerm& t, double value, const double* forms_at, int f, bool derivatives,
                 Sum& out)
{
    if (t.linear)
        add_term_of<F, true>(t, value, forms_at, f, derivatives, out);
    else
        add_term_of<F, false>(t, value, forms_at, f, derivatives, out);
}

void add_term(const LatticeTerm& t, double value, const double* forms_at, int f, bool derivatives, Sum& out)
{
    switch (t.factors.size()) {
    case 1:
        return add_term_of<1>(t, value, forms_at, f, derivatives, out);
    case 2:
        return add_term_of<2>(t, value, forms_at, f, derivatives, out);
    case 3:
        return add_term_of<3>(t, value, forms_at, f, derivatives, out);
    case 4:
        return add_term_of<4>(t, value, forms_at, f, derivatives, out);
    case 5:
        return add_term_of<5>(t, value, forms_at, f, derivatives, out);
    default:
        return add_term_of<0>(t, value, forms_at, f, derivatives, out);
    }
}

// A gradient and Hessian in the forms as ones in the fractions, added to g
// and h: the Hessian's entries each term can make, as plan_evaluation lists
// them; every other entry is zero.
void onto_fractions(const LatticeModel& m, const Sum& s, double* g, double* h)
{
    const int f = static_cast<int>(m.forms.size());
    const int n = fractions_of(m);
    for (int a = 0; a < f; ++a)
        for (const auto& [q, wq] : m.forms[static_cast<std::size_t>(a)].terms)
            g[q] += s.g[a] * wq;
    for (const LatticeModel::Scatter& e : m.hessian_onto_fractions)
        h[e.to] += s.h[e.from] * e.w;
    for (int q = 0; q < n; ++q)
        for (int r = q + 1; r < n; ++r)
            h[r * n + q] = h[q * n + r];
}

// The magnetic term's derivatives in the forms by the chain rule through TC
// and beta, added to G's. Only the forms of TC's and beta's own terms have any:
// for every other, each product is a zero that would leave G's as it is.
void magnetic_onto_forms(const LatticeModel& m, const MagneticPartials& p, const Sum& tc, const Sum& beta,
                         int f, Sum& G)
{
    const std::vector<int>& forms = m.magnetic_forms;  // ascending: b from a on is the upper triangle
    for (std::size_t i = 0; i < forms.size(); ++i) {
        const int a = forms[i];
        G.g[a] += p.tc * tc.g[a] + p.beta * beta.g[a];
        for (std::size_t j = i; j < forms.size(); ++j) {
            const int b = forms[j];
            G.h[a * f + b] += p.tc * tc.h[a * f + b] + p.beta * beta.h[a * f + b] +
                              p.tc_tc * tc.g[a] * tc.g[b] + p.beta_beta * beta.g[a] * beta.g[b] +
                              p.tc_beta * (tc.g[a] * beta.g[b] + beta.g[a] * tc.g[b]);
        }
    }
}

}  // namespace

int fractions_of(const LatticeModel& m)
{
    return m.first.empty() ? 0 : m.first.back();
}

void plan_evaluation(LatticeModel& m)
{
    const int f = static_cast<int>(m.forms.size());
    const int n = fractions_of(m);
    // The pairs of forms some term multiplies together (a form with itself
    // too), and with the magnetic term every pair of TC's and beta's forms.
    const auto pair = [f](int a, int b) {
        return static_cast<std::size_t>(a) * static_cast<std::size_t>(f) + static_cast<std::size_t>(b);
    };
    std::vector<bool> paired(pair(f, 0), false);
    std::vector<bool> magnetic(static_cast<std::size_t>(f), false);
    for (LatticeTerm& t : m.terms)
        t.linear = std::all_of(t.factors.begin(), t.factors.end(),
                               [](const std::pair<int, int>& factor) { return factor.second == 1; });
    for (const LatticeTerm& t : m.terms) {
        if (t.property != LatticeProperty::gibbs) {
            for (const auto& factor : t.factors)
                magnetic[static_cast<std::size_t>(factor.first)] = true;
            continue;
        }
        for (const auto& i : t.factors)
            for (const auto& j : t.factors)
                paired[pair(i.first, j.first)] = true;
    }
    m.magnetic_forms.clear();
    for (int a = 0; a < f; ++a)
        if (m.magnetic && magnetic[static_cast<std::size_t>(a)])
            m.magnetic_forms.push_back(a);
    for (const int a : m.magnetic_forms)
        for (const int b : m.magnetic_forms)
            paired[pair(a, b)] = true;
    m.hessian_onto_fractions.clear();
    for (int a = 0; a < f; ++a)
        for (int b = 0; b < f; ++b) {
            if (!paired[pair(a, b)])
                continue;
            // Into the fractions' upper triangle (q <= r) from the forms'.
            const int from = std::min(a, b) * f + std::max(a, b);
            for (const auto& [q, wq] : m.forms[static_cast<std::size_t>(a)].terms)
                for (const auto& [r, wr] : m.forms[static_cast<std::size_t>(b)].terms)
                    if (q <= r)
                        m.hessian_onto_fractions.push_back({from, q * n + r, wq * wr});
        }
}

void lattice_atoms(const LatticeModel& m, const SiteFractions& y, double& n_a, double& n)
{
    n_a = 0.0;
    double n_b = 0.0;
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s)
        for (int k = m.first[s]; k < m.first[s + 1]; ++k) {
            n_a += m.sites[s] * m.atoms_a[static_cast<std::size_t>(k)] * y[static_cast<std::size_t>(k)];
            n_b += m.sites[s] * m.atoms_b[static_cast<std::size_t>(k)] * y[static_cast<std::size_t>(k)];
        }
    n = n_a + n_b;
}

Jet lattice_energy_in_T(const LatticeModel& m, const std::vector<Jet>& values, double T, double R,
                        const SiteFractions& y)
{
    double forms_at[MOST_FORMS];
    forms_at_state(m, y, forms_at);
    // Each property is linear in the values: each term's weight at y times its value's jet.
    Jet sums[3] = {constant(0.0), constant(0.0), constant(0.0)};
    for (const LatticeTerm& t : m.terms) {
        double weight = t.scale;
        for (const auto& [form, p] : t.factors)
            weight *= power(forms_at[form], p);
        Jet& sum = sums[static_cast<int>(t.property)];
        sum = sum + weight * values[static_cast<std::size_t>(t.value)];
    }
    double mixing = 0.0;
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s)
        for (int k = m.first[s]; k < m.first[s + 1]; ++k) {
            const double yk = y[static_cast<std::size_t>(k)];
            if (yk > 0.0)
                mixing += m.sites[s] * yk * std::log(yk);
        }
    Jet g = sums[0] + Jet{R * T * mixing, R * mixing, 0.0, 0.0};
    if (m.magnetic)
        g = g + magnetic_gibbs_in_T(T, sums[1], sums[2], m.antiferromagnetic_factor, m.structure_factor, R);
    return g;
}

double lattice_energy(const LatticeAtT& at, const SiteFractions& y, double* gradient, double* hessian)
{
    const LatticeModel& m = *at.model;
    const int n = fractions_of(m);
    const int f = static_cast<int>(m.forms.size());
    const bool derivatives = gradient != nullptr || hessian != nullptr;
    double forms_at[MOST_FORMS];
    forms_at_state(m, y, forms_at);
    Sum sums[3];
    for (int property = 0; property < 3; ++property)
        sums[property].clear(f, derivatives && (property == 0 || m.magnetic));
    for (const LatticeTerm& t : m.terms)
        if (t.property == LatticeProperty::gibbs || m.magnetic)
            add_term(t, at.values[static_cast<std::size_t>(t.value)] * t.scale, forms_at, f, derivatives,
                     sums[static_cast<int>(t.property)]);
    Sum& G = sums[0];
    double value = G.v;
    if (m.magnetic) {
        // The magnetic term of TC and beta, each a sum over forms: its
        // derivatives in the forms by the chain rule, into G's.
        const Sum& tc = sums[1];
        const Sum& beta = sums[2];
        const MagneticPartials p =
            magnetic_partials(at.T, tc.v, beta.v, m.antiferromagnetic_factor, m.structure_factor, at.R);
        value += p.g;
        if (derivatives)
            magnetic_onto_forms(m, p, tc, beta, f, G);
    }
    // Only the n x n the fractions use: the whole would be cleared for nothing.
    double g[N];
    double h[N * N];
    std::fill(g, g + n, 0.0);
    std::fill(h, h + static_cast<std::ptrdiff_t>(n) * n, 0.0);
    if (derivatives)
        onto_fractions(m, G, g, h);
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s)
        for (int k = m.first[s]; k < m.first[s + 1]; ++k) {
            const double yk = y[static_cast<std::size_t>(k)];
            if (!(yk > 0.0))
                continue;  // a fraction held at zero: y ln y vanishes, and it never moves
            const double a = at.RT * m.sites[s];
            const double ln_y = std::log(yk);
            value += a * yk * ln_y;
            if (!derivatives)
                continue;
            g[k] += a * (ln_y + 1.0);
            h[k * n + k] += a / yk;
        }
    if (gradient != nullptr)
        std::copy(g, g + n, gradient);
    if (hessian != nullptr)
        std::copy(h, h + static_cast<std::ptrdiff_t>(n) * n, hessian);
    return value;
}
