#!/usr/bin/env bash
# Builds the 64-bit Windows program with MinGW-w64, runs it under Wine in a
# scratch directory and checks that it behaves as on Linux: status 0, a table of
# 473 lines, every line of both files ended by CR LF and no lone CR or LF, and a
# second run replacing the first one's files. Then runs the program with one seed
# on both builds and checks that the files are the same bytes apart from the
# line ends, compares a diagram, a database's diagram and a solidification with
# the Linux build's, and runs the unit tests (the golden seeded runs among them)
# as a Windows program under Wine.
#
#   tools/check-windows.sh [LINUX_BUILD_DIR]     (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
linux_build=$(cd "${1:-$root/build}" && pwd)
windows_build=$root/build-wine  # not build-windows: README's cross-build has its own
scratch=$(mktemp -d)

fail() { echo "check-windows: $*" >&2; exit 1; }

wine=$(command -v wine64 || true)
[ -n "$wine" ] || wine=$(dpkg -L wine64 2>/dev/null | grep -m1 '/wine64$' || true)
[ -x "$wine" ] || fail "no 64-bit Wine loader (Debian package wine64)"
export WINEPREFIX=$scratch/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One Wine server for every run below, ended with the check.
wineserver=$(dirname "$wine")/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
mkdir -p "$WINEPREFIX"
"$wineserver" -p
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$scratch"' EXIT

cmake -S "$root" -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" -DPHASE_BOUNDARY_BENCH=OFF >/dev/null
cmake --build "$windows_build" --target phase_boundary --parallel 2 >/dev/null

# Every line ends in CR LF: as many CR as LF, and each CR directly before an LF.
check_crlf() {
    local file=$1 lf cr crlf
    [ -s "$file" ] || fail "$file is empty or missing"
    lf=$(tr -cd '\n' <"$file" | wc -c)
    cr=$(tr -cd '\r' <"$file" | wc -c)
    crlf=$(LC_ALL=C grep -a -c $'\r$' "$file" || true)
    [ "$lf" -eq "$cr" ] && [ "$cr" -eq "$crlf" ] ||
        fail "$file: $lf LF, $cr CR, $crlf CR LF: not every line ends in CR LF"
    [ "$(tail -c 1 "$file" | od -An -c | tr -d ' ')" = '\n' ] || fail "$file does not end with a line end"
}

mkdir -p "$scratch/run"
(
    cd "$scratch/run"
    status=0
    "$wine" "$windows_build/phase_boundary.exe" >stdout.txt 2>/dev/null || status=$?
    [ "$status" -eq 0 ] || fail "phase_boundary.exe exited with $status"
    [ ! -s stdout.txt ] || fail "phase_boundary.exe wrote to standard output"
    lines=$(wc -l <result02.txt)
    [ "$lines" -eq 473 ] || fail "result02.txt has $lines lines, not 473"
    check_crlf result02.txt
    check_crlf result.txt
    # The rename must replace existing files on Windows too.
    "$wine" "$windows_build/phase_boundary.exe" --seed 9 2>/dev/null || fail "a second run exited with $?"
    [ "$(ls | sort | tr '\n' ' ')" = "result.txt result02.txt stdout.txt " ] ||
        fail "a second run left $(ls | tr '\n' ' ')"
)

seed=20261207
mkdir -p "$scratch/windows" "$scratch/linux"
"$wine" "$windows_build/phase_boundary.exe" --seed "$seed" -o "$scratch/windows" 2>/dev/null ||
    fail "phase_boundary.exe --seed $seed failed"
"$linux_build/phase_boundary" --seed "$seed" -o "$scratch/linux" || fail "phase_boundary --seed $seed failed"
for file in result.txt result02.txt; do
    check_crlf "$scratch/windows/$file"
    tr -d '\r' <"$scratch/windows/$file" | cmp -s - "$scratch/linux/$file" ||
        fail "$file from seed $seed differs between Windows and Linux beyond the line ends"
