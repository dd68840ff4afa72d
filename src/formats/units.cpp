#include "formats/units.h"

#include "formats/shortest.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The double of the shortest decimal within tolerance of v.
double shortest_within(double v, double tolerance)
{
    char buf[64];
    for (int digits = 1; digits <= 17; ++digits) {
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
        double back = 0.0;
        std::from_chars(buf, r.ptr, back);
        if (std::fabs(back - v) <= tolerance)
            return back;
    }
    return v;
}

double mass_fraction(const Units& u, double x)
{
    const double a = x * u.mass_a;
    return a / (a + (1.0 - x) * u.mass_b);
}

}  // namespace

double temperature_value(const Units& u, double kelvin)
{
    if (!u.celsius || !std::isfinite(kelvin))
        return kelvin;
    // The subtraction rounds once, by half a unit of its larger operand at most;
    // a decimal within that is as exact as the difference itself.
    const double tolerance =
        std::numeric_limits<double>::epsilon() * std::max(std::fabs(kelvin), ZERO_CELSIUS);
    return shortest_within(kelvin - ZERO_CELSIUS, tolerance);
}

std::string temperature_text(const Units& u, double kelvin)
{
    return shortest(temperature_value(u, kelvin));
}

const char* temperature_unit(const Units& u)
{
    return u.celsius ? "\u00b0C" : "K";
}

double fraction_value(const Units& u, double x)
{
    if (!u.mass || !std::isfinite(x))
        return x;
    // The conversion rounds a few times, each by half a unit of w at most; a
    // decimal within that is as exact as w itself (a mass fraction given as
    // 0.3 reads back as 0.3).
    const double w = mass_fraction(u, x);
    return shortest_within(w, 4.0 * std::numeric_limits<double>::epsilon() * std::fabs(w));
}

std::string fraction_text(const Units& u, double x)
{
    return shortest(fraction_value(u, x));
}

const char* fraction_words(const Units& u)
{
    return u.mass ? "mass fraction" : "mole fraction";
}

double kelvin_from(const Units& u, double t)
{
    return u.celsius ? t + ZERO_CELSIUS : t;
}

double mole_fraction_from(const Units& u, double w)
{
    if (!u.mass)
        return w;
    const double a = w / u.mass_a;
    return a / (a + (1.0 - w) / u.mass_b);
}
