# Solidification of an alloy, from what `phase_boundary --solidify` wrote.
#   gnuplot -e "dir='freeze'" plot/solidification.gp
# reads DIR/solidification.tsv, DIR/segregation.tsv and, where the run wrote
# it, DIR/solidification.gp (the system's name, x0 and units), and writes
# DIR/solidification.svg and DIR/solidification.png (or OUT.svg and OUT.png with
# -e "out='...'"): the fraction of solid against temperature by the lever rule and
# by Scheil, and the composition of the solid along a crystal grown from the melt.
# A missing or empty table is an error, and no figure is written or replaced.

if (!exists("dir")) dir = '.'
if (!exists("out")) out = dir.'/solidification'
table = dir.'/solidification.tsv'
profile = dir.'/segregation.tsv'
do for [file in table.' '.profile] {
    undefine STATS_records
    stats file using (1) nooutput
    if (!exists("STATS_records") || STATS_records < 2) {
        print sprintf("solidification.gp: no rows in '%s'", file)
        exit status 1
    }
}

# The system and the alloy for the title, and the units, where the run wrote them.
info = dir.'/solidification.gp'
undefine STATS_records
stats info using (1) nooutput
if (exists("STATS_records") && STATS_records > 0) load info
if (!exists("T_unit")) T_unit = 'K'
if (!exists("x_words")) x_words = 'Mole fraction'
if (!exists("name_A")) name_A = 'A'
title = exists("system_name") ? sprintf('%s, x0 = %s', system_name, x0) : ''

set encoding utf8
set datafile separator '\t'
set grid lc rgb '#e0e0e0'
set border lw 1.2
set key bottom left box opaque samplen 2

lever = '#1f5fa8'
scheil = '#c0392b'

figure = "set multiplot layout 1,2 title title noenhanced ; set key bottom left box opaque samplen 2 ; \
    set xlabel sprintf('Temperature (%s)', T_unit) ; set ylabel 'Fraction of solid' ; set yrange [0:1.02] ; \
    set autoscale x ; \
    set title 'Fraction solidified' ; \
    plot table skip 1 using 1:2 with lines lw 2.5 lc rgb lever title 'lever rule (equilibrium)', \
         '' skip 1 using 1:5 with lines lw 2.5 dt 2 lc rgb scheil title 'Scheil'; \
    set xlabel 'Fraction solidified, g' ; set ylabel sprintf('%s of %s in the solid', x_words, name_A) ; \
    set xrange [0:1] ; \
    set autoscale y ; unset key ; set title 'Segregation along the crystal (Scheil)' ; \
    plot profile skip 1 using 1:2 with lines lw 2.5 lc rgb scheil notitle ; \
    unset multiplot"

set terminal svg size 1100,480 dynamic enhanced font 'Helvetica,13' background rgb 'white'
set output out.'.svg'
eval figure

set terminal pngcairo size 1100,480 enhanced font 'Helvetica,12' background rgb 'white'
set output out.'.png'
eval figure
set output
