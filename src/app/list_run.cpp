#include "app/list_run.h"

#include "app/exit_status.h"
#include "formats/tdb_file.h"

#include <algorithm>
#include <cstdio>

namespace {

// The database's elements that a phase's constituents name.
std::vector<std::string> elements_of(const Database& db, const DatabasePhase& p)
{
    std::vector<std::string> out;
    for (const DatabaseElement& e : db.elements)
        for (const std::vector<std::string>& list : p.constituents)
            if (std::find(list.begin(), list.end(), e.name) != list.end() &&
                std::find(out.begin(), out.end(), e.name) == out.end())
                out.push_back(e.name);
    return out;
}

ListedPhase verdict(const Database& db, const DatabasePhase& p)
{
    std::vector<std::string> held = elements_of(db, p);
    if (held.size() == 1)
        for (const DatabaseElement& e : db.elements)
            if (e.name != held[0]) {
                held.push_back(e.name);
                break;
            }
    std::vector<std::string> models;
    for (std::size_t i = 0; i < held.size(); ++i)
        for (std::size_t j = i + 1; j < held.size(); ++j) {
            std::string how;
            const InBinary in = phase_in_binary(db, p, held[i], held[j], how);
            if (in == InBinary::not_computed)
                return {&p, false, how + " (in " + held[i] + "-" + held[j] + ")"};
            if (in == InBinary::computed && std::find(models.begin(), models.end(), how) == models.end())
                models.push_back(how);
        }
    if (models.empty())
        return {&p, false, "part of no binary: its sublattices need more than two elements"};
    std::string all;
    for (const std::string& m : models)
        all += (all.empty() ? "" : " or ") + m;
    return {&p, true, all};
}

}  // namespace

std::vector<ListedPhase> listed_phases(const Database& db)
{
    std::vector<ListedPhase> phases;
    for (const DatabasePhase& p : db.phases)
        phases.push_back(verdict(db, p));
    return phases;
}

std::vector<ListedPhase> kept_phases(const Database& db, const DatabaseBinary& binary)
{
    std::vector<ListedPhase> kept;
    for (const PhaseModel& m : binary.system.phases)
        kept.push_back({find_phase(db, m.name), true, model_of(m)});
    return kept;
}

int run_list(const std::string& path, const std::vector<std::string>& components)
{
    Database db;
    InputError error;
    if (!read_tdb_file(path, db, error)) {
        std::fprintf(stderr, "phase_boundary: %s\n", error.text().c_str());
        return INPUT_FAILED;
    }
    if (components.empty()) {
        write_database_listing(stdout, path, db, listed_phases(db));
        return COMPLETE;
    }
    DatabaseBinary binary;
    std::string why;
    if (!binary_phases(db, components[0], components[1], {}, binary, why)) {
        std::fprintf(stderr, "phase_boundary: %s: %s\n", path.c_str(), why.c_str());
        return INPUT_FAILED;
    }
    write_binary_listing(stdout, path, db, binary, kept_phases(db, binary));
    return COMPLETE;
}
