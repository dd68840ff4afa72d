// Phases, their constituents and parameters, and the type definitions that
// amend them: read command by command, then checked against the whole file.
#include "formats/tdb_reader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <set>

namespace tdb {

namespace {

// Properties that add to G in the programs that define them, not modelled
// here: the Einstein model (THETA, LNTH), the two-state liquid (G2, GD) and the
// Neel temperature of the newer magnetic model.
const std::vector<const char*> UNMODELLED = {"THETA", "THET", "LNTH", "G2", "GD", "NT"};

// Amendments of a phase that change nothing of a binary's G: how another
// program sets up its search, or an excess model that a binary's
// Redlich-Kister series already is.
const std::vector<const char*> NO_BEARING = {"COMPOSITION_SETS", "MAJOR_CONSTITUENT", "STATUS_BITS",
                                             "DEFAULT_STABLE",   "FRACTION_LIMITS",   "TERNARY_EXTRAPOLAT",
                                             "RENAME_PHASE",     "EXCESS_MODEL"};

std::string without_commas(const std::string& word)
{
    const std::size_t end = word.find_last_not_of(',');
    return end == std::string::npos ? std::string() : word.substr(0, end + 1);
}

// "NAME" or "NAME:K": the name, upper case, and the letter K (0 where none).
std::string phase_name(const std::string& word, char& kind)
{
    const std::string u = upper(word);
    const std::size_t colon = u.find(':');
    kind = colon != std::string::npos && colon + 1 < u.size() ? u[colon + 1] : '\0';
    return u.substr(0, colon);
}

DatabasePhase* phase_named(Database& db, const std::string& name)
{
    for (DatabasePhase& p : db.phases)
        if (p.name == name)
            return &p;
    return nullptr;
}

// "A,B%" or "A B" into its constituents, upper case, without the marks of
// major ones; an empty one where two commas meet.
std::vector<std::string> constituents_of(std::string_view list)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i < list.size() && list[i] != ',')
            continue;
        const std::vector<Word> names = words_of(list, start, i);
        if (names.empty())
            out.emplace_back();
        for (const Word& w : names) {
            std::string name = upper(w.text);
            name.erase(std::remove(name.begin(), name.end(), '%'), name.end());
            out.push_back(name);
        }
        start = i + 1;
    }
    return out;
}

}  // namespace

bool Reader::phase(const std::vector<Word>& words, bool one_constituent)
{
    DatabasePhase p;
    p.name = phase_name(words[1].text, p.kind);
    p.liquid = p.kind == 'L' || p.name.rfind("LIQUID", 0) == 0;
    p.line = line_of(words[1].at);
    if (phase_named(db, p.name) != nullptr)
        return fail(words[1].at, "phase " + p.name + " is declared twice");
    if (words.size() < 4)
        return fail(words.back().at, words[0].text + " " + p.name + " gives no " +
                                         (one_constituent ? "constituent" : "number of sublattices"));
    p.types = words[2].text;
    if (one_constituent) {  // COMPOUND_PHASE and ALLOTROPIC_PHASE: one species on one site
        p.sites = {1.0};
        p.constituents = {{upper(words[3].text)}};
        db.phases.push_back(p);
        return true;
    }
    double n = 0.0;
    if (!number(words[3], n))
        return false;
    if (!(n >= 1.0 && n <= 10.0 && n == std::floor(n)))
        return fail(words[3].at, "the number of sublattices must be a whole number from 1 to 10");
    for (std::size_t s = 0; s < static_cast<std::size_t>(n); ++s) {
        if (4 + s >= words.size())
            return fail(words.back().at,
                        "PHASE " + p.name + " misses the site number of sublattice " + std::to_string(s + 1));
        double sites = 0.0;
        if (!number(words[4 + s], sites))
            return false;
        if (!(sites > 0.0))
            return fail(words[4 + s].at, "a site number must be positive");
        p.sites.push_back(sites);
    }
    db.phases.push_back(p);
    return true;
}

