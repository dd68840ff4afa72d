#include "python/conversions.h"

#include "app/fractions_run.h"
#include "builtin/sweep.h"
#include "engine/diagram/regions.h"
#include "formats/labels.h"
#include "formats/solidification_tables.h"
#include "formats/tables.h"
#include "python/python_errors.h"
#include "request/request.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>

namespace py = pybind11;

namespace {

py::array_t<double> doubles(const std::vector<double>& v)
{
    return py::array_t<double>(static_cast<py::ssize_t>(v.size()), v.data());
}

// numpy's own str arrays, of the str dtype even when empty.
py::array strings(const std::vector<std::string>& v)
{
    py::list items;
    for (const std::string& s : v)
        items.append(s);
    return py::module_::import("numpy").attr("array")(items, py::arg("dtype") = "str");
}

bool in_temperatures(double T)
{
    return temperature_needs(T).empty();
}

std::vector<double> temperature_array(const py::object& t, const Units& u)
{
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(t);
    if (!a || a.ndim() != 1)
        raise_value_error("temperatures must be None or a sequence (a 1-D array) of kelvin");
    if (a.size() < 1 || a.size() > MOST_TEMPERATURES)
        raise_value_error("temperatures must hold from 1 to 1000000 values");
    std::vector<double> out(a.data(), a.data() + a.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = kelvin_from(u, out[i]);
        if (!in_temperatures(out[i]))
            raise_value_error("temperatures must lie above 0 K and at most at 100000 K");
        if (i > 0 && !(out[i] > out[i - 1]))
            raise_value_error("temperatures must rise strictly");
    }
    return out;
}

}  // namespace

std::vector<double> temperatures_argument(const System& s, const py::object& temperatures,
                                          const py::object& range, const Units& u)
{
    if (!temperatures.is_none() && !range.is_none())
        raise_value_error("give temperatures (a list) or range (first, last, step), not both");
    if (!temperatures.is_none())
        return temperature_array(temperatures, u);
    TemperatureRange r = s.range;
    if (!range.is_none()) {
        const py::tuple given = py::tuple(range);
        if (py::len(given) != 3)
            raise_value_error("range (first, last, step) needs three numbers");
        const std::string why =
            range_needs(kelvin_from(u, given[0].cast<double>()), kelvin_from(u, given[1].cast<double>()),
                        given[2].cast<double>(), r);
        if (!why.empty())
            raise_value_error("range (first, last, step) needs " + why);
    }
    std::vector<double> out(static_cast<std::size_t>(r.count));
    for (long i = 0; i < r.count; ++i)
        out[static_cast<std::size_t>(i)] = r.at(i);
    return out;
}

std::vector<double> doubles_argument(const py::object& given, const char* refusal)
{
    const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(given);
    if (!a || a.ndim() != 1)
        raise_value_error(refusal);
    return std::vector<double>(a.data(), a.data() + a.size());
}

py::object numpy_doubles(const std::vector<double>& v)
{
    return doubles(v);
}

double temperature_argument(double T, const char* what)
{
    if (!in_temperatures(T))
        raise_value_error(std::string(what) + " must lie above 0 K and at most at 100000 K");
    return T;
}

std::vector<std::string> warning_texts(const System& s, const std::vector<Doubt>& doubts, const Units& u)
{
    std::vector<std::string> out;
    out.reserve(doubts.size());
    for (const Doubt& d : doubts)
        out.push_back(warning_text(s, d, u));
    return out;
}

