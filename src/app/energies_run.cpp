#include "app/energies_run.h"

#include "app/command_line.h"
#include "app/exit_status.h"
#include "engine/diagram/energies.h"
#include "formats/energy_tables.h"
#include "formats/output.h"
#include "formats/tables.h"

#include <cstdio>

int run_energies(const EnergiesRun& run)
{
    // The one temperature in place of a default range, which would cost a
    // scan of the whole diagram.
    SystemSource source = run.system;
    source.has_temperatures = true;
    std::string unused;
    checked_range(run.T, run.T, 1.0, source.temperatures, unused);
    LoadedSystem loaded;
    if (!load_system(source, loaded))
        return INPUT_FAILED;
    const System& s = loaded.system;
    std::vector<Doubt> doubts;
    const Equilibria e = equilibria_at(s, make_grid(s), run.T, doubts);
    const std::vector<EnergyCurve> curves = energy_curves(s, run.T);

    const char* names[] = {ENERGIES_NAME, TANGENTS_NAME, ENERGY_PLOT_INFO_NAME};
    std::FILE* files[3] = {};
    if (!open_outputs(run.output_dir.c_str(), names, 3, files))
        return OUTPUT_FAILED;
    write_energies(files[0], s, curves);
    write_tangents(files[1], s, common_tangents(s, e));
    write_energy_plot_info(files[2], s, run.T, curves, loaded.units);
    if (!commit_outputs())
        return OUTPUT_FAILED;
    bool confirmed = warn_database(loaded);
    for (const Doubt& doubt : doubts) {
        write_warning(stderr, s, doubt, loaded.units);
        confirmed = false;
    }
    return confirmed ? COMPLETE : UNCONFIRMED;
}
