// A database phase as the engine's general phase of sublattices (lattice.h):
// any sublattices of the two elements, vacancies and molecules of the two, its
// parameters as terms of linear forms of the site fractions, the permutations
// an ordered fcc or bcc phase (:F, :B) implies, and the disordered part it
// disorders into (or, never disordering, adds whole).
#pragma once

#include "engine/database/database.h"
#include "engine/phases/model.h"

#include <iterator>
#include <map>
#include <string>

// What the coefficients take from the database: each parameter's value once in
// the system's list, by where the database holds it.
struct CoefficientBuilder {
    System& s;
    std::map<const Piecewise*, int> index;

    void add(Coefficient& c, const Piecewise* value, double scale)
    {
        const auto [at, fresh] = index.emplace(value, static_cast<int>(s.parameters.size()));
        if (fresh)
            s.parameters.push_back(*value);
        c.parameters.emplace_back(at->second, scale);
    }

    // The parameters taken since size was kept, given back: a model that
    // could not be built leaves nothing in the system.
    void give_back(std::size_t size)
    {
        s.parameters.resize(size);
        for (auto it = index.begin(); it != index.end();)
            it = static_cast<std::size_t>(it->second) >= size ? index.erase(it) : std::next(it);
    }
};

// A constituent's atoms of a and of b: an element, VA (none), or a species
// whose formula holds only the two. False where it holds another element (it
// is not part of the binary); charged set where it carries a charge.
bool constituent_atoms(const Database& db, const std::string& name, const std::string& a,
                       const std::string& b, double& atoms_a, double& atoms_b, bool& charged);

// Whether each sublattice of the phase holds one of a, b, vacancies or a
// molecule of the two: else the phase is not part of their binary.
bool in_binary(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b);

// Whether a phase holds a molecule of the two elements (AL2, B4, C2B) or a
// charged species of them: what only the general phase models.
bool holds_molecules(const Database& db, const DatabasePhase& phase, const std::string& a,
                     const std::string& b);

// The phase as the general phase of sublattices of a and b. False with why
// where the phase is beyond it (a parameter form it does not take, a charged
// species); why is "empty" where a sublattice holds neither element nor
// vacancies (the phase is not part of this binary).
bool lattice_phase(const Database& db, const DatabasePhase& phase, const std::string& a, const std::string& b,
                   CoefficientBuilder& coefficients, PhaseModel& out, std::string& why);
