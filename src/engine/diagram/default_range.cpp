#include "engine/diagram/default_range.h"

#include "engine/diagram/sampling.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double ROOM = 298.0;          // K, where a range starts unless half a melting point is lower
constexpr double ABOVE_SOLID = 1.1;     // the range ends this far above the last solid
constexpr double SOLID_STEP = 10.0;     // K between the temperatures looked at for a solid
constexpr double SOLID_SEARCH = 500.0;  // K above the last solid seen before the search gives up
constexpr double SOLID_RESOLVED = 0.5;  // K: the bisection's last bracket

// Whether a solid lies on the hull somewhere at T. The grid's memory of the
// last temperature carries each phase's internal state up the scan.
bool solid_stable(const System& s, const Grid& grid, double T, GridEnergies& work)
{
    const std::vector<PhaseAtT> phases = phases_at(s, T);
    energies_at(grid, phases, work);
    const std::vector<Sample> samples = samples_at(grid, phases, work);
    for (const int i : hull_of(samples)) {
        const PhaseModel& m = phase_model(s, samples[static_cast<std::size_t>(i)].phase);
        if (!m.liquid && !m.gas)
            return true;
    }
    return false;
}

// The highest temperature the system describes: the highest upper limit of a
// database's parameters (6000 K in most), beyond which every energy is
// extrapolated and no phase is assessed. Steel's bcc, whose interaction with
// carbon is -190 T, is stable beside the liquid from 4000 K to 29,000 K there.
double described_to(const System& s)
{
    double top = 0.0;
    for (const Piecewise& p : s.parameters)
        top = std::max(top, p.limits.back());
    return s.parameters.empty() ? HIGHEST_TEMPERATURE : std::min(top, HIGHEST_TEMPERATURE);
}

}  // namespace

double highest_solid(const System& s, double from)
{
    const Grid grid = make_grid(s);
    GridEnergies work;
    double solid = from;
    const double top = described_to(s);
    for (double T = from + SOLID_STEP; T <= top && T - solid <= SOLID_SEARCH; T += SOLID_STEP)
        if (solid_stable(s, grid, T, work))
            solid = T;
    if (solid == from)
        return from;
    double lo = solid;
    double hi = std::min(top, solid + SOLID_STEP);
    while (hi - lo > SOLID_RESOLVED) {
        const double mid = 0.5 * (lo + hi);
        (solid_stable(s, grid, mid, work) ? lo : hi) = mid;
    }
    return lo;
}

bool default_range(System& s, std::string& why)
{
    double ma = s.a.melting_point();
    double mb = s.b.melting_point();
    if (!std::isfinite(ma))
        ma = mb;
    if (!std::isfinite(mb))
        mb = ma;
    const double low = std::min(ma, mb);
    const double high = std::max(ma, mb);
    if (!(std::isfinite(low) && std::isfinite(high))) {
        why = "neither pure element melts among the phases kept: give --temperatures";
        return false;
    }
    const double first = std::max(1.0, std::min(ROOM, std::floor(0.5 * low)));
    const double last =
        std::min(std::max(described_to(s), high), std::ceil(ABOVE_SOLID * highest_solid(s, high)));
    return temperature_range(first, last, 1.0, s.range);
}
