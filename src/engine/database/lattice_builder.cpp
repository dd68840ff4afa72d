#include "engine/database/lattice_builder.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <optional>
#include <set>
#include <tuple>

namespace {

constexpr std::size_t MOST_END_MEMBERS = 100000;  // enumerated for the phase's range in x

// The elements and their counts in a species' formula, as AL2, B1C2, C1SI1/+1
// write them: each element's name (the longest the database declares that
// matches), then its count (1 where none is written); a charge after '/'.
bool parse_formula(const Database& db, const std::string& formula,
                   std::vector<std::pair<std::string, double>>& out, bool& charged)
{
    charged = false;
    std::size_t i = 0;
    while (i < formula.size()) {
        if (formula[i] == '/') {
            const std::string charge = formula.substr(i + 1);
            charged = !charge.empty() && std::strtod(charge.c_str(), nullptr) != 0.0;
            return true;
        }
        std::string best;
        for (const DatabaseElement& e : db.elements)
            if (formula.compare(i, e.name.size(), e.name) == 0 && e.name.size() > best.size())
                best = e.name;
        if (formula.compare(i, 2, "VA") == 0 && best.size() < 2)
            best = "VA";
        if (best.empty())
            return false;
        i += best.size();
        std::size_t j = i;
        while (j < formula.size() &&
               (std::isdigit(static_cast<unsigned char>(formula[j])) || formula[j] == '.'))
            ++j;
        const double count = j > i ? std::strtod(formula.substr(i, j - i).c_str(), nullptr) : 1.0;
        out.emplace_back(best, count);
        i = j;
    }
    return true;
}

// The ordered phase's sublattices each disordered sublattice averages: the
// first ones together into the first, the rest one each.
std::vector<std::vector<int>> disorder_groups(std::size_t ordered, std::size_t disordered)
{
    std::vector<std::vector<int>> groups(disordered);
    const std::size_t first = ordered - disordered + 1;
    for (std::size_t s = 0; s < ordered; ++s)
        groups[s < first ? 0 : s - first + 1].push_back(static_cast<int>(s));
    return groups;
}

// The permutations of the first four sublattices that an ordered fcc (all of
// them: the corners of a regular tetrahedron) or bcc (those keeping the two
// pairs of next-nearest neighbours, 1-2 and 3-4, together) leaves the same.
std::vector<std::array<int, 4>> symmetries(char kind)
{
    std::vector<std::array<int, 4>> out;
    std::array<int, 4> p{0, 1, 2, 3};
    do {
        const bool pairs_kept = (p[0] / 2 == p[1] / 2) && (p[2] / 2 == p[3] / 2);
        if (kind == 'F' || pairs_kept)
            out.push_back(p);
    } while (std::next_permutation(p.begin(), p.end()));
    return out;
}

struct Builder {
    const Database& db;
    const DatabasePhase& phase;
    const std::string& a;
    const std::string& b;
    CoefficientBuilder& coefficients;
    LatticeKind& k;
    std::string& why;
    // The fraction of each constituent on each of the phase's sublattices.
    std::vector<std::map<std::string, int>> fraction_of;
    std::map<std::pair<std::vector<std::pair<int, double>>, double>, int> form_index;
    std::map<const Piecewise*, int> value_index;
    std::set<std::string> with_orders;  // ternary interactions given with orders 1 or 2

    int form(const LinearForm& f)
    {
        const auto key = std::make_pair(f.terms, f.constant);
        const auto found = form_index.find(key);
        if (found != form_index.end())
            return found->second;
        k.model.forms.push_back(f);
        const int index = static_cast<int>(k.model.forms.size()) - 1;
        form_index.emplace(key, index);
        return index;
    }

    int value(const Piecewise* p)
    {
        const auto [at, fresh] = value_index.emplace(p, static_cast<int>(k.values.size()));
        if (fresh) {
            k.values.emplace_back();
            coefficients.add(k.values.back(), p, 1.0);
        }
        return at->second;
    }

