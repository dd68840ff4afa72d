// What the general engine writes: every field of every invariant row, summary
// counts that agree with the rows, and warnings in the shortest number form.
#include "engine/database/database_system.h"
#include "engine/diagram/default_range.h"
#include "engine/freezing/lever.h"
#include "formats/labels.h"
#include "formats/shortest.h"
#include "formats/tables.h"
#include "formats/tdb_file.h"
#include "formats/units.h"
#include "reference.h"
#include "testio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>

namespace {

const Phase L = Phase::liquid;
const Phase S = Phase::solid;

// The liquid and solid that name the phases.
System two_phases()
{
    System s;
    s.phases = liquid_and_solid({"A", 1000.0, 1.0}, {"B", 900.0, 1.0}, {}, {});
    return s;
}

TieLine tie(Phase p, double x1, Phase q, double x2)
{
    return {p, composition_from_x(x1), q, composition_from_x(x2), 0.0, 0.0, 0.0};
}

// A diagram of three rows and one invariant of each width, built by hand.
Diagram worked_diagram()
{
    Diagram d;
    d.rows.push_back({900.0, S, {tie(S, 0.1, L, 0.3)}});
    d.rows.push_back({800.0, S, {tie(S, 0.1, L, 0.3), tie(S, 0.6, S, 0.7)}});
    d.rows.push_back({700.0, S, {}});
    const Composition c = composition_from_x(0.5);
    d.invariants.push_back({InvariantKind::critical, 750.25, 1, {S}, {c}, false});
    d.invariants.push_back({InvariantKind::congruent, 850.5, 2, {L, S}, {c, c}, false});
    d.invariants.push_back({InvariantKind::eutectic,
                            607.6814713338503,
                            3,
                            {S, L, S},
                            {composition_from_x(0.02), composition_from_x(0.45), composition_from_x(0.98)},
                            true});
    d.doubts.push_back(doubt_at_tie_line(700.0, S, 0.2, S, 0.4, "not confirmed"));
    return d;
}

TEST(Tables, EveryInvariantRowHasEveryField)
{
    const Diagram d = worked_diagram();
    const System s = two_phases();
    const std::vector<std::string> lines =
        split_lines(capture([&](std::FILE* f) { write_invariants(f, s, d); }));
    ASSERT_EQ(lines.size(), 4u);
    for (const std::string& line : lines)
        EXPECT_EQ(count_of(line, "\t"), 7) << "'" << line << "'";
    EXPECT_EQ(lines[1], "critical\t750.25\tS\t0.5\t\t\t\t");
    EXPECT_EQ(lines[3], "eutectic\t607.6814713338503\tS\t0.02\tL\t0.45\tS\t0.98");
}

TEST(Tables, SummaryCountsAgreeWithTheRows)
{
    const System s = system_of("[A]\nmelting_point = 1000\nenthalpy_of_fusion = 10000\n"
                               "[B]\nmelting_point = 900\nenthalpy_of_fusion = 9000\n");
    const std::string summary = capture([&](std::FILE* f) { write_summary(f, s, worked_diagram()); });
    for (const char* line : {"  L+S at 2 temperatures\n", "  S+S at 1 temperatures\n",
                             "  a single phase at 1 temperatures\n", "  not confirmed at 1 temperatures"})
        EXPECT_NE(summary.find(line), std::string::npos) << line << " in\n" << summary;
}

TEST(Tables, WarningsPrintShortestNumbers)
{
    struct Case {
        Doubt doubt;
        const char* line;
    };
    const Case cases[] = {
        {doubt_in_range(607.6814713338503, 607.6814714, "not resolved"),
         "phase_boundary: warning: not resolved between 607.6814713338503 K and 607.6814714 K\n"},
        {doubt_at(1418.6, "a path not followed"),
         "phase_boundary: warning: at 1418.6 K: a path not followed\n"},
        {doubt_at_tie_line(0.1, L, 1e-300, S, 0.25, "a dip"),
         "phase_boundary: warning: at 0.1 K, L x = 1e-300 and S x = 0.25: a dip\n"},
    };
    const System s = two_phases();
    for (const Case& c : cases)
        EXPECT_EQ(capture([&](std::FILE* f) { write_warning(f, s, c.doubt); }), c.line);
}

}  // namespace

