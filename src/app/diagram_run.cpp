#include "app/diagram_run.h"

#include "app/exit_status.h"
#include "app/progress.h"
#include "engine/diagram/diagram.h"
#include "engine/diagram/regions.h"
#include "formats/labels.h"
#include "formats/output.h"
#include "formats/shortest.h"
#include "formats/tables.h"

#include <algorithm>
#include <cstdio>
#include <thread>

Diagram swept_diagram(const System& s, unsigned threads)
{
    std::atomic<std::size_t> rows_done{0};
    const ProgressLine progress("temperatures", static_cast<std::size_t>(s.range.count), rows_done);
    return compute_diagram(s, threads > 0 ? threads : std::max(1U, std::thread::hardware_concurrency()),
                           &rows_done);
}

int run_diagram(const DiagramRun& run)
{
    LoadedSystem loaded;
    if (!load_system(run.system, loaded))
        return INPUT_FAILED;
    const System& s = loaded.system;
    const char* names[] = {BOUNDARIES_NAME, INVARIANTS_NAME, PLOT_INFO_NAME, REGIONS_NAME,
                           OUTLINES_NAME,   LABELS_NAME,     ORDERINGS_NAME};
    std::FILE* files[7] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 7, files))
        return OUTPUT_FAILED;

    const Diagram d = swept_diagram(s, run.threads);
    const Units& u = loaded.units;
    write_boundaries(files[0], s, d, run.site_fractions, u);
    write_invariants(files[1], s, d, u);
    write_plot_info(files[2], s, d, u);
    if (run.zoomed)  // only where asked: the default file keeps its bytes
        std::fprintf(files[2], "x_first = %s\nx_last = %s\n", shortest(run.x_first).c_str(),
                     shortest(run.x_last).c_str());
    const LabelSize labels =
        run.zoomed ? zoomed_labels(mole_fraction_from(u, run.x_first), mole_fraction_from(u, run.x_last))
                   : FIGURE_LABELS;
    const FigureLabels figure = figure_labels(s, d, labels);
    write_regions(files[3], s, figure.regions, u);
    write_outlines(files[4], s, figure.regions, u);
    write_labels(files[5], s, d, figure, u);
    write_orderings(files[6], s, d, u);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    write_summary(stdout, s, d, u);
    if (loaded.database) {
        write_database_notes(stdout, s, loaded.transitions_a, loaded.transitions_b, loaded.extrapolated, u);
        write_database_extras(
            stdout, {s.functions.pressure, loaded.left_out, loaded.rejected, loaded.parts, loaded.ignored});
    }
    const bool none_weighs = warn_database(loaded);
    for (const Doubt& doubt : d.doubts)
        write_warning(stderr, s, doubt, u);
    return d.doubts.empty() && none_weighs ? COMPLETE : UNCONFIRMED;
}