    bool sublattices();
    bool add(const DatabaseParameter& p, const Piecewise* given,
             const std::function<std::optional<LinearForm>(int, const std::string&)>& view, double scale);
    bool parameters_of(const DatabasePhase& source,
                       const std::function<std::optional<LinearForm>(int, const std::string&)>& view,
                       double scale, bool permuted);
    void ranges();
    void equivalents(const std::vector<std::vector<int>>& groups);
};

bool Builder::sublattices()
{
    // A phase whose file gives no CONSTITUENT line has sites and no
    // constituents: nothing to put on them, and its disordered part's
    // averages would look its sublattices up in an empty table.
    if (phase.constituents.size() != phase.sites.size()) {
        why = "its constituents are not given for its " + std::to_string(phase.sites.size()) + " sublattices";
        return false;
    }
    LatticeModel& m = k.model;
    m.first.push_back(0);
    for (std::size_t s = 0; s < phase.constituents.size(); ++s) {
        fraction_of.emplace_back();
        for (const std::string& c : phase.constituents[s]) {
            double atoms_a = 0.0;
            double atoms_b = 0.0;
            bool charged = false;
            if (!constituent_atoms(db, c, a, b, atoms_a, atoms_b, charged) || fraction_of.back().count(c) > 0)
                continue;  // not of the binary, or named twice
            if (charged) {
                why = "the charged species " + c + " (ionic models are not modelled)";
                return false;
            }
            fraction_of.back().emplace(c, static_cast<int>(m.constituents.size()));
            m.constituents.push_back(c);
            m.atoms_a.push_back(atoms_a);
            m.atoms_b.push_back(atoms_b);
        }
        if (fraction_of.back().empty()) {
            why = "empty";
            return false;
        }
        m.sites.push_back(phase.sites[s]);
        m.first.push_back(static_cast<int>(m.constituents.size()));
    }
    if (m.first.back() > MOST_FRACTIONS) {
        why = "more than " + std::to_string(MOST_FRACTIONS) + " site fractions in this binary";
        return false;
    }
    return true;
}

// A parameter's phase, property and constituents (in order on each
// sublattice), which its orders share.
std::string ternary_key(const DatabaseParameter& p)
{
    std::string key = p.phase + "/" + std::to_string(static_cast<int>(p.property));
    for (std::vector<std::string> on : p.constituents) {
        std::sort(on.begin(), on.end());
        key += ":";
        for (const std::string& c : on)
            key += c + ",";
    }
    return key;
}

// One parameter as a term: each named constituent's form from view (the
// sublattice of the source phase and the name), the Redlich-Kister, ternary
// or reciprocal factor its order asks for, given (the file's value, which a
// permuted copy of p shares) times scale. A parameter
// naming what view does not hold is not part of the binary.
bool Builder::add(const DatabaseParameter& p, const Piecewise* given,
                  const std::function<std::optional<LinearForm>(int, const std::string&)>& view, double scale)
{
    LatticeTerm term{p.property == Property::gibbs               ? LatticeProperty::gibbs
                     : p.property == Property::curie_temperature ? LatticeProperty::curie_temperature
                                                                 : LatticeProperty::bohr_magneton_number,
                     0,
                     scale,
                     {}};
    std::vector<std::vector<LinearForm>> mixing;  // the forms of each sublattice naming two or more
    for (std::size_t s = 0; s < p.constituents.size(); ++s) {
        std::vector<std::string> names = p.constituents[s];
        if (names.size() == 1 && names[0] == "*")
            continue;
        std::sort(names.begin(), names.end());  // the Redlich-Kister sign goes by the names' order
        std::vector<LinearForm> forms;
        for (const std::string& c : names) {
            const std::optional<LinearForm> f = view(static_cast<int>(s), c);
            if (!f)
                return true;  // not part of this binary
            forms.push_back(*f);
            term.factors.emplace_back(form(*f), 1);
        }
        if (forms.size() > 1)
            mixing.push_back(forms);
    }
    const auto difference = [](const LinearForm& f, const LinearForm& g) {
        LinearForm d{f.constant - g.constant, f.terms};
        for (const auto& [q, w] : g.terms)
            d.terms.emplace_back(q, -w);
        return d;
    };
    const int order = p.order;
    const std::string where = " (line " + std::to_string(p.line) + ")";
    if (order > 0 && mixing.size() == 1 && mixing[0].size() == 2) {
        term.factors.emplace_back(form(difference(mixing[0][0], mixing[0][1])), order);
    } else if (mixing.size() == 1 && mixing[0].size() == 3 &&
               (order > 0 || with_orders.count(ternary_key(p)) > 0)) {
        if (order > 2) {
            why = "a ternary interaction of order above 2" + where;
            return false;
        }
        // v_i = y_i + (1 - y_i - y_j - y_k) / 3 of the order's constituent.
        LinearForm v{1.0 / 3.0, {}};
        for (std::size_t i = 0; i < 3; ++i)
            for (const auto& [q, w] : mixing[0][i].terms)
                v.terms.emplace_back(q, (i == static_cast<std::size_t>(order) ? 1.0 : 0.0) * w - w / 3.0);
        term.factors.emplace_back(form(v), 1);
    } else if (order > 0 && mixing.size() == 2 && mixing[0].size() == 2 && mixing[1].size() == 2) {
        if (order > 2) {
            why = "a reciprocal interaction of order above 2" + where;
            return false;
        }
        const std::vector<LinearForm>& on = mixing[static_cast<std::size_t>(order - 1)];
        term.factors.emplace_back(form(difference(on[0], on[1])), 1);
    } else if (order > 0 && !mixing.empty()) {
        why = "an interaction of order " + std::to_string(order) + " the model does not take" + where;
        return false;
    } else if (order > 0) {
        return true;  // an end member has no order but 0
    }
    term.value = value(given);
    k.model.terms.push_back(term);
    if (k.model.forms.size() > static_cast<std::size_t>(MOST_FORMS)) {
        why = "more than " + std::to_string(MOST_FORMS) + " linear forms of its site fractions";
        return false;
    }
    return true;
}

// Every parameter of source through view; for an ordered fcc or bcc phase,
// each also in every arrangement of its first four sublattices the symmetry
// allows that the file does not give itself.
bool Builder::parameters_of(const DatabasePhase& source,
                            const std::function<std::optional<LinearForm>(int, const std::string&)>& view,
                            double scale, bool permuted)
{
    const bool symmetric = permuted && (source.kind == 'F' || source.kind == 'B') &&
                           source.sites.size() >= 4 && source.sites[0] == source.sites[1] &&
                           source.sites[0] == source.sites[2] && source.sites[0] == source.sites[3];
    const std::vector<std::array<int, 4>> moves =
        symmetric ? symmetries(source.kind) : std::vector<std::array<int, 4>>{{0, 1, 2, 3}};
    std::set<std::string> given;
    for (const DatabaseParameter& p : db.parameters)
        if (p.phase == source.name && p.property != Property::unmodelled)
            given.insert(ternary_key(p) + "#" + std::to_string(p.order));
    std::set<std::string> done;
    for (const DatabaseParameter& p : db.parameters) {
        if (p.phase != source.name || p.property == Property::unmodelled)
            continue;
        for (const std::array<int, 4>& move : moves) {
            DatabaseParameter q = p;
            for (int i = 0; i < 4 && symmetric; ++i)
                q.constituents[static_cast<std::size_t>(move[static_cast<std::size_t>(i)])] =
                    p.constituents[static_cast<std::size_t>(i)];
            const std::string key = ternary_key(q) + "#" + std::to_string(q.order);
            // An arrangement the file gives itself is its own parameter.
            if (!done.insert(key).second ||
                (key != ternary_key(p) + "#" + std::to_string(p.order) && given.count(key)))
                continue;
            if (!add(q, &p.value, view, scale))
                return false;
        }
    }
    return true;
}

void Builder::ranges()
{
    LatticeModel& m = k.model;
    const std::size_t n = m.sites.size();
    std::size_t combinations = 1;
    for (std::size_t s = 0; s < n && combinations <= MOST_END_MEMBERS; ++s)
        combinations *= static_cast<std::size_t>(m.first[s + 1] - m.first[s]);
    m.x_min = 1.0;
    m.x_max = 0.0;
    std::vector<int> pick(n, 0);
    for (std::size_t count = 0; count < std::min(combinations, MOST_END_MEMBERS); ++count) {
        double n_a = 0.0;
        double n_b = 0.0;
        for (std::size_t s = 0; s < n; ++s) {
            const std::size_t f = static_cast<std::size_t>(m.first[s]) + static_cast<std::size_t>(pick[s]);
            n_a += m.sites[s] * m.atoms_a[f];
            n_b += m.sites[s] * m.atoms_b[f];
        }
        if (n_a + n_b > 0.0) {
            const double x = n_a / (n_a + n_b);
            m.least_atoms = m.end_members.empty() ? n_a + n_b : std::min(m.least_atoms, n_a + n_b);
            m.x_min = std::min(m.x_min, x);
            m.x_max = std::max(m.x_max, x);
            m.end_members.push_back(x);
        }
        for (std::size_t s = 0; s < n; ++s) {  // the next combination, the first sublattice fastest
            if (++pick[s] < m.first[s + 1] - m.first[s])
                break;
            pick[s] = 0;
        }
    }
    std::sort(m.end_members.begin(), m.end_members.end());
    m.end_members.erase(std::unique(m.end_members.begin(), m.end_members.end()), m.end_members.end());
}

// The sublattices a symmetry interchanges: a disordered part's group of
// ordered sublattices, or those of equal sites and constituents.
void Builder::equivalents(const std::vector<std::vector<int>>& groups)
{
    LatticeModel& m = k.model;
    const auto same = [&](int s, int t) {
        return m.sites[static_cast<std::size_t>(s)] == m.sites[static_cast<std::size_t>(t)] &&
               phase.constituents[static_cast<std::size_t>(s)] ==
                   phase.constituents[static_cast<std::size_t>(t)];
    };
    if (!groups.empty()) {
        const std::vector<int>& g = groups[0];
        if (g.size() > 1 && std::all_of(g.begin(), g.end(), [&](int s) {
                return phase.constituents[static_cast<std::size_t>(s)] ==
                       phase.constituents[static_cast<std::size_t>(g[0])];
            }))
            m.equivalent.push_back(g);
        return;
    }
    std::vector<bool> taken(m.sites.size(), false);
    for (std::size_t s = 0; s < m.sites.size(); ++s) {
        if (taken[s] || m.first[s + 1] - m.first[s] < 2)
            continue;
        std::vector<int> group{static_cast<int>(s)};
        for (std::size_t t = s + 1; t < m.sites.size(); ++t)
            if (!taken[t] && same(static_cast<int>(s), static_cast<int>(t))) {
                group.push_back(static_cast<int>(t));
                taken[t] = true;
            }
        if (group.size() > 1)
            m.equivalent.push_back(group);
    }
}

// Terms of one value over the same forms, one term: the arrangements of an
// ordered phase's parameters all fall on the same averages where its
// disordered state is subtracted, and G is evaluated term by term.
void merge_equal_terms(LatticeModel& m)
{
    std::vector<LatticeTerm> merged;
    std::map<std::tuple<int, int, std::vector<std::pair<int, int>>>, std::size_t> where;
    for (LatticeTerm t : m.terms) {
        std::sort(t.factors.begin(), t.factors.end());
        const auto key = std::make_tuple(static_cast<int>(t.property), t.value, t.factors);
        const auto [at, fresh] = where.emplace(key, merged.size());
        if (fresh)
            merged.push_back(t);
        else
            merged[at->second].scale += t.scale;
    }
    merged.erase(
        std::remove_if(merged.begin(), merged.end(), [](const LatticeTerm& t) { return t.scale == 0.0; }),
        merged.end());
    m.terms = merged;
}

// Factors that are 1 in every state, left out of the terms, and the forms
// no term multiplies any more, left out of the model. A sublattice of one
// constituent (the (VA)3 of an ordered bcc with interstitials, the (FE)1
// of a carbide) holds it at a fraction of exactly 1, and a form of such
// fractions alone that sums to exactly 1 there multiplies each term it is in
// by 1 exactly: its value and its derivatives in the other forms keep their
// bits without it, and the four-sublattice orderings' end members lose a
// fifth factor of the twenty-odd products each evaluation takes.
void drop_unit_factors(LatticeModel& m)
{
    std::vector<bool> fixed(static_cast<std::size_t>(m.first.back()), false);
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s)
        if (m.first[s + 1] - m.first[s] == 1)
            fixed[static_cast<std::size_t>(m.first[s])] = true;
    std::vector<bool> unit(m.forms.size(), false);
    for (std::size_t f = 0; f < m.forms.size(); ++f) {
        const LinearForm& form = m.forms[f];
        double v = form.constant;  // as a state's forms are evaluated, each fixed fraction at 1
        bool only_fixed = true;
        for (const auto& [q, w] : form.terms) {
            only_fixed = only_fixed && fixed[static_cast<std::size_t>(q)];
            v += w * 1.0;
        }
        unit[f] = only_fixed && v == 1.0;
    }
    std::vector<bool> used(m.forms.size(), false);
    for (LatticeTerm& t : m.terms) {
        t.factors.erase(std::remove_if(t.factors.begin(), t.factors.end(),
                                       [&](const std::pair<int, int>& f) {
                                           return unit[static_cast<std::size_t>(f.first)];
                                       }),
                        t.factors.end());
        for (const auto& factor : t.factors)
            used[static_cast<std::size_t>(factor.first)] = true;
    }
    // Renumbered in their order, so that each term's factors stay sorted.
    std::vector<int> renumbered(m.forms.size(), -1);
    std::vector<LinearForm> kept;
    for (std::size_t f = 0; f < m.forms.size(); ++f)
        if (used[f]) {
            renumbered[f] = static_cast<int>(kept.size());
            kept.push_back(m.forms[f]);
        }
    m.forms = kept;
    for (LatticeTerm& t : m.terms)
        for (auto& factor : t.factors)
            factor.first = renumbered[static_cast<std::size_t>(factor.first)];
}

