#include "app/fractions_run.h"

#include "app/diagram_run.h"
#include "app/exit_status.h"
#include "engine/diagram/diagram.h"
#include "engine/freezing/point.h"
#include "formats/output.h"
#include "formats/shortest.h"
#include "formats/tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <thread>

namespace {

void write_fractions(std::FILE* f, const System& s, const std::vector<PhaseFraction>& rows, const Units& u)
{
    std::fputs("T\tphase\tamount\tx\n", f);
    for (const PhaseFraction& r : rows)
        std::fprintf(f, "%s\t%s\t%s\t%s\n", temperature_text(u, r.T).c_str(), fraction_name(s, r).c_str(),
                     shortest(r.amount).c_str(), std::isnan(r.x) ? "" : fraction_text(u, r.x).c_str());
}

// gnuplot assignments: the names, x0 and the phases that appear.
void write_fractions_plot_info(std::FILE* f, const System& s, double x0,
                               const std::vector<PhaseFraction>& rows, const Units& u)
{
    std::string names;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (i == 0 || rows[i].phase != rows[i - 1].phase || rows[i].copy != rows[i - 1].copy)
            names += (names.empty() ? "" : " ") + fraction_name(s, rows[i]);
    std::fprintf(f, "# Written by phase_boundary beside fractions.tsv.\n");
    std::fprintf(f, "system_name = %s\n", gnuplot_string(s.name).c_str());
    std::fprintf(f, "name_A = %s\nname_B = %s\n", gnuplot_string(s.a.name).c_str(),
                 gnuplot_string(s.b.name).c_str());
    std::fprintf(f, "x0 = %s\nphases = %s\n", fraction_text(u, x0).c_str(), gnuplot_string(names).c_str());
    std::fprintf(f, "T_unit = %s\nx_words = %s\n", gnuplot_string(temperature_unit(u)).c_str(),
                 u.mass ? "\"Mass fraction\"" : "\"Mole fraction\"");
}

}  // namespace

std::string fraction_name(const System& s, const PhaseFraction& r)
{
    return phase_name(s, r.phase) + (r.copy == 1 ? "#2" : "");
}

int run_fractions(const FractionsRun& run)
{
    LoadedSystem loaded;
    if (!load_system(run.system, loaded))
        return INPUT_FAILED;
    const System& s = loaded.system;
    const double x0 = mole_fraction_from(loaded.units, run.x0);
    const char* names[] = {FRACTIONS_NAME, FRACTIONS_PLOT_INFO_NAME};
    std::FILE* files[2] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 2, files))
        return OUTPUT_FAILED;
    const Diagram d = swept_diagram(s, run.threads);
    const std::vector<PhaseFraction> rows = phase_fractions(s, d, x0);
    write_fractions(files[0], s, rows, loaded.units);
    write_fractions_plot_info(files[1], s, x0, rows, loaded.units);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    const bool none_weighs = warn_database(loaded);
    for (const Doubt& doubt : d.doubts)
        write_warning(stderr, s, doubt, loaded.units);
    return d.doubts.empty() && none_weighs ? COMPLETE : UNCONFIRMED;
}
