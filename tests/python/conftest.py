"""Where the tests find the program, the examples and the public databases,
and how they read the program's tables back."""

import math
import os
import pathlib
import subprocess

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
SHARED_TDB = ROOT.parent / "shared" / "tdb"
PROGRAM = os.environ.get("PHASE_BOUNDARY_EXE", "")


@pytest.fixture
def shared_tdb():
    if not SHARED_TDB.is_dir():
        pytest.skip(f"{SHARED_TDB} is absent: the public databases are not beside the project")
    return SHARED_TDB


def run_program(args, out_dir):
    """Runs the program into out_dir; returns its exit status."""
    if not PROGRAM:
        pytest.skip("PHASE_BOUNDARY_EXE is not set: run these tests through ctest")
    return subprocess.run([PROGRAM, *map(str, args), "-o", str(out_dir)],
                          capture_output=True, text=True).returncode


def read_tsv(path):
    """The columns of a table the program wrote, numbers as the doubles they print;
    an empty field is NaN in a number column, "" in a name column."""
    lines = pathlib.Path(path).read_text().splitlines()
    names = lines[0].split("\t")
    rows = [line.split("\t") for line in lines[1:]]
    columns = {}
    for i, name in enumerate(names):
        fields = [row[i] for row in rows]
        numeric = not name.startswith("phase") and name not in ("kind", "text")
        columns[name] = [float(f) if f else math.nan for f in fields] if numeric else fields
    return columns
