"""The module's arrays are, double for double, what the program writes."""

import math
import subprocess

import numpy as np
import pytest

import phase_boundary as pb
from conftest import EXAMPLES, PROGRAM, read_tsv, run_program

EXAMPLE_FILES = sorted(p.name for p in EXAMPLES.glob("*.toml"))
DATABASES = [  # file, components, alloy to freeze
    ("pb-sn.tdb", ("SN", "PB"), 0.5),
    ("ag-cu.tdb", ("AG", "CU"), 0.3),
    ("cu-mg.tdb", ("CU", "MG"), 0.2),
    ("al-zn.tdb", ("AL", "ZN"), 0.6),
    ("cu-ni.tdb", ("CU", "NI"), 0.5),
]


def same(a, b):
    """Equal doubles, NaN equal to NaN; names equal."""
    a, b = np.asarray(a), np.asarray(b)
    if a.dtype.kind in "fi":
        return a.shape == b.shape and np.array_equal(a, b.astype(float), equal_nan=True)
    return a.tolist() == list(b)


def assert_same_diagram(system, args, tmp_path, temperature_range=None):
    assert run_program(args, tmp_path) in (0, 70)
    d = system.diagram(range=temperature_range)
    written = read_tsv(tmp_path / "boundaries.tsv")
    for column, values in written.items():
        assert same(d.boundaries[column], values), f"{args}: column {column}"
    for column, values in read_tsv(tmp_path / "regions.tsv").items():
        assert same(d.regions[column], values), f"{args}: regions' column {column}"
    for column, values in read_tsv(tmp_path / "labels.tsv").items():
        assert same(d.labels[column], values), f"{args}: labels' column {column}"
    # outlines.tsv: one block of rows per region, a blank line after each.
    blocks = (tmp_path / "outlines.tsv").read_text().split("\n", 1)[1].split("\n\n")
    blocks = [[row.split("\t") for row in b.splitlines()] for b in blocks if b.strip()]
    assert len(blocks) == len(d.outlines), args
    for rows, outline in zip(blocks, d.outlines):
        assert {row[0] for row in rows} == {outline["phases"]}, args
        assert same(outline["phase"], [row[1] for row in rows]), args
        assert same(outline["x"], [float(row[2]) for row in rows]), args
        assert same(outline["T"], [float(row[3]) for row in rows]), args
    # orderings.tsv likewise: one block per line.
    blocks = (tmp_path / "orderings.tsv").read_text().split("\n", 1)[1].split("\n\n")
    blocks = [[row.split("\t") for row in b.splitlines()] for b in blocks if b.strip()]
    assert len(blocks) == len(d.orderings), args
    for rows, line in zip(blocks, d.orderings):
        assert {(row[0], row[1]) for row in rows} == {(line["phase_left"], line["phase_right"])}, args
        assert same(line["x"], [float(row[2]) for row in rows]), args
        assert same(line["T"], [float(row[3]) for row in rows]), args
    invariants = read_tsv(tmp_path / "invariants.tsv")
    assert [i.kind for i in d.invariants] == invariants["kind"], args
    assert [i.T for i in d.invariants] == invariants["T"], args
    for k in range(3):
        assert [i.phases[k] if k < len(i.phases) else "" for i in d.invariants] == invariants[f"phase_{k + 1}"]
        xs = [i.x[k] if k < len(i.x) else math.nan for i in d.invariants]
        assert same(xs, invariants[f"x_{k + 1}"]), f"{args}: x_{k + 1}"


def assert_same_solidification(system, args, x0, tmp_path):
    printed = subprocess.run([PROGRAM, *map(str, args), "--solidify", str(x0), "-o", str(tmp_path)],
                             capture_output=True, text=True)
    assert printed.returncode in (0, 70)
    f = system.solidify(x0)
    if not (math.isnan(f.eutectic_fraction_lever) and math.isnan(f.eutectic_fraction_scheil)):
        shown = lambda v: "none" if math.isnan(v) else repr(v)
        assert (f"eutectic fraction: {shown(f.eutectic_fraction_lever)} by the lever rule, "
                f"{shown(f.eutectic_fraction_scheil)} by Scheil\n") in printed.stdout
    for column, values in read_tsv(tmp_path / "solidification.tsv").items():
        assert same(f.table[column], values), f"{args} x0 = {x0}: column {column}"
    for column, values in read_tsv(tmp_path / "segregation.tsv").items():
        assert same(f.segregation[column], values), f"{args} x0 = {x0}: profile {column}"


