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
#include "request/request.h"

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

PyEquilibrium equilibrium_at(const LoadedSystem& l, double T, double x0, const py::object& units)
{
    const Units u = units_argument(l, units);
    T = temperature_argument(kelvin_from(u, T), "T");
    x0 = x0_argument(u, x0);
    InputError error;
    if (!check_finite(l, {T}, error))
        raise_system_file_error(error);
    PointEquilibrium e;
    {
        py::gil_scoped_release release;
        e = equilibrium_at_point(l.system, make_grid(l.system), T, x0);
    }
    PyEquilibrium out = equilibrium_result(l.system, e, u);
    warn_engine(out.warnings.cast<std::vector<std::string>>());
    return out;
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
        rows = phase_fractions(d, x0);
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
            for (std::size_t i = 0; i < xs.size(); ++i)
                G[p][i] = phase_energy(l.system, phase_number(p), xs[i], T);
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

// An equilibrium at a point and its phases.
void define_point_results(py::module_& m)
{
    py::class_<PyPhaseState>(m, "PhaseState", "One phase of an equilibrium at a point.")
        .def_readonly("name", &PyPhaseState::name, "The phase's name")
        .def_readonly("amount", &PyPhaseState::amount, "Its amount, mole fraction of the alloy's atoms")
        .def_readonly("x", &PyPhaseState::x, "Its composition, mole fraction of the first component")
        .def_readonly("site_fractions", &PyPhaseState::site_fractions,
                      "Its site fractions: a list of its sublattices, each a list in the order the\n"
                      "database lists the constituents (a system file's phase: [[x, 1 - x]])")
        .def(py::pickle(
            [](const PyPhaseState& p) { return py::make_tuple(p.name, p.amount, p.x, p.site_fractions); },
            [](const py::tuple& t) {
                return PyPhaseState{t[0].cast<std::string>(), t[1].cast<double>(), t[2].cast<double>(),
                                    t[3].cast<py::list>()};
            }))
        .def("__repr__", [](const PyPhaseState& p) {
            return "PhaseState(" + p.name + ", amount=" + py::repr(py::float_(p.amount)).cast<std::string>() +
                   ", x=" + py::repr(py::float_(p.x)).cast<std::string>() + ")";
        });

    py::class_<PyEquilibrium>(
        m, "Equilibrium", "The equilibrium of an alloy at one point, as --at and equilibrium.json give it.")
        .def_readonly("T", &PyEquilibrium::T, "The temperature, K")
        .def_readonly("x0", &PyEquilibrium::x0, "The alloy's mole fraction of the first component")
        .def_readonly("P", &PyEquilibrium::P, "The pressure, Pa")
        .def_readonly("phases", &PyEquilibrium::phases,
                      "The stable phases, a list of PhaseState in order of x")
        .def_readonly("mu", &PyEquilibrium::mu,
                      "The chemical potentials by component, J/mol against the database's reference states")
        .def_readonly("activity", &PyEquilibrium::activity,
                      "The activities by component, against each pure component's stable phase at T")
        .def_readonly("G", &PyEquilibrium::G, "Gibbs energy per mole of atoms, J/mol")
        .def_readonly("H", &PyEquilibrium::H, "Enthalpy per mole of atoms, J/mol")
        .def_readonly("S", &PyEquilibrium::S, "Entropy per mole of atoms, J/(mol K)")
        .def_readonly("Cp", &PyEquilibrium::Cp,
                      "Heat capacity per mole of atoms, J/(mol K), with the phases' amounts and internal\n"
                      "states held: no heat of a transformation under way at T")
        .def_readonly("warnings", &PyEquilibrium::warnings,
                      "What the engine could not confirm (also issued as EngineWarning)")
        .def(py::pickle(
            [](const PyEquilibrium& e) {
                return py::make_tuple(e.T, e.x0, e.P, e.phases, e.mu, e.activity, e.G, e.H, e.S, e.Cp,
                                      e.warnings);
            },
            [](const py::tuple& t) {
                return PyEquilibrium{t[0].cast<double>(),   t[1].cast<double>(),    t[2].cast<double>(),
                                     t[3].cast<py::list>(), t[4].cast<py::dict>(),  t[5].cast<py::dict>(),
                                     t[6].cast<double>(),   t[7].cast<double>(),    t[8].cast<double>(),
                                     t[9].cast<double>(),   t[10].cast<py::tuple>()};
            }))
        .def("__repr__", [](const PyEquilibrium& e) {
            return "Equilibrium(T=" + py::repr(py::float_(e.T)).cast<std::string>() +
                   ", x0=" + py::repr(py::float_(e.x0)).cast<std::string>() +
                   ", phases=" + py::repr(e.phases).cast<std::string>() + ")";
        });
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
        .def(py::pickle([](const PyInvariant& i) { return py::make_tuple(i.kind, i.T, i.phases, i.x); },
                        [](const py::tuple& t) {
                            return PyInvariant{t[0].cast<std::string>(), t[1].cast<double>(),
                                               t[2].cast<py::tuple>(), t[3].cast<py::tuple>()};
                        }))
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
        .def_readonly("site_fractions", &PyTieLine::site_fractions,
                      "The two ends' site fractions, (low, high): each a list of its sublattices, each\n"
                      "a list of the fractions of the constituents in the order the database lists them\n"
                      "(a system file's phase: one lattice, [[x, 1 - x]])")
        .def(py::pickle(
            [](const PyTieLine& t) {
                return py::make_tuple(t.phase_low, t.x_low, t.phase_high, t.x_high, t.site_fractions);
            },
            [](const py::tuple& t) {
                return PyTieLine{t[0].cast<std::string>(), t[1].cast<double>(), t[2].cast<std::string>(),
                                 t[3].cast<double>(), t[4].cast<py::tuple>()};
            }))
        .def("__repr__", [](const PyTieLine& t) {
            return "TieLine(" + t.phase_low + " x=" + py::repr(py::float_(t.x_low)).cast<std::string>() +
                   ", " + t.phase_high + " x=" + py::repr(py::float_(t.x_high)).cast<std::string>() + ")";
        });

    py::class_<PyDiagram>(m, "Diagram", "A computed phase diagram.")
        .def_readonly("boundaries", &PyDiagram::boundaries,
                      "Every tie-line at every temperature, as the columns of boundaries.tsv: a dict of\n"
                      "equal-length numpy arrays \"T\", \"phase_low\", \"x_low\", \"phase_high\",\n"
                      "\"x_high\" (str arrays for the phases). pandas.DataFrame(d.boundaries) works.")
        .def_readonly("regions", &PyDiagram::regions,
                      "Each connected region once, as the columns of regions.tsv: \"phases\" (joined by\n"
                      "\"+\"), \"x\" and \"T\", a point inside it where its label goes")
        .def_readonly("invariants", &PyDiagram::invariants,
                      "The invariants, a list of Invariant ordered by T")
        .def_readonly("warnings", &PyDiagram::warnings,
                      "What the engine could not confirm (also issued as EngineWarning)")
        .def_readonly("outlines", &PyDiagram::outlines,
                      "Each two-phase region's boundary as one closed line, as outlines.tsv holds it: a\n"
                      "list of dicts, \"phases\" (as in regions) and equal-length arrays \"phase\" (whose\n"
                      "boundary each corner is on), \"x\" and \"T\"")
        .def_readonly("labels", &PyDiagram::labels,
                      "Every label of the figure, placed, as the columns of labels.tsv: \"text\", \"x\",\n"
                      "\"T\" (its middle), and \"x_to\", \"T_to\": where a label is led out of a field too\n"
                      "narrow for it, the point inside the field its leader goes to (NaN elsewhere)")
        .def(py::pickle(
            [](const PyDiagram& d) {
                return py::make_tuple(d.boundaries, d.regions, d.invariants, d.warnings, d.outlines,
                                      d.labels);
            },
            [](const py::tuple& t) {
                return PyDiagram{t[0].cast<py::dict>(),  t[1].cast<py::dict>(), t[2].cast<py::list>(),
                                 t[3].cast<py::tuple>(), t[4].cast<py::list>(), t[5].cast<py::dict>()};
            }));

    py::class_<PySolidification>(m, "Solidification",
                                 "How one alloy freezes, by the lever rule and by Scheil.")
        .def_readonly("x0", &PySolidification::x0, "The alloy's composition")
        .def_readonly("liquidus", &PySolidification::liquidus, "Where the first solid forms, K")
        .def_readonly("solidus", &PySolidification::solidus, "Where equilibrium freezing ends, K")
        .def_readonly("scheil_end", &PySolidification::scheil_end,
                      "Where the Scheil path ends, K (NaN where it could not be followed)")
        .def_readonly("partition", &PySolidification::partition,
                      "The minor component's partition coefficient x_solid / x_liquid at the liquidus")
        .def_readonly("eutectic_fraction_lever", &PySolidification::eutectic_fraction_lever,
                      "The fraction of the alloy that freezes as eutectic in equilibrium: the liquid left\n"
                      "just above the eutectic (NaN where equilibrium freezing does not end at one)")
        .def_readonly("eutectic_fraction_scheil", &PySolidification::eutectic_fraction_scheil,
                      "The same by Scheil: the liquid left where the Scheil path reaches the eutectic")
        .def_readonly("table", &PySolidification::table,
                      "The columns of solidification.tsv: a dict of numpy arrays, T descending; a field\n"
                      "the program leaves empty is NaN, or \"\" in the phase columns")
        .def_readonly("segregation", &PySolidification::segregation,
                      "The composition profile of a crystal grown from the alloy: {\"g\", \"x_solid\"}")
        .def_readonly("warnings", &PySolidification::warnings,
                      "What the engine could not resolve (also issued as EngineWarning)")
        .def(py::pickle(
            [](const PySolidification& f) {
                return py::make_tuple(f.x0, f.liquidus, f.solidus, f.scheil_end, f.partition,
                                      f.eutectic_fraction_lever, f.eutectic_fraction_scheil, f.table,
                                      f.segregation, f.warnings);
            },
            [](const py::tuple& t) {
                return PySolidification{t[0].cast<double>(),   t[1].cast<double>(),   t[2].cast<double>(),
                                        t[3].cast<double>(),   t[4].cast<double>(),   t[5].cast<double>(),
                                        t[6].cast<double>(),   t[7].cast<py::dict>(), t[8].cast<py::dict>(),
                                        t[9].cast<py::tuple>()};
            }));
    define_point_results(m);
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
             "to 1 - 1e-12) at T (K), as --at gives it: an Equilibrium.\n"
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