done

echo "check-windows: phase_boundary.exe exits 0 with 473 lines; both files CR LF, same bytes as on Linux"

# The general engine and a solidification: the same rows as the Linux build,
# every number within 1e-9 (the two C libraries' exp and log may differ in the
# last bit).
same_tables() {
    local windows=$1 linux=$2 file
    shift 2
    for file in "$@"; do
        check_crlf "$windows/$file"
        tr -d '\r' <"$windows/$file" >"$windows/$file.lf"
        [ "$(wc -l <"$windows/$file.lf")" -eq "$(wc -l <"$linux/$file")" ] || fail "$file: another number of rows on Windows"
        paste "$windows/$file.lf" "$linux/$file" | awk -F'\t' -v file="$file" '
            { n = NF / 2
              if (NF % 2) { print file ": rows of different shape at line " NR; bad = 1; exit }
              for (i = 1; i <= n; ++i) {
                  a = $i; b = $(i + n)
                  if (a ~ /^-?[0-9]/ && b ~ /^-?[0-9]/) { d = a - b; if (d < 0) d = -d; if (d > 1e-9) { print file ": line " NR ": " a " and " b; bad = 1 } }
                  else if (a != b) { print file ": line " NR ": " a " and " b; bad = 1 }
              } }
            END { exit bad }' || fail "$file differs between Windows and Linux"
    done
}
mkdir -p "$scratch/system-windows" "$scratch/system-linux" "$scratch/freeze-windows" "$scratch/freeze-linux"
example=$root/examples/monotectic.toml
"$wine" "$windows_build/phase_boundary.exe" --system "$example" -o "$scratch/system-windows" >/dev/null 2>&1 ||
    fail "phase_boundary.exe --system exited with $?"
"$linux_build/phase_boundary" --system "$example" -o "$scratch/system-linux" >/dev/null ||
    fail "phase_boundary --system failed"
same_tables "$scratch/system-windows" "$scratch/system-linux" boundaries.tsv invariants.tsv
"$wine" "$windows_build/phase_boundary.exe" --system "$example" --solidify 0.9 -o "$scratch/freeze-windows" >/dev/null 2>&1 ||
    fail "phase_boundary.exe --solidify exited with $?"
"$linux_build/phase_boundary" --system "$example" --solidify 0.9 -o "$scratch/freeze-linux" >/dev/null ||
    fail "phase_boundary --solidify failed"
same_tables "$scratch/freeze-windows" "$scratch/freeze-linux" solidification.tsv
# A database: a published one where it is beside the project, else one of ours.
database=$root/../shared/tdb/pb-sn.tdb
components=SN,PB
[ -f "$database" ] || { database=$root/examples/line-compound.tdb; components=A,B; }
mkdir -p "$scratch/tdb-windows" "$scratch/tdb-linux"
"$wine" "$windows_build/phase_boundary.exe" --system "$database" --components "$components" \
    -o "$scratch/tdb-windows" >/dev/null 2>&1 || fail "phase_boundary.exe --system $(basename "$database") exited with $?"
"$linux_build/phase_boundary" --system "$database" --components "$components" -o "$scratch/tdb-linux" >/dev/null ||
    fail "phase_boundary --system $(basename "$database") failed"
same_tables "$scratch/tdb-windows" "$scratch/tdb-linux" boundaries.tsv invariants.tsv
echo "check-windows: --system, a database and --solidify write the same rows as on Linux"

# The unit tests as a Windows program: ctest runs each through Wine.
cmake --build "$windows_build" --target unit_tests --parallel 2 >/dev/null
ctest --test-dir "$windows_build" --no-tests=error --parallel 2 --output-on-failure >"$scratch/ctest.log" 2>&1 ||
    { cat "$scratch/ctest.log"; fail "unit tests failed under Wine"; }
echo "check-windows: unit tests under Wine: $(grep -E 'tests passed' "$scratch/ctest.log")"
