// Arbitrary bytes through the database reader and, for files that read, every
// function and parameter evaluated at a few temperatures, every phase of the
// binary of the first two elements at a few points, its equilibria at two
// temperatures and, where it has no phase of sublattices, its diagram on a
// coarse range: no crash, no sanitizer report, no hang. Its seeds are the
// examples, the public databases where they are at hand, and tdb_corpus/: the
// dialects real files are written in, and the faults they hold.
#include "engine/database/database_system.h"
#include "engine/diagram/diagram.h"
#include "engine/diagram/equilibria.h"
#include "engine/diagram/sampling.h"
#include "engine/phases/model.h"
#include "formats/tdb_file.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace {

// Terms times fractions of the binary's phases of sublattices, beyond which
// its equilibria are left out here. Each such phase costs microseconds per
// evaluation, twenty times that under the sanitizers: one temperature of an
// ordered bcc of four sublattices takes seconds, and a diagram's search for
// events between rows, bounded by hundreds of temperatures, would take
// longer than a fuzzer's input may even for small ones. Their phases are
// still evaluated point by point, and their diagrams are the unit tests' and
// the benchmark's.
constexpr std::size_t LARGEST_LATTICES = 200;

std::size_t lattice_size(const System& s)
{
    std::size_t size = 0;
    for (const PhaseModel& m : s.phases)
        if (const auto* k = std::get_if<LatticeKind>(&m.kind))
            // A phase of no terms still costs the search over its fractions.
            size += std::max<std::size_t>(k->model.terms.size(), 1) *
                    static_cast<std::size_t>(fractions_of(k->model));
    return size;
}

double phases_at_points(const System& s)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < s.phases.size(); ++i)
        for (const double T : {300.0, 1500.0})
            for (const double x : {1e-9, 0.3, 0.5, 1.0 - 1e-9}) {
                const double g = gibbs(s, phase_number(i), composition_from_x(x), T);
                sum += g == HUGE_VAL ? 0.0 : g;
            }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Database db;
    InputError error;
    if (!parse_tdb(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.tdb", db, error))
        return 0;
    double sum = 0.0;
    for (const double T : {1.0, 298.15, 1000.0, 6000.0}) {
        bool extrapolated = false;
        for (const Piecewise& f : db.functions.bodies)
            sum += evaluate(f, db.functions, T, extrapolated);
        for (const DatabaseParameter& p : db.parameters)
            sum += evaluate(p.value, db.functions, T, extrapolated);
    }
    DatabaseBinary binary;
    std::string why;
    if (db.elements.size() >= 2 &&
        database_binary(db, db.elements[0].name, db.elements[1].name, {}, binary, why)) {
        // Eleven temperatures from 300 K to 2300 K: enough to cross events, few enough to stay fast.
        temperature_range(300.0, 2300.0, 200.0, binary.system.range);
        std::vector<double> temperatures;
        for (long i = 0; i < binary.system.range.count; ++i)
            temperatures.push_back(binary.system.range.at(i));
        NotFinite found{};
        if (!not_finite(binary.system, temperatures, found)) {  // the program refuses such a file
            sum += phases_at_points(binary.system);
            const std::size_t size = lattice_size(binary.system);
            if (size == 0) {
                sum += static_cast<double>(compute_diagram(binary.system).invariants.size());
            } else if (size <= LARGEST_LATTICES) {
                const Grid grid = make_grid(binary.system);
                std::vector<Doubt> doubts;
                for (const double T : {700.0, 1500.0})
                    sum += static_cast<double>(equilibria_at(binary.system, grid, T, doubts).ties.size());
            }
        }
    }
    return sum == 0.125 ? 1 : 0;  // keeps the sum alive; the value does not matter
}
