#!/usr/bin/env bash
# Draws the README's diagram figures into docs/examples/, or lists them.
#   docs/examples/figures.sh PROGRAM [TDB_DIR]      draw them all
#   docs/examples/figures.sh --list                 name and arguments, one a line
# PROGRAM is the built phase_boundary; TDB_DIR holds the public databases
# (../shared/tdb beside the project), without which their figures are left
# as they are. The tests read the same list to check the figures' labels.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")

figures() {
    for name in eutectic peritectic monotectic congruent-minimum cu-ni solid-gap; do
        echo "$name --system examples/$name.toml"
    done
    echo "pb-sn-tdb --system TDB/pb-sn.tdb --components SN,PB"
    echo "ag-cu-tdb --system TDB/ag-cu.tdb --components AG,CU"
    echo "cu-mg-tdb --system TDB/cu-mg.tdb --components CU,MG"
    echo "al-zn-tdb --system TDB/al-zn.tdb --components AL,ZN"
    echo "cu-ni-tdb --system TDB/cu-ni.tdb --components CU,NI"
    echo "al-cu-tdb --system TDB/cost507.tdb --components AL,CU"
    echo "fe-c-tdb --system TDB/steel1.tdb --components FE,C --temperatures 700:2000"
    echo "al-ni-tdb --system TDB/al-ni.tdb --components AL,NI"
    echo "al-fe-tdb --system TDB/al-fe-2009.tdb --components AL,FE --temperatures 500:1900"
}

if [ "${1:-}" = "--list" ]; then
    figures
    exit 0
fi
program=$1
tdb=${2:-$root/../shared/tdb}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
figures | while read -r name args; do
    case "$args" in *TDB/*) [ -d "$tdb" ] || continue ;; esac
    mkdir "$scratch/$name"
    # shellcheck disable=SC2086
    (cd "$root" && "$program" ${args//TDB/$tdb} -o "$scratch/$name" >/dev/null) || true
    gnuplot -e "dir='$scratch/$name'" -e "out='$here/$name'" "$root/plot/system_diagram.gp"
    rm -f "$here/$name.svg"
done