bool Reader::constituent(std::size_t end, const std::vector<Word>& words, bool add)
{
    char kind = 0;
    const std::string name = phase_name(words[1].text, kind);
    DatabasePhase* found = phase_named(db, name);
    if (found == nullptr) {
        fault(words[0].at, words[0].text + " of phase " + name + ", which no PHASE declares; ignored");
        return true;
    }
    const std::size_t after = words[1].at + words[1].text.size();
    const std::size_t first = text.find(':', after);
    const std::size_t last = text.rfind(':', end - 1);
    if (first == std::string_view::npos || first >= end || last <= first)
        return fail(after, "CONSTITUENT " + name + " gives its sublattices between ':' marks");
    std::vector<std::vector<std::string>> lists;
    for (std::size_t s = first; s < last;) {
        const std::size_t next = text.find(':', s + 1);
        lists.push_back(constituents_of(text.substr(s + 1, next - s - 1)));
        for (const std::string& c : lists.back())
            if (c.empty())
                return fail(s + 1, "an empty constituent in CONSTITUENT " + name);
        s = next;
    }
    if (lists.size() != found->sites.size())
        return fail(first, "CONSTITUENT " + name + " gives " + std::to_string(lists.size()) +
                               " sublattices, its PHASE " + std::to_string(found->sites.size()));
    if (!add || found->constituents.empty()) {
        found->constituents = lists;
        return true;
    }
    for (std::size_t s = 0; s < lists.size(); ++s)
        for (const std::string& c : lists[s])
            if (std::find(found->constituents[s].begin(), found->constituents[s].end(), c) ==
                found->constituents[s].end())
                found->constituents[s].push_back(c);
    return true;
}

namespace {

// The property a parameter's name gives, as the model takes it.
Property property_of(const std::string& name, bool& modelled)
{
    modelled = true;
    if (name == "G" || name == "L")
        return Property::gibbs;
    if (name == "TC")
        return Property::curie_temperature;
    if (name == "BMAGN" || name == "BMAG" || name == "BM")
        return Property::bohr_magneton_number;
    modelled = std::find(UNMODELLED.begin(), UNMODELLED.end(), name) != UNMODELLED.end();
    return Property::unmodelled;
}

}  // namespace

bool Reader::parameter(std::size_t end, const std::vector<Word>& words)
{
    const std::size_t open = text.find('(', words[1].at);
    const std::size_t close = open == std::string_view::npos ? open : text.find(')', open);
    if (open == std::string_view::npos || close == std::string_view::npos || close >= end)
        return fail(words[1].at, "a parameter is written as G(PHASE,CONSTITUENTS;ORDER)");
    const std::vector<Word> before = words_of(text, words[1].at, open);
    std::string name = before.empty() ? std::string() : upper(before[0].text);
    name = name.substr(0, name.find('&'));  // MQ&FE: a mobility of FE
    bool known = false;
    const Property property = property_of(name, known);
    if (property == Property::unmodelled && !known) {  // a mobility, a volume: no bearing on G
        ++ignored_properties[name.empty() ? std::string("unnamed") : name];
        return true;
    }
    ReadParameter read;
    DatabaseParameter& p = read.parameter;
    p.property = property;
    p.property_name = name;
    p.line = line_of(words[1].at);
    read.at = open + 1;
    for (const Word& w : words_of(text, before.empty() ? open : before[0].at, close + 1))
        read.written += w.text;
    const std::string inside = upper(text.substr(open + 1, close - open - 1));
    const std::size_t comma = inside.find(',');
    if (comma == std::string::npos)
        return fail(open + 1, "a parameter is written as G(PHASE,CONSTITUENTS;ORDER)");
    const std::size_t semicolon = std::min(inside.find(';'), inside.size());
    if (semicolon < comma)
        return fail(open + 1, "a parameter is written as G(PHASE,CONSTITUENTS;ORDER)");
    char kind = 0;
    const std::vector<Word> phase_words = words_of(inside, 0, comma);
    p.phase = phase_words.empty() ? std::string() : phase_name(phase_words[0].text, kind);
    p.phase = p.phase.substr(0, p.phase.find('&'));
    double order = 0.0;  // where no ";ORDER" is written, 0
    const std::vector<Word> order_words =
        words_of(inside, std::min(semicolon + 1, inside.size()), inside.size());
    if (semicolon < inside.size() &&
        !number({order_words.empty() ? std::string() : order_words[0].text, open + 1 + semicolon + 1}, order))
        return false;
    if (!(order >= 0.0 && order == std::floor(order) && order <= 100.0))
        return fail(open + 1 + semicolon + 1, "the order of a parameter must be a whole number from 0");
    p.order = static_cast<int>(order);
    const std::string lists = inside.substr(comma + 1, semicolon - comma - 1);
    for (std::size_t s = 0; s <= lists.size();) {
        const std::size_t next = std::min(lists.find(':', s), lists.size());
        p.constituents.push_back(constituents_of(lists.substr(s, next - s)));
        s = next + 1;
    }
    parameter_now = static_cast<int>(parameters.size());
    const bool read_value = property != Property::unmodelled;
    const bool ok = !read_value || piecewise(close + 1, end, p.value);
    parameter_now = -1;
    if (!ok)
        return false;
    p.value.name = "PARAMETER " + read.written;
    p.value.line = p.line;
    parameters.push_back(std::move(read));
    return true;
}

