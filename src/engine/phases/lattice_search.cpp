// The lowest state of a phase of sublattices at x: the minimiser from the
// guess, the disordered start and a start towards each end member, one start
// of each set that a symmetry of the structure maps onto each other.
#include "engine/phases/lattice.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// Relative: a permutation of equivalent sublattices that changes G by no more
// than this at a generic state is a symmetry of the phase.
constexpr double SYMMETRIC = 1e-12;
// Two sublattices whose fractions differ by no more than this hold one state.
constexpr double SAME_STATE = 1e-6;

// The fractions permuted as the sublattices of group are: sublattice group[i]
// takes what group[order[i]] held.
SiteFractions permuted(const LatticeModel& m, const std::vector<int>& group, const std::vector<int>& order,
                       const SiteFractions& y)
{
    SiteFractions out = y;
    for (std::size_t i = 0; i < group.size(); ++i) {
        const auto to = static_cast<std::size_t>(m.first[static_cast<std::size_t>(group[i])]);
        const auto from = static_cast<std::size_t>(
            m.first[static_cast<std::size_t>(group[static_cast<std::size_t>(order[i])])]);
        const auto size = static_cast<std::size_t>(m.first[static_cast<std::size_t>(group[i]) + 1]) - to;
        for (std::size_t k = 0; k < size; ++k)
            out[to + k] = y[from + k];
    }
    return out;
}

// The permutations of each group of equivalent sublattices that leave G as
// it is at T, tried at a generic state: the sublattices the file declares
// alike need not be (a bcc of four sublattices keeps only those that keep its
// nearest and next-nearest pairs), and a start whose image under a symmetry
// was already searched from finds the same minimum's image.
std::vector<std::pair<std::size_t, std::vector<int>>> symmetries(const LatticeAtT& at)
{
    const LatticeModel& m = *at.model;
    SiteFractions generic{};
    for (std::size_t s = 0; s + 1 < m.first.size(); ++s) {
        double sum = 0.0;
        for (int k = m.first[s]; k < m.first[s + 1]; ++k)
            sum += generic[static_cast<std::size_t>(k)] =
                1.0 + std::fmod(0.618033988749895 * (k + 1) * (k + 3), 1.0);
        for (int k = m.first[s]; k < m.first[s + 1]; ++k)
            generic[static_cast<std::size_t>(k)] /= sum;
    }
    const double g = lattice_energy(at, generic, nullptr, nullptr);
    std::vector<std::pair<std::size_t, std::vector<int>>> out;
    for (std::size_t gi = 0; gi < m.equivalent.size(); ++gi) {
        std::vector<int> order(m.equivalent[gi].size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        while (std::next_permutation(order.begin(), order.end())) {
            const double there =
                lattice_energy(at, permuted(m, m.equivalent[gi], order, generic), nullptr, nullptr);
            if (std::fabs(there - g) <= SYMMETRIC * std::max(std::fabs(g), at.RT))
                out.emplace_back(gi, order);
        }
    }
    return out;
}

// The symmetries at T, found at the first search that needs them.
const std::vector<std::pair<std::size_t, std::vector<int>>>& symmetries_at(const LatticeAtT& at)
{
    if (!at.symmetries_known) {
        at.symmetries = symmetries(at);
        at.symmetries_known = true;
    }
    return at.symmetries;
}

// Starts one of whose images under a symmetry comes before them are left out:
// each orbit is searched from once.
void one_start_per_orbit(const LatticeAtT& at, std::vector<SiteFractions>& starts)
{
    const LatticeModel& m = *at.model;
    const auto& symmetric = symmetries_at(at);
    if (symmetric.empty())
        return;
    std::vector<SiteFractions> kept;
    for (const SiteFractions& start : starts) {
        const bool seen = std::any_of(symmetric.begin(), symmetric.end(), [&](const auto& sym) {
            const SiteFractions image = permuted(m, m.equivalent[sym.first], sym.second, start);
            return image != start && std::binary_search(kept.begin(), kept.end(), image);
        });
        if (!seen)
            kept.insert(std::upper_bound(kept.begin(), kept.end(), start), start);
    }
    starts = kept;
}

// Whether sublattices s and t of one group hold the same state at y.
bool same_state(const LatticeModel& m, const SiteFractions& y, int s, int t)
{
    const auto first_s = static_cast<std::size_t>(m.first[static_cast<std::size_t>(s)]);
    const auto first_t = static_cast<std::size_t>(m.first[static_cast<std::size_t>(t)]);
    const auto size = static_cast<std::size_t>(m.first[static_cast<std::size_t>(s) + 1]) - first_s;
    for (std::size_t k = 0; k < size; ++k)
        if (std::fabs(y[first_s + k] - y[first_t + k]) > SAME_STATE)
            return false;
    return true;
}

}  // namespace

