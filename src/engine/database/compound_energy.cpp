#include "engine/database/compound_energy.h"

#include "engine/phases/magnetic.h"

#include <algorithm>
#include <cmath>

namespace {

int constituent_index(const std::string& name, const std::string& a, const std::string& b)
{
    return name == a ? 0 : name == b ? 1 : name == "VA" ? VACANCY : name == "*" ? ANY : -2;
}

// The part of a term that depends on composition: the product of the fractions
// it names, times (y_i - y_j)^k on the sublattice where it names two.
double weight(const BinaryPhase& p, const BinaryPhase::Term& t, const std::vector<std::vector<double>>& y)
{
    double w = 1.0;
    for (std::size_t s = 0; s < t.on.size(); ++s) {
        const std::vector<int>& named = t.on[s];
        if (named.size() == 1 && named[0] == ANY)
            continue;
        double difference = 0.0;
        for (std::size_t k = 0; k < named.size(); ++k) {
            const auto at = std::find(p.constituents[s].begin(), p.constituents[s].end(), named[k]);
            const double fraction = y[s][static_cast<std::size_t>(at - p.constituents[s].begin())];
            w *= fraction;
            difference += k == 0 ? fraction : -fraction;
        }
        if (named.size() == 2 && t.order > 0)
            w *= std::pow(difference, t.order);
    }
    return w;
}

}  // namespace

bool binary_phase(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b,
                  BinaryPhase& out, std::string& why)
{
    out = BinaryPhase{phase.name,
                      phase.liquid,
                      phase.sites,
                      {},
                      {},
                      phase.magnetic,
                      phase.antiferromagnetic_factor,
                      phase.structure_factor,
                      {}};
    for (const std::vector<std::string>& sublattice : phase.constituents) {
        std::vector<int> kept;
        for (const std::string& c : sublattice) {
            const int i = constituent_index(c, a, b);
            // A constituent named twice on one sublattice is one constituent.
            if (i >= 0 && std::find(kept.begin(), kept.end(), i) == kept.end())
                kept.push_back(i);
        }
        if (kept.empty()) {
            why = "empty";
            return false;
        }
        out.constituents.push_back(kept);
    }
    for (const DatabaseParameter& parameter : db.parameters) {
        if (parameter.phase != phase.name)
            continue;
        BinaryPhase::Term term{parameter.property, {}, parameter.order, &parameter.value};
        bool in_binary = true;
        int mixed = 0;
        for (std::vector<std::string> named : parameter.constituents) {
            // An odd order's sign goes by the constituents in alphabetical
            // order, whatever order the file names them in, as the programs
            // that assess these databases read them: L(A,B;1) is L(B,A;1).
            std::sort(named.begin(), named.end());
            std::vector<int> indices;
            for (const std::string& c : named) {
                const int i = constituent_index(c, a, b);
                in_binary = in_binary && i >= ANY;
                indices.push_back(i);
            }
            mixed += indices.size() > 1 ? 1 : 0;
            term.on.push_back(indices);
        }
        if (!in_binary)
            continue;
        if (parameter.property == Property::unmodelled) {
            out.unmodelled.push_back(parameter.property_name + " (line " + std::to_string(parameter.line) +
                                     ")");
            continue;
        }
        if (mixed > 1 && parameter.order > 0) {
            why = "a reciprocal parameter of order above 0 (line " + std::to_string(parameter.line) + ")";
            return false;
        }
        out.terms.push_back(term);
    }
    return true;
}

double gibbs_per_formula_unit(const BinaryPhase& p, const FunctionTable& functions, double T,
                              const std::vector<std::vector<double>>& y, double R, bool& extrapolated)
{
    double g = 0.0;
    double tc = 0.0;
    double beta = 0.0;
    for (const BinaryPhase::Term& t : p.terms) {
        const double w = weight(p, t, y);
        if (w == 0.0)
            continue;
        const double value = evaluate(*t.value, functions, T, extrapolated);
        (t.property == Property::gibbs               ? g
         : t.property == Property::curie_temperature ? tc
                                                     : beta) += w * value;
    }
    double mixing = 0.0;
    for (std::size_t s = 0; s < y.size(); ++s)
        for (const double fraction : y[s])
            mixing += fraction > 0.0 ? p.sites[s] * fraction * std::log(fraction) : 0.0;
    g += R * T * mixing;
    if (p.magnetic)
        g += magnetic_gibbs(T, tc, beta, p.antiferromagnetic_factor, p.structure_factor, R);
    return g;
}
