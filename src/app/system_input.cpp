#include "app/system_input.h"

#include "builtin/builtin_system.h"
#include "formats/system_file.h"

#include <cstdio>

bool load_system(const SystemSource& source, System& s)
{
    if (!source.from_file) {
        s = builtin_system();
        return true;
    }
    std::string error;
    if (read_system_file(source.path, s, error))
        return true;
    std::fprintf(stderr, "phase_boundary: %s\n", error.c_str());
    return false;
}
