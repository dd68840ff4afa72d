#include "engine/diagram.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double NARROWEST = 1e-7;  // K: bisection stops here and solves the event
constexpr int DEEPEST = 60;         // halvings of a bracket at most: far below NARROWEST from any range
// A gap of one phase narrower than this is taken as closed: within about 1e-4 of
// its critical point a gap is too shallow for the rounding of the energies.
constexpr double THINNEST_GAP = 1e-3;
// A tie-line whose ends move less than this across a bracket is the same one.
constexpr double CONTINUES = 0.05;
// K: an event solved from a bracket may lie this far outside it, where a region
// closing to a point is too narrow for any sampling.
constexpr double OUTSIDE_BRACKET = 0.01;
constexpr double AT_ROW = 1e-9;      // relative: a row of the range at an invariant's temperature
constexpr double JUST_ABOVE = 1e-6;  // relative: where the pairs stable just above an invariant are found

// Signature of a temperature: the phases of each tie-line, in order of x.
std::vector<int> signature(const Equilibria& e)
{
    std::vector<int> sig;
    for (const TieLine& t : e.ties)
        sig.push_back(2 * phase_index(t.low_phase) + phase_index(t.high_phase));
    return sig;
}

struct EventSearch {
    const System& s;
    const Grid& grid;
    Diagram& d;
    std::vector<Doubt> scratch;  // doubts met at bisection temperatures are not rows

    Equilibria at(double T) { return visible(equilibria_at(s, grid, T, scratch)); }

    // What events are read from: gaps thinner than THINNEST_GAP would flicker in and out.
    static Equilibria visible(Equilibria e)
    {
        e.ties.erase(std::remove_if(e.ties.begin(), e.ties.end(),
                                    [](const TieLine& t) {
                                        return t.low_phase == t.high_phase &&
                                               dx(t.low, t.high) < THINNEST_GAP;
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
        if (depth > DEEPEST || hi.T - lo.T < NARROWEST) {
            d.doubts.push_back(
                doubt_in_range(lo.T, hi.T, "the diagram changes in a way not resolved into invariants"));
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
            return a[i] == b[j] && std::fabs(p.low.x - q.low.x) <= CONTINUES &&
                   std::fabs(p.high.x - q.high.x) <= CONTINUES;
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
                Invariant inv{InvariantKind::critical, T_guess, 1, {m0->low_phase}, {}, false};
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
            Invariant inv{InvariantKind::congruent, T_guess, 2, {Phase::liquid, Phase::solid}, {}, false};
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
            inv.middle_above = !more_below;
            inv.kind = three_phase_kind(inv.phase[0], inv.phase[1], inv.phase[2], inv.middle_above);
            d.invariants.push_back(inv);
            return true;
        }
        return false;
    }

    static bool within(double T, const Equilibria& lo, const Equilibria& hi)
    {
        return T >= lo.T - OUTSIDE_BRACKET && T <= hi.T + OUTSIDE_BRACKET;
    }

    bool fail(const Equilibria& lo, const Equilibria& hi, const std::string& why)
    {
        d.doubts.push_back(doubt_in_range(lo.T, hi.T, why));
        return true;
    }
};

}  // namespace

Diagram compute_diagram(const System& s)
{
    Diagram d;
    const Grid grid = make_grid(s);
    EventSearch search{s, grid, d, {}};
    d.rows.reserve(static_cast<std::size_t>(s.range.count));
    Equilibria before{};
    for (long i = 0; i < s.range.count; ++i) {
        d.rows.push_back(equilibria_at(s, grid, s.range.at(i), d.doubts));
        Equilibria now = EventSearch::visible(d.rows.back());
        if (i > 0)
            search.resolve(before, now, 0);
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
        if (std::fabs(row.T - inv.T) > AT_ROW * std::max(1.0, inv.T))
            continue;
        const Equilibria above =
            equilibria_at(s, grid, inv.T + JUST_ABOVE * std::max(1.0, inv.T), search.scratch);
        row.ties.clear();
        for (const TieLine& t : above.ties) {
            TieLine at{};
            if (refine_tie_line(s, row.T, t.low_phase, t.low, t.high_phase, t.high, at) == Refined::ok)
                row.ties.push_back(at);
            else
                d.doubts.push_back(
                    doubt_at_tie_line(row.T, t.low_phase, t.low.x, t.high_phase, t.high.x,
                                      "not solved at the temperature of a three-phase invariant"));
        }
    }
    std::sort(d.melting.begin(), d.melting.end(),
              [](const EdgeEvent& a, const EdgeEvent& b) { return a.T < b.T; });
    return d;
}
