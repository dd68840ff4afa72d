// The Python module phase_boundary: the general engine and the built-in run as
// a notebook calls them. The engine runs with the GIL released and shares
// nothing between calls, so threads compute side by side, on one System too.
#include "app/command_line.h"
#include "app/solidify_run.h"
#include "app/system_input.h"
#include "builtin/sweep.h"
#include "engine/sampling.h"
#include "python/conversions.h"
#include "python/python_errors.h"

#include <pybind11/stl.h>

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

std::shared_ptr<LoadedSystem> load(const py::object& path, const py::object& components,
                                   const py::object& phases)
{
    SystemSource source;
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
    }
    if (!read)
        raise_system_file_error(error);
    std::vector<std::string> left_out;
    left_out.reserve(loaded->left_out.size());
    for (const LeftOut& l : loaded->left_out)
        left_out.push_back(left_out_warning(l));
    warn_engine(left_out);
    return loaded;
}

// A database whose elements do not melt among the phases kept has no range of
// its own, and no liquidus to freeze from.
void need_range(const LoadedSystem& l, const char* what)
{
    if (l.system.range.count == 0)
        raise_value_error(l.no_range.substr(0, l.no_range.find(": give")) + ": " + what);
}

PyDiagram diagram(const LoadedSystem& l, const py::object& temperatures, unsigned threads)
{
    if (temperatures.is_none())
        need_range(l, "pass temperatures");
    const std::vector<double> T = temperatures_argument(l.system, temperatures);
    if (threads < 1 || threads > MOST_THREADS)
        raise_value_error("threads: a whole number from 1 to " + std::to_string(MOST_THREADS));
    Diagram d;
    {
        py::gil_scoped_release release;
        d = compute_diagram(l.system, T, threads);
    }
    PyDiagram out = diagram_result(l.system, d);
    warn_engine(out.warnings.cast<std::vector<std::string>>());
    return out;
}

// The same computation with nothing built from it: what the benchmark sets the
// full call against.
void engine_only_diagram(const LoadedSystem& l, const py::object& temperatures)
{
    const std::vector<double> T = temperatures_argument(l.system, temperatures);
    py::gil_scoped_release release;
    const Diagram d = compute_diagram(l.system, T);
}

py::list equilibria(const LoadedSystem& l, double T)
{
    temperature_argument(T, "T");
    std::vector<Doubt> doubts;
    Equilibria e;
    {
        py::gil_scoped_release release;
        e = equilibria_at(l.system, make_grid(l.system), T, doubts);
    }
    warn_engine(warning_texts(l.system, doubts));
    return tie_lines(l.system, e);
}

