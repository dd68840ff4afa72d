#include "request/request.h"

#include "formats/shortest.h"

#include <algorithm>
#include <cctype>
#include <cmath>

bool is_database_file(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == ".tdb";
}

bool parse_names(const std::string& text, std::vector<std::string>& names)
{
    names.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (name.empty() || name.find_first_of(" \t") != std::string::npos ||
            std::find(names.begin(), names.end(), name) != names.end())
            return false;
        names.push_back(name);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

std::string temperature_needs(double T)
{
    return T > 0.0 && T <= HIGHEST_TEMPERATURE ? "" : "a temperature above 0 K and at most 100000 K";
}

std::string range_needs(double first, double last, double step, TemperatureRange& r)
{
    if (!(first > 0.0 && last <= HIGHEST_TEMPERATURE))
        return "temperatures above 0 K and at most 100000 K";
    if (first > last)
        return "FIRST no higher than LAST";
    if (!(step > 0.0))
        return "a positive STEP";
    if (!temperature_range(first, last, step, r))
        return "at most 1000000 temperatures";
    return "";
}

std::string x0_needs(double x0)
{
    return x0 >= MOST_DILUTE && x0 <= 1.0 - MOST_DILUTE ? "" : "a mole fraction from 1e-12 to 1 - 1e-12";
}

std::string pressure_needs(double P)
{
    return P > 0.0 && P <= HIGHEST_PRESSURE ? "" : "a pressure above 0 Pa and at most 1e10 Pa";
}

std::string threads_needs(double n)
{
    return n >= 1.0 && n <= MOST_THREADS && n == std::floor(n) ? "" : "a whole number from 1 to 256";
}

std::string liquid_needs(const System& s)
{
    const long liquids =
        std::count_if(s.phases.begin(), s.phases.end(), [](const PhaseModel& p) { return p.liquid; });
    if (liquids == 1 && s.phases.front().liquid)
        return "";
    return "needs exactly one liquid phase; this binary has " + std::to_string(liquids);
}

std::string step_needs(const System& s, double step)
{
    if (step >= smallest_step_of(s))
        return "";
    return shortest(step) + " K is below " + shortest(smallest_step_of(s)) +
           " K, a billionth of the higher melting point: rows so close cannot be told apart";
}

std::string rows_needs(const Solidification& r, double step)
{
    if (r.rows_needed <= MAX_SOLIDIFICATION_ROWS)
        return "";
    return shortest(step) + " K needs " + std::to_string(r.rows_needed) +
           " rows from the liquidus to the end of the Scheil path, more than " +
           std::to_string(MAX_SOLIDIFICATION_ROWS) + ": the smallest step that fits is " +
           shortest(r.smallest_step) + " K";
}

std::string units_needs(const Units& u, const System& s)
{
    if (!u.mass || (s.a.molar_mass > 0.0 && s.b.molar_mass > 0.0))
        return "";
    return "mass fractions need the molar masses of " + s.a.name + " and " + s.b.name;
}
