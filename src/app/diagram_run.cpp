#include "app/diagram_run.h"

#include "app/exit_status.h"
#include "engine/diagram.h"
#include "formats/output.h"
#include "formats/shortest.h"
#include "formats/tables.h"

#include <cstdio>

namespace {

void warn(const Doubt& doubt)
{
    if (doubt.x_low == 0.0 && doubt.x_high == 0.0)
        std::fprintf(stderr, "phase_boundary: warning: %s\n", doubt.why.c_str());
    else
        std::fprintf(stderr, "phase_boundary: warning: at %s K, %s x = %s and %s x = %s: %s\n",
                     shortest(doubt.T).c_str(), phase_letter(doubt.low_phase), shortest(doubt.x_low).c_str(),
                     phase_letter(doubt.high_phase), shortest(doubt.x_high).c_str(), doubt.why.c_str());
}

}  // namespace

int run_diagram(const DiagramRun& run)
{
    System s;
    if (!load_system(run.system, s))
        return INPUT_FAILED;
    const char* names[] = {BOUNDARIES_NAME, INVARIANTS_NAME, PLOT_INFO_NAME};
    std::FILE* files[3] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 3, files))
        return OUTPUT_FAILED;

    const Diagram d = compute_diagram(s);
    write_boundaries(files[0], d);
    write_invariants(files[1], d);
    write_plot_info(files[2], s, d);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    write_summary(stdout, s, d);
    for (const Doubt& doubt : d.doubts)
        warn(doubt);
    return d.doubts.empty() ? COMPLETE : UNCONFIRMED;
}
