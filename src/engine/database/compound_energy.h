// The compound energy formalism for a binary of two elements of a database: a
// phase's sublattices with the constituents among the two and vacancies, and
// its Gibbs energy per formula unit at given site fractions:
//
//   G = sum over terms of (product of the site fractions a term names) x value(T)
//       x (y_i - y_j)^k where it names two constituents i, j of one sublattice
//     + RT sum_s a_s sum_i y_si ln y_si + G_mag(TC, BMAGN)
//
// End members are the terms that name one constituent on every sublattice; "*"
// stands for any constituent of its sublattice (its fractions sum to 1).
#pragma once

#include "engine/database/database.h"

#include <string>
#include <vector>

constexpr int VACANCY = 2;  // constituents are 0 (the first element), 1 (the second) or VACANCY
constexpr int ANY = -1;     // "*"

struct BinaryPhase {
    std::string name;
    bool liquid = false;
    std::vector<double> sites;
    std::vector<std::vector<int>> constituents;  // per sublattice
    struct Term {
        Property property;
        std::vector<std::vector<int>> on;  // per sublattice: constituents named, or {ANY}
        int order;
        const Piecewise* value;  // the database's: a binary phase lives no longer than its database
    };
    std::vector<Term> terms;
    bool magnetic = false;
    double antiferromagnetic_factor = 0.0;
    double structure_factor = 0.0;
    // Parameters of the binary's constituents of properties that add to G but
    // are not modelled ("THETA (line 12)"): left out of its G, and said so.
    std::vector<std::string> unmodelled;
};

// The phase as the binary of elements a and b sees it: the constituents of
// other elements dropped, and the parameters that name them. False where a
// sublattice is left empty (the phase is not part of this binary, why empty),
// or where the phase needs what the model leaves out (why says what).
bool binary_phase(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b,
                  BinaryPhase& out, std::string& why);

// G per formula unit at T, with y[s][k] the fraction of constituents[s][k].
// Every function taken outside its limits sets extrapolated.
double gibbs_per_formula_unit(const BinaryPhase& p, const FunctionTable& functions, double T,
                              const std::vector<std::vector<double>>& y, double R, bool& extrapolated);
