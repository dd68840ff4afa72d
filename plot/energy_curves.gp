# The Gibbs energy curves at one temperature, from what `phase_boundary --energies T` wrote.
#   gnuplot -e "dir='out'" plot/energy_curves.gp
# reads DIR/energies.tsv, DIR/tangents.tsv and DIR/energies.gp (names, T, the
# phases, the stable pure components' energies) and writes DIR/energies.svg and
# DIR/energies.png (or OUT.svg and OUT.png with -e "out='...'"): each phase's G
# less the chord x G_A + (1 - x) G_B between the stable pure components, so that
# the curves' wells show at the scale of mixing, and the common tangents of the
# stable equilibria. A missing or empty file is an error, and no figure is
# written or replaced.

if (!exists("dir")) dir = '.'
if (!exists("out")) out = dir.'/energies'
energies = dir.'/energies.tsv'
tangents = dir.'/tangents.tsv'
info = dir.'/energies.gp'

do for [table in energies.' '.tangents.' '.info] {
    undefine STATS_records
    stats table using (1) nooutput
    if (!exists("STATS_records") || STATS_records == 0) {
        print sprintf("energy_curves.gp: nothing in '%s'", table)
        exit status 1
    }
}
load info
if (!exists("T_unit")) T_unit = 'K'
T_text = sprintf('%g', T)

set datafile separator '\t'
n_tangents = 0
stats tangents using (n_tangents = n_tangents + 1, 1) nooutput
n_tangents = n_tangents - 1  # the header

chord(x) = x * G_A + (1 - x) * G_B
on_tangent(x, mu_A, mu_B) = x * mu_A + (1 - x) * mu_B - chord(x)
of(phase, G, x) = strcol(1) eq phase ? G - chord(x) : NaN

set encoding utf8
set grid lc rgb '#e0e0e0'
set border lw 1.2
set xrange [0:1]
set yrange [G_low:G_high]
set xlabel sprintf('Mole fraction of %s', name_A) noenhanced
set ylabel sprintf('G - (x G_{%s} + (1 - x) G_{%s})  (J/mol)', name_A, name_B)
set title sprintf('%s at %s %s: Gibbs energy of each phase', system_name, T_text, T_unit) noenhanced
set key outside right top samplen 2 noenhanced

figure = "plot for [i=1:words(curves)] energies skip 1 using 2:(of(word(curves, i), $3, $2)) \
              with lines lw 2 title word(curves, i), \
          for [i=1:words(points)] energies skip 1 using 2:(of(word(points, i), $3, $2)) \
              with points pt 7 ps 1.2 title word(points, i)".\
          (n_tangents > 0 ? ", tangents skip 1 using 2:(on_tangent($2, $5, $6)):($4 - $2):\
              (on_tangent($4, $5, $6) - on_tangent($2, $5, $6)) with vectors nohead lw 1.2 dt 2 lc rgb 'black' \
              title 'common tangents'" : "")

set terminal svg size 1000,600 dynamic enhanced font 'Helvetica,13' background rgb 'white'
set output out.'.svg'
eval figure

set terminal pngcairo size 1000,600 enhanced font 'Helvetica,12' background rgb 'white'
set output out.'.png'
eval figure
set output