@pytest.mark.parametrize("name", EXAMPLE_FILES)
def test_example_diagram_and_freezing(name, tmp_path):
    path = EXAMPLES / name
    s = pb.load(path)
    assert_same_diagram(s, ["--system", path], tmp_path)
    assert_same_solidification(s, ["--system", path], 0.3, tmp_path)


def test_a_range_and_an_array_of_temperatures_as_the_command_line_gives_them(tmp_path):
    path = EXAMPLES / "peritectic.toml"
    s = pb.load(path)
    assert_same_diagram(s, ["--system", path, "--temperatures", "700.5:1100:0.5"], tmp_path,
                        temperature_range=(700.5, 1100.0, 0.5))
    grid = s.diagram(range=(700.5, 1100.0, 0.5))
    by_array = s.diagram(np.arange(800) * 0.5 + 700.5)
    for column in grid.boundaries:
        assert same(by_array.boundaries[column], grid.boundaries[column]), column


@pytest.mark.parametrize("file, components, x0", DATABASES)
def test_database_diagram_and_freezing(file, components, x0, shared_tdb, tmp_path):
    path = shared_tdb / file
    s = pb.load(path, components=components)
    args = ["--system", path, "--components", ",".join(components)]
    assert_same_diagram(s, args, tmp_path)
    assert_same_solidification(s, args, x0, tmp_path)


def test_an_ordering_line_as_the_program_writes_it(shared_tdb, tmp_path):
    # Al-Fe's B2 sets in continuously inside the bcc field at these temperatures.
    path = shared_tdb / "al-fe-2009.tdb"
    s = pb.load(path, components=("AL", "FE"))
    assert_same_diagram(s, ["--system", path, "--components", "AL,FE", "--temperatures", "1500:1520:4"],
                        tmp_path, temperature_range=(1500.0, 1520.0, 4.0))
    (line,) = s.diagram(range=(1500.0, 1520.0, 4.0)).orderings
    assert (line["phase_left"], line["phase_right"]) == ("BCC_A2", "BCC_4SL")
    assert list(line["T"]) == [1500.0, 1504.0, 1508.0, 1512.0, 1516.0, 1520.0]
    assert all(0.38 < x < 0.41 for x in line["x"])


@pytest.mark.parametrize("seed", [0, 42, 4294967295])
def test_builtin_table_is_the_seeded_run(seed, tmp_path):
    assert run_program(["--seed", seed, "--no-log"], tmp_path) == 0
    table = pb.builtin(seed)
    assert table["T"].dtype.kind == "i"
    lines = [f"{T}\t{xl:.10f}\t{xs:.10f}" for T, xl, xs in zip(table["T"], table["xl"], table["xs"])]
    assert lines == (tmp_path / "result02.txt").read_text().splitlines()


def test_an_equilibrium_at_points_as_the_program_writes_it(tmp_path, shared_tdb):
    import json
    s = pb.load(shared_tdb / "al-ni.tdb", components=("AL", "NI"))
    points = [(1000.0, 0.3), (1000.0, 0.6), (1800.0, 0.5)]
    args = ["--system", shared_tdb / "al-ni.tdb", "--components", "AL,NI"]
    for T, x0 in points:
        args += ["--at", f"{T!r},{x0!r}"]
    assert run_program(args, tmp_path) == 0
    written = json.loads((tmp_path / "equilibrium.json").read_text())
    assert len(written) == len(points)
    for (T, x0), w in zip(points, written):
        e = s.equilibrium(T, x0)
        assert (w["T"], w["x0"], w["P"], w["components"]) == (T, x0, 101325, ["AL", "NI"])
        assert [(p["name"], p["amount"], p["x"], p["site_fractions"]) for p in w["phases"]] == \
            [(p.name, p.amount, p.x, p.site_fractions) for p in e.phases]
        assert (w["mu"], w["activity"]) == (e.mu, e.activity)
        assert (w["G"], w["H"], w["S"], w["Cp"]) == (e.G, e.H, e.S, e.Cp)
        assert math.isclose(sum(p.amount for p in e.phases), 1.0, abs_tol=1e-15)
        assert math.isclose(sum(p.amount * p.x for p in e.phases), x0, abs_tol=1e-15)


