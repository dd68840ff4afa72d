// Points of a grid first + i step as the decimals the user typed: first and step
// are taken at the decimals they print as (their shortest round-trip forms),
// counted in whole units of the finer last digit, and a point is one division
// (or one multiplication) of exact integers. So a step of 0.1 from 1000.3 gives
// 1000.6, not 1000.5999999999999 as 1000.3 + 3 * 0.1 does.
#pragma once

// first + i step, the double nearest that decimal; where the integers would not
// be exact (more than 15 significant digits across the grid), first + i step.
double decimal_grid_point(double first, double step, long long i);