namespace {

// Each two-phase region's outline, as outlines.tsv holds it.
py::list outlines(const System& s, const std::vector<Region>& regions, const Units& u)
{
    py::list out;
    for (const Region& r : regions) {
        if (r.outline.empty())
            continue;
        std::vector<std::string> phase;
        std::vector<double> x, T;
        for (const OutlinePoint& o : r.outline) {
            phase.push_back(phase_name(s, o.phase));
            x.push_back(fraction_value(u, o.x));
            T.push_back(temperature_value(u, o.T));
        }
        py::dict one;
        one["phases"] = region_name(s, r);
        one["phase"] = strings(phase);
        one["x"] = doubles(x);
        one["T"] = doubles(T);
        out.append(one);
    }
    return out;
}

// Each line where an ordering sets in continuously, as orderings.tsv holds it.
py::list orderings(const System& s, const Diagram& d, const Units& u)
{
    py::list out;
    for (const OrderingLine& l : ordering_lines(d)) {
        std::vector<double> x, T;
        for (const auto& [px, pT] : l.points) {
            x.push_back(fraction_value(u, px));
            T.push_back(temperature_value(u, pT));
        }
        py::dict one;
        one["phase_left"] = phase_name(s, l.left);
        one["phase_right"] = phase_name(s, l.right);
        one["x"] = doubles(x);
        one["T"] = doubles(T);
        out.append(one);
    }
    return out;
}

// Every label of the figure, as labels.tsv holds them: NaN where no leader.
py::dict labels(const System& s, const Diagram& d, const FigureLabels& figure, const Units& u)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    std::vector<std::string> text;
    std::vector<double> x, T, x_to, T_to;
    for (const LabelRow& l : label_rows(s, d, figure, u)) {
        text.push_back(l.text);
        x.push_back(fraction_value(u, l.x));
        T.push_back(temperature_value(u, l.T));
        x_to.push_back(l.led ? fraction_value(u, l.x_to) : none);
        T_to.push_back(l.led ? temperature_value(u, l.T_to) : none);
    }
    py::dict out;
    out["text"] = strings(text);
    out["x"] = doubles(x);
    out["T"] = doubles(T);
    out["x_to"] = doubles(x_to);
    out["T_to"] = doubles(T_to);
    return out;
}

}  // namespace

PyDiagram diagram_result(const System& s, const Diagram& d, const Units& u)
{
    std::vector<double> T, x_low, x_high;
    std::vector<std::string> low, high;
    for (const Equilibria& e : d.rows)
        for (const TieLine& t : e.ties) {
            T.push_back(temperature_value(u, e.T));
            low.push_back(phase_name(s, t.low_phase));
            x_low.push_back(fraction_value(u, t.low.x));
            high.push_back(phase_name(s, t.high_phase));
            x_high.push_back(fraction_value(u, t.high.x));
        }
    PyDiagram out;
    out.boundaries["T"] = doubles(T);
    out.boundaries["phase_low"] = strings(low);
    out.boundaries["x_low"] = doubles(x_low);
    out.boundaries["phase_high"] = strings(high);
    out.boundaries["x_high"] = doubles(x_high);
    for (const Invariant& inv : d.invariants) {
        py::list phases, x;
        for (int i = 0; i < inv.phases; ++i) {
            phases.append(phase_name(s, inv.phase[i]));
            x.append(fraction_value(u, inv.at[i].x));
        }
        out.invariants.append(PyInvariant{invariant_name(inv.kind), temperature_value(u, inv.T),
                                          py::tuple(phases), py::tuple(x)});
    }
    const FigureLabels figure = figure_labels(s, d);
    std::vector<std::string> names;
    std::vector<double> rx, rT;
    for (const Region& r : figure.regions) {
        const auto [x, T] = region_point(r);
        names.push_back(region_name(s, r));
        rx.push_back(fraction_value(u, x));
        rT.push_back(temperature_value(u, T));
    }
    out.regions["phases"] = strings(names);
    out.regions["x"] = doubles(rx);
    out.regions["T"] = doubles(rT);
    out.warnings = py::cast(warning_texts(s, d.doubts, u));
    out.outlines = outlines(s, figure.regions, u);
    out.labels = labels(s, d, figure, u);
    out.orderings = orderings(s, d, u);
    return out;
}

py::list tie_lines(const System& s, const Equilibria& e, const Units& u)
{
    py::list out;
    for (const TieLine& t : e.ties) {
        const py::object low = py::cast(site_fractions(s, t.low_phase, t.low, e.T));
        const py::object high = py::cast(site_fractions(s, t.high_phase, t.high, e.T));
        out.append(PyTieLine{phase_name(s, t.low_phase), fraction_value(u, t.low.x),
                             phase_name(s, t.high_phase), fraction_value(u, t.high.x),
                             py::make_tuple(low, high)});
    }
    return out;
}

