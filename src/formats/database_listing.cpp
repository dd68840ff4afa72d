#include "formats/database_listing.h"

#include "formats/shortest.h"

namespace {

// What a phase's declaration says of it beyond its sublattices.
std::string traits_of(const DatabasePhase& p)
{
    std::string out = p.kind == 'Y' ? ", ionic liquid" : p.liquid ? ", liquid" : p.kind == 'G' ? ", gas" : "";
    if (p.magnetic)
        out += ", magnetic";
    if (!p.disordered_part.empty())
        out += (p.never_disorders ? ", never disorders, with part " : ", ordered, disordered part ") +
               p.disordered_part;
    if (!p.part_of.empty())
        out += ", disordered part of " + p.part_of;
    return out;
}

void write_phase(std::FILE* f, const ListedPhase& l, bool binary)
{
    const DatabasePhase& p = *l.phase;
    const std::size_t n = p.sites.size();
    std::fprintf(f, "  %s (line %d): %zu sublattice%s %s%s; %s%s\n", p.name.c_str(), p.line, n,
                 n > 1 ? "s" : "", sublattices_of(p).c_str(), traits_of(p).c_str(),
                 l.computed ? (binary ? "" : "computed: ") : "not computed: ", l.how.c_str());
}

void write_elements(std::FILE* f, const Database& db)
{
    std::fputs("elements:", f);
    for (std::size_t i = 0; i < db.elements.size(); ++i)
        std::fprintf(f, "%s %s (%s g/mol)", i > 0 ? "," : "", db.elements[i].name.c_str(),
                     shortest(db.elements[i].mass).c_str());
    std::fputs("\n", f);
}

void write_names(std::FILE* f, const char* what, const std::vector<std::string>& names, const char* between)
{
    if (names.empty())
        return;
    std::fputs(what, f);
    for (std::size_t i = 0; i < names.size(); ++i)
        std::fprintf(f, "%s%s", i > 0 ? between : " ", names[i].c_str());
    std::fputs("\n", f);
}

void write_faults(std::FILE* f, const std::vector<std::string>& texts)
{
    if (texts.empty())
        return;
    std::fputs("warnings:\n", f);
    for (const std::string& t : texts)
        std::fprintf(f, "  %s\n", t.c_str());
}

}  // namespace

std::string sublattices_of(const DatabasePhase& p)
{
    std::string out;
    for (std::size_t s = 0; s < p.sites.size(); ++s) {
        out += s > 0 ? " (" : "(";
        const std::vector<std::string> none;
        const std::vector<std::string>& c = s < p.constituents.size() ? p.constituents[s] : none;
        for (std::size_t k = 0; k < c.size(); ++k)
            out += (k > 0 ? "," : "") + c[k];
        out += ")" + shortest(p.sites[s]);
    }
    return out;
}

void write_database_listing(std::FILE* f, const std::string& path, const Database& db,
                            const std::vector<ListedPhase>& phases)
{
    std::fprintf(f, "%s: %zu elements, %zu phases, %zu parameters, %zu functions\n", path.c_str(),
                 db.elements.size(), db.phases.size(), db.parameters.size(), db.functions.names.size());
    write_elements(f, db);
    std::fputs("phases:\n", f);
    for (const ListedPhase& l : phases)
        write_phase(f, l, false);
    write_names(f, "rejected by the file:", db.rejected, " ");
    write_names(f, "read and ignored:", db.ignored, "; ");
    std::vector<std::string> faults;
    for (const DatabaseFault& fault : db.faults)
        faults.push_back(fault.text);
    write_faults(f, faults);
}

void write_binary_listing(std::FILE* f, const std::string& path, const Database& db,
                          const DatabaseBinary& binary, const std::vector<ListedPhase>& kept)
{
    const System& s = binary.system;
    std::fprintf(f, "%s: the binary %s, A = %s (x is its mole fraction), B = %s\n", path.c_str(),
                 s.name.c_str(), s.a.name.c_str(), s.b.name.c_str());
    write_elements(f, db);
    std::fputs("phases kept:\n", f);
    for (const ListedPhase& l : kept)
        write_phase(f, l, true);
    if (!binary.left_out.empty())
        std::fputs("phases left out:\n", f);
    for (const LeftOut& l : binary.left_out)
        std::fprintf(f, "  %s (line %d): %s\n", l.phase.c_str(), l.line, l.why.c_str());
    write_names(f, "rejected by the file:", binary.rejected, " ");
    write_names(f, "disordered parts of other phases:", binary.parts, " ");
    write_names(f, "read and ignored:", db.ignored, "; ");
    std::vector<std::string> warnings;
    for (const DatabaseWarning& w : binary.warnings)
        warnings.push_back(w.text);
    write_faults(f, warnings);
}
