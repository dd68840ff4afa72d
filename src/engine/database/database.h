// A thermodynamic database as CALPHAD assessments publish it: elements, phases
// with their sublattices and constituents, and the parameters of each phase's
// Gibbs energy, each a function of T; with what the file asks of its reader
// beyond them (phases it rejects, parts it links) and what it holds that has no
// bearing on G. What the engine models from it is the binary of two elements.
#pragma once

#include "engine/functions/temperature_function.h"

#include <string>
#include <vector>

struct DatabaseElement {
    std::string name;   // upper case
    double mass = 0.0;  // g/mol, as its ELEMENT line gives it
};

// A species other than an element: its name and the formula the file gives it.
struct DatabaseSpecies {
    std::string name;     // upper case
    std::string formula;  // as written, upper case
};

struct DatabasePhase {
    std::string name;
    // The letter after ':' in its declaration, upper case, or 0: L liquid, G gas,
    // Y ionic liquid, A aqueous, I charged species, B and F ordered bcc and fcc.
    char kind = 0;
    bool liquid = false;                                 // kind L, or a name LIQUID or LIQUID...
    std::string types;                                   // the type codes its declaration lists
    std::vector<double> sites;                           // per sublattice
    std::vector<std::vector<std::string>> constituents;  // per sublattice, upper case
    // The magnetic model (Inden-Hillert-Jarl), where a type definition gives it
    // the phase: the antiferromagnetic factor (-1 for BCC, -3 for FCC and HCP)
    // and the structure factor p (0.40 for BCC, 0.28 for the others).
    bool magnetic = false;
    double antiferromagnetic_factor = 0.0;
    double structure_factor = 0.0;
    // The phase holding its disordered part's parameters: an ordered phase that
    // disorders into it, or (never_disorders) one that adds it whole, as sigma.
    std::string disordered_part;
    bool never_disorders = false;
    std::string part_of;  // the phase that never disorders whose part this one is
    // Type definitions applied to it that change G in ways not modelled here.
    std::vector<std::string> unmodelled;
    int line = 0;  // where the file declares it
};

// G and L are one property; so are BMAGN, BMAG and BM. Properties that add to
// G in the programs that define them but are not modelled here (the Einstein
// THETA, the two-state liquid's G2) are kept as unmodelled, named in
// property_name; those without bearing on G (mobilities, volumes) are only counted.
enum class Property { gibbs, curie_temperature, bohr_magneton_number, unmodelled };

// One parameter: G (an end member, or an interaction where a sublattice names
// two constituents), TC or BMAGN, of the constituents named on each
// sublattice ("*" for any), of order k in the Redlich-Kister series.
struct DatabaseParameter {
    Property property = Property::gibbs;
    std::string property_name;  // as the file writes it, upper case
    std::string phase;
    std::vector<std::vector<std::string>> constituents;
    int order = 0;
    Piecewise value;  // empty for an unmodelled property
    int line = 0;
};

// A fault of the file that readers of the field pass over: read, the item
// ignored, and a warning that names the file and line. It weighs on a result
// where it touches a phase the result keeps: that phase (phase) or a function
// (function, its index) that such a phase's parameters call.
struct DatabaseFault {
    std::string text;  // "FILE:LINE: what", complete
    int line = 0;
    std::string phase;
    int function = -1;
};

struct Database {
    std::vector<DatabaseElement> elements;  // without VA and /-
    std::vector<DatabaseSpecies> species;
    FunctionTable functions;
    std::vector<DatabasePhase> phases;
    std::vector<DatabaseParameter> parameters;
    std::vector<DatabaseFault> faults;
    std::vector<std::string> rejected;  // phases the file's own default commands reject
    std::vector<std::string> ignored;   // what was read without bearing on G, one line each
};

// The element of that name, or null.
const DatabaseElement* find_element(const Database& db, const std::string& name);

// The phase of that name, or null.
const DatabasePhase* find_phase(const Database& db, const std::string& name);
