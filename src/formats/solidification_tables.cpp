#include "formats/solidification_tables.h"

#include "formats/shortest.h"

#include <cmath>
#include <string>

namespace {

// A number in its shortest round-trip form, or nothing for a field left empty.
std::string field(double v)
{
    return std::isnan(v) ? std::string() : shortest(v);
}

// A composition in the run's units, or nothing for a field left empty.
std::string x_field(const Units& u, double x)
{
    return std::isnan(x) ? std::string() : fraction_text(u, x);
}

}  // namespace

std::string solids_forming(const System& s, const PhaseFractions& p)
{
    std::string out;
    for (int k = 0; k < p.solids; ++k)
        out += (k > 0 ? "+" : "") + phase_name(s, p.solid[k]);
    return out;
}

void write_solidification(std::FILE* f, const System& s, const Solidification& r, const Units& u)
{
    for (const char* column : SOLIDIFICATION_COLUMNS)
        std::fprintf(f, "%s%s", column == SOLIDIFICATION_COLUMNS[0] ? "" : "\t", column);
    std::fputs("\n", f);
    for (const SolidificationRow& row : r.rows)
        std::fprintf(f, "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", temperature_text(u, row.T).c_str(),
                     field(row.lever.f).c_str(), x_field(u, row.lever.xs).c_str(),
                     x_field(u, row.lever.xl).c_str(), field(row.scheil.f).c_str(),
                     x_field(u, row.scheil.xs).c_str(), x_field(u, row.scheil.xl).c_str(),
                     solids_forming(s, row.lever).c_str(), solids_forming(s, row.scheil).c_str());
}

void write_segregation(std::FILE* f, const Solidification& r, const Units& u)
{
    std::fputs("g\tx_solid\n", f);
    for (std::size_t i = 0; i < r.g.size(); ++i)
        std::fprintf(f, "%s\t%s\n", shortest(r.g[i]).c_str(), fraction_text(u, r.x_solid[i]).c_str());
}

void write_solidification_summary(std::FILE* f, const System& s, const Solidification& r, const Units& u)
{
    const char* unit = temperature_unit(u);
    const auto T = [&](double kelvin) { return temperature_text(u, kelvin); };
    std::fprintf(f, "%s: x0 = %s (%s of %s)\n", s.name.c_str(), fraction_text(u, r.x0).c_str(),
                 fraction_words(u), s.a.name.c_str());
    if (r.congruent) {
        std::fprintf(f, "x0 is a congruent composition: liquidus = solidus = %s %s, no freezing range\n",
                     T(r.liquidus).c_str(), unit);
    } else {
        std::fprintf(f, "liquidus %s %s%s\n", T(r.liquidus).c_str(), unit,
                     r.liquidus_at_invariant ? " (the first solid forms at an invariant)" : "");
        std::fprintf(f, "solidus %s %s%s%s\n", T(r.solidus).c_str(), unit,
                     r.solidus_at_invariant ? ", at the " : "",
                     r.solidus_at_invariant ? invariant_name(r.solidus_kind) : "");
        std::fprintf(f, "freezing range %s %s\n", shortest(r.liquidus - r.solidus).c_str(), unit);
    }
    const std::string minor = r.minor_is_a ? s.a.name : s.b.name;
    if (!std::isnan(r.partition))
        std::fprintf(f, "partition coefficient of %s (the minor component) at the liquidus: k = %s\n",
                     minor.c_str(), shortest(r.partition).c_str());
    for (InvariantKind k : r.scheil_crossed)
        std::fprintf(f, "the Scheil liquid passes a %s\n", invariant_name(k));
    switch (r.scheil_end) {
    case PathEnd::pure_component:
        std::fprintf(f, "Scheil path ends at %s %s, the melting point of %s, as the liquid runs out of %s\n",
                     T(r.scheil_end_T).c_str(), unit,
                     r.scheil_last_solid < 0.5 ? s.b.name.c_str() : s.a.name.c_str(),
                     r.scheil_last_solid < 0.5 ? s.a.name.c_str() : s.b.name.c_str());
        break;
    case PathEnd::congruent:
        std::fprintf(f, "Scheil path ends at the congruent point, %s %s, x = %s\n", T(r.scheil_end_T).c_str(),
                     unit, fraction_text(u, r.scheil_last_solid).c_str());
        break;
    case PathEnd::invariant:
        std::fprintf(f, "Scheil path ends at the %s, %s %s, where a fraction %s of liquid (x = %s) freezes\n",
                     invariant_name(r.scheil_kind), T(r.scheil_end_T).c_str(), unit,
                     shortest(r.scheil_remaining).c_str(), fraction_text(u, r.scheil_last_solid).c_str());
        break;
    case PathEnd::unresolved:
        std::fprintf(f, "Scheil path: not resolved\n");
        break;
    }
    if (!std::isnan(r.eutectic_lever) || !std::isnan(r.eutectic_scheil)) {
        const auto fraction = [](double v) { return std::isnan(v) ? std::string("none") : shortest(v); };
        std::fprintf(f, "eutectic fraction: %s by the lever rule, %s by Scheil\n",
                     fraction(r.eutectic_lever).c_str(), fraction(r.eutectic_scheil).c_str());
    }
}
