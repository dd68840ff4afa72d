// Speed of the general engine: each example's whole diagram at its own steps
// (1 K), the public databases' on one thread and on two, the eutectic at 1,000
// to 100,000 temperatures over one range, where the cost should grow linearly,
// and whole solidifications at 1 K steps.
#include "builtin/builtin_system.h"
#include "engine/database/database_system.h"
#include "engine/diagram/default_range.h"
#include "engine/diagram/diagram.h"
#include "engine/diagram/energies.h"
#include "engine/freezing/point.h"
#include "engine/freezing/solidify.h"
#include "formats/system_file.h"
#include "formats/tdb_file.h"

#include <cstdio>
#include <filesystem>

#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

namespace {

System example(const std::string& name)
{
    System s;
    InputError error;
    if (!read_system_file(std::string(PHASE_BOUNDARY_EXAMPLES) + "/" + name + ".toml", s, error))
        throw std::runtime_error(error.text());
    return s;
}

void whole_diagram(benchmark::State& state, const char* name)
{
    const System s = example(name);
    for (auto _ : state)
        benchmark::DoNotOptimize(compute_diagram(s));
    state.counters["temperatures"] = static_cast<double>(s.range.count);
}
// A published database's binary from its file to its whole diagram over the
// default range at 1 K: reading, the binary's phases and pure transitions, the
// diagram. Skipped where the databases are absent.
void database_diagram(benchmark::State& state, const char* file, const char* a, const char* b)
{
    const std::string path = std::string(PHASE_BOUNDARY_SHARED_TDB) + "/" + file;
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("the public databases are absent");
        return;
    }
    long temperatures = 0;
    for (auto _ : state) {
        Database db;
        DatabaseBinary binary;
        InputError error;
        std::string why;
        if (!read_tdb_file(path, db, error))
            throw std::runtime_error(error.text());
        if (!database_binary(db, a, b, {}, binary, why) || !default_range(binary.system, why))
            throw std::runtime_error(why);
        benchmark::DoNotOptimize(compute_diagram(binary.system, static_cast<unsigned>(state.range(0))));
        temperatures = binary.system.range.count;
    }
    state.counters["temperatures"] = static_cast<double>(temperatures);
}

void read_database(benchmark::State& state, const char* file)
{
    const std::string path = std::string(PHASE_BOUNDARY_SHARED_TDB) + "/" + file;
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("the public databases are absent");
        return;
    }
    for (auto _ : state) {
        Database db;
        InputError error;
        if (!read_tdb_file(path, db, error))
            throw std::runtime_error(error.text());
        benchmark::DoNotOptimize(db);
    }
}

// On one thread and on two (the argument), in real time.
#define DATABASE_THREADS Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond)
BENCHMARK_CAPTURE(database_diagram, ag_cu, "ag-cu.tdb", "AG", "CU")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, pb_sn, "pb-sn.tdb", "SN", "PB")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, cu_mg, "cu-mg.tdb", "CU", "MG")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, cu_ni, "cu-ni.tdb", "CU", "NI")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, al_zn, "al-zn.tdb", "AL", "ZN")->DATABASE_THREADS;
// The files whose binaries need the general phase of sublattices, and one
// binary of each multicomponent file.
BENCHMARK_CAPTURE(database_diagram, fe_c_steel1, "steel1.tdb", "FE", "C")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, fe_c_fe_mn_c, "fe-mn-c.tdb", "FE", "C")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, al_ni, "al-ni.tdb", "AL", "NI")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, al_fe, "al-fe-2009.tdb", "AL", "FE")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, mo_re, "mo-re.tdb", "MO", "RE")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, ag_sn_solder, "solder.tdb", "AG", "SN")->DATABASE_THREADS;
BENCHMARK_CAPTURE(database_diagram, al_cu_cost507, "cost507.tdb", "AL", "CU")->DATABASE_THREADS;
// A database's binary, loaded once for the benchmarks of one question.
bool loaded_binary(benchmark::State& state, const char* file, const char* a, const char* b, System& s)
{
    const std::string path = std::string(PHASE_BOUNDARY_SHARED_TDB) + "/" + file;
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("the public databases are absent");
        return false;
    }
    Database db;
    DatabaseBinary binary;
    InputError error;
    std::string why;
    if (!read_tdb_file(path, db, error) || !database_binary(db, a, b, {}, binary, why))
        throw std::runtime_error(error.text() + why);
    s = std::move(binary.system);
    return true;
}

// The equilibrium at one point after loading, as --at and System.equilibrium
// compute it: the stable equilibria at T, the lever rule, H, S and Cp.
void point_equilibrium(benchmark::State& state, const char* file, const char* a, const char* b, double T,
                       double x0)
{
    System s;
    if (!loaded_binary(state, file, a, b, s))
        return;
    const PointGrids grids = point_grids(s);
    for (auto _ : state)
        benchmark::DoNotOptimize(equilibrium_at_point(s, grids, T, x0));
}

