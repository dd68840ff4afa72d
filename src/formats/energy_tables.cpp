#include "formats/energy_tables.h"

#include "formats/shortest.h"
#include "formats/tables.h"

#include <algorithm>
#include <cmath>
#include <string>

void write_energies(std::FILE* f, const System& s, const std::vector<EnergyCurve>& curves)
{
    std::fputs("phase\tx\tG\n", f);
    for (const EnergyCurve& c : curves)
        for (std::size_t i = 0; i < c.x.size(); ++i)
            std::fprintf(f, "%s\t%s\t%s\n", phase_name(s, c.phase).c_str(), shortest(c.x[i]).c_str(),
                         shortest(c.G[i]).c_str());
}

void write_tangents(std::FILE* f, const System& s, const std::vector<Tangent>& tangents)
{
    std::fputs("phase_low\tx_low\tphase_high\tx_high\tmu_A\tmu_B\n", f);
    for (const Tangent& t : tangents)
        std::fprintf(f, "%s\t%s\t%s\t%s\t%s\t%s\n", phase_name(s, t.low_phase).c_str(),
                     shortest(t.x_low).c_str(), phase_name(s, t.high_phase).c_str(),
                     shortest(t.x_high).c_str(), shortest(t.mu_a).c_str(), shortest(t.mu_b).c_str());
}

void write_energy_plot_info(std::FILE* f, const System& s, double T, const std::vector<EnergyCurve>& curves,
                            const Units& u)
{
    const auto quoted = gnuplot_string;
    const double ga = stable_pure_energy(s, true, T);
    const double gb = stable_pure_energy(s, false, T);
    // The figure's range: from below the lowest point to as far above the
    // chord, so that the stable curves fill it and the high ones leave it.
    double lowest = 0.0;
    std::string curve_names;
    std::string point_names;
    for (const EnergyCurve& c : curves) {
        std::string& names = c.x.size() == 1 ? point_names : curve_names;
        names += (names.empty() ? "" : " ") + phase_name(s, c.phase);
        for (std::size_t i = 0; i < c.x.size(); ++i)
            lowest = std::min(lowest, c.G[i] - (c.x[i] * ga + (1.0 - c.x[i]) * gb));
    }
    const double depth = std::max(-lowest, s.gas_constant * T);
    std::fprintf(f, "# Written by phase_boundary beside energies.tsv and tangents.tsv.\n");
    std::fprintf(f, "system_name = %s\n", quoted(s.name).c_str());
    std::fprintf(f, "name_A = %s\nname_B = %s\n", quoted(s.a.name).c_str(), quoted(s.b.name).c_str());
    std::fprintf(f, "T = %s\nT_unit = %s\n", temperature_text(u, T).c_str(),
                 quoted(temperature_unit(u)).c_str());
    std::fprintf(f, "curves = %s\npoints = %s\n", quoted(curve_names).c_str(), quoted(point_names).c_str());
    std::fprintf(f, "G_A = %s\nG_B = %s\n", shortest(ga).c_str(), shortest(gb).c_str());
    std::fprintf(f, "G_low = %s\nG_high = %s\n", shortest(-1.15 * depth).c_str(),
                 shortest(0.6 * depth).c_str());
}
