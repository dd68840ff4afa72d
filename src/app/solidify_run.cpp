#include "app/solidify_run.h"

#include "app/exit_status.h"
#include "engine/freezing/solidify.h"
#include "formats/output.h"
#include "formats/shortest.h"
#include "formats/solidification_tables.h"
#include "formats/tables.h"
#include "request/request.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

int refuse_step(const std::string& why)
{
    std::fprintf(stderr, "phase_boundary: %s\nTry 'phase_boundary --help' for more information.\n",
                 why.c_str());
    return USAGE_FAILED;
}

}  // namespace

std::string solidify_fault(const System& s, double step)
{
    const std::string liquid = liquid_needs(s);
    if (!liquid.empty())
        return "--solidify " + liquid;
    const std::string rows = step_needs(s, step);
    return rows.empty() ? "" : "--step " + rows;
}

std::string rows_fault(const Solidification& r, double step)
{
    const std::string rows = rows_needs(r, step);
    return rows.empty() ? "" : "--step " + rows;
}

namespace {

// gnuplot assignments for the figure's title and axes: the names, x0 and the units.
void write_solidification_plot_info(std::FILE* f, const System& s, double x0, const Units& u)
{
    std::fprintf(f, "# Written by phase_boundary beside solidification.tsv and segregation.tsv.\n");
    std::fprintf(f, "system_name = %s\n", gnuplot_string(s.name).c_str());
    std::fprintf(f, "name_A = %s\nname_B = %s\n", gnuplot_string(s.a.name).c_str(),
                 gnuplot_string(s.b.name).c_str());
    std::fprintf(f, "x0 = %s\n", gnuplot_string(fraction_text(u, x0)).c_str());
    std::fprintf(f, "T_unit = %s\nx_words = %s\n", gnuplot_string(temperature_unit(u)).c_str(),
                 u.mass ? "\"Mass fraction\"" : "\"Mole fraction\"");
}

}  // namespace

int run_solidify(const SolidifyRun& run)
{
    LoadedSystem loaded;
    if (!load_system(run.system, loaded))
        return INPUT_FAILED;
    const System& s = loaded.system;
    const std::string fault = solidify_fault(s, run.step);
    if (!fault.empty())
        return refuse_step(fault);
    const char* names[] = {SOLIDIFICATION_NAME, SEGREGATION_NAME, SOLIDIFICATION_PLOT_INFO_NAME};
    std::FILE* files[3] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 3, files))
        return OUTPUT_FAILED;
    const double x0 = mole_fraction_from(loaded.units, run.x0);
    if (!x0_needs(x0).empty()) {
        discard_outputs();
        return refuse_step("--solidify " + shortest(run.x0) + " is a mole fraction of " + shortest(x0) +
                           ", outside 1e-12 to 1 - 1e-12");
    }
    const Solidification r = solidify(s, x0, run.step);
    const std::string too_many = rows_fault(r, run.step);
    if (!too_many.empty()) {
        discard_outputs();
        return refuse_step(too_many);
    }
    write_solidification(files[0], s, r, loaded.units);
    write_segregation(files[1], r, loaded.units);
    write_solidification_plot_info(files[2], s, x0, loaded.units);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    write_solidification_summary(stdout, s, r, loaded.units);
    if (loaded.database)
        write_database_extras(
            stdout, {s.functions.pressure, loaded.left_out, loaded.rejected, loaded.parts, loaded.ignored});
    for (const Doubt& d : r.doubts)
        write_warning(stderr, s, d, loaded.units);
    const bool none_weighs = warn_database(loaded);
    return r.doubts.empty() && none_weighs ? COMPLETE : UNCONFIRMED;
}
