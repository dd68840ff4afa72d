#include "formats/input_error.h"

std::string InputError::text() const
{
    std::string out = path;
    if (line > 0)
        out += ":" + std::to_string(line);
    if (line > 0 && column > 0)
        out += ":" + std::to_string(column);
    out += ": ";
    if (!key.empty())
        out += key + ": ";
    return out + message;
}

InputError file_error(const std::string& path, const std::string& message)
{
    InputError e;
    e.path = path;
    e.message = message;
    return e;
}
