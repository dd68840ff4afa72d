# The Si - second component phase diagram from the result table.
#   gnuplot plot/phase_diagram.gp      (in the directory that holds result02.txt)
#   gnuplot -e "table='runs/42/result02.txt'; out='runs/42/diagram'" plot/phase_diagram.gp
# writes phase_diagram.svg and phase_diagram.png (or OUT.svg and OUT.png). A
# missing or empty table is an error, and no figure is written or replaced.

if (!exists("table")) table = 'result02.txt'
if (!exists("out")) out = 'phase_diagram'
stats table using 1 nooutput
if (!exists("STATS_records") || STATS_records == 0) {
    print sprintf("phase_diagram.gp: no table rows in '%s'", table)
    exit status 1
}
T_M_SI = 1687.0    # melting point of Si, K
T_M_2 = 1211.4     # melting point of the second component, K
TIE_STEP = 50      # a tie-line every 50 K

set encoding utf8
set xrange [0:1]
set yrange [1150:1750]
set xtics 0.1
set mxtics 2
set ytics 50
set mytics 5
set xlabel 'Mole fraction of Si, x_{Si}'
set ylabel 'Temperature (K)'
set title 'Si - second component: ideal liquid and solid solutions'
set grid xtics ytics lc rgb '#e0e0e0' lw 1
set key top left box opaque samplen 2 spacing 1.2 width 1
set border lw 1.2
set datafile separator '\t'

# Regions and melting points.
set label 'L' at 0.55, 1660 center font ',18'
set label 'L + S' at 0.52, 1440 center font ',15'
set label 'S' at 0.8, 1250 center font ',18'
set label sprintf('%.1f K (second component)', T_M_2) at 0.02, T_M_2 - 20 left font ',10'
set label sprintf('%.0f K (Si)', T_M_SI) at 0.98, T_M_SI + 20 right font ',10'

tie(T, x) = (int(T) % TIE_STEP == 0) ? x : NaN

liquidus = '#c0392b'
solidus = '#1f5fa8'
# The table starts at 1215 K; the first segment of each curve joins it to the
# melting point of the second component at x = 0.
diagram = "plot table using (tie($1, $2)):1:($3 - $2):(0) with vectors nohead lc rgb '#707070' lw 1 \
             title sprintf('tie-lines, every %d K', TIE_STEP), \
         '' every ::0::0 using (0):(T_M_2):2:($1 - T_M_2) with vectors nohead lw 2.5 lc rgb liquidus notitle, \
         '' every ::0::0 using (0):(T_M_2):3:($1 - T_M_2) with vectors nohead lw 2.5 lc rgb solidus notitle, \
         '' using 2:1 with lines lw 2.5 lc rgb liquidus title 'liquidus, Si(L)', \
         '' using 3:1 with lines lw 2.5 lc rgb solidus title 'solidus, Si(S)', \
         '+' every ::0::0 using (0):(T_M_2) with points pt 7 ps 1.1 lc rgb 'black' title 'melting points', \
         '+' every ::0::0 using (1):(T_M_SI) with points pt 7 ps 1.1 lc rgb 'black' notitle"

set terminal svg size 800,600 dynamic enhanced font 'Helvetica,13' background rgb 'white'
set output out.'.svg'
eval diagram

set terminal pngcairo size 800,600 enhanced font 'Helvetica,12' background rgb 'white'
set output out.'.png'
eval diagram
set output
