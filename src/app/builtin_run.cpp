#include "app/builtin_run.h"

#include "app/exit_status.h"
#include "builtin/sweep.h"
#include "formats/output.h"

#include <random>

int run_builtin(const BuiltinRun& run)
{
    // The log first, when there is one: a failure opens neither.
    const char* names[] = {LOG_NAME, TABLE_NAME};
    std::FILE* files[2] = {nullptr, nullptr};
    const int first = run.log ? 0 : 1;
    if (!open_outputs(run.output_dir, names + first, 2 - first, files + first))
        return OUTPUT_FAILED;
    std::FILE* log_file = files[0];
    std::FILE* table_file = files[1];

    std::mt19937 gen(run.seed);
    auto draw = [&] { return draw_15_bits(gen); };
    WorkMatrix jac = {};
    sweep(jac, draw, log_file, table_file);
    return commit_outputs() ? COMPLETE : OUTPUT_FAILED;
}
