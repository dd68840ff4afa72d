# The phases of one alloy against temperature, from what `phase_boundary --fractions X0` wrote.
#   gnuplot -e "dir='out'" plot/phase_fractions.gp
# reads DIR/fractions.tsv and DIR/fractions.gp (names, x0, the phases) and writes
# DIR/fractions.svg and DIR/fractions.png (or OUT.svg and OUT.png with
# -e "out='...'"): each phase's amount, and its composition, against T. A missing
# or empty file is an error, and no figure is written or replaced.

if (!exists("dir")) dir = '.'
if (!exists("out")) out = dir.'/fractions'
table = dir.'/fractions.tsv'
info = dir.'/fractions.gp'

do for [file in table.' '.info] {
    undefine STATS_records
    stats file using (1) nooutput
    if (!exists("STATS_records") || STATS_records < 2) {
        print sprintf("phase_fractions.gp: nothing in '%s'", file)
        exit status 1
    }
}
load info
if (!exists("T_unit")) T_unit = 'K'
if (!exists("x_words")) x_words = 'Mole fraction'

set encoding utf8
set datafile separator '\t'
set grid lc rgb '#e0e0e0'
set border lw 1.2
of(phase, v) = strcol(2) eq phase ? v : NaN

figure = "set multiplot layout 1,2 title sprintf('%s, %s of %s %g', system_name, x_words, name_A, x0) noenhanced ; \
    set key outside bottom center horizontal samplen 2 noenhanced ; set bmargin 6 ; \
    set xlabel sprintf('Temperature (%s)', T_unit) ; set ylabel 'Amount (mole fraction of atoms)' ; set yrange [0:1.02] ; \
    set title 'Phase amounts' ; \
    plot for [i=1:words(phases)] table skip 1 using 1:(of(word(phases, i), $3)) with lines lw 2.5 \
        title word(phases, i) ; \
    set ylabel sprintf('%s of %s in the phase', x_words, name_A) ; set autoscale y ; \
    set title 'Phase compositions' ; \
    plot for [i=1:words(phases)] table skip 1 using 1:(of(word(phases, i), $4)) with lines lw 2.5 \
        title word(phases, i) ; \
    unset multiplot"

set terminal svg size 1100,520 dynamic enhanced font 'Helvetica,13' background rgb 'white'
set output out.'.svg'
eval figure

set terminal pngcairo size 1100,520 enhanced font 'Helvetica,12' background rgb 'white'
set output out.'.png'
eval figure
set output
