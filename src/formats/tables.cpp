#include "formats/tables.h"

#include "formats/shortest.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace {

// A two-phase region's name: its phases in the system's order, the liquid
// first, joined by between ("+" in the summary, " + " on the plot).
std::string region_label(const System& s, const TieLine& t, const char* between = "+")
{
    const Phase first = std::min(t.low_phase, t.high_phase);
    const Phase second = std::max(t.low_phase, t.high_phase);
    return phase_name(s, first) + between + phase_name(s, second);
}

// The phase of each single-phase region of a row, left to right.
std::vector<Phase> regions_of(const Equilibria& e)
{
    std::vector<Phase> r{e.first_phase};
    for (const TieLine& t : e.ties)
        r.push_back(t.high_phase);
    return r;
}

}  // namespace

std::string site_fractions_text(const std::vector<std::vector<double>>& y)
{
    std::string text;
    for (std::size_t s = 0; s < y.size(); ++s)
        for (std::size_t k = 0; k < y[s].size(); ++k)
            text += (k > 0 ? "," : s > 0 ? ":" : "") + shortest(y[s][k]);
    return text;
}

void write_boundaries(std::FILE* f, const System& s, const Diagram& d, bool site_fractions, const Units& u)
{
    std::fputs(site_fractions ? "T\tphase_low\tx_low\tphase_high\tx_high\ty_low\ty_high\n"
                              : "T\tphase_low\tx_low\tphase_high\tx_high\n",
               f);
    for (const Equilibria& e : d.rows) {
        const std::string T = temperature_text(u, e.T);
        for (const TieLine& t : e.ties) {
            std::fprintf(f, "%s\t%s\t%s\t%s\t%s", T.c_str(), phase_name(s, t.low_phase).c_str(),
                         fraction_text(u, t.low.x).c_str(), phase_name(s, t.high_phase).c_str(),
                         fraction_text(u, t.high.x).c_str());
            if (site_fractions)
                std::fprintf(f, "\t%s\t%s",
                             site_fractions_text(::site_fractions(s, t.low_phase, t.low, e.T)).c_str(),
                             site_fractions_text(::site_fractions(s, t.high_phase, t.high, e.T)).c_str());
            std::fputs("\n", f);
        }
    }
}

std::string region_name(const System& s, const Region& r)
{
    if (r.count == 1)
        return phase_name(s, r.phases[0]);
    const Phase first = std::min(r.phases[0], r.phases[1]);
    const Phase second = std::max(r.phases[0], r.phases[1]);
    return phase_name(s, first) + "+" + phase_name(s, second);
}

void write_regions(std::FILE* f, const System& s, const std::vector<Region>& regions, const Units& u)
{
    std::fputs("phases\tx\tT\n", f);
    for (const Region& r : regions) {
        const auto [x, T] = region_point(r);
        std::fprintf(f, "%s\t%s\t%s\n", region_name(s, r).c_str(), fraction_text(u, x).c_str(),
                     temperature_text(u, T).c_str());
    }
}

std::vector<LabelRow> label_rows(const System& s, const Diagram& d, const FigureLabels& labels,
                                 const Units& u)
{
    std::vector<LabelRow> out;
    for (const InvariantLabel& l : labels.invariants) {
        const Invariant& inv = d.invariants[l.invariant];
        out.push_back({invariant_label_text(inv, temperature_value(u, inv.T), temperature_unit(u)), l.x, l.T,
                       false, 0.0, 0.0});
    }
    for (const TransitionLabel& l : labels.transitions) {
        const EdgeEvent& e = d.melting[l.event];
        out.push_back({transition_label_text(temperature_value(u, e.T), temperature_unit(u)), l.x, l.T_label,
                       true, e.at_a ? 1.0 : 0.0, e.T});
    }
    for (const Region& r : labels.regions)
        out.push_back(
            {r.tag > 0 ? std::to_string(r.tag) : region_name(s, r), r.x, r.T, r.led, r.to_x, r.to_T});
    for (const KeyLine& k : labels.key)
        out.push_back({k.text, k.x, k.T, false, 0.0, 0.0});
    return out;
}

