// Speed of the search: one Newton pass, complete seeded sweeps with the run log
// switched off and written to a discarding stream, and the program's whole file
// path beside the same search written with plain fprintf and default buffering.
#include "app/builtin_run.h"
#include "builtin/sweep.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace {

#ifdef _WIN32
constexpr const char* NULL_DEVICE = "NUL";
#else
constexpr const char* NULL_DEVICE = "/dev/null";
#endif

void newton_pass(benchmark::State& state)
{
    WorkMatrix jac = {};
    const int T = 1450;
    double xl = 0.35;
    double xs = 0.64;
    for (auto _ : state) {
        benchmark::DoNotOptimize(xl);
        benchmark::DoNotOptimize(xs);
        double h = 0.0;
        double k = 0.0;
        newton_step(T, jac, xl, xs, h, k);
        benchmark::DoNotOptimize(h);
        benchmark::DoNotOptimize(k);
    }
}
BENCHMARK(newton_pass);

// A log stream that discards what it is given and counts the bytes.
#ifdef __GLIBC__
ssize_t count_bytes(void* cookie, const char*, size_t size)
{
    *static_cast<long*>(cookie) += static_cast<long>(size);
    return static_cast<ssize_t>(size);
}

std::FILE* open_discarding(long& counter)
{
    return fopencookie(&counter, "w", cookie_io_functions_t{nullptr, count_bytes, nullptr, nullptr});
}
#else
std::FILE* open_discarding(long&)
{
    return std::fopen(NULL_DEVICE, "w");
}
#endif

// Each sweep starts from its own seed, as runs of the program do.
void sweep_into(benchmark::State& state, std::FILE* log)
{
    std::FILE* table = std::fopen(NULL_DEVICE, "w");
    unsigned seed = 1;
    for (auto _ : state) {
        std::mt19937 gen(seed++);
        auto draw = [&] { return draw_15_bits(gen); };
        WorkMatrix jac = {};
        sweep(jac, draw, log, table);
    }
    std::fclose(table);
}

void sweep_without_log(benchmark::State& state)
{
    sweep_into(state, nullptr);
}
BENCHMARK(sweep_without_log)->Unit(benchmark::kMillisecond);

void sweep_with_discarded_log(benchmark::State& state)
{
    long log_bytes = 0;
    std::FILE* log = open_discarding(log_bytes);
    sweep_into(state, log);
    std::fclose(log);
    if (log_bytes > 0) {
        const double per_sweep = static_cast<double>(log_bytes) / static_cast<double>(state.iterations());
        state.SetBytesProcessed(log_bytes);
        state.counters["log_bytes"] = per_sweep;
        state.counters["ns_per_byte"] = benchmark::Counter(
            static_cast<double>(log_bytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert,
            benchmark::Counter::kIs1000);
    }
}
BENCHMARK(sweep_with_discarded_log)->Unit(benchmark::kMillisecond);

// A directory of the benchmark's own for the files of whole runs.
std::string run_dir(const char* name)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(dir);
    return dir.string();
}

// What the program does after reading its command line: open both temporaries,
// sweep, format, write through the buffers, rename into place.
void program_files(benchmark::State& state)
{
    const std::string dir = run_dir("phase_boundary_bench_program");
    BuiltinRun run;
    run.output_dir = dir.c_str();
    run.seed = 1;
    for (auto _ : state)
        if (run_builtin(run) != 0)
            state.SkipWithError("the run failed");
    std::filesystem::remove_all(dir);
}
BENCHMARK(program_files)->Unit(benchmark::kMillisecond);

// The same search from the same seed, every record through fprintf into files
// opened with fopen and the C library's default buffering: what the program's
// own file path is measured against.
void plain_fprintf_files(benchmark::State& state)
{
    const std::string dir = run_dir("phase_boundary_bench_fprintf");
    const std::string log_path = dir + "/result.txt";
    const std::string table_path = dir + "/result02.txt";
    const std::string equals(96, '=');
    std::string heavy;
    std::string light;
    for (int i = 0; i < 48; ++i) {
        heavy += "\xA6\xAC";
        light += "\xA6\xA1";
    }
    for (auto _ : state) {
        std::FILE* log = std::fopen(log_path.c_str(), "w");
        std::FILE* table = std::fopen(table_path.c_str(), "w");
        std::mt19937 gen(1);
        auto draw = [&] { return draw_15_bits(gen); };
        WorkMatrix jac = {};
        for (int T = T_FIRST; T <= T_LAST; ++T) {
            double xl = 0.0;
            double xs = 0.0;
            for (bool done = false; !done;) {
                draw_start(draw_from<decltype(draw)>, &draw, xl, xs);
                std::fprintf(log, "%s\nAt T=%d, Si(L) and Si(S) are randomly initilized.\n%s\n",
                             equals.c_str(), T, equals.c_str());
                for (int iteration = 1;; ++iteration) {
                    if (!(xl >= 0.0 && xl <= 1.0 && xs >= 0.0 && xs <= 1.0)) {
                        std::fprintf(
                            log,
                            "\nERROR!! Si(L)=%.10f\tSi(S)=%.10f\n0<=Si(L)<=1 and 0<=Si(S)<=1 needed.\n\n", xl,
                            xs);
                        break;
                    }
                    double h = 0.0;
                    double k = 0.0;
                    newton_step(T, jac, xl, xs, h, k);
                    std::fprintf(log, "Iteration=%d,\tSi(L)=%.10f\tSi(S)=%.10f\th=%.10f\tk=%.10f\n",
                                 iteration, xl, xs, h, k);
                    if (std::fabs(h) < 1e-10 && std::fabs(k) < 1e-10) {
                        done = true;
                        break;
                    }
                    xl += h;
                    xs += k;
                }
            }
            std::fprintf(
                log,
                "\n%s\nTemperature\tComposion of Si(L)\tComposion of Si(S)\n%s\n%d\t\t%.10f\t\t%.10f\n%s\n\n",
                heavy.c_str(), light.c_str(), T, xl, xs, heavy.c_str());
            std::fprintf(table, "%d\t%.10f\t%.10f\n", T, xl, xs);
        }
        std::fclose(log);
        std::fclose(table);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(plain_fprintf_files)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