// The fraction of c on sublattice s itself; none where c is not there.
std::optional<LinearForm> own_fraction(const Builder& build, int s, const std::string& c)
{
    const auto& on = build.fraction_of[static_cast<std::size_t>(s)];
    const auto found = on.find(c);
    if (found == on.end())
        return std::nullopt;
    return LinearForm{0.0, {{found->second, 1.0}}};
}

// The disordered part's parameters on the ordered phase's fractions averaged
// by their sites within each of groups, and, unless the phase never
// disorders, its own parameters at that disordered state subtracted.
bool disordered_part_parameters(const DatabasePhase& phase, const DatabasePhase& part,
                                const std::vector<std::vector<int>>& groups, Builder& build)
{
    // A disordered fraction is the average over its group's sites.
    const auto averaged = [&](int g, const std::string& c) -> std::optional<LinearForm> {
        LinearForm f{0.0, {}};
        double sites = 0.0;
        for (const int s : groups[static_cast<std::size_t>(g)])
            sites += phase.sites[static_cast<std::size_t>(s)];
        for (const int s : groups[static_cast<std::size_t>(g)]) {
            const auto& on = build.fraction_of[static_cast<std::size_t>(s)];
            const auto found = on.find(c);
            if (found != on.end())
                f.terms.emplace_back(found->second, phase.sites[static_cast<std::size_t>(s)] / sites);
        }
        if (f.terms.empty())
            return std::nullopt;
        return f;
    };
    double first_sites = 0.0;
    for (const int s : groups[0])
        first_sites += phase.sites[static_cast<std::size_t>(s)];
    // Per formula unit of the ordered phase: the disordered part's energy
    // times the sites its first sublattice stands for.
    if (!build.parameters_of(part, averaged, first_sites / part.sites[0], false))
        return false;
    if (phase.never_disorders)
        return true;
    std::vector<int> group_of(phase.sites.size(), 0);
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const int s : groups[g])
            group_of[static_cast<std::size_t>(s)] = static_cast<int>(g);
    const auto at_disorder = [&](int s, const std::string& c) {
        return own_fraction(build, s, c) ? averaged(group_of[static_cast<std::size_t>(s)], c) : std::nullopt;
    };
    if (!build.parameters_of(phase, at_disorder, -1.0, true))
        return false;
    build.k.disordered = phase.disordered_part;
    return true;
}

}  // namespace