void write_labels(std::FILE* f, const System& s, const Diagram& d, const FigureLabels& labels, const Units& u)
{
    std::fputs("text\tx\tT\tx_to\tT_to\n", f);
    for (const LabelRow& l : label_rows(s, d, labels, u)) {
        std::fprintf(f, "%s\t%s\t%s", l.text.c_str(), fraction_text(u, l.x).c_str(),
                     temperature_text(u, l.T).c_str());
        if (l.led)
            std::fprintf(f, "\t%s\t%s\n", fraction_text(u, l.x_to).c_str(),
                         temperature_text(u, l.T_to).c_str());
        else
            std::fputs("\t\t\n", f);
    }
}

void write_orderings(std::FILE* f, const System& s, const Diagram& d, const Units& u)
{
    std::fputs("phase_left\tphase_right\tx\tT\n", f);
    for (const OrderingLine& l : ordering_lines(d)) {
        for (const auto& [x, T] : l.points)
            std::fprintf(f, "%s\t%s\t%s\t%s\n", phase_name(s, l.left).c_str(), phase_name(s, l.right).c_str(),
                         fraction_text(u, x).c_str(), temperature_text(u, T).c_str());
        std::fputs("\n", f);
    }
}

void write_outlines(std::FILE* f, const System& s, const std::vector<Region>& regions, const Units& u)
{
    std::fputs("phases\tphase\tx\tT\n", f);
    for (const Region& r : regions) {
        if (r.outline.empty())
            continue;
        const std::string name = region_name(s, r);
        for (const OutlinePoint& o : r.outline)
            std::fprintf(f, "%s\t%s\t%s\t%s\n", name.c_str(), phase_name(s, o.phase).c_str(),
                         fraction_text(u, o.x).c_str(), temperature_text(u, o.T).c_str());
        std::fputs("\n", f);
    }
}

void write_invariants(std::FILE* f, const System& s, const Diagram& d, const Units& u)
{
    std::fputs("kind\tT\tphase_1\tx_1\tphase_2\tx_2\tphase_3\tx_3\n", f);
    for (const Invariant& inv : d.invariants) {
        std::fprintf(f, "%s\t%s", invariant_name(inv.kind), temperature_text(u, inv.T).c_str());
        for (int i = 0; i < 3; ++i) {
            if (i < inv.phases)
                std::fprintf(f, "\t%s\t%s", phase_name(s, inv.phase[i]).c_str(),
                             fraction_text(u, inv.at[i].x).c_str());
            else
                std::fputs("\t\t", f);
        }
        std::fputs("\n", f);
    }
}

std::string gnuplot_string(const std::string& text)
{
    std::string q = "\"";
    for (char c : text)
        if (c != '"' && c != '\\' && static_cast<unsigned char>(c) >= 0x20)
            q += c;
    return q + "\"";
}

void write_plot_info(std::FILE* f, const System& s, const Diagram& d, const Units& u)
{
    const auto quoted = gnuplot_string;
    std::fprintf(f, "# Written by phase_boundary beside boundaries.tsv and invariants.tsv.\n");
    std::fprintf(f, "system_name = %s\n", quoted(s.name).c_str());
    std::fprintf(f, "name_A = %s\nname_B = %s\n", quoted(s.a.name).c_str(), quoted(s.b.name).c_str());
    // gnuplot reads NaN, not the C library's "-nan", for an element that never melts.
    const auto melting = [&](double T) {
        return std::isfinite(T) ? temperature_text(u, T) : std::string("NaN");
    };
    std::fprintf(f, "T_m_A = %s\nT_m_B = %s\n", melting(s.a.melting_point()).c_str(),
                 melting(s.b.melting_point()).c_str());
    std::fprintf(f, "T_first = %s\nT_last = %s\n", temperature_text(u, s.range.first).c_str(),
                 temperature_text(u, s.range.at(s.range.count - 1)).c_str());
    // The axes' units only where they are not the engine's: the default file keeps its bytes.
    if (u.celsius)
        std::fprintf(f, "T_unit = %s\n", quoted(temperature_unit(u)).c_str());
    if (u.mass)
        std::fprintf(f, "x_words = \"Mass fraction\"\n");
    std::fprintf(f, "liquid_name = %s\n", quoted(phase_name(s, Phase::liquid)).c_str());

    // A label in the middle of each region, over each run of temperatures that
    // share one set of regions, where the run and the region are wide enough;
    // of labels alike and near each other only the one of the largest region stays.
    struct Label {
        std::string text;
        double x, T, area;
    };
    std::vector<Label> labels;
    const double span = s.range.at(s.range.count - 1) - s.range.first;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= d.rows.size(); ++i) {
        const bool ends = i == d.rows.size() || regions_of(d.rows[i]) != regions_of(d.rows[start]);
        if (!ends)
            continue;
        const Equilibria& mid = d.rows[(start + i - 1) / 2];
        const double height = d.rows[i - 1].T - d.rows[start].T;
        if (height >= 0.04 * span) {
            double left = 0.0;
            const std::vector<Phase> regions = regions_of(mid);
            for (std::size_t k = 0; k < regions.size(); ++k) {
                const double right = k < mid.ties.size() ? mid.ties[k].low.x : 1.0;
                if (right - left > 0.06)
                    labels.push_back({phase_name(s, regions[k]).c_str(), 0.5 * (left + right), mid.T,
                                      (right - left) * height});
                if (k < mid.ties.size()) {
                    const TieLine& t = mid.ties[k];
                    const std::string text = region_label(s, t, " + ");
                    if (t.high.x - t.low.x > 0.06)
                        labels.push_back(
                            {text, 0.5 * (t.low.x + t.high.x), mid.T, (t.high.x - t.low.x) * height});
                    left = t.high.x;
                }
            }
        }
        start = i;
    }
    std::sort(labels.begin(), labels.end(), [](const Label& a, const Label& b) { return a.area > b.area; });
    std::vector<Label> kept;
    for (const Label& l : labels) {
        const bool near = std::any_of(kept.begin(), kept.end(), [&](const Label& k) {
            return k.text == l.text && std::fabs(k.x - l.x) < 0.3 && std::fabs(k.T - l.T) < 0.3 * span;
        });
        if (!near)
            kept.push_back(l);
    }
    for (const Label& l : kept)
        std::fprintf(f, "set label \"%s\" at %s, %s center noenhanced\n", l.text.c_str(),
                     fraction_text(u, l.x).c_str(), temperature_text(u, l.T).c_str());
}

