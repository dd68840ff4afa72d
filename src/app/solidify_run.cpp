#include "app/solidify_run.h"

#include "app/exit_status.h"
#include "engine/solidify.h"
#include "formats/output.h"
#include "formats/shortest.h"
#include "formats/solidification_tables.h"

#include <cstdio>

int run_solidify(const SolidifyRun& run)
{
    System s;
    if (!load_system(run.system, s))
        return INPUT_FAILED;
    const char* names[] = {SOLIDIFICATION_NAME, SEGREGATION_NAME};
    std::FILE* files[2] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 2, files))
        return OUTPUT_FAILED;
    const Solidification r = solidify(s, run.x0, run.step);
    write_solidification(files[0], r);
    write_segregation(files[1], r);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    write_solidification_summary(stdout, s, r);
    for (const Doubt& d : r.doubts)
        std::fprintf(stderr, "phase_boundary: warning: at %s K: %s\n", shortest(d.T).c_str(), d.why.c_str());
    return r.doubts.empty() ? COMPLETE : UNCONFIRMED;
}