def test_energy_curves_as_the_program_writes_them(tmp_path, shared_tdb):
    s = pb.load(shared_tdb / "al-ni.tdb", components=("AL", "NI"))
    assert run_program(["--system", shared_tdb / "al-ni.tdb", "--components", "AL,NI", "--energies", "1000"],
                       tmp_path) == 0
    written = read_tsv(tmp_path / "energies.tsv")
    phases = sorted(set(written["phase"]))
    assert phases == sorted(s.phases)
    # A phase's internal state is carried along the x it is given, from point
    # to point: given only the points where it exists, as here, the program's
    # curve (over its whole range) is met to the rounding of G, a few units of
    # its last place; a phase without an internal state to the bit.
    for phase in phases:
        rows = [i for i, p in enumerate(written["phase"]) if p == phase]
        x = [written["x"][i] for i in rows]
        G = np.array([written["G"][i] for i in rows])
        assert np.allclose(s.energies(1000.0, x)[phase], G, rtol=4e-15, atol=0), phase
    for phase in ("LIQUID", "FCC_A1", "AL3NI1"):
        rows = [i for i, p in enumerate(written["phase"]) if p == phase]
        assert same(s.energies(1000.0, [written["x"][i] for i in rows])[phase], [written["G"][i] for i in rows])
    outside = s.energies(1000.0, [0.2, 0.75])
    assert math.isnan(outside["AL3NI1"][0]) and not math.isnan(outside["AL3NI1"][1])


def test_phase_fractions_as_the_program_writes_them(tmp_path):
    path = EXAMPLES / "eutectic.toml"
    assert run_program(["--system", path, "--fractions", "0.3", "--temperatures", "550:750:0.5"], tmp_path) == 0
    written = read_tsv(tmp_path / "fractions.tsv")
    f = pb.load(path).fractions(0.3, range=(550.0, 750.0, 0.5))
    for column, values in written.items():
        assert same(f[column], values), column


def test_units_as_the_program_writes_them(tmp_path):
    import json
    path = EXAMPLES / "cu-ni.toml"
    s = pb.load(path)
    args = ["--system", path, "--celsius", "--mass-fraction"]
    assert run_program([*args, "--temperatures", "1100:1400:0.5"], tmp_path) == 0
    d = s.diagram(range=(1100.0, 1400.0, 0.5), units="C,mass")
    for column, values in read_tsv(tmp_path / "boundaries.tsv").items():
        assert same(d.boundaries[column], values), column
    assert run_program([*args, "--at", "1250,0.4"], tmp_path) == 0
    written = json.loads((tmp_path / "equilibrium.json").read_text())
    e = s.equilibrium(1250.0, 0.4, units=("C", "mass"))
    assert (written["T"], written["x0"]) == (e.T, e.x0) == (1250, 0.4)
    assert [p["x"] for p in written["phases"]] == [p.x for p in e.phases]
    # The same alloy in the engine's units: T + 273.15 and the mole fraction.
    x0 = 0.4 / 63.546 / (0.4 / 63.546 + 0.6 / 58.6934)
    plain = s.equilibrium(1250.0 + 273.15, x0)
    assert [p.amount for p in plain.phases] == pytest.approx([p.amount for p in e.phases], abs=1e-12)
    with pytest.raises(ValueError, match="molar masses"):
        pb.load(EXAMPLES / "eutectic.toml").diagram(units="mass")
    with pytest.raises(ValueError, match="units"):
        s.diagram(units="F")
