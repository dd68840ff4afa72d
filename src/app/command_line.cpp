#include "app/command_line.h"

#include "app/exit_status.h"
#include "engine/freezing/solidify.h"
#include "formats/units.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>

#ifndef PHASE_BOUNDARY_VERSION
#define PHASE_BOUNDARY_VERSION "unknown"
#endif

namespace {

constexpr const char* TEMPERATURE_LIMITS = "temperatures above 0 K and at most 100000 K";
constexpr const char* POINT_TEMPERATURE_LIMITS = "a temperature above 0 K and at most 100000 K";

constexpr const char* DESCRIPTION =
    "phase_boundary: phase diagrams, equilibria and solidification of binary alloys.\n"
    "\n"
    "With --system FILE: every stable two-phase equilibrium and invariant of the binary the\n"
    "file describes, into boundaries.tsv, invariants.tsv and diagram.gp, with the figure's\n"
    "regions.tsv, outlines.tsv, labels.tsv and orderings.tsv, and a summary on standard\n"
    "output. FILE is a thermodynamic database (TDB, a name ending in .tdb), of which\n"
    "--components A,B names the binary, or a system file (TOML).\n"
    "  --at T,X0        the equilibrium of an alloy at a point, into equilibrium.json\n"
    "  --fractions X0   the phases of an alloy at every temperature, into fractions.tsv\n"
    "  --energies T     every phase's Gibbs energy across x and the common tangents at T\n"
    "  --solidify X0    the freezing of an alloy by the lever rule and by Scheil, into\n"
    "                   solidification.tsv and segregation.tsv (and solidification.gp)\n"
    "With --list FILE: what a database holds, and which of its phases this program computes.\n"
    "Without --system: the built-in run, the liquidus and solidus of an ideal alloy of Si and a\n"
    "second component for every whole temperature from 1215 K to 1687 K, by Newton-Raphson\n"
    "from random starts, into the table result02.txt and the run log result.txt (with\n"
    "--solidify X0: the freezing of that alloy).\n"
    "Files are written into the output directory and replace their predecessors together\n"
    "once the run has finished.";

constexpr const char* FOOTER =
    "The built-in run without --seed is seeded with its start time in whole seconds since the\n"
    "epoch and records no seed; --seed makes it repeatable: the same seed writes the same bytes on\n"
    "every platform, line ends aside.\n"
    "\n"
    "Exit status: 0 complete run; 1 singular Jacobian in the built-in run (message on standard\n"
    "output); 2 a file could not be opened or written; 64 bad command line; 65 unusable system\n"
    "file, database or file of points; 70 a result the engine could not confirm, or a phase\n"
    "left out (warnings on standard error); 128+N after signal N.";

}  // namespace

bool parse_seed(const std::string& text, std::uint32_t& seed)
{
    // Decimal only: a leading 0 is not octal, and no sign, space or prefix is taken.
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, seed);
    return ec == std::errc() && ptr == end;
}

bool parse_threads(const std::string& text, unsigned& threads)
{
    std::uint32_t n = 0;
    if (!parse_seed(text, n) || n < 1 || n > MOST_THREADS)
        return false;
    threads = n;
    return true;
}

bool parse_number(const std::string& text, double& value)
{
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos)
        return false;
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(begin, end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool parse_point(const std::string& text, AlloyPoint& point, std::string& why, bool celsius)
{
    const auto part = [&](std::size_t from, std::size_t to) {
        const std::string p = text.substr(from, to - from);
        const std::size_t first = p.find_first_not_of(" \t");
        return first == std::string::npos ? "" : p.substr(first, p.find_last_not_of(" \t") - first + 1);
    };
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || !parse_number(part(0, comma), point.T) ||
        !parse_number(part(comma + 1, text.size()), point.x0)) {
        why = "T,X0: a temperature in kelvin and a mole fraction";
        return false;
    }
    if (celsius)
        point.T += ZERO_CELSIUS;
    why = temperature_needs(point.T);
    if (why.empty())
        why = x0_needs(point.x0);
    if (celsius && why == POINT_TEMPERATURE_LIMITS)
        why = "a temperature above -273.15 \u00b0C and at most 99726.85 \u00b0C";
    return why.empty();
}

