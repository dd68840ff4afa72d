// Test helpers: the closed-form equilibrium, a scripted random source and the
// example system files.
#pragma once

#include "builtin/equilibrium.h"
#include "builtin/sweep.h"
#include "engine/diagram/diagram.h"
#include "formats/system_file.h"

#include <gtest/gtest.h>

#include <string>

#include <cmath>
#include <initializer_list>
#include <random>
#include <vector>

// The lower convex hull of points (xs rising, gs), by Andrew's monotone chain:
// the indices on it. The brute-force scans' own, sharing nothing with the
// engine's hull of samples.
inline std::vector<std::size_t> scanned_hull(const std::vector<double>& xs, const std::vector<double>& gs)
{
    std::vector<std::size_t> hull;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        while (hull.size() >= 2) {
            const std::size_t a = hull[hull.size() - 2];
            const std::size_t b = hull.back();
            if ((xs[b] - xs[a]) * (gs[i] - gs[a]) - (gs[b] - gs[a]) * (xs[i] - xs[a]) > 0.0)
                break;
            hull.pop_back();
        }
        hull.push_back(i);
    }
    return hull;
}

// The phase of s called name; a failure where it has none.
inline Phase phase_named(const System& s, const std::string& name)
{
    for (std::size_t k = 0; k < s.phases.size(); ++k)
        if (s.phases[k].name == name)
            return phase_number(k);
    ADD_FAILURE() << "no phase " << name;
    return Phase::liquid;
}

// The equilibrium in closed form: both logarithms of the conditions fixed, then
// xs = (b - 1) / (b - a) and xl = a xs. Independent of the Newton search.
struct Exact {
    double xl;
    double xs;
};

inline Exact exact_equilibrium(int T)
{
    const double RT = T * R_GAS;
    const double a = std::exp(-(DH_SI - DS_SI * T) / RT);
    const double b = std::exp(-(DH_2 - DS_2 * T) / RT);
    const double xs = (b - 1.0) / (b - a);
    return {a * xs, xs};
}

// Plays the given draws in order, then continues from a fixed seed, and counts
// every draw it hands out.
struct ScriptedDraws {
    std::vector<int> script;
    std::size_t used = 0;
    std::mt19937 rest{12345};

    ScriptedDraws(std::initializer_list<int> draws) : script(draws) {}

    int operator()()
    {
        const std::size_t i = used++;
        if (i < script.size())
            return script[i];
        return draw_15_bits(rest);
    }
};

// The two ends of an ideal lens (both solutions ideal) in closed form, in long
// double from the very doubles the system holds: xs = (1 - b) / (a - b), xl = a xs
// with a = exp(-dG_A / RT), b = exp(-dG_B / RT) and dG as the model forms it.
struct Lens {
    long double xl;
    long double xs;
};

inline Lens ideal_lens(const System& s, double T)
{
    const long double RT = static_cast<long double>(R) * T;
    const auto boltzmann = [&](const Component& c) {
        const long double H = c.enthalpy_of_fusion;
        const long double Tm = c.melting_point_given;
        const long double dg =
            Tm > 0.0L ? H * (Tm - T) / Tm : H - static_cast<long double>(c.entropy_of_fusion) * T;
        return std::exp(-dg / RT);
    };
    const long double a = boltzmann(s.a);
    const long double b = boltzmann(s.b);
    const long double xs = (1.0L - b) / (a - b);
    return {a * xs, xs};
}

// A system from the text of a system file; text that does not read fails the test.
inline System system_of(const std::string& toml)
{
    System s;
    InputError error;
    EXPECT_TRUE(parse_system(toml, "test.toml", s, error)) << error.text();
    return s;
}

// examples/NAME.toml, read; a file that does not read fails the test.
inline System example_system(const std::string& name)
{
    System s;
    InputError error;
    EXPECT_TRUE(read_system_file(std::string(PHASE_BOUNDARY_EXAMPLES) + "/" + name + ".toml", s, error))
        << error.text();
    return s;
}

// Where two diagrams first differ, to the bit ("" where they do not): every
// row's tie-lines, the invariants, the melting points and the doubts.
inline std::string first_difference(const Diagram& a, const Diagram& b)
{
    if (a.rows.size() != b.rows.size())
        return "rows " + std::to_string(a.rows.size()) + " and " + std::to_string(b.rows.size());
    for (std::size_t i = 0; i < a.rows.size(); ++i) {
        const Equilibria& p = a.rows[i];
        const Equilibria& q = b.rows[i];
        bool same = p.T == q.T && p.first_phase == q.first_phase && p.ties.size() == q.ties.size();
        for (std::size_t k = 0; same && k < p.ties.size(); ++k)
            same = p.ties[k].low_phase == q.ties[k].low_phase &&
                   p.ties[k].high_phase == q.ties[k].high_phase && p.ties[k].low.x == q.ties[k].low.x &&
                   p.ties[k].high.x == q.ties[k].high.x;
        if (!same)
            return "the row at " + std::to_string(p.T) + " K";
    }
    if (a.invariants.size() != b.invariants.size())
        return "invariants " + std::to_string(a.invariants.size()) + " and " +
               std::to_string(b.invariants.size());
    for (std::size_t i = 0; i < a.invariants.size(); ++i)
        if (a.invariants[i].kind != b.invariants[i].kind || a.invariants[i].T != b.invariants[i].T ||
            a.invariants[i].at[0].x != b.invariants[i].at[0].x)
            return "the invariant at " + std::to_string(a.invariants[i].T) + " K";
    if (a.melting.size() != b.melting.size())
        return "melting points";
    for (std::size_t i = 0; i < a.melting.size(); ++i)
        if (a.melting[i].T != b.melting[i].T)
            return "the melting point at " + std::to_string(a.melting[i].T) + " K";
    if (a.doubts.size() != b.doubts.size())
        return "doubts " + std::to_string(a.doubts.size()) + " and " + std::to_string(b.doubts.size());
    return "";
}