PySolidification solidify_alloy(const LoadedSystem& l, double x0, double step)
{
    need_range(l, "no liquidus to freeze from");
    if (!(x0 >= MOST_DILUTE && x0 <= 1.0 - MOST_DILUTE))
        raise_value_error("x0 must be a mole fraction from 1e-12 to 1 - 1e-12");
    if (!(step > 0.0 && std::isfinite(step)))
        raise_value_error("step must be a positive number of kelvin");
    const std::string fault = solidify_fault(l.system, step);
    if (!fault.empty())
        raise_value_error(fault);
    Solidification r;
    {
        py::gil_scoped_release release;
        r = solidify(l.system, x0, step);
    }
    const std::string too_many = rows_fault(r, step);
    if (!too_many.empty())
        raise_value_error(too_many);
    PySolidification out = solidification_result(l.system, r);
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

std::string system_repr(const LoadedSystem& l)
{
    std::string phases;
    for (const PhaseModel& p : l.system.phases)
        phases += (phases.empty() ? "" : ", ") + p.name;
    return "<phase_boundary.System " + l.system.name + ": " + phases + ">";
}

// The result classes: records of invariants and tie-lines, a diagram, a freezing.
void define_results(py::module_& m)
{
    py::class_<PyInvariant>(m, "Invariant",
                            "An invariant of the diagram: a three-phase equilibrium, "
                            "a congruent point or a critical point.")
        .def_readonly("kind", &PyInvariant::kind, "What it is: eutectic, peritectic, congruent, ... (str)")
        .def_readonly("T", &PyInvariant::T, "Its temperature, K")
        .def_readonly("phases", &PyInvariant::phases, "The phases meeting there, in order of x")
        .def_readonly("x", &PyInvariant::x, "Each phase's composition, mole fraction of the first component")
        .def("__repr__", [](const PyInvariant& i) {
            return "Invariant(" + i.kind + ", T=" + py::repr(py::float_(i.T)).cast<std::string>() +
                   ", phases=" + py::repr(i.phases).cast<std::string>() +
                   ", x=" + py::repr(i.x).cast<std::string>() + ")";
        });

    py::class_<PyTieLine>(m, "TieLine", "Two phases in equilibrium at one temperature.")
        .def_readonly("phase_low", &PyTieLine::phase_low, "The phase at the lower x")
        .def_readonly("x_low", &PyTieLine::x_low, "Its composition")
        .def_readonly("phase_high", &PyTieLine::phase_high, "The phase at the higher x")
        .def_readonly("x_high", &PyTieLine::x_high, "Its composition")
        .def("__repr__", [](const PyTieLine& t) {
            return "TieLine(" + t.phase_low + " x=" + py::repr(py::float_(t.x_low)).cast<std::string>() +
                   ", " + t.phase_high + " x=" + py::repr(py::float_(t.x_high)).cast<std::string>() + ")";
        });

    py::class_<PyDiagram>(m, "Diagram", "A computed phase diagram.")
        .def_readonly("boundaries", &PyDiagram::boundaries,
                      "Every tie-line at every temperature, as the columns of boundaries.tsv: a dict of\n"
                      "equal-length numpy arrays \"T\", \"phase_low\", \"x_low\", \"phase_high\",\n"
                      "\"x_high\" (str arrays for the phases). pandas.DataFrame(d.boundaries) works.")
        .def_readonly("invariants", &PyDiagram::invariants,
                      "The invariants, a list of Invariant ordered by T")
        .def_readonly("warnings", &PyDiagram::warnings,
                      "What the engine could not confirm (also issued as EngineWarning)");

    py::class_<PySolidification>(m, "Solidification",
                                 "How one alloy freezes, by the lever rule and by Scheil.")
        .def_readonly("x0", &PySolidification::x0, "The alloy's composition")
        .def_readonly("liquidus", &PySolidification::liquidus, "Where the first solid forms, K")
        .def_readonly("solidus", &PySolidification::solidus, "Where equilibrium freezing ends, K")
        .def_readonly("scheil_end", &PySolidification::scheil_end,
                      "Where the Scheil path ends, K (NaN where it could not be followed)")
        .def_readonly("partition", &PySolidification::partition,
                      "The minor component's partition coefficient x_solid / x_liquid at the liquidus")
        .def_readonly("table", &PySolidification::table,
                      "The columns of solidification.tsv: a dict of numpy arrays, T descending; a field\n"
                      "the program leaves empty is NaN, or \"\" in the phase columns")
        .def_readonly("segregation", &PySolidification::segregation,
                      "The composition profile of a crystal grown from the alloy: {\"g\", \"x_solid\"}")
        .def_readonly("warnings", &PySolidification::warnings,
                      "What the engine could not resolve (also issued as EngineWarning)");
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
        .def("diagram", &diagram, py::arg("temperatures") = py::none(), py::arg("threads") = 1U,
             "The whole phase diagram: every stable two-phase equilibrium at each temperature and\n"
             "the invariants between them.\n\n"
             "temperatures: None for the file's own range (a database's default range), a tuple\n"
             "    (first, last, step) in K checked as --temperatures is, or a 1-D array of\n"
             "    strictly rising temperatures in K.\n"
             "threads: threads that share the temperatures, 1 to 256; the diagram is the same for\n"
             "    any number (os.cpu_count() for one diagram at a time, 1 inside a thread pool).\n"
             "Raises ValueError for temperatures outside 0 < T <= 100000 K or more than 1000000;\n"
             "issues EngineWarning for what could not be confirmed. Releases the GIL while computing.")
        .def("_engine_only_diagram", &engine_only_diagram, py::arg("temperatures") = py::none(),
             "The diagram computed and dropped: the engine's own time, for the benchmark.")
        .def("equilibria", &equilibria, py::arg("T"),
             "The stable two-phase equilibria at one temperature T (K), in order of x.")
        .def("solidify", &solidify_alloy, py::arg("x0"), py::arg("step") = 1.0,
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
              "the first component; temperatures are in kelvin.";
    m.attr("__version__") = PHASE_BOUNDARY_VERSION;
    define_python_errors(m);

    define_results(m);
    define_system(m);

    m.def("load", &load, py::arg("path"), py::arg("components") = py::none(), py::arg("phases") = py::none(),
          "Reads a system file (TOML) or, for a name ending in .tdb, a TDB database.\n"
          "components: a database's two elements (A, B), in any case; x is the mole fraction of A.\n"
          "phases: the database phases to keep; None keeps every phase the two elements fill.\n"
          "Raises SystemFileError (a ValueError with path, line, column and key) for a file that\n"
          "cannot be used, ValueError for bad arguments; issues EngineWarning for each phase left out.");
    m.def("builtin", &builtin, py::arg("seed"),
          "The built-in run's table for a seed (0 ... 4294967295), without writing a file:\n"
          "{\"T\": int array 1215 ... 1687, \"xl\": ..., \"xs\": ...}. xl and xs are the full\n"
          "doubles that result02.txt prints to ten decimals.");
}