bool parse_x_range(const std::string& text, double& first, double& last)
{
    const std::size_t colon = text.find(':');
    return colon != std::string::npos && parse_number(text.substr(0, colon), first) &&
           parse_number(text.substr(colon + 1), last) && first >= 0.0 && first < last && last <= 1.0;
}

bool parse_temperatures(const std::string& text, TemperatureRange& r, std::string& why, bool celsius)
{
    const std::size_t first_colon = text.find(':');
    const std::size_t second_colon =
        first_colon == std::string::npos ? first_colon : text.find(':', first_colon + 1);
    double first = 0.0;
    double last = 0.0;
    double step = 1.0;
    if (first_colon == std::string::npos || !parse_number(text.substr(0, first_colon), first) ||
        !parse_number(text.substr(first_colon + 1, second_colon - first_colon - 1), last) ||
        (second_colon != std::string::npos && !parse_number(text.substr(second_colon + 1), step))) {
        why = celsius ? "FIRST:LAST or FIRST:LAST:STEP in degrees Celsius"
                      : "FIRST:LAST or FIRST:LAST:STEP in kelvin";
        return false;
    }
    if (!celsius)
        return checked_range(first, last, step, r, why);
    if (checked_range(first + ZERO_CELSIUS, last + ZERO_CELSIUS, step, r, why))
        return true;
    if (why == TEMPERATURE_LIMITS)
        why = "temperatures above -273.15 \u00b0C and at most 99726.85 \u00b0C";
    return false;
}

bool checked_range(double first, double last, double step, TemperatureRange& r, std::string& why)
{
    why = range_needs(first, last, step, r);
    return why.empty();
}

namespace {

// What --components and --phases need of the system file: a database takes
// both, a system file neither. An empty string where the line is sound.
std::string database_options_fault(const CommandLine& line, bool pressure_given)
{
    if (line.list)
        return is_database_file(line.list_file) ? "" : "--list takes a database (.tdb)";
    const bool database = line.general && is_database_file(line.system_file);
    if (database && line.components.empty())
        return "--components A,B is required with a database (.tdb)";
    if (!database && !line.components.empty())
        return "--components applies to a database (.tdb) only";
    if (!database && !line.phases.empty())
        return "--phases applies to a database (.tdb) only";
    if (!database && pressure_given)
        return "--pressure applies to a database (.tdb) only";
    if ((line.celsius || line.mass_fraction) && !line.general && !line.solidify)
        return std::string(line.celsius ? "--celsius" : "--mass-fraction") +
               " applies to the general engine (--system or --solidify)";
    if (line.mass_fraction && line.energies)
        return "--mass-fraction does not apply to --energies: G per mole of atoms and its tangents are drawn "
               "against the mole fraction";
    return "";
}

}  // namespace

