#include "engine/database/database.h"

const DatabaseElement* find_element(const Database& db, const std::string& name)
{
    for (const DatabaseElement& e : db.elements)
        if (e.name == name)
            return &e;
    return nullptr;
}

const DatabasePhase* find_phase(const Database& db, const std::string& name)
{
    for (const DatabasePhase& p : db.phases)
        if (p.name == name)
            return &p;
    return nullptr;
}
