"""The module's interface: what it returns, what it raises and warns, threads,
and the installed copy."""

import concurrent.futures
import math
import os
import pathlib
import subprocess
import sys
import warnings

import numpy as np
import pytest

import phase_boundary as pb
from conftest import EXAMPLES, PROGRAM, read_tsv, run_program

EUTECTIC = EXAMPLES / "eutectic.toml"

# A database with one phase the model cannot take: an ionic liquid.
LEFT_OUT_TDB = """ELEMENT VA VACUUM 0 0 0 !
ELEMENT A FCC_A1 10 0 0 !
ELEMENT B FCC_A1 10 0 0 !
PHASE LIQUID % 1 1 !
CONSTITUENT LIQUID :A,B: !
PARAMETER G(LIQUID,A;0) 1 10000-10*T; 6000 N !
PARAMETER G(LIQUID,B;0) 1 9000-10*T; 6000 N !
PHASE FCC_A1 % 1 1 !
CONSTITUENT FCC_A1 :A,B: !
PHASE ODD:Y % 2 1 1 !
CONSTITUENT ODD :A : VA: !
"""


def test_what_a_system_file_gives(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)  # nothing may be written here
    s = pb.load(str(EUTECTIC))
    assert (s.components, s.phases) == (("A", "B"), ("L", "S"))
    assert s.melting_points == {"A": 1000.0, "B": 900.0}
    assert s.temperatures == (450.0, 1100.0, 1.0)
    d = s.diagram()
    lengths = {len(v) for v in d.boundaries.values()}
    assert len(lengths) == 1 and lengths.pop() > 0
    assert d.boundaries["T"].dtype == np.float64 and d.boundaries["phase_low"].dtype.kind == "U"
    (e,) = d.invariants
    assert (e.kind, e.phases) == ("eutectic", ("S", "L", "S"))
    assert e.x[0] < e.x[1] < e.x[2] and 450 < e.T < 1100
    # Just above the eutectic, two tie-lines, whose ends the diagram's rows also hold.
    ties = s.equilibria(700.0)
    assert [(t.phase_low, t.phase_high) for t in ties] == [("S", "L"), ("L", "S")]
    row = d.boundaries["T"] == 700.0
    assert list(d.boundaries["x_low"][row]) == [t.x_low for t in ties]
    f = s.solidify(0.3, step=2.0)
    assert f.liquidus > f.solidus == pytest.approx(e.T, abs=1e-9)
    assert np.all(np.diff(f.table["T"]) <= 0) and set(f.table["phase_solid_lever"]) <= {"", "S", "S+S"}
    assert f.segregation["g"][0] == 0.0
    assert pb.builtin(7)["T"].tolist() == list(range(1215, 1688))
    assert os.listdir(tmp_path) == []


def test_version_and_help_describe_the_module():
    printed = subprocess.run([PROGRAM, "--version"], capture_output=True, text=True).stdout if PROGRAM else ""
    assert pb.__version__.count(".") == 2 and (not PROGRAM or pb.__version__ in printed.split())
    assert "temperatures" in pb.System.diagram.__doc__ and "K" in pb.System.diagram.__doc__
    for thing in (pb.load, pb.builtin, pb.System, pb.System.solidify, pb.System.equilibria,
                  pb.Diagram, pb.Solidification, pb.Invariant, pb.TieLine, pb.SystemFileError):
        assert thing.__doc__, thing


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return str(path)


@pytest.mark.parametrize("name, text, line, column, key, message", [
    ("missing.toml", None, None, None, None, "No such file or directory"),
    ("bad.toml", '[A]\nname = "A"\nmelting_point = "hot"\n', 3, 17, "A.melting_point", "must be a number"),
    ("bad.tdb", "ELEMENT A FCC 1 0 0 !\nFROB X !\n", 2, 1, None, "unknown command 'FROB'"),
    ("two.tdb", LEFT_OUT_TDB, None, None, None, "no element C in the database"),
])
def test_a_file_that_cannot_be_used_raises_with_its_parts(tmp_path, name, text, line, column, key, message):
    path = str(tmp_path / name) if text is None else write(tmp_path, name, text)
    components = ("A", "C") if name.endswith(".tdb") else None
    with pytest.raises(pb.SystemFileError) as raised:
        pb.load(path, components=components)
    e = raised.value
    assert isinstance(e, ValueError)
    assert (e.path, e.line, e.column, e.key) == (path, line, column, key)
    assert message in str(e) and str(e).startswith(path)