void write_summary(std::FILE* f, const System& s, const Diagram& d, const Units& u)
{
    const char* unit = temperature_unit(u);
    std::fprintf(f, "%s: A = %s (x is its %s), B = %s\n", s.name.c_str(), s.a.name.c_str(), fraction_words(u),
                 s.b.name.c_str());
    const auto melting = [&](double T) {
        return std::isfinite(T) ? temperature_text(u, T) + " " + unit : std::string("none");
    };
    std::fprintf(f, "melting points: %s %s, %s %s\n", s.a.name.c_str(), melting(s.a.melting_point()).c_str(),
                 s.b.name.c_str(), melting(s.b.melting_point()).c_str());
    std::fprintf(f, "temperatures: %s %s to %s %s in steps of %s %s: %ld\n",
                 temperature_text(u, s.range.first).c_str(), unit,
                 temperature_text(u, s.range.at(s.range.count - 1)).c_str(), unit,
                 shortest(s.range.step).c_str(), unit, s.range.count);
    std::map<std::string, long> held;
    long none = 0;
    for (const Equilibria& e : d.rows) {
        std::map<std::string, bool> here;
        for (const TieLine& t : e.ties)
            here[region_label(s, t)] = true;
        for (const auto& [kind, yes] : here)
            held[kind] += yes ? 1 : 0;
        none += e.ties.empty() ? 1 : 0;
    }
    // Temperatures with a row or region the engine could not confirm, counted apart.
    std::set<double> unconfirmed;
    for (const Doubt& doubt : d.doubts)
        if (doubt.where == Doubt::Where::tie_line)
            unconfirmed.insert(doubt.T);
    if (held.empty() && unconfirmed.empty())
        std::fprintf(f, "  no two phases coexist anywhere in the range\n");
    for (const auto& [kind, count] : held)
        std::fprintf(f, "  %s at %ld temperatures\n", kind.c_str(), count);
    // Orderings inside single-phase fields, only where there are some: the
    // summaries of every other diagram keep their lines.
    std::map<std::string, long> ordering;
    for (const Equilibria& e : d.rows) {
        std::set<std::string> here;
        for (const Ordering& o : e.orderings) {
            const bool left_ordered = phase_family(s, o.left) != o.left;
            here.insert(phase_name(s, left_ordered ? o.left : o.right) + " ordering continuously from " +
                        phase_name(s, left_ordered ? o.right : o.left));
        }
        for (const std::string& kind : here)
            ++ordering[kind];
    }
    for (const auto& [kind, count] : ordering)
        std::fprintf(f, "  %s at %ld temperatures\n", kind.c_str(), count);
    if (!held.empty() || !unconfirmed.empty())
        std::fprintf(f, "  a single phase at %ld temperatures\n", none);
    if (!unconfirmed.empty())
        std::fprintf(f, "  not confirmed at %zu temperatures (see the warnings)\n", unconfirmed.size());
    if (d.invariants.empty())
        std::fprintf(f, "invariants: none in the range\n");
    else
        std::fprintf(f, "invariants:\n");
    for (const Invariant& inv : d.invariants) {
        std::fprintf(f, "  %s at %s %s:", invariant_name(inv.kind), temperature_text(u, inv.T).c_str(), unit);
        for (int i = 0; i < inv.phases; ++i)
            std::fprintf(f, "%s %s x = %s", i > 0 ? "," : "", phase_name(s, inv.phase[i]).c_str(),
                         fraction_text(u, inv.at[i].x).c_str());
        std::fprintf(f, "\n");
    }
}

