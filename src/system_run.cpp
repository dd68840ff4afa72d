#include "system_run.h"

#include "diagram.h"
#include "output.h"
#include "system_file.h"
#include "tables.h"

#include <cstdio>

int run_system(const SystemRun& run)
{
    System s;
    std::string error;
    if (!read_system_file(run.system_file, s, error)) {
        std::fprintf(stderr, "phase_boundary: %s\n", error.c_str());
        return INPUT_FAILED;
    }
    const char* dir = run.output_dir.c_str();
    std::FILE* boundaries = open_output(dir, BOUNDARIES_NAME);
    std::FILE* invariants = boundaries != nullptr ? open_output(dir, INVARIANTS_NAME) : nullptr;
    std::FILE* plot = invariants != nullptr ? open_output(dir, PLOT_INFO_NAME) : nullptr;
    if (plot == nullptr) {
        discard_outputs();
        return OUTPUT_FAILED;
    }

    const Diagram d = compute_diagram(s);
    write_boundaries(boundaries, d);
    write_invariants(invariants, d);
    write_plot_info(plot, s, d);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    write_summary(stdout, s, d);
    for (const Doubt& doubt : d.doubts) {
        if (doubt.x_low == 0.0 && doubt.x_high == 0.0)
            std::fprintf(stderr, "phase_boundary: warning: %s\n", doubt.why.c_str());
        else
            std::fprintf(stderr, "phase_boundary: warning: at %s K, %s x = %s and %s x = %s: %s\n",
                         shortest(doubt.T).c_str(), phase_letter(doubt.low_phase),
                         shortest(doubt.x_low).c_str(), phase_letter(doubt.high_phase),
                         shortest(doubt.x_high).c_str(), doubt.why.c_str());
    }
    return d.doubts.empty() ? 0 : UNCONFIRMED;
}