// Units: degrees Celsius the shortest decimal within the subtraction's
// rounding, a mass fraction against its closed form and back, and the
// default units the engine's own numbers, unchanged.
TEST(Tables, UnitsConvertAndPrintTheirShortestDecimals)
{
    const Units kelvin{};
    EXPECT_EQ(temperature_text(kelvin, 773.25), "773.25");
    EXPECT_EQ(fraction_text(kelvin, 0.1), "0.1");
    const Units celsius{true, false, 0.0, 0.0};
    EXPECT_EQ(temperature_text(celsius, 773.25), "500.1");
    EXPECT_EQ(temperature_text(celsius, 600.1 + ZERO_CELSIUS), "600.1");
    EXPECT_EQ(temperature_text(celsius, 273.15), "0");
    EXPECT_EQ(temperature_text(celsius, 1.0), "-272.15");
    EXPECT_EQ(std::string(temperature_unit(celsius)), "\u00b0C");
    EXPECT_NEAR(kelvin_from(celsius, -100.0), 173.15, 1e-13);
    const Units mass{false, true, 26.9815, 58.6934};  // Al, Ni
    const double x = 0.3;
    EXPECT_NEAR(fraction_value(mass, x), 0.3 * 26.9815 / (0.3 * 26.9815 + 0.7 * 58.6934), 1e-16);
    for (const double w : {0.3, 0.1645, 1e-9, 0.999})
        EXPECT_EQ(fraction_text(mass, mole_fraction_from(mass, w)), shortest(w)) << w;
    EXPECT_EQ(fraction_value(mass, 0.0), 0.0);
    EXPECT_EQ(fraction_value(mass, 1.0), 1.0);
}

namespace {

// Whether the segment from a to b passes through the box's inside (Liang and
// Barsky's clipping: the parameters where it enters and leaves each slab).
bool segment_through(const LabelBox& box, double ax, double aT, double bx, double bT)
{
    double enter = 0.0;
    double leave = 1.0;
    const double d[2] = {bx - ax, bT - aT};
    const double from[2] = {ax, aT};
    const double low[2] = {box.x_low, box.T_low};
    const double high[2] = {box.x_high, box.T_high};
    for (int k = 0; k < 2; ++k) {
        if (d[k] == 0.0) {
            if (!(from[k] > low[k] && from[k] < high[k]))
                return false;
            continue;
        }
        double t0 = (low[k] - from[k]) / d[k];
        double t1 = (high[k] - from[k]) / d[k];
        if (t0 > t1)
            std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
    }
    return enter < leave;
}

}  // namespace