// Every phase's energy curve at one temperature, as --energies writes them.
void energy_curves_at(benchmark::State& state, const char* file, const char* a, const char* b, double T)
{
    System s;
    if (!loaded_binary(state, file, a, b, s))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(energy_curves(s, T));
}

// Every phase's G at 1,000 points across x at one temperature, as
// System.energies computes it: the target is 20 ms.
void energies_1000_points(benchmark::State& state, const char* file, const char* a, const char* b, double T)
{
    System s;
    if (!loaded_binary(state, file, a, b, s))
        return;
    std::vector<double> xs;
    for (int i = 0; i <= 1000; ++i)
        xs.push_back(i / 1000.0);
    for (auto _ : state)
        for (std::size_t p = 0; p < s.phases.size(); ++p)
            benchmark::DoNotOptimize(phase_energies(s, phase_number(p), xs, T));
}

BENCHMARK_CAPTURE(point_equilibrium, pb_sn, "pb-sn.tdb", "SN", "PB", 450.0, 0.5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(point_equilibrium, al_ni, "al-ni.tdb", "AL", "NI", 1000.0, 0.3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(point_equilibrium, al_fe, "al-fe-2009.tdb", "AL", "FE", 1000.0, 0.3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(energy_curves_at, pb_sn, "pb-sn.tdb", "SN", "PB", 450.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(energy_curves_at, al_ni, "al-ni.tdb", "AL", "NI", 1000.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(energies_1000_points, pb_sn, "pb-sn.tdb", "SN", "PB", 450.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(energies_1000_points, al_ni, "al-ni.tdb", "AL", "NI", 1000.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(energies_1000_points, al_fe, "al-fe-2009.tdb", "AL", "FE", 1000.0)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_database, cost507, "cost507.tdb")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_database, steel1, "steel1.tdb")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_database, fe_mn_c, "fe-mn-c.tdb")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(read_database, solder, "solder.tdb")->Unit(benchmark::kMillisecond);

// Pb-Sn with a liquid interaction of two million constant terms, from the text
// to the whole diagram: reading and computing must stay linear in the file's
// size (a hostile file once took 3.5 s and 310 MB; the target is 1.5 s and
// 200 MB, the memory measured by /usr/bin/time on the program).
void two_million_terms(benchmark::State& state)
{
    const std::string path = std::string(PHASE_BOUNDARY_SHARED_TDB) + "/pb-sn.tdb";
    std::string text;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            text.append(buffer, n);
        std::fclose(f);
    } else {
        state.SkipWithError("the public databases are absent");
        return;
    }
    text += "PARAMETER G(LIQUID,PB,SN;3) 298.15 ";
    for (int i = 0; i < 2000000; ++i)
        text += "+1.0";
    text += "; 6000 N !\n";
    for (auto _ : state) {
        Database db;
        DatabaseBinary binary;
        InputError error;
        std::string why;
        if (!parse_tdb(text, path, db, error))
            throw std::runtime_error(error.text());
        if (!database_binary(db, "SN", "PB", {}, binary, why) || !default_range(binary.system, why))
            throw std::runtime_error(why);
        benchmark::DoNotOptimize(compute_diagram(binary.system, 1));
    }
}
BENCHMARK(two_million_terms)->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(whole_diagram, builtin, "builtin")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, cu_ni, "cu-ni")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, congruent_minimum, "congruent-minimum")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, congruent_maximum, "congruent-maximum")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, eutectic, "eutectic")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, peritectic, "peritectic")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, monotectic, "monotectic")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_diagram, solid_gap, "solid-gap")->Unit(benchmark::kMillisecond);

void eutectic_temperatures(benchmark::State& state)
{
    System s = example("eutectic");
    s.range.count = state.range(0);
    s.range.step = (1100.0 - 450.0) / static_cast<double>(s.range.count - 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(compute_diagram(s));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(eutectic_temperatures)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void solidification(benchmark::State& state, const char* name, double x0)
{
    const System s = std::string(name) == "built-in" ? builtin_system() : example(name);
    for (auto _ : state)
        benchmark::DoNotOptimize(solidify(s, x0, 1.0));
}
BENCHMARK_CAPTURE(solidification, builtin_x0_0_5, "built-in", 0.5)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solidification, builtin_x0_0_02, "built-in", 0.02)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solidification, builtin_x0_1e_12, "built-in", 1e-12)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solidification, eutectic_x0_0_3, "eutectic", 0.3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solidification, peritectic_x0_0_3, "peritectic", 0.3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(solidification, monotectic_x0_0_9, "monotectic", 0.9)->Unit(benchmark::kMillisecond);

// One System shared by threads, each computing its own diagram: the engine keeps
// no state between calls, so two threads should take each diagram in half the
// real time of one (the Python module releases the GIL for exactly this).
void threads_diagram(benchmark::State& state)
{
    static const System shared = example("eutectic");  // read once, by whichever thread comes first
    for (auto _ : state)
        benchmark::DoNotOptimize(compute_diagram(shared));
}
BENCHMARK(threads_diagram)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
}  // namespace
