// The Python module phase_boundary: the general engine and the built-in run as
// a notebook calls them. The engine runs with the GIL released and shares
// nothing between calls, so threads compute side by side, on one System too.
#include "app/list_run.h"
#include "app/system_input.h"
#include "builtin/sweep.h"
#include "engine/diagram/energies.h"
#include "engine/diagram/sampling.h"
#include "formats/tdb_file.h"
#include "python/conversions.h"
#include "python/python_errors.h"
#include "python/results.h"
#include "request/request.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>

namespace py = pybind11;

namespace {

// A list of names as the command line takes them: upper case, none empty or twice.
std::vector<std::string> names_argument(const py::object& given, const char* what)
{
    std::vector<std::string> list;
    try {
        list = given.cast<std::vector<std::string>>();
    } catch (const py::cast_error&) {
        raise_value_error(std::string(what) + " must be a sequence of names");
    }
    std::string joined;
    bool commas = false;
    for (const std::string& n : list) {
        commas = commas || n.find(',') != std::string::npos;
        joined += (joined.empty() ? "" : ",") + n;
    }
    std::vector<std::string> names;
    if (list.empty() || commas || !parse_names(joined, names))
        raise_value_error(std::string(what) + " must be names, none empty, none twice");
    return names;
}

// A pressure as --pressure takes it: above 0 Pa and at most 1e10 Pa.
double pressure_argument(double P)
{
    if (!pressure_needs(P).empty())
        raise_value_error("pressure must lie above 0 Pa and at most at 1e10 Pa");
    return P;
}

// A database's warnings as EngineWarning: the phases left out and the faults
// of its file.
void issue_database_warnings(const LoadedSystem& l)
{
    std::vector<std::string> texts;
    for (const DatabaseWarning& w : database_warnings(l))
        texts.push_back(w.text);
    warn_engine(texts);
}

std::shared_ptr<LoadedSystem> load(const py::object& path, const py::object& components,
                                   const py::object& phases, double pressure)
{
    SystemSource source;
    source.pressure = pressure_argument(pressure);
    source.from_file = true;
    source.range_later = true;
    source.path = py::str(py::module_::import("os").attr("fspath")(path));
    const bool database = is_database_file(source.path);
    if (database && components.is_none())
        raise_value_error(source.path + ": a database needs components=(A, B), the two elements");
    if (!database && !components.is_none())
        raise_value_error(source.path + ": components apply to a database (a .tdb file) only");
    if (!database && !phases.is_none())
        raise_value_error(source.path + ": phases apply to a database (a .tdb file) only");
    if (!database && pressure != STANDARD_PRESSURE)
        raise_value_error(source.path + ": pressure applies to a database (a .tdb file) only");
    if (database) {
        source.components = names_argument(components, "components");
        if (source.components.size() != 2)
            raise_value_error("components must name two elements");
        if (!phases.is_none())
            source.phases = names_argument(phases, "phases");
    }
    auto loaded = std::make_shared<LoadedSystem>();
    InputError error;
    bool read = false;
    {
        py::gil_scoped_release release;
        read = load_system(source, *loaded, error);
        if (read)
            loaded->point_grids = std::make_shared<const PointGrids>(point_grids(loaded->system));
    }
    if (!read)
        raise_system_file_error(error);
    issue_database_warnings(*loaded);
    return loaded;
}

// A database whose elements do not melt among the phases kept has no range of
// its own, and no liquidus to freeze from.
void need_range(const LoadedSystem& l, const char* what)
{
    if (l.system.range.count == 0)
        raise_value_error(l.no_range.substr(0, l.no_range.find(": give")) + ": " + what);
}

// units: "K" or "C" for the temperatures, "mole" or "mass" for the
// compositions, either or both, as "C,mass" or ("C", "mass"); None for the
// engine's own (K, mole).
Units units_argument(const LoadedSystem& l, const py::object& given)
{
    Units u;
    if (given.is_none())
        return u;
    std::vector<std::string> words;
    if (py::isinstance<py::str>(given)) {
        const std::string text = given.cast<std::string>();
        std::size_t start = 0;
        for (std::size_t comma = text.find(',');; comma = text.find(',', start)) {
            words.push_back(
                text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
    } else {
        words = names_argument(given, "units");
    }
    for (std::string w : words) {
        for (char& c : w)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (w == "c")
            u.celsius = true;
        else if (w == "mass")
            u.mass = true;
        else if (w != "k" && w != "mole")
            raise_value_error("units must be \"K\" or \"C\" and \"mole\" or \"mass\", not '" + w + "'");
    }
    u.mass_a = l.system.a.molar_mass;
    u.mass_b = l.system.b.molar_mass;
    const std::string masses = units_needs(u, l.system);
    if (!masses.empty())
        raise_value_error(l.system.name + ": " + masses +
                          " (a database's ELEMENT lines, a system file's molar_mass)");
    return u;
}

// x0 given in the units, as the engine's mole fraction within 1e-12 to 1 - 1e-12.
double x0_argument(const Units& u, double x0)
{
    const double x = mole_fraction_from(u, x0);
    if (!x0_needs(x).empty())
        raise_value_error("x0 must be " + x0_needs(x));
    return x;
}

PyDiagram diagram(const LoadedSystem& l, const py::object& temperatures, const py::object& range,
                  unsigned threads, const py::object& pressure, const py::object& units)
{
    const Units u = units_argument(l, units);
    if (temperatures.is_none() && range.is_none())
        need_range(l, "pass temperatures or range");
    const std::vector<double> T = temperatures_argument(l.system, temperatures, range, u);
    if (!threads_needs(threads).empty())
        raise_value_error("threads must be " + threads_needs(threads));
    // Another pressure: a copy of the system whose functions take it.
    std::unique_ptr<LoadedSystem> other;
    if (!pressure.is_none()) {
        const double P = pressure_argument(pressure.cast<double>());
        if (!l.database && P != STANDARD_PRESSURE)
            raise_value_error(l.system.name + ": pressure applies to a database (a .tdb file) only");
        if (P != l.system.functions.pressure) {
            other = std::make_unique<LoadedSystem>(l);
            other->system.functions.pressure = P;
        }
    }
    const LoadedSystem& at = other ? *other : l;
    InputError error;
    if (!check_finite(at, T, error))
        raise_system_file_error(error);
    Diagram d;
    {
        py::gil_scoped_release release;
        d = compute_diagram(at.system, T, threads);
    }
    PyDiagram out = diagram_result(at.system, d, u);
    warn_engine(out.warnings.cast<std::vector<std::string>>());
    return out;
}

// The same computation with nothing built from it: what the benchmark sets the
// full call against.
void engine_only_diagram(const LoadedSystem& l, const py::object& temperatures, const py::object& range)
{
    const std::vector<double> T = temperatures_argument(l.system, temperatures, range);
    py::gil_scoped_release release;
    const Diagram d = compute_diagram(l.system, T);
}

py::list equilibria(const LoadedSystem& l, double T, const py::object& units)
{
    const Units u = units_argument(l, units);
    T = temperature_argument(kelvin_from(u, T), "T");
    std::vector<Doubt> doubts;
    Equilibria e;
    {
        py::gil_scoped_release release;
        e = equilibria_at(l.system, make_grid(l.system), T, doubts);
    }
    warn_engine(warning_texts(l.system, doubts, u));
    return tie_lines(l.system, e, u);
}

// One alloy's equilibrium, or, given a sequence of x0, each alloy's at T in
// one list: the stable equilibria of T are found once for all of them.
py::object equilibrium_at(const LoadedSystem& l, double T, const py::object& x0, const py::object& units)
{
    const Units u = units_argument(l, units);
    T = temperature_argument(kelvin_from(u, T), "T");
    const bool many =
        py::isinstance<py::sequence>(x0) || (py::hasattr(x0, "ndim") && x0.attr("ndim").cast<int>() > 0);
    std::vector<double> xs =
        many ? doubles_argument(x0, "x0 must be a number or a sequence (a 1-D array) of them")
             : std::vector<double>{x0.cast<double>()};
    for (double& x : xs)
        x = x0_argument(u, x);
    InputError error;
    if (!check_finite(l, {T}, error))
        raise_system_file_error(error);
    std::vector<PointEquilibrium> points;
    {
        py::gil_scoped_release release;
        points = equilibria_at_points(l.system, *l.point_grids, T, xs);
    }
    py::list out;
    std::vector<std::string> warned;  // once each: the points share T's
    for (const PointEquilibrium& e : points) {
        PyEquilibrium result = equilibrium_result(l.system, e, u);
        std::vector<std::string> fresh;
        for (const std::string& w : result.warnings.cast<std::vector<std::string>>())
            if (std::find(warned.begin(), warned.end(), w) == warned.end()) {
                warned.push_back(w);
                fresh.push_back(w);
            }
        warn_engine(fresh);
        out.append(py::cast(std::move(result)));
    }
    return many ? py::object(out) : out[0];
}

py::dict fractions_of(const LoadedSystem& l, double x0, const py::object& temperatures,
                      const py::object& range, unsigned threads, const py::object& units)
{
    const Units u = units_argument(l, units);
    x0 = x0_argument(u, x0);
    if (temperatures.is_none() && range.is_none())
        need_range(l, "pass temperatures or range");
    const std::vector<double> T = temperatures_argument(l.system, temperatures, range, u);
    if (!threads_needs(threads).empty())
        raise_value_error("threads must be " + threads_needs(threads));
    InputError error;
    if (!check_finite(l, T, error))
        raise_system_file_error(error);
    Diagram d;
    std::vector<PhaseFraction> rows;
    {
        py::gil_scoped_release release;
        d = compute_diagram(l.system, T, threads);
        rows = phase_fractions(l.system, d, x0);
    }
    warn_engine(warning_texts(l.system, d.doubts, u));
    return fractions_result(l.system, rows, u);
}

py::dict energies_at(const LoadedSystem& l, double T, const py::object& x, const py::object& units)
{
    const Units u = units_argument(l, units);
    if (u.mass)
        raise_value_error(
            "energies are G per mole of atoms against the mole fraction: units cannot be \"mass\"");
    T = temperature_argument(kelvin_from(u, T), "T");
    const std::vector<double> xs =
        doubles_argument(x, "x must be a sequence (a 1-D array) of mole fractions");
    InputError error;
    if (!check_finite(l, {T}, error))
        raise_system_file_error(error);
    std::vector<std::vector<double>> G(l.system.phases.size(), std::vector<double>(xs.size()));
    {
        py::gil_scoped_release release;
        for (std::size_t p = 0; p < G.size(); ++p)
            G[p] = phase_energies(l.system, phase_number(p), xs, T);
    }
    py::dict out;
    for (std::size_t p = 0; p < G.size(); ++p)
        out[py::str(l.system.phases[p].name)] = numpy_doubles(G[p]);
    return out;
}

PySolidification solidify_alloy(const LoadedSystem& l, double x0, double step, const py::object& units)
{
    need_range(l, "no liquidus to freeze from");
    const Units u = units_argument(l, units);
    x0 = x0_argument(u, x0);
    if (!(step > 0.0 && std::isfinite(step)))
        raise_value_error("step must be a positive number of kelvin");
    const std::string liquid = liquid_needs(l.system);
    if (!liquid.empty())
        raise_value_error("solidify " + liquid);
    const std::string rows = step_needs(l.system, step);
    if (!rows.empty())
        raise_value_error("step " + rows);
    Solidification r;
    {
        py::gil_scoped_release release;
        r = solidify(l.system, x0, step);
    }
    const std::string too_many = rows_needs(r, step);
    if (!too_many.empty())
        raise_value_error("step " + too_many);
    PySolidification out = solidification_result(l.system, r, u);
    warn_engine(out.warnings.cast<std::vector<std::string>>());
    return out;
}

py::dict builtin(long long seed)
{
    if (seed < 0 || seed > 4294967295LL)
        raise_value_error("seed must be from 0 to 4294967295");
    std::vector<double> xl(T_LAST - T_FIRST + 1), xs(xl.size());
    bool complete = false;
    {
        py::gil_scoped_release release;
        std::mt19937 gen(static_cast<std::uint32_t>(seed));
        auto draw = [&] { return draw_15_bits(gen); };
        complete = sweep_rows(draw, xl.data(), xs.data());
    }
    if (!complete)
        throw std::runtime_error("INVERSE MATRIX NOT EXIST!! TRY AGAIN!!");
    return builtin_table(xl.data(), xs.data());
}

py::tuple phase_names(const LoadedSystem& l)
{
    py::list out;
    for (const PhaseModel& p : l.system.phases)
        out.append(p.name);
    return py::tuple(out);
}

py::object range_of(const LoadedSystem& l)
{
    const TemperatureRange& r = l.system.range;
    if (r.count == 0)
        return py::none();
    return py::make_tuple(r.first, r.at(r.count - 1), r.step);
}

py::dict phases_left_out(const LoadedSystem& l)
{
    py::dict out;
    for (const LeftOut& left : l.left_out)
        out[py::str(left.phase)] = left.why;
    return out;
}

std::string system_repr(const LoadedSystem& l)
{
    std::string phases;
    for (const PhaseModel& p : l.system.phases)
        phases += (phases.empty() ? "" : ", ") + p.name;
    return "<phase_boundary.System " + l.system.name + ": " + phases + ">";
}

py::dict phase_info(const ListedPhase& l)
{
    const DatabasePhase& p = *l.phase;
    py::dict d;
    d["name"] = p.name;
    d["line"] = p.line;
    d["kind"] = p.kind == 0 ? std::string() : std::string(1, p.kind);
    d["liquid"] = p.liquid;
    d["sublattices"] = py::cast(p.sites);
    d["constituents"] = py::cast(p.constituents);
    d["disordered_part"] = p.disordered_part;
    d["computed"] = l.computed;
    d[l.computed ? "model" : "why"] = l.how;
    return d;
}

py::dict database_info(const py::object& path, const py::object& components)
{
    const std::string file = py::str(py::module_::import("os").attr("fspath")(path));
    Database db;
    InputError error;
    bool read = false;
    {
        py::gil_scoped_release release;
        read = read_tdb_file(file, db, error);
    }
    if (!read)
        raise_system_file_error(error);
    py::dict out;
    py::dict elements;
    for (const DatabaseElement& e : db.elements)
        elements[py::str(e.name)] = e.mass;
    out["elements"] = elements;
    out["rejected"] = py::cast(db.rejected);
    out["ignored"] = py::cast(db.ignored);
    py::list phases;
    py::list warnings;
    if (components.is_none()) {
        for (const ListedPhase& l : listed_phases(db))
            phases.append(phase_info(l));
        for (const DatabaseFault& f : db.faults)
            warnings.append(f.text);
    } else {
        const std::vector<std::string> names = names_argument(components, "components");
        if (names.size() != 2)
            raise_value_error("components must name two elements");
        DatabaseBinary binary;
        std::string why;
        if (!binary_phases(db, names[0], names[1], {}, binary, why))
            raise_system_file_error(file_error(file, why));
        for (const ListedPhase& l : kept_phases(db, binary))
            phases.append(phase_info(l));
        py::dict left_out;
        for (const LeftOut& l : binary.left_out)
            left_out[py::str(l.phase)] = l.why;
        out["left_out"] = left_out;
        out["rejected"] = py::cast(binary.rejected);
        for (const DatabaseWarning& w : binary.warnings)
            warnings.append(w.text);
    }
    out["phases"] = phases;
    out["warnings"] = warnings;
    return out;
}

// The System class, with what it computes.
void define_system(py::module_& m)
{
    py::class_<LoadedSystem, std::shared_ptr<LoadedSystem>>(
        m, "System", "A binary system read by load(); never changed, so threads may share it.")
        .def_property_readonly(
            "name", [](const LoadedSystem& l) { return l.system.name; }, "The system's name")
        .def_property_readonly(
            "components",
            [](const LoadedSystem& l) { return py::make_tuple(l.system.a.name, l.system.b.name); },
            "The two components; x is the mole fraction of the first")
        .def_property_readonly("phases", &phase_names, "The phases, liquid first; a database's own names")
        .def_property_readonly(
            "melting_points", [](const LoadedSystem& l) { return melting_points(l.system); },
            "Each component's melting point by name, K (NaN where it never melts)")
        .def_property_readonly(
            "temperatures", &range_of,
            "The file's own range (first, last, step), K: what diagram() computes by default;\n"
            "None for a database whose elements do not melt among the phases kept")
        .def_property_readonly(
            "extrapolated", [](const LoadedSystem& l) { return py::tuple(py::cast(l.extrapolated)); },
            "Phases whose functions the range takes beyond their limits")
        .def_property_readonly("phases_left_out", &phases_left_out,
                               "The database's phases of this binary that are left out: name -> why\n"
                               "(each was also issued as an EngineWarning by load())")
        .def_property_readonly(
            "pressure", [](const LoadedSystem& l) { return l.system.functions.pressure; },
            "The pressure a database's P stands for, Pa")
        .def("diagram", &diagram, py::arg("temperatures") = py::none(), py::arg("range") = py::none(),
             py::arg("threads") = 1U, py::arg("pressure") = py::none(), py::arg("units") = py::none(),
             "The whole phase diagram: every stable two-phase equilibrium at each temperature and\n"
             "the invariants between them.\n\n"
             "temperatures: the temperatures in K, any sequence or 1-D array rising strictly (a\n"
             "    tuple of three is three temperatures).\n"
             "range: (first, last, step) in K, checked as --temperatures is. With neither, the\n"
             "    file's own range (a database's default range).\n"
             "threads: threads that share the temperatures, 1 to 256; the diagram is the same for\n"
             "    any number (os.cpu_count() for one diagram at a time, 1 inside a thread pool).\n"
             "pressure: Pa, above 0 and at most 1e10, for a database's P; None for the pressure\n"
             "    load() was given.\n"
             "Raises ValueError for temperatures outside 0 < T <= 100000 K or more than 1000000;\n"
             "issues EngineWarning for what could not be confirmed. Releases the GIL while computing.")
        .def("_engine_only_diagram", &engine_only_diagram, py::arg("temperatures") = py::none(),
             py::arg("range") = py::none(),
             "The diagram computed and dropped: the engine's own time, for the benchmark.")
        .def("equilibria", &equilibria, py::arg("T"), py::arg("units") = py::none(),
             "The stable two-phase equilibria at one temperature T (K), in order of x.")
        .def("equilibrium", &equilibrium_at, py::arg("T"), py::arg("x0"), py::arg("units") = py::none(),
             "The equilibrium of the alloy of mole fraction x0 of the first component (from 1e-12\n"
             "to 1 - 1e-12) at T (K), as --at gives it: an Equilibrium. Given a sequence (or 1-D\n"
             "array) of x0, a list of them, the stable equilibria of T found once for all.\n"
             "Raises ValueError for a bad T or x0; issues EngineWarning for what could not be confirmed.")
        .def("fractions", &fractions_of, py::arg("x0"), py::arg("temperatures") = py::none(),
             py::arg("range") = py::none(), py::arg("threads") = 1U, py::arg("units") = py::none(),
             "The phases of the alloy of mole fraction x0 of the first component at each temperature\n"
             "of the diagram (temperatures and range as diagram() takes them), as --fractions writes\n"
             "fractions.tsv: a dict of numpy arrays \"T\", \"phase\", \"amount\", \"x\", phase after\n"
             "phase, each at every temperature, amount 0 and x NaN where the phase is absent.")
        .def("energies", &energies_at, py::arg("T"), py::arg("x"), py::arg("units") = py::none(),
             "Each phase's Gibbs energy at T (K) and at each mole fraction x of the first\n"
             "component, J/mol of atoms against the database's reference states, its internal state\n"
             "at its lowest: a dict of phase name -> numpy array, NaN where the phase does not\n"
             "reach x (a compound off its composition, an ordered phase where it has disordered).")
        .def("solidify", &solidify_alloy, py::arg("x0"), py::arg("step") = 1.0, py::arg("units") = py::none(),
             "Freezes the alloy of mole fraction x0 of the first component (from 1e-12 to 1 - 1e-12)\n"
             "by the lever rule and by Scheil, with table rows every step K below the liquidus.\n"
             "Raises ValueError for a bad x0 or step or a system without exactly one liquid.")
        .def("__repr__", &system_repr);
}

}  // namespace

PYBIND11_MODULE(phase_boundary, m)
{
    m.doc() = "Phase diagrams and solidification of binary alloys, from a TOML system file or a\n"
              "TDB database: the engine of the phase_boundary program, returning numpy arrays\n"
              "with the same doubles the program writes. Compositions x are mole fractions of\n"
              "the first component; temperatures are in kelvin.\n\n"
              "Every method that computes takes units=: \"C\" for temperatures in degrees Celsius,\n"
              "\"mass\" for compositions as mass fractions (from the components' molar masses), or\n"
              "both as \"C,mass\" or (\"C\", \"mass\"); read and returned in them, the same doubles\n"
              "the program writes with --celsius and --mass-fraction. Amounts stay fractions of atoms.";
    m.attr("__version__") = PHASE_BOUNDARY_VERSION;
    define_python_errors(m);

    define_results(m);
    define_system(m);

    m.def("load", &load, py::arg("path"), py::arg("components") = py::none(), py::arg("phases") = py::none(),
          py::arg("pressure") = STANDARD_PRESSURE,
          "Reads a system file (TOML) or, for a name ending in .tdb, a TDB database.\n"
          "components: a database's two elements (A, B), in any case; x is the mole fraction of A.\n"
          "phases: the database phases to keep; None keeps every phase the two elements fill\n"
          "    (but those the file itself rejects).\n"
          "pressure: Pa, above 0 and at most 1e10: what a database's P stands for.\n"
          "Raises SystemFileError (a ValueError with path, line, column and key) for a file that\n"
          "cannot be used, ValueError for bad arguments; issues EngineWarning for each phase left out\n"
          "and each fault of a database file read past.");
    m.def("database_info", &database_info, py::arg("path"), py::arg("components") = py::none(),
          "What a TDB database holds, as --list prints it: a dict with \"elements\" (name -> molar\n"
          "mass, g/mol), \"phases\" (a list of dicts: name, line, kind, sublattices, constituents,\n"
          "computed, model or why), \"rejected\", \"ignored\" and \"warnings\". With components (A, B),\n"
          "the phases of that binary: those kept, and \"left_out\" (name -> why).\n"
          "Raises SystemFileError for a file that does not read.");
    m.def("builtin", &builtin, py::arg("seed"),
          "The built-in run's table for a seed (0 ... 4294967295), without writing a file:\n"
          "{\"T\": int array 1215 ... 1687, \"xl\": ..., \"xs\": ...}. xl and xs are the full\n"
          "doubles that result02.txt prints to ten decimals.");
}
