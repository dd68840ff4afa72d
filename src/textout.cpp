#include "textout.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

char* put_fixed10(char* p, double v)
{
    // Spelled out so that the log and the table read the same on every platform,
    // whatever its printf would make of them.
    if (!std::isfinite(v)) {
        if (std::signbit(v))
            *p++ = '-';
        std::memcpy(p, std::isnan(v) ? "nan" : "inf", 3);
        return p + 3;
    }
    return std::to_chars(p, p + FIXED10_MAX, v, std::chars_format::fixed, 10).ptr;
}

char* put_int(char* p, int v)
{
    return std::to_chars(p, p + INT_MAX_CHARS, v).ptr;
}

std::FILE* open_output(const char* name)
{
    std::FILE* f = std::fopen(name, "w");
    if (f == nullptr)
        std::fprintf(stderr, "phase_boundary: cannot open %s: %s\n", name, std::strerror(errno));
    return f;
}

bool close_output(std::FILE* f, const char* name)
{
    // A write that failed earlier leaves only the error flag; the flush and the
    // close report their own reasons through errno.
    errno = 0;
    bool failed = std::fflush(f) != 0;
    int reason = errno;
    failed = std::ferror(f) != 0 || failed;
    if (std::fclose(f) != 0 && !failed) {
        failed = true;
        reason = errno;
    }
    if (failed)
        std::fprintf(stderr, "phase_boundary: cannot write %s: %s\n", name,
                     reason != 0 ? std::strerror(reason) : "write error");
    return !failed;
}