namespace {

// The key under which a parameter is one: its property as modelled, phase,
// constituents (in any order on a sublattice) and order.
std::string parameter_key(const DatabaseParameter& p)
{
    const std::string property =
        p.property == Property::unmodelled ? p.property_name : std::to_string(static_cast<int>(p.property));
    std::string key = property + "(" + p.phase;
    for (std::vector<std::string> named : p.constituents) {
        std::sort(named.begin(), named.end());
        key += ":";
        for (const std::string& c : named)
            key += c + ",";
    }
    return key + ";" + std::to_string(p.order) + ")";
}

}  // namespace

// Each parameter against the phases and species the file declares: what names
// an undeclared phase or constituent, or repeats one before it, is a fault set
// aside; a count of sublattices that differs from the phase's is an error.
bool Reader::check_parameters()
{
    std::set<std::string> species{"VA", "*"};
    for (const DatabaseElement& e : db.elements)
        species.insert(e.name);
    for (const DatabaseSpecies& s : db.species)
        species.insert(s.name);
    for (DatabasePhase& phase : db.phases)
        for (std::vector<std::string>& list : phase.constituents)
            for (auto c = list.begin(); c != list.end();) {
                if (species.count(*c) > 0) {
                    ++c;
                    continue;
                }
                fault_at_line(phase.line,
                              "phase " + phase.name + " lists " + *c +
                                  ", which no ELEMENT or SPECIES declares; ignored",
                              phase.name);
                c = list.erase(c);
            }
    std::map<std::string, int> seen;
    for (ReadParameter& read : parameters) {
        const DatabaseParameter& p = read.parameter;
        const DatabasePhase* phase = phase_named(db, p.phase);
        const std::string written = "PARAMETER " + read.written;
        if (phase == nullptr) {
            fault(read.at, written + " is of phase " + p.phase + ", which no PHASE declares; ignored");
            read.kept = false;
            continue;
        }
        if (p.constituents.size() != phase->sites.size())
            return fail(read.at, "a parameter of " + p.phase + " names " +
                                     std::to_string(p.constituents.size()) + " sublattices, the phase has " +
                                     std::to_string(phase->sites.size()));
        for (std::size_t s = 0; s < p.constituents.size() && read.kept; ++s)
            for (const std::string& c : p.constituents[s]) {
                const std::vector<std::string>& declared =
                    phase->constituents.empty() ? std::vector<std::string>{} : phase->constituents[s];
                if (c == "*" || std::find(declared.begin(), declared.end(), c) != declared.end())
                    continue;
                std::string what = written;
                what.append(" names ").append(c);
                if (species.count(c) == 0)
                    what.append(", which no ELEMENT or SPECIES declares; ignored");
                else
                    what.append(", not a constituent of ")
                        .append(p.phase)
                        .append("'s sublattice ")
                        .append(std::to_string(s + 1))
                        .append("; ignored");
                fault(read.at, what, p.phase);
                read.kept = false;
                break;
            }
        if (!read.kept)
            continue;
        const auto [first, fresh] = seen.emplace(parameter_key(p), p.line);
        if (!fresh) {
            fault(read.at,
                  written + " given again (first at line " + std::to_string(first->second) +
                      "); the first is kept",
                  p.phase);
            read.kept = false;
        }
    }
    return true;
}

