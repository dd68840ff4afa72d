// Speed of the search: one Newton pass, and complete seeded sweeps with the run
// log switched off and written to a discarding stream.
#include "sweep.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>

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

}  // namespace

BENCHMARK_MAIN();
