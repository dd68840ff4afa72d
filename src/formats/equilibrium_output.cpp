#include "formats/equilibrium_output.h"

#include "formats/shortest.h"
#include "formats/tables.h"

#include <cmath>
#include <string>

namespace {

// A number as JSON has it: NaN and the infinities, which it lacks, as null.
std::string json_number(double v)
{
    return std::isfinite(v) ? shortest(v) : "null";
}

// A name as a JSON string: a system file's component may be named anything.
std::string json_string(const std::string& text)
{
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string json_site_fractions(const std::vector<std::vector<double>>& y)
{
    std::string out = "[";
    for (std::size_t s = 0; s < y.size(); ++s) {
        out += s > 0 ? ", [" : "[";
        for (std::size_t k = 0; k < y[s].size(); ++k)
            out += (k > 0 ? ", " : "") + json_number(y[s][k]);
        out += "]";
    }
    return out + "]";
}

// {"A": a, "B": b}
std::string json_pair(const System& s, double a, double b)
{
    return "{" + json_string(s.a.name) + ": " + json_number(a) + ", " + json_string(s.b.name) + ": " +
           json_number(b) + "}";
}

void write_point_json(std::FILE* f, const System& s, const PointEquilibrium& e, const Units& u,
                      const char* indent)
{
    std::fprintf(f, "%s{\"T\": %s, \"x0\": %s, \"P\": %s, \"components\": [%s, %s],\n", indent,
                 temperature_text(u, e.T).c_str(), fraction_text(u, e.x0).c_str(),
                 json_number(s.functions.pressure).c_str(), json_string(s.a.name).c_str(),
                 json_string(s.b.name).c_str());
    std::fprintf(f, "%s \"phases\": [", indent);
    for (std::size_t i = 0; i < e.phases.size(); ++i) {
        const PhaseShare& p = e.phases[i];
        std::fprintf(f, "%s{\"name\": %s, \"amount\": %s, \"x\": %s, \"site_fractions\": %s}",
                     i > 0 ? ",\n            " : "", json_string(phase_name(s, p.phase)).c_str(),
                     json_number(p.amount).c_str(), fraction_text(u, p.c.x).c_str(),
                     json_site_fractions(p.site_fractions).c_str());
    }
    std::fprintf(f, "],\n%s \"mu\": %s, \"activity\": %s,\n", indent, json_pair(s, e.mu_a, e.mu_b).c_str(),
                 json_pair(s, e.activity_a, e.activity_b).c_str());
    std::fprintf(f, "%s \"G\": %s, \"H\": %s, \"S\": %s, \"Cp\": %s}", indent, json_number(e.G).c_str(),
                 json_number(e.H).c_str(), json_number(e.S).c_str(), json_number(e.Cp).c_str());
}

}  // namespace

void write_equilibrium_json(std::FILE* f, const System& s, const std::vector<PointEquilibrium>& points,
                            const Units& u)
{
    if (points.size() == 1) {
        write_point_json(f, s, points[0], u, "");
        std::fputs("\n", f);
        return;
    }
    std::fputs("[\n", f);
    for (std::size_t i = 0; i < points.size(); ++i) {
        write_point_json(f, s, points[i], u, " ");
        std::fputs(i + 1 < points.size() ? ",\n" : "\n", f);
    }
    std::fputs("]\n", f);
}

void write_equilibrium_block(std::FILE* f, const System& s, const PointEquilibrium& e, const Units& u)
{
    const char* a = s.a.name.c_str();
    const char* b = s.b.name.c_str();
    const char* x = u.mass ? "w" : "x";
    std::fprintf(f, "equilibrium at T = %s %s, %s(%s) = %s, P = %s Pa\n", temperature_text(u, e.T).c_str(),
                 temperature_unit(u), x, a, fraction_text(u, e.x0).c_str(),
                 shortest(s.functions.pressure).c_str());
    for (const PhaseShare& p : e.phases)
        std::fprintf(f, "  %s: amount %s, %s(%s) = %s, site fractions %s\n", phase_name(s, p.phase).c_str(),
                     shortest(p.amount).c_str(), x, a, fraction_text(u, p.c.x).c_str(),
                     site_fractions_text(p.site_fractions).c_str());
    std::fprintf(f, "  mu(%s) = %s J/mol, activity %s\n", a, shortest(e.mu_a).c_str(),
                 shortest(e.activity_a).c_str());
    std::fprintf(f, "  mu(%s) = %s J/mol, activity %s\n", b, shortest(e.mu_b).c_str(),
                 shortest(e.activity_b).c_str());
    std::fprintf(f, "  G = %s J/mol, H = %s J/mol, S = %s J/(mol K), Cp = %s J/(mol K)\n",
                 shortest(e.G).c_str(), shortest(e.H).c_str(), shortest(e.S).c_str(), shortest(e.Cp).c_str());
}