bool constituent_atoms(const Database& db, const std::string& name, const std::string& a,
                       const std::string& b, double& atoms_a, double& atoms_b, bool& charged)
{
    atoms_a = atoms_b = 0.0;
    charged = false;
    if (name == a || name == b || name == "VA") {
        atoms_a = name == a ? 1.0 : 0.0;
        atoms_b = name == b ? 1.0 : 0.0;
        return true;
    }
    for (const DatabaseSpecies& s : db.species) {
        if (s.name != name)
            continue;
        std::vector<std::pair<std::string, double>> formula;
        if (!parse_formula(db, s.formula.empty() ? s.name : s.formula, formula, charged))
            return false;
        for (const auto& [element, count] : formula) {
            if (element == a)
                atoms_a += count;
            else if (element == b)
                atoms_b += count;
            else if (element != "VA")
                return false;
        }
        return atoms_a + atoms_b > 0.0;
    }
    return false;
}

bool in_binary(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b)
{
    for (const std::vector<std::string>& list : phase.constituents) {
        const bool held = std::any_of(list.begin(), list.end(), [&](const std::string& c) {
            double atoms_a = 0.0;
            double atoms_b = 0.0;
            bool charged = false;
            return c == "VA" || constituent_atoms(db, c, a, b, atoms_a, atoms_b, charged);
        });
        if (!held)
            return false;
    }
    return true;
}

