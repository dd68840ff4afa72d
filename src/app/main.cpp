// phase_boundary: reads the command line and hands over to the run it names.
#include "app/builtin_run.h"
#include "app/command_line.h"
#include "app/diagram_run.h"
#include "app/energies_run.h"
#include "app/exit_status.h"
#include "app/fractions_run.h"
#include "app/list_run.h"
#include "app/point_run.h"
#include "app/solidify_run.h"
#include "builtin/sweep.h"
#include "formats/output.h"

int main(int argc, char** argv)
{
    if (!prepare_outputs())
        return OUTPUT_FAILED;
    CommandLine line;
    const int status = parse_command_line(argc, argv, line);
    if (status >= 0)
        return status;

    if (line.list)
        return run_list(line.list_file, line.components);
    SystemSource system{line.general, line.system_file,      line.components,
                        line.phases,  line.has_temperatures, line.temperatures};
    system.pressure = line.pressure;
    system.celsius = line.celsius;
    system.mass_fraction = line.mass_fraction;
    if (line.solidify)
        return run_solidify({system, line.output_dir, line.x0, line.step});
    if (line.fractions)
        return run_fractions({system, line.output_dir, line.threads, line.fractions_x0});
    if (line.energies)
        return run_energies({system, line.output_dir, line.energies_T});
    if (!line.points.empty() || !line.points_file.empty())
        return run_points({system, line.output_dir, line.points, line.points_file});
    if (line.general)
        return run_diagram({system, line.output_dir, line.threads, line.site_fractions, line.zoomed,
                            line.x_first, line.x_last});

    BuiltinRun run;
    run.output_dir = line.output_dir.c_str();
    run.seed = line.seeded ? line.seed : clock_seed();
    run.log = line.log;
    return run_builtin(run);
}