int lattice_pattern(const LatticeAtT& at, const SiteFractions& y)
{
    const LatticeModel& m = *at.model;
    const auto& symmetric = symmetries_at(at);
    int distinct = 0;
    for (std::size_t gi = 0; gi < m.equivalent.size(); ++gi) {
        // Sublattices a file declares alike that no symmetry interchanges
        // (sigma's) hold different states at every x: no ordering of theirs.
        if (std::none_of(symmetric.begin(), symmetric.end(),
                         [&](const auto& sym) { return sym.first == gi; }))
            continue;
        std::vector<int> kept;  // one sublattice of each distinct state so far
        for (const int s : m.equivalent[gi])
            if (std::none_of(kept.begin(), kept.end(), [&](int t) { return same_state(m, y, s, t); }))
                kept.push_back(s);
        distinct += static_cast<int>(kept.size());
    }
    return distinct;
}

SiteFractions lattice_arranged(const LatticeAtT& at, const SiteFractions& y)
{
    const LatticeModel& m = *at.model;
    // Within one group, the images compare sublattice after sublattice in
    // the group's order, each by its fractions as the file lists them.
    const auto group_fractions = [&](const std::vector<int>& group, const SiteFractions& state) {
        std::vector<double> out;
        for (const int sub : group)
            for (int k = m.first[static_cast<std::size_t>(sub)];
                 k < m.first[static_cast<std::size_t>(sub) + 1]; ++k)
                out.push_back(state[static_cast<std::size_t>(k)]);
        return out;
    };
    SiteFractions out = y;
    const auto& symmetric = symmetries_at(at);
    for (std::size_t gi = 0; gi < m.equivalent.size(); ++gi) {
        const std::vector<int>& group = m.equivalent[gi];
        const SiteFractions held = out;
        std::vector<double> best = group_fractions(group, held);
        for (const auto& [g, order] : symmetric) {
            if (g != gi)
                continue;
            const SiteFractions image = permuted(m, group, order, held);
            std::vector<double> there = group_fractions(group, image);
            if (there > best) {
                best = std::move(there);
                out = image;
            }
        }
    }
    return out;
}

LatticeMinimum lattice_lowest(const LatticeAtT& at, double x, const SiteFractions* guess, SiteFractions& y)
{
    const LatticeModel& m = *at.model;
    LatticeMinimum best{HUGE_VAL, 0.0, 0.0, false, 0};
    SiteFractions best_y{};
    SiteFractions base{};
    std::vector<SiteFractions> starts;
    if (!lattice_starts(at, x, base, starts))
        return best;
    const auto consider = [&](const SiteFractions* start) {
        SiteFractions found{};
        const LatticeMinimum here = lattice_minimum(at, x, start, found);
        if (here.found && (!best.found || here.g < best.g)) {
            best = here;
            best_y = found;
        }
    };
    if (guess != nullptr)
        consider(guess);
    // An ordered phase with no disordered state of its own starts from no
    // disordered state: from one, as from the disordered start itself, the
    // search stays disordered and finds none.
    if (!m.ordered_only)
        consider(&base);
    else
        starts.erase(std::remove_if(starts.begin(), starts.end(),
                                    [&](const SiteFractions& start) { return lattice_disordered(m, start); }),
                     starts.end());
    // Where a sublattice has one constituent to move (at a pure end) starts
    // repeat: each is searched from once.
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    one_start_per_orbit(at, starts);
    for (const SiteFractions& start : starts)
        consider(&start);
    y = best_y;
    return best;
}
