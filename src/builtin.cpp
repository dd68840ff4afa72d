#include "builtin.h"

#include "output.h"
#include "sweep.h"

#include <random>

int run_builtin(const BuiltinRun& run)
{
    std::FILE* log_file = nullptr;
    if (run.log) {
        log_file = open_output(run.output_dir, LOG_NAME);
        if (log_file == nullptr)
            return OUTPUT_FAILED;
    }
    std::FILE* table_file = open_output(run.output_dir, TABLE_NAME);
    if (table_file == nullptr) {
        discard_outputs();
        return OUTPUT_FAILED;
    }

    std::mt19937 gen(run.seed);
    auto draw = [&] { return draw_15_bits(gen); };
    WorkMatrix jac = {};
    sweep(jac, draw, log_file, table_file);
    return commit_outputs() ? 0 : OUTPUT_FAILED;
}
