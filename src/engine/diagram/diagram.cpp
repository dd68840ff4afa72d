#include "engine/diagram/diagram.h"

#include "engine/diagram/events.h"
#include "engine/diagram/orderings.h"
#include "engine/diagram/tricritical_check.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <iterator>
#include <thread>
#include <utility>

namespace {

constexpr double AT_ROW = 1e-9;      // relative: a row of the range at an invariant's temperature
constexpr double JUST_ABOVE = 1e-6;  // relative: where the pairs stable just above an invariant are found
// Temperatures a thread sweeps as one segment at most, each segment from the
// row before it, solved again cold: a segment's start costs a few rows of
// solutions, and some fifteen where phases of sublattices are searched from
// every start along the grid (Mo-Re's sigma and chi, a quarter of its
// diagram with segments of 48). Their count is even, so that two threads
// finish together.
constexpr std::size_t SEGMENT = 256;

// A temperature of the range exactly at a three-phase invariant holds the pairs
// stable just above it, each solved at that temperature.
void rows_at_invariants(const System& s, const Grid& grid, Diagram& d, std::vector<Doubt>& scratch)
{
    for (const Invariant& inv : d.invariants) {
        if (inv.phases != 3 || d.rows.empty())
            continue;
        // The nearest row: the first at or above the invariant, or the one before it.
        auto at = std::lower_bound(d.rows.begin(), d.rows.end(), inv.T,
                                   [](const Equilibria& e, double T) { return e.T < T; });
        if (at == d.rows.end() || (at != d.rows.begin() && inv.T - (at - 1)->T < at->T - inv.T))
            --at;
        Equilibria& row = *at;
        if (std::fabs(row.T - inv.T) > AT_ROW * std::max(1.0, inv.T))
            continue;
        const Equilibria above = equilibria_at(s, grid, inv.T + JUST_ABOVE * std::max(1.0, inv.T), scratch);
        row.ties.clear();
        for (const TieLine& t : above.ties) {
            // Exactly at a pure melting point the region at that edge has no width.
            if ((t.low.x == 0.0 && exactly_equal_pure(s, t.low_phase, t.high_phase, false, row.T)) ||
                (t.high.y == 0.0 && exactly_equal_pure(s, t.low_phase, t.high_phase, true, row.T)))
                continue;
            // A pure component is no start for Newton in logarithms: the grid's
            // first point beside it is, as for the rows.
            const Composition low = t.low.x == 0.0 && !is_point(s, t.low_phase) ? grid.at[1] : t.low;
            const Composition high =
                t.high.y == 0.0 && !is_point(s, t.high_phase) ? grid.at[grid.at.size() - 2] : t.high;
            TieLine at{};
            if (refine_tie_line(s, row.T, t.low_phase, low, t.high_phase, high, at) == Refined::ok)
                row.ties.push_back(at);
            else
                d.doubts.push_back(
                    doubt_at_tie_line(row.T, t.low_phase, t.low.x, t.high_phase, t.high.x,
                                      "not solved at the temperature of a three-phase invariant"));
        }
    }
}

// A segment's rows and events, and the regions (signature) of the row it
// starts from, found afresh, and of its last row, found from the rows before
// it: where one segment ends and the next starts at the same temperature the
// two must agree.
struct Segment {
    Diagram d;
    std::vector<int> start, end;
};

// One segment of the temperatures, swept in order from the row before it,
// which is solved again here (cold) so that each segment stands alone: the
// diagram is the same however many threads share the segments. work is the
// thread's, whatever it remembers forgotten first.
Segment sweep_segment(const System& s, const Grid& grid, const std::vector<double>& temperatures,
                      std::size_t first, std::size_t last, GridEnergies& work,
                      std::atomic<std::size_t>* rows_done)
{
    Segment out;
    Diagram& d = out.d;
    forget_temperatures(work);
    SegmentEvents events{s, grid, d, work, segment_halvings(last - first)};
    d.rows.reserve(last - first);
    Equilibria before{};
    if (first > 0) {
        std::vector<Doubt> unused;  // the row it starts from is no row of its own
        before = visible(events, equilibria_at(s, grid, temperatures[first - 1], unused, work));
        out.start = signature(before);
    }
    for (std::size_t i = first; i < last; ++i) {
        d.rows.push_back(equilibria_at(s, grid, temperatures[i], d.doubts, work));
        d.rows.back().orderings = orderings_at(s, d.rows.back());
        Equilibria now = visible(events, d.rows.back());
        if (i > 0)
            resolve_events(events, before, now);
        before = std::move(now);
        if (rows_done != nullptr)
            ++*rows_done;
    }
    out.end = signature(before);
    return out;
}

// The segments in order, as one sweep would have found them.
void append(Diagram& to, Diagram&& part)
{
    const auto move_all = [](auto& into, auto& from) {
        into.insert(into.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    };
    move_all(to.rows, part.rows);
    move_all(to.invariants, part.invariants);
    move_all(to.melting, part.melting);
    move_all(to.doubts, part.doubts);
}

// Each segment by whichever thread is free; an exception in one is rethrown here.
std::vector<Segment> sweep_segments(const System& s, const Grid& grid,
                                    const std::vector<double>& temperatures, unsigned threads,
                                    std::atomic<std::size_t>* rows_done)
{
    const std::size_t n = temperatures.size();
    const std::size_t count = std::min(n, 2 * ((n + 2 * SEGMENT - 1) / (2 * SEGMENT)));
    const auto start = [&](std::size_t k) { return k * n / count; };
    std::vector<Segment> parts(count);
    std::vector<std::exception_ptr> failed(count);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        GridEnergies energies;
        for (std::size_t k = next++; k < count; k = next++) {
            try {
                parts[k] = sweep_segment(s, grid, temperatures, start(k), start(k + 1), energies, rows_done);
            } catch (...) {
                failed[k] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < std::min<std::size_t>(std::max(threads, 1U), count); ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    for (const std::exception_ptr& e : failed)
        if (e)
            std::rethrow_exception(e);
    return parts;
}

}  // namespace

Diagram compute_diagram(const System& s, unsigned threads, std::atomic<std::size_t>* rows_done)
{
    std::vector<double> temperatures(static_cast<std::size_t>(s.range.count));
    for (long i = 0; i < s.range.count; ++i)
        temperatures[static_cast<std::size_t>(i)] = s.range.at(i);
    return compute_diagram(s, temperatures, threads, rows_done);
}

Diagram compute_diagram(const System& s, const std::vector<double>& temperatures, unsigned threads,
                        std::atomic<std::size_t>* rows_done)
{
    Diagram d;
    const Grid grid = make_grid(s);
    d.rows.reserve(temperatures.size());
    std::vector<Segment> parts = sweep_segments(s, grid, temperatures, threads, rows_done);
    for (std::size_t k = 0; k < parts.size(); ++k) {
        // The rows swept up to where the next segment starts, and that start
        // found afresh: a sweep that lost a region on its way (a phase coming
        // down onto the diagram while its points were passed by) is caught
        // here at the latest.
        if (k > 0 && parts[k].start != parts[k - 1].end)
            d.doubts.push_back(doubt_at(parts[k - 1].d.rows.back().T,
                                        "the regions swept up to this temperature differ from those "
                                        "found afresh at it: not confirmed"));
        append(d, std::move(parts[k].d));
    }
    std::vector<Doubt> scratch;
    std::sort(d.invariants.begin(), d.invariants.end(),
              [](const Invariant& a, const Invariant& b) { return a.T < b.T; });
    doubt_contradicted_tops(d);
    rows_at_invariants(s, grid, d, scratch);
    std::sort(d.melting.begin(), d.melting.end(),
              [](const EdgeEvent& a, const EdgeEvent& b) { return a.T < b.T; });
    return d;
}
