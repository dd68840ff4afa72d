// The Scheil-Gulliver integral: no diffusion in the solid, complete mixing in
// the liquid, equilibrium at the interface, so that the liquid follows the
// liquidus and
//   dx_L / df_S = (x_L - x_S) / (1 - f_S),
// integrated as ln(1 - f_S) = -integral dx_L / (x_L - x_S(x_L)) in v, the
// logarithm of the liquid's smaller fraction (of A below x = 1/2, of B above),
// where the integrand s / (s_S - s) of that fraction s stays near the constant
// 1 / (k - 1) of a dilute liquid, and finite even as the liquid runs out of one
// component; by adaptive Simpson quadrature, each x_S(x_L) solved on the
// liquidus equations.
#pragma once

#include "engine/phases/model.h"

#include <functional>
#include <vector>

// A point of the path: the liquid, the solid forming from it, their temperature
// and ln(1 - f_S), the fraction of liquid left.
struct PathPoint {
    double T;
    Composition liquid;
    Composition solid;
    double ln_remaining;
    Phase solid_phase = Phase::solid;  // the solid forming there
};

// The integral along one stretch of liquidus; every point it solves is recorded
// in trace, in order, for the segregation profile.
struct ScheilIntegral {
    // The solid of phase solid_phase forming from a liquid on the liquidus, and
    // the temperature there, from guesses; false if there is none.
    std::function<bool(Phase solid_phase, const Composition& liquid, Composition& solid, double& T)> partner;
    bool towards_b;  // the liquid loses A
    std::vector<PathPoint>& trace;
    bool failed = false;
    long evaluations = 0;
    bool in_a = true;  // the stretch under way integrates in ln x (else ln y)

    // The liquid's fraction of the component it runs out of.
    double losing(const Composition& c) const { return towards_b ? c.x : c.y; }
    // The liquid whose fraction of the component it runs out of is e^v.
    Composition losing_at(double v) const;

    // Follows the path from `from` to the liquid composition `to` in `pieces`
    // pieces (at least a few, so that the profile has points all along it).
    PathPoint advance(const PathPoint& from, const Composition& to, int pieces);

  private:
    double small(const Composition& c) const { return in_a ? c.x : c.y; }
    Composition at_small(double v) const;
    PathPoint advance_within_half(const PathPoint& from, const Composition& to, int pieces);
    // A point of the stretch, solved, and the integrand there.
    struct Solved {
        double f;
        PathPoint point;
    };
    double integrand(double v, PathPoint& guess);
    double simpson(double a, double b, const Solved& at_a, const Solved& at_m, const Solved& at_b,
                   double whole, double eps, int depth, double base);
};

// The integral on its own: ln(1 - f_S) as the liquid goes from x_from to x_to,
// the solid forming from a liquid x_L being solid(x_L) (mole fractions of A).
double scheil_log_remaining(double x_from, double x_to, const std::function<double(double)>& solid);
