#include "formats/shortest.h"

#include <charconv>

std::string shortest(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}
