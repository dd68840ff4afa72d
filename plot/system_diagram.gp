# The phase diagram of a system file, from what `phase_boundary --system` wrote.
#   gnuplot -e "dir='out'" plot/system_diagram.gp
# reads DIR/boundaries.tsv, DIR/invariants.tsv, DIR/diagram.gp (names, melting
# points), DIR/regions.tsv (each region once, with a point inside it),
# DIR/outlines.tsv (each two-phase region's outline), DIR/labels.tsv (every
# label, placed) and DIR/orderings.tsv (where an ordering sets in continuously
# inside a field), the last four where the run wrote them, and writes
# DIR/diagram.svg and DIR/diagram.png (or OUT.svg and OUT.png with -e
# "out='...'"). A missing or empty file is an error, and no figure is written
# or replaced.

if (!exists("dir")) dir = '.'
if (!exists("out")) out = dir.'/diagram'
boundaries = dir.'/boundaries.tsv'
invariants = dir.'/invariants.tsv'
info = dir.'/diagram.gp'

# Every line counts, the header too: a table with a header and no rows (nothing
# coexists in the range) is drawn, an empty or missing one is not.
do for [table in boundaries.' '.invariants.' '.info] {
    undefine STATS_records
    stats table using (1) nooutput
    if (!exists("STATS_records") || STATS_records == 0) {
        print sprintf("system_diagram.gp: nothing in '%s'", table)
        exit status 1
    }
}
load info
# Units other than kelvin and mole fractions, where the run used them.
if (!exists("T_unit")) T_unit = 'K'
if (!exists("x_words")) x_words = 'Mole fraction'

# Only the parts with something to draw: gnuplot dislikes a plot with no points.
n_rows = 0
n_three = 0
n_points = 0
set datafile separator '\t'
three_phase(kind) = kind ne 'congruent' && kind ne 'critical' && kind ne 'tricritical'
stats boundaries using (n_rows = n_rows + 1, 1) nooutput
stats invariants using (n_three = n_three + (three_phase(strcol(1)) && strcol(1) ne 'kind'), \
                        n_points = n_points + !three_phase(strcol(1)), 1) nooutput
# Each region's label from regions.tsv where the run wrote one, in place of
# the older labels of diagram.gp.
regions = dir.'/regions.tsv'
n_regions = 0
undefine STATS_records
stats regions using (n_regions = n_regions + 1, 1) nooutput
if (n_regions > 1) unset label
# The two-phase regions' outlines where the run wrote them, in place of the
# boundaries' dots: each a closed line through its congruent points and along
# its invariants.
outlines = dir.'/outlines.tsv'
n_outline = 0
undefine STATS_records
stats outlines using (n_outline = n_outline + 1, 1) nooutput
# Every label where the run placed it, with the leaders of those set beside
# fields too narrow for them, where the run wrote them.
labels = dir.'/labels.tsv'
n_labels = 0
undefine STATS_records
stats labels using (n_labels = n_labels + 1, 1) nooutput
n_led = 0
if (n_labels > 1) { stats labels skip 1 using (n_led = n_led + (strcol(4) ne ''), 1) nooutput }
# The lines inside single-phase fields where an ordered phase sets in
# continuously (Al-Fe's B2), where the run wrote them.
orderings = dir.'/orderings.tsv'
n_orderings = 0
undefine STATS_records
stats orderings using (n_orderings = n_orderings + 1, 1) nooutput


set encoding utf8
set datafile separator '\t'
if (!exists("x_first")) x_first = 0
if (!exists("x_last")) x_last = 1
set xrange [x_first:x_last]
set yrange [T_first:T_last]
set offsets 0, 0, graph 0.03, graph 0.03
x_step = (x_last - x_first) / 10.0
set xtics x_step
set mxtics 2
set xlabel sprintf('%s of %s', x_words, name_A)
set ylabel sprintf('Temperature (%s)', T_unit)
set title system_name noenhanced
set grid xtics ytics lc rgb '#e0e0e0' lw 1
set key below horizontal samplen 2 spacing 1.2 width 1
set border lw 1.2
# A label's box hides the leader drawn to its middle.
set style textbox opaque noborder margins 1, 1

liquid = 0xc0392b
solid = 0x1f5fa8
if (!exists("liquid_name")) liquid_name = 'L'
colour(phase) = phase eq liquid_name ? liquid : solid
three_phase(kind) = kind ne 'congruent' && kind ne 'critical' && kind ne 'tricritical'

# The labels first, each in a box that hides the leader drawn to its middle;
# the lines after, over them, so that no box hides a boundary.
diagram = "plot '+' every ::0::0 using (1):(T_m_A) with points pt 7 ps 1.1 lc rgb 'black' title 'melting points', \
               '+' every ::0::0 using (0):(T_m_B) with points pt 7 ps 1.1 lc rgb 'black' notitle"
if (n_led > 0) {
    diagram = diagram.", labels skip 1 using 2:3:($4 - $2):($5 - $3) with vectors nohead lw 0.8 \
        lc rgb '#606060' notitle"
}
if (n_labels > 1) {
    diagram = diagram.", labels skip 1 using 2:3:1 with labels boxed font ',9' noenhanced notitle"
}
if (n_labels <= 1 && n_regions > 1) {
    diagram = diagram.", regions skip 1 using 2:3:1 with labels font ',9' noenhanced notitle"
}
if (n_outline > 1) {
    diagram = diagram.", outlines skip 1 using 3:4:(colour(strcol(2))) with lines lw 1.3 \
        lc rgb variable title 'boundaries (red: liquid, blue: solid)'"
}
if (n_outline <= 1 && n_rows > 1) {
    diagram = diagram.", boundaries skip 1 using 3:1:(colour(strcol(2))) with points pt 7 ps 0.25 \
        lc rgb variable title 'boundaries (red: liquid, blue: solid)', \
        '' skip 1 using 5:1:(colour(strcol(4))) with points pt 7 ps 0.25 lc rgb variable notitle"
}
if (n_orderings > 1) {
    diagram = diagram.", orderings skip 1 using 3:4 with lines dt 2 lw 1.1 lc rgb solid \
        title 'ordering, continuous'"
}
if (n_three > 0) {
    diagram = diagram.", invariants skip 1 using (three_phase(strcol(1)) ? $4 : NaN):2:($8 - $4):(0) \
        with vectors nohead lw 1.5 lc rgb 'black' title 'three-phase invariants'"
}
if (n_three > 0 && n_labels <= 1) {
    diagram = diagram.", invariants skip 1 using (three_phase(strcol(1)) ? $6 : NaN):2:(sprintf('%s %g %s', strcol(1), $2, T_unit)) \
        with labels offset 0, 0.8 font ',9' noenhanced notitle"
}
if (n_points > 0) {
    diagram = diagram.", invariants skip 1 using (three_phase(strcol(1)) ? NaN : $4):2 with points pt 6 ps 1.4 \
        lw 2 lc rgb '#2e8b57' title 'congruent and critical points'"
}

set terminal svg size 800,680 dynamic enhanced font 'Helvetica,13' background rgb 'white'
set output out.'.svg'
eval diagram

set terminal pngcairo size 800,680 enhanced font 'Helvetica,12' background rgb 'white'
set output out.'.png'
eval diagram
set output
