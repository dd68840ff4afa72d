#!/usr/bin/env bash
# Draws every diagram figure of the README (docs/examples/figures.sh --list)
# with plot/system_diagram.gp and reads the labels back from each SVG: no two
# may overlap. The public databases' figures are skipped, with a message,
# where the databases are not beside the project, and those that take
# longest are left to the Release build when the build is a sanitizer's.
#   test_labels.sh PROGRAM GNUPLOT PYTHON ROOT TDB_DIR SCRATCH [quick]
set -euo pipefail
program=$1 gnuplot=$2 python=$3 root=$4 tdb=$5 scratch=$6 quick=${7:-}
slow="al-ni-tdb al-fe-tdb fe-c-tdb"
rm -rf "$scratch"
mkdir -p "$scratch"
figures=()
while read -r name args; do
    case "$args" in *TDB/*)
        if [ ! -d "$tdb" ]; then echo "skipped $name: no public databases at $tdb"; continue; fi ;;
    esac
    if [ -n "$quick" ] && [[ " $slow " == *" $name "* ]]; then
        echo "skipped $name in this build: it is checked in the Release build"
        continue
    fi
    mkdir "$scratch/$name"
    # shellcheck disable=SC2086
    (cd "$root" && "$program" ${args//TDB/$tdb} -o "$scratch/$name" >/dev/null) || {
        status=$?
        [ "$status" -eq 70 ] || { echo "$name: phase_boundary exited with $status"; exit 1; }
    }
    "$gnuplot" -e "dir='$scratch/$name'" "$root/plot/system_diagram.gp"
    figures+=("$scratch/$name/diagram.svg")
done < <(bash "$root/docs/examples/figures.sh" --list)
"$python" "$root/tests/label_boxes.py" "${figures[@]}"
