#include "system_run.h"

#include "diagram.h"
#include "output.h"
#include "system_file.h"
#include "tables.h"

#include <cstdio>

bool load_system(const std::string& path, System& s)
{
    std::string error;
    if (read_system_file(path, s, error))
        return true;
    std::fprintf(stderr, "phase_boundary: %s\n", error.c_str());
    return false;
}

int run_system(const SystemRun& run)
{
    System s;
    if (!load_system(run.system_file, s))
        return INPUT_FAILED;
    const char* names[] = {BOUNDARIES_NAME, INVARIANTS_NAME, PLOT_INFO_NAME};
    std::FILE* files[3] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 3, files))
        return OUTPUT_FAILED;
    std::FILE* boundaries = files[0];
    std::FILE* invariants = files[1];
    std::FILE* plot = files[2];

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
