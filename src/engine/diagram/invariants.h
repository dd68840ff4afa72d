// Invariant points of the diagram, each solved on its own equations by Newton
// from a guess taken between two temperatures that bracket it.
#pragma once

#include "engine/diagram/tieline.h"
#include "engine/phases/model.h"

enum class InvariantKind {
    congruent,
    critical,
    tricritical,
    eutectic,
    monotectic,
    metatectic,
    peritectic,
    syntectic,
    eutectoid,
    peritectoid,
    eutectic_type,
    peritectic_type,
};

const char* invariant_name(InvariantKind k);

// In RT: the residual an equilibrium may keep at a limit between a database
// function's pieces, where the function jumps (1e-5 RT seen): it is taken at
// the limit itself. A larger jump is one a warning names.
constexpr double AT_A_JUMP = 1e-4;

struct Invariant {
    InvariantKind kind;
    double T;
    int phases;  // 1 (critical), 2 (congruent, tricritical) or 3, ordered by x
    Phase phase[3];
    Composition at[3];
    // Of a three-phase invariant: whether its middle phase is the one stable just
    // above it (eutectic-type, the pairs (0, 1) and (1, 2) above and (0, 2) below)
    // rather than just below (peritectic-type, the other way round).
    bool middle_above;
};

// Three phases of one temperature: equal potentials of A and B across p[0], p[1]
// and p[2] at at[0] < at[1] < at[2]; T is kept within [T_min, T_max]. The guesses
// are replaced by the solution; false if Newton did not converge.
bool solve_three_phase(const System& s, const Phase p[3], Composition at[3], double& T, double T_min,
                       double T_max);

// A two-phase equilibrium with one end held: phase p at fixed, phase q at other,
// T unknown (the liquidus or solidus temperature of a composition). The guesses
// for other and T are replaced by the solution; false if Newton did not converge.
bool solve_fixed_end(const System& s, Phase p, const Composition& fixed, Phase q, Composition& other,
                     double& T);

// A congruent point: G_p = G_q with equal slopes, at a maximum or minimum of T.
bool solve_congruent(const System& s, Phase p, Phase q, double& x, double& T);

// The critical point of a miscibility gap in phase p: G'' = G''' = 0.
bool solve_critical(const System& s, Phase p, double& x, double& T);

// The top (or bottom) of a two-phase region between an ordered phase and its
// disordered part where the ordering goes on continuously beyond it: a
// tricritical point (Al-Fe's A2 + B2 near 942 K). Its sides there are
// straight in T to first order: each is taken as the parabola through the
// tie-lines sides[k] at T - k h direction (k = 0, 1, 2; direction +1 where the
// region closes upwards, -1 downwards), and they meet at (x, T_top). False
// where they do not meet within 20 K beyond T.
bool tricritical_from_sides(const TieLine sides[3], double T, double h, double direction, double& x,
                            double& T_top);

// The name of a three-phase invariant with phases a, b, c in order of x, by
// which of them are liquid and whether the middle one b is stable just above
// the invariant.
InvariantKind three_phase_kind(bool a_liquid, bool b_liquid, bool c_liquid, bool middle_above);
