#!/usr/bin/env bash
# Draws the phase diagram from a table the program writes, and checks that both
# pictures are written and that the SVG holds the liquidus and the solidus as
# curves drawn from the table's 473 points (gnuplot merges the points that fall
# on one spot of the picture, so a curve has somewhat fewer segments).
#   test_plot.sh PROGRAM SCRIPT GNUPLOT SCRATCH_DIR
set -euo pipefail
program=$1 script=$2 gnuplot=$3 scratch=$4

fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$scratch" && mkdir -p "$scratch/run" && cd "$scratch"

# No table, or an empty one: an error, and the figure already there is kept.
echo kept >phase_diagram.svg
"$gnuplot" "$script" 2>/dev/null && fail "gnuplot drew a diagram without a table"
: >result02.txt
"$gnuplot" "$script" 2>/dev/null && fail "gnuplot drew a diagram from an empty table"
[ "$(cat phase_diagram.svg)" = kept ] || fail "a failed drawing replaced the figure"
[ ! -e phase_diagram.png ] || fail "a failed drawing wrote a PNG"

"$program" --seed 5 -o run || fail "the program exited with $?"
"$gnuplot" -e "table='run/result02.txt'" "$script" || fail "gnuplot exited with $?"

[ -s phase_diagram.svg ] || fail "phase_diagram.svg was not written"
[ -s phase_diagram.png ] || fail "phase_diagram.png was not written"
[ "$(head -c 8 phase_diagram.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "phase_diagram.png is not a PNG file"

# The most line-to points in one plot group titled NAME.
points_of() {
    awk -v name="$1" '
        /<g id="gnuplot_plot_/ { inside = index($0, "<title>" name "</title>") > 0; n = 0 }
        inside { n += gsub(/ L[0-9]/, "&"); if (n > most) most = n }
        END { print most + 0 }' phase_diagram.svg
}
for curve in 'liquidus, Si(L)' 'solidus, Si(S)'; do
    points=$(points_of "$curve")
    [ "$points" -ge 300 ] || fail "the curve '$curve' has $points segments: not drawn from the table"
done
echo "phase diagram drawn: liquidus and solidus curves in phase_diagram.svg, and phase_diagram.png"

# The general engine's diagram and a solidification: drawn from real tables, and
# refused (with no figure) when a table is missing.
plots=$(dirname "$script")
examples=$(dirname "$plots")/examples
mkdir system freeze
"$program" --system "$examples/eutectic.toml" -o system >/dev/null || fail "--system exited with $?"
"$program" --solidify 0.3 -o freeze >/dev/null || fail "--solidify exited with $?"
mkdir energies
"$program" --system "$examples/eutectic.toml" --energies 700 -o energies >/dev/null || fail "--energies exited with $?"
"$gnuplot" -e "dir='energies'" "$plots/energy_curves.gp" || fail "energy_curves.gp exited with $?"
[ -s energies/energies.svg ] && [ -s energies/energies.png ] || fail "energies.svg or .png was not written"
grep -q '<title>common tangents</title>' energies/energies.svg || fail "the common tangents are not drawn"
"$program" --system "$examples/eutectic.toml" --fractions 0.3 -o energies >/dev/null || fail "--fractions exited with $?"
"$gnuplot" -e "dir='energies'" "$plots/phase_fractions.gp" || fail "phase_fractions.gp exited with $?"
[ -s energies/fractions.svg ] && [ -s energies/fractions.png ] || fail "fractions.svg or .png was not written"
"$gnuplot" -e "dir='system'" "$plots/system_diagram.gp" || fail "system_diagram.gp exited with $?"
"$gnuplot" -e "dir='freeze'" "$plots/solidification.gp" || fail "solidification.gp exited with $?"
for figure in system/diagram freeze/solidification; do
    [ -s "$figure.svg" ] && [ -s "$figure.png" ] || fail "$figure.svg or .png was not written"
done
grep -q '>eutectic<' system/diagram.svg || fail "the eutectic is not labelled in the diagram"
rm system/invariants.tsv freeze/segregation.tsv system/diagram.png freeze/solidification.png
"$gnuplot" -e "dir='system'" "$plots/system_diagram.gp" 2>/dev/null && fail "drew a diagram without invariants.tsv"
"$gnuplot" -e "dir='freeze'" "$plots/solidification.gp" 2>/dev/null && fail "drew a solidification without segregation.tsv"
[ ! -e system/diagram.png ] && [ ! -e freeze/solidification.png ] || fail "a refused drawing wrote a figure"
echo "system diagram and solidification drawn from real tables, and refused without them"