@pytest.mark.parametrize("call", [
    lambda s: s.solidify(0.0), lambda s: s.solidify(1.0), lambda s: s.solidify(math.nan),
    lambda s: s.solidify(0.3, step=0.0), lambda s: s.solidify(0.3, step=1e-12),
    lambda s: s.diagram(range=(900.0, 800.0, 1.0)), lambda s: s.diagram(range=(0.0, 800.0, 1.0)),
    lambda s: s.diagram((900.0, 800.0, 1.0)), lambda s: s.diagram(range=(800.0, 900.0)),
    lambda s: s.diagram([700.0], range=(700.0, 800.0, 1.0)),
    lambda s: s.equilibrium(800.0, 0.0), lambda s: s.equilibrium(0.0, 0.5), lambda s: s.equilibrium(800.0, math.nan),
    lambda s: s.diagram([800.0, 700.0]), lambda s: s.diagram(np.ones((2, 2))),
    lambda s: s.diagram([800.0, math.inf]), lambda s: s.equilibria(-1.0),
    lambda s: s.diagram(threads=0), lambda s: s.diagram(threads=257),
    lambda s: pb.load(EXAMPLES / "eutectic.tdb"), lambda s: pb.load(EUTECTIC, components=("A", "B")),
    lambda s: pb.load(EXAMPLES / "eutectic.tdb", components="A,B"),
    lambda s: pb.load(EXAMPLES / "eutectic.tdb", components=("A", "a")),
    lambda s: pb.builtin(-1), lambda s: pb.builtin(2**32),
])
def test_bad_arguments_raise_value_error(call):
    s = pb.load(EUTECTIC)
    with pytest.raises(ValueError):
        call(s)


def test_what_the_program_warns_of_is_an_engine_warning(tmp_path):
    path = write(tmp_path, "left-out.tdb", LEFT_OUT_TDB)
    with pytest.warns(pb.EngineWarning, match=r"phase ODD \(line 10\) left out"):
        s = pb.load(path, components=("A", "B"))
    assert s.phases == ("LIQUID", "FCC_A1")
    with warnings.catch_warnings():
        warnings.simplefilter("error", pb.EngineWarning)
        with pytest.raises(pb.EngineWarning):
            pb.load(path, components=("A", "B"))
        assert not pb.load(EUTECTIC).diagram().warnings


def test_a_database_without_a_melting_point_needs_temperatures(tmp_path):
    s = pb.load(write(tmp_path, "solid.tdb", LEFT_OUT_TDB), components=("A", "B"), phases=("FCC_A1",))
    assert s.temperatures is None
    for call in (s.diagram, lambda: s.solidify(0.5)):
        with pytest.raises(ValueError, match="neither pure element melts"):
            call()
    assert s.diagram(range=(300.0, 310.0, 5.0)).boundaries["T"].size == 0  # one ideal solution: no region


def test_threads_share_one_system_and_get_the_serial_numbers():
    s = pb.load(EXAMPLES / "peritectic.toml")
    serial = s.diagram().boundaries
    with concurrent.futures.ThreadPoolExecutor(max_workers=4) as pool:
        results = list(pool.map(lambda _: s.diagram().boundaries, range(4)))
    # One diagram's temperatures shared by threads: the same numbers.
    results.append(s.diagram(threads=3).boundaries)
    for r in results:
        for column in serial:
            assert np.array_equal(r[column], serial[column]), column


def test_the_installed_module_imports_from_its_prefix_alone(tmp_path):
    build = os.environ.get("PHASE_BOUNDARY_BUILD_DIR")
    package_dir = os.environ.get("PHASE_BOUNDARY_PYTHON_DIR")
    if not build or not package_dir:
        pytest.skip("run through ctest, which names the build tree")
    subprocess.run(["cmake", "--install", build, "--prefix", str(tmp_path)], check=True,
                   capture_output=True)
    where = tmp_path / package_dir
    assert sorted(p.suffix for p in where.iterdir()) == [".pyi", ".so"]
    script = "import phase_boundary as pb; print(pb.__file__); print(pb.load(%r).phases)" % str(EUTECTIC)
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True,
                         env={"PYTHONPATH": str(where), "PATH": os.environ.get("PATH", "")}, cwd=tmp_path)
    imported, phases = out.stdout.splitlines()
    assert pathlib.Path(imported).parent == where and phases == "('L', 'S')"


@pytest.mark.parametrize("script, extra", [("diagram.py", []), ("freezing_range.py", ["--points", "5"])])
def test_the_example_scripts_draw_their_figures(script, extra, tmp_path):
    pytest.importorskip("matplotlib")
    out = tmp_path / "figure.png"
    subprocess.run([sys.executable, str(EXAMPLES / "python" / script), str(EUTECTIC), "-o", str(out), *extra],
                   check=True, capture_output=True, env=dict(os.environ))
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


EUTECTIC_TDB = (EXAMPLES / "eutectic.tdb").read_text()