namespace {

// The options' texts as given, each read into the CommandLine once the whole
// line has parsed.
struct OptionTexts {
    std::string seed, x0, step, temperatures, components, phases, threads, pressure;
    std::vector<std::string> points;
    std::string energies_T, fractions_x0, x_range;
    bool no_log = false;
};

CLI::Validator number_where(bool (*accept)(double), const std::string& what)
{
    return CLI::Validator(
        [=](std::string& text) {
            double v = 0.0;
            return parse_number(text, v) && accept(v) ? std::string() : what + ", not '" + text + "'";
        },
        "", what);
}

// A check by a reader that says why a text does not read: the message is
// that reason and the text ("a whole number from 1 to 256, not '0'").
CLI::Validator text_where(const std::function<bool(const std::string&, std::string&)>& reads,
                          const std::string& name)
{
    return CLI::Validator(
        [=](std::string& text) {
            std::string why;
            return reads(text, why) ? std::string() : why + ", not '" + text + "'";
        },
        "", name);
}

CLI::Validator names_check(std::size_t count, const std::string& what)
{
    return CLI::Validator(
        [=](std::string& text) {
            std::vector<std::string> names;
            return parse_names(text, names) && (count == 0 || names.size() == count)
                       ? std::string()
                       : what + ", not '" + text + "'";
        },
        "", what);
}

// The output directory, which every run writes into.
void add_output_option(CLI::App& app, CommandLine& line)
{
    app.add_option("-o,--output-dir", line.output_dir,
                   "Write the files into DIR, which must exist (default: the current directory)")
        ->type_name("DIR")
        ->check(CLI::ExistingDirectory);
}

// The units the general engine reads and writes.
void add_units_options(CLI::App& app, CommandLine& line)
{
    app.add_flag("--celsius", line.celsius,
                 "Read and write temperatures in degrees Celsius (T - 273.15), in every table, summary "
                 "and figure and in --temperatures, --at and --energies")
        ->excludes(app.get_option("--list"));
    app.add_flag("--mass-fraction", line.mass_fraction,
                 "Read and write compositions as mass fractions of A, from the components' molar masses "
                 "(a database's ELEMENT lines, a system file's molar_mass), in every table, summary and "
                 "figure and in --at, --fractions and --solidify")
        ->excludes(app.get_option("--list"));
}

// The built-in run's options, --seed and --no-log, last in the help as the
// run they belong to is the one without --system.
void add_builtin_options(CLI::App& app, OptionTexts& t)
{
    CLI::Option* seed =
        app.add_option("--seed", t.seed, "The built-in run: seed the random starts with N (0 ... 4294967295)")
            ->type_name("N")
            ->check(CLI::Validator(
                [](std::string& text) {
                    std::uint32_t ignored = 0;
                    return parse_seed(text, ignored)
                               ? std::string()
                               : "not a whole number from 0 to 4294967295: '" + text + "'";
                },
                "", "seed"));
    CLI::Option* no_log =
        app.add_flag("--no-log", t.no_log,
                     "The built-in run: write no run log; an existing result.txt is left alone. The table is "
                     "the one a logged run with the same seed writes");
    for (CLI::Option* o : {seed, no_log})
        o->excludes(app.get_option("--system"))
            ->excludes(app.get_option("--solidify"))
            ->excludes(app.get_option("--list"))
            ->excludes(app.get_option("--celsius"))
            ->excludes(app.get_option("--mass-fraction"));
}

// The equilibrium at points: --at, --at-file.
void add_point_options(CLI::App& app, CommandLine& line, OptionTexts& t, CLI::Option* solidify, bool celsius)
{
    app.add_option("--at", t.points,
                   "With --system: the equilibrium of the alloy of mole fraction X0 of A at T (K): "
                   "its phases with their amounts, compositions and site fractions, the chemical "
                   "potentials and activities, and G, H, S and Cp, on standard output and into "
                   "equilibrium.json; may be given again for more points")
        ->type_name("T,X0")
        ->check(text_where(
            [=](const std::string& text, std::string& why) {
                AlloyPoint unused{};
                return parse_point(text, unused, why, celsius);
            },
            "point"))
        ->needs(app.get_option("--system"))
        ->excludes(solidify)
        ->excludes(app.get_option("--temperatures"));
    app.add_option("--at-file", line.points_file,
                   "With --system: the equilibrium at each line T,X0 of FILE, as --at (blank lines and "
                   "lines from # on are passed over)")
        ->type_name("FILE")
        ->needs(app.get_option("--system"))
        ->excludes(solidify)
        ->excludes(app.get_option("--temperatures"));
    app.add_option("--fractions", t.fractions_x0,
                   "With --system: the phases of the alloy of mole fraction X0 of A at every temperature "
                   "of the diagram, each with its amount and composition, into fractions.tsv")
        ->type_name("X0")
        ->check(number_where([](double v) { return x0_needs(v).empty(); },
                             "a mole fraction from 1e-12 to 1 - 1e-12"))
        ->needs(app.get_option("--system"))
        ->excludes(solidify)
        ->excludes(app.get_option("--at"))
        ->excludes(app.get_option("--at-file"));
    app.add_option("--energies", t.energies_T,
                   "With --system: every phase's Gibbs energy across x at T (K) into energies.tsv, the "
                   "common tangents of the stable equilibria into tangents.tsv, and energies.gp for the "
                   "plot script")
        ->type_name("T")
        ->check(text_where(
            [=](const std::string& text, std::string& why) {
                AlloyPoint unused{};
                return parse_point(text + ",0.5", unused, why, celsius);
            },
            "temperature"))
        ->needs(app.get_option("--system"))
        ->excludes(solidify)
        ->excludes(app.get_option("--temperatures"))
        ->excludes(app.get_option("--at"))
        ->excludes(app.get_option("--at-file"))
        ->excludes(app.get_option("--fractions"));
}

// The general engine's options: --system, --solidify, --step, --temperatures.
void add_engine_options(CLI::App& app, CommandLine& line, OptionTexts& t, bool celsius)
{
    app.add_option("--system", line.system_file,
                   "Compute the whole diagram of the binary described in FILE (a TDB database with "
                   "--components, or a system file in TOML) with the general engine")
        ->type_name("FILE");
    CLI::Option* solidify =
        app.add_option("--solidify", t.x0,
                       "Freeze an alloy whose mole fraction of A is X0, from 1e-12 to 1 - 1e-12, "
                       "by the lever rule and by Scheil (with --system: that system's A; "
                       "without: the built-in system's Si)")
            ->type_name("X0")
            ->check(number_where([](double v) { return x0_needs(v).empty(); },
                                 "a mole fraction from 1e-12 to 1 - 1e-12"));
    app.add_option("--step", t.step, "Kelvin between the solidification table's rows (default 1)")
        ->type_name("DT")
        ->check(number_where([](double v) { return v > 0.0; }, "a positive number of kelvin"))
        ->needs(solidify);
    app.add_option("--temperatures", t.temperatures,
                   "With --system: the diagram at FIRST, FIRST + STEP, ... up to LAST (K; STEP 1 where not "
                   "given), in place of the file's [temperature] table; FIRST:LAST alone for one temperature "
                   "when they are equal")
        ->type_name("FIRST:LAST[:STEP]")
        ->check(text_where(
            [=](const std::string& text, std::string& why) {
                TemperatureRange unused{};
                return parse_temperatures(text, unused, why, celsius);
            },
            "temperatures"))
        ->needs(app.get_option("--system"))
        ->excludes(solidify);
    app.add_option("--threads", t.threads,
                   "With --system: threads that share the diagram's temperatures, 1 to 256 (default: one "
                   "per core); the tables are the same for any number")
        ->type_name("N")
        ->check(text_where(
            [](const std::string& text, std::string& why) {
                unsigned ignored = 0;
                why = "a whole number from 1 to 256";
                return parse_threads(text, ignored);
            },
            "threads"))
        ->needs(app.get_option("--system"))
        ->excludes(solidify);
    app.add_flag("--site-fractions", line.site_fractions,
                 "With --system: add to boundaries.tsv each end's site fractions (y_low, y_high: its "
                 "sublattices separated by ':', the constituents on one by ',' in the order the "
                 "database lists them)")
        ->needs(app.get_option("--system"))
        ->excludes(solidify);
    add_point_options(app, line, t, solidify, celsius);
    app.add_option("--range", t.x_range,
                   "With --system: the figure's axis of x from XMIN to XMAX (0 <= XMIN < XMAX <= 1, in the "
                   "units of the run), written into diagram.gp for the plot script")
        ->type_name("XMIN:XMAX")
        ->check(text_where(
            [](const std::string& text, std::string& why) {
                double first = 0.0;
                double last = 0.0;
                why = "XMIN:XMAX with 0 <= XMIN < XMAX <= 1";
                return parse_x_range(text, first, last);
            },
            "range"))
        ->needs(app.get_option("--system"))
        ->excludes(solidify);
}

// A database's options: --components, --phases, --pressure, --list.
void add_database_options(CLI::App& app, CommandLine& line, OptionTexts& t)
{
    CLI::Option* list =
        app.add_option(
               "--list", line.list_file,
               "List what the database FILE holds: its elements, its phases with the model each needs "
               "and whether this program computes it, and what it reads and ignores; with "
               "--components, the phases of that binary kept and left out, and why")
            ->type_name("FILE")
            ->excludes(app.get_option("--system"))
            ->excludes(app.get_option("--solidify"));
    CLI::Option* system_or_list = app.get_option("--system");
    app.add_option("--components", t.components,
                   "With a database: its two elements A,B (x is the mole fraction of A)")
        ->type_name("A,B")
        ->check(names_check(2, "two different element names A,B"));
    app.add_option("--pressure", t.pressure,
                   "With a database: the pressure in Pa, above 0 and at most 1e10, that its P stands for "
                   "(default 101325)")
        ->type_name("PA")
        ->check(number_where([](double v) { return v > 0.0 && v <= HIGHEST_PRESSURE; },
                             "a pressure above 0 Pa and at most 1e10 Pa"))
        ->needs(system_or_list)
        ->excludes(list);
    app.add_option("--phases", t.phases,
                   "With a database: keep only these phases (default: every phase of the two elements)")
        ->type_name("P1,P2,...")
        ->check(names_check(0, "phase names P1,P2,... each once"))
        ->needs(app.get_option("--components"));
}

// The parsed texts into line; each was checked by its validator.
void read_options(const CLI::App& app, const OptionTexts& t, CommandLine& line)
{
    line.seeded = !t.seed.empty() || app.count("--seed") > 0;
    if (line.seeded)
        parse_seed(t.seed, line.seed);
    line.log = !t.no_log;
    line.general = app.count("--system") > 0;
    line.solidify = app.count("--solidify") > 0;
    if (line.solidify)
        parse_number(t.x0, line.x0);
    if (!t.step.empty())
        parse_number(t.step, line.step);
    if (!t.components.empty())
        parse_names(t.components, line.components);
    if (!t.phases.empty())
        parse_names(t.phases, line.phases);
    if (!t.threads.empty())
        parse_threads(t.threads, line.threads);
    if (!t.pressure.empty())
        parse_number(t.pressure, line.pressure);
    for (const std::string& text : t.points) {
        AlloyPoint point{};
        std::string unused;
        parse_point(text, point, unused, line.celsius);
        line.points.push_back(point);
    }
    line.zoomed = !t.x_range.empty();
    if (line.zoomed)
        parse_x_range(t.x_range, line.x_first, line.x_last);
    line.fractions = !t.fractions_x0.empty();
    if (line.fractions)
        parse_number(t.fractions_x0, line.fractions_x0);
    line.energies = !t.energies_T.empty();
    if (line.energies) {
        parse_number(t.energies_T, line.energies_T);
        if (line.celsius)
            line.energies_T += ZERO_CELSIUS;
    }
    line.list = app.count("--list") > 0;
    line.has_temperatures = !t.temperatures.empty();
    if (line.has_temperatures) {
        std::string unused;
        parse_temperatures(t.temperatures, line.temperatures, unused, line.celsius);
    }
}

int usage_failed(const std::string& why)
{
    std::fprintf(stderr, "phase_boundary: %s\nTry 'phase_boundary --help' for more information.\n",
                 why.c_str());
    return USAGE_FAILED;
}

}  // namespace

int parse_command_line(int argc, char** argv, CommandLine& line)
{
    CLI::App app(DESCRIPTION, "phase_boundary");
    app.set_version_flag("--version", std::string("phase_boundary ") + PHASE_BOUNDARY_VERSION);
    OptionTexts texts;
    // The validators read temperatures in the units of the whole line.
    line.celsius =
        std::any_of(argv + 1, argv + argc, [](const char* a) { return std::string(a) == "--celsius"; });
    add_engine_options(app, line, texts, line.celsius);
    add_database_options(app, line, texts);
    add_output_option(app, line);
    add_units_options(app, line);
    add_builtin_options(app, texts);
    app.footer(FOOTER);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usage_failed(e.what());
    }
    read_options(app, texts, line);
    if (!line.components.empty() && !line.general && !line.list)
        return usage_failed("--components requires --system or --list");
    const std::string fault = database_options_fault(line, !texts.pressure.empty());
    return fault.empty() ? -1 : usage_failed(fault);
}