namespace {

// The phases a type definition of code applies to: the one named, where its
// declaration lists the code, or every phase that lists it ("@").
std::vector<DatabasePhase*> phases_of_type(Database& db, char code, const std::string& target)
{
    std::vector<DatabasePhase*> out;
    for (DatabasePhase& p : db.phases)
        if ((target == "@" || p.name == target) && p.types.find(code) != std::string::npos)
            out.push_back(&p);
    return out;
}

}  // namespace

bool Reader::type_definition(const std::vector<Word>& words)
{
    TypeDefinition t{words[1].text[0], {}, line_of(words[0].at)};
    for (std::size_t k = 2; k < words.size(); ++k) {
        const std::string w = without_commas(words[k].text);
        if (!w.empty())
            t.words.push_back({w, words[k].at});
    }
    const std::string what = t.words.empty() ? std::string() : upper(t.words[0].text);
    if (what == "GES" && t.words.size() > 3 &&
        abbreviates(upper(t.words[1].text), "AMEND_PHASE_DESCRIPTION") &&
        abbreviates(upper(t.words[3].text), "MAGNETIC_ORDERING")) {
        double unused = 0.0;  // checked here, where a bad number is named with its place
        if (t.words.size() < 6)
            return fail(t.words.back().at,
                        "MAGNETIC needs the antiferromagnetic factor and the structure factor");
        if (!number(t.words[4], unused) || !number(t.words[5], unused))
            return false;
    }
    types.push_back(t);
    return true;
}

// The type definitions applied to the phases that list their codes: the
// magnetic model, the links to disordered parts, and a note on each phase of
// what else changes its G; what has no bearing on G is listed as ignored.
void Reader::apply_types()
{
    for (const TypeDefinition& t : types) {
        const std::string what = t.words.empty() ? std::string() : upper(t.words[0].text);
        const std::string where =
            "type definition " + std::string(1, t.code) + " (line " + std::to_string(t.line) + ")";
        if (what == "SEQ" || what.rfind("RND", 0) == 0)
            continue;  // where another program finds the data: here, this file
        if (what != "GES" || t.words.size() < 4 ||
            !abbreviates(upper(t.words[1].text), "AMEND_PHASE_DESCRIPTION")) {
            db.ignored.push_back(where + ": " + (what.empty() ? std::string("empty") : t.words[0].text));
            continue;
        }
        char kind = 0;
        const std::string target = phase_name(t.words[2].text, kind);
        const std::string amend = upper(t.words[3].text);
        const std::string part = t.words.size() > 4 ? phase_name(t.words[4].text, kind) : std::string();
        for (DatabasePhase* p : phases_of_type(db, t.code, target)) {
            if (abbreviates(amend, "MAGNETIC_ORDERING")) {
                double afm = 0.0;
                double structure = 0.0;
                number(t.words[4], afm);
                number(t.words[5], structure);
                p->magnetic = true;
                p->antiferromagnetic_factor = afm;
                p->structure_factor = structure;
            } else if ((abbreviates(amend, "DISORDERED_PART") || amend == "NEVER") && !part.empty()) {
                p->disordered_part = part;
                p->never_disorders = amend == "NEVER";
                DatabasePhase* d = phase_named(db, part);
                if (d != nullptr && p->never_disorders)
                    d->part_of = p->name;
            } else if (keyword_among(amend, NO_BEARING).empty() || keyword_among(amend, NO_BEARING) == "?") {
                p->unmodelled.push_back(t.words[3].text + " (" + where + ")");
            }
        }
        if (!keyword_among(amend, NO_BEARING).empty() && keyword_among(amend, NO_BEARING) != "?")
            db.ignored.push_back(where + ": " + t.words[3].text + " of " + t.words[2].text);
    }
}

}  // namespace tdb