def test_pressure_is_what_a_database_p_stands_for(tmp_path):
    # The liquid's L0 is P / 1000: at 1e7 Pa exactly 10000 J/mol, the same double
    # as a file that writes 10000, so the two diagrams agree double for double.
    by_pressure = write(tmp_path, "p.tdb", EUTECTIC_TDB + "PARAMETER G(LIQUID,A,B;0) 1 P/1000; 100000 N !\n")
    constant = write(tmp_path, "c.tdb", EUTECTIC_TDB + "PARAMETER G(LIQUID,A,B;0) 1 10000; 100000 N !\n")
    T = (600.0, 1000.0, 1.0)
    expected = pb.load(constant, components=("A", "B")).diagram(range=T).boundaries
    at_load = pb.load(by_pressure, components=("A", "B"), pressure=1e7)
    assert at_load.pressure == 1e7
    standard = pb.load(by_pressure, components=("A", "B"))
    assert standard.pressure == 101325.0
    for d in (at_load.diagram(range=T), standard.diagram(range=T, pressure=1e7)):
        for column in expected:
            assert np.array_equal(d.boundaries[column], expected[column]), column
    assert not np.array_equal(standard.diagram(range=T).boundaries["x_low"], expected["x_low"])
    out = tmp_path / "out"
    out.mkdir()
    assert run_program(["--system", by_pressure, "--components", "A,B", "--temperatures", "600:1000",
                        "--pressure", "1e7"], out) == 0
    assert read_tsv(out / "boundaries.tsv")["x_low"] == list(expected["x_low"])
    for bad in (0.0, -1.0, 2e10, math.nan):
        with pytest.raises(ValueError, match="pressure"):
            pb.load(by_pressure, components=("A", "B"), pressure=bad)
        with pytest.raises(ValueError, match="pressure"):
            standard.diagram(range=T, pressure=bad)
    with pytest.raises(ValueError, match="pressure applies to a database"):
        pb.load(EUTECTIC, pressure=2e5)


def test_what_a_database_leaves_out_or_reads_past(tmp_path):
    path = write(tmp_path, "left-out.tdb", LEFT_OUT_TDB + "PARAMETER G(LIQUID,A;0) 1 1; 6000 N !\n")
    with pytest.warns(pb.EngineWarning) as issued:
        s = pb.load(path, components=("A", "B"))
    assert s.phases_left_out == {"ODD": "an ionic liquid (the two-sublattice ionic model is not modelled)"}
    texts = [str(w.message) for w in issued]
    assert texts == ["phase ODD (line 10) left out: an ionic liquid (the two-sublattice ionic model is not modelled)",
                     path + ":12: PARAMETER G(LIQUID,A;0) given again (first at line 6); the first is kept"]
    info = pb.database_info(path)
    assert info["elements"] == {"A": 10.0, "B": 10.0}
    assert [(p["name"], p["computed"]) for p in info["phases"]] == [
        ("LIQUID", True), ("FCC_A1", True), ("ODD", False)]
    assert info["phases"][2]["why"].startswith("an ionic liquid") and info["phases"][0]["model"] == "solution"
    assert info["phases"][2]["constituents"] == [["A"], ["VA"]] and info["warnings"] == texts[1:]
    binary = pb.database_info(path, components=("B", "A"))
    assert [p["name"] for p in binary["phases"]] == ["LIQUID", "FCC_A1"]
    assert binary["left_out"] == s.phases_left_out
    with pytest.raises(pb.SystemFileError, match="no element C"):
        pb.database_info(path, components=("A", "C"))
    with pytest.raises(pb.SystemFileError, match="unknown command"):
        pb.database_info(write(tmp_path, "bad.tdb", "FROB !\n"))


def test_a_function_not_finite_in_the_range_names_its_line(tmp_path):
    path = write(tmp_path, "inf.tdb", EUTECTIC_TDB + "PARAMETER G(LIQUID,A,B;0) 1 T**(100000000); 100000 N !\n")
    with pytest.raises(pb.SystemFileError) as raised:
        pb.load(path, components=("A", "B"))
    assert (raised.value.line, raised.value.column) == (18, None)
    assert "PARAMETER G(LIQUID,A,B;0) is not finite at 298 K" in str(raised.value)
    # The liquid alone has no melting point, and no range: it loads, and its
    # diagram is refused where the temperatures reach past 1 K, where the power
    # overflows.
    s = pb.load(path, components=("A", "B"), phases=("LIQUID",))
    assert s.diagram(range=(0.5, 1.0, 0.5)).boundaries["T"].size == 0
    with pytest.raises(pb.SystemFileError, match="is not finite at 1.5 K"):
        s.diagram(range=(0.5, 2.0, 0.5))