// The figures' labels: in every example's diagram and in public binaries no
// two labels overlap, nor a region's label a boundary or an invariant's line;
// a label led out of a narrow field has its leader end inside that field.
TEST(Tables, RegionLabelsOverlapNoLabelNorLine)
{
    std::vector<std::pair<std::string, System>> systems;
    for (const char* name : {"eutectic", "peritectic", "monotectic", "congruent-minimum", "congruent-maximum",
                             "solid-gap", "cu-ni", "builtin"})
        systems.emplace_back(name, example_system(name));
    const std::filesystem::path shared = PHASE_BOUNDARY_SHARED_TDB;
    // Al-Zn's default places put two labels on the invariants' own, and Cu-Mg
    // has fields too narrow for their labels.
    for (const auto& [file, a, b] :
         {std::tuple<const char*, const char*, const char*>{"pb-sn.tdb", "PB", "SN"},
          {"ag-cu.tdb", "AG", "CU"},
          {"al-zn.tdb", "AL", "ZN"},
          {"cu-mg.tdb", "CU", "MG"},
          {"cost507.tdb", "AL", "CU"}}) {
        Database db;
        InputError error;
        DatabaseBinary binary;
        std::string why;
        if (read_tdb_file((shared / file).string(), db, error) &&
            database_binary(db, a, b, {}, binary, why) && default_range(binary.system, why))
            systems.emplace_back(file, binary.system);
    }
    int led = 0;
    int tags = 0;
    for (const auto& named : systems) {
        SCOPED_TRACE(named.first);
        // A named reference, not a structured binding: C++17 lambdas cannot capture one.
        const System& s = named.second;
        const Diagram d = compute_diagram(s, 2);
        const FigureLabels labels = figure_labels(s, d);
        const std::vector<Region>& regions = labels.regions;
        const double span = d.rows.back().T - d.rows.front().T;
        std::vector<LabelBox> boxes;
        for (const InvariantLabel& l : labels.invariants) {
            const Invariant& inv = d.invariants[l.invariant];
            const LabelBox box =
                label_box(invariant_label_text(inv, inv.T, "K"), l.x, l.T, span, FIGURE_LABELS);
            for (const LabelBox& other : boxes)
                EXPECT_FALSE(overlap(box, other)) << "the labels of two invariants, at " << inv.T;
            for (const Invariant& line : d.invariants) {
                if (line.phases == 3) {
                    EXPECT_FALSE(segment_through(box, line.at[0].x, line.T, line.at[2].x, line.T))
                        << "the label of the invariant at " << inv.T << " over the line at " << line.T;
                }
            }
            boxes.push_back(box);
        }
        for (const TransitionLabel& l : labels.transitions) {
            const EdgeEvent& e = d.melting[l.event];
            const LabelBox box =
                label_box(transition_label_text(e.T, "K"), l.x, l.T_label, span, FIGURE_LABELS);
            for (const LabelBox& other : boxes)
                EXPECT_FALSE(overlap(box, other)) << "the label of the transition at " << e.T;
            boxes.push_back(box);
        }
        const std::size_t invariants = boxes.size();
        std::vector<std::pair<std::string, LabelBox>> texts;
        for (const Region& r : regions) {
            const std::string text = r.tag > 0 ? std::to_string(r.tag) : region_name(s, r);
            texts.emplace_back(text, label_box(text, r.x, r.T, span, FIGURE_LABELS));
        }
        for (const KeyLine& k : labels.key)
            texts.emplace_back(k.text, label_box(k.text, k.x, k.T, span, FIGURE_LABELS));
        for (const auto& [text, box] : texts) {
            SCOPED_TRACE(text);
            for (std::size_t k = 0; k < boxes.size(); ++k)
                EXPECT_FALSE(overlap(box, boxes[k]))
                    << text << " over " << (k < invariants ? "an invariant's label" : "another label");
            boxes.push_back(box);
            for (const Region& other : regions)
                for (std::size_t k = 1; k < other.outline.size(); ++k) {
                    const OutlinePoint& p = other.outline[k - 1];
                    const OutlinePoint& q = other.outline[k];
                    EXPECT_FALSE(segment_through(box, p.x, p.T, q.x, q.T))
                        << text << " over the outline of " << region_name(s, other) << " at " << q.x << ", "
                        << q.T;
                }
            for (const Invariant& inv : d.invariants) {
                if (inv.phases == 3) {
                    EXPECT_FALSE(segment_through(box, inv.at[0].x, inv.T, inv.at[2].x, inv.T))
                        << text << " over the invariant at " << inv.T;
                }
            }
        }
        for (const Region& r : regions) {
            const std::string text = region_name(s, r);
            tags += r.tag > 0;
            if (r.tag > 0) {
                EXPECT_EQ(labels.key.at(static_cast<std::size_t>(r.tag - 1)).text,
                          std::to_string(r.tag) + " " + text);
            }
            if (r.led) {
                ++led;
                const auto row = std::find_if(r.spans.begin(), r.spans.end(),
                                              [&](const Span& sp) { return sp.T == r.to_T; });
                ASSERT_NE(row, r.spans.end()) << text << "'s leader ends on one of its rows";
                EXPECT_TRUE(r.to_x > row->left && r.to_x < row->right) << text;
            }
        }
        // regions.tsv's point lies in its region, led-out label or not: the
        // alloy there is made of the region's phases.
        const std::vector<std::string> lines =
            split_lines(capture([&](std::FILE* f) { write_regions(f, s, regions, Units{}); }));
        ASSERT_EQ(lines.size(), regions.size() + 1);
        for (std::size_t k = 1; k < lines.size(); ++k) {
            std::istringstream fields(lines[k]);
            std::string phases;
            double x = 0.0;
            double T = 0.0;
            fields >> phases >> x >> T;
            const auto row =
                std::find_if(d.rows.begin(), d.rows.end(), [&](const Equilibria& e) { return e.T == T; });
            ASSERT_NE(row, d.rows.end()) << lines[k] << ": on no row";
            const Location w = locate(*row, x);
            Region there{};
            there.phases[0] = w.two_phase ? w.tie.low_phase : w.single;
            there.phases[1] = w.tie.high_phase;
            there.count = w.two_phase ? 2 : 1;
            EXPECT_EQ(region_name(s, there), phases) << "at " << x << ", " << T;
        }
    }
    if (std::filesystem::exists(shared / "cu-mg.tdb")) {
        EXPECT_GE(led, 1) << "Cu-Mg's narrow fields have their labels led out";
    }
    if (std::filesystem::exists(shared / "cost507.tdb")) {
        EXPECT_GE(tags, 5) << "Al-Cu's crowd of fields is numbered";
    }
}

// A pure component's transitions between solids (Fe's alpha -> gamma at 1184.8
// K and gamma -> delta at 1667.5 K in steel1's Fe-C) are marked on Fe's axis:
// a label of their temperature, clear of every other, led to the axis.
TEST(Tables, PureTransitionsMarkedOnTheirAxis)
{
    const std::filesystem::path file = std::filesystem::path(PHASE_BOUNDARY_SHARED_TDB) / "steel1.tdb";
    Database db;
    InputError error;
    DatabaseBinary binary;
    std::string why;
    if (!read_tdb_file(file.string(), db, error) || !database_binary(db, "FE", "C", {}, binary, why))
        GTEST_SKIP() << "no public database at " << file;
    System& s = binary.system;
    ASSERT_TRUE(temperature_range(1100.0, 1700.0, 1.0, s.range));
    const Diagram d = compute_diagram(s, 2);
    const FigureLabels labels = figure_labels(s, d);
    ASSERT_EQ(labels.transitions.size(), 2u);
    const double expected[2] = {1184.8, 1667.5};
    for (std::size_t k = 0; k < 2; ++k) {
        const TransitionLabel& l = labels.transitions[k];
        const EdgeEvent& e = d.melting[l.event];
        EXPECT_TRUE(e.at_a) << "on Fe's axis, x = 1";
        EXPECT_NEAR(e.T, expected[k], 0.1);
        EXPECT_LT(l.x, 1.0);
        EXPECT_NEAR(l.T_label, e.T, 2.5 * FIGURE_LABELS.height * 600.0) << "beside its point";
    }
}
