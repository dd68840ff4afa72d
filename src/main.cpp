// phase_boundary: the liquidus and solidus of the Si - second component system
// from 1215 K to 1687 K, into "result02.txt", with the run log in "result.txt".
#include "sweep.h"
#include "textout.h"

#include <cstdint>
#include <ctime>
#include <random>

int main()
{
    // Runs differ only in their random starts: the run log shows them, the table
    // agrees between runs to its last digit or so.
    std::mt19937 gen(static_cast<std::uint32_t>(std::time(nullptr)));
    std::uniform_int_distribution<int> uniform(0, DRAW_MAX);
    auto draw = [&] { return uniform(gen); };

    constexpr int OUTPUT_FAILED = 2;
    std::FILE* log_file = open_output("result.txt");
    if (log_file == nullptr)
        return OUTPUT_FAILED;
    std::FILE* table_file = open_output("result02.txt");
    if (table_file == nullptr) {
        close_output(log_file, "result.txt");
        return OUTPUT_FAILED;
    }

    WorkMatrix jac = {};
    sweep(jac, draw, log_file, table_file);

    const bool log_ok = close_output(log_file, "result.txt");
    const bool table_ok = close_output(table_file, "result02.txt");
    return log_ok && table_ok ? 0 : OUTPUT_FAILED;
}