PySolidification solidification_result(const System& s, const Solidification& r, const Units& u)
{
    const std::size_t n = r.rows.size();
    std::vector<std::vector<double>> columns(7, std::vector<double>(n));
    std::vector<std::string> lever(n), scheil(n);
    for (std::size_t i = 0; i < n; ++i) {
        const SolidificationRow& row = r.rows[i];
        const double values[7] = {
            temperature_value(u, row.T),     row.lever.f,  fraction_value(u, row.lever.xs),
            fraction_value(u, row.lever.xl), row.scheil.f, fraction_value(u, row.scheil.xs),
            fraction_value(u, row.scheil.xl)};
        for (std::size_t c = 0; c < 7; ++c)
            columns[c][i] = values[c];
        lever[i] = solids_forming(s, row.lever);
        scheil[i] = solids_forming(s, row.scheil);
    }
    PySolidification out;
    out.x0 = fraction_value(u, r.x0);
    out.liquidus = temperature_value(u, r.liquidus);
    out.solidus = temperature_value(u, r.solidus);
    out.scheil_end = temperature_value(u, r.scheil_end_T);
    out.partition = r.partition;
    out.eutectic_fraction_lever = r.eutectic_lever;
    out.eutectic_fraction_scheil = r.eutectic_scheil;
    for (std::size_t c = 0; c < 7; ++c)
        out.table[SOLIDIFICATION_COLUMNS[c]] = doubles(columns[c]);
    out.table[SOLIDIFICATION_COLUMNS[7]] = strings(lever);
    out.table[SOLIDIFICATION_COLUMNS[8]] = strings(scheil);
    out.segregation["g"] = doubles(r.g);
    std::vector<double> x_solid;
    x_solid.reserve(r.x_solid.size());
    for (const double x : r.x_solid)
        x_solid.push_back(fraction_value(u, x));
    out.segregation["x_solid"] = doubles(x_solid);
    out.warnings = py::cast(warning_texts(s, r.doubts, u));
    return out;
}

PyEquilibrium equilibrium_result(const System& s, const PointEquilibrium& e, const Units& u)
{
    PyEquilibrium out{temperature_value(u, e.T),
                      fraction_value(u, e.x0),
                      s.functions.pressure,
                      py::list(),
                      py::dict(),
                      py::dict(),
                      e.G,
                      e.H,
                      e.S,
                      e.Cp,
                      py::tuple()};
    for (const PhaseShare& p : e.phases)
        out.phases.append(PyPhaseState{phase_name(s, p.phase), p.amount, fraction_value(u, p.c.x),
                                       py::cast(p.site_fractions)});
    out.mu[py::str(s.a.name)] = e.mu_a;
    out.mu[py::str(s.b.name)] = e.mu_b;
    out.activity[py::str(s.a.name)] = e.activity_a;
    out.activity[py::str(s.b.name)] = e.activity_b;
    out.warnings = py::cast(warning_texts(s, e.doubts, u));
    return out;
}

py::dict fractions_result(const System& s, const std::vector<PhaseFraction>& rows, const Units& u)
{
    std::vector<double> T, amount, x;
    std::vector<std::string> phase;
    for (const PhaseFraction& r : rows) {
        T.push_back(temperature_value(u, r.T));
        phase.push_back(fraction_name(s, r));
        amount.push_back(r.amount);
        x.push_back(fraction_value(u, r.x));
    }
    py::dict out;
    out["T"] = doubles(T);
    out["phase"] = strings(phase);
    out["amount"] = doubles(amount);
    out["x"] = doubles(x);
    return out;
}

py::dict melting_points(const System& s)
{
    py::dict out;
    out[py::str(s.a.name)] = s.a.melting_point();
    out[py::str(s.b.name)] = s.b.melting_point();
    return out;
}

py::dict builtin_table(const double* xl, const double* xs)
{
    constexpr int rows = T_LAST - T_FIRST + 1;
    py::array_t<int> T(rows);
    for (int i = 0; i < rows; ++i)
        T.mutable_at(i) = T_FIRST + i;
    py::dict out;
    out["T"] = T;
    out["xl"] = py::array_t<double>(rows, xl);
    out["xs"] = py::array_t<double>(rows, xs);
    return out;
}
