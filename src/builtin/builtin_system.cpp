#include "builtin/builtin_system.h"

#include "builtin/equilibrium.h"
#include "builtin/sweep.h"

System builtin_system()
{
    System s;
    s.name = "Si - second component";
    s.a = {"Si", DH_SI, DS_SI};
    s.b = {"second component", DH_2, DS_2};
    s.phases = liquid_and_solid(s.a, s.b, {}, {});  // ideal, both of them
    s.range = {T_FIRST, T_LAST, 1.0, T_LAST - T_FIRST + 1};
    return s;
}
