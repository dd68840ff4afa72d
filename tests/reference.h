// Test helpers: the closed-form equilibrium, a scripted random source and the
// example system files.
#pragma once

#include "builtin/equilibrium.h"
#include "builtin/sweep.h"
#include "formats/system_file.h"

#include <gtest/gtest.h>

#include <string>

#include <cmath>
#include <initializer_list>
#include <random>
#include <vector>

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

// examples/NAME.toml, read; a file that does not read fails the test.
inline System example_system(const std::string& name)
{
    System s;
    std::string error;
    EXPECT_TRUE(read_system_file(std::string(PHASE_BOUNDARY_EXAMPLES) + "/" + name + ".toml", s, error))
        << error;
    return s;
}
