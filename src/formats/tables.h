// What the general engine writes: the two tables, the summary and the small
// file the plot script reads beside them.
#pragma once

#include "engine/database/database_system.h"
#include "engine/diagram/diagram.h"
#include "engine/diagram/regions.h"
#include "engine/phases/model.h"
#include "formats/labels.h"
#include "formats/units.h"

#include <cstdio>
#include <string>

// "T\tphase_low\tx_low\tphase_high\tx_high", then one row per tie-line; with
// site_fractions two more columns, y_low and y_high: each end's site fractions,
// its sublattices separated by ':' and the constituents on one by ','.
void write_boundaries(std::FILE* f, const System& s, const Diagram& d, bool site_fractions = false,
                      const Units& u = {});

// A state's site fractions as a column: "0.5,0.5:1".
std::string site_fractions_text(const std::vector<std::vector<double>>& y);

// A region's phases as the summary names them: one phase, or two joined by
// "+" in the system's order, the liquid first.
std::string region_name(const System& s, const Region& r);

// "phases\tx\tT", then one row per region: its phases and where its label goes.
void write_regions(std::FILE* f, const System& s, const std::vector<Region>& regions, const Units& u = {});

// The outlines of the two-phase regions (header phases, phase, x, T): each
// region's corners in order around it, the first repeated last, and a blank
// line after each region, where a plotting program breaks the line.
void write_outlines(std::FILE* f, const System& s, const std::vector<Region>& regions, const Units& u = {});

// The lines where an ordering sets in continuously inside single-phase fields
// (header phase_left, phase_right, x, T): each line's points by rising T and a
// blank line after it; the header alone where the diagram has none.
void write_orderings(std::FILE* f, const System& s, const Diagram& d, const Units& u = {});

// One label of the figure: its text (in the run's units), its middle (K,
// mole fraction) and, where it is led out of a field too narrow for it, the
// point its leader goes to.
struct LabelRow {
    std::string text;
    double x, T;
    bool led;
    double x_to, T_to;
};

// Every label of the figure, in this order: each three-phase invariant's
// ("eutectic 607.681 K"), each pure transition's between solids at the
// edges ("1184.81 K", led to its point on the axis), each region's (its
// phases, or the number that stands for them, where it is placed: at its
// point of regions.tsv, or led out of its field to that point)
// and the lines of the numbers' key ("3 A+B").
std::vector<LabelRow> label_rows(const System& s, const Diagram& d, const FigureLabels& labels,
                                 const Units& u = {});

// The label rows (header text, x, T, x_to, T_to), x_to and T_to empty where
// a label has no leader.
void write_labels(std::FILE* f, const System& s, const Diagram& d, const FigureLabels& labels,
                  const Units& u = {});

// "kind\tT\tphase_1\tx_1\tphase_2\tx_2\tphase_3\tx_3", then one row per invariant.
void write_invariants(std::FILE* f, const System& s, const Diagram& d, const Units& u = {});

// text as a gnuplot string: in double quotes, without the characters that
// would end it or escape out of it.
std::string gnuplot_string(const std::string& text);

// gnuplot assignments and labels: the names, melting points, range and where
// each region's label goes.
void write_plot_info(std::FILE* f, const System& s, const Diagram& d, const Units& u = {});

// The summary for standard output. In every writer u gives the units of the
// temperatures and compositions; the default, kelvin and mole fractions,
// writes the bytes it always did.
void write_summary(std::FILE* f, const System& s, const Diagram& d, const Units& u = {});

// What the engine could not confirm, in words, its numbers in the shortest
// round-trip form.
std::string warning_text(const System& s, const Doubt& doubt, const Units& u = {});

// The same as one line, "phase_boundary: warning: ...".
void write_warning(std::FILE* f, const System& s, const Doubt& doubt, const Units& u = {});

// What a database adds to the summary: the phases used, each pure element's
// transitions and the phases taken beyond their functions' limits.
void write_database_notes(std::FILE* f, const System& s, const std::vector<PureTransition>& a,
                          const std::vector<PureTransition>& b, const std::vector<std::string>& extrapolated,
                          const Units& u = {});

// The lines a database run adds after its notes: the pressure; then, where
// there are any, the phases left out and why, those the file itself rejects,
// those that are only another phase's disordered part, and what was read
// without bearing on G.
struct DatabaseExtras {
    double pressure;  // Pa
    const std::vector<LeftOut>& left_out;
    const std::vector<std::string>& rejected;
    const std::vector<std::string>& parts;
    const std::vector<std::string>& ignored;
};
void write_database_extras(std::FILE* f, const DatabaseExtras& extras);
