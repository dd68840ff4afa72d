// The result classes of the Python module (Diagram, Invariant, TieLine,
// Equilibrium, PhaseState, Solidification): their attributes, their
// representations and their pickling.
#include "python/results.h"

#include "python/conversions.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace {

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

// The records of invariants and tie-lines, and a diagram of them.
void define_diagram_results(py::module_& m)
{
    py::class_<PyInvariant>(m, "Invariant",
                            "An invariant of the diagram: a three-phase equilibrium, "
                            "a congruent, critical or tricritical point.")
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
                      "\"+\"), \"x\" and \"T\", a point inside it (where its label goes, or where the\n"
                      "line from a label led out of it ends)")
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
        .def_readonly("orderings", &PyDiagram::orderings,
                      "Each line inside single-phase fields where an ordered phase sets in\n"
                      "continuously, as orderings.tsv holds it: a list of dicts, \"phase_left\",\n"
                      "\"phase_right\" (the phase on each side) and equal-length arrays \"x\" and \"T\"\n"
                      "by rising T; empty where the diagram has none")
        .def(py::pickle(
            [](const PyDiagram& d) {
                return py::make_tuple(d.boundaries, d.regions, d.invariants, d.warnings, d.outlines, d.labels,
                                      d.orderings);
            },
            [](const py::tuple& t) {
                // A diagram pickled before it held its orderings has none.
                return PyDiagram{t[0].cast<py::dict>(),
                                 t[1].cast<py::dict>(),
                                 t[2].cast<py::list>(),
                                 t[3].cast<py::tuple>(),
                                 t[4].cast<py::list>(),
                                 t[5].cast<py::dict>(),
                                 t.size() > 6 ? t[6].cast<py::list>() : py::list()};
            }));
}

// How an alloy freezes.
void define_solidification(py::module_& m)
{
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
}

}  // namespace

void define_results(py::module_& m)
{
    define_diagram_results(m);
    define_solidification(m);
    define_point_results(m);
}