bool holds_molecules(const Database& db, const DatabasePhase& phase, const std::string& a,
                     const std::string& b)
{
    for (const std::vector<std::string>& list : phase.constituents)
        for (const std::string& c : list) {
            if (c == a || c == b || c == "VA")
                continue;
            double atoms_a = 0.0;
            double atoms_b = 0.0;
            bool charged = false;
            if (constituent_atoms(db, c, a, b, atoms_a, atoms_b, charged))
                return true;
        }
    return false;
}

bool lattice_phase(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b,
                   CoefficientBuilder& coefficients, PhaseModel& out, std::string& why)
{
    out = PhaseModel{phase.name, phase.liquid, LatticeKind{}};
    LatticeKind& k = std::get<LatticeKind>(out.kind);
    Builder build{db, phase, a, b, coefficients, k, why, {}, {}, {}, {}};
    if (!build.sublattices())
        return false;
    for (const DatabaseParameter& p : db.parameters)
        if (p.order > 0 && p.property != Property::unmodelled)
            for (const std::vector<std::string>& on : p.constituents)
                if (on.size() == 3) {
                    DatabaseParameter zero = p;
                    zero.order = 0;
                    build.with_orders.insert(ternary_key(zero));
                }
    const auto own = [&](int s, const std::string& c) { return own_fraction(build, s, c); };
    if (!build.parameters_of(phase, own, 1.0, true))
        return false;
    std::vector<std::vector<int>> groups;
    if (!phase.disordered_part.empty()) {
        const DatabasePhase* part = find_phase(db, phase.disordered_part);
        if (part == nullptr || part->sites.size() > phase.sites.size() || part->sites.empty()) {
            why = "its disordered part " + phase.disordered_part +
                  " is not a phase of sublattices it can average";
            return false;
        }
        groups = disorder_groups(phase.sites.size(), part->sites.size());
        if (!disordered_part_parameters(phase, *part, groups, build))
            return false;
    }
    const auto has = [&](LatticeProperty p) {
        return std::any_of(k.model.terms.begin(), k.model.terms.end(),
                           [&](const LatticeTerm& t) { return t.property == p; });
    };
    k.model.magnetic = phase.magnetic && has(LatticeProperty::curie_temperature) &&
                       has(LatticeProperty::bohr_magneton_number);
    k.model.antiferromagnetic_factor = phase.antiferromagnetic_factor;
    k.model.structure_factor = phase.structure_factor;
    merge_equal_terms(k.model);
    drop_unit_factors(k.model);
    build.ranges();
    if (!(k.model.x_max >= k.model.x_min)) {
        why = "no end member holds an atom";
        return false;
    }
    build.equivalents(groups);
    plan_evaluation(k.model);
    return true;
}
