// phase_boundary: reads the command line and hands over to the run it names.
#include "builtin.h"
#include "cli.h"
#include "output.h"
#include "solidify_run.h"
#include "sweep.h"
#include "system_run.h"

int main(int argc, char** argv)
{
    prepare_outputs();
    CommandLine line;
    const int status = parse_command_line(argc, argv, line);
    if (status >= 0)
        return status;

    if (line.solidify)
        return run_solidify({line.general, line.system_file, line.output_dir, line.x0, line.step});
    if (line.general)
        return run_system({line.system_file, line.output_dir});

    BuiltinRun run;
    run.output_dir = line.output_dir.c_str();
    run.seed = line.seeded ? line.seed : clock_seed();
    run.log = line.log;
    return run_builtin(run);
}
