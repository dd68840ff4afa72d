"""Cu-Mg's invariants of a liquid and two fixed compositions, computed a second
way: the database read by a reader of a few lines, its expressions evaluated by
Python, and each invariant found by nested bisections on its own equations."""

import math
import re

import pytest

import phase_boundary as pb

R = 8.31451  # J/(mol K), as these databases are assessed


def commands(path):
    """The file's commands, comments ($ to the end of a line) dropped."""
    lines = [line.split("$", 1)[0] for line in path.read_text().splitlines()]
    return [" ".join(c.split()) for c in " ".join(lines).split("!")]


def pieces(body):
    """'T0 expr; T1 Y expr; ... Tn N' as (low, high, expr) pieces."""
    parts = body.split(";")
    low, expr = parts[0].split(None, 1)
    out = []
    low = float(low)
    for part in parts[1:]:
        words = part.split(None, 2)
        high = float(words[0])
        out.append((low, high, expr))
        if words[1].upper() != "Y":
            break
        expr, low = words[2], high
    return out


class Database:
    """FUNCTION and PARAMETER G(...) commands, each a function of T."""

    def __init__(self, path):
        self.functions = {}
        self.parameters = {}
        for c in commands(path):
            words = c.split(None, 2)
            if len(words) < 3:
                continue
            keyword = words[0].upper()
            if keyword.startswith("FUNCT"):
                self.functions[words[1].upper()] = pieces(words[2])
            elif keyword.startswith("PARAM") and words[1].upper().startswith("G("):
                key, body = c.split(None, 1)[1].split(")", 1)
                self.parameters[key.upper().replace(" ", "") + ")"] = pieces(body)

    def evaluate(self, piecewise, T):
        # The piece holding T, or the nearest one outside them all.
        low, high, expr = next((p for p in piecewise if p[0] <= T < p[1]),
                               piecewise[0] if T < piecewise[0][0] else piecewise[-1])
        names = {"T": "T", "LN": "log", "LOG": "log", "EXP": "exp"}
        python = re.sub(r"\b([A-Za-z_][A-Za-z0-9_]*)\b#?",
                        lambda m: names.get(m.group(1).upper(), f"F('{m.group(1).upper()}')"),
                        expr.replace("#", ""))
        return eval(python, {"__builtins__": {}},
                    {"T": T, "log": math.log, "exp": math.exp,
                     "F": lambda name: self.evaluate(self.functions[name], T)})

    def G(self, key, T):
        return self.evaluate(self.parameters[key], T)


def bisect(f, lo, hi):
    """The root of f between lo and hi, to the doubles."""
    f_lo = f(lo)
    assert (f_lo < 0) != (f(hi) < 0), (lo, hi)
    while True:
        mid = 0.5 * (lo + hi)
        if mid in (lo, hi):
            return mid
        if (f(mid) < 0) == (f_lo < 0):
            lo = mid
        else:
            hi = mid


def liquid_potentials(db, x, T):
    """mu_Cu, mu_Mg of the Redlich-Kister liquid at x = x_Cu, by hand."""
    ga, gb = db.G("G(LIQUID,CU;0)", T), db.G("G(LIQUID,MG;0)", T)
    l0, l1 = db.G("G(LIQUID,CU,MG;0)", T), db.G("G(LIQUID,CU,MG;1)", T)
    y = 1.0 - x
    g = x * ga + y * gb + R * T * (x * math.log(x) + y * math.log(y)) + x * y * (l0 + l1 * (x - y))
    slope = ga - gb + R * T * math.log(x / y) + (1 - 2 * x) * (l0 + l1 * (x - y)) + 2 * x * y * l1
    return g + y * slope, g - x * slope


def test_cu_mg_invariants_of_fixed_compositions(shared_tdb):
    db = Database(shared_tdb / "cu-mg.tdb")
    cumg2 = lambda T: db.G("G(CUMG2,CU:MG;0)", T) / 3.0  # per mole of atoms, at x = 1/3
    hcp = lambda T: db.G("G(HCP_A3,MG:VA;0)", T)  # pure Mg

    # CuMg2 melts where the liquid of its composition has its energy.
    def above_melt(T):
        mu_cu, mu_mg = liquid_potentials(db, 1.0 / 3.0, T)
        return cumg2(T) - (mu_cu + 2.0 * mu_mg) / 3.0

    congruent = bisect(above_melt, 700.0, 1000.0)

    # The eutectic of Mg, the liquid and CuMg2: at each T the liquid in
    # equilibrium with Mg, then the T where CuMg2 touches its tangent.
    def liquid_beside_mg(T):
        return bisect(lambda x: liquid_potentials(db, x, T)[1] - hcp(T), 1e-9, 1.0 / 3.0)

    def above_tangent(T):
        mu_cu, mu_mg = liquid_potentials(db, liquid_beside_mg(T), T)
        return cumg2(T) - (mu_cu + 2.0 * mu_mg) / 3.0

    eutectic = bisect(above_tangent, 700.0, 800.0)
    x_eutectic = liquid_beside_mg(eutectic)

    engine = pb.load(shared_tdb / "cu-mg.tdb", components=("CU", "MG")).diagram().invariants
    melts = [i for i in engine if i.kind == "congruent" and "CUMG2" in i.phases]
    assert len(melts) == 1
    assert melts[0].T == pytest.approx(congruent, abs=1e-6)
    eutectics = [i for i in engine if i.kind == "eutectic" and set(i.phases) == {"HCP_A3", "LIQUID", "CUMG2"}]
    assert len(eutectics) == 1
    e = eutectics[0]
    assert e.T == pytest.approx(eutectic, abs=1e-6), (e.T, eutectic)
    assert e.x[e.phases.index("LIQUID")] == pytest.approx(x_eutectic, abs=1e-9)