std::string warning_text(const System& s, const Doubt& doubt, const Units& u)
{
    const std::string unit = std::string(" ") + temperature_unit(u);
    switch (doubt.where) {
    case Doubt::Where::tie_line:
        return "at " + temperature_text(u, doubt.T) + unit + ", " + phase_name(s, doubt.low_phase) +
               " x = " + fraction_text(u, doubt.x_low) + " and " + phase_name(s, doubt.high_phase) +
               " x = " + fraction_text(u, doubt.x_high) + ": " + doubt.why;
    case Doubt::Where::range:
        return doubt.why + " between " + temperature_text(u, doubt.T) + unit + " and " +
               temperature_text(u, doubt.T_high) + unit;
    case Doubt::Where::temperature:
        break;
    }
    return "at " + temperature_text(u, doubt.T) + unit + ": " + doubt.why;
}

void write_warning(std::FILE* f, const System& s, const Doubt& doubt, const Units& u)
{
    std::fprintf(f, "phase_boundary: warning: %s\n", warning_text(s, doubt, u).c_str());
}

void write_database_notes(std::FILE* f, const System& s, const std::vector<PureTransition>& a,
                          const std::vector<PureTransition>& b, const std::vector<std::string>& extrapolated,
                          const Units& u)
{
    std::fputs("phases:", f);
    for (const PhaseModel& p : s.phases)
        std::fprintf(f, " %s", p.name.c_str());
    std::fputs("\n", f);
    for (const PhaseModel& p : s.phases)
        std::fprintf(f, "  %s: %s\n", p.name.c_str(), model_of(p).c_str());
    for (const bool of_a : {true, false}) {
        const std::vector<PureTransition>& list = of_a ? a : b;
        std::fprintf(f, "pure %s:", (of_a ? s.a : s.b).name.c_str());
        if (list.empty())
            std::fputs(" no transition", f);
        for (std::size_t i = 0; i < list.size(); ++i)
            std::fprintf(f, "%s %s -> %s at %s %s", i > 0 ? "," : "", phase_name(s, list[i].below).c_str(),
                         phase_name(s, list[i].above).c_str(), temperature_text(u, list[i].T).c_str(),
                         temperature_unit(u));
        std::fputs("\n", f);
    }
    if (!extrapolated.empty()) {
        std::fputs("extrapolated beyond their functions' limits:", f);
        for (const std::string& name : extrapolated)
            std::fprintf(f, " %s", name.c_str());
        std::fputs("\n", f);
    }
}

void write_database_extras(std::FILE* f, const DatabaseExtras& e)
{
    std::fprintf(f, "pressure: %s Pa\n", shortest(e.pressure).c_str());
    if (!e.left_out.empty()) {
        std::fputs("left out:", f);
        for (std::size_t i = 0; i < e.left_out.size(); ++i)
            std::fprintf(f, "%s %s (%s)", i > 0 ? "," : "", e.left_out[i].phase.c_str(),
                         e.left_out[i].why.c_str());
        std::fputs("\n", f);
    }
    const auto list = [&](const char* what, const std::vector<std::string>& names, const char* between) {
        if (names.empty())
            return;
        std::fputs(what, f);
        for (std::size_t i = 0; i < names.size(); ++i)
            std::fprintf(f, "%s%s", i > 0 ? between : " ", names[i].c_str());
        std::fputs("\n", f);
    };
    list("rejected by the file:", e.rejected, " ");
    list("disordered parts of other phases:", e.parts, " ");
    list("read and ignored:", e.ignored, "; ");
}