def test_tie_lines_carry_their_ends_site_fractions(tmp_path):
    text = EUTECTIC_TDB.replace("PHASE SOLID %  1  1.0 !\nCONSTITUENT SOLID :A,B : !",
                                "PHASE SOLID %  2  1 1 !\nCONSTITUENT SOLID :A,B : VA : !")
    path = write(tmp_path, "vac.tdb", text.replace("G(SOLID,A,B;0)", "G(SOLID,A,B:VA;0)"))
    ties = pb.load(path, components=("A", "B")).equilibria(700.0)
    assert ties
    for t in ties:
        low, high = t.site_fractions
        for name, x, y in ((t.phase_low, t.x_low, low), (t.phase_high, t.x_high, high)):
            assert abs(y[0][0] - x) <= 1e-15 and abs(sum(y[0]) - 1) <= 1e-15
            assert y[1:] == ([[1.0]] if name == "SOLID" else [])
    # A system file's phase: one lattice of both components.
    low, high = pb.load(EXAMPLES / "eutectic.toml").equilibria(800.0)[0].site_fractions
    assert len(low) == 1 and len(low[0]) == 2


def test_a_tuple_of_three_temperatures_is_three_temperatures_and_a_range_is_a_range():
    s = pb.load(EXAMPLES / "eutectic.toml")
    listed = s.diagram((600.0, 700.0, 800.0)).boundaries["T"]
    assert sorted(set(listed.tolist())) == [600.0, 700.0, 800.0]
    ranged = s.diagram(range=(600.0, 800.0, 100.0)).boundaries["T"]
    assert np.array_equal(listed, ranged)


def test_results_pickle_whole():
    import pickle
    s = pb.load(EXAMPLES / "eutectic.toml")
    d = s.diagram(range=(600.0, 900.0, 10.0))
    back = pickle.loads(pickle.dumps(d))
    for column, values in d.boundaries.items():
        assert np.array_equal(back.boundaries[column], values), column
    assert [(i.kind, i.T, i.phases, i.x) for i in back.invariants] == [(i.kind, i.T, i.phases, i.x)
                                                                       for i in d.invariants]
    ties = s.equilibria(700.0)
    assert [(t.phase_low, t.x_low, t.site_fractions) for t in pickle.loads(pickle.dumps(ties))] == \
        [(t.phase_low, t.x_low, t.site_fractions) for t in ties]
    f = s.solidify(0.3)
    g = pickle.loads(pickle.dumps(f))
    assert (g.liquidus, g.solidus, g.scheil_end) == (f.liquidus, f.solidus, f.scheil_end)
    assert (g.eutectic_fraction_lever, g.eutectic_fraction_scheil) == \
        (f.eutectic_fraction_lever, f.eutectic_fraction_scheil)
    assert 0 < f.eutectic_fraction_lever < f.eutectic_fraction_scheil < 1
    assert np.array_equal(g.table["T"], f.table["T"])
    e = s.equilibrium(700.0, 0.3)
    b = pickle.loads(pickle.dumps(e))
    assert (b.T, b.x0, b.mu, b.activity, b.G, b.H, b.S, b.Cp) == (e.T, e.x0, e.mu, e.activity, e.G, e.H, e.S, e.Cp)
    assert [(p.name, p.amount, p.x, p.site_fractions) for p in b.phases] == \
        [(p.name, p.amount, p.x, p.site_fractions) for p in e.phases]


def test_equilibria_of_many_alloys_at_one_temperature_are_each_one_alone():
    s = pb.load(EUTECTIC)
    xs = np.array([0.1, 0.3, 0.5, 0.9])
    many = s.equilibrium(700.0, xs)
    assert isinstance(many, list) and len(many) == len(xs)
    assert isinstance(s.equilibrium(700.0, np.float64(0.3)), pb.Equilibrium)
    for x0, e in zip(xs, many):
        one = s.equilibrium(700.0, float(x0))
        assert (e.x0, e.mu, e.G, e.H, e.S, e.Cp) == (one.x0, one.mu, one.G, one.H, one.S, one.Cp)
        assert [(p.name, p.amount, p.x) for p in e.phases] == [(p.name, p.amount, p.x) for p in one.phases]
    with pytest.raises(ValueError, match="x0"):
        s.equilibrium(700.0, [0.3, 0.0])


def test_refusals_speak_of_the_arguments_not_of_the_command_line():
    s = pb.load(EUTECTIC)
    for call, name in ((lambda: s.solidify(0.3, step=1e-12), "step"), (lambda: s.solidify(2.0), "x0"),
                       (lambda: s.diagram(threads=0), "threads"), (lambda: s.equilibrium(700.0, 0.0), "x0"),
                       (lambda: s.diagram(range=(0.0, 10.0, 1.0)), "range")):
        with pytest.raises(ValueError) as raised:
            call()
        assert str(raised.value).startswith(name) and "--" not in str(raised.value), str(raised.value)
